#include "orvikprotocol.h"

#include <QtCore/QRegularExpression>

#include <algorithm>

namespace Taviosystem {

namespace Orvik {

namespace {
constexpr char Code_RequestPin[] = ":RP";
constexpr char Code_CloseSession[] = ":CS";
constexpr char CarriageReturn = 0x0D;
constexpr char LineFeed = 0x0A;
constexpr char Blank = ' ';
constexpr int PinLength = 3;
constexpr char FirstPrintable = 0x20;
constexpr char LastPrintable = 0x7E;

const QRegularExpression& announcementPattern()
{
    static const QRegularExpression pattern(QStringLiteral("Orvik addr<(.*)> port<(\\d+)>"),
        QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}
} // namespace

Announcement parseAnnouncement(const QByteArray& datagram)
{
    Announcement announcement;
    const QString text = QString::fromLatin1(datagram.left(MaximumAnnouncementSize));
    const QRegularExpressionMatch match = announcementPattern().match(text);
    if (!match.hasMatch())
        return announcement;
    bool ok = false;
    const int port = match.captured(2).toInt(&ok);
    announcement.address = match.captured(1);
    announcement.port = ok ? port : 0;
    announcement.valid = ok && !announcement.address.isEmpty() && port >= 1 && port <= MaximumPort;
    return announcement;
}

QByteArray pinRequest(const QString& hubDetails)
{
    QByteArray details = hubDetails.toUtf8();
    std::replace(details.begin(), details.end(), CarriageReturn, Blank);
    std::replace(details.begin(), details.end(), LineFeed, Blank);
    return QByteArray(Code_RequestPin) + details + CarriageReturn;
}

QByteArray closeSessionRequest() { return QByteArray(Code_CloseSession) + CarriageReturn; }

bool isPin(const QByteArray& payload)
{
    return payload.size() == PinLength && std::all_of(payload.cbegin(), payload.cend(), [](char c) {
        return c >= FirstPrintable && c <= LastPrintable;
    });
}

int ReplyDecoder::bytesWanted() const
{
    switch (m_state) {
    case State_Header:
        return HeaderSize - m_headerRead;
    case State_Payload:
        return int(m_declared) - int(m_payload.size());
    default:
        return 0;
    }
}

int ReplyDecoder::feed(const char* data, int size)
{
    int taken = 0;
    while (taken < size && bytesWanted() > 0) {
        const int count = std::min(size - taken, bytesWanted());
        if (m_state == State_Header) {
            std::copy(data + taken, data + taken + count, m_header + m_headerRead);
            m_headerRead += count;
            taken += count;
            if (m_headerRead < HeaderSize)
                break;
            m_declared = quint32(m_header[0]) | quint32(m_header[1]) << 8
                | quint32(m_header[2]) << 16 | quint32(m_header[3]) << 24;
            if (m_declared > MaximumPayload) {
                m_state = State_Oversize;
                break;
            }
            m_payload.reserve(int(m_declared));
            m_state = m_declared == 0 ? State_Complete : State_Payload;
        } else {
            m_payload.append(data + taken, count);
            taken += count;
            if (m_payload.size() == int(m_declared))
                m_state = State_Complete;
        }
    }
    return taken;
}

void ReplyDecoder::reset() { *this = ReplyDecoder(); }

} // namespace Orvik

} // namespace Taviosystem
