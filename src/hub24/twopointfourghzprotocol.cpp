#include "twopointfourghzprotocol.h"

#include "hub/hubcommand.h"

#include <QtCore/QtGlobal>

namespace Taviosystem {

namespace {

constexpr char ZeroByte = 0x00;

// Plain and text-parameter command codes.
constexpr char Code_GetInformation[] = ":GI";
constexpr char Code_GetName[] = ":GN";
constexpr char Code_CountDevices[] = ":GD";
constexpr char Code_ReadDeviceList[] = ":GR";
constexpr char Code_EndSession[] = ":VE";
constexpr char Code_StartVoteRegistration[] = ":VR";
constexpr char Code_StartSlateRegistration[] = ":SR";
constexpr char Code_NameTaviote[] = ":VN";
constexpr char Code_NameSlate[] = ":NS";
constexpr char Code_RemoveDevice[] = ":RD";
constexpr char Code_StartVirtualEnhancedGeneric[] = ":AE001";

// Byte-block command codes.
constexpr char Code_StartExpressionRegistration[] = ":XP001";
constexpr char Code_StartExpressionNaming[] = ":XP002";
constexpr char Code_NameExpression[] = ":XP003";
constexpr char Code_StopEndUserNaming[] = ":XP004";
constexpr char Code_Question[] = ":XP005";
constexpr char Code_StartAsyncSession[] = ":XP00A";
constexpr char Code_StartEnhancedGeneric[] = ":XP00D";
constexpr char Code_Backlight[] = ":XP010";

// Clear codes; the product part is spelt in upper-case hexadecimal.
constexpr char Code_ClearAll[] = ":CS99";
constexpr char Code_ClearVotes[] = ":CS06";
constexpr char Code_ClearSlates[] = ":CS07";
constexpr char Code_ClearBoards[] = ":CS08";
constexpr char Code_ClearExpressions[] = ":CS09";
constexpr char Code_ClearPenExpressions[] = ":CS0D";

// Product ids are written as two hexadecimal digits.
constexpr int ProductIdDigits = 2;
constexpr int HexBase = 16;
constexpr int DecimalBase = 10;
constexpr quint8 ByteMask = 0xFF;
constexpr int BitsPerByte = 8;

// Registration parameters in their text form.
constexpr int RegistrationP1Digits = 3;
constexpr int RegistrationSmallDigits = 2;
constexpr char RegistrationPad = '0';

// ":XP001" block: length byte, p1 (2), p2, p3, three PIN characters, naming byte.
constexpr quint8 ExpressionRegistrationBlockLength = 9;

// ":XP003" block: length byte, address (2), name.
constexpr quint8 NameExpressionBlockLength = 3 + TwoPointFourGHzProtocol::ExpressionNameBytes;
constexpr int AddressHexDigits = 4;
constexpr int BitsPerHexDigit = 4;

// ":XP010" block: length byte, level, value.
constexpr quint8 BacklightBlockLength = 2;

// ":XP005" question block.
constexpr int QuestionBlockLength = 9;
constexpr quint8 QuestionBlockMarker = 0x01;
constexpr quint8 EquationFlag = 0x01;

// Type bytes and naming bytes.
constexpr int MaximumChoices = 6;
constexpr int ChoiceOptionsShift = 5;
constexpr int ChoiceResponsesShift = 2;
constexpr int CharacterTypeShift = 5;
constexpr quint8 NamingFlagBit = 0x10;
constexpr int MaximumEndUserNameLength = 14;

// Byte 10 of the information record and the hub state it stands for.
struct HubStateCode
{
    quint8 code;
    Hub::HubState state;
};
constexpr HubStateCode HubStateCodes[] = {
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

quint8 lowByte(int value) { return quint8(value & ByteMask); }

quint8 highByte(int value) { return quint8((value >> BitsPerByte) & ByteMask); }

QByteArray productIdText(int productId)
{
    return QByteArray::number(lowByte(productId), HexBase).rightJustified(ProductIdDigits, '0');
}

QByteArray registrationCommand(
    const char* commandCode, int p1, int p2, int p3, const RegistrationCode& pin)
{
    // Right-justified but never cut: a wider number keeps all its digits.
    QByteArray parameters
        = QByteArray::number(p1, DecimalBase).rightJustified(RegistrationP1Digits, RegistrationPad);
    parameters += QByteArray::number(p2, DecimalBase)
                      .rightJustified(RegistrationSmallDigits, RegistrationPad);
    parameters += QByteArray::number(p3, DecimalBase)
                      .rightJustified(RegistrationSmallDigits, RegistrationPad);
    parameters += char(lowByte(pin.char1()));
    parameters += char(lowByte(pin.char2()));
    parameters += char(lowByte(pin.char3()));
    return hubCommand(commandCode, parameters);
}

// Latin-1 bytes, zero-padded and cut to `width`.
QByteArray fixedWidthName(const QString& name, int width)
{
    return name.toLatin1().leftJustified(width, ZeroByte, true);
}

// The value of an upper-case hexadecimal digit, or -1.
int hexDigitValue(char c)
{
    constexpr int FirstLetterValue = 10;
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + FirstLetterValue;
    return -1;
}

// The 16-bit address in the last four hexadecimal characters of a device identifier; 0 when
// the identifier is too short or those characters are not hexadecimal.
quint16 addressFromIdentifier(const QByteArray& deviceIdentifier)
{
    if (deviceIdentifier.size() < AddressHexDigits)
        return 0;
    const QByteArray digits = deviceIdentifier.right(AddressHexDigits).toUpper();
    quint16 address = 0;
    for (const char c : digits) {
        const int value = hexDigitValue(c);
        if (value < 0)
            return 0;
        address = quint16((address << BitsPerHexDigit) | value);
    }
    return address;
}

bool carriesText(TwoPointFourGHzProtocol::QuestionType type)
{
    return type == TwoPointFourGHzProtocol::QuestionType_Numeric
        || type == TwoPointFourGHzProtocol::QuestionType_Text
        || type == TwoPointFourGHzProtocol::QuestionType_Message;
}

} // namespace

int TwoPointFourGHzProtocol::productIdOf(Device::Type type)
{
    switch (type) {
    case Device::Type_Vote:
        return ProductId_Vote;
    case Device::Type_Slate:
        return ProductId_Slate;
    case Device::Type_Board:
        return ProductId_Board;
    case Device::Type_Expression:
        return ProductId_Expression;
    case Device::Type_PenExpression:
        return ProductId_PenExpression;
    default:
        return ProductId_Other;
    }
}

QByteArray TwoPointFourGHzProtocol::getInformationCommand()
{
    return hubCommand(Code_GetInformation);
}

QByteArray TwoPointFourGHzProtocol::getNameCommand() { return hubCommand(Code_GetName); }

QByteArray TwoPointFourGHzProtocol::countDevicesCommand(int productId)
{
    return hubCommand(Code_CountDevices, productIdText(productId));
}

QByteArray TwoPointFourGHzProtocol::readDeviceListCommand(int productId)
{
    return hubCommand(Code_ReadDeviceList, productIdText(productId));
}

QByteArray TwoPointFourGHzProtocol::endSessionCommand() { return hubCommand(Code_EndSession); }

QByteArray TwoPointFourGHzProtocol::startVoteRegistrationCommand(
    int p1, int p2, int p3, const RegistrationCode& pin)
{
    return registrationCommand(Code_StartVoteRegistration, p1, p2, p3, pin);
}

QByteArray TwoPointFourGHzProtocol::startSlateRegistrationCommand(
    int p1, int p2, int p3, const RegistrationCode& pin)
{
    return registrationCommand(Code_StartSlateRegistration, p1, p2, p3, pin);
}

QByteArray TwoPointFourGHzProtocol::startExpressionRegistrationCommand(
    int p1, int p2, int p3, const RegistrationCode& pin, quint8 namingByte)
{
    QByteArray command = hubCommand(Code_StartExpressionRegistration);
    command += char(ExpressionRegistrationBlockLength);
    command += char(highByte(p1));
    command += char(lowByte(p1));
    command += char(lowByte(p2));
    command += char(lowByte(p3));
    command += char(lowByte(pin.char1()));
    command += char(lowByte(pin.char2()));
    command += char(lowByte(pin.char3()));
    command += char(namingByte);
    return command;
}

QByteArray TwoPointFourGHzProtocol::startExpressionNamingCommand()
{
    return hubCommand(Code_StartExpressionNaming);
}

QByteArray TwoPointFourGHzProtocol::nameExpressionCommand(
    const QByteArray& deviceIdentifier, const QString& name)
{
    const quint16 address = addressFromIdentifier(deviceIdentifier);
    QByteArray nameField(ExpressionNameBytes, ZeroByte);
    const QByteArray latin = latinise(name).toLatin1().left(ExpressionNameBytes);
    nameField.replace(0, latin.size(), latin);

    QByteArray command = hubCommand(Code_NameExpression);
    command += char(NameExpressionBlockLength);
    command += char(highByte(address));
    command += char(lowByte(address));
    command += nameField;
    return command;
}

QByteArray TwoPointFourGHzProtocol::stopEndUserNamingCommand()
{
    return hubCommand(Code_StopEndUserNaming);
}

QByteArray TwoPointFourGHzProtocol::startTavioteNamingCommand()
{
    return hubCommand(Code_NameTaviote);
}

QByteArray TwoPointFourGHzProtocol::nameTavioteCommand(
    const QByteArray& deviceIdentifier, const QString& name)
{
    return hubCommand(Code_NameTaviote, deviceIdentifier + fixedWidthName(name, TavioteNameBytes));
}

QByteArray TwoPointFourGHzProtocol::nameSlateCommand(
    const QByteArray& deviceIdentifier, const QString& name)
{
    return hubCommand(Code_NameSlate, deviceIdentifier + fixedWidthName(name, SlateNameBytes));
}

QByteArray TwoPointFourGHzProtocol::removeDeviceCommand(const QByteArray& deviceIdentifier)
{
    return hubCommand(Code_RemoveDevice, deviceIdentifier);
}

QByteArray TwoPointFourGHzProtocol::clearCommand(ClearTarget target)
{
    switch (target) {
    case Clear_Votes:
        return hubCommand(Code_ClearVotes);
    case Clear_Slates:
        return hubCommand(Code_ClearSlates);
    case Clear_Boards:
        return hubCommand(Code_ClearBoards);
    case Clear_Expressions:
        return hubCommand(Code_ClearExpressions);
    case Clear_PenExpressions:
        return hubCommand(Code_ClearPenExpressions);
    case Clear_All:
        break;
    }
    return hubCommand(Code_ClearAll);
}

QByteArray TwoPointFourGHzProtocol::backlightCommand(quint8 level, quint8 value)
{
    QByteArray command = hubCommand(Code_Backlight);
    command += char(BacklightBlockLength);
    command += char(level);
    command += char(value);
    return command;
}

QByteArray TwoPointFourGHzProtocol::startAsyncSessionCommand()
{
    return hubCommand(Code_StartAsyncSession) + ZeroByte;
}

QByteArray TwoPointFourGHzProtocol::startEnhancedGenericSessionCommand(bool virtualHub)
{
    if (virtualHub)
        return hubCommand(Code_StartVirtualEnhancedGeneric);
    return hubCommand(Code_StartEnhancedGeneric) + ZeroByte;
}

QByteArray TwoPointFourGHzProtocol::questionCommand(quint8 entityId, QuestionType type,
    quint8 typeByte, quint8 timeByte, bool equation, const QString& text)
{
    // The text length counts the closing zero byte; callers check questionTextFits first.
    QByteArray textBytes;
    if (carriesText(type))
        textBytes = text.toUtf8() + ZeroByte;
    const int textLength = int(textBytes.size());

    QByteArray command = hubCommand(Code_Question);
    command += char(lowByte(QuestionBlockLength + textLength));
    command += char(QuestionBlockMarker);
    command += char(entityId);
    command += char(type == QuestionType_Text && equation ? EquationFlag : 0);
    command += char(type == QuestionType_EndUserNaming ? 0 : timeByte);
    command += char(type);
    command += char(typeByte);
    command += ZeroByte;
    command += char(lowByte(textLength));
    command += textBytes;
    return command;
}

bool TwoPointFourGHzProtocol::questionTextFits(const QString& text)
{
    return text.toUtf8().size() + 1 < MaximumQuestionTextBytes;
}

quint8 TwoPointFourGHzProtocol::timeByte(TimeUnit unit, int time)
{
    const quint8 value = quint8(qBound(0, time, MaximumTimeValue));
    return unit == TimeUnit_1 ? quint8(value | TimeUnitBit) : value;
}

quint8 TwoPointFourGHzProtocol::choiceTypeByte(int options, int responses, DisplayOption display)
{
    int displayCode = 0;
    switch (display) {
    case DisplayOption_Digits:
    case DisplayOption_LowerCaseLetters:
    case DisplayOption_UpperCaseLetters:
        displayCode = display;
        break;
    }
    const int optionCount = qBound(0, options, MaximumChoices);
    const int responseCount = qBound(0, responses, MaximumChoices);
    return quint8((optionCount << ChoiceOptionsShift) | (responseCount << ChoiceResponsesShift)
        | displayCode);
}

quint8 TwoPointFourGHzProtocol::namingByte(
    CharacterType characterType, bool flag, int length, bool limitLength)
{
    int typeCode = 0;
    switch (characterType) {
    case CharacterType_1:
    case CharacterType_2:
    case CharacterType_3:
    case CharacterType_4:
        typeCode = characterType;
        break;
    }
    const int lengthBits
        = limitLength ? qBound(0, length, MaximumEndUserNameLength) : (length & ByteMask);
    return quint8(
        ((typeCode << CharacterTypeShift) | (flag ? NamingFlagBit : 0) | lengthBits) & ByteMask);
}

Hub::HubState TwoPointFourGHzProtocol::hubStateFromCode(quint8 code)
{
    for (const HubStateCode& entry : HubStateCodes) {
        if (entry.code == code)
            return entry.state;
    }
    return Hub::HubState_Unknown;
}

QString TwoPointFourGHzProtocol::latinise(const QString& name)
{
    struct Replacement
    {
        char16_t from;
        char to;
    };
    // Latin Extended-A letters with macron, caron, cedilla or comma below.
    static constexpr Replacement replacements[] = {
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
    QString result = name;
    for (QChar& c : result) {
        for (const Replacement& r : replacements) {
            if (c.unicode() == r.from) {
                c = QLatin1Char(r.to);
                break;
            }
        }
    }
    return result;
}

} // namespace Taviosystem
