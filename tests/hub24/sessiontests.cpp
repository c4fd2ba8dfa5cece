// Question, voting, registration and naming sessions on a 2.4 GHz hub, through the public API
// against the emulator: the bytes the hub is sent, and every answer reaching the host once, by
// callback or by signal.

#include "support/emulatorfixture.h"

#include <taviosystem/taviohubexpressionnamingsession.h>
#include <taviosystem/taviohubregistrationsession.h>
#include <taviosystem/taviohubslatenamingsession.h>
#include <taviosystem/taviohubvotenamingsession.h>

#include "hub24/hub24records.h"

#include <tavioemulator/twopointfourghzfirmware.h>

#include <QtTest/QSignalSpy>

#include <set>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::EmulatedDevice;
using TavioEmulator::TwoPointFourGHzFirmware;

namespace {

const int Handle = 3;

// An answer packet of a question session: 0C 83, the device's address, then nine bytes.
TavioEmulator::Bytes answer(quint16 address, std::initializer_list<quint8> bytes)
{
    TavioEmulator::Bytes packet = { 0x0C, 0x83, quint8(address >> 8), quint8(address) };
    packet.insert(packet.end(), bytes);
    packet.resize(12, 0);
    return packet;
}

// The pieces of a long answer: sequence 0 with the number byte, the length and 5 bytes, then 7
// bytes a piece.
std::vector<TavioEmulator::Bytes> longAnswer(quint16 address, const QByteArray& text)
{
    std::vector<TavioEmulator::Bytes> pieces;
    TavioEmulator::Bytes first
        = { 0x0C, 0x83, quint8(address >> 8), quint8(address), 0, 1, quint8(text.size()) };
    for (int i = 0; i < 5; ++i)
        first.push_back(i < text.size() ? quint8(text.at(i)) : 0);
    pieces.push_back(first);
    for (int offset = 5, sequence = 1; offset < text.size(); offset += 7, ++sequence) {
        TavioEmulator::Bytes piece
            = { 0x0C, 0x83, quint8(address >> 8), quint8(address), quint8(sequence) };
        for (int i = 0; i < 7; ++i)
            piece.push_back(offset + i < text.size() ? quint8(text.at(offset + i)) : 0);
        pieces.push_back(piece);
    }
    return pieces;
}

class SessionTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        firmware = std::make_shared<TwoPointFourGHzFirmware>();
        firmware->addDevice(EmulatedDevice::expression(0x00B10001, 0x0201, "Ann"));
        firmware->addDevice(EmulatedDevice::expressionV2(0x00B10002, 0x0202, "Ben"));
        firmware->addDevice(EmulatedDevice::taviote(0x00A10001, 0x0101, "V1"));
        firmware->addDevice(EmulatedDevice::slate(0x00D10001, 0x0301, "Tab"));
        // Learners stay quiet unless a test speaks for them.
        firmware->setAnsweringKinds({});
        firmware->setVoters({});
        emulated = plugTavioHub(Handle, firmware);
        initialiseSystem();
        hub = system->tavioHub(Handle);
        ASSERT_NE(hub, nullptr);
        hub->setResponseTimeout(100);
        emulated->clearWrites();
    }

    void deliver(const TavioEmulator::Bytes& packet)
    {
        emulated->deliver(packet);
        ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    }

    // The last command written, with the question's entity id (a fresh random byte) blanked.
    QByteArray lastQuestion()
    {
        QByteArray command = writesOf(Handle).back();
        if (command.startsWith(":XP005\r") && command.size() > 9)
            command[9] = 0;
        return command;
    }

    std::shared_ptr<TwoPointFourGHzFirmware> firmware;
    TavioEmulator::EmulatedHub* emulated = nullptr;
    TestTavioHub* hub = nullptr;
};

struct Answer
{
    unsigned int uid;
    int questionId;
    QString text;
    bool operator==(const Answer& other) const
    {
        return uid == other.uid && questionId == other.questionId && text == other.text;
    }
};

void onString(Hub*, unsigned int uid, int questionId, const QString& text, void* context)
{
    static_cast<Recorder<Answer>*>(context)->append({ uid, questionId, text });
}

TEST_F(SessionTest, MultipleChoiceAnswersFollowTheDisplayOption)
{
    const std::pair<DisplayOption, QString> options[] = { { DisplayOption_Digits, "13" },
        { DisplayOption_LowerCaseLetters, "ac" }, { DisplayOption_UpperCaseLetters, "AC" } };
    QSignalSpy signalled(hub, &Hub::multichoiceSessionResponse);
    for (const auto& [display, expected] : options) {
        Recorder<Answer> answers;
        ASSERT_TRUE(
            hub->startMultichoiceSession(7, 6, 2, display, TimeUnit_1, 200, &onString, &answers));
        // 6 options, 2 responses and the display code; 200 minutes is 127 plus the unit bit.
        QByteArray expectedQuestion
            = QByteArray::fromHex("3A5850303035 0D 09 01 00 00 FF 01 C8 00 00");
        expectedQuestion[13] = char(0xC8 | display);
        EXPECT_EQ(lastQuestion(), expectedQuestion);
        deliver(answer(0x0201, { 0, 0, 'A', 'C', 0x00, 0xFF, 0x00, 0x00 }));
        deliver(answer(0x7777, { 0, 0, 'B' })); // not on this hub: dropped
        ASSERT_TRUE(hub->stopSession());
        EXPECT_EQ(writesOf(Handle).back(), QByteArray(":VE\r"));
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers.values()[0], (Answer { 0x00B10001, 7, expected }));
    }
    EXPECT_EQ(signalled.count(), 0); // the callback alone hears the answers
}

TEST_F(SessionTest, EveryQuestionTypeIsAnsweredBySignalWithoutACallback)
{
    QSignalSpy yesNo(hub, &Hub::yesNoSessionResponse);
    ASSERT_TRUE(hub->startYesNoSession(2, true, TimeUnit_0, 5, nullptr, nullptr));
    EXPECT_EQ(lastQuestion(), QByteArray::fromHex("3A58503030350D0901000005020100 00"));
    deliver(answer(0x0202, { 0, 0, 'A' }));
    deliver(answer(0x0202, { 0, 0, 'C' })); // the third answer
    ASSERT_EQ(yesNo.count(), 2);
    EXPECT_EQ(yesNo.at(0).at(1).toUInt(), 0x0CB10002u);
    EXPECT_EQ(yesNo.at(0).at(3).value<Hub::YesNoResponse>(), Hub::YesNoResponse_Yes);
    EXPECT_EQ(yesNo.at(1).at(3).value<Hub::YesNoResponse>(), Hub::YesNoResponse_Invalid);
    ASSERT_TRUE(hub->stopSession());

    QSignalSpy trueFalse(hub, &Hub::trueFalseSessionResponse);
    ASSERT_TRUE(hub->startTrueFalseSession(3, false, TimeUnit_0, 5, nullptr, nullptr));
    deliver(answer(0x0201, { 0, 0, 'B' }));
    ASSERT_EQ(trueFalse.count(), 1);
    EXPECT_EQ(trueFalse.at(0).at(3).value<Hub::TrueFalseResponse>(), Hub::TrueFalseResponse_False);
    ASSERT_TRUE(hub->stopSession());

    QSignalSpy likert(hub, &Hub::likertSessionResponse);
    ASSERT_TRUE(hub->startLikertSession(4, 7, TimeUnit_0, 5, nullptr, nullptr));
    EXPECT_EQ(lastQuestion().at(13), 7);
    deliver(answer(0x0201, { 0, 0, 5 }));
    ASSERT_EQ(likert.count(), 1);
    EXPECT_EQ(likert.at(0).at(3).toInt(), 5);
    ASSERT_TRUE(hub->stopSession());

    QSignalSpy receipts(hub, &Hub::messageSessionResponse);
    ASSERT_TRUE(hub->startMessageSession(5, QStringLiteral("Hi"), TimeUnit_0, 5, nullptr, nullptr));
    EXPECT_EQ(lastQuestion(), QByteArray::fromHex("3A58503030350D0C010000050800000348 6900"));
    deliver(answer(0x0202, { 0, 0, 1 }));
    ASSERT_EQ(receipts.count(), 1);
    EXPECT_EQ(receipts.at(0).at(2).toInt(), 5);
    ASSERT_TRUE(hub->stopSession());

    QSignalSpy sorted(hub, &Hub::sortInOrderSessionResponse);
    ASSERT_TRUE(hub->startSortInOrderSession(
        6, 4, 4, DisplayOption_Digits, TimeUnit_0, 5, nullptr, nullptr));
    deliver(answer(0x0201, { 0, 0, 'C', 'A', 'B', 0x00, 'D', 0x00 }));
    ASSERT_EQ(sorted.count(), 1);
    EXPECT_EQ(sorted.at(0).at(3).toString(), QStringLiteral("CAB"));
    ASSERT_TRUE(hub->stopSession());
}

TEST_F(SessionTest, RefusalsComeInTheirOrderAndSendNothing)
{
    struct Refusal
    {
        std::function<bool()> start;
        Hub::Error error;
    };
    const Refusal refusals[] = {
        { [&] {
             return hub->startMultichoiceSession(
                 0, 9, 9, DisplayOption_Digits, TimeUnit_0, 1, nullptr, nullptr);
         },
            Hub::Error_BadQuestionId },
        { [&] {
             return hub->startMultichoiceSession(
                 1, 7, 9, DisplayOption_Digits, TimeUnit_0, 1, nullptr, nullptr);
         },
            Hub::Error_NumOfOptionsNotWithinTheRange },
        { [&] {
             return hub->startSortInOrderSession(
                 1, 4, 0, DisplayOption_Digits, TimeUnit_0, 1, nullptr, nullptr);
         },
            Hub::Error_NumOfResponsesNotWithinTheRange },
        { [&] {
             return hub->startMultichoiceSession(
                 1, 4, 5, DisplayOption_Digits, TimeUnit_0, 1, nullptr, nullptr);
         },
            Hub::Error_NumOfResponsesExceedsNumOfOptions },
        { [&] { return hub->startLikertSession(1, 3, TimeUnit_0, 1, nullptr, nullptr); },
            Hub::Error_ScaleValueNotWithinTheRange },
        { [&] {
             return hub->startNumericSession(
                 1, QString(49, QLatin1Char('x')), 10, TimeUnit_0, 1, nullptr, nullptr);
         },
            Hub::Error_StringTooLong },
        { [&] {
             return hub->startNumericSession(
                 1, QStringLiteral("q"), 256, TimeUnit_0, 1, nullptr, nullptr);
         },
            Hub::Error_ResponseSizeNotWithinTheRange },
        { [&] {
             return hub->startMessageSession(
                 1, QString(60, QLatin1Char('m')), TimeUnit_0, 1, nullptr, nullptr);
         },
            Hub::Error_StringTooLong },
        { [&] {
             return hub->startExpressionEnduserNamingSession(
                 1, CharacterType_1, 15, false, nullptr, nullptr);
         },
            Hub::Error_NameLengthNotWithinTheRange },
    };
    for (const Refusal& refusal : refusals) {
        EXPECT_FALSE(refusal.start());
        EXPECT_EQ(hub->getLastError(), refusal.error);
    }
    EXPECT_TRUE(emulated->writes().empty());

    // 48 characters fit; a running session refuses every start.
    ASSERT_TRUE(hub->startNumericSession(
        1, QString(48, QLatin1Char('x')), 10, TimeUnit_0, 1, nullptr, nullptr));
    EXPECT_FALSE(hub->startYesNoSession(2, false, TimeUnit_0, 1, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CannotStartSessionBecauseCurrentlyInSession);
    EXPECT_EQ(emulated->writes().size(), 1u);

    hub->setConnected(false);
    EXPECT_FALSE(hub->startYesNoSession(2, false, TimeUnit_0, 1, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotConnected);
}

TEST_F(SessionTest, AStopTheHubDoesNotAcknowledgeKeepsTheSession)
{
    EXPECT_TRUE(hub->stopSession()); // nothing runs: nothing sent
    EXPECT_TRUE(emulated->writes().empty());

    ASSERT_TRUE(hub->startYesNoSession(1, false, TimeUnit_0, 1, nullptr, nullptr));
    firmware->setSilent(true);
    EXPECT_FALSE(hub->stopSession());
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_YesNo);
    EXPECT_FALSE(hub->resetHubSession()); // refused while a session runs
    firmware->setSilent(false);
    EXPECT_TRUE(hub->stopSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    EXPECT_TRUE(hub->resetHubSession());
}

TEST_F(SessionTest, LongAnswersAreJoinedOrDeliveredIncompleteAfterTheirTimeOut)
{
    hub->setAnswerCompletionTimeout(80);
    Recorder<Answer> answers;
    ASSERT_TRUE(hub->startNumericSession(
        9, QStringLiteral("How many?"), 20, TimeUnit_0, 30, &onString, &answers));
    // Two learners' answers arrive interleaved.
    const auto first = longAnswer(0x0201, "3.14159265");
    const auto second = longAnswer(0x0202, "271828182845904523");
    for (size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
        if (i < first.size())
            emulated->deliver(first[i]);
        if (i < second.size())
            emulated->deliver(second[i]);
    }
    ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers.values()[0], (Answer { 0x00B10001, 9, "3.14159265" }));
    EXPECT_EQ(answers.values()[1].text, QStringLiteral("271828182845904523"));
    EXPECT_NE(hub->getLastError(), Hub::Error_InCompleteAnswer);

    // A learner whose last piece never comes is heard all the same, marked on the hub.
    const auto cut = longAnswer(0x0201, "1234567890");
    deliver(cut[0]);
    ASSERT_TRUE(waitFor([&] { return answers.size() == 3; }));
    EXPECT_EQ(answers.values()[2].text, QStringLiteral("12345"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_InCompleteAnswer);
    ASSERT_TRUE(hub->stopSession());
}

TEST_F(SessionTest, AHundredLearnersAnswerOnceEach)
{
    firmware->clearDevices();
    for (quint32 i = 0; i < 100; ++i)
        firmware->addDevice(EmulatedDevice::expression(
            0x00C00000 + i, quint16(0x1000 + i), "L" + std::to_string(i)));
    QList<Device*> devices;
    hub->readRegisteredDevicesLists();
    ASSERT_TRUE(hub->getDeviceList(Device::Type_Expression, &devices));
    ASSERT_EQ(devices.size(), 100);

    Recorder<Answer> answers;
    ASSERT_TRUE(hub->startMultichoiceSession(
        1, 4, 1, DisplayOption_UpperCaseLetters, TimeUnit_0, 10, &onString, &answers));
    for (quint16 i = 0; i < 100; ++i)
        emulated->deliver(answer(quint16(0x1000 + i), { 0, 0, quint8('A' + i % 4) }),
            std::chrono::milliseconds(i % 7));
    ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    std::set<unsigned int> uids;
    for (const Answer& a : answers.values())
        uids.insert(a.uid);
    EXPECT_EQ(answers.size(), 100u);
    EXPECT_EQ(uids.size(), 100u);
}

TEST_F(SessionTest, TeacherNamingSendsNamesAndHearsTheConfirmations)
{
    ASSERT_TRUE(hub->startYesNoSession(1, false, TimeUnit_0, 1, nullptr, nullptr));
    EXPECT_FALSE(hub->startTavioteNamingSession());
    EXPECT_EQ(hub->getLastError(), Hub::Error_Busy);
    ASSERT_TRUE(hub->stopSession());
    emulated->clearWrites();

    EXPECT_FALSE(hub->nameTaviote(0x12345678, QStringLiteral("X"))); // not on the list
    EXPECT_TRUE(emulated->writes().empty());
    ASSERT_TRUE(hub->nameTaviote(0x00A10001, QStringLiteral("Zed")));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_VoteNaming);
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":VN00A100010101Zed\0\r", 20));
    ASSERT_TRUE(hub->stopTavioteNamingSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);

    ASSERT_TRUE(hub->nameSlate(0x00D10001, QStringLiteral("Front desk!")));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":NS00D100010301Front desk\r"));
    ASSERT_TRUE(hub->stopSlateNamingSession());

    // An expression naming that the hub does not acknowledge stays on until stopped.
    firmware->dropNextAnswers(1);
    EXPECT_FALSE(hub->startExpressionNamingSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_ExpressionNaming);
    EXPECT_FALSE(hub->startExpressionNamingSession());
    ASSERT_TRUE(hub->stopExpressionNamingSession());
    ExpressionNameReceivedResponse confirmation;
    ASSERT_TRUE(hub->nameExpression(0x00B10001, QString::fromUtf16(u"L\u012Bga"), &confirmation));
    const QByteArray named = writesOf(Handle).back();
    EXPECT_EQ(named.mid(0, 10), QByteArray::fromHex("3A58503030330D110201"));
    EXPECT_EQ(named.mid(10, 4), QByteArray("Liga"));
}

void recordNamed(Hub*, const QString& name, unsigned int uid, void* context)
{
    static_cast<Recorder<std::pair<QString, unsigned int>>*>(context)->append({ name, uid });
}

class HostSessionTest : public SessionTest
{
};

TEST_F(HostSessionTest, SessionsStartOncePerKindAndStopCleanly)
{
    EXPECT_EQ(system->startTaviohubVoteNamingSession(Handle + 1), nullptr); // no such hub
    const TaviohubVoteNamingSession* voteNaming = system->startTaviohubVoteNamingSession(Handle);
    ASSERT_NE(voteNaming, nullptr);
    EXPECT_EQ(system->startTaviohubVoteNamingSession(Handle), nullptr);
    // Another kind may start while this one runs.
    const TaviohubExpressionNamingSession* expressionNaming
        = system->startTaviohubExpressionNamingSession(Handle);
    ASSERT_NE(expressionNaming, nullptr);

    // The emulated voter confirms its new name; the session forwards it on the packet thread.
    Recorder<QString> named;
    QObject::connect(
        voteNaming, &TaviohubVoteNamingSession::tavioteDeviceNamed, system.get(),
        [&](const QString& name, quint32) { named.append(name); }, Qt::DirectConnection);
    ASSERT_TRUE(voteNaming->nameTaviote(0x00A10001, QStringLiteral("Amy")));
    ASSERT_TRUE(waitFor([&] { return named.size() == 1; }));
    EXPECT_EQ(named.values()[0], QStringLiteral("Amy"));

    // A callback replaces the signal.
    Recorder<std::pair<QString, unsigned int>> calls;
    voteNaming->setCallback(&recordNamed, &calls);
    ASSERT_TRUE(voteNaming->nameTaviote(0x00A10001, QStringLiteral("Bo")));
    ASSERT_TRUE(waitFor([&] { return calls.size() == 1; }));
    EXPECT_EQ(calls.values()[0], std::make_pair(QStringLiteral("Bo"), 0x00A10001u));
    EXPECT_EQ(named.size(), 1u);

    system->stopTaviohubVoteNamingSession();
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    deliver(EmulatedDevice::taviote(0x00A10001, 0x0101, "Cy").record()); // no one listens now
    system->stopTaviohubExpressionNamingSession();
    EXPECT_NE(system->startTaviohubVoteNamingSession(Handle), nullptr);
}

TEST_F(HostSessionTest, RegistrationSessionReportsAndLists)
{
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    const auto info = registration->registrationInfo();
    EXPECT_EQ(info.votingDeviceCount, 3);
    EXPECT_EQ(info.votingDevicesUsed, 1);
    EXPECT_EQ(info.votingDevicesMax, 1000);
    EXPECT_EQ(info.votingDevicesFree, 999);
    EXPECT_EQ(info.slateCount, 1);
    EXPECT_EQ(info.hubState, int(Hub::HubState_Idle));

    QSignalSpy registered(registration, &TaviohubRegistrationSession::voteDeviceRegistered);
    emulated->clearWrites();
    ASSERT_TRUE(registration->startVoteRegistrationSession(12, 3, 4, RegistrationCode("PIN")));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":VR0120304PIN\r"));
    EXPECT_FALSE(registration->startVoteRegistrationSession(12, 3, 4, RegistrationCode("PIN")));
    deliver(EmulatedDevice::taviote(0x00A10009, 0x0109, "New").record());
    ASSERT_EQ(registered.count(), 1);
    firmware->addDevice(EmulatedDevice::taviote(0x00A10009, 0x0109, "New"));
    ASSERT_TRUE(registration->stopVoteRegistrationSession());
    QList<DeviceDisplayInfo> voters;
    ASSERT_TRUE(registration->getListOfRegisteredVotes(voters));
    EXPECT_EQ(voters.size(), 2);
    EXPECT_FALSE(registration->getListOfRegisteredBoards(voters));
    EXPECT_TRUE(voters.isEmpty());

    emulated->clearWrites();
    EXPECT_FALSE(registration->removeTaviote(0x12345678)); // not in the host's list
    EXPECT_TRUE(emulated->writes().empty());
    ASSERT_TRUE(registration->removeTaviote(0x00A10009));
    ASSERT_TRUE(registration->getListOfRegisteredVotes(voters));
    EXPECT_EQ(voters.size(), 1);
    EXPECT_TRUE(registration->clearHub());
    ASSERT_TRUE(registration->getListOfRegisteredExpressions(voters));
    EXPECT_TRUE(voters.isEmpty());
    system->stopTaviohubRegistrationSession();
}

TEST_F(HostSessionTest, SessionsOutliveTheirHubAndThenRefuse)
{
    const TaviohubExpressionNamingSession* naming
        = system->startTaviohubExpressionNamingSession(Handle);
    ASSERT_NE(naming, nullptr);
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    ASSERT_TRUE(emulator().removeHub(Handle));
    ASSERT_TRUE(waitFor([&] { return !hub->isConnected(); }));
    EXPECT_EQ(registration->registrationInfo().hubState, 16);
    EXPECT_FALSE(registration->clearHub());
    QList<DeviceDisplayInfo> list;
    list.append(DeviceDisplayInfo());
    EXPECT_FALSE(registration->getListOfRegisteredVotes(list));
    EXPECT_TRUE(list.isEmpty());
    system->stopTaviohubRegistrationSession();

    // After shutdown every session the host still holds refuses too.
    system->shutdown();
    EXPECT_FALSE(naming->startExpressionNamingSession());
    EXPECT_FALSE(naming->nameExpression(0x00B10001, QStringLiteral("X")));
}

} // namespace

namespace {

TEST_F(SessionTest, VotesPinNamesAndLearnersOwnNamesReachTheHost)
{
    QSignalSpy votes(hub, &Hub::voteReceived);
    ASSERT_TRUE(hub->startVotingSession(Hub::VotingMode_M, nullptr, nullptr));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":VM\r"));
    deliver({ 0x09, 0x65, 0x00, 0xA1, 0x00, 0x01, 0x01, 0x01, 0x08 }); // key 4 of voter V1
    deliver({ 0x09, 0x65, 0x00, 0xA1, 0x00, 0x01, 0x01, 0x01, 0x03 }); // two keys at once
    ASSERT_EQ(votes.count(), 2);
    EXPECT_EQ(votes.at(0).at(1).toUInt(), 0x00A10001u);
    EXPECT_EQ(votes.at(0).at(2).toInt(), 4);
    EXPECT_EQ(votes.at(1).at(2).toInt(), 0);
    ASSERT_TRUE(hub->stopSession());
    deliver({ 0x09, 0x65, 0x00, 0xA1, 0x00, 0x01, 0x01, 0x01, 0x08 }); // after the stop: nothing
    EXPECT_EQ(votes.count(), 2);

    // PIN naming: four 3-bit key codes in bytes 8 and 9; 02 9C is ABCD.
    QSignalSpy pinNames(hub, &Hub::pinNamingSessionResponse);
    ASSERT_TRUE(hub->startTaviotePinNamingSession(4, nullptr, nullptr));
    deliver({ 0x0B, 0x67, 0x00, 0xA1, 0x00, 0x01, 0x01, 0x01, 0x02, 0x9C, 0x00 });
    ASSERT_EQ(pinNames.count(), 1);
    EXPECT_EQ(pinNames.at(0).at(2).toString(), QStringLiteral("ABCD"));
    ASSERT_TRUE(hub->stopSession());

    // End-user naming: each learner's record names the device by its address on this hub.
    Recorder<Answer> names;
    ASSERT_TRUE(hub->startExpressionEnduserNamingSession(
        11, CharacterType_2, 20 - 6, true, &onString, &names));
    EXPECT_EQ(lastQuestion(), QByteArray::fromHex("3A58503030350D090100000009 5E 00 00"));
    deliver(EmulatedDevice::expression(0x00B10001, 0x0201, "Annie").record());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names.values()[0], (Answer { 0x00B10001, 11, "Annie" }));
    ASSERT_TRUE(hub->stopExpressionEndUserNamingSession());
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":GR09\r")); // the list is read again
}

} // namespace

namespace {

TEST_F(HostSessionTest, LearnersJoinWithTheRightPinOnly)
{
    firmware->addWaitingLearner(EmulatedDevice::expression(0x00B20001, 0x0401, "Right"), "ABC");
    firmware->addWaitingLearner(EmulatedDevice::expressionV2(0x00B20002, 0x0402, "Too"), "ABC");
    firmware->addWaitingLearner(EmulatedDevice::expression(0x00B20003, 0x0403, "Wrong"), "ABD");
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    Recorder<std::pair<QString, int>> joined;
    QObject::connect(
        registration, &TaviohubRegistrationSession::expressionDeviceRegistered, system.get(),
        [&](const QString& name, quint32, Device::SubType subType) {
            joined.append({ name, int(subType) });
        },
        Qt::DirectConnection);

    ASSERT_TRUE(registration->startExpressionRegistrationSession(
        1, 2, 3, RegistrationCode(QStringLiteral("ABC"))));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3A58503030310D09000102034142430 0"));
    ASSERT_TRUE(waitFor([&] { return joined.size() == 2; }));
    ASSERT_TRUE(registration->stopExpressionRegistrationSession());
    EXPECT_EQ(joined.size(), 2u);
    EXPECT_EQ(firmware->waitingLearners().size(), 1u); // the wrong PIN is still waiting

    QList<DeviceDisplayInfo> expressions;
    ASSERT_TRUE(registration->getListOfRegisteredExpressions(expressions));
    EXPECT_EQ(expressions.size(), 4);
    const auto byName = [&](const QString& name) {
        return std::find_if(expressions.begin(), expressions.end(),
            [&](const DeviceDisplayInfo& info) { return info.name == name; });
    };
    ASSERT_NE(byName(QStringLiteral("Too")), expressions.end());
    EXPECT_EQ(byName(QStringLiteral("Too"))->subType, Device::SubType_ExpressionV2);
    EXPECT_EQ(byName(QStringLiteral("Wrong")), expressions.end());
    system->stopTaviohubRegistrationSession();
}

// A PIN typed shorter than three characters goes out with a zero byte for each missing one,
// which is what learners keying that PIN send.
TEST_F(HostSessionTest, ShortPinsGoOutWithZeroBytes)
{
    firmware->addWaitingLearner(EmulatedDevice::taviote(0x00A20001, 0x0501, "Kim"), "AB");
    firmware->addWaitingLearner(EmulatedDevice::expression(0x00B20001, 0x0601, "Lou"), "Q");
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    // Learners join on the packet thread: record there.
    Recorder<std::pair<QString, unsigned int>> voters;
    Recorder<std::pair<QString, unsigned int>> expressions;
    QObject::connect(
        registration, &TaviohubRegistrationSession::voteDeviceRegistered, system.get(),
        [&](const QString& name, quint32 uid) {
            voters.append({ name, uid });
        },
        Qt::DirectConnection);
    QObject::connect(
        registration, &TaviohubRegistrationSession::expressionDeviceRegistered, system.get(),
        [&](const QString& name, quint32 uid, Device::SubType) {
            expressions.append({ name, uid });
        },
        Qt::DirectConnection);

    ASSERT_TRUE(registration->startVoteRegistrationSession(
        12, 3, 4, RegistrationCode(QStringLiteral("AB"))));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":VR0120304AB\0\r", 14));
    ASSERT_TRUE(waitFor([&] { return voters.size() == 1; }));
    EXPECT_EQ(voters.values()[0].first, QStringLiteral("Kim"));
    ASSERT_TRUE(registration->stopVoteRegistrationSession());

    ASSERT_TRUE(registration->startExpressionRegistrationSession(
        1, 2, 3, RegistrationCode(QStringLiteral("Q"))));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3A58503030310D090001020351000000"));
    ASSERT_TRUE(waitFor([&] { return expressions.size() == 1; }));
    EXPECT_EQ(expressions.values()[0].second, 0x00B20001u);
    ASSERT_TRUE(registration->stopExpressionRegistrationSession());
    EXPECT_TRUE(firmware->waitingLearners().empty());
    system->stopTaviohubRegistrationSession();
}

// Pen expressions join through the expression window and are listed among the expression
// devices, without a sub-type.
TEST_F(HostSessionTest, PenExpressionsHaveNoSubType)
{
    firmware->addWaitingLearner(EmulatedDevice::penExpression(0x00C20001, 0x0701, "Pen"), "PEN");
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    // The learner joins on the packet thread: record there.
    Recorder<Device::SubType> joined;
    QObject::connect(
        registration, &TaviohubRegistrationSession::expressionDeviceRegistered, system.get(),
        [&](const QString&, quint32, Device::SubType subType) { joined.append(subType); },
        Qt::DirectConnection);
    ASSERT_TRUE(registration->startExpressionRegistrationSession(
        1, 2, 3, RegistrationCode(QStringLiteral("PEN"))));
    ASSERT_TRUE(waitFor([&] { return joined.size() == 1; }));
    EXPECT_EQ(joined.values()[0], Device::SubType_None);
    ASSERT_TRUE(registration->stopExpressionRegistrationSession());

    QList<DeviceDisplayInfo> listed;
    ASSERT_TRUE(registration->getListOfRegisteredExpressions(listed));
    const auto pen = std::find_if(listed.begin(), listed.end(),
        [](const DeviceDisplayInfo& info) { return info.uid == 0x00C20001u; });
    ASSERT_NE(pen, listed.end());
    EXPECT_EQ(pen->subType, Device::SubType_None);
    const Device* device = hub->findExpressionDevice(0x00C20001);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->subType(), Device::SubType_None);
    system->stopTaviohubRegistrationSession();
}

} // namespace
