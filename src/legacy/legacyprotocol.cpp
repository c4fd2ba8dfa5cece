#include "legacyprotocol.h"

#include <taviosystem/hub.h>
#include <taviosystem/registrationcode.h>

namespace Taviosystem {
namespace LegacyProtocol {

namespace {
constexpr int IdentifierBytes = 6;
constexpr int TwoDigits = 2;

QByteArray command(const char* code, const QByteArray& parameters = QByteArray())
{
    QByteArray bytes(code);
    bytes += parameters;
    bytes += Hub::chEndOfString;
    return bytes;
}

QByteArray twoDigits(int value)
{
    return QByteArray::number(value % 100).rightJustified(TwoDigits, '0');
}
} // namespace

QByteArray readRFSettingsCommand() { return command(":VT"); }
QByteArray startVoteRegistrationCommand() { return command(":VR"); }
QByteArray endSessionCommand() { return command(":VE"); }
QByteArray clearVotesCommand() { return command(":VO"); }
QByteArray enableVoterCommand(quint64 deviceId)
{
    return command(":VI", deviceIdentifier(deviceId));
}
QByteArray removeVoterCommand(quint64 deviceId)
{
    return command(":RD", deviceIdentifier(deviceId));
}
QByteArray startSlateRegistrationCommand() { return command(":AR"); }
QByteArray stopSlateRegistrationCommand() { return command(":AO"); }
QByteArray disableSlatesCommand() { return command(":AE"); }
QByteArray useRFSlatesCommand() { return command(":AT", "1"); }

QByteArray enableSlateCommand(quint8 slateId, const QString& pin)
{
    return command(":AB", twoDigits(slateId) + pin.toLatin1());
}

QByteArray startSlatePINRegistrationCommand(
    quint8 slateId, quint8 slateChannel, const RegistrationCode& pin)
{
    return command(
        ":AP", twoDigits(slateId) + QByteArray::number(slateChannel) + pinDigits(pin).toLatin1());
}

QByteArray changeBoardIdCommand(quint8 id) { return command(":UR", twoDigits(id)); }
QByteArray changeSlateChannelCommand(quint8 channel)
{
    return command(":AY", QByteArray::number(channel));
}
QByteArray changeVoteChannelCommand(quint8 channel)
{
    return command(":VY", QByteArray::number(channel));
}

QByteArray deviceIdentifier(quint64 deviceId)
{
    QByteArray bytes;
    for (int i = 0; i < IdentifierBytes; ++i)
        bytes.append(char((deviceId >> (8 * i)) & 0xFF));
    return bytes.toHex().toUpper();
}

char toLegacyPINChar(quint16 code)
{
    return code >= 'A' && code <= 'F' ? char('1' + (code - 'A')) : '0';
}

QString pinDigits(const RegistrationCode& pin)
{
    QString digits;
    for (quint16 code : { quint16(pin.char1()), quint16(pin.char2()), quint16(pin.char3()) })
        digits.append(QLatin1Char(toLegacyPINChar(code)));
    return digits;
}

} // namespace LegacyProtocol
} // namespace Taviosystem
