// Work that callers on any thread hand to a reference server's own thread, run there in posting
// order while each caller waits. The queue is guarded by a lock of its own rather than carried in
// queued functors, so every access is under a lock this code takes (and that ThreadSanitizer
// sees).
#pragma once

#include <QtCore/QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace ReferenceServers {

class ThreadTasks
{
public:
    // Runs on the server's thread: everything posted so far, oldest first.
    void drain()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_tasks.empty())
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_done;
            }
            m_finished.notify_all();
        }
    }

    // Posts `work`, calls `wake` (which must make the server's thread call drain()) and waits
    // until `work` has run. `work` may refer to the caller's locals.
    void run(std::function<void()> work, const std::function<void()>& wake)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const quint64 ticket = ++m_posted;
        m_tasks.push_back(std::move(work));
        lock.unlock();
        wake();
        lock.lock();
        m_finished.wait(lock, [&] { return m_done >= ticket; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::deque<std::function<void()>> m_tasks;
    quint64 m_posted = 0;
    quint64 m_done = 0;
};

} // namespace ReferenceServers
