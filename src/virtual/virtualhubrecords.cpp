#include "virtualhubrecords.h"

#include <QtCore/QStringList>

namespace Taviosystem {

namespace {
constexpr char Code_HubName[] = ":GL";
constexpr char Code_GenericAsyncMessage[] = ":AE002";
constexpr char CarriageReturn = 0x0D;
constexpr char NameTerminator = 0;
} // namespace

bool EnhancedNameResponse::isResponse(const QByteArray& packet)
{
    return packet.size() >= Offset_Name && packetByte(packet, Offset_Kind) == Kind;
}

EnhancedNameResponse::EnhancedNameResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    m_packetType = Kind;
    const int count
        = qMin(int(packetByte(packet, Offset_Length)), int(packet.size()) - Offset_Name);
    QByteArray bytes = packet.mid(Offset_Name, count);
    const int end = bytes.indexOf(NameTerminator);
    if (end >= 0)
        bytes.truncate(end);
    name = QString::fromLatin1(bytes);
    m_valid = true;
}

bool VirtualGenericAsyncResponse::isResponse(const QByteArray& packet)
{
    return packet.size() >= MinimumLength && packetByte(packet, Offset_Zero) == 0
        && packetByte(packet, Offset_Flag) == GenericFlag;
}

VirtualGenericAsyncResponse::VirtualGenericAsyncResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    generic = true;
    value = packetNumber(packet, Offset_Value, 3);
    address = quint16(packetNumber(packet, Offset_Address, 2));
    payload = packet.mid(Offset_Payload);
    m_valid = true;
}

QByteArray hubNameCommand() { return QByteArray(Code_HubName) + CarriageReturn; }

QByteArray genericAsyncMessageCommand(quint16 address, const QByteArray& payload)
{
    const quint32 length = quint32(payload.size());
    QByteArray command(Code_GenericAsyncMessage);
    command += CarriageReturn;
    command += char(address >> 8);
    command += char(address & 0xFF);
    command += char((length >> 16) & 0xFF);
    command += char((length >> 8) & 0xFF);
    command += char(length & 0xFF);
    command += payload;
    return command;
}

VirtualHubAddress VirtualHubAddress::parse(const QString& info)
{
    VirtualHubAddress address;
    const QStringList parts = info.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (parts.size() < MinimumParts)
        return address;
    address.host = parts.at(1);
    address.host.remove(QLatin1Char('/'));
    address.field2 = parts.at(2);
    address.field3 = parts.at(3);
    address.field4 = parts.at(4);
    return address;
}

} // namespace Taviosystem
