// A small blocking HTTP/1.1 client for the reference server's tests: one keep-alive connection,
// requests written by hand so that the tests see the bytes the server really sends.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonDocument>
#include <QtCore/QMap>
#include <QtCore/QVariant>
#include <QtNetwork/QTcpSocket>

#include <memory>

namespace ClassroomServerTest {

struct HttpResult
{
    bool complete = false; // a whole reply came
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // lower-case names
    QByteArray body;
    int reads = 0; // how many pieces the reply came in

    QVariantMap json() const { return QJsonDocument::fromJson(body).toVariant().toMap(); }
};

class HttpClient
{
public:
    bool connectTo(quint16 port, int timeoutMs = 3000)
    {
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->connectToHost(QStringLiteral("127.0.0.1"), port);
        return m_socket->waitForConnected(timeoutMs);
    }

    bool isConnected() const
    {
        return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    }

    // Waits (at most timeoutMs) for the server to close the connection.
    bool waitForClose(int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (isConnected() && timer.elapsed() < timeoutMs)
            m_socket->waitForReadyRead(20);
        return !isConnected();
    }

    QTcpSocket* socket() const { return m_socket.get(); }

    HttpResult post(const QByteArray& body, const QByteArray& cookie = QByteArray(),
        const QByteArray& contentType = "application/json", int timeoutMs = 5000)
    {
        QByteArray request = "POST /rpc/1.0/json HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        request += "Content-Type: " + contentType + "\r\n";
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        if (!cookie.isEmpty())
            request += "Cookie: " + cookie + "\r\n";
        request += "\r\n" + body;
        m_socket->write(request);
        m_socket->flush();
        return read(timeoutMs);
    }

    HttpResult read(int timeoutMs)
    {
        HttpResult result;
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        qsizetype headerEnd = -1;
        qint64 length = -1;
        while (timer.elapsed() < timeoutMs) {
            if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(50)) {
                if (m_socket->state() != QAbstractSocket::ConnectedState)
                    break;
                continue;
            }
            bytes += m_socket->readAll();
            ++result.reads;
            if (headerEnd < 0 && (headerEnd = bytes.indexOf("\r\n\r\n")) >= 0) {
                const QList<QByteArray> lines = bytes.left(headerEnd).split('\n');
                const QList<QByteArray> status = lines.value(0).split(' ');
                result.status = status.value(1).toInt();
                for (const QByteArray& line : lines.mid(1)) {
                    const qsizetype colon = line.indexOf(':');
                    if (colon > 0)
                        result.headers.insert(
                            line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
                }
                length = result.headers.value("content-length").toLongLong();
            }
            if (headerEnd >= 0 && bytes.size() - headerEnd - 4 >= length) {
                result.body = bytes.mid(headerEnd + 4, length);
                result.complete = true;
                break;
            }
        }
        return result;
    }

private:
    std::unique_ptr<QTcpSocket> m_socket;
};

inline QByteArray call(const QString& method, const QVariantMap& parameters)
{
    return QJsonDocument::fromVariant(QVariantMap { { QStringLiteral("method"), method },
                                          { QStringLiteral("parameters"), parameters } })
        .toJson(QJsonDocument::Compact);
}

inline QString hubMethod(const char* name)
{
    return QStringLiteral("entities/rondel_hub/") + QLatin1String(name);
}

} // namespace ClassroomServerTest
