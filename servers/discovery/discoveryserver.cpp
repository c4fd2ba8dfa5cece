#include "discoveryserver.h"
#include "threadtasks.h"

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtNetwork/QUdpSocket>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace DiscoveryServer {

namespace {
constexpr char CarriageReturn = 0x0D;
const QByteArray PinRequest(":RP");
const QByteArray CloseRequest(":CS");
const QString PinAlphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
constexpr int PinLength = 3;
constexpr int PinCombinations = 36 * 36 * 36;
// A stride prime to the number of combinations spreads consecutive PINs apart.
constexpr int PinStride = 7919;
// A connection that sends this much without a CR is dropped.
constexpr int MaximumRequestSize = 64 * 1024;

QString pinAt(int index)
{
    int value = int((qint64(index) * PinStride) % PinCombinations);
    QString pin(PinLength, QLatin1Char(' '));
    for (int i = PinLength - 1; i >= 0; --i) {
        pin[i] = PinAlphabet.at(value % PinAlphabet.size());
        value /= int(PinAlphabet.size());
    }
    return pin;
}

QString deepCopy(const QString& text) { return QString(text.constData(), text.size()); }
QByteArray deepCopy(const QByteArray& bytes) { return QByteArray(bytes.constData(), bytes.size()); }

QByteArray framed(const QByteArray& payload)
{
    const quint32 length = quint32(payload.size());
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes += char((length >> (8 * i)) & 0xFF);
    return bytes + payload;
}
} // namespace

// State shared between the caller's threads and the server's.
struct ServerState
{
    mutable std::mutex mutex;
    mutable std::condition_variable requestArrived;
    bool silent = false;
    int replyDelay = 0;
    int dripInterval = 0;
    std::optional<QByteArray> rawReply;
    bool closeAfterAccept = false;
    std::optional<QByteArray> announcementText;
    int announcementsSent = 0;
    QStringList pool; // empty: every combination
    int nextPin = 0;
    QMap<QString, QString> held; // details -> PIN
    QList<ReceivedRequest> requests;
    int accepted = 0;
    int open = 0;
    quint16 port = 0;

    // Work handed to the server's thread.
    ReferenceServers::ThreadTasks tasks;

    // Called with the mutex held.
    QString issuePin(const QString& details)
    {
        if (held.contains(details))
            return held.value(details);
        const int candidates = pool.isEmpty() ? PinCombinations : int(pool.size());
        for (int tried = 0; tried < candidates; ++tried) {
            const int index = nextPin++ % candidates;
            const QString pin = pool.isEmpty() ? pinAt(index) : pool.at(index);
            if (!held.values().contains(pin)) {
                held.insert(details, pin);
                return pin;
            }
        }
        return QString();
    }
};

// Lives on the server's thread and owns every socket.
class ServerWorker : public QObject
{
    Q_OBJECT
public:
    explicit ServerWorker(std::shared_ptr<ServerState> shared)
        : m_shared(std::move(shared))
    {
    }

    bool listen(quint16 port)
    {
        close();
        m_listener = new QTcpServer(this);
        QObject::connect(m_listener, &QTcpServer::newConnection, this, [this] { accept(); });
        if (!m_listener->listen(QHostAddress(QHostAddress::LocalHost), port)) {
            delete m_listener;
            m_listener = nullptr;
            return false;
        }
        std::lock_guard<std::mutex> locker(m_shared->mutex);
        m_shared->port = m_listener->serverPort();
        return true;
    }

    void close()
    {
        dropConnections();
        delete m_listener; // and the sockets it accepted
        m_listener = nullptr;
    }

    // Runs on the server's thread before the worker leaves it.
    void shutdown()
    {
        close();
        delete m_timer;
        m_timer = nullptr;
        delete m_udp;
        m_udp = nullptr;
        moveToThread(nullptr);
    }

    void dropConnections()
    {
        const auto sockets = m_connections.keys();
        for (QTcpSocket* socket : sockets)
            socket->abort();
    }

    void announce(quint16 udpPort, int intervalMs)
    {
        if (!m_udp)
            m_udp = new QUdpSocket(this);
        if (!m_timer) {
            m_timer = new QTimer(this);
            QObject::connect(m_timer, &QTimer::timeout, this, [this] { sendAnnouncement(); });
        }
        m_udpPort = udpPort;
        m_timer->start(intervalMs);
        sendAnnouncement();
    }

    void stopAnnouncing()
    {
        if (m_timer)
            m_timer->stop();
    }

    // Runs the work posted to this thread, oldest first.
    Q_INVOKABLE void drain() { m_shared->tasks.drain(); }

    void sendToAll(const QByteArray& bytes)
    {
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
            it.key()->write(bytes);
    }

private:
    struct Connection
    {
        int id = 0;
        QByteArray buffer;
        QString lastPin;
    };

    void sendAnnouncement()
    {
        QByteArray text;
        {
            std::lock_guard<std::mutex> locker(m_shared->mutex);
            text = m_shared->announcementText.value_or(Server::announcement(m_shared->port));
            ++m_shared->announcementsSent;
        }
        // Unicast to this machine only.
        m_udp->writeDatagram(text, QHostAddress(QHostAddress::LocalHost), m_udpPort);
    }

    void accept()
    {
        while (QTcpSocket* socket = m_listener ? m_listener->nextPendingConnection() : nullptr) {
            bool closeNow = false;
            Connection connection;
            {
                std::lock_guard<std::mutex> locker(m_shared->mutex);
                connection.id = ++m_shared->accepted;
                ++m_shared->open;
                closeNow = m_shared->closeAfterAccept;
            }
            m_connections.insert(socket, connection);
            QObject::connect(
                socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                if (m_connections.remove(socket) > 0) {
                    std::lock_guard<std::mutex> locker(m_shared->mutex);
                    --m_shared->open;
                }
                socket->deleteLater();
            });
            if (closeNow)
                socket->disconnectFromHost();
        }
    }

    void read(QTcpSocket* socket)
    {
        auto it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        it->buffer += socket->readAll();
        int end = -1;
        while ((end = int(it->buffer.indexOf(CarriageReturn))) >= 0) {
            const QByteArray request = it->buffer.left(end);
            it->buffer.remove(0, end + 1);
            handle(socket, *it, request);
        }
        if (it->buffer.size() > MaximumRequestSize)
            socket->abort();
    }

    void handle(QTcpSocket* socket, Connection& connection, const QByteArray& request)
    {
        std::optional<QByteArray> reply;
        bool silent = false;
        int delay = 0;
        int drip = 0;
        {
            std::lock_guard<std::mutex> locker(m_shared->mutex);
            m_shared->requests.append({ connection.id, request });
            m_shared->requestArrived.notify_all();
            if (request.startsWith(PinRequest)) {
                const QString details = QString::fromUtf8(request.mid(PinRequest.size()));
                const QString pin = m_shared->issuePin(details);
                if (!pin.isEmpty())
                    connection.lastPin = pin;
                reply = m_shared->rawReply.value_or(framed(pin.toLatin1()));
            } else if (request == CloseRequest && !connection.lastPin.isEmpty()) {
                const QString details = m_shared->held.key(connection.lastPin);
                m_shared->held.remove(details);
                connection.lastPin.clear();
            }
            silent = m_shared->silent;
            delay = m_shared->replyDelay;
            drip = m_shared->dripInterval;
        }
        if (!reply || silent)
            return;
        QPointer<QTcpSocket> target(socket);
        const QByteArray bytes = *reply;
        auto send = [this, target, bytes, drip] { sendReply(target, bytes, drip); };
        if (delay > 0)
            QTimer::singleShot(delay, this, send);
        else
            send();
    }

    void sendReply(QPointer<QTcpSocket> socket, QByteArray bytes, int drip)
    {
        if (!socket)
            return;
        if (drip <= 0 || bytes.size() <= 1) {
            socket->write(bytes);
            return;
        }
        socket->write(bytes.left(1));
        const QByteArray rest = bytes.mid(1);
        QTimer::singleShot(
            drip, this, [this, socket, rest, drip] { sendReply(socket, rest, drip); });
    }

    std::shared_ptr<ServerState> m_shared;
    QTcpServer* m_listener = nullptr;
    QMap<QTcpSocket*, Connection> m_connections;
    QUdpSocket* m_udp = nullptr;
    QTimer* m_timer = nullptr;
    quint16 m_udpPort = 0;
};

class Server::Thread : public QThread
{
};

// Runs `work` on the server's thread and waits for it. The server's thread only ever runs short
// socket calls, so the wait ends; it holds references to the caller's locals until then.
template <typename Work>
void Server::runOnServerThread(Work work)
{
    if (QThread::currentThread() == m_worker->thread()) {
        work();
        return;
    }
    m_shared->tasks.run(
        work, [this] { QMetaObject::invokeMethod(m_worker.get(), "drain", Qt::QueuedConnection); });
}

Server::Server()
    : m_shared(std::make_shared<ServerState>())
    , m_worker(std::make_unique<ServerWorker>(m_shared))
    , m_thread(std::make_unique<Thread>())
{
    m_worker->moveToThread(m_thread.get());
    m_thread->start();
}

Server::~Server()
{
    runOnServerThread([this] { m_worker->shutdown(); });
    m_thread->quit();
    m_thread->wait();
    m_worker.reset();
}

bool Server::start(quint16 port)
{
    bool ok = false;
    runOnServerThread([&] { ok = m_worker->listen(port); });
    return ok;
}

void Server::stop()
{
    runOnServerThread([this] { m_worker->close(); });
}

bool Server::restart()
{
    const quint16 previous = port();
    stop();
    return start(previous);
}

quint16 Server::port() const
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    return m_shared->port;
}

bool Server::announceTo(const QHostAddress& target, quint16 udpPort, int intervalMs)
{
    if (target != QHostAddress(QHostAddress::LocalHost) || udpPort == 0 || intervalMs <= 0)
        return false;
    runOnServerThread([&] { m_worker->announce(udpPort, intervalMs); });
    return true;
}

void Server::stopAnnouncing()
{
    runOnServerThread([this] { m_worker->stopAnnouncing(); });
}

void Server::setAnnouncementText(const std::optional<QByteArray>& text)
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->announcementText = text;
}

int Server::announcementsSent() const
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    return m_shared->announcementsSent;
}

QByteArray Server::announcement(quint16 port)
{
    return QByteArray("Orvik addr<127.0.0.1> port<") + QByteArray::number(port) + '>';
}

void Server::setPinPool(const QStringList& pins)
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->pool = pins;
    m_shared->nextPin = 0;
}

// The records are handed out as deep copies: nothing the server thread goes on changing is shared
// with the caller.
QMap<QString, QString> Server::heldPins() const
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    QMap<QString, QString> copy;
    for (auto it = m_shared->held.cbegin(); it != m_shared->held.cend(); ++it)
        copy.insert(deepCopy(it.key()), deepCopy(it.value()));
    return copy;
}

void Server::setSilent(bool silent)
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->silent = silent;
}

void Server::setReplyDelay(int ms)
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->replyDelay = ms;
}

void Server::setDripInterval(int ms)
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->dripInterval = ms;
}

void Server::setRawReply(const std::optional<QByteArray>& bytes)
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->rawReply = bytes;
}

void Server::setCloseAfterAccept(bool close)
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->closeAfterAccept = close;
}

void Server::sendUnsolicited(const QByteArray& bytes)
{
    runOnServerThread([&] { m_worker->sendToAll(bytes); });
}

void Server::dropConnections()
{
    runOnServerThread([this] { m_worker->dropConnections(); });
}

QList<ReceivedRequest> Server::requests() const
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    QList<ReceivedRequest> copy;
    for (const ReceivedRequest& request : std::as_const(m_shared->requests))
        copy.append({ request.connection, deepCopy(request.bytes) });
    return copy;
}

bool Server::waitForRequests(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> locker(m_shared->mutex);
    return m_shared->requestArrived.wait_for(locker, std::chrono::milliseconds(timeoutMs),
        [&] { return m_shared->requests.size() >= count; });
}

void Server::clearRequests()
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    m_shared->requests.clear();
}

int Server::connectionsAccepted() const
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    return m_shared->accepted;
}

int Server::openConnections() const
{
    std::lock_guard<std::mutex> locker(m_shared->mutex);
    return m_shared->open;
}

} // namespace DiscoveryServer

#include "discoveryserver.moc"
