#include "legacyprotocol.h"

#include "hub/hubcommand.h"

#include <taviosystem/hub.h>
#include <taviosystem/registrationcode.h>

namespace Taviosystem {
namespace LegacyProtocol {

namespace {
constexpr int IdentifierBytes = 6;
constexpr int TwoDigits = 2;

QByteArray twoDigits(int value)
{
    return QByteArray::number(value % 100).rightJustified(TwoDigits, '0');
}
} // namespace

QByteArray readRFSettingsCommand() { return hubCommand(":VT"); }
QByteArray startVoteRegistrationCommand() { return hubCommand(":VR"); }
QByteArray endSessionCommand() { return hubCommand(":VE"); }
QByteArray clearVotesCommand() { return hubCommand(":VO"); }
QByteArray enableVoterCommand(quint64 deviceId)
{
    return hubCommand(":VI", deviceIdentifier(deviceId));
}
QByteArray removeVoterCommand(quint64 deviceId)
{
    return hubCommand(":RD", deviceIdentifier(deviceId));
}
QByteArray startSlateRegistrationCommand() { return hubCommand(":AR"); }
QByteArray stopSlateRegistrationCommand() { return hubCommand(":AO"); }
QByteArray disableSlatesCommand() { return hubCommand(":AE"); }
QByteArray useRFSlatesCommand() { return hubCommand(":AT", "1"); }

QByteArray enableSlateCommand(quint8 slateId, const QString& pin)
{
    return hubCommand(":AB", twoDigits(slateId) + pin.toLatin1());
}

QByteArray startSlatePINRegistrationCommand(
    quint8 slateId, quint8 slateChannel, const RegistrationCode& pin)
{
    return hubCommand(
        ":AP", twoDigits(slateId) + QByteArray::number(slateChannel) + pinDigits(pin).toLatin1());
}

QByteArray changeBoardIdCommand(quint8 id) { return hubCommand(":UR", twoDigits(id)); }
QByteArray changeSlateChannelCommand(quint8 channel)
{
    return hubCommand(":AY", QByteArray::number(channel));
}
QByteArray changeVoteChannelCommand(quint8 channel)
{
    return hubCommand(":VY", QByteArray::number(channel));
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
