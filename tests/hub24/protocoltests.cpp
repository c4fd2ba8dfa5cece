// The 2.4 GHz hub commands and the small encoders the sessions share: exact bytes of every
// command, the byte packers, the hub state table and name latinisation.

#include "hub24/twopointfourghzprotocol.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <ostream>
#include <utility>
#include <vector>

using namespace Taviosystem;

namespace {

using P = TwoPointFourGHzProtocol;

QByteArray hexBytes(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// ASCII command text followed by binary bytes.
QByteArray command(const char* text, const char* hexTail = "")
{
    return QByteArray(text) + hexBytes(hexTail);
}

QByteArray withZeros(QByteArray bytes, int count) { return bytes + QByteArray(count, '\0'); }

struct EncoderCase
{
    const char* name;
    std::function<QByteArray()> encode;
    QByteArray expected;
};

void PrintTo(const EncoderCase& c, std::ostream* os) { *os << c.name; }

const RegistrationCode Pin('X', 'Y', 'Z');
const QByteArray Identifier("00001234ABCD");

std::vector<EncoderCase> encoderCases()
{
    return {
        { "GetInformation", [] { return P::getInformationCommand(); }, command(":GI\r") },
        { "GetName", [] { return P::getNameCommand(); }, command(":GN\r") },
        { "CountVotes", [] { return P::countDevicesCommand(P::ProductId_Vote); },
            command(":GD06\r") },
        { "CountExpressionV2", [] { return P::countDevicesCommand(P::FakeExpressionV2ProductId); },
            command(":GD0c\r") },
        { "CountPenExpressions", [] { return P::countDevicesCommand(P::ProductId_PenExpression); },
            command(":GD0d\r") },
        { "ReadBoards", [] { return P::readDeviceListCommand(P::ProductId_Board); },
            command(":GR08\r") },
        { "ReadVoteAlternative",
            [] { return P::readDeviceListCommand(P::ProductId_VoteAlternative); },
            command(":GR0a\r") },
        { "EndSession", [] { return P::endSessionCommand(); }, command(":VE\r") },
        { "VoteRegistration", [] { return P::startVoteRegistrationCommand(1, 2, 3, Pin); },
            command(":VR0010203XYZ\r") },
        { "VoteRegistrationWide", [] { return P::startVoteRegistrationCommand(1234, 5, 123, Pin); },
            command(":VR123405123XYZ\r") },
        { "VoteRegistrationPinLowBytes",
            [] {
                return P::startVoteRegistrationCommand(
                    999, 99, 0, RegistrationCode(0x0141, 0x0242, 'c'));
            },
            command(":VR9999900ABc\r") },
        { "SlateRegistration", [] { return P::startSlateRegistrationCommand(42, 7, 10, Pin); },
            command(":SR0420710XYZ\r") },
        { "ExpressionRegistrationPlain",
            [] { return P::startExpressionRegistrationCommand(0x1234, 0x56, 0x78, Pin, 0); },
            command(":XP001\r", "091234567858595A00") },
        { "ExpressionRegistrationNaming",
            [] { return P::startExpressionRegistrationCommand(0xFFFF, 0xFF, 1, Pin, 0x9E); },
            command(":XP001\r", "09FFFFFF0158595A9E") },
        { "StartExpressionNaming", [] { return P::startExpressionNamingCommand(); },
            command(":XP002\r") },
        { "NameExpression", [] { return P::nameExpressionCommand(Identifier, "Bob"); },
            withZeros(command(":XP003\r", "11ABCD426F62"), 11) },
        { "NameExpressionLowerCaseIdentifier",
            [] { return P::nameExpressionCommand("00001234abcd", "Bob"); },
            withZeros(command(":XP003\r", "11ABCD426F62"), 11) },
        { "NameExpressionMalformedIdentifier",
            [] { return P::nameExpressionCommand("00001234ABCG", "Bob"); },
            withZeros(command(":XP003\r", "110000426F62"), 11) },
        { "NameExpressionShortIdentifier", [] { return P::nameExpressionCommand("AB", "Bob"); },
            withZeros(command(":XP003\r", "110000426F62"), 11) },
        { "NameExpressionLatinisedAndCut",
            [] {
                return P::nameExpressionCommand(
                    Identifier, QString::fromUtf8("\u0112riks \u0100bols \u0160\u010Dz"));
            },
            command(":XP003\r", "11ABCD") + "Eriks Abols Sc" },
        { "NameExpressionLatin1", [] { return P::nameExpressionCommand(Identifier, "Jos\u00E9"); },
            withZeros(command(":XP003\r", "11ABCD4A6F73E9"), 10) },
        { "NameExpressionEmpty", [] { return P::nameExpressionCommand(Identifier, QString()); },
            withZeros(command(":XP003\r", "11ABCD"), 14) },
        { "StopEndUserNaming", [] { return P::stopEndUserNamingCommand(); }, command(":XP004\r") },
        { "StartTavioteNaming", [] { return P::startTavioteNamingCommand(); }, command(":VN\r") },
        { "NameTaviotePadded", [] { return P::nameTavioteCommand(Identifier, "Bob"); },
            command(":VN00001234ABCDBob", "000D") },
        { "NameTavioteCut", [] { return P::nameTavioteCommand(Identifier, "Robert"); },
            command(":VN00001234ABCDRobe\r") },
        { "NameTavioteLatin1",
            [] { return P::nameTavioteCommand(Identifier, QString::fromUtf8("L\u00E9a")); },
            command(":VN00001234ABCD", "4CE961000D") },
        { "NameTavioteEmpty", [] { return P::nameTavioteCommand(Identifier, QString()); },
            command(":VN00001234ABCD", "000000000D") },
        { "NameSlatePadded", [] { return P::nameSlateCommand(Identifier, "Tablet"); },
            command(":NS00001234ABCDTablet", "000000000D") },
        { "NameSlateCut", [] { return P::nameSlateCommand(Identifier, "ABCDEFGHIJKL"); },
            command(":NS00001234ABCDABCDEFGHIJ\r") },
        { "RemoveDevice", [] { return P::removeDeviceCommand(Identifier); },
            command(":RD00001234ABCD\r") },
        { "ClearAll", [] { return P::clearCommand(P::Clear_All); }, command(":CS99\r") },
        { "ClearVotes", [] { return P::clearCommand(P::Clear_Votes); }, command(":CS06\r") },
        { "ClearSlates", [] { return P::clearCommand(P::Clear_Slates); }, command(":CS07\r") },
        { "ClearBoards", [] { return P::clearCommand(P::Clear_Boards); }, command(":CS08\r") },
        { "ClearExpressions", [] { return P::clearCommand(P::Clear_Expressions); },
            command(":CS09\r") },
        { "ClearPenExpressions", [] { return P::clearCommand(P::Clear_PenExpressions); },
            command(":CS0D\r") },
        { "Backlight", [] { return P::backlightCommand(P::BacklightLevel_Max, 0xFF); },
            command(":XP010\r", "0231FF") },
        { "StartAsyncSession", [] { return P::startAsyncSessionCommand(); },
            command(":XP00A\r", "00") },
        { "StartEnhancedGenericPhysical",
            [] { return P::startEnhancedGenericSessionCommand(false); },
            command(":XP00D\r", "00") },
        { "StartEnhancedGenericVirtual", [] { return P::startEnhancedGenericSessionCommand(true); },
            command(":AE001\r") },
    };
}

class EncoderTest : public ::testing::TestWithParam<EncoderCase>
{
};

TEST_P(EncoderTest, ExactBytes)
{
    EXPECT_EQ(GetParam().encode().toHex(' '), GetParam().expected.toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(Hub24Protocol, EncoderTest, ::testing::ValuesIn(encoderCases()),
    [](const ::testing::TestParamInfo<EncoderCase>& info) { return info.param.name; });

// --- Question block ---

struct QuestionCase
{
    const char* name;
    P::QuestionType type;
    quint8 typeByte;
    bool equation;
    const char* text;
    QByteArray expectedBlock; // after ":XP005" CR
};

void PrintTo(const QuestionCase& c, std::ostream* os) { *os << c.name; }

constexpr quint8 EntityId = 0x42;
constexpr quint8 TimeByte = 0x85;

std::vector<QuestionCase> questionCases()
{
    return {
        { "Multichoice", P::QuestionType_Multichoice, 0xCA, true, "ignored",
            hexBytes("090142008501CA0000") },
        { "YesNo", P::QuestionType_YesNo, 1, false, "", hexBytes("090142008502010000") },
        { "TrueFalse", P::QuestionType_TrueFalse, 0, false, "", hexBytes("090142008503000000") },
        { "Likert", P::QuestionType_Likert, 5, false, "", hexBytes("090142008504050000") },
        { "SortInOrder", P::QuestionType_SortInOrder, 0xD9, false, "x",
            hexBytes("090142008507D90000") },
        { "NumericIgnoresEquation", P::QuestionType_Numeric, 8, true, "2+2",
            hexBytes("0D0142008505080004322B3200") },
        { "Text", P::QuestionType_Text, 0x10, false, "x", hexBytes("0B01420085061000027800") },
        { "TextEquation", P::QuestionType_Text, 0x10, true, "x",
            hexBytes("0B01420185061000027800") },
        { "TextUtf8", P::QuestionType_Text, 0x10, false, "\u00E9",
            hexBytes("0C0142008506100003C3A900") },
        { "Message", P::QuestionType_Message, 0, false, "Hi",
            hexBytes("0C0142008508000003486900") },
        { "MessageEmpty", P::QuestionType_Message, 0, false, "", hexBytes("0A014200850800000100") },
        { "EndUserNamingHasNoTime", P::QuestionType_EndUserNaming, 0x9E, false, "",
            hexBytes("0901420000099E0000") },
    };
}

class QuestionTest : public ::testing::TestWithParam<QuestionCase>
{
};

TEST_P(QuestionTest, Block)
{
    const QuestionCase& c = GetParam();
    const QByteArray actual = P::questionCommand(
        EntityId, c.type, c.typeByte, TimeByte, c.equation, QString::fromUtf8(c.text));
    EXPECT_EQ(actual.toHex(' '), (QByteArray(":XP005\r") + c.expectedBlock).toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(Hub24Protocol, QuestionTest, ::testing::ValuesIn(questionCases()),
    [](const ::testing::TestParamInfo<QuestionCase>& info) { return info.param.name; });

TEST(Hub24Question, TextFitsBelowFiftyBytesWithItsZero)
{
    EXPECT_TRUE(P::questionTextFits(QString()));
    EXPECT_TRUE(P::questionTextFits(QString(48, QLatin1Char('a'))));
    EXPECT_FALSE(P::questionTextFits(QString(49, QLatin1Char('a'))));
    // Two UTF-8 bytes per character: 48 + 1 fits, 50 + 1 does not.
    EXPECT_TRUE(P::questionTextFits(QString(24, QChar(0x00E9))));
    EXPECT_FALSE(P::questionTextFits(QString(25, QChar(0x00E9))));
}

TEST(Hub24Question, LongestTextBlockLength)
{
    const QString text(48, QLatin1Char('a'));
    const QByteArray cmd = P::questionCommand(1, P::QuestionType_Text, 0, 0, false, text);
    const QByteArray block = cmd.mid(int(qstrlen(":XP005\r")));
    ASSERT_EQ(block.size(), 9 + 49);
    EXPECT_EQ(quint8(block.at(0)), 9 + 49);
    EXPECT_EQ(quint8(block.at(8)), 49);
    EXPECT_EQ(block.back(), '\0');
}

// --- Byte packers ---

TEST(Hub24Packers, TimeByte)
{
    struct Row
    {
        TimeUnit unit;
        int time;
        quint8 expected;
    };
    const Row rows[] = {
        { TimeUnit_1, 200, 0xFF },
        { TimeUnit_0, 5, 0x05 },
        { TimeUnit_0, 0, 0x00 },
        { TimeUnit_1, 0, 0x80 },
        { TimeUnit_0, 127, 0x7F },
        { TimeUnit_0, 128, 0x7F },
        { TimeUnit_1, 127, 0xFF },
        { TimeUnit_0, -3, 0x00 },
        { TimeUnit_1, -3, 0x80 },
    };
    for (const Row& row : rows)
        EXPECT_EQ(P::timeByte(row.unit, row.time), row.expected) << row.unit << " " << row.time;
}

TEST(Hub24Packers, ChoiceTypeByte)
{
    struct Row
    {
        int options;
        int responses;
        DisplayOption display;
        quint8 expected;
    };
    const Row rows[] = {
        { 6, 2, DisplayOption_UpperCaseLetters, 0xCA }, { 1, 1, DisplayOption_Digits, 0x24 },
        { 4, 3, DisplayOption_LowerCaseLetters, 0x8D },
        { 7, 9, DisplayOption_LowerCaseLetters, 0xD9 }, { -1, -5, DisplayOption_Digits, 0x00 },
        { 4, 1, DisplayOption(3), 0x84 }, // no display code 3
    };
    for (const Row& row : rows)
        EXPECT_EQ(P::choiceTypeByte(row.options, row.responses, row.display), row.expected)
            << row.options << " " << row.responses << " " << row.display;
}

TEST(Hub24Packers, NamingByte)
{
    struct Row
    {
        CharacterType type;
        bool flag;
        int length;
        bool limit;
        quint8 expected;
    };
    const Row rows[] = {
        { CharacterType_1, false, 5, true, 0x25 },
        { CharacterType_2, true, 14, true, 0x5E },
        { CharacterType_4, true, 20, true, 0x9E },
        { CharacterType_3, false, -1, true, 0x60 },
        { CharacterType(7), true, 3, true, 0x13 },
        { CharacterType(0), false, 3, true, 0x03 },
        { CharacterType_2, false, 15, false, 0x4F },
        { CharacterType_3, false, 16, false, 0x70 }, // OR-ed: spills into the flag bit
        { CharacterType_1, false, 0x1FF, false, 0xFF },
    };
    for (const Row& row : rows)
        EXPECT_EQ(P::namingByte(row.type, row.flag, row.length, row.limit), row.expected)
            << row.type << " " << row.flag << " " << row.length << " " << row.limit;
}

// --- Tables ---

TEST(Hub24Tables, ProductIdOfEveryDeviceType)
{
    const std::pair<Device::Type, int> rows[] = {
        { Device::Type_LegacyBoard, 1 },
        { Device::Type_LegacySlate, 1 },
        { Device::Type_LegacyVote, 1 },
        { Device::Type_Slate, 7 },
        { Device::Type_Vote, 6 },
        { Device::Type_Expression, 9 },
        { Device::Type_Board, 8 },
        { Device::Type_Other, 1 },
        { Device::Type_PenExpression, 13 },
        { Device::Type(15), 1 },
    };
    for (const auto& [type, expected] : rows)
        EXPECT_EQ(P::productIdOf(type), expected) << type;
}

TEST(Hub24Tables, HubStateFromEveryCode)
{
    const std::pair<int, Hub::HubState> mapped[] = {
        { 0, Hub::HubState_Idle },
        { 1, Hub::HubState_Code1 },
        { 3, Hub::HubState_Code3 },
        { 5, Hub::HubState_Code5 },
        { 8, Hub::HubState_Code8 },
        { 9, Hub::HubState_Code9 },
        { 12, Hub::HubState_Code12 },
        { 13, Hub::HubState_Code13 },
        { 17, Hub::HubState_Code17 },
        { 18, Hub::HubState_Code18 },
        { 32, Hub::HubState_Code32 },
        { 33, Hub::HubState_Code33 },
        { 34, Hub::HubState_Code34 },
        { 35, Hub::HubState_Code35 },
        { 48, Hub::HubState_Code48 },
    };
    for (int code = 0; code < 256; ++code) {
        Hub::HubState expected = Hub::HubState_Unknown;
        for (const auto& [c, state] : mapped) {
            if (c == code)
                expected = state;
        }
        EXPECT_EQ(P::hubStateFromCode(quint8(code)), expected) << code;
    }
    // The mapped values are the enumeration's 1 to 15 in table order.
    for (int i = 0; i < int(std::size(mapped)); ++i)
        EXPECT_EQ(int(mapped[i].second), i + 1);
}

TEST(Hub24Tables, LatiniseReplacesExactlyTheTwentyTwoLetters)
{
    const std::pair<char16_t, char> replaced[] = {
        { 0x0100, 'A' },
        { 0x0101, 'a' },
        { 0x010C, 'C' },
        { 0x010D, 'c' },
        { 0x0112, 'E' },
        { 0x0113, 'e' },
        { 0x0122, 'G' },
        { 0x0123, 'g' },
        { 0x012A, 'I' },
        { 0x012B, 'i' },
        { 0x0136, 'K' },
        { 0x0137, 'k' },
        { 0x013B, 'L' },
        { 0x013C, 'l' },
        { 0x0145, 'N' },
        { 0x0146, 'n' },
        { 0x0160, 'S' },
        { 0x0161, 's' },
        { 0x016A, 'U' },
        { 0x016B, 'u' },
        { 0x017D, 'Z' },
        { 0x017E, 'z' },
    };
    for (char16_t c = 0x00A0; c < 0x0250; ++c) {
        char expected = 0;
        for (const auto& [from, to] : replaced) {
            if (from == c)
                expected = to;
        }
        const QString out = P::latinise(QString(QChar(c)));
        ASSERT_EQ(out.size(), 1);
        if (expected)
            EXPECT_EQ(out.at(0), QLatin1Char(expected)) << int(c);
        else
            EXPECT_EQ(out.at(0), QChar(c)) << int(c);
    }
    EXPECT_EQ(P::latinise(QString::fromUtf8("J\u0101nis B\u0113rzi\u0146\u0161 \u00D8 \u4E2D")),
        QString::fromUtf8("Janis Berzins \u00D8 \u4E2D"));
    EXPECT_EQ(P::latinise(QString()), QString());
}

} // namespace
