// The enhanced transport's stores: outgoing messages with their chunks and acknowledgements,
// and the reassembly of device messages.

#include "enhanced/messagemanager.h"
#include "enhanced/responsemanager.h"

#include <gtest/gtest.h>

#include <set>

using namespace Taviosystem;

namespace {

QByteArray bytes(int size, char fill) { return QByteArray(size, fill); }

QByteArray allBits(int bytesCount = 7) { return QByteArray(bytesCount, char(0xFF)); }

// The chunk indices a device holds, ascending.
std::vector<int> held(const EnhancedMessageManager& manager, quint32 number, quint16 address)
{
    std::vector<int> indices;
    const QBitArray bits = manager.message(number)->receiverBitmap(address);
    for (int i = 0; i < bits.size(); ++i)
        if (bits.testBit(i))
            indices.push_back(i);
    return indices;
}

// Serves `n` chunks for `number`; each entry is (message number, chunk index) or (0, 0).
std::vector<std::pair<quint32, int>> serve(EnhancedMessageManager& manager, quint32 number, int n)
{
    std::vector<std::pair<quint32, int>> served;
    for (int i = 0; i < n; ++i) {
        EnhancedChunk chunk;
        served.emplace_back(manager.pickChunk(number, chunk)
                ? std::make_pair(chunk.messageNumber, int(chunk.index))
                : std::make_pair(0u, 0));
    }
    return served;
}

} // namespace

TEST(EnhancedMessageManager, ChunkCommandsAreByteExact)
{
    EnhancedMessageManager manager;
    manager.setNumberWidth(EnhancedMessageManager::NumberWidth_Async);
    quint32 number = 0;
    // 52 bytes in 49-byte chunks: the second chunk is 3 bytes long.
    ASSERT_TRUE(manager.queueMessage(0x1234, number, bytes(49, 'a') + "xyz", 49));
    EXPECT_EQ(number, 2u); // 1 is the session message's
    manager.acknowledge(0x1234, 0, QByteArray("\x01\0\0\0\0\0\0", 7));
    EXPECT_EQ(manager.serveChunk(0), QByteArray(":XP00C\r\x07\x02\x02\x02\x03xyz"));

    manager.setNumberWidth(EnhancedMessageManager::NumberWidth_Generic);
    EXPECT_EQ(manager.serveChunk(number),
        QByteArray(":XP00F\r\0\0\x02\0\x01\0\x02", 14) + "xyz" + QByteArray(47, '\0'));
    const EnhancedChunk big { 0x0A0B0C, 0x0102, 0x0304, bytes(50, 'q') };
    EXPECT_EQ(EnhancedMessageManager::genericChunkCommand(big),
        QByteArray(":XP00F\r\x0A\x0B\x0C\x01\x02\x03\x04") + bytes(50, 'q'));
}

TEST(EnhancedMessageManager, IdenticalBytesShareOneMessageWithSeparateBitmaps)
{
    EnhancedMessageManager manager;
    quint32 first = 0, second = 0;
    ASSERT_TRUE(manager.queueMessage(10, first, bytes(150, 'm'), 50));
    ASSERT_TRUE(manager.queueMessage(20, second, bytes(150, 'm'), 50));
    EXPECT_EQ(first, second);
    EXPECT_EQ(manager.messageCount(), 1);
    EXPECT_EQ(manager.linkedMessageNumber(10), first);
    EXPECT_EQ(manager.linkedMessageNumber(20), first);

    // Device 10 holds all, device 20 only chunk 1; each report is news once.
    EXPECT_TRUE(manager.acknowledge(10, 0, allBits()));
    EXPECT_TRUE(manager.acknowledge(20, 0, QByteArray("\x02\0\0\0\0\0\0", 7)));
    EXPECT_FALSE(manager.acknowledge(10, 0, allBits()));
    EXPECT_FALSE(manager.acknowledge(30, 0, allBits())); // no message for device 30
    EXPECT_EQ(held(manager, first, 10), (std::vector<int> { 0, 1, 2 }));
    EXPECT_EQ(held(manager, first, 20), (std::vector<int> { 1 }));
    EXPECT_EQ(serve(manager, 0, 3),
        (std::vector<std::pair<quint32, int>> { { first, 0 }, { first, 2 }, { first, 0 } }));
    // Everyone holds everything: the index stays where it was and that chunk goes again.
    EXPECT_TRUE(manager.acknowledge(20, 0, allBits()));
    EXPECT_EQ(serve(manager, first, 1), (std::vector<std::pair<quint32, int>> { { first, 0 } }));
    // A report that only takes chunks back tells of nothing new.
    EXPECT_FALSE(manager.acknowledge(20, 0, QByteArray("\x02\0\0\0\0\0\0", 7)));
    EXPECT_EQ(held(manager, first, 20), (std::vector<int> { 1 }));
}

TEST(EnhancedMessageManager, NothingIsSentFromTheStartWhenEveryChunkIsHeld)
{
    EnhancedMessageManager manager;
    EXPECT_TRUE(manager.serveChunk(0).isEmpty()); // nothing stored
    quint32 number = 0;
    ASSERT_TRUE(manager.queueMessage(10, number, bytes(60, 'm'), 50));
    EXPECT_TRUE(manager.serveChunk(number + 1).isEmpty()); // unknown number
    manager.acknowledge(10, 0, allBits());
    EXPECT_TRUE(manager.serveChunk(number).isEmpty());
    EXPECT_EQ(manager.message(number)->currentChunkIndex(), EnhancedMessage::NoChunk);
}

TEST(EnhancedMessageManager, RoundRobinSkipsDoneMessages)
{
    EnhancedMessageManager manager;
    quint32 numbers[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(
            manager.queueMessage(quint16(10 + i), numbers[i], bytes(10, char('a' + i)), 50));
    manager.release(0, numbers[1]); // the hub is done with the middle one
    EXPECT_EQ(manager.linkedMessageNumber(11), 0u);
    EXPECT_EQ(serve(manager, 0, 4),
        (std::vector<std::pair<quint32, int>> {
            { numbers[0], 0 }, { numbers[2], 0 }, { numbers[0], 0 }, { numbers[2], 0 } }));
    // Naming the done message serves it and brings it back into the round.
    EXPECT_EQ(serve(manager, numbers[1], 1)[0].first, numbers[1]);
    EXPECT_EQ(serve(manager, 0, 3)[0].first, numbers[0]);
    for (quint32 number : numbers)
        manager.release(0, number);
    EXPECT_TRUE(manager.serveChunk(0).isEmpty());
    EXPECT_EQ(manager.messageCount(), 3); // done messages stay until their number is reused
}

TEST(EnhancedMessageManager, AsyncNumbersWrapAndRunOut)
{
    EnhancedMessageManager manager;
    manager.setNumberWidth(EnhancedMessageManager::NumberWidth_Async);
    manager.setApplicationFiles({ { 3, "file" } });
    std::set<quint32> numbers;
    for (quint16 address = 1; address <= 253; ++address) {
        quint32 number = 0;
        ASSERT_TRUE(manager.queueMessage(address, number, QByteArray::number(address), 49));
        numbers.insert(number);
    }
    // 1 (session message) and 3 (application file) are never given out.
    EXPECT_EQ(numbers.size(), 253u);
    EXPECT_EQ(*numbers.begin(), 2u);
    EXPECT_EQ(*numbers.rbegin(), 255u);
    EXPECT_EQ(numbers.count(3), 0u);
    quint32 number = 0;
    EXPECT_FALSE(manager.queueMessage(999, number, "more", 49));

    manager.release(253, 0); // frees 255, the number the next search starts from
    number = 0;
    ASSERT_TRUE(manager.queueMessage(999, number, "more", 49));
    EXPECT_EQ(number, 255u);
    manager.release(0, 7); // a done message's number is reused, the old message deleted
    number = 0;
    ASSERT_TRUE(manager.queueMessage(1000, number, "again", 49));
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(manager.message(7)->chunks().at(0), QByteArray("again"));
}

TEST(EnhancedMessageManager, NumberSearchInBothWidths)
{
    const auto free = [](quint32) { return true; };
    const auto none = [](quint32) { return false; };
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(0, 1, free), 1u);
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(254, 1, free), 255u);
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(255, 1, free), 1u);
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(255, 3, free), 256u);
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(0xFFFFFF, 3, free), 1u);
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(300, 1, free), 1u); // out of width
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(40, 1, none), 0u);
    EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(40, 3, none), 0u);
    // The starting number itself is tried last, in either width.
    for (quint32 width : { 1u, 3u })
        EXPECT_EQ(EnhancedMessageManager::nextMessageNumber(
                      200, width, [](quint32 n) { return n == 200; }),
            200u);
}

TEST(EnhancedMessageManager, AcknowledgementWrapsOnlyInLongMessages)
{
    EnhancedMessageManager manager;
    quint32 longMessage = 0, shortMessage = 0;
    ASSERT_TRUE(manager.queueMessage(10, longMessage, bytes(70 * 50, 'l'), 50));
    manager.acknowledge(10, 60, allBits());
    std::vector<int> expected;
    for (int i = 0; i <= 45; ++i)
        expected.push_back(i);
    for (int i = 60; i <= 69; ++i)
        expected.push_back(i);
    EXPECT_EQ(held(manager, longMessage, 10), expected);

    ASSERT_TRUE(manager.queueMessage(20, shortMessage, bytes(10 * 50, 's'), 50));
    manager.acknowledge(20, 5, allBits()); // 10 chunks: no wrap to the start
    manager.acknowledge(20, 6, QByteArray("\x02\0\0\0\0\0\0", 7)); // 6 cleared, 7 set
    EXPECT_EQ(held(manager, shortMessage, 20), (std::vector<int> { 5, 7 }));
    manager.acknowledge(30, 0, allBits()); // no current message: ignored
}

TEST(EnhancedMessageManager, AStaleAcknowledgementDoesNotCountForTheNextMessage)
{
    EnhancedMessageManager manager;
    quint32 first = 0, second = 0;
    ASSERT_TRUE(manager.queueMessage(10, first, "first", 50));
    manager.acknowledge(10, 0, allBits()); // a first message takes acknowledgements at once
    EXPECT_EQ(held(manager, first, 10), (std::vector<int> { 0 }));
    // The host moves the device on while its last acknowledgement of `first` is still coming.
    ASSERT_TRUE(manager.queueMessage(10, second, "second", 50));
    manager.acknowledge(10, 0, allBits());
    EXPECT_TRUE(held(manager, second, 10).empty());
    EXPECT_EQ(serve(manager, 0, 1), (std::vector<std::pair<quint32, int>> { { second, 0 } }));
    manager.acknowledge(10, 0, allBits());
    EXPECT_EQ(held(manager, second, 10), (std::vector<int> { 0 }));
}

TEST(EnhancedMessageManager, ReleaseAndDone)
{
    EnhancedMessageManager manager;
    quint32 number = 0, same = 0;
    EXPECT_FALSE(manager.queueMessage(10, number, QByteArray(), 50));
    EXPECT_FALSE(manager.queueMessage(0, number, "data", 50));
    ASSERT_TRUE(manager.queueMessage(10, number, "data", 50));
    ASSERT_TRUE(manager.queueMessage(20, same, "data", 50));
    manager.release(10, number + 1); // not its message: nothing
    EXPECT_EQ(manager.linkedMessageNumber(10), number);
    manager.release(10, number);
    EXPECT_FALSE(manager.message(number)->hasReceiver(10));
    EXPECT_EQ(manager.messageCount(), 1);
    manager.release(20, 0); // the last receiver: the message goes
    EXPECT_EQ(manager.messageCount(), 0);

    ASSERT_TRUE(manager.queueMessage(10, number, "done", 50));
    ASSERT_TRUE(manager.queueMessage(20, same = 0, "done", 50));
    manager.release(0, number);
    EXPECT_TRUE(manager.message(number)->isDone());
    EXPECT_EQ(manager.linkedMessageNumber(10) + manager.linkedMessageNumber(20), 0u);
    same = 0; // identical bytes bring the done message back
    ASSERT_TRUE(manager.queueMessage(30, same, "done", 50));
    EXPECT_EQ(same, number);
    EXPECT_FALSE(manager.message(number)->isDone());
    // A device given another message lets go of its current one.
    ASSERT_TRUE(manager.queueMessage(30, same = 0, "other", 50));
    EXPECT_FALSE(manager.message(number)->hasReceiver(30));
    manager.reset();
    EXPECT_EQ(manager.messageCount(), 0);
    EXPECT_EQ(manager.sessionMessageNumber(), 1u);
}

struct Piece
{
    quint8 type; // 0x87, 0x88, 0x96 or 0x92
    quint8 value; // piece count, piece index or header length
    QByteArray data;
};

struct ReassemblyCase
{
    const char* name;
    std::vector<Piece> pieces;
    int completesAt; // index of the piece that completes the message, -1 for never
    QByteArray message;
};

TEST(EnhancedResponseManager, Reassembly)
{
    const QByteArray a("AAAAAAAA"), b("BBBBBBBB"), c("12\0\0\0\0\0\0", 8);
    const std::vector<ReassemblyCase> cases {
        { "pieces in order", { { 0x87, 2, a }, { 0x88, 1, b } }, 1, a + b },
        { "zero bytes kept", { { 0x87, 1, c } }, 0, c },
        { "later piece first", { { 0x88, 1, b }, { 0x87, 2, a } }, 1, a + b },
        // Each piece counts once, and only below the piece count.
        { "piece past the count dropped", { { 0x88, 2, c }, { 0x87, 2, a }, { 0x88, 1, b } }, 2,
            a + b },
        { "repeated piece counts once",
            { { 0x87, 3, a }, { 0x88, 1, b }, { 0x88, 1, b }, { 0x88, 2, c } }, 3, a + b + c },
        { "repeat of a whole message", { { 0x87, 1, a }, { 0x87, 1, a }, { 0x88, 0, a } }, 0, a },
        { "twenty bytes", { { 0x96, 20, {} }, { 0x92, 0, a }, { 0x92, 0, b }, { 0x92, 0, c } }, 3,
            a + b + c.left(4) },
        { "zero length", { { 0x96, 0, {} }, { 0x92, 0, a }, { 0x92, 0, b } }, -1, {} },
        { "no header", { { 0x92, 0, a } }, -1, {} },
        { "header restarts", { { 0x96, 16, {} }, { 0x92, 0, a }, { 0x96, 8, {} }, { 0x92, 0, b } },
            3, b },
    };
    for (const ReassemblyCase& test : cases) {
        SCOPED_TRACE(test.name);
        EnhancedResponseManager manager;
        for (int i = 0; i < int(test.pieces.size()); ++i) {
            const Piece& p = test.pieces[i];
            QByteArray done;
            if (p.type == 0x87)
                done = manager.receiveFirstPiece(0x0102, p.value, p.data);
            else if (p.type == 0x88)
                done = manager.receivePiece(0x0102, p.value, p.data);
            else if (p.type == 0x96)
                manager.receiveHeader(0x0102, 5, p.value, 0);
            else
                done = manager.receiveNextPiece(0x0102, p.data);
            EXPECT_EQ(done, i == test.completesAt ? test.message : QByteArray()) << i;
        }
        EXPECT_EQ(manager.hasAssembly(0x0102), test.completesAt < 0);
    }
}
