#include "serverthread.h"

#include <QtCore/QThread>

namespace ClassroomServer {

// Lives on the server's thread; runs the work handed to it in order. The work is kept under a
// lock this code takes itself, and only a call by name crosses threads through Qt's queue.
class ServerThread::Context : public QObject
{
    Q_OBJECT
public:
    void add(std::function<void()> work)
    {
        {
            std::lock_guard<std::mutex> locker(m_mutex);
            m_work.push_back(std::move(work));
        }
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }

    Q_INVOKABLE void drain()
    {
        for (;;) {
            std::function<void()> work;
            {
                std::lock_guard<std::mutex> locker(m_mutex);
                if (m_work.empty())
                    return;
                work = std::move(m_work.front());
                m_work.pop_front();
            }
            work();
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
};

ServerThread::ServerThread()
    : m_thread(std::make_unique<QThread>())
    , m_context(std::make_unique<Context>())
{
    m_context->moveToThread(m_thread.get());
    m_thread->start();
}

ServerThread::~ServerThread()
{
    // The context leaves the thread before it ends, so it can be deleted here.
    run([this] { m_context->moveToThread(nullptr); });
    m_thread->quit();
    m_thread->wait();
}

QObject* ServerThread::context() const { return m_context.get(); }

bool ServerThread::isCurrent() const { return QThread::currentThread() == m_thread.get(); }

void ServerThread::run(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    m_context->add([&] {
        work();
        std::lock_guard<std::mutex> locker(mutex);
        finished = true;
        done.notify_all();
    });
    std::unique_lock<std::mutex> locker(mutex);
    done.wait(locker, [&] { return finished; });
}

void ServerThread::post(std::function<void()> work) { m_context->add(std::move(work)); }

} // namespace ClassroomServer

#include "serverthread.moc"
