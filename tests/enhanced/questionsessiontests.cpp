// The enhanced question session against a recording hub: the exact bytes of every message sent
// to devices, refused questions, device requests, the decoding of each answer kind, callbacks
// against signals, and the simulated devices.

#include "support/emulatorfixture.h"

#include <taviosystem/enhancedquestionsession.h>

#include <gtest/gtest.h>

#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <algorithm>
#include <functional>
#include <memory>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

const quint32 Uid = 70000;
const quint32 OtherUid = 2;

using Question = std::shared_ptr<EnhancedQuestion>;

template <typename T, typename... Args>
Question make(Args&&... args)
{
    return std::make_shared<T>(std::forward<Args>(args)...);
}

Question flagged(Question question, bool show, bool first, bool second)
{
    question->setShowQuestionNumber(show);
    question->setFirstOptionFlag(first);
    question->setSecondOptionFlag(second);
    return question;
}

QByteArray bytes(const char* hexText) { return QByteArray::fromHex(hexText); }

QBitArray bits(int size, std::initializer_list<int> set)
{
    QBitArray mask(size);
    for (int i : set)
        mask.setBit(i);
    return mask;
}

class ExpressionDevice : public Device
{
public:
    ExpressionDevice(Hub* hub, quint32 uid)
        : Device(hub, uid, quint16(uid))
    {
    }
    Type type() const override { return Type_Expression; }
    bool isType(Type type) const override { return type == Type_Expression; }
};

// A hub that records what the session asks of it and keeps the callbacks it is given, so that
// a test can play the devices.
class RecordingHub : public TestHub
{
public:
    RecordingHub()
        : TestHub(nullptr, 7, 0x77, 1, false)
    {
    }
    ~RecordingHub() override { qDeleteAll(devices); }

    bool startAsyncSession(AsyncGetMessageCallback getMessage,
        AsyncReceiveMessageCallback receiveMessage, void* context) override
    {
        ++starts;
        getMessageCallback = getMessage;
        receiveCallback = receiveMessage;
        callbackContext = context;
        return startResult;
    }
    bool stopSession() override
    {
        ++stops;
        return stopResult;
    }
    bool asyncSendMsg(unsigned int uid, const QByteArray& data) override
    {
        sent.push_back({ uid, data });
        return sendResult;
    }
    EnhancedQuestionSession* enhancedQuestionSession() override { return session; }
    bool getDeviceList(Device::Type type, QList<Device*>* list) override
    {
        ++listReads;
        *list = devices;
        return type == Device::Type_Expression;
    }
    bool isTessalyHub() override { return tessaly; }

    // A device's get-message request and a device's answer, as the transport hands them over.
    void request(quint32 uid, const QByteArray& data)
    {
        getMessageCallback(this, uid, data, callbackContext);
    }
    void answer(quint32 uid, const QByteArray& message, bool expressionV2LatexFormat = true)
    {
        receiveCallback(this, uid, message, callbackContext, expressionV2LatexFormat);
    }
    QByteArray lastSent() const { return sent.empty() ? QByteArray() : sent.back().second; }

    EnhancedQuestionSession* session = nullptr;
    QList<Device*> devices;
    std::vector<std::pair<quint32, QByteArray>> sent;
    bool startResult = true, stopResult = true, sendResult = true, tessaly = false;
    int starts = 0, stops = 0, listReads = 0;
    AsyncGetMessageCallback getMessageCallback = nullptr;
    AsyncReceiveMessageCallback receiveCallback = nullptr;
    void* callbackContext = &starts;
};

class OpenSession : public EnhancedQuestionSession
{
public:
    using EnhancedQuestionSession::EnhancedQuestionSession;
    using EnhancedQuestionSession::isActive;
    using EnhancedQuestionSession::setSimulationStepInterval;
};

// The events that reach the host, one line each: the event's name, the device, the question
// number (or locale id), then the answer and, for a text answer that is not valid, "invalid".
using Events = QStringList;

void note(void* events, QStringList parts)
{
    parts.removeAll(QString());
    static_cast<Events*>(events)->append(parts.join(' '));
}

QString n(qint64 value) { return QString::number(value); }

// Callbacks that note every event in the list given as their context.
EnhancedQuestionSession::CallbacksInfo recordingCallbacks(Events* events)
{
    using S = EnhancedQuestionSession;
    S::CallbacksInfo i;
    i.context = events;
    i.getSessionParameters = [](S*, quint32 u, int l, void* c) { note(c, { "get", n(u), n(l) }); };
    i.getQuestion = [](S*, quint32 u, int q, void* c) { note(c, { "question", n(u), n(q) }); };
    i.deviceShutDown = [](S*, quint32 u, void* c) { note(c, { "shutdown", n(u) }); };
    i.multichoiceAnswer = [](S*, quint32 u, int q, const QString& a, void* c) {
        note(c, { "mc", n(u), n(q), a });
    };
    i.sortInOrderAnswer = [](S*, quint32 u, int q, const QString& a, void* c) {
        note(c, { "sort", n(u), n(q), a });
    };
    i.numericAnswer = [](S*, quint32 u, int q, const QString& a, void* c) {
        note(c, { "numeric", n(u), n(q), a });
    };
    i.yesNoAnswer = [](S*, quint32 u, int q, YesNoQuestion::Answer a, void* c) {
        note(c, { "yesno", n(u), n(q), n(a) });
    };
    i.trueFalseAnswer = [](S*, quint32 u, int q, TrueFalseQuestion::Answer a, void* c) {
        note(c, { "truefalse", n(u), n(q), n(a) });
    };
    i.likertAnswer = [](S*, quint32 u, int q, int a, void* c) {
        note(c, { "likert", n(u), n(q), n(a) });
    };
    i.textAnswer = [](S*, quint32 u, int q, const QString& a, void* c, bool valid) {
        note(c, { "text", n(u), n(q), a, valid ? QString() : "invalid" });
    };
    return i;
}

class QuestionSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        hub.session = &session;
        ASSERT_TRUE(session.startSession(false));
    }

    RecordingHub hub;
    OpenSession session { &hub };
    Events events;
};

} // namespace

// Session parameters (0x01): length, flags, starting number and the packed mask.
TEST_F(QuestionSessionTest, SessionParametersMessagesAreByteExact)
{
    struct Row
    {
        int total, start;
        bool navigation;
        QBitArray mask;
        int last;
        QByteArray expected;
    };
    const Row rows[] = {
        { 5, 0, false, {}, 0, bytes("01 0004 05 00 00 00") },
        { 5, 3, false, {}, 9, bytes("01 0004 05 01 03 09") },
        { 5, 0, true, {}, 0, bytes("01 0004 05 04 00 00") },
        // 9 bits: two mask bytes, bit i in byte i / 8, least significant first.
        { 10, 2, true, bits(9, { 0, 3, 8 }), 7, bytes("01 0006 0a 07 02 09 01 07") },
        { 10, 0, false, bits(8, {}), 0, bytes("01 0005 0a 02 00 00 00") },
        // No questions: no flags, whatever else is given.
        { 0, 4, true, bits(9, { 1 }), 1, bytes("01 0006 00 00 04 02 00 01") },
        // Values are cut to one byte, the mask to 256 bits.
        { 300, 257, false, {}, 511, bytes("01 0004 2c 01 01 ff") },
        { 1, 0, false, QBitArray(300, true), 0,
            bytes("01 0024 01 02 00") + QByteArray(32, char(0xFF)) + bytes("00") },
    };
    for (const Row& row : rows) {
        hub.sent.clear();
        EXPECT_TRUE(session.sendSessionParameters(
            Uid, row.total, row.start, row.navigation, row.mask, row.last));
        ASSERT_EQ(hub.sent.size(), 1u);
        EXPECT_EQ(hub.sent[0].first, Uid);
        EXPECT_EQ(hub.sent[0].second.toHex(' '), row.expected.toHex(' '));
    }
    hub.sendResult = false;
    EXPECT_FALSE(session.sendSessionParameters(Uid, 1, 0, false, {}, 0));
}

TEST_F(QuestionSessionTest, CloudHubResumesAtTheLastQuestionSent)
{
    const auto sendParameters = [&](quint32 uid) {
        EXPECT_TRUE(session.sendSessionParameters(uid, 20, 1, false, {}, 0));
        return hub.lastSent().toHex(' ');
    };
    const MultichoiceQuestion question(12, "q", "q", 4, 1, DisplayOption_Digits, "1");
    ASSERT_TRUE(session.sendQuestion(Uid, &question));
    EXPECT_EQ(sendParameters(Uid), "01 00 04 14 01 01 00"); // a radio hub: as given

    hub.tessaly = true;
    EXPECT_EQ(sendParameters(Uid), "01 00 04 14 01 0c 00");
    EXPECT_EQ(sendParameters(OtherUid), "01 00 04 14 01 01 00"); // never sent a question
    // A refused question counts as the last one sent.
    const LikertQuestion refused(33, "q", "q", 2);
    EXPECT_FALSE(session.sendQuestion(Uid, &refused));
    EXPECT_EQ(sendParameters(Uid), "01 00 04 14 01 21 00");
    // New defaults forget the last questions.
    session.setDefaultSessionParameters(20, 1, false, {}, 0);
    EXPECT_EQ(sendParameters(Uid), "01 00 04 14 01 01 00");
}

// Question messages (0x02) of every kind.
TEST_F(QuestionSessionTest, QuestionMessagesAreByteExact)
{
    const std::pair<Question, QByteArray> rows[] = {
        // 6 options, 2 responses, lower-case letters: 6 x 32 + 2 x 4 + 1.
        { make<MultichoiceQuestion>(3, "Pick", "Other", 6, 2, DisplayOption_LowerCaseLetters, "ab"),
            bytes("02 000e 03 01 c9 01 0004 0002") + "Pick" + "ab" },
        { make<MultichoiceQuestion>(4, "Q", "", 4, 1, DisplayOption_Digits, "3"),
            bytes("02 000a 04 01 84 01 0001 0001") + "Q" + "3" },
        { make<MultichoiceQuestion>(4, "Q", "", 4, 1, DisplayOption(3), ""),
            bytes("02 0009 04 01 84 01 0001 0000") + "Q" },
        { make<SortInOrderQuestion>(9, "Sort", "", 5, 5, DisplayOption_UpperCaseLetters, "CABED"),
            bytes("02 0011 09 07 b6 01 0004 0005") + "Sort" + "CABED" },
        { make<YesNoQuestion>(1, "Y?", "", true, YesNoQuestion::Answer_Yes),
            bytes("02 000b 01 02 01 01 0002 0001") + "Y?" + "A" },
        { make<YesNoQuestion>(1, "Y?", "", false, YesNoQuestion::Answer_None),
            bytes("02 000b 01 02 00 01 0002 0001") + "Y?" + "?" },
        { make<TrueFalseQuestion>(2, "T", "", false, TrueFalseQuestion::Answer_False),
            bytes("02 000a 02 03 00 01 0001 0001") + "T" + "B" },
        { make<TrueFalseQuestion>(2, "T", "", true, TrueFalseQuestion::Answer_DontKnow),
            bytes("02 000a 02 03 01 01 0001 0001") + "T" + "C" },
        // Likert: the value as one byte, 0 for none, its decimal length in the answer length
        // field.
        { make<LikertQuestion>(5, "Rate", "", 5, 4),
            bytes("02 000d 05 04 05 01 0004 0001") + "Rate" + bytes("04") },
        { make<LikertQuestion>(5, "Rate", "", 9, 0),
            bytes("02 000d 05 04 09 01 0004 0000") + "Rate" + bytes("00") },
        { make<NumericQuestion>(6, "Pi?", "", 10, "3.14"),
            bytes("02 000f 06 05 0a 01 0003 0004") + "Pi?" + "3.14" },
        // The second dialect's text and answer; LaTeX markers become brackets.
        { make<TextQuestion>(7, "Solve <LaTeX>x^2</LaTeX> = 4", "other", 255, "x=2", "x = 2", true),
            bytes("02 001a 07 06 ff 09 000f 0003") + "Solve [x^2] = 4" + "x=2" },
        { flagged(make<NumericQuestion>(8, "", "", 0, ""), false, true, true),
            bytes("02 0008 08 05 00 06 0000 0000") },
        { flagged(make<NumericQuestion>(8, "", "", 0, ""), false, true, false),
            bytes("02 0008 08 05 00 04 0000 0000") },
        // Lengths count UTF-8 bytes; the number is cut to one byte.
        { make<NumericQuestion>(300, "\u00e9", "", 1, "\u20ac"),
            bytes("02 000d 2c 05 01 01 0002 0003 c3a9 e282ac") },
    };
    for (const auto& [question, expected] : rows) {
        hub.sent.clear();
        EXPECT_TRUE(session.sendQuestion(Uid, question.get()));
        ASSERT_EQ(hub.sent.size(), 1u);
        EXPECT_EQ(hub.sent[0].first, Uid);
        EXPECT_EQ(hub.sent[0].second.toHex(' '), expected.toHex(' '));
    }
}

// Messages 0x03, 0x04 and 0x05; the hub's result is the result.
TEST_F(QuestionSessionTest, TextMessagesAreByteExact)
{
    using S = EnhancedQuestionSession;
    const std::pair<std::function<bool()>, QByteArray> rows[] = {
        { [&] {
             return session.sendMessage(
                 Uid, S::MessageControlFlag_CanDismiss | S::MessageControlFlag_ReviewAnswers, "Hi");
         },
            bytes("03 0003 05") + "Hi" },
        { [&] { return session.sendMessage(Uid, S::MessageControlFlag_YesNo, "\u00e9"); },
            bytes("03 0003 02 c3a9") },
        { [&] { return session.sendMessage(Uid, {}, ""); }, bytes("03 0001 00") },
        { [&] { return session.sendNoMoreQuestionsNotification(Uid, "Done"); },
            bytes("04 0004") + "Done" },
        { [&] { return session.sendNoMoreQuestionsNotification(Uid, ""); }, bytes("04 0000") },
        { [&] { return session.sendPopUpMessage(Uid, true, "Hi"); }, bytes("05 0003 01") + "Hi" },
        { [&] { return session.sendPopUpMessage(Uid, false, "Hi"); }, bytes("05 0003 00") + "Hi" },
        { [&] { return session.sendPopUpMessage(Uid, true, ""); }, bytes("05 0000") },
    };
    for (const auto& [send, expected] : rows) {
        hub.sent.clear();
        hub.sendResult = true;
        EXPECT_TRUE(send());
        ASSERT_EQ(hub.sent.size(), 1u);
        EXPECT_EQ(hub.sent[0].first, Uid);
        EXPECT_EQ(hub.sent[0].second.toHex(' '), expected.toHex(' '));
        hub.sendResult = false;
        EXPECT_FALSE(send());
    }
}

TEST(EnhancedQuestionSessionRefusal, QuestionsOutsideTheLimitsAreNotSent)
{
    const auto mc = [](int options, int responses) {
        return make<MultichoiceQuestion>(1, "q", "q", options, responses, DisplayOption_Digits, "");
    };
    const Hub::Error unchanged = Hub::Error_Failed; // a new hub's last error
    const std::tuple<Question, bool, Hub::Error> rows[] = {
        { make<MultichoiceQuestion>(), false, unchanged }, // not valid
        { make<EnhancedQuestion>(1, "q", "q"), false, unchanged }, // of no kind
        { mc(6, 6), true, unchanged },
        { mc(0, 1), false, Hub::Error_NumOfOptionsNotWithinTheRange },
        { mc(7, 1), false, Hub::Error_NumOfOptionsNotWithinTheRange },
        { mc(3, 0), false, Hub::Error_NumOfResponsesNotWithinTheRange },
        { mc(6, 7), false, Hub::Error_NumOfResponsesNotWithinTheRange },
        { mc(3, 4), false, unchanged }, // more responses than options
        { make<SortInOrderQuestion>(1, "q", "q", 7, 1, DisplayOption_Digits, ""), false,
            Hub::Error_NumOfOptionsNotWithinTheRange },
        { make<LikertQuestion>(1, "q", "q", 4), true, unchanged },
        { make<LikertQuestion>(1, "q", "q", 3), false, Hub::Error_ScaleValueNotWithinTheRange },
        { make<LikertQuestion>(1, "q", "q", 10), false, Hub::Error_ScaleValueNotWithinTheRange },
        { make<NumericQuestion>(1, "q", "q", 255, ""), true, unchanged },
        { make<NumericQuestion>(1, "q", "q", 256, ""), false,
            Hub::Error_ResponseSizeNotWithinTheRange },
        { make<NumericQuestion>(1, "q", "q", -1, ""), false,
            Hub::Error_ResponseSizeNotWithinTheRange },
        { make<TextQuestion>(1, "q", "q", 256, "", ""), false,
            Hub::Error_ResponseSizeNotWithinTheRange },
    };
    for (const auto& [question, accepted, error] : rows) {
        RecordingHub hub;
        EnhancedQuestionSession session(&hub);
        ASSERT_TRUE(session.startSession(false));
        EXPECT_EQ(session.sendQuestion(Uid, question.get()), accepted) << question->type();
        EXPECT_EQ(hub.sent.size(), accepted ? 1u : 0u);
        EXPECT_EQ(hub.getLastError(), error);
    }
    RecordingHub hub;
    EXPECT_FALSE(EnhancedQuestionSession(&hub).sendQuestion(Uid, nullptr));
}

TEST_F(QuestionSessionTest, RequestsReachTheHost)
{
    session.setCallbacks(recordingCallbacks(&events));
    hub.request(Uid, bytes("00 00 00 00 00 2a 00 00")); // locale id in byte 5
    hub.request(Uid, bytes("01 00 c8 00 00 00 00 00")); // question number in byte 2, unsigned
    hub.request(OtherUid, bytes("ff 00 00 00 00 00 00 00"));
    hub.request(Uid, bytes("07 00 05 00 00 00 00 00")); // unknown kind: ignored
    hub.request(Uid, bytes("01")); // bytes beyond a short request read as 0
    EXPECT_EQ(events,
        (Events { "get 70000 42", "question 70000 200", "shutdown 2", "question 70000 0" }));
    EXPECT_TRUE(hub.sent.empty());
}

TEST_F(QuestionSessionTest, DefaultParametersAnswerRequestsWithoutTheHost)
{
    QSignalSpy spy(&session, &EnhancedQuestionSession::getSessionParameters);
    session.setDefaultSessionParameters(8, 2, true, bits(3, { 2 }), 5);
    hub.request(Uid, bytes("00 00 00 00 00 2a 00 00"));
    ASSERT_EQ(hub.sent.size(), 1u);
    EXPECT_EQ(hub.sent[0].first, Uid);
    EXPECT_EQ(hub.sent[0].second.toHex(' '), "01 00 05 08 07 02 04 05");
    session.setCallbacks(recordingCallbacks(&events));
    hub.request(Uid, bytes("00"));
    EXPECT_EQ(hub.sent.size(), 2u);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(spy.count(), 0);

    session.useDefaultSessionParameters(false);
    hub.request(Uid, bytes("00 00 00 00 00 03"));
    EXPECT_EQ(hub.sent.size(), 2u);
    EXPECT_EQ(events, Events { "get 70000 3" });
}

// Each answer kind, decoded from the bytes a device sends, with the number of the question it
// answers (the last one sent to the device).
TEST_F(QuestionSessionTest, AnswersAreDecodedByQuestionKind)
{
    const auto mc = [](DisplayOption display) {
        return make<MultichoiceQuestion>(11, "q", "q", 6, 6, display, "");
    };
    const Question sort = make<SortInOrderQuestion>(12, "q", "q", 4, 4, DisplayOption_Digits, "");
    const Question yesNo = make<YesNoQuestion>(13, "q", "q", true, YesNoQuestion::Answer_Yes);
    const Question trueFalse
        = make<TrueFalseQuestion>(14, "q", "q", true, TrueFalseQuestion::Answer_True);
    const Question likert = make<LikertQuestion>(15, "q", "q", 7);
    const Question numeric = make<NumericQuestion>(16, "q", "q", 20, "");
    const Question text = make<TextQuestion>(17, "q", "q", 100, "", "", false);
    const Question maths = make<TextQuestion>(17, "q", "q", 100, "", "", true);
    const QByteArray trailer = bytes("0102");
    const QByteArray padding(5, '\0');
    const std::tuple<Question, QByteArray, QString> rows[] = {
        // The last two bytes are no labels; letters become digits for display option 0.
        { mc(DisplayOption_Digits), "Bd" + trailer, "mc 70000 11 2d" },
        { mc(DisplayOption_LowerCaseLetters), "Bd" + trailer, "mc 70000 11 bd" },
        { mc(DisplayOption_UpperCaseLetters), "Bd" + trailer, "mc 70000 11 Bd" },
        { mc(DisplayOption_Digits), "1g5A zz", "mc 70000 11 151" },
        { mc(DisplayOption_LowerCaseLetters), "1a" + trailer, "mc 70000 11 a" },
        { mc(DisplayOption_UpperCaseLetters), "C" + padding + padding, "mc 70000 11 C" },
        { mc(DisplayOption_Digits), "AB", "mc 70000 11" },
        { sort, "DCBA" + padding, "sort 70000 12 4321" },
        // Yes and true 2, no and false 1, anything else 3.
        { yesNo, "A" + padding, "yesno 70000 13 2" },
        { yesNo, "B", "yesno 70000 13 1" },
        { yesNo, "C", "yesno 70000 13 3" },
        { yesNo, "x", "yesno 70000 13 3" },
        { yesNo, "", "yesno 70000 13 3" },
        { trueFalse, "A", "truefalse 70000 14 2" },
        { trueFalse, "b", "truefalse 70000 14 3" },
        { likert, bytes("05 00"), "likert 70000 15 5" },
        { likert, bytes("fe"), "likert 70000 15 -2" },
        // Numeric and text answers end at the padding of their last piece.
        { numeric, "12.5" + padding, "numeric 70000 16 12.5" },
        { numeric, bytes("e282ac 35 00 00 00 00"), "numeric 70000 16 \u20ac5" },
        { text, "x^2" + padding, "text 70000 17 x^2" },
        { maths, "x^2" + padding,
            "text 70000 17 <math>\n<msup>\n<mi>x</mi>\n<mn>2</mn></msup>\n</math>" },
        // Not LaTeX: delivered as typed, not valid.
        { maths, "\\frac{1}2", "text 70000 17 \\frac{1}2 invalid" },
    };
    session.setCallbacks(recordingCallbacks(&events));
    for (const auto& [question, message, expected] : rows) {
        events.clear();
        ASSERT_TRUE(session.sendQuestion(Uid, question.get()));
        hub.answer(Uid, message);
        EXPECT_EQ(events, Events { expected }) << message.toHex(' ').toStdString();
    }

    // The dialect is the one the answer comes with: "\sin" is a function in the first only.
    events.clear();
    hub.answer(Uid, "\\sin", false);
    hub.answer(Uid, "\\sin", true);
    EXPECT_EQ(events,
        (Events {
            "text 70000 17 <math>\n<mi>sin</mi>\n</math>", "text 70000 17 <math>\n</math>" }));
}

TEST_F(QuestionSessionTest, AnswersWithoutAQuestionRecordAreIgnored)
{
    session.setCallbacks(recordingCallbacks(&events));
    hub.answer(Uid, "A"); // nothing sent yet
    const YesNoQuestion yesNo(5, "q", "q", false, YesNoQuestion::Answer_Yes);
    ASSERT_TRUE(session.sendQuestion(Uid, &yesNo));
    hub.answer(OtherUid, "A"); // another device
    // A refused question drops the device's record.
    const LikertQuestion refused(6, "q", "q", 12);
    EXPECT_FALSE(session.sendQuestion(Uid, &refused));
    hub.answer(Uid, "A");
    EXPECT_TRUE(events.empty());

    // The next question replaces the record, even when the hub refuses the message.
    hub.sendResult = false;
    const LikertQuestion likert(7, "q", "q", 5);
    EXPECT_FALSE(session.sendQuestion(Uid, &likert));
    hub.answer(Uid, "A");
    EXPECT_EQ(events, Events { "likert 70000 7 65" });
}

TEST_F(QuestionSessionTest, SignalsOnlyWhereNoCallbackIsSet)
{
    using S = EnhancedQuestionSession;
    QSignalSpy parameters(&session, &S::getSessionParameters);
    QSignalSpy questions(&session, &S::getQuestion);
    QSignalSpy shutdowns(&session, &S::deviceShutDown);
    QSignalSpy multichoice(&session, &S::multichoiceAnswer);
    QSignalSpy sorts(&session, &S::sortInOrderAnswer);
    QSignalSpy yesNo(&session, &S::yesNoAnswer);
    QSignalSpy trueFalse(&session, &S::trueFalseAnswer);
    QSignalSpy likert(&session, &S::likertAnswer);
    QSignalSpy numeric(&session, &S::numericAnswer);
    QSignalSpy text(&session, &S::textAnswer);
    QSignalSpy* const spies[] = { &parameters, &questions, &shutdowns, &multichoice, &sorts, &yesNo,
        &trueFalse, &likert, &numeric, &text };

    const std::pair<Question, QByteArray> answers[] = {
        { make<MultichoiceQuestion>(1, "q", "q", 3, 1, DisplayOption_Digits, ""), "C  " },
        { make<SortInOrderQuestion>(2, "q", "q", 3, 3, DisplayOption_Digits, ""), "ACB  " },
        { make<YesNoQuestion>(3, "q", "q", false, YesNoQuestion::Answer_Yes), "B" },
        { make<TrueFalseQuestion>(4, "q", "q", false, TrueFalseQuestion::Answer_True), "A" },
        { make<LikertQuestion>(5, "q", "q", 5), bytes("03") },
        { make<NumericQuestion>(6, "q", "q", 5, ""), "42" },
        { make<TextQuestion>(7, "q", "q", 5, "", "", true), "(" },
    };
    // Every event once: the three requests from one device, then one answer of each kind from
    // the other.
    const auto driveAll = [&] {
        hub.request(Uid, bytes("00 00 00 00 00 09"));
        hub.request(Uid, bytes("01 00 04"));
        hub.request(Uid, bytes("ff"));
        for (const auto& [question, message] : answers) {
            ASSERT_TRUE(session.sendQuestion(OtherUid, question.get()));
            hub.answer(OtherUid, message);
        }
    };

    // With every callback set no signal is emitted; the context comes back unchanged.
    session.setCallbacks(recordingCallbacks(&events));
    driveAll();
    EXPECT_EQ(events,
        (Events { "get 70000 9", "question 70000 4", "shutdown 70000", "mc 2 1 3", "sort 2 2 132",
            "yesno 2 3 1", "truefalse 2 4 2", "likert 2 5 3", "numeric 2 6 42",
            "text 2 7 ( invalid" }));
    for (QSignalSpy* spy : spies)
        EXPECT_EQ(spy->count(), 0);

    // Without callbacks every event is a signal, with the session and the device first.
    session.setCallbacks({});
    events.clear();
    driveAll();
    EXPECT_TRUE(events.empty());
    for (QSignalSpy* spy : spies) {
        ASSERT_EQ(spy->count(), 1);
        EXPECT_EQ(spy->at(0).at(0).value<S*>(), &session);
        EXPECT_EQ(spy->at(0).at(1).toUInt(), spy->at(0).size() > 3 ? OtherUid : Uid);
    }
    // The same arguments as the callbacks, typed as declared.
    EXPECT_EQ(parameters.at(0).at(2).toInt(), 9);
    EXPECT_EQ(sorts.at(0).mid(2), (QVariantList { 2, "132" }));
    EXPECT_EQ(yesNo.at(0).at(3).value<YesNoQuestion::Answer>(), YesNoQuestion::Answer_No);
    EXPECT_EQ(
        trueFalse.at(0).at(3).value<TrueFalseQuestion::Answer>(), TrueFalseQuestion::Answer_True);
    EXPECT_EQ(text.at(0).mid(2), (QVariantList { 7, "(", false }));

    // A single callback takes over its own event only.
    S::CallbacksInfo onlyLikert;
    onlyLikert.likertAnswer = recordingCallbacks(&events).likertAnswer;
    onlyLikert.context = &events;
    session.setCallbacks(onlyLikert);
    driveAll();
    EXPECT_EQ(events, Events { "likert 2 5 3" });
    EXPECT_EQ(likert.count(), 1);
    EXPECT_EQ(yesNo.count(), 2);
}

TEST(EnhancedQuestionSessionState, StartAndStopFollowTheHub)
{
    RecordingHub hub;
    OpenSession session(&hub);
    EXPECT_FALSE(session.stopSession()); // not active: the hub is not asked
    EXPECT_EQ(hub.stops, 0);

    hub.startResult = false;
    EXPECT_FALSE(session.startSession(false));
    EXPECT_FALSE(session.isActive());
    hub.startResult = true;
    EXPECT_TRUE(session.startSession(false));
    EXPECT_TRUE(session.isActive());
    EXPECT_EQ(hub.starts, 2);
    EXPECT_NE(hub.getMessageCallback, nullptr);
    EXPECT_NE(hub.receiveCallback, nullptr);
    EXPECT_EQ(hub.callbackContext, nullptr);
    EXPECT_TRUE(session.startSession(false)); // already active
    EXPECT_EQ(hub.starts, 2);

    hub.stopResult = false;
    EXPECT_FALSE(session.stopSession());
    EXPECT_TRUE(session.isActive()); // the hub could not stop
    hub.stopResult = true;
    EXPECT_TRUE(session.stopSession());
    EXPECT_FALSE(session.isActive());
    EXPECT_FALSE(session.stopSession());
    EXPECT_EQ(hub.stops, 2);

    // A hub that has no session for these callbacks: requests and answers go nowhere.
    QSignalSpy questions(&session, &EnhancedQuestionSession::getQuestion);
    hub.request(Uid, bytes("01"));
    hub.answer(Uid, "A");
    EXPECT_EQ(questions.count(), 0);
}

class SimulationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        hub.session = &session;
        session.setSimulationStepInterval(5);
    }
    int count(const QString& prefix) const
    {
        return int(std::count_if(events.begin(), events.end(),
            [&](const QString& event) { return event.startsWith(prefix); }));
    }

    RecordingHub hub;
    OpenSession session { &hub };
    Events events;
};

// Simulated devices ask for question 0, answer what they are sent, and ask again; nothing goes
// to the hub.
TEST_F(SimulationTest, DevicesAskForQuestionsAndAnswerThem)
{
    using S = EnhancedQuestionSession;
    hub.devices = { new ExpressionDevice(&hub, Uid), new ExpressionDevice(&hub, OtherUid) };
    S::CallbacksInfo callbacks = recordingCallbacks(&events);
    callbacks.getQuestion = [](S* session, quint32 uid, int number, void* context) {
        static const MultichoiceQuestion multichoice(21, "q", "q", 6, 1, DisplayOption_Digits, "");
        static const LikertQuestion likert(22, "q", "q", 7);
        note(context, { "question", n(uid), n(number) });
        session->sendQuestion(
            uid, uid == Uid ? static_cast<const EnhancedQuestion*>(&multichoice) : &likert);
    };
    session.setCallbacks(callbacks);
    ASSERT_TRUE(session.startSession(true));
    EXPECT_EQ(hub.starts, 1);
    ASSERT_TRUE(waitFor([&] { return count("mc 70000 21") >= 2 && count("likert 2 22 ") >= 13; }));
    ASSERT_TRUE(session.stopSession());
    EXPECT_EQ(hub.listReads, 1);
    EXPECT_TRUE(hub.sent.empty());

    QString previous;
    for (const QString& event : events) {
        const QString answer = event.section(' ', 3);
        if (event.startsWith("question")) {
            EXPECT_TRUE(event.endsWith(" 0")) << event.toStdString();
        } else if (event.startsWith("mc")) {
            // One letter and no trailing bytes: nothing is left once the last two bytes go.
            EXPECT_EQ(event, "mc 70000 21");
        } else {
            // One character of "1234567", read as a signed byte; no repeat of the previous pick
            // unless that was the first.
            EXPECT_GE(answer.toInt(), '1') << event.toStdString();
            EXPECT_LE(answer.toInt(), '7') << event.toStdString();
            if (previous != "" && previous != QString::number('1')) {
                EXPECT_NE(answer, previous);
            }
            previous = answer;
        }
    }
    const qsizetype after = events.size();
    QTest::qWait(50);
    EXPECT_EQ(events.size(), after); // every timer was killed
}

TEST_F(SimulationTest, EveryKindIsAnsweredLikeADevice)
{
    const std::pair<Question, QStringList> rows[] = {
        // "ABCDEF" with no trailing bytes: the last two letters go.
        { make<SortInOrderQuestion>(1, "q", "q", 6, 6, DisplayOption_Digits, ""),
            { "sort 70000 1 1234" } },
        { make<MultichoiceQuestion>(6, "q", "q", 6, 1, DisplayOption_Digits, ""),
            { "mc 70000 6" } },
        { make<YesNoQuestion>(2, "q", "q", true, YesNoQuestion::Answer_Yes),
            { "yesno 70000 2 1", "yesno 70000 2 2" } },
        { make<TrueFalseQuestion>(3, "q", "q", true, TrueFalseQuestion::Answer_True),
            { "truefalse 70000 3 1", "truefalse 70000 3 2" } },
        { make<NumericQuestion>(4, "q", "q", 9, ""), { "numeric 70000 4 Numeric" } },
        { make<TextQuestion>(5, "q", "q", 9, "", ""), { "text 70000 5 Text" } },
    };
    session.setCallbacks(recordingCallbacks(&events));
    ASSERT_TRUE(session.startSession(true)); // with no devices to list
    for (const auto& [question, possible] : rows) {
        events.clear();
        ASSERT_TRUE(session.sendQuestion(Uid, question.get()));
        ASSERT_TRUE(waitFor([&] { return events.size() >= 2; }));
        EXPECT_TRUE(possible.contains(events[0])) << events[0].toStdString();
        EXPECT_EQ(events[1], "question 70000 0"); // and then asks again
    }
    ASSERT_TRUE(session.stopSession());
    EXPECT_TRUE(hub.sent.empty());
}
