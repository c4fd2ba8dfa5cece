// The reference classroom server's side of a request: the body read as JSON or as a multipart
// upload, then the call carried out by the server with a small class. Input: the content type,
// a line feed, the body. Every reply that is not a fault's must be a JSON object with exactly
// one of "result" and "error".

#include <classroomserver.h>
#include <rpcfront.h>
#include <servercore.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <cstdlib>

using namespace ClassroomServer;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Timers the learners start need an application; they never run here.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype newline = input.indexOf('\n');
    RecordedRequest request;
    request.contentType = newline < 0 ? QByteArray("application/json") : input.left(newline);
    request.body = newline < 0 ? input : input.mid(newline + 1);
    RpcFront::readBody(request);

    ServerCore::Answer answer;
    {
        ServerCore core;
        core.setLearners(Server::defaultClass(3));
        answer = core.respond(request);
    }
    // The learners' timers went with the server; their objects are deleted as posted.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!answer.send || answer.reply.close)
        std::abort(); // no fault was set
    const QJsonDocument reply = QJsonDocument::fromJson(answer.reply.body);
    if (!reply.isObject())
        std::abort();
    const QJsonObject object = reply.object();
    if (object.contains(QStringLiteral("result")) == object.contains(QStringLiteral("error")))
        std::abort();
    return 0;
}
