#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Taviosystem {

// A mutex whose taker can give up after a time. Built on a plain mutex and a condition variable
// so that every hand-off is visible to the thread checker (timed locks of the C library are not
// followed by it). Meets the Lockable and TimedLockable requirements; pair it with
// std::condition_variable_any to wait.
class TimedMutex
{
public:
    void lock()
    {
        std::unique_lock<std::mutex> guard(m_state);
        m_free.wait(guard, [this] { return !m_locked; });
        m_locked = true;
    }

    bool try_lock()
    {
        std::lock_guard<std::mutex> guard(m_state);
        if (m_locked)
            return false;
        m_locked = true;
        return true;
    }

    template <typename Rep, typename Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& timeout)
    {
        std::unique_lock<std::mutex> guard(m_state);
        if (!m_free.wait_for(guard, timeout, [this] { return !m_locked; }))
            return false;
        m_locked = true;
        return true;
    }

    void unlock()
    {
        {
            std::lock_guard<std::mutex> guard(m_state);
            m_locked = false;
        }
        m_free.notify_one();
    }

private:
    std::mutex m_state;
    std::condition_variable m_free;
    bool m_locked = false;
};

} // namespace Taviosystem
