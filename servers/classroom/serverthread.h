// A thread with its own event loop that the reference servers run on, so that they never need
// the caller's thread to make progress.
#pragma once

#include <QtCore/QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace ClassroomServer {

class ServerThread
{
public:
    ServerThread();
    ~ServerThread(); // quits and joins the thread; objects living on it must be gone by then
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    // The object that lives on the thread: parent or context for work there.
    QObject* context() const;
    bool isCurrent() const;
    // Runs work on the thread and waits until it has run (at once when called from the thread).
    // The thread only runs short work, so the wait ends.
    void run(const std::function<void()>& work);
    // Runs read on the thread, waits, and returns what it returned.
    template <typename Read>
    auto get(Read read) -> decltype(read())
    {
        decltype(read()) value {};
        run([&] { value = read(); });
        return value;
    }
    // Runs work on the thread later; does not wait.
    void post(std::function<void()> work);

private:
    class Context;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<Context> m_context;
};

} // namespace ClassroomServer
