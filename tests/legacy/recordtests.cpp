// The legacy hub's records in both framings and its commands, byte for byte, table-driven.

#include "hub/tavioteresponse.h"
#include "legacy/legacyprotocol.h"
#include "legacy/legacyrecords.h"

#include <taviosystem/registrationcode.h>

#include <gtest/gtest.h>

using namespace Taviosystem;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// Voter registration ------------------------------------------------------------------------------

struct VoterCase
{
    const char* name;
    const char* bytes;
    bool serial;
    bool valid;
    quint32 deviceId;
    bool batteryLow;
    quint8 version;
};

class VoterRegistration : public ::testing::TestWithParam<VoterCase>
{
};

TEST_P(VoterRegistration, Decodes)
{
    const VoterCase& c = GetParam();
    const QByteArray packet = hex(c.bytes);
    LegacyVoteRegistrationResponse usb(packet);
    LegacySerialVoteRegistrationResponse serial(packet);
    const LegacyVoteRegistrationResponse& record
        = c.serial ? static_cast<const LegacyVoteRegistrationResponse&>(serial) : usb;
    ASSERT_EQ(record.isValid(), c.valid);
    if (!c.valid)
        return;
    EXPECT_EQ(record.deviceId, c.deviceId);
    EXPECT_EQ(record.batteryLow, c.batteryLow);
    EXPECT_EQ(record.deviceVersion, c.version);
}

INSTANTIATE_TEST_SUITE_P(Records, VoterRegistration,
    ::testing::Values(
        // The serial example: 8A 05 67 01 00 ... gives 5 + 128.
        VoterCase { "SerialExample", "8A056701000000000007", true, true, 133, false, 7 },
        VoterCase { "SerialBatteryMarkIs16", "8A056701000010000002", true, true, 133, true, 2 },
        VoterCase { "SerialBatteryOtherValue", "8A056701000011000002", true, true, 133, false, 2 },
        VoterCase { "SerialThirdGroup", "8A7F677F030000000001", true, true,
            0x7F + 128 * 0x7F + 16384 * 3, false, 1 },
        VoterCase { "SerialLengthWithoutMark", "0A056701000000000007", true, true, 133, false, 7 },
        VoterCase { "SerialShort", "8A0567010000000000", true, false, 0, false, 0 },
        VoterCase { "SerialLengthByteDisagrees", "8B056701000000000007", true, false, 0, false, 0 },
        VoterCase { "SerialIdZero", "8A006700000000000007", true, false, 0, false, 0 },
        VoterCase { "UsbLittleEndian", "0967850000000100 03", false, true, 133, true, 3 },
        VoterCase {
            "UsbTopBitOfByte4Dropped", "096785008100000003", false, true, 133 + 65536, false, 3 },
        VoterCase { "UsbLonger", "09678500000000000300", false, true, 133, false, 3 },
        VoterCase { "UsbWrongKind", "096885000000000003", false, false, 0, false, 0 },
        VoterCase { "UsbIdZero", "096700000000000003", false, false, 0, false, 0 }),
    [](const auto& info) { return std::string(info.param.name); });

// Radio settings and enabling a voter ------------------------------------------------------------

TEST(LegacyRecords, RadioSettingsUnpackOneByte)
{
    // 0x6C: vote channel 2 (bits 1-2), band 1 (bits 3-4), slate channel 3 (bits 5-6).
    const LegacyRFResponse usb(hex("0A686C2A000000000000"));
    ASSERT_TRUE(usb.isValid());
    EXPECT_EQ(usb.voteChannel, 2);
    EXPECT_EQ(usb.rfBand, 1);
    EXPECT_EQ(usb.slateChannel, 3);
    EXPECT_EQ(usb.boardId, 0x2A);
    // Serial keeps the packed byte in byte 1 and is one byte longer.
    const LegacySerialRFResponse serial(hex("8B6C682A00000000000000"));
    ASSERT_TRUE(serial.isValid());
    EXPECT_EQ(serial.voteChannel, 2);
    EXPECT_EQ(serial.rfBand, 1);
    EXPECT_EQ(serial.slateChannel, 3);
    EXPECT_EQ(serial.boardId, 0x2A);
    EXPECT_FALSE(LegacyRFResponse(hex("0A686C2A0000000000")).isValid()); // 9 bytes
    EXPECT_FALSE(LegacySerialRFResponse(hex("0A686C2A000000000000")).isValid());
}

TEST(LegacyRecords, EnableRepliesNameTheVoter)
{
    const LegacyUsbEnableVoteResponse usb(hex("0A688500010000000000"));
    ASSERT_TRUE(usb.isValid());
    EXPECT_EQ(usb.deviceId, 133u + 65536u);
    // All eight bits of byte 4 count in the USB reply.
    EXPECT_EQ(LegacyUsbEnableVoteResponse(hex("0A688500800000000000")).deviceId, 133u + 0x800000u);
    const LegacySerialEnableVoteResponse serial(hex("8B056801000000000000 00"));
    ASSERT_TRUE(serial.isValid());
    EXPECT_EQ(serial.deviceId, 133u);
}

// Slates ---------------------------------------------------------------------------------------

struct SlateCase
{
    const char* name;
    const char* bytes;
    bool serial;
    bool valid;
    quint8 slateId;
};

class SlateRegistration : public ::testing::TestWithParam<SlateCase>
{
};

TEST_P(SlateRegistration, Decodes)
{
    const SlateCase& c = GetParam();
    const QByteArray packet = hex(c.bytes);
    const LegacySlateRegistrationResponse usb(packet);
    const LegacySerialSlateRegistrationResponse serial(packet);
    const LegacySlateRegistrationResponse& record
        = c.serial ? static_cast<const LegacySlateRegistrationResponse&>(serial) : usb;
    ASSERT_EQ(record.isValid(), c.valid);
    if (c.valid) {
        EXPECT_EQ(record.slateId, c.slateId);
    }
}

INSTANTIATE_TEST_SUITE_P(Records, SlateRegistration,
    ::testing::Values(SlateCase { "Usb7", "090700000700000500", false, true, 7 },
        SlateCase { "UsbIdZero", "090700000000000500", false, false, 0 },
        SlateCase { "UsbId64", "090700004000000000", false, false, 0 },
        // Serial: id = bits 2-6 of byte 4 + 32 x bits 0-1 of byte 5.
        SlateCase { "Serial7", "8A0007001C0000000000", true, true, 7 },
        SlateCase { "Serial33", "8A000700040100000000", true, true, 33 },
        SlateCase { "Serial63", "8A0007007C0100000000", true, true, 63 },
        SlateCase { "SerialZero", "8A000700000000000000", true, false, 0 },
        SlateCase { "Serial64", "8A000700000200000000", true, false, 0 },
        SlateCase { "SerialWithoutFrameMark", "0A0007001C0000000000", true, false, 0 },
        SlateCase { "SerialShort", "8A0007001C00000000", true, false, 0 }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LegacyRecords, SlatePinRepliesGiveTheTypedDigits)
{
    const LegacySlatePINRegistrationResponse usb(hex("090707010306000000"));
    ASSERT_TRUE(usb.isValid());
    EXPECT_EQ(usb.slateId, 7);
    EXPECT_EQ(usb.pin, QStringLiteral("136"));
    EXPECT_EQ(LegacySlatePINRegistrationResponse(hex("090707090B0E000000")).pin,
        QStringLiteral("136")); // three bits per digit

    // Serial: V = 7 | 1 << 8 | 3 << 16 | 6 << 24 in 7-bit groups at bytes 1, 3, 4, 5, 6.
    const LegacySerialSlatePINRegistrationResponse serial(hex("8A0707020C300000 0000"));
    ASSERT_TRUE(serial.isValid());
    EXPECT_EQ(serial.slateId, 7);
    EXPECT_EQ(serial.pin, QStringLiteral("136"));
    // A digit of 7 (or 0) is not a key; slate 0 is no slate.
    EXPECT_FALSE(LegacySerialSlatePINRegistrationResponse(hex("8A0707020C380000 0000")).isValid());
    EXPECT_FALSE(LegacySerialSlatePINRegistrationResponse(hex("8A0707000C300000 0000")).isValid());
    EXPECT_FALSE(LegacySerialSlatePINRegistrationResponse(hex("8A0007020C300000 0000")).isValid());
}

// PIN naming and votes ---------------------------------------------------------------------------

TEST(LegacyRecords, PinNamesFromThreeKeyCodes)
{
    // F A B: codes 6, 1, 2. USB: bit 7 of byte 4 x 4 + byte 5 >> 6; bits 3-5; bits 0-2.
    const LegacyPinNamingResponse usb(hex("09678500808A000000"));
    ASSERT_TRUE(usb.isValid());
    EXPECT_EQ(usb.deviceId, 133u);
    EXPECT_EQ(usb.name, QStringLiteral("FAB"));
    // Serial: (byte 5 & 4) + bits 2-3 of byte 6; 2 x bits 0-1 of byte 6 + bit 6 of byte 5;
    // bits 3-5 of byte 5.
    const LegacySerialPinNamingResponse serial(hex("8A056701005408000000"));
    ASSERT_TRUE(serial.isValid());
    EXPECT_EQ(serial.deviceId, 133u);
    EXPECT_EQ(serial.name, QStringLiteral("FAB"));
    // 7 is a space, 0 nothing: codes 7, 0, 3 give " C".
    EXPECT_EQ(LegacyPinNamingResponse(hex("0967850080C3000000")).name, QStringLiteral(" C"));
    EXPECT_FALSE(LegacyPinNamingResponse(hex("09678500808A00000000")).isValid()); // 10 bytes
}

TEST(LegacyRecords, VotesAndTheirRepeats)
{
    LegacyTavioteResponse usb;
    const QByteArray vote = hex("096585000000010008");
    ASSERT_TRUE(usb.isVote(vote));
    EXPECT_EQ(usb.deviceNumber(vote), 133u);
    EXPECT_EQ(usb.voteKey(vote), 0x08);
    EXPECT_EQ(usb.batteryLow(vote), 1);
    EXPECT_FALSE(usb.isVote(hex("09658500000001000800")));

    LegacySerialTavioteResponse serial;
    const QByteArray serialVote = hex("8A056501000000000008");
    ASSERT_TRUE(serial.isVote(serialVote));
    EXPECT_EQ(serial.deviceNumber(serialVote), 133u);
    EXPECT_EQ(serial.voteKey(serialVote), 0x08);
    EXPECT_FALSE(serial.isVote(vote));

    // The same key again from the same voter is no vote; another key is, and so is another
    // voter's same key.
    EXPECT_FALSE(serial.isRepeat(133, 0x08));
    EXPECT_TRUE(serial.isRepeat(133, 0x08));
    EXPECT_FALSE(serial.isRepeat(134, 0x08));
    EXPECT_FALSE(serial.isRepeat(133, 0x04));
    EXPECT_FALSE(serial.isRepeat(133, 0x08));
}

// Commands ---------------------------------------------------------------------------------------

struct CommandCase
{
    const char* name;
    QByteArray command;
    QByteArray expected;
};

class LegacyCommands : public ::testing::TestWithParam<CommandCase>
{
};

TEST_P(LegacyCommands, AreByteExact) { EXPECT_EQ(GetParam().command, GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Protocol, LegacyCommands,
    ::testing::Values(CommandCase { "ReadRF", LegacyProtocol::readRFSettingsCommand(), ":VT\r" },
        CommandCase { "StartVoters", LegacyProtocol::startVoteRegistrationCommand(), ":VR\r" },
        CommandCase { "End", LegacyProtocol::endSessionCommand(), ":VE\r" },
        CommandCase { "ClearVotes", LegacyProtocol::clearVotesCommand(), ":VO\r" },
        // Least significant byte first, each byte high nibble first.
        CommandCase { "EnableVoter", LegacyProtocol::enableVoterCommand(133), ":VI850000000000\r" },
        CommandCase {
            "EnableWideId", LegacyProtocol::enableVoterCommand(0x12345678), ":VI785634120000\r" },
        CommandCase {
            "RemoveVoter", LegacyProtocol::removeVoterCommand(0xABCDEF), ":RDEFCDAB000000\r" },
        CommandCase { "StartSlates", LegacyProtocol::startSlateRegistrationCommand(), ":AR\r" },
        CommandCase { "StopSlates", LegacyProtocol::stopSlateRegistrationCommand(), ":AO\r" },
        CommandCase { "DisableSlates", LegacyProtocol::disableSlatesCommand(), ":AE\r" },
        CommandCase { "RadioSlates", LegacyProtocol::useRFSlatesCommand(), ":AT1\r" },
        CommandCase { "EnableSlate", LegacyProtocol::enableSlateCommand(5, "136"), ":AB05136\r" },
        // Slate 7, channel 2, PIN A C F.
        CommandCase { "SlatePin",
            LegacyProtocol::startSlatePINRegistrationCommand(7, 2, RegistrationCode('A', 'C', 'F')),
            ":AP072136\r" },
        CommandCase { "SlatePinWithG",
            LegacyProtocol::startSlatePINRegistrationCommand(
                12, 1, RegistrationCode('G', 'B', 'a')),
            ":AP121020\r" },
        CommandCase { "BoardId", LegacyProtocol::changeBoardIdCommand(7), ":UR07\r" },
        CommandCase { "SlateChannel", LegacyProtocol::changeSlateChannelCommand(2), ":AY2\r" },
        CommandCase { "VoteChannel", LegacyProtocol::changeVoteChannelCommand(4), ":VY4\r" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LegacyProtocol, PinCharacters)
{
    EXPECT_EQ(LegacyProtocol::toLegacyPINChar('A'), '1');
    EXPECT_EQ(LegacyProtocol::toLegacyPINChar('F'), '6');
    EXPECT_EQ(LegacyProtocol::toLegacyPINChar('G'), '0');
    EXPECT_EQ(LegacyProtocol::toLegacyPINChar('a'), '0');
    EXPECT_EQ(LegacyProtocol::pinDigits(RegistrationCode('A', 'C', 'F')), QStringLiteral("136"));
}

} // namespace
