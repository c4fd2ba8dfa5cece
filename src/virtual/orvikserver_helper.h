#pragma once

#include "orvikprotocol.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QRecursiveMutex>
#include <QtCore/QString>

#include <memory>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

namespace Taviosystem {

class Log;

// How long the discovery client waits, in milliseconds. The defaults are the product's values;
// tests shorten them.
struct OrvikTimings
{
    int discoveryWait = 3000; // for an announcement datagram
    int connectWait = 1500; // for each candidate address
    int replyWait = 3000; // for each step of a reply
    int writeWait = 1500; // for a request's bytes to leave
    int retryInterval = 10000; // between two connection attempts
    // A reply that dribbles in is given up after this many reply waits in all.
    int replyWaitsInAll = 5;
};

// The virtual hub's client of the discovery server: finds the server by its UDP announcement
// (or the configured address), keeps one TCP connection, asks it for registration PINs and tells
// it when a registration session closes.
//
// Threads: every operation blocks on the caller's thread, which owns the socket while it is
// connected; a call from another thread drops the socket and connects again on its own. One
// recursive mutex covers the three operations, so concurrent callers take turns.
class orvikserver_helper : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultTcpPort = 8080;
    static constexpr int DefaultUdpPort = 8080;
    static constexpr int LogLevel = 2;

    // Reads the server's address and ports from the settings once, here.
    explicit orvikserver_helper(const OrvikTimings& timings = OrvikTimings(),
        const QString& logLibrary = QStringLiteral("taviolog"), QObject* parent = nullptr);
    ~orvikserver_helper() override;

    // An empty address and port 0 mean: listen for the server's announcement first, and use the
    // configured address when none comes. At most one attempt per retry interval.
    bool connectToServer(QString address, int port);
    // The PIN the server hands out for this hub, or false with `pin` empty.
    bool requestPin(QString hubDetails, QString& pin);
    // Tells the server that the registration session using its PIN has ended.
    void closeSession();
    bool isConnected();
    QString connectionText();

public Q_SLOTS:
    void on_disconnected();

private:
    bool isConnectedLocked() const;
    Orvik::Announcement discover();
    QList<QString> candidateAddresses(const QString& server);
    void releaseForeignSocket();
    // Drops a socket made on another thread; discards whatever the server sent unasked.
    void prepareForRequest();
    bool writeRequest(const QByteArray& request);
    QByteArray readReply();
    void dropConnection();
    void retireSocket();
    void log(const QString& text);

    const OrvikTimings m_timings;
    std::unique_ptr<Log> m_log;
    QRecursiveMutex m_mutex;
    bool m_connected = false;
    QString m_address;
    int m_tcpPort = DefaultTcpPort;
    int m_udpPort = DefaultUdpPort;
    QElapsedTimer m_lastAttempt; // invalid until the first attempt
    QString m_connectionText;
    QTcpSocket* m_socket = nullptr;
    // Sockets scheduled for deletion, freed here at the latest.
    QList<QPointer<QTcpSocket>> m_retired;
};

} // namespace Taviosystem
