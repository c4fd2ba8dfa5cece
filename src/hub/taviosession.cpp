#include "taviosession.h"

#include "tavioteresponse.h"

namespace Taviosystem {

namespace {
const char cmdStartVotingB[] = ":VB";
const char cmdStartVotingM[] = ":VM";
const char cmdEndSession[] = ":VE";
}

TavioSession::~TavioSession() = default;

QByteArray TavioSession::stopCommand() { return QByteArray(cmdEndSession) + Hub::chEndOfString; }

TavioteSession::TavioteSession(Hub::Type hubType, Hub::ConnectionType connectionType,
    Hub::VotingMode mode, Hub::VotingCallback callback, void* context)
    : m_hubType(hubType)
    , m_connectionType(connectionType)
    , m_votingMode(mode)
    , m_callback(callback)
    , m_context(context)
{
    // Any other combination has no decoder and ignores every packet.
    if (m_hubType == Hub::Type_TwoPointFourGHz)
        m_decoder = std::make_unique<TwoPointFourGHzTavioteResponse>();
    else if (m_hubType == Hub::Type_Legacy && m_connectionType == Hub::ConnectionType_Usb)
        m_decoder = std::make_unique<LegacyTavioteResponse>();
    else if (m_hubType == Hub::Type_Legacy && m_connectionType == Hub::ConnectionType_Serial)
        m_decoder = std::make_unique<LegacySerialTavioteResponse>();
}

TavioteSession::~TavioteSession() = default;

QByteArray TavioteSession::startCommand() const
{
    switch (m_votingMode) {
    case Hub::VotingMode_B:
        return QByteArray(cmdStartVotingB) + Hub::chEndOfString;
    case Hub::VotingMode_M:
        return QByteArray(cmdStartVotingM) + Hub::chEndOfString;
    }
    return QByteArray(1, Hub::chEndOfString);
}

QByteArray TavioteSession::stopCommand()
{
    m_decoder.reset();
    return TavioSession::stopCommand();
}

bool TavioteSession::isVote(const QByteArray& packet) const
{
    return m_decoder && m_decoder->isVote(packet);
}

int TavioteSession::voteFromKey(quint8 key)
{
    switch (key) {
    case 0x01:
        return 1;
    case 0x02:
        return 2;
    case 0x04:
        return 3;
    case 0x08:
        return 4;
    case 0x10:
        return 5;
    case 0x20:
        return 6;
    default:
        return 0;
    }
}

bool TavioteSession::processVote(const QByteArray& packet)
{
    if (!m_decoder)
        return false;
    const quint32 device = m_decoder->deviceNumber(packet);
    const quint8 key = m_decoder->voteKey(packet);
    if (m_decoder->isRepeat(device, key))
        return false;
    m_deviceNumber = device;
    m_batteryLow = m_decoder->batteryLow(packet);
    m_vote = voteFromKey(key);
    return true;
}

} // namespace Taviosystem
