// The 2.4 GHz hub commands and the small encoders the sessions share: exact bytes of every
// command, the question block, the byte packers, the hub state table and name latinisation.

#include "hub24/twopointfourghzprotocol.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace Taviosystem;

namespace {

using P = TwoPointFourGHzProtocol;

QByteArray hexBytes(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// ASCII command text followed by binary bytes.
QByteArray command(const char* text, const char* hexTail = "")
{
    return QByteArray(text) + hexBytes(hexTail);
}

QByteArray zeros(int count) { return QByteArray(count, '\0'); }

TEST(Hub24Protocol, CommandBytes)
{
    const RegistrationCode pin('X', 'Y', 'Z');
    const QByteArray id("00001234ABCD");
    const std::pair<QByteArray, QByteArray> rows[] = {
        { P::getInformationCommand(), ":GI\r" },
        { P::getNameCommand(), ":GN\r" },
        { P::countDevicesCommand(P::ProductId_Vote), ":GD06\r" },
        { P::countDevicesCommand(P::FakeExpressionV2ProductId), ":GD0c\r" },
        { P::readDeviceListCommand(P::ProductId_VoteAlternative), ":GR0a\r" },
        { P::endSessionCommand(), ":VE\r" },
        { P::startVoteRegistrationCommand(1, 2, 3, pin), ":VR0010203XYZ\r" },
        { P::startVoteRegistrationCommand(1234, 5, 123, pin), ":VR123405123XYZ\r" },
        { P::startVoteRegistrationCommand(999, 99, 0, RegistrationCode(0x0141, 0x0242, 'c')),
            ":VR9999900ABc\r" },
        { P::startSlateRegistrationCommand(42, 7, 10, pin), ":SR0420710XYZ\r" },
        { P::startExpressionRegistrationCommand(0x1234, 0x56, 0x78, pin, 0),
            command(":XP001\r", "091234567858595A00") },
        { P::startExpressionRegistrationCommand(0xFFFF, 0xFF, 1, pin, 0x9E),
            command(":XP001\r", "09FFFFFF0158595A9E") },
        { P::startExpressionNamingCommand(), ":XP002\r" },
        { P::nameExpressionCommand(id, "Bob"), command(":XP003\r", "11ABCD426F62") + zeros(11) },
        { P::nameExpressionCommand("00001234abcd", "Bob"),
            command(":XP003\r", "11ABCD426F62") + zeros(11) },
        { P::nameExpressionCommand("00001234ABCG", "Bob"),
            command(":XP003\r", "110000426F62") + zeros(11) },
        { P::nameExpressionCommand(id, QString::fromUtf8("\u0112riks \u0100bols \u0160\u010Dz")),
            command(":XP003\r", "11ABCD") + "Eriks Abols Sc" },
        { P::nameExpressionCommand(id, "Jos\u00E9"),
            command(":XP003\r", "11ABCD4A6F73E9") + zeros(10) },
        { P::stopEndUserNamingCommand(), ":XP004\r" },
        { P::startTavioteNamingCommand(), ":VN\r" },
        { P::nameTavioteCommand(id, "Bob"), command(":VN00001234ABCDBob", "000D") },
        { P::nameTavioteCommand(id, "Robert"), ":VN00001234ABCDRobe\r" },
        { P::nameTavioteCommand(id, QString::fromUtf8("L\u00E9a")),
            command(":VN00001234ABCD", "4CE961000D") },
        { P::nameSlateCommand(id, "Tablet"), command(":NS00001234ABCDTablet", "000000000D") },
        { P::nameSlateCommand(id, "ABCDEFGHIJKL"), ":NS00001234ABCDABCDEFGHIJ\r" },
        { P::removeDeviceCommand(id), ":RD00001234ABCD\r" },
        { P::clearCommand(P::Clear_All), ":CS99\r" },
        { P::clearCommand(P::Clear_Votes), ":CS06\r" },
        { P::clearCommand(P::Clear_Slates), ":CS07\r" },
        { P::clearCommand(P::Clear_Boards), ":CS08\r" },
        { P::clearCommand(P::Clear_Expressions), ":CS09\r" },
        { P::clearCommand(P::Clear_PenExpressions), ":CS0D\r" },
        { P::backlightCommand(P::BacklightLevel_Max, 0xFF), command(":XP010\r", "0231FF") },
        { P::startAsyncSessionCommand(), command(":XP00A\r", "00") },
        { P::startEnhancedGenericSessionCommand(false), command(":XP00D\r", "00") },
        { P::startEnhancedGenericSessionCommand(true), ":AE001\r" },
    };
    for (const auto& [actual, expected] : rows)
        EXPECT_EQ(actual.toHex(' '), expected.toHex(' ')) << expected.constData();
}

TEST(Hub24Protocol, QuestionBlock)
{
    // Entity id 0x42, time byte 0x85; the block after ":XP005" CR.
    const std::tuple<P::QuestionType, quint8, bool, const char*, const char*> rows[] = {
        { P::QuestionType_Multichoice, 0xCA, true, "ignored", "090142008501CA0000" },
        { P::QuestionType_YesNo, 1, false, "", "090142008502010000" },
        { P::QuestionType_SortInOrder, 0xD9, false, "x", "090142008507D90000" },
        { P::QuestionType_Numeric, 8, true, "2+2", "0D0142008505080004322B3200" },
        { P::QuestionType_Text, 0x10, true, "x", "0B01420185061000027800" },
        { P::QuestionType_Text, 0x10, false, "\u00E9", "0C0142008506100003C3A900" },
        { P::QuestionType_Message, 0, false, "", "0A014200850800000100" },
        { P::QuestionType_EndUserNaming, 0x9E, false, "", "0901420000099E0000" },
    };
    for (const auto& [type, typeByte, equation, text, block] : rows) {
        const QByteArray actual
            = P::questionCommand(0x42, type, typeByte, 0x85, equation, QString::fromUtf8(text));
        EXPECT_EQ(actual.toHex(' '), command(":XP005\r", block).toHex(' ')) << block;
    }
}

TEST(Hub24Protocol, QuestionTextLimit)
{
    EXPECT_TRUE(P::questionTextFits(QString(48, QLatin1Char('a'))));
    EXPECT_FALSE(P::questionTextFits(QString(49, QLatin1Char('a'))));
    // Two UTF-8 bytes per character.
    EXPECT_TRUE(P::questionTextFits(QString(24, QChar(0x00E9))));
    EXPECT_FALSE(P::questionTextFits(QString(25, QChar(0x00E9))));

    const QByteArray longest
        = P::questionCommand(1, P::QuestionType_Text, 0, 0, false, QString(48, QLatin1Char('a')));
    ASSERT_EQ(longest.size(), 7 + 9 + 49);
    EXPECT_EQ(quint8(longest.at(7)), 9 + 49);
    EXPECT_EQ(quint8(longest.at(15)), 49);
}

TEST(Hub24Protocol, BytePackers)
{
    const std::tuple<TimeUnit, int, quint8> times[]
        = { { TimeUnit_1, 200, 0xFF }, { TimeUnit_0, 5, 0x05 }, { TimeUnit_0, 128, 0x7F },
              { TimeUnit_1, 0, 0x80 }, { TimeUnit_0, -3, 0x00 } };
    for (const auto& [unit, time, expected] : times)
        EXPECT_EQ(P::timeByte(unit, time), expected) << unit << " " << time;

    const std::tuple<int, int, DisplayOption, quint8> choices[]
        = { { 6, 2, DisplayOption_UpperCaseLetters, 0xCA },
              { 4, 3, DisplayOption_LowerCaseLetters, 0x8D },
              { 7, 9, DisplayOption_LowerCaseLetters, 0xD9 },
              { -1, -5, DisplayOption_Digits, 0x00 }, { 4, 1, DisplayOption(3), 0x84 } };
    for (const auto& [options, responses, display, expected] : choices)
        EXPECT_EQ(P::choiceTypeByte(options, responses, display), expected)
            << options << " " << responses << " " << display;

    const std::tuple<CharacterType, bool, int, bool, quint8> namings[]
        = { { CharacterType_1, false, 5, true, 0x25 }, { CharacterType_4, true, 20, true, 0x9E },
              { CharacterType_3, false, -1, true, 0x60 }, { CharacterType(7), true, 3, true, 0x13 },
              { CharacterType_3, false, 16, false, 0x70 }, // OR-ed into the flag bit
              { CharacterType_1, false, 0x1FF, false, 0xFF } };
    for (const auto& [type, flag, length, limit, expected] : namings)
        EXPECT_EQ(P::namingByte(type, flag, length, limit), expected)
            << type << " " << flag << " " << length << " " << limit;
}

TEST(Hub24Protocol, ProductIdsHubStatesAndLatinisation)
{
    const std::pair<Device::Type, int> products[]
        = { { Device::Type_Vote, 6 }, { Device::Type_Slate, 7 }, { Device::Type_Board, 8 },
              { Device::Type_Expression, 9 }, { Device::Type_PenExpression, 13 },
              { Device::Type_LegacyVote, 1 }, { Device::Type(15), 1 } };
    for (const auto& [type, expected] : products)
        EXPECT_EQ(P::productIdOf(type), expected) << type;

    const std::pair<int, Hub::HubState> states[]
        = { { 0, Hub::HubState_Idle }, { 1, Hub::HubState_Code1 }, { 17, Hub::HubState_Code17 },
              { 35, Hub::HubState_Code35 }, { 48, Hub::HubState_Code48 },
              { 2, Hub::HubState_Unknown }, { 255, Hub::HubState_Unknown } };
    for (const auto& [code, expected] : states)
        EXPECT_EQ(P::hubStateFromCode(quint8(code)), expected) << code;

    // Replaced letters from both ends of the table; U+0105, U+00D8 and U+4E2D stay.
    EXPECT_EQ(P::latinise(QString::fromUtf8("\u0100\u0101\u0137\u017E \u0105\u00D8\u4E2D")),
        QString::fromUtf8("Aakz \u0105\u00D8\u4E2D"));
}

} // namespace
