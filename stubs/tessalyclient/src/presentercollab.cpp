#include "tessaly/presentercollab.h"
#include "tessaly/collabframe.h"

#include <QtCore/QEventLoop>
#include <QtCore/QJsonDocument>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtWebSockets/QWebSocket>

class PresenterCollabPrivate
{
public:
    explicit PresenterCollabPrivate(PresenterCollab* collab)
        : q(collab)
    {
    }

    // Runs on the owner's thread for every frame from the service.
    void frameReceived(const QByteArray& bytes);
    void disconnected();
    bool send(const QString& type, QVariantMap message);
    void addImage(QVariantMap& message) const;

    PresenterCollab* q;
    QWebSocket* socket = nullptr;
    int maxFrameSize = PresenterCollab::DefaultMaxFrameSize;
    bool open = false;
    bool closing = false; // close() was called: no connectionClosed for our own close
    bool reported = false; // connectionClosed was emitted once
    bool sessionEnded = false;
    int pollCount = 0;
    QString pollId;
};

void PresenterCollabPrivate::frameReceived(const QByteArray& bytes)
{
    const Tessaly::CollabFrame frame = Tessaly::decodeCollabFrame(bytes, maxFrameSize);
    switch (frame.kind) {
    case Tessaly::CollabFrame::Malformed:
        return; // dropped
    case Tessaly::CollabFrame::Oversize:
        socket->close(QWebSocketProtocol::CloseCodeTooMuchData);
        return;
    case Tessaly::CollabFrame::LearnerJoin:
        emit q->learnerJoin(frame.learner);
        return;
    case Tessaly::CollabFrame::LearnerUnregister:
        emit q->learnerUnregister(frame.token);
        return;
    case Tessaly::CollabFrame::PollResponse:
        emit q->learnerPollResponse(frame.token, frame.pollId, frame.responseTime, frame.response);
        return;
    case Tessaly::CollabFrame::ControllerRegister:
        emit q->controllerRegister(frame.flag);
        return;
    case Tessaly::CollabFrame::Inactivity:
        emit q->inactivityTimeMs(frame.ms);
        return;
    case Tessaly::CollabFrame::RemoteControl:
        emit q->remoteControl(frame.remote);
        return;
    case Tessaly::CollabFrame::GetQuestion:
        emit q->learnerGetQuestion(frame.token, frame.number);
        return;
    case Tessaly::CollabFrame::Collaboration:
        emit q->collaborationMessage(frame.json, frame.data);
        return;
    case Tessaly::CollabFrame::SessionEnded:
        sessionEnded = true;
        return;
    case Tessaly::CollabFrame::Unhandled:
        emit q->unhandledMessage(frame.json, frame.data);
        return;
    }
}

void PresenterCollabPrivate::disconnected()
{
    const bool wasOpen = open;
    open = false;
    if (wasOpen && !closing && !reported) {
        reported = true;
        emit q->connectionClosed();
    }
}

bool PresenterCollabPrivate::send(const QString& type, QVariantMap message)
{
    if (!open)
        return false;
    message.insert(QStringLiteral("type"), type);
    const QString text
        = QString::fromUtf8(QJsonDocument::fromVariant(message).toJson(QJsonDocument::Compact));
    const bool sent = socket->sendTextMessage(text) == text.toUtf8().size();
    // Hand the frame to the network now: the caller may block before its event loop runs.
    socket->flush();
    return sent;
}

void PresenterCollabPrivate::addImage(QVariantMap& message) const
{
    if (!q->imageUrl.isEmpty())
        message.insert(QStringLiteral("imageUrl"), q->imageUrl);
    else if (!q->imageData.isEmpty())
        message.insert(QStringLiteral("image"), QString::fromLatin1(q->imageData.toBase64()));
}

PresenterCollab::PresenterCollab(QObject* parent)
    : QObject(parent)
    , d(new PresenterCollabPrivate(this))
{
    qRegisterMetaType<Tessaly::Learner>();
    qRegisterMetaType<RemoteControlMessage>();
    d->socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    d->socket->setMaxAllowedIncomingMessageSize(quint64(d->maxFrameSize));
    d->socket->setMaxAllowedIncomingFrameSize(quint64(d->maxFrameSize));
    connect(d->socket, &QWebSocket::textMessageReceived, this,
        [this](const QString& text) { d->frameReceived(text.toUtf8()); });
    connect(d->socket, &QWebSocket::binaryMessageReceived, this,
        [this](const QByteArray& bytes) { d->frameReceived(bytes); });
    connect(d->socket, &QWebSocket::disconnected, this, [this] { d->disconnected(); });
}

PresenterCollab::~PresenterCollab()
{
    d->closing = true;
    d->socket->disconnect(this);
    d->socket->abort();
}

bool PresenterCollab::open(const QUrl& url, int nTimeoutMs)
{
    if (d->open || d->closing)
        return d->open;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(d->socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
    connect(d->socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(qMax(1, nTimeoutMs));
    d->socket->open(url);
    if (d->socket->state() != QAbstractSocket::ConnectedState
        && d->socket->state() != QAbstractSocket::UnconnectedState)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (d->socket->state() != QAbstractSocket::ConnectedState) {
        d->closing = true;
        d->socket->abort();
        return false;
    }
    d->open = true;
    return true;
}

void PresenterCollab::close()
{
    d->closing = true;
    if (d->socket->state() != QAbstractSocket::UnconnectedState)
        d->socket->close();
    d->open = false;
}

bool PresenterCollab::isConnected() const { return d->open; }
bool PresenterCollab::sessionEndedByService() const { return d->sessionEnded; }
int PresenterCollab::maxFrameSize() const { return d->maxFrameSize; }

void PresenterCollab::setMaxFrameSize(int nBytes)
{
    d->maxFrameSize = qMax(1, nBytes);
    d->socket->setMaxAllowedIncomingMessageSize(quint64(d->maxFrameSize));
    d->socket->setMaxAllowedIncomingFrameSize(quint64(d->maxFrameSize));
}

bool PresenterCollab::startPoll(Tessaly::PollType::POLL_TYPE pollType,
    Tessaly::OrdinalType::ORDINAL_TYPE ordinalType, int optionCount, int maxAnswers)
{
    const QString id = QStringLiteral("poll-%1").arg(++d->pollCount);
    QVariantMap message { { QStringLiteral("pollId"), id },
        { QStringLiteral("pollType"), int(pollType) },
        { QStringLiteral("ordinalType"), int(ordinalType) },
        { QStringLiteral("optionCount"), optionCount },
        { QStringLiteral("maxAnswers"), maxAnswers } };
    d->addImage(message);
    if (!d->send(QStringLiteral("startPoll"), message))
        return false;
    d->pollId = id;
    return true;
}

bool PresenterCollab::stopPoll() { return d->send(QStringLiteral("stopPoll"), {}); }
bool PresenterCollab::pausePoll() { return d->send(QStringLiteral("pausePoll"), {}); }
bool PresenterCollab::resumePoll() { return d->send(QStringLiteral("resumePoll"), {}); }
QString PresenterCollab::currentPollId() const { return d->pollId; }

bool PresenterCollab::removeLearner(const QString& token)
{
    return d->send(QStringLiteral("removeLearner"), { { QStringLiteral("token"), token } });
}

bool PresenterCollab::publishMessage(
    const QString& type, const QString& target, const QString& data)
{
    return d->send(QStringLiteral("publish"),
        { { QStringLiteral("messageType"), type }, { QStringLiteral("target"), target },
            { QStringLiteral("data"), data } });
}

bool PresenterCollab::sendPresenterIsActiveToRemote()
{
    return d->send(QStringLiteral("presenterActive"), {});
}

bool PresenterCollab::sendCurrentLessonToRemote(const QString& lessonId, const QString& name)
{
    return d->send(QStringLiteral("currentLesson"),
        { { QStringLiteral("lessonId"), lessonId }, { QStringLiteral("name"), name } });
}

bool PresenterCollab::sendCurrentCardToRemote(int current, int total)
{
    return d->send(QStringLiteral("currentCard"),
        { { QStringLiteral("current"), current }, { QStringLiteral("total"), total } });
}

bool PresenterCollab::showImageCard(bool show)
{
    QVariantMap message { { QStringLiteral("show"), show } };
    d->addImage(message);
    return d->send(QStringLiteral("showImageCard"), message);
}

bool PresenterCollab::sendJson(const QVariantMap& message)
{
    const QString type = message.value(QStringLiteral("type")).toString();
    if (type.isEmpty())
        return false;
    return d->send(type, message);
}
