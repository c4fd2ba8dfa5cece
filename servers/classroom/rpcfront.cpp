#include "rpcfront.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QRegularExpression>
#include <QtHttpServer/QHttpServerRequest>
#include <QtNetwork/QTcpSocket>

namespace ClassroomServer {

namespace {
const char ConnectionProperty[] = "classroomServerConnection";

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    default:
        return "OTHER";
    }
}

// A header parameter such as boundary=... or name="..." (quoted or not).
QByteArray headerParameter(const QByteArray& header, const QByteArray& name)
{
    const QRegularExpression pattern(
        QStringLiteral("(?:^|[;\\s])%1=(\"([^\"]*)\"|[^;\\s]*)")
            .arg(QRegularExpression::escape(QString::fromLatin1(name))),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(header));
    if (!match.hasMatch())
        return QByteArray();
    if (match.capturedStart(2) >= 0)
        return match.captured(2).toLatin1();
    return match.captured(1).toLatin1();
}

void readCall(const QByteArray& json, RecordedRequest& request)
{
    request.json = json;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    request.validJson = error.error == QJsonParseError::NoError && document.isObject();
    if (!request.validJson)
        return;
    const QVariantMap call = document.object().toVariantMap();
    request.method = call.value(QStringLiteral("method")).toString();
    request.parameters = call.value(QStringLiteral("parameters")).toMap();
}
} // namespace

RpcFront::RpcFront(Handler handler, QByteArray cookieName, QByteArray cookieValue)
    : m_handler(std::move(handler))
    , m_cookieName(std::move(cookieName))
    , m_cookieValue(std::move(cookieValue))
{
}

bool RpcFront::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (!socket->property(ConnectionProperty).isValid())
        socket->setProperty(ConnectionProperty, ++m_connections);

    RecordedRequest recorded;
    recorded.connection = socket->property(ConnectionProperty).toInt();
    recorded.httpMethod = methodName(request.method());
    recorded.path = request.url().path();
    recorded.contentType = request.value("content-type");
    recorded.body = request.body();
    recorded.cookie = request.value("cookie");
    const QByteArray expected = m_cookieName + '=' + m_cookieValue;
    for (const QByteArray& cookie : recorded.cookie.split(';'))
        recorded.hasSessionCookie = recorded.hasSessionCookie || cookie.trimmed() == expected;
    readBody(recorded);
    m_handler(recorded, QPointer<QTcpSocket>(socket));
    return true;
}

void RpcFront::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    send(QPointer<QTcpSocket>(socket), { 404, QByteArray("{}"), false });
}

void RpcFront::send(const QPointer<QTcpSocket>& socket, const HttpReply& reply) const
{
    if (!socket)
        return;
    if (reply.close) {
        socket->abort();
        return;
    }
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(reply.status) + ' '
        + reasonPhrase(reply.status) + "\r\n";
    bytes += "Content-Type: application/json\r\n";
    bytes += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    bytes += "Set-Cookie: " + m_cookieName + '=' + m_cookieValue + "; Path=/\r\n";
    bytes += "Connection: keep-alive\r\n\r\n";
    bytes += reply.body;
    socket->write(bytes);
}

void RpcFront::readBody(RecordedRequest& request)
{
    request.upload = request.contentType.toLower().startsWith("multipart/");
    if (!request.upload) {
        readCall(request.body, request);
        return;
    }
    const QByteArray boundary = headerParameter(request.contentType, "boundary");
    if (boundary.isEmpty())
        return;
    const QByteArray delimiter = "--" + boundary;
    const QByteArray& body = request.body;
    qsizetype start = body.indexOf(delimiter);
    while (start >= 0) {
        start += delimiter.size();
        if (body.mid(start, 2) == "--")
            break; // the closing delimiter
        const qsizetype headersStart = body.indexOf("\r\n", start);
        if (headersStart < 0)
            break;
        const qsizetype headersEnd = body.indexOf("\r\n\r\n", headersStart);
        if (headersEnd < 0)
            break;
        const qsizetype next = body.indexOf("\r\n" + delimiter, headersEnd + 4);
        if (next < 0)
            break;
        const QByteArray headers = body.mid(headersStart + 2, headersEnd - headersStart - 2);
        const QByteArray content = body.mid(headersEnd + 4, next - headersEnd - 4);
        QByteArray disposition;
        QByteArray partType;
        for (const QByteArray& line : headers.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (name == "content-disposition")
                disposition = line.mid(colon + 1).trimmed();
            else if (name == "content-type")
                partType = line.mid(colon + 1).trimmed();
        }
        const QByteArray name = headerParameter(disposition, "name");
        request.partNames.append(name);
        if (name == "rpc_data") {
            readCall(content, request);
        } else {
            request.fileName = headerParameter(disposition, "filename");
            request.fileContentType = partType;
            request.fileContents = content;
        }
        start = next + 2;
    }
}

} // namespace ClassroomServer
