// The HTTP side of the reference classroom server: takes POSTs apart into recorded requests and
// writes replies (status, JSON body, the session cookie) to the connection, now or later.
#pragma once

#include "classroomserver.h"

#include <QtHttpServer/QAbstractHttpServer>
#include <QtCore/QPointer>

#include <functional>

class QTcpSocket;

namespace ClassroomServer {

// One reply to write.
struct HttpReply
{
    int status = 200;
    QByteArray body;
    bool close = false; // close the connection instead of replying
};

class RpcFront : public QAbstractHttpServer
{
public:
    // Called on the server's thread for every request with the request taken apart and the
    // connection to answer on (null once it has gone).
    using Handler = std::function<void(RecordedRequest&, QPointer<QTcpSocket>)>;

    RpcFront(Handler handler, QByteArray cookieName, QByteArray cookieValue);

    int connectionsSeen() const { return m_connections; }

    // Writes the reply now (nothing when the connection has gone).
    void send(const QPointer<QTcpSocket>& socket, const HttpReply& reply) const;

    // Reads the call from a request's contentType and body: a JSON body, or a multipart body
    // taken apart into its part names in order and its "rpc_data" and file parts.
    static void readBody(RecordedRequest& request);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Handler m_handler;
    QByteArray m_cookieName;
    QByteArray m_cookieValue;
    int m_connections = 0;
};

} // namespace ClassroomServer
