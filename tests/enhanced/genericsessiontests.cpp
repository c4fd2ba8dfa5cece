// The enhanced generic session: conversion of device control messages and device messages, the
// session description with its application files, and the public session object over a
// recording hub.

#include "enhanced/genericmessageconverter.h"
#include "enhanced/messagemanager.h"
#include "support/testhub.h"

#include <taviosystem/enhancedgenericsession.h>

#include <QtCore/QXmlStreamReader>
#include <QtTest/QSignalSpy>

#include <gtest/gtest.h>

#include <vector>

using namespace Taviosystem;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

const QByteArray Declaration("\x01<?xml version=\"1.0\" encoding=\"utf-8\"?>");

QByteArray response(const char* qtype, int qnumber, const QString& answer)
{
    return Declaration
        + QStringLiteral("<response><answer qtype=\"%1\" qnumber=\"%2\">%3</answer></response>")
              .arg(QLatin1String(qtype), QString::number(qnumber), answer)
              .toUtf8();
}

struct ConversionCase
{
    const char* name;
    QByteArray message;
    QByteArray converted;
    bool valid;
    quint32 number;
};

TEST(GenericMessageConverter, ControlMessages)
{
    const std::vector<std::pair<quint8, ConversionCase>> cases {
        { 1, { "session description", hex("01AABBCC0000000000"), {}, true, 0 } },
        { 2,
            { "description request", hex("02010203FFFFFFFFFF"),
                Declaration + "<request type=\"SD\" />", true, 0 } },
        { 3,
            { "question 300", hex("03012C770000000000"),
                Declaration + "<request type=\"Q\"><id>300</id></request>", true, 300 } },
        { 4, { "application file", hex("04010203FFFFFFFFFF"), {}, true, 0x010203 } },
        { 5,
            { "discard", hex("05FFFFFF0000000000"), Declaration + "<info type=\"DSD\" />", true,
                0 } },
        { 6, { "message done, longer", hex("06FFFFFE000000000000"), {}, true, 0xFFFFFE } },
        { 0, { "kind 0", hex("000000010000000000"), {}, false, 0 } },
        { 7, { "kind 7", hex("070000010000000000"), {}, false, 0 } },
        { 2, { "eight bytes", hex("0200000100000000"), {}, false, 0 } },
    };
    for (const auto& [kind, test] : cases) {
        SCOPED_TRACE(test.name);
        const GenericMessageConverter converter(
            test.message, GenericMessageConverter::Direction_Control);
        EXPECT_EQ(converter.isValid(), test.valid);
        EXPECT_EQ(converter.convertedMessage(), test.converted);
        EXPECT_EQ(converter.number(), test.number);
        if (test.valid) {
            EXPECT_EQ(converter.kind(), kind);
        }
    }
}

TEST(GenericMessageConverter, DeviceMessages)
{
    const QString e(QChar(0xE9));
    const std::vector<ConversionCase> cases {
        { "kind 0 unchanged", hex("00FFFE"), hex("00FFFE"), true, 0 },
        { "yes/no question 7", hex("02000741"),
            Declaration + "<response><answer qtype=\"QYN\" qnumber=\"7\">A</answer></response>",
            true, 7 },
        { "true/false, later bytes ignored", hex("030102544142"), response("QTF", 258, "T"), true,
            258 },
        { "likert", hex("04FFFF35"), response("QLS", 65535, "5"), true, 65535 },
        { "character from Latin-1", hex("020001E9"), response("QYN", 1, e), true, 1 },
        { "multichoice trimmed", hex("01000A") + " ABCDEF\t", response("QMC", 10, "ABCDEF"), true,
            10 },
        { "six two-byte characters", hex("01000A") + QString(6, e.at(0)).toUtf8(),
            response("QMC", 10, QString(6, e.at(0))), true, 10 },
        { "numeric trimmed", hex("050003") + " 3.14 ", response("QNU", 3, "3.14"), true, 3 },
        { "text of any length, unescaped", hex("060004") + "  a<b & more words  ",
            response("QTX", 4, "a<b & more words"), true, 4 },
        { "sort in order", hex("070005") + "DCBA", response("QSO", 5, "DCBA"), true, 5 },
        { "binary question 258", hex("0901020041FF"), hex("0301020041FF"), true, 258 },
        { "binary without answer", hex("080009"), hex("030009"), true, 9 },
        { "multichoice of seven letters", hex("01000A") + "ABCDEFG", {}, false, 0 },
        { "multichoice of spaces", hex("01000A") + "   ", {}, false, 0 },
        { "sort in order of seven", hex("070005") + "ABCDEFG", {}, false, 0 },
        { "answer kinds need an answer byte", hex("060007"), {}, false, 0 },
        { "kind 10", hex("0A000141"), {}, false, 0 },
        { "two bytes", hex("0000"), {}, false, 0 },
    };
    for (const ConversionCase& test : cases) {
        SCOPED_TRACE(test.name);
        const GenericMessageConverter converter(
            test.message, GenericMessageConverter::Direction_DeviceMessage);
        EXPECT_EQ(converter.isValid(), test.valid);
        EXPECT_EQ(converter.convertedMessage(), test.converted);
        EXPECT_EQ(converter.kind(), 0); // kinds are the control direction's
        if (test.valid) {
            EXPECT_EQ(converter.number(), test.number);
        }
    }
}

// The description as a device reads it: after the type byte, every element in document order
// as "name attribute=value ..." (with the text of `size`); a parse error ends the list.
QStringList descriptionElements(const QByteArray& message)
{
    if (!message.startsWith('\x01'))
        return { "no type byte" };
    QXmlStreamReader reader(message.mid(1));
    QStringList elements;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        QString element = reader.name().toString();
        for (const QXmlStreamAttribute& attribute : reader.attributes())
            element += QStringLiteral(" %1=%2").arg(attribute.name(), attribute.value());
        if (reader.name() == QLatin1String("size"))
            element += QLatin1Char(' ') + reader.readElementText();
        elements << element;
    }
    if (reader.hasError())
        elements << reader.errorString();
    return elements;
}

ApplicationFileInfo file(int type, const QByteArray& data)
{
    return { QUuid::fromString(QLatin1String("{0f8fad5b-d9cb-469f-a165-70867728950e}")), 999, type,
        data };
}

TEST(SessionDescription, FilesAreNumberedListedAndServed)
{
    const QByteArray defaultDescription = Declaration + "<session type=\"MF\"></session>";
    EXPECT_EQ(EnhancedMessageManager::defaultSessionMessage(), defaultDescription);
    EnhancedMessageManager manager;
    EXPECT_EQ(manager.sessionMessage(), defaultDescription);
    quint32 pending = 0;
    ASSERT_TRUE(manager.queueMessage(10, pending, "pending", 50));
    ASSERT_EQ(pending, 2u); // 1 is the description's

    // Types 3 and 6: only the image is listed; its size counts the type byte.
    manager.setApplicationFileList({ file(3, QByteArray("\x89PNG\0\x01", 6)), file(6, "zip") });
    EXPECT_EQ(manager.sessionMessageNumber(), 3u);
    EXPECT_EQ(descriptionElements(manager.sessionMessage()),
        QStringList({ "session type=M", "files",
            "file type=IM id=0f8fad5b-d9cb-469f-a165-70867728950e fid=4", "size 7" }));
    EXPECT_EQ(manager.applicationFile(4), QByteArray("\x03\x89PNG\0\x01", 7));
    EXPECT_EQ(manager.applicationFile(5), QByteArray("\x06zip"));
    quint32 next = 0;
    ASSERT_TRUE(manager.queueMessage(11, next, "next", 50));
    EXPECT_EQ(next, 6u);

    // A new list replaces the files and numbers the description again.
    manager.setApplicationFileList({ file(4, "au") });
    EXPECT_EQ(manager.sessionMessageNumber(), 7u);
    EXPECT_EQ(descriptionElements(manager.sessionMessage()).mid(2, 1),
        QStringList({ "file type=AU id=0f8fad5b-d9cb-469f-a165-70867728950e fid=8" }));
    EXPECT_FALSE(manager.applicationFile(4).has_value());
    EXPECT_EQ(manager.applicationFile(8),
        QByteArray("\x04"
                   "au"));

    manager.reset();
    EXPECT_EQ(manager.sessionMessage(), defaultDescription);
    EXPECT_EQ(manager.sessionMessageNumber(), 1u);
    EXPECT_FALSE(manager.applicationFile(8).has_value());
    manager.setApplicationFileList({});
    EXPECT_EQ(
        descriptionElements(manager.sessionMessage()), QStringList({ "session type=M", "files" }));
}

TEST(SessionDescription, TypeCodesInListOrder)
{
    EnhancedMessageManager manager;
    QList<ApplicationFileInfo> files;
    for (int type : { 5, 0, 1, 4, 2, 3, -1 })
        files.append(file(type, "x"));
    manager.setApplicationFileList(files);
    QStringList types;
    for (const QString& element : descriptionElements(manager.sessionMessage())) {
        if (element.startsWith("file "))
            types << element.section(' ', 1, 1) + element.section(' ', 3, 3);
    }
    // Session 2, then one number per file, listed or not.
    EXPECT_EQ(types,
        QStringList(
            { "type=VIfid=3", "type=XMfid=5", "type=AUfid=6", "type=APfid=7", "type=IMfid=8" }));
    EXPECT_EQ(manager.applicationFile(4), QByteArray("\0x", 2));
}

// Records what the session asks of its hub and keeps the receive callback it is given.
class RecordingHub : public TavioTest::TestHub
{
public:
    RecordingHub()
        : TestHub(nullptr, 77, 0x77, 0, false)
    {
    }
    bool startEnhancedGenericSession(AsyncReceiveMessageCallback callback, void* context) override
    {
        ++starts;
        receiveCallback = callback;
        receiveContext = context;
        return startResult;
    }
    bool stopSession() override { return ++stops, stopResult; }
    bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data) override
    {
        sent.append({ uid, data });
        return sendResult;
    }
    void setApplicationFileList(const QList<ApplicationFileInfo>& files) override
    {
        fileLists.append(files);
    }
    EnhancedGenericSession* getEnhancedGenericSession() override
    {
        return hasSession ? &session : nullptr;
    }
    // A device message, as the transport hands it over.
    void receive(quint32 uid, const QByteArray& message)
    {
        receiveCallback(this, uid, message, receiveContext, true);
    }

    bool startResult = true, stopResult = true, sendResult = true, hasSession = true;
    int starts = 0, stops = 0;
    AsyncReceiveMessageCallback receiveCallback = nullptr;
    void* receiveContext = this;
    QList<QPair<quint32, QByteArray>> sent;
    QList<QList<ApplicationFileInfo>> fileLists;
    EnhancedGenericSession session { this };
};

TEST(EnhancedGenericSession, StartAndStopFollowTheHub)
{
    struct Step
    {
        bool start; // else stop
        bool hubResult;
        bool returned;
        int hubCalls; // of this operation so far
        bool activeAfter;
    };
    const std::vector<std::pair<const char*, std::vector<Step>>> scenarios {
        { "start twice, stop twice",
            { { true, true, true, 1, true }, { true, false, true, 1, true },
                { false, true, true, 1, false }, { false, true, false, 1, false } } },
        { "refused start",
            { { true, false, false, 1, false }, { false, true, false, 0, false },
                { true, true, true, 2, true } } },
        { "refused stop",
            { { true, true, true, 1, true }, { false, false, false, 1, true },
                { true, true, true, 1, true }, { false, true, true, 2, false } } },
    };
    for (const auto& [name, steps] : scenarios) {
        SCOPED_TRACE(name);
        RecordingHub hub;
        for (const Step& step : steps) {
            (step.start ? hub.startResult : hub.stopResult) = step.hubResult;
            EXPECT_EQ(
                step.start ? hub.session.startSession() : hub.session.stopSession(), step.returned);
            EXPECT_EQ(step.start ? hub.starts : hub.stops, step.hubCalls);
            EXPECT_EQ(hub.session.isActive(), step.activeAfter);
        }
        EXPECT_EQ(hub.receiveCallback, &EnhancedGenericSession::responseCallback);
        EXPECT_EQ(hub.receiveContext, nullptr);
    }
}

TEST(EnhancedGenericSession, SendsAndFileListsPassThrough)
{
    RecordingHub hub;
    const QByteArray message = hex("0100FF") + "<doc/>";
    EXPECT_TRUE(hub.session.sendAsyncMessage(0xCAFE0001, message));
    hub.sendResult = false;
    EXPECT_FALSE(hub.session.sendAsyncMessage(42, "x"));
    EXPECT_EQ(
        hub.sent, (QList<QPair<quint32, QByteArray>> { { 0xCAFE0001u, message }, { 42u, "x" } }));
    hub.session.setApplicationFileList({ file(3, "img"), file(5, "vid") });
    ASSERT_EQ(hub.fileLists.size(), 1);
    ASSERT_EQ(hub.fileLists[0].size(), 2);
    EXPECT_EQ(hub.fileLists[0][1].fileType, 5);
    EXPECT_EQ(hub.fileLists[0][1].data, QByteArray("vid"));
}

struct Received
{
    EnhancedGenericSession* session = nullptr;
    quint32 uid = 0;
    QByteArray message;
    int calls = 0;
};

void record(EnhancedGenericSession* session, quint32 uid, const QByteArray& message, void* context)
{
    auto* received = static_cast<Received*>(context);
    *received = { session, uid, message, received->calls + 1 };
}

// Runs with no lock of the session held, so it may replace itself.
void recordOnceThenReplace(
    EnhancedGenericSession* session, quint32 uid, const QByteArray& message, void* context)
{
    record(session, uid, message, context);
    session->setDeviceMessageReceivedCallback(nullptr, nullptr);
}

TEST(EnhancedGenericSession, DeviceMessagesGoToTheCallbackElseTheSignal)
{
    RecordingHub hub;
    ASSERT_TRUE(hub.session.startSession());
    QSignalSpy spy(&hub.session, &EnhancedGenericSession::deviceMessageReceived);
    hub.receive(0x01020304, hex("0300070041"));
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].value<EnhancedGenericSession*>(), &hub.session);
    EXPECT_EQ(spy[0][1].value<quint32>(), 0x01020304u);
    EXPECT_EQ(spy[0][2].toByteArray(), hex("0300070041"));

    Received received;
    hub.session.setDeviceMessageReceivedCallback(&recordOnceThenReplace, &received);
    hub.receive(9, "second");
    EXPECT_EQ(spy.size(), 1); // the callback alone
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.session, &hub.session);
    EXPECT_EQ(received.uid, 9u);
    EXPECT_EQ(received.message, QByteArray("second"));
    hub.receive(10, "third"); // the callback removed itself
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(spy.size(), 2);

    hub.hasSession = false; // a hub without a session object drops the message
    hub.receive(11, "lost");
    EnhancedGenericSession::responseCallback(nullptr, 12, "lost", nullptr, true);
    EXPECT_EQ(spy.size(), 2);
}

} // namespace
