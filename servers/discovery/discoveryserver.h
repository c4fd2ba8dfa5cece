// The reference discovery server: announces itself on loopback and hands out registration PINs.
//
//   TCP on 127.0.0.1 (port 0: one the system chooses). Requests end with CR:
//     ":RP" details   a PIN for the hub these details describe: three of A-Z and 0-9, the same
//                     while that hub holds it; a zero-length reply when none is free
//     ":CS"           frees the PIN last issued on this connection; no reply
//   A reply is a 4-byte payload length (little-endian) and the payload.
//   UDP: "Orvik addr<127.0.0.1> port<P>" every interval, unicast to 127.0.0.1 only.
//
// Every request is recorded, and faults can be set for tests: silence, bad announcements, slow,
// dripped or replaced replies, unsolicited bytes, connections closed at once, stop and restart.
//
// Threads: the server runs on a thread of its own; every member may be called from any thread.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtNetwork/QHostAddress>

#include <memory>
#include <optional>

namespace DiscoveryServer {

struct ServerState;
class ServerWorker;

struct ReceivedRequest
{
    int connection = 0; // numbered from 1 in the order they were accepted
    QByteArray bytes; // without the CR
};

class Server
{
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on 127.0.0.1; blocks until it does (or failed). Port 0 picks a free port.
    bool start(quint16 port = 0);
    // Closes the listener and every connection; the PINs stay held.
    void stop();
    // Listens again on the port it had.
    bool restart();
    quint16 port() const;

    // Sends the announcement every intervalMs to target:udpPort. Refuses (false) any target but
    // 127.0.0.1: the server never broadcasts and never leaves this machine.
    bool announceTo(const QHostAddress& target, quint16 udpPort, int intervalMs);
    void stopAnnouncing();
    // Replaces the announcement's text (std::nullopt: the real one).
    void setAnnouncementText(const std::optional<QByteArray>& text);
    int announcementsSent() const;
    static QByteArray announcement(quint16 port);

    // The PINs handed out in turn (default: every three-character combination).
    void setPinPool(const QStringList& pins);
    // details -> PIN, for every PIN held now.
    QMap<QString, QString> heldPins() const;

    // Faults.
    void setSilent(bool silent); // requests are recorded and never answered
    void setReplyDelay(int ms); // a reply goes out this late
    void setDripInterval(int ms); // a reply goes out a byte at a time, this far apart (0: whole)
    // Every ":RP" is answered with exactly these bytes (std::nullopt: the real reply).
    void setRawReply(const std::optional<QByteArray>& bytes);
    void setCloseAfterAccept(bool close); // connections are closed as soon as they come
    void sendUnsolicited(const QByteArray& bytes); // to every open connection, now
    void dropConnections();

    QList<ReceivedRequest> requests() const;
    bool waitForRequests(int count, int timeoutMs) const;
    void clearRequests();
    int connectionsAccepted() const;
    int openConnections() const;

private:
    template <typename Work>
    void runOnServerThread(Work work);

    std::shared_ptr<ServerState> m_shared;
    std::unique_ptr<ServerWorker> m_worker;
    class Thread;
    std::unique_ptr<Thread> m_thread;
};

} // namespace DiscoveryServer
