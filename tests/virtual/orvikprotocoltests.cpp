// The discovery server's wire formats on their own: announcements, requests and the reply
// decoder fed in every chunking.

#include "virtual/orvikprotocol.h"

#include <gtest/gtest.h>

using namespace Taviosystem;

namespace {

QByteArray lengthPrefix(quint32 length)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes += char((length >> (8 * i)) & 0xFF);
    return bytes;
}

TEST(OrvikAnnouncement, AddressAndPortAreReadAnywhereInTheDatagram)
{
    struct Case
    {
        QByteArray datagram;
        bool valid;
        const char* address;
        int port;
    };
    const Case cases[] = {
        { "Orvik addr<10.0.0.5> port<9000>", true, "10.0.0.5", 9000 },
        { "junk Orvik addr<server.school> port<8080> trailing", true, "server.school", 8080 },
        { "Orvik addr<a> port<1> Orvik addr<b> port<2>", true, "a> port<1> Orvik addr<b", 2 },
        { "Orvik addr<10.0.0.5> port<>", false, "10.0.0.5", 0 },
        { "Orvik addr<> port<9000>", false, "", 9000 },
        { "Orvik addr<10.0.0.5> port<0>", false, "10.0.0.5", 0 },
        { "Orvik addr<10.0.0.5> port<70000>", false, "10.0.0.5", 70000 },
        { "Orvik addr<10.0.0.5> port<65535>", true, "10.0.0.5", 65535 },
        { "Orvik addr<10.0.0.5> port<99999999999999999999>", false, "10.0.0.5", 0 },
        { "orvik addr<10.0.0.5> port<9000>", false, "", 0 },
        { "Orvik addr<10.0.0.5>port<9000>", false, "", 0 },
        { "", false, "", 0 },
    };
    for (const Case& c : cases) {
        const Orvik::Announcement announcement = Orvik::parseAnnouncement(c.datagram);
        EXPECT_EQ(announcement.valid, c.valid) << c.datagram.constData();
        if (c.valid) {
            EXPECT_EQ(announcement.address, QLatin1String(c.address)) << c.datagram.constData();
            EXPECT_EQ(announcement.port, c.port) << c.datagram.constData();
        }
    }
}

TEST(OrvikAnnouncement, OnlyTheFirst1023BytesCountAndBytesReadAsLatin1)
{
    QByteArray padded(1000, 'x');
    EXPECT_TRUE(Orvik::parseAnnouncement(padded + "Orvik addr<h> port<1>").valid); // 1021 bytes
    EXPECT_FALSE(Orvik::parseAnnouncement(QByteArray(1010, 'x') + "Orvik addr<h> port<1>").valid);
    const char raw[] = "Orvik addr<h\xe9\n\0z> port<7>";
    const Orvik::Announcement odd = Orvik::parseAnnouncement(QByteArray(raw, sizeof raw - 1));
    ASSERT_TRUE(odd.valid);
    EXPECT_EQ(odd.address, QString::fromLatin1(QByteArray("h\xe9\n\0z", 5)));
    EXPECT_EQ(odd.port, 7);
    EXPECT_FALSE(Orvik::parseAnnouncement(QByteArray(2000, '<')).valid);
}

TEST(OrvikRequests, PinRequestsCarryTheDetailsInUtf8AndNoLineBreaks)
{
    EXPECT_EQ(Orvik::pinRequest(QStringLiteral("Lab 3@10.0.0.1:a:b:c")),
        QByteArray(":RPLab 3@10.0.0.1:a:b:c\r"));
    EXPECT_EQ(Orvik::pinRequest(QStringLiteral("Salle \u00e9")), QByteArray(":RPSalle \xc3\xa9\r"));
    EXPECT_EQ(Orvik::pinRequest(QStringLiteral("a\r:CS\nb")), QByteArray(":RPa :CS b\r"));
    EXPECT_EQ(Orvik::pinRequest(QString()), QByteArray(":RP\r"));
    EXPECT_EQ(Orvik::closeSessionRequest(), QByteArray(":CS\r"));
}

TEST(OrvikRequests, APinIsThreePrintableCharacters)
{
    EXPECT_TRUE(Orvik::isPin("A7Z"));
    EXPECT_TRUE(Orvik::isPin(" ~!"));
    EXPECT_FALSE(Orvik::isPin("AB"));
    EXPECT_FALSE(Orvik::isPin("ABCD"));
    EXPECT_FALSE(Orvik::isPin(QByteArray("A\0C", 3)));
    EXPECT_FALSE(Orvik::isPin("A\x7f"
                              "C"));
    EXPECT_FALSE(Orvik::isPin("A\xc3\xa9"));
}

// Feeds `bytes` in chunks of `chunk` bytes; answers how many were taken in all.
int feedInChunks(Orvik::ReplyDecoder& decoder, const QByteArray& bytes, int chunk)
{
    int taken = 0;
    for (int at = 0; at < bytes.size(); at += chunk) {
        const int count = std::min(chunk, int(bytes.size()) - at);
        const int used = decoder.feed(bytes.constData() + at, count);
        taken += used;
        if (used < count)
            break;
    }
    return taken;
}

TEST(OrvikReplyDecoder, RepliesDecodeInEveryChunking)
{
    struct Case
    {
        QByteArray bytes;
        Orvik::ReplyDecoder::State state;
        QByteArray payload;
        int taken;
    };
    const Case cases[] = {
        { lengthPrefix(3) + "ABC", Orvik::ReplyDecoder::State_Complete, "ABC", 7 },
        { lengthPrefix(3) + "ABCtrailing", Orvik::ReplyDecoder::State_Complete, "ABC", 7 },
        { lengthPrefix(4) + "ABCD", Orvik::ReplyDecoder::State_Complete, "ABCD", 8 },
        { lengthPrefix(0) + "ABC", Orvik::ReplyDecoder::State_Complete, "", 4 },
        { lengthPrefix(3) + "AB", Orvik::ReplyDecoder::State_Payload, "AB", 6 },
        { lengthPrefix(3).left(2), Orvik::ReplyDecoder::State_Header, "", 2 },
        { lengthPrefix(4096) + QByteArray(4096, 'p'), Orvik::ReplyDecoder::State_Complete,
            QByteArray(4096, 'p'), 4100 },
        { lengthPrefix(4097) + "xx", Orvik::ReplyDecoder::State_Oversize, "", 4 },
        { lengthPrefix(0x80000000u) + "xx", Orvik::ReplyDecoder::State_Oversize, "", 4 },
        { lengthPrefix(0xFFFFFFFFu) + "xx", Orvik::ReplyDecoder::State_Oversize, "", 4 },
    };
    for (const Case& c : cases) {
        for (int chunk : { 1, 2, 3, 5, 4200 }) {
            Orvik::ReplyDecoder decoder;
            EXPECT_EQ(feedInChunks(decoder, c.bytes, chunk), c.taken)
                << c.bytes.left(8).toHex().constData() << " in chunks of " << chunk;
            EXPECT_EQ(decoder.state(), c.state) << c.bytes.left(8).toHex().constData();
            EXPECT_EQ(decoder.payload(), c.payload) << c.bytes.left(8).toHex().constData();
        }
    }
}

TEST(OrvikReplyDecoder, ItAsksForExactlyWhatIsMissing)
{
    Orvik::ReplyDecoder decoder;
    EXPECT_EQ(decoder.bytesWanted(), 4);
    EXPECT_EQ(decoder.feed("\x03\x00", 2), 2);
    EXPECT_EQ(decoder.bytesWanted(), 2);
    EXPECT_EQ(decoder.feed("\x00\x00X", 3), 3);
    EXPECT_EQ(decoder.declaredLength(), 3u);
    EXPECT_EQ(decoder.bytesWanted(), 2);
    EXPECT_EQ(decoder.feed("YZW", 3), 2);
    EXPECT_EQ(decoder.bytesWanted(), 0);
    EXPECT_EQ(decoder.feed("W", 1), 0);
    EXPECT_EQ(decoder.payload(), QByteArray("XYZ"));
    decoder.reset();
    EXPECT_EQ(decoder.state(), Orvik::ReplyDecoder::State_Header);
    EXPECT_TRUE(decoder.payload().isEmpty());
}

} // namespace
