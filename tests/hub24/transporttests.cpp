// The long-message transport of a 2.4 GHz hub through its public entry points, against the
// emulator playing the hub's side packet by packet: the commands the library writes for each
// packet, what reaches the host, and what a stop takes back.

#include "support/emulatorfixture.h"

#include <taviosystem/enhancedgenericsession.h>

#include <tavioemulator/twopointfourghzfirmware.h>

#include <atomic>
#include <condition_variable>
#include <thread>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::EmulatedDevice;
using TavioEmulator::TwoPointFourGHzFirmware;

namespace {

const int Handle = 5;
const unsigned int Ann = 0x00B10001; // address 0x0201
const unsigned int Ben = 0x0CB10002; // address 0x0202, second generation

struct Received
{
    unsigned int uid;
    QByteArray bytes;
    bool v2;
    bool operator==(const Received& other) const
    {
        return uid == other.uid && bytes == other.bytes && v2 == other.v2;
    }
};

// What the host is handed: the session's one context serves both callbacks.
struct HostSide
{
    Recorder<Received> requests;
    Recorder<Received> messages;
};

void onGetMessage(Hub*, unsigned int uid, const QByteArray& data, void* context)
{
    static_cast<HostSide*>(context)->requests.append({ uid, data, false });
}

void onMessage(Hub*, unsigned int uid, const QByteArray& message, void* context, bool v2)
{
    static_cast<HostSide*>(context)->messages.append({ uid, message, v2 });
}

TavioEmulator::Bytes packet(std::initializer_list<quint8> bytes) { return bytes; }

// A 13-byte device packet: length, type, the address, then up to nine bytes, zero-padded.
TavioEmulator::Bytes devicePacket(quint8 type, quint16 address, const QByteArray& rest)
{
    TavioEmulator::Bytes bytes = { 13, type, quint8(address >> 8), quint8(address) };
    for (int i = 0; i < 9; ++i)
        bytes.push_back(i < rest.size() ? quint8(rest.at(i)) : 0);
    return bytes;
}

class TransportTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        // The transport's commands are acknowledged by a plain scripted hub behind the 2.4 GHz
        // firmware; the tests play the radio side themselves.
        transportHub = std::make_shared<TavioEmulator::ScriptedFirmware>();
        transportHub->on(TavioEmulator::Bytes { ':', 'X', 'P', '0', '0' },
            { TwoPointFourGHzFirmware::okPacket() });
        firmware = std::make_shared<TwoPointFourGHzFirmware>(transportHub);
        firmware->addDevice(EmulatedDevice::expression(Ann, 0x0201, "Ann"));
        firmware->addDevice(EmulatedDevice::expressionV2(Ben, 0x0202, "Ben"));
        firmware->setAnsweringKinds({});
        emulated = plugTavioHub(Handle, firmware);
        initialiseSystem();
        hub = system->tavioHub(Handle);
        ASSERT_NE(hub, nullptr);
        hub->setResponseTimeout(200);
        QList<Device*> devices;
        ASSERT_TRUE(hub->getDeviceList(Device::Type_Expression, &devices));
        emulated->clearWrites();
    }

    void deliver(const TavioEmulator::Bytes& bytes) { emulated->deliver(bytes); }

    // Waits until the event thread has handled everything delivered so far: a marker request
    // from Ann must come through to the get-message recorder.
    void settle(Recorder<Received>& requests)
    {
        const std::size_t before = requests.size();
        deliver(TavioEmulator::Bytes { 12, 0x84, 0x02, 0x01, 'm', 'a', 'r', 'k', 'e', 'r', 0, 0 });
        ASSERT_TRUE(waitFor([&] { return requests.size() > before; }));
    }

    std::vector<QByteArray> writesStartingWith(const QByteArray& prefix)
    {
        std::vector<QByteArray> result;
        for (const QByteArray& write : writesOf(Handle)) {
            if (write.startsWith(prefix))
                result.push_back(write);
        }
        return result;
    }

    bool waitForWrites(const QByteArray& prefix, std::size_t count)
    {
        return waitFor([&] { return writesStartingWith(prefix).size() >= count; });
    }

    std::shared_ptr<TavioEmulator::ScriptedFirmware> transportHub;
    std::shared_ptr<TwoPointFourGHzFirmware> firmware;
    TavioEmulator::EmulatedHub* emulated = nullptr;
    TestTavioHub* hub = nullptr;
    HostSide host;
    Recorder<Received>& requests = host.requests;
    Recorder<Received>& messages = host.messages;
};

TEST_F(TransportTest, StartingChecksTheHubAndItsSession)
{
    ASSERT_TRUE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":XP00A\r\0", 8));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_Async);

    EXPECT_FALSE(hub->startEnhancedGenericSession(&onMessage, &host));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CannotStartSessionBecauseCurrentlyInSession);
    EXPECT_FALSE(hub->sendGenericAsyncMessage(Ann, "x"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_InvalidSessionForRequest);
    EXPECT_FALSE(hub->asyncSendMsg(0x12345678, "x"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_InvalidParameter);

    ASSERT_TRUE(hub->stopSession());
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":VE\r"));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    EXPECT_FALSE(hub->asyncSendMsg(Ann, "x"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_InvalidSessionForRequest);

    ASSERT_TRUE(hub->startEnhancedGenericSession(&onMessage, &host));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":XP00D\r\0", 8));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_EnhancedGeneric);
    ASSERT_TRUE(hub->stopSession());

    // A hub that does not acknowledge the start leaves no session behind.
    transportHub->clearRules();
    EXPECT_FALSE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);

    hub->setConnected(false);
    EXPECT_FALSE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotConnected);
}

TEST_F(TransportTest, AsyncMessagesAreAnnouncedServedAndAcknowledged)
{
    ASSERT_TRUE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    // 60 bytes: a chunk of 49 and one of 11. Number 1 is the session message's, so the first
    // message gets 2.
    QByteArray message;
    for (int i = 0; i < 60; ++i)
        message.append(char('a' + i % 26));
    ASSERT_TRUE(hub->asyncSendMsg(Ann, message));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3a5850303042 0d 03 0201 02"));
    // Ben is sent the same bytes: one stored message, announced to him under the same number.
    ASSERT_TRUE(hub->asyncSendMsg(Ben, message));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3a5850303042 0d 03 0202 02"));

    emulated->clearWrites();
    deliver(packet({ 3, 0x85, 0 }));
    ASSERT_TRUE(waitForWrites(":XP00C", 1));
    EXPECT_EQ(writesOf(Handle).back(),
        QByteArray::fromHex("3a5850303043 0d 35 02 01 02 31") + message.left(49));

    // Ann holds both chunks, Ben only the first: the second goes out again for Ben.
    deliver(devicePacket(0x93, 0x0201, QByteArray::fromHex("0000 03")));
    deliver(devicePacket(0x93, 0x0202, QByteArray::fromHex("0000 01")));
    deliver(packet({ 3, 0x85, 2 }));
    ASSERT_TRUE(waitForWrites(":XP00C", 2));
    EXPECT_EQ(writesOf(Handle).back(),
        QByteArray::fromHex("3a5850303043 0d 0f 02 02 02 0b") + message.mid(49));
    deliver(packet({ 3, 0x85, 2 }));
    ASSERT_TRUE(waitForWrites(":XP00C", 3));
    EXPECT_EQ(writesOf(Handle).back().mid(9, 1), QByteArray::fromHex("02")); // chunk 2 again

    // Done: a request for any message finds nothing left to send.
    deliver(packet({ 3, 0x86, 2 }));
    deliver(packet({ 3, 0x85, 0 }));
    deliver(packet({ 3, 0x85, 9 })); // unknown
    settle(requests);
    EXPECT_EQ(writesStartingWith(":XP00C").size(), 3u);

    // Unknown packets, wrong lengths and generic packets change nothing.
    deliver(devicePacket(0x92, 0x0201, "abc"));
    deliver(packet({ 4, 0x85, 0, 0 }));
    deliver(packet({ 13, 0x87, 0x02 }));
    settle(requests);
    EXPECT_EQ(messages.size(), 0u);
}

TEST_F(TransportTest, DeviceRequestsAndMessagesReachTheHost)
{
    ASSERT_TRUE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    EXPECT_FALSE(hub->asyncIsReadyToReceive(Ann));
    deliver(TavioEmulator::Bytes { 12, 0x84, 0x02, 0x01, 0, 0, 0, 0, 0, 9, 0, 0 });
    deliver(TavioEmulator::Bytes { 12, 0x84, 0x7F, 0x7F, 1, 0, 0, 0, 0, 0, 0, 0 }); // unknown
    ASSERT_TRUE(waitFor([&] { return requests.size() == 1; }));
    EXPECT_EQ(
        requests.values()[0], (Received { Ann, QByteArray::fromHex("0000000000090000"), false }));
    EXPECT_TRUE(hub->asyncIsReadyToReceive(Ann));
    EXPECT_FALSE(hub->asyncIsReadyToReceive(Ben));

    // Three pieces, the last one first: the message is whole when all three are in.
    deliver(devicePacket(0x88, 0x0202, QByteArray("\x02", 1) + "90123456"));
    deliver(devicePacket(0x87, 0x0202, QByteArray("\x03", 1) + "text ans"));
    settle(requests);
    EXPECT_EQ(messages.size(), 0u);
    deliver(devicePacket(0x88, 0x0202, QByteArray("\x01", 1) + "wer 1234"));
    ASSERT_TRUE(waitFor([&] { return messages.size() == 1; }));
    EXPECT_EQ(messages.values()[0], (Received { Ben, "text answer 123490123456", true }));

    // Without a callback the hub signals instead.
    ASSERT_TRUE(hub->stopSession());
    Recorder<Received> signalled;
    QObject::connect(
        hub, &Hub::asyncReceiveMsg, hub,
        [&](Hub*, quint32 uid, QByteArray bytes, bool v2) {
            signalled.append({ uid, bytes, v2 });
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::asyncGetMsg, hub,
        [&](Hub*, quint32 uid, QByteArray bytes) {
            signalled.append({ uid, bytes, false });
        },
        Qt::DirectConnection);
    ASSERT_TRUE(hub->startAsyncSession(nullptr, nullptr, nullptr));
    EXPECT_FALSE(hub->asyncIsReadyToReceive(Ann)); // a start empties the list
    deliver(devicePacket(0x87, 0x0201, QByteArray("\x01", 1) + "A"));
    deliver(TavioEmulator::Bytes { 12, 0x84, 0x02, 0x01, 0xFF, 0, 0, 0, 0, 0, 0, 0 });
    ASSERT_TRUE(waitFor([&] { return signalled.size() == 2; }));
    EXPECT_EQ(signalled.values()[0], (Received { Ann, QByteArray("A\0\0\0\0\0\0\0", 8), true }));
    EXPECT_EQ(
        signalled.values()[1], (Received { Ann, QByteArray::fromHex("ff00000000000000"), false }));
}

// The radio may repeat a piece, hold one back, or bring a piece the message does not have: a
// message is whole once each of its pieces is in, counted once, and nothing of it reaches the
// device's next message. Ann's marker requests do not touch Ben's pieces.
TEST_F(TransportTest, RepeatedAndStrayPiecesCountOnce)
{
    ASSERT_TRUE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    const auto piece = [](quint8 type, quint8 countOrIndex, const char* bytes) {
        return devicePacket(type, 0x0202, QByteArray(1, char(countOrIndex)) + bytes);
    };
    const QByteArray next("next\0\0\0\0", 8);

    // Piece 1 twice: the message waits for piece 2.
    deliver(piece(0x87, 3, "first pi"));
    deliver(piece(0x88, 1, "ece, sec"));
    deliver(piece(0x88, 1, "ece, sec"));
    settle(requests);
    EXPECT_EQ(messages.size(), 0u);
    deliver(piece(0x88, 2, "ond one."));
    // Late repeats of the whole message are not taken for the start of the next one.
    deliver(piece(0x88, 1, "ece, sec"));
    deliver(piece(0x87, 3, "first pi"));
    // The next message, one piece, repeated.
    deliver(piece(0x87, 1, "next"));
    deliver(piece(0x87, 1, "next"));
    settle(requests);
    // Once Ben has asked for something, the same bytes are a new message.
    deliver(TavioEmulator::Bytes { 12, 0x84, 0x02, 0x02, 1, 0, 2, 0, 0, 0, 0, 0 });
    deliver(piece(0x87, 1, "next"));
    // A piece past the count of the message it comes before is dropped.
    deliver(piece(0x88, 3, "stray..."));
    deliver(piece(0x87, 2, "last ans"));
    deliver(piece(0x88, 1, "wer."));
    ASSERT_TRUE(waitFor([&] { return messages.size() >= 4; }));
    settle(requests);
    EXPECT_EQ(messages.values(),
        (std::vector<Received> { { Ben, "first piece, second one.", true }, { Ben, next, true },
            { Ben, next, true }, { Ben, QByteArray("last answer.\0\0\0\0", 16), true } }));
}

// A device that reports again the chunks it holds, between an answer's piece and the piece's
// repeat, has not moved on: the repeat stays a repeat. Its report of a new chunk moves it on.
TEST_F(TransportTest, RepeatedAcknowledgementLeavesARepeatARepeat)
{
    ASSERT_TRUE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    ASSERT_TRUE(hub->asyncSendMsg(Ben, QByteArray(60, 'q'))); // two chunks
    const auto acknowledgement = [](quint8 bitmap) {
        return devicePacket(0x93, 0x0202, QByteArray("\0\0", 2) + char(bitmap));
    };
    const auto answer = devicePacket(0x87, 0x0202, QByteArray(1, '\x01') + "B");

    deliver(acknowledgement(0x01));
    deliver(answer);
    deliver(acknowledgement(0x01));
    deliver(answer);
    settle(requests);
    EXPECT_EQ(messages.size(), 1u);
    // The second chunk is news: the same bytes are the device's next answer.
    deliver(acknowledgement(0x03));
    deliver(answer);
    ASSERT_TRUE(waitFor([&] { return messages.size() >= 2; }));
    settle(requests);
    const QByteArray b("B\0\0\0\0\0\0\0", 8);
    EXPECT_EQ(messages.values(), (std::vector<Received> { { Ben, b, true }, { Ben, b, true } }));
}

// The event thread is held inside a get-message callback while packets queue up behind it;
// the stop takes them back, so none of them is handled afterwards.
struct Gate
{
    std::mutex mutex;
    std::condition_variable condition;
    bool entered = false;
    bool open = false;
    Recorder<Received> requests;
};

void onGatedGetMessage(Hub*, unsigned int uid, const QByteArray& data, void* context)
{
    auto* gate = static_cast<Gate*>(context);
    gate->requests.append({ uid, data, false });
    std::unique_lock<std::mutex> locker(gate->mutex);
    gate->entered = true;
    gate->condition.notify_all();
    gate->condition.wait_for(locker, 5s, [gate] { return gate->open; });
}

TEST_F(TransportTest, StoppingTakesBackQueuedPacketsAndEmptiesTheTransport)
{
    Gate gate;
    ASSERT_TRUE(hub->startAsyncSession(&onGatedGetMessage, &onMessage, &gate));
    ASSERT_TRUE(hub->asyncSendMsg(Ann, "question"));
    deliver(TavioEmulator::Bytes { 12, 0x84, 0x02, 0x01, 1, 0, 0, 0, 0, 0, 0, 0 });
    {
        std::unique_lock<std::mutex> locker(gate.mutex);
        ASSERT_TRUE(gate.condition.wait_for(locker, 2s, [&] { return gate.entered; }));
    }
    deliver(devicePacket(0x87, 0x0201, QByteArray("\x01", 1) + "late"));
    deliver(packet({ 3, 0x85, 0 }));
    ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    emulated->clearWrites();
    ASSERT_TRUE(hub->stopSession());

    // A new session starts from an empty transport before the event thread moves on: nothing
    // queued from before is handled in it, and the first message number is handed out again.
    ASSERT_TRUE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    {
        std::lock_guard<std::mutex> locker(gate.mutex);
        gate.open = true;
    }
    gate.condition.notify_all();
    settle(requests);
    EXPECT_EQ(messages.size(), 0u);
    EXPECT_TRUE(writesStartingWith(":XP00C").empty());
    deliver(packet({ 3, 0x85, 0 }));
    settle(requests);
    EXPECT_TRUE(writesStartingWith(":XP00C").empty());
    ASSERT_TRUE(hub->asyncSendMsg(Ben, "again"));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3a5850303042 0d 03 0202 02"));
}

TEST_F(TransportTest, AHubResetLeavesNothingOfTheSessionBehind)
{
    ASSERT_TRUE(hub->startAsyncSession(&onGetMessage, &onMessage, &host));
    ASSERT_TRUE(hub->asyncSendMsg(Ann, "pending"));
    deliver(packet({ 3, 0xA0, 0 })); // the hub reset: no session any more, and no stop
    ASSERT_TRUE(waitFor([&] { return hub->sessionType() == Hub::SessionType_None; }));
    QList<Device*> devices; // the reset also emptied the lists: read them again
    ASSERT_TRUE(hub->getDeviceList(Device::Type_Expression, &devices));

    ASSERT_TRUE(hub->startEnhancedGenericSession(&onMessage, &host));
    ASSERT_TRUE(hub->sendGenericAsyncMessage(Ann, "fresh"));
    // A generic announcement under the first number after the session message's.
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3a5850303045 0d 05 0201 000002"));
    deliver(packet({ 2, 0x95 }));
    ASSERT_TRUE(waitForWrites(":XP00F", 1));
    EXPECT_EQ(
        writesStartingWith(":XP00F").back().mid(14, 8), QByteArray::fromHex("000004") + "fresh");
    ASSERT_TRUE(hub->stopSession());
}

TEST_F(TransportTest, GenericMessagesCarryTheirLengthAndDevicesFetchTheDescription)
{
    ASSERT_TRUE(hub->startEnhancedGenericSession(&onMessage, &host));
    ASSERT_TRUE(hub->sendGenericAsyncMessage(Ben, "hello"));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3a5850303045 0d 05 0202 000002"));
    deliver(packet({ 2, 0x95 }));
    ASSERT_TRUE(waitForWrites(":XP00F", 1));
    QByteArray expected = QByteArray::fromHex("3a5850303046 0d 000002 0000 0001 000004") + "hello";
    expected.append(50 - 8, '\0');
    EXPECT_EQ(writesOf(Handle).back(), expected);

    // Ann asks for the session description: it goes out under the session message number 1,
    // as stored, without a length in front.
    deliver(devicePacket(0x94, 0x0201, QByteArray::fromHex("01")));
    ASSERT_TRUE(waitForWrites(":XP00E", 2));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3a5850303045 0d 05 0201 000001"));
    deliver(devicePacket(0x93, 0x0202, QByteArray::fromHex("0000 01"))); // Ben has his
    deliver(packet({ 2, 0x95 }));
    ASSERT_TRUE(waitForWrites(":XP00F", 2));
    const QByteArray chunk = writesOf(Handle).back();
    EXPECT_EQ(chunk.left(14), QByteArray::fromHex("3a5850303046 0d 000001 0000 0002"));
    EXPECT_TRUE(chunk.mid(14).startsWith("\x01<?xml"));

    // A device message of 20 bytes in three pieces.
    const QByteArray answer = QByteArray::fromHex("00 0007") + "seventeen bytes!!";
    deliver(devicePacket(0x96, 0x0202, QByteArray::fromHex("000009 000014 000000")));
    for (int i = 0; i < 3; ++i)
        deliver(devicePacket(0x92, 0x0202, QByteArray(1, char(i)) + answer.mid(8 * i, 8)));
    ASSERT_TRUE(waitFor([&] { return messages.size() == 1; }));
    EXPECT_EQ(messages.values()[0], (Received { Ben, answer, true }));

    // Async packets are not this mode's.
    deliver(devicePacket(0x87, 0x0202, QByteArray("\x01", 1) + "A"));
    deliver(packet({ 3, 0x85, 0 }));
    deliver(devicePacket(0x96, 0x0202, QByteArray::fromHex("00000a 000004 000000")));
    deliver(devicePacket(0x92, 0x0202, QByteArray::fromHex("00 02 0007 41")));
    ASSERT_TRUE(waitFor([&] { return messages.size() == 2; }));
    EXPECT_EQ(messages.values()[1].bytes.left(1), QByteArray::fromHex("01"));
    EXPECT_EQ(writesStartingWith(":XP00C").size(), 0u);
    ASSERT_TRUE(hub->stopSession());
}

} // namespace

namespace {

// The transport's host callbacks around a stop.

// `count` requests for a message from the device at `address`: 12 84, the address, then what it
// sends along.
void askForMessages(TavioEmulator::EmulatedHub* emulated, quint16 address, int count)
{
    for (int i = 0; i < count; ++i)
        emulated->deliver(TavioEmulator::Bytes { 12, 0x84, quint8(address >> 8), quint8(address),
            'a', 's', 'k', 0, 0, 0, 0, quint8(i) });
}

// One session's host: counts the calls that are still running, or begin, after its stop
// returned. Each call lingers a little, so a stop that does not wait for it is caught.
struct TransportHost
{
    std::atomic<bool> stopped { false };
    std::atomic<int> calls { 0 };
    std::atomic<int> late { 0 };
    TwoPointFourGHzHub* stopFromInside = nullptr;
    std::atomic<bool> stoppedFromInside { false };
};

void onAsk(Hub*, unsigned int, const QByteArray&, void* context)
{
    auto* host = static_cast<TransportHost*>(context);
    ++host->calls;
    if (host->stopFromInside && !host->stoppedFromInside.exchange(true)) {
        host->stopFromInside->stopSession();
        return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    if (host->stopped)
        ++host->late;
}

TEST_F(TransportTest, NoCallbackOfASessionRunsAfterItsStopReturned)
{
    // Every session's host stays alive to the end, so a late call is counted, not a crash.
    std::vector<std::unique_ptr<TransportHost>> hosts;
    for (int round = 0; round < 20; ++round) {
        hosts.push_back(std::make_unique<TransportHost>());
        TransportHost& host = *hosts.back();
        ASSERT_TRUE(hub->startAsyncSession(&onAsk, nullptr, &host)) << "round " << round;
        askForMessages(emulated, 0x0201, 30);
        ASSERT_TRUE(waitFor([&] { return host.calls >= 2; })) << "round " << round;
        ASSERT_TRUE(hub->stopSession());
        host.stopped = true;
    }
    // The last session's stragglers would have come by now.
    std::this_thread::sleep_for(20ms);
    for (std::size_t i = 0; i < hosts.size(); ++i)
        EXPECT_EQ(hosts[i]->late, 0) << "session " << i;
}

TEST_F(TransportTest, AStopFromInsideTheCallbackEndsTheSession)
{
    TransportHost host;
    host.stopFromInside = hub;
    ASSERT_TRUE(hub->startAsyncSession(&onAsk, nullptr, &host));
    askForMessages(emulated, 0x0201, 5);
    ASSERT_TRUE(waitFor([&] { return hub->sessionType() == Hub::SessionType_None; }));
    EXPECT_TRUE(host.stoppedFromInside);
    // The rest of the requests went with the session.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(host.calls, 1);
    // And the transport starts again.
    TransportHost next;
    ASSERT_TRUE(hub->startAsyncSession(&onAsk, nullptr, &next));
    askForMessages(emulated, 0x0201, 1);
    ASSERT_TRUE(waitFor([&] { return next.calls == 1; }));
    ASSERT_TRUE(hub->stopSession());
}

} // namespace
