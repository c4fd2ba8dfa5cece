#pragma once

// The commands of the 2.4 GHz hub and the small encoders the 2.4 GHz sessions share. Every
// encoder returns the exact bytes to write. Commands are a colon and an ASCII code, then either
// a carriage return, ASCII parameters and a carriage return, or a carriage return and a byte
// block whose first byte counts the block.

#include <taviosystem/device.h>
#include <taviosystem/hub.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem_global.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

class TwoPointFourGHzProtocol
{
public:
    // Product identifiers.
    static constexpr int ProductId_Other = 1;
    static constexpr int ProductId_Vote = 6;
    static constexpr int ProductId_Slate = 7;
    static constexpr int ProductId_Board = 8;
    static constexpr int ProductId_Expression = 9;
    static constexpr int ProductId_VoteAlternative = 10;
    static constexpr int FakeExpressionV2ProductId = 12;
    static constexpr int ProductId_PenExpression = 13;

    static constexpr int BacklightLevel_Max = 49;
    static constexpr int MaximumTimeValue = 127;
    static constexpr quint8 TimeUnitBit = 0x80;
    static constexpr int MaximumQuestionTextBytes = 50; // UTF-8 text plus its zero byte, exclusive
    static constexpr int ExpressionNameBytes = 14;
    static constexpr int TavioteNameBytes = 4;
    static constexpr int SlateNameBytes = 10;

    // Question types of the question block.
    enum QuestionType {
        QuestionType_Multichoice = 1,
        QuestionType_YesNo = 2,
        QuestionType_TrueFalse = 3,
        QuestionType_Likert = 4,
        QuestionType_Numeric = 5,
        QuestionType_Text = 6,
        QuestionType_SortInOrder = 7,
        QuestionType_Message = 8,
        QuestionType_EndUserNaming = 9
    };

    // What a clear command empties.
    enum ClearTarget {
        Clear_All, // ":CS99"
        Clear_Votes, // ":CS06"
        Clear_Slates, // ":CS07"
        Clear_Boards, // ":CS08"
        Clear_Expressions, // ":CS09"
        Clear_PenExpressions // ":CS0D"
    };

    // 6 for voters (4), 7 slates (3), 8 boards (6), 9 expressions (5), 13 pen expressions (8),
    // 1 for every other type.
    static int productIdOf(Device::Type type);

    static QByteArray getInformationCommand(); // ":GI" CR
    static QByteArray getNameCommand(); // ":GN" CR
    static QByteArray countDevicesCommand(int productId); // ":GD" + 2 lower-case hex + CR
    static QByteArray readDeviceListCommand(int productId); // ":GR" + 2 lower-case hex + CR
    static QByteArray endSessionCommand(); // ":VE" CR
    // ":VR" / ":SR" + p1 (decimal, at least 3 digits, '0'-padded) + p2 and p3 (at least 2
    // digits each) + the PIN's three characters (low bytes) + CR.
    static QByteArray startVoteRegistrationCommand(
        int p1, int p2, int p3, const RegistrationCode& pin);
    static QByteArray startSlateRegistrationCommand(
        int p1, int p2, int p3, const RegistrationCode& pin);
    // ":XP001" CR 09 p1-high p1-low p2 p3 pin1 pin2 pin3, then 0x00 or the naming byte.
    static QByteArray startExpressionRegistrationCommand(
        int p1, int p2, int p3, const RegistrationCode& pin, quint8 namingByte);
    static QByteArray startExpressionNamingCommand(); // ":XP002" CR
    // ":XP003" CR 11 address-high address-low, then the latinised name in 14 bytes. The address
    // comes from the last four hexadecimal characters of the device identifier.
    static QByteArray nameExpressionCommand(
        const QByteArray& deviceIdentifier, const QString& name);
    static QByteArray stopEndUserNamingCommand(); // ":XP004" CR
    static QByteArray startTavioteNamingCommand(); // ":VN" CR
    // ":VN" + identifier + name (Latin-1, zero-padded and cut to 4 bytes) + CR.
    static QByteArray nameTavioteCommand(const QByteArray& deviceIdentifier, const QString& name);
    // ":NS" + identifier + name (10 bytes) + CR.
    static QByteArray nameSlateCommand(const QByteArray& deviceIdentifier, const QString& name);
    static QByteArray removeDeviceCommand(const QByteArray& deviceIdentifier); // ":RD" + id + CR
    static QByteArray clearCommand(ClearTarget target);
    static QByteArray backlightCommand(quint8 level, quint8 value); // ":XP010" CR 02 level value
    static QByteArray startAsyncSessionCommand(); // ":XP00A" CR 00
    // ":XP00D" CR 00 on a physical hub, ":AE001" CR on a virtual one.
    static QByteArray startEnhancedGenericSessionCommand(bool virtualHub);

    // ":XP005" CR + the question block: length, 01, entity id, equation flag, time byte,
    // question type, type byte, 00, text length; then for numeric, text and message questions
    // the UTF-8 text and a zero byte (the text length counts that zero byte).
    static QByteArray questionCommand(quint8 entityId, QuestionType type, quint8 typeByte,
        quint8 timeByte, bool equation, const QString& text);
    // Whether a question text fits: its UTF-8 form plus the zero byte is under 50 bytes.
    static bool questionTextFits(const QString& text);

    // The time value limited to 0..127, plus 0x80 for TimeUnit_1.
    static quint8 timeByte(TimeUnit unit, int time);
    // Options (limited to 6) << 5, responses (limited to 6) << 2, display code (0 to 2, 0 for
    // any other value).
    static quint8 choiceTypeByte(int options, int responses, DisplayOption display);
    // Character type code (1 to 4, else 0) << 5, 0x10 with the flag, the length in the low
    // bits: limited to 14 in end-user naming, OR-ed in unchanged in naming registration.
    static quint8 namingByte(CharacterType characterType, bool flag, int length, bool limitLength);
    // The hub state code of the information record as a Hub::HubState.
    static Hub::HubState hubStateFromCode(quint8 code);
    // Replaces the 22 Latin Extended-A letters with macron, caron, cedilla or comma below by
    // their base letters; everything else is kept.
    static QString latinise(const QString& name);
};

} // namespace Taviosystem
