#include "orvikserver_helper.h"

#include "system/log.h"

#include <QtCore/QMutexLocker>
#include <QtCore/QSettings>
#include <QtCore/QThread>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QHostInfo>
#include <QtNetwork/QTcpSocket>
#include <QtNetwork/QUdpSocket>

namespace Taviosystem {

namespace {
const char* const SettingsOrganisation = "Corvellan";
const char* const SettingsApplication = "orvikserver";
const char* const SettingsGroup = "Server";
const char* const Key_Address = "address";
const char* const Key_TcpPort = "use_tcp_port";
const char* const Key_UdpPort = "use_udp_port";
const char* const DefaultServerHost = "orvikserver";
// Bytes a server may have sent unasked are read away in at most this many rounds.
const int DiscardRounds = 16;
} // namespace

orvikserver_helper::orvikserver_helper(
    const OrvikTimings& timings, const QString& logLibrary, QObject* parent)
    : QObject(parent)
    , m_timings(timings)
    , m_log(std::make_unique<Log>(LogLevel, logLibrary))
{
    QSettings settings(QSettings::IniFormat, QSettings::SystemScope,
        QLatin1String(SettingsOrganisation), QLatin1String(SettingsApplication));
    settings.beginGroup(QLatin1String(SettingsGroup));
    m_address
        = settings.value(QLatin1String(Key_Address), QLatin1String(DefaultServerHost)).toString();
    m_tcpPort = settings.value(QLatin1String(Key_TcpPort), DefaultTcpPort).toInt();
    m_udpPort = settings.value(QLatin1String(Key_UdpPort), DefaultUdpPort).toInt();
}

orvikserver_helper::~orvikserver_helper()
{
    retireSocket();
    for (const QPointer<QTcpSocket>& socket : std::as_const(m_retired)) {
        if (!socket)
            continue;
        QThread* owner = socket->thread();
        if (!owner || owner == QThread::currentThread() || !owner->isRunning())
            delete socket.data();
        else
            socket->deleteLater();
    }
}

void orvikserver_helper::log(const QString& text) { m_log->logText(text, LogLevel); }

bool orvikserver_helper::isConnectedLocked() const
{
    return m_connected && m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool orvikserver_helper::isConnected()
{
    QMutexLocker locker(&m_mutex);
    releaseForeignSocket();
    return isConnectedLocked();
}

QString orvikserver_helper::connectionText()
{
    QMutexLocker locker(&m_mutex);
    return m_connectionText;
}

// Runs on the socket's thread (a direct connection), mostly from inside this client's own waits.
void orvikserver_helper::on_disconnected()
{
    QMutexLocker locker(&m_mutex);
    if (sender() && sender() != m_socket)
        return;
    retireSocket();
}

void orvikserver_helper::retireSocket()
{
    m_connected = false;
    m_connectionText.clear();
    if (!m_socket)
        return;
    QObject::disconnect(m_socket, nullptr, this, nullptr);
    m_socket->deleteLater();
    m_retired.removeAll(QPointer<QTcpSocket>());
    m_retired.append(m_socket);
    m_socket = nullptr;
}

void orvikserver_helper::dropConnection()
{
    if (m_socket)
        m_socket->abort();
    retireSocket();
}

bool orvikserver_helper::connectToServer(QString address, int port)
{
    QMutexLocker locker(&m_mutex);
    releaseForeignSocket();
    if (isConnectedLocked()) {
        log(QStringLiteral("Orvik: Already connected.\n"));
        return true;
    }
    if (m_lastAttempt.isValid() && m_lastAttempt.elapsed() < m_timings.retryInterval) {
        log(QStringLiteral("Orvik: too early.\n"));
        return false;
    }
    if (!address.isEmpty())
        m_address = address;
    if (port > 0)
        m_tcpPort = port;
    m_lastAttempt.start();
    retireSocket();

    // An announcement steers this attempt only; the next one listens again.
    QString server = m_address;
    int serverPort = m_tcpPort;
    if (address.isEmpty()) {
        const Orvik::Announcement announcement = discover();
        if (announcement.valid) {
            server = announcement.address;
            serverPort = announcement.port;
        }
    }

    auto* socket = new QTcpSocket;
    m_socket = socket;
    for (const QString& candidate : candidateAddresses(server)) {
        socket->connectToHost(
            candidate, quint16(qBound(0, serverPort, Orvik::MaximumPort)), QIODevice::ReadWrite);
        if (socket->waitForConnected(m_timings.connectWait)) {
            log(QStringLiteral("Orvik: connected %1\n").arg(candidate));
            connect(socket, &QTcpSocket::disconnected, this, &orvikserver_helper::on_disconnected,
                Qt::DirectConnection);
            m_connectionText = QStringLiteral("%1:%2").arg(candidate).arg(serverPort);
            m_connected = true;
            return true;
        }
        log(QStringLiteral("Orvik: not connected %1\n").arg(candidate));
        socket->abort();
    }
    log(QStringLiteral("Orvik: not found\n"));
    retireSocket();
    return false;
}

// Listens on the UDP port for the server's announcement; the first datagram decides.
Orvik::Announcement orvikserver_helper::discover()
{
    QUdpSocket listener;
    const bool portValid = m_udpPort >= 0 && m_udpPort <= Orvik::MaximumPort;
    if (!portValid
        || !listener.bind(QHostAddress(QHostAddress::AnyIPv4), quint16(m_udpPort),
            QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        log(QStringLiteral("Orvik: ERROR: could not bind boadcast socket\n"));
        return {};
    }
    if (!listener.hasPendingDatagrams() && !listener.waitForReadyRead(m_timings.discoveryWait)) {
        log(QStringLiteral("Orvik: broadcaster did not receive anything\n"));
        return {};
    }
    QByteArray datagram(Orvik::MaximumAnnouncementSize, Qt::Uninitialized);
    const qint64 size = listener.readDatagram(datagram.data(), datagram.size());
    datagram.truncate(int(qMax<qint64>(size, 0)));
    const Orvik::Announcement announcement = Orvik::parseAnnouncement(datagram);
    if (!announcement.valid)
        log(QStringLiteral("Orvik: Orvik Data found, but incorrect:")
            + QString::fromLatin1(datagram));
    return announcement;
}

// The server's IPv4 addresses: an address literal as it is, a host name as the resolver gives it.
QList<QString> orvikserver_helper::candidateAddresses(const QString& server)
{
    log(QStringLiteral("Orvik: [%1] addresses follow:\n").arg(server));
    QList<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(server))
        addresses.append(literal);
    else if (!server.isEmpty())
        addresses = QHostInfo::fromName(server).addresses();
    QList<QString> candidates;
    for (const QHostAddress& address : std::as_const(addresses)) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            candidates.append(address.toString());
    }
    return candidates;
}

// A socket belongs to the thread that made it: a caller on another thread connects anew.
void orvikserver_helper::releaseForeignSocket()
{
    if (m_socket && m_socket->thread() != QThread::currentThread())
        retireSocket();
}

void orvikserver_helper::prepareForRequest()
{
    releaseForeignSocket();
    // Reading also notices a server that has gone: the disconnect is handled on the way.
    for (int round = 0; round < DiscardRounds && isConnectedLocked(); ++round) {
        if (m_socket->bytesAvailable() > 0)
            m_socket->readAll();
        else if (!m_socket->waitForReadyRead(0))
            break;
    }
}

bool orvikserver_helper::writeRequest(const QByteArray& request)
{
    QPointer<QTcpSocket> socket = m_socket;
    const qint64 accepted = socket->write(request);
    QElapsedTimer clock;
    clock.start();
    while (socket && socket->state() == QAbstractSocket::ConnectedState
        && socket->bytesToWrite() > 0 && clock.elapsed() < m_timings.writeWait) {
        if (!socket->waitForBytesWritten(int(m_timings.writeWait - clock.elapsed())))
            break;
    }
    if (accepted == request.size() && socket && socket->state() == QAbstractSocket::ConnectedState
        && socket->bytesToWrite() == 0)
        return true;
    log(QStringLiteral("[lrs:write] Partial write\n"));
    dropConnection();
    return false;
}

// Anything short of a whole reply loses the stream: the connection is dropped, so that what the
// server sends late can never pass for the answer to a later request.
QByteArray orvikserver_helper::readReply()
{
    QPointer<QTcpSocket> socket = m_socket;
    Orvik::ReplyDecoder decoder;
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = qint64(m_timings.replyWait) * m_timings.replyWaitsInAll;
    bool sawData = false;
    while (socket && decoder.bytesWanted() > 0 && clock.elapsed() < limit) {
        if (socket->bytesAvailable() == 0 && !socket->waitForReadyRead(m_timings.replyWait))
            break;
        while (socket && socket->bytesAvailable() > 0 && decoder.bytesWanted() > 0) {
            const QByteArray chunk
                = socket->read(qMin<qint64>(socket->bytesAvailable(), decoder.bytesWanted()));
            sawData = sawData || !chunk.isEmpty();
            decoder.feed(chunk.constData(), int(chunk.size()));
        }
    }
    switch (decoder.state()) {
    case Orvik::ReplyDecoder::State_Complete:
        return decoder.payload();
    case Orvik::ReplyDecoder::State_Oversize:
        log(QStringLiteral("Orvik: reply of %1 bytes refused\n").arg(decoder.declaredLength()));
        break;
    default:
        if (!sawData)
            log(QStringLiteral("Orvik: Read from Orvik server: no data after 3 secs\n"));
        break;
    }
    dropConnection();
    return QByteArray();
}

bool orvikserver_helper::requestPin(QString hubDetails, QString& pin)
{
    pin.clear();
    QMutexLocker locker(&m_mutex);
    prepareForRequest();
    if (!isConnectedLocked() && !connectToServer(QString(), 0))
        return false;
    if (!writeRequest(Orvik::pinRequest(hubDetails)))
        return false;
    const QByteArray reply = readReply();
    if (Orvik::isPin(reply))
        pin = QString::fromLatin1(reply);
    return !pin.isEmpty();
}

void orvikserver_helper::closeSession()
{
    QMutexLocker locker(&m_mutex);
    prepareForRequest();
    if (!isConnectedLocked() && !connectToServer(QString(), 0))
        return;
    writeRequest(Orvik::closeSessionRequest());
}

} // namespace Taviosystem
