#include "responsehandler.h"

#include <QtCore/QDeadlineTimer>

namespace Taviosystem {

void ResponseHandlerBase::reset()
{
    if (!m_mutex.tryLock(MutexTryLockTime))
        return;
    m_packets.clear();
    m_mutex.unlock();
}

bool ResponseHandlerBase::getNextPacket(QByteArray* packet, int timeoutMs)
{
    if (!m_mutex.tryLock(MutexTryLockTime))
        return false;
    // Wake-ups can be spurious: wait until a packet is there or the deadline has passed.
    QDeadlineTimer deadline(qMax(timeoutMs, 0));
    while (m_packets.empty()) {
        if (!m_condition.wait(&m_mutex, deadline) && m_packets.empty()) {
            m_mutex.unlock();
            return false;
        }
    }
    if (packet)
        *packet = m_packets.front();
    m_packets.pop_front();
    m_mutex.unlock();
    return true;
}

// Runs on the packet thread.
void ResponseHandlerBase::processPacket(const QByteArray& packet)
{
    if (!m_mutex.tryLock(MutexTryLockTime))
        return;
    const bool isEndMarker = !m_endMarker.isEmpty() && packet == m_endMarker;
    if ((isEndMarker || m_recogniser(packet)) && m_packets.size() < MaximumCollectedPackets) {
        // A deep copy: the packet's bytes may belong to the board library.
        m_packets.emplace_back(packet.constData(), packet.size());
        m_condition.wakeAll();
    }
    m_mutex.unlock();
}

void ResponseHandlerBase::setEndMarker(const QByteArray& marker)
{
    if (!m_mutex.tryLock(MutexTryLockTime))
        return;
    m_endMarker = marker;
    m_mutex.unlock();
}

} // namespace Taviosystem
