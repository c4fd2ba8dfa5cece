#include "sessionbuffercollector.h"

#include <QtCore/QTimerEvent>

namespace Taviosystem {

namespace {
const int Offset_Address = 2;
const int Offset_Sequence = 4;
const int Offset_Number = 5;
const int Offset_Expected = 6;
const int FirstTextOffset = 7; // in the sequence-0 packet
const int FirstTextBytes = 5;
const int LaterTextOffset = 5;
const int LaterTextBytes = 7;
} // namespace

SessionBufferCollector::SessionBufferCollector(
    CompletionHandler handler, int completionTimeoutMs, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_completionTimeoutMs(completionTimeoutMs)
{
    connect(this, &SessionBufferCollector::Timer, this, &SessionBufferCollector::handleTimer,
        Qt::QueuedConnection);
}

SessionBufferCollector::~SessionBufferCollector() = default;

bool SessionBufferCollector::isResponse(const QByteArray& packet)
{
    return packet.size() == PacketLength && packetByte(packet, 0) == PacketLength
        && packet.at(1) == Kind;
}

QString SessionBufferCollector::joined(const CollectorEntry& entry)
{
    QByteArray bytes;
    for (const QByteArray& piece : entry.pieces) // ascending sequence order
        bytes += piece;
    // Only the bytes the device announced, and never past the first zero byte.
    if (entry.expected > 0 && bytes.size() > int(entry.expected))
        bytes.truncate(int(entry.expected));
    const int end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromUtf8(bytes);
}

// Runs on the packet thread.
void SessionBufferCollector::processPacket(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    const quint16 address
        = quint16(packetByte(packet, Offset_Address) << 8 | packetByte(packet, Offset_Address + 1));
    const quint8 sequence = packetByte(packet, Offset_Sequence);

    bool complete = false;
    CollectorEntry finished;
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        const bool created = !m_entries.contains(address);
        CollectorEntry& entry = m_entries[address];
        if (created) {
            entry.address = address;
            entry.number = sequence == 0 ? packetByte(packet, Offset_Number) : 0;
        }
        if (sequence == 0) {
            entry.expected = packetByte(packet, Offset_Expected);
            entry.pieces[sequence] = packet.mid(FirstTextOffset, FirstTextBytes);
            entry.received += FirstTextBytes;
        } else {
            entry.pieces[sequence] = packet.mid(LaterTextOffset, LaterTextBytes);
            entry.received += LaterTextBytes;
        }
        // Pieces are kept by their one-byte sequence number, so an answer holds at most 256.
        if (entry.expected >= 1 && entry.received >= entry.expected) {
            complete = true;
            finished = entry;
            m_entries.remove(address);
        }
    }
    if (complete) {
        Q_EMIT Timer(TimerMode_Stop, address);
        if (m_handler)
            m_handler(finished.address, finished.number, joined(finished), true);
    } else {
        Q_EMIT Timer(TimerMode_Start, address);
    }
}

// Runs on the collector's thread.
void SessionBufferCollector::handleTimer(int timerMode, quint16 nDeviceAddress)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    // Any timer of the device goes first: a stop, or a restart after another packet.
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it.value() == nDeviceAddress) {
            killTimer(it.key());
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
    auto entry = m_entries.find(nDeviceAddress);
    if (entry == m_entries.end()) {
        return; // completed meanwhile
    }
    entry->timerId = 0;
    if (timerMode == TimerMode_Start) {
        entry->timerId = startTimer(m_completionTimeoutMs);
        if (entry->timerId != 0)
            m_timers.insert(entry->timerId, nDeviceAddress);
    }
}

// Runs on the collector's thread: the answer stopped coming.
void SessionBufferCollector::timerEvent(QTimerEvent* event)
{
    CollectorEntry finished;
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        killTimer(event->timerId());
        const auto timer = m_timers.find(event->timerId());
        if (timer == m_timers.end())
            return;
        const quint16 address = timer.value();
        m_timers.erase(timer);
        const auto entry = m_entries.find(address);
        if (entry == m_entries.end())
            return;
        finished = entry.value();
        m_entries.erase(entry);
    }
    if (m_handler)
        m_handler(finished.address, finished.number, joined(finished), false);
}

} // namespace Taviosystem
