#include "loopbackproxy.h"
#include "serverthread.h"

#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>

#include <algorithm>
#include <memory>
#include <vector>

namespace ClassroomServer {

struct Link;

// Lives on the proxy's thread, like every socket it owns.
class ProxyCore
{
public:
    ProxyCore()
        : m_timers(new QObject)
    {
    }

    ~ProxyCore()
    {
        closeListener();
        cutAll();
        delete m_timers;
    }

    bool listen(quint16 port)
    {
        closeListener();
        m_listener = new QTcpServer;
        QObject::connect(m_listener, &QTcpServer::newConnection, m_timers, [this] { accept(); });
        if (!m_listener->listen(QHostAddress(QHostAddress::LocalHost), port)) {
            closeListener();
            return false;
        }
        m_port = m_listener->serverPort();
        return true;
    }

    void closeListener()
    {
        delete m_listener;
        m_listener = nullptr;
    }

    void setRefusing(bool refusing)
    {
        m_refusing = refusing;
        updateListener();
    }

    void startOutage(int ms)
    {
        const int generation = ++m_outageGeneration;
        m_outage = true;
        updateListener();
        cutAll();
        if (ms > 0) {
            QTimer::singleShot(ms, m_timers, [this, generation] {
                if (generation == m_outageGeneration)
                    endOutage();
            });
        }
    }

    void endOutage()
    {
        ++m_outageGeneration;
        m_outage = false;
        updateListener();
    }

    void cutAll()
    {
        // Aborting a socket may run the disconnection handlers, which change the list.
        std::vector<std::shared_ptr<Link>> links(m_links.begin(), m_links.end());
        for (const auto& link : links)
            drop(link.get());
    }

    quint16 m_port = 0;
    quint16 m_targetPort = 0;
    bool m_refusing = false;
    bool m_outage = false;
    LoopbackProxy::Cut m_cut = LoopbackProxy::Cut::None;
    int m_cutAfterBytes = 0;
    int m_drip = 0;
    int m_accepted = 0;
    qint64 m_toServer = 0;
    qint64 m_toClient = 0;
    std::vector<std::shared_ptr<Link>> m_links;

private:
    void updateListener()
    {
        const bool wanted = !m_refusing && !m_outage;
        if (!wanted) {
            // Connections the system completed before now are open ones: take them first, so
            // that only later ones are refused.
            while (m_listener && m_listener->waitForNewConnection(0))
                accept();
            closeListener();
        } else if (!m_listener)
            listen(m_port);
    }

    void accept();
    void drop(Link* link);
    void fromServer(Link* link);
    void dripOne(Link* link);

    QTcpServer* m_listener = nullptr;
    QObject* m_timers; // the context of every connection and timer here
    int m_outageGeneration = 0;
};

struct Link
{
    QPointer<QTcpSocket> client;
    QPointer<QTcpSocket> server;
    QByteArray toServer; // held until the server connection is up
    QByteArray dripping; // reply bytes still to go out a byte at a time
    qint64 replyBytes = 0;
    bool serverGone = false;
    QTimer* dripTimer = nullptr;
};

void ProxyCore::accept()
{
    while (QTcpSocket* socket = m_listener ? m_listener->nextPendingConnection() : nullptr) {
        ++m_accepted;
        socket->setParent(nullptr);
        if (m_cut == LoopbackProxy::Cut::OnAccept) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto link = std::make_shared<Link>();
        Link* raw = link.get();
        link->client = socket;
        link->server = new QTcpSocket;
        m_links.push_back(link);
        QObject::connect(socket, &QTcpSocket::readyRead, m_timers, [this, raw] {
            const QByteArray bytes = raw->client->readAll();
            m_toServer += bytes.size();
            if (raw->server && raw->server->state() == QAbstractSocket::ConnectedState)
                raw->server->write(bytes);
            else
                raw->toServer += bytes;
        });
        QObject::connect(socket, &QTcpSocket::disconnected, m_timers, [this, raw] { drop(raw); });
        QObject::connect(link->server, &QTcpSocket::connected, m_timers, [raw] {
            raw->server->write(raw->toServer);
            raw->toServer.clear();
        });
        QObject::connect(
            link->server, &QTcpSocket::readyRead, m_timers, [this, raw] { fromServer(raw); });
        auto serverGone = [this, raw] {
            raw->serverGone = true;
            if (raw->dripping.isEmpty())
                drop(raw);
        };
        QObject::connect(link->server, &QTcpSocket::disconnected, m_timers, serverGone);
        QObject::connect(link->server, &QTcpSocket::errorOccurred, m_timers, serverGone);
        link->server->connectToHost(QHostAddress(QHostAddress::LocalHost), m_targetPort);
    }
}

void ProxyCore::fromServer(Link* link)
{
    QByteArray bytes = link->server->readAll();
    if (m_cut == LoopbackProxy::Cut::AfterRequest) {
        drop(link);
        return;
    }
    bool cutNow = false;
    if (m_cut == LoopbackProxy::Cut::MidReply
        && link->replyBytes + bytes.size() >= m_cutAfterBytes) {
        bytes = bytes.left(qMax<qint64>(0, m_cutAfterBytes - link->replyBytes));
        cutNow = true;
    }
    link->replyBytes += bytes.size();
    if (m_drip > 0) {
        link->dripping += bytes;
        if (!link->dripTimer) {
            link->dripTimer = new QTimer(m_timers);
            QObject::connect(
                link->dripTimer, &QTimer::timeout, m_timers, [this, link] { dripOne(link); });
            link->dripTimer->start(m_drip);
        }
        if (cutNow)
            link->serverGone = true; // drop once the dripped part is out
        return;
    }
    m_toClient += bytes.size();
    if (link->client)
        link->client->write(bytes);
    if (cutNow) {
        if (link->client)
            link->client->flush();
        drop(link);
    }
}

void ProxyCore::dripOne(Link* link)
{
    if (!link->dripping.isEmpty() && link->client) {
        link->client->write(link->dripping.left(1));
        link->client->flush();
        link->dripping.remove(0, 1);
        ++m_toClient;
    }
    if (link->dripping.isEmpty()) {
        if (link->serverGone) {
            drop(link);
            return;
        }
        delete link->dripTimer;
        link->dripTimer = nullptr;
    }
}

void ProxyCore::drop(Link* link)
{
    auto it = std::find_if(m_links.begin(), m_links.end(),
        [link](const std::shared_ptr<Link>& held) { return held.get() == link; });
    if (it == m_links.end())
        return;
    const std::shared_ptr<Link> keep = *it; // alive until this ends
    m_links.erase(it);
    delete keep->dripTimer;
    keep->dripTimer = nullptr;
    for (QTcpSocket* socket : { keep->client.data(), keep->server.data() }) {
        if (!socket)
            continue;
        QObject::disconnect(socket, nullptr, m_timers, nullptr);
        socket->abort();
        socket->deleteLater();
    }
}

LoopbackProxy::LoopbackProxy()
    : m_thread(std::make_unique<ServerThread>())
{
    m_thread->run([this] { m_core = std::make_unique<ProxyCore>(); });
}

LoopbackProxy::~LoopbackProxy()
{
    m_thread->run([this] { m_core.reset(); });
    m_thread.reset();
}

bool LoopbackProxy::start(quint16 targetPort, quint16 listenPort)
{
    bool ok = false;
    m_thread->run([&] {
        m_core->m_targetPort = targetPort;
        ok = m_core->listen(listenPort);
    });
    return ok;
}

quint16 LoopbackProxy::port() const
{
    return m_thread->get([&] { return m_core->m_port; });
}

QString LoopbackProxy::url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

void LoopbackProxy::setTargetPort(quint16 targetPort)
{
    m_thread->run([&] { m_core->m_targetPort = targetPort; });
}

void LoopbackProxy::setRefusing(bool refusing)
{
    m_thread->run([&] { m_core->setRefusing(refusing); });
}

bool LoopbackProxy::refusing() const
{
    return m_thread->get([&] { return m_core->m_refusing; });
}

void LoopbackProxy::startOutage(int ms)
{
    m_thread->run([&] { m_core->startOutage(ms); });
}

void LoopbackProxy::endOutage()
{
    m_thread->run([this] { m_core->endOutage(); });
}

bool LoopbackProxy::inOutage() const
{
    return m_thread->get([&] { return m_core->m_outage; });
}

void LoopbackProxy::setCut(Cut cut, int cutAfterBytes)
{
    m_thread->run([&] {
        m_core->m_cut = cut;
        m_core->m_cutAfterBytes = cutAfterBytes;
    });
}

void LoopbackProxy::cutConnections()
{
    m_thread->run([this] { m_core->cutAll(); });
}

void LoopbackProxy::setDripInterval(int ms)
{
    m_thread->run([&] { m_core->m_drip = ms; });
}

int LoopbackProxy::connectionsAccepted() const
{
    return m_thread->get([&] { return m_core->m_accepted; });
}

int LoopbackProxy::openConnections() const
{
    return m_thread->get([&] { return int(m_core->m_links.size()); });
}

qint64 LoopbackProxy::bytesToServer() const
{
    return m_thread->get([&] { return m_core->m_toServer; });
}

qint64 LoopbackProxy::bytesToClient() const
{
    return m_thread->get([&] { return m_core->m_toClient; });
}

} // namespace ClassroomServer
