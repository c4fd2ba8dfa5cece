// The state of the reference classroom server and its answers to every method. Made, used and
// deleted on the server's thread only.
#pragma once

#include "classroomserver.h"
#include "rpcfront.h"

#include <QtCore/QHash>
#include <QtCore/QPointer>
#include <QtCore/QSet>

class QTcpSocket;

namespace ClassroomServer {

class ServerCore
{
public:
    ServerCore();
    ~ServerCore();

    bool listen(quint16 port);
    void close();
    bool isListening() const { return m_front != nullptr; }
    quint16 port() const { return m_port; }

    // Identity, class and faults (the members of Server pass through to these).
    QString serverId;
    qint64 nextSerial = 1001;
    QStringList pinPool;
    bool pinAsNumber = false;
    QMap<QString, Fault> faults;
    int replyDelay = 0;
    bool requireCookie = false;
    QList<RecordedRequest> requests;
    QByteArray cookieName;
    QByteArray cookieValue;

    QStringList checkedOutPins() const { return m_checkedOut; }
    void setPinPool(const QStringList& pins);
    QList<Learner> learners() const;
    void setLearners(const QList<Learner>& learners);
    void setLearner(const Learner& learner);
    QString deviceName(quint32 deviceId) const;
    int connectionsAccepted() const
    {
        return m_connectionsBefore + (m_front ? m_front->connectionsSeen() : 0);
    }

    void queue(qint64 serial, const QVariant& entry);
    void queueSignal(
        qint64 serial, const QString& signal, const QString& sourceHash, const QVariant& value);
    void queueBad(qint64 serial, BadBeaconEntry kind, quint32 deviceId);
    void join(qint64 serial, quint32 deviceId);
    void answer(qint64 serial, quint32 deviceId, const QString& answer, int generation);
    void rename(qint64 serial, quint32 deviceId, const QString& name);
    void requestQuestion(qint64 serial, quint32 deviceId, int questionNumber);

    // What one request gets: the reply (none for a request never answered) and its delay.
    // Records the request and carries the call out (unless a fault replaces it).
    struct Answer
    {
        bool send = true;
        HttpReply reply;
        int delayMs = 0;
    };
    Answer respond(RecordedRequest& request);

    QList<HubSnapshot> hubs() const;
    HubSnapshot hub(qint64 serial) const;

private:
    struct HubState
    {
        HubSnapshot snapshot;
        QVariantList pending; // beacon entries not handed out yet
        int registrationGeneration = 0;
        int sessionGeneration = 0;
        QSet<quint32> askedThisSession; // devices that got a question in this session
    };
    struct LearnerState
    {
        Learner learner;
        QString name;
    };

    void handle(RecordedRequest& request, QPointer<QTcpSocket> socket);
    HttpReply faultReply(const Fault& fault) const;
    // Runs one call; fills result or error.
    void call(
        const QString& method, const QVariantMap& parameters, QVariant& result, QVariantMap& error);
    HubState& hubFor(qint64 serial);
    LearnerState* learner(quint32 deviceId);
    QVariantMap deviceInfo(quint32 deviceId) const;
    void startRegistration(HubState& hub);
    void startSession(HubState& hub);
    void scheduleFirstRequest(qint64 serial, quint32 deviceId, int generation, int delay);
    void questionArrived(HubState& hub, quint32 deviceId, const QVariantMap& question);
    void nameByLearner(qint64 serial, quint32 deviceId, int delay);
    int parameter(const HubState& hub, quint32 deviceId, const QString& name, int fallback) const;
    QString answerFor(const Learner& learner, const QVariantMap& question) const;
    static QString hubHash(qint64 serial);
    static QString deviceHash(quint32 deviceId);

    QObject* m_timers; // the context of every timer: deleting it cancels them
    RpcFront* m_front = nullptr;
    quint16 m_port = 0;
    int m_connectionsBefore = 0;
    int m_nextPin = 0;
    int m_sequence = 0;
    bool m_cookieSet = false; // a reply has set the cookie
    QStringList m_checkedOut;
    QMap<quint32, LearnerState> m_learners;
    QList<quint32> m_learnerOrder;
    QMap<qint64, HubState> m_hubs;
};

} // namespace ClassroomServer
