// A loopback TCP proxy to put in front of the reference classroom server (or any loopback
// server) to make network trouble on demand.
//
// Usage:
//
//   ClassroomServer::Server server;  server.start();
//   ClassroomServer::LoopbackProxy proxy;
//   proxy.start(server.port());            // 127.0.0.1, a port the system chooses
//   hubUrl = proxy.url();                  // the hub talks to the proxy
//   proxy.startOutage(4000);               // refused and cut for 4 s, then back by itself
//   proxy.setDripInterval(20);             // replies come a byte at a time, 20 ms apart
//   proxy.setCut(LoopbackProxy::Cut::AfterRequest);  // requests reach the server, replies never
//
// Threads: runs on a thread of its own; every member may be called from any thread.
#pragma once

#include <QtCore/QString>

#include <memory>

namespace ClassroomServer {

class ProxyCore;
class ServerThread;

class LoopbackProxy
{
public:
    enum class Cut {
        None,
        OnAccept, // every new connection is closed at once
        AfterRequest, // the request is passed on; the connection is closed when the reply starts
        MidReply, // the reply is cut after cutAfterBytes bytes
    };

    LoopbackProxy();
    ~LoopbackProxy();
    LoopbackProxy(const LoopbackProxy&) = delete;
    LoopbackProxy& operator=(const LoopbackProxy&) = delete;

    // Listens on 127.0.0.1:listenPort (0: one the system chooses) and passes every connection
    // on to 127.0.0.1:targetPort. Blocks until it listens (or failed).
    bool start(quint16 targetPort, quint16 listenPort = 0);
    quint16 port() const;
    QString url() const; // "http://127.0.0.1:<port>"
    void setTargetPort(quint16 targetPort); // later connections go there

    // Refusing: the listener is closed (connections are refused) until setRefusing(false);
    // connections already open stay.
    void setRefusing(bool refusing);
    bool refusing() const;
    // An outage: refuses and drops every open connection (keep-alive ones too) now; after ms
    // (0: only at endOutage) it listens again on the same port.
    void startOutage(int ms);
    void endOutage();
    bool inOutage() const;

    // Cuts: how later connections are cut; cutConnections() closes every open one now.
    void setCut(Cut cut, int cutAfterBytes = 0);
    void cutConnections();
    // Replies are passed on a byte at a time, this many ms apart (0: as they come).
    void setDripInterval(int ms);

    int connectionsAccepted() const;
    int openConnections() const;
    qint64 bytesToServer() const;
    qint64 bytesToClient() const;

private:
    std::unique_ptr<ProxyCore> m_core;
    std::unique_ptr<ServerThread> m_thread;
};

} // namespace ClassroomServer
