#include "responsehandler.h"

#include <chrono>

namespace Taviosystem {

namespace {
    const std::chrono::milliseconds HandlerMutexWait(ResponseHandlerBase::MutexTryLockTime);
}

void ResponseHandlerBase::reset()
{
    std::unique_lock<TimedMutex> locker(m_mutex, HandlerMutexWait);
    if (!locker)
        return;
    m_packets.clear();
}

bool ResponseHandlerBase::getNextPacket(QByteArray* packet, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    std::unique_lock<TimedMutex> locker(m_mutex, HandlerMutexWait);
    if (!locker)
        return false;
    // Wake-ups can be spurious: wait until a packet is there or the deadline has passed.
    if (!m_condition.wait_until(locker, deadline, [this] { return !m_packets.empty(); }))
        return false;
    if (packet)
        *packet = std::move(m_packets.front());
    m_packets.pop_front();
    return true;
}

// Runs on the packet thread.
void ResponseHandlerBase::processPacket(const QByteArray& packet)
{
    std::unique_lock<TimedMutex> locker(m_mutex, HandlerMutexWait);
    if (!locker)
        return; // the packet is lost
    const bool isEndMarker = !m_endMarker.isEmpty() && packet == m_endMarker;
    if ((isEndMarker || m_recogniser(packet)) && m_packets.size() < MaximumCollectedPackets) {
        // A deep copy: the packet's bytes may belong to the board library.
        m_packets.emplace_back(packet.constData(), packet.size());
        m_condition.notify_all();
    }
}

void ResponseHandlerBase::setEndMarker(const QByteArray& marker)
{
    std::unique_lock<TimedMutex> locker(m_mutex, HandlerMutexWait);
    if (locker)
        m_endMarker = marker;
}

} // namespace Taviosystem
