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
    const bool terminator = !m_listTerminator.isEmpty() && packet == m_listTerminator;
    if (!terminator && !m_recogniser(packet))
        return; // not ours: unrelated traffic takes no lock
    std::unique_lock<TimedMutex> locker(m_mutex, HandlerMutexWait);
    if (!locker || m_packets.size() >= MaximumCollectedPackets)
        return; // the packet is lost
    if (terminator)
        m_packets.push_back(m_endOfList);
    else
        m_packets.emplace_back(
            packet.constData(), packet.size()); // deep: the bytes may be the library's
    m_condition.notify_all();
}

} // namespace Taviosystem
