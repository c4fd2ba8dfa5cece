#pragma once

// The legacy hub's commands: a colon, two letters, optional ASCII parameters and a carriage
// return. No byte blocks.

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

class RegistrationCode;

namespace LegacyProtocol {

QByteArray readRFSettingsCommand(); // ":VT"
QByteArray startVoteRegistrationCommand(); // ":VR"
QByteArray endSessionCommand(); // ":VE"
QByteArray clearVotesCommand(); // ":VO"
QByteArray enableVoterCommand(quint64 deviceId); // ":VI" + identifier
QByteArray removeVoterCommand(quint64 deviceId); // ":RD" + identifier
QByteArray startSlateRegistrationCommand(); // ":AR"
QByteArray stopSlateRegistrationCommand(); // ":AO"
QByteArray disableSlatesCommand(); // ":AE"
QByteArray useRFSlatesCommand(); // ":AT1"
// ":AB", the slate id as two decimal digits, the slate's PIN text.
QByteArray enableSlateCommand(quint8 slateId, const QString& pin);
// ":AP", the slate id as two decimal digits, the slate channel in decimal, the three PIN
// characters as digits (toLegacyPINChar).
QByteArray startSlatePINRegistrationCommand(
    quint8 slateId, quint8 slateChannel, const RegistrationCode& pin);
QByteArray changeBoardIdCommand(quint8 id); // ":UR" + two decimal digits
QByteArray changeSlateChannelCommand(quint8 channel); // ":AY" + decimal
QByteArray changeVoteChannelCommand(quint8 channel); // ":VY" + decimal

// 12 upper-case hexadecimal characters of a 48-bit value, least significant byte first, each
// byte high nibble first.
QByteArray deviceIdentifier(quint64 deviceId);
// The PIN digits slates key: 'A' to 'F' are '1' to '6', anything else '0'.
char toLegacyPINChar(quint16 code);
// The three PIN characters of a registration code as digits.
QString pinDigits(const RegistrationCode& pin);

} // namespace LegacyProtocol
} // namespace Taviosystem
