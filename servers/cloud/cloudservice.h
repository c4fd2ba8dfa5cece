// The loopback cloud classroom service: the other side of the cloud client library, for tests
// and the demo.
//
//   HTTP on 127.0.0.1 (port 0: one the system chooses); JSON bodies; errors as
//   {"error": reason} with a 4xx status.
//     GET  /api/check?key=K          {"ok": true}
//     POST /api/login                {"user","password"} -> {"accessToken","userName"}
//     POST /api/login/token          {"user","token","deviceId"} -> the same
//     POST /api/login/saml           {"assertion"} (the user name) -> the same
//     POST /api/login/oauth          {"provider","code"} (code: the user name) -> the same +
//     "account" POST /api/logout POST /api/token {"user","password","deviceId","deviceName"} ->
//     {"accessToken"} POST /api/token/oauth          {"provider","code","deviceId","deviceName"} ->
//     the same + "account" POST /api/session/start        {"lessonId"} ->
//     {"classCode","sessionId","websocketUrl"} POST /api/session/stop GET  /api/session/learners
//     {"learners": [{"token","name"}, ...]} POST /api/resources?name=N     (raw bytes) ->
//     {"id","url"}
//   Calls after sign-in carry "Authorization: Bearer <accessToken>".
//   WebSocket at the session's websocketUrl (a port of its own, path /collab): JSON text frames
//   with a "type". To the presenter: learnerJoin {token,name}, learnerUnregister {token},
//   pollResponse {token,pollId,responseTime,response}, controllerRegister {registered}, inactivity
//   {ms}, remoteControl {from,messageType,data}, getQuestion {token,question}, collaboration {...},
//   sessionEnded. From the presenter: startPoll {pollId,pollType,ordinalType,optionCount,
//   maxAnswers[,image|imageUrl]}, stopPoll, pausePoll, resumePoll, removeLearner {token}, publish,
//   presenterActive, currentLesson, currentCard, showImageCard, assessmentStart {token,options},
//   assessmentStop, assessmentQuestion {token,question}, assessmentMessage
//   {token,text,popUp,final}.
//
// Every HTTP call and every presenter frame is recorded. Faults can be set for tests.
//
// Threads: the service runs on a thread of its own; every member may be called from any thread,
// but start and stop only while no other member runs.
// It shares no code with the client library.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>

#include <memory>

namespace CloudService {

struct ServiceState;
class ServiceWorker;

// One call to the service, as it arrived.
struct RecordedCall
{
    int sequence = 0; // numbered from 1 in arrival order
    QString channel; // "http" or "socket"
    QString method; // "GET"/"POST" for http; "frame" for socket
    QString path; // "/api/login" for http; the frame's "type" for socket
    QVariantMap body; // the JSON body or frame (empty when not JSON)
    QByteArray raw; // the body or frame as received
    QString user; // the signed-in account that made it, empty when none
};

// A learner known to the service.
struct LearnerState
{
    QString token;
    QString name;
    bool joined = false;
};

// An uploaded resource.
struct Resource
{
    QString id;
    QString name;
    QString url;
    QByteArray data;
};

class Service
{
public:
    Service();
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Listens on 127.0.0.1 on its own thread; blocks until it does (or failed).
    bool start(quint16 port = 0);
    // Closes the listener and every connection.
    void stop();
    quint16 port() const;
    // "http://127.0.0.1:<port>"
    QString url() const;

    // Accounts. Each account has a class code "TS" and three digits, kept across its sessions.
    void addAccount(const QString& user, const QString& password);
    QString classCode(const QString& user) const;
    // Replaces an account's class code (any text, such as a short one for tests).
    void setClassCode(const QString& user, const QString& code);
    // The account whose class session is running, empty when none.
    QString sessionUser() const;
    bool sessionRunning() const;
    bool presenterConnected() const;
    // Waits (bounded) until a presenter socket is open (or closed, for false).
    bool waitForPresenter(bool connected, int timeoutMs) const;

    // Learners. Seeded learners join only when told; a join or rejoin is reported to the
    // presenter at once (and listed by /api/session/learners).
    void addLearner(const QString& token, const QString& name);
    bool joinLearner(const QString& token);
    bool leaveLearner(const QString& token);
    QList<LearnerState> learners() const;

    // Answers of a learner to the running poll (sent whether or not a poll runs, with the last
    // poll's id). Multiple choice and sort: 0-based indexes, as "1, 3". True/false: "True" or
    // "False". Anything else: the text as given. Each returns false without a presenter socket.
    bool answerPoll(const QString& token, const QString& response, int responseTimeMs = 1000);
    bool answerPollIndexes(const QString& token, const QList<int>& indexes);
    bool answerPollTrueFalse(const QString& token, bool value);
    // Answers to an assessment question: an option's text, or maths put in the LaTeX span.
    bool answerAssessment(const QString& token, const QString& optionText);
    bool answerAssessmentMaths(const QString& token, const QString& latex);
    // The learner asks for question `number` of its assessment.
    bool requestQuestion(const QString& token, int number);
    // The last startPoll frame (empty before any) and whether a poll runs.
    QVariantMap currentPoll() const;
    bool pollRunning() const;

    // Faults.
    // Calls to `path` (empty: every path) are refused with `reason` (status 403).
    void refuseCalls(const QString& path, const QString& reason);
    void clearRefusals();
    // Calls to `path` (empty: every path) are answered `ms` late; the whole service waits.
    void slowCalls(const QString& path, int ms);
    // The next `count` calls to `path` (empty: every path; count -1: all of them, 0: none) get
    // their connection closed without a reply, as a network failure would. An HTTP client may
    // send a call again by itself after such a close: each attempt counts.
    void dropCalls(const QString& path, int count);
    // Drops the presenter's socket without a closing frame.
    void dropPresenterSocket();
    // The service ends the class session: a sessionEnded frame, then the socket closes.
    void endSession();
    // Sends these JSON members (a "type" among them, or not) as a frame to the presenter.
    bool sendRawEvent(const QVariantMap& frame);
    // Sends these exact bytes as a text frame (bad frames).
    bool sendRawFrame(const QByteArray& bytes);
    bool sendInactivity(qint64 ms);
    bool sendRemoteControl(const QString& from, const QString& type, const QVariant& data);
    bool sendControllerRegister(bool registered);
    bool sendCollaborationMessage(const QVariantMap& members);
    // A frame of a kind the client does not know.
    bool sendUnhandledMessage(const QString& type, const QVariant& data);
    // Learner joins and answers are reported to the presenter this late (0: at once).
    void setEventDelay(int ms);

    // Records.
    QList<RecordedCall> calls() const;
    QList<RecordedCall> callsTo(const QString& path) const;
    bool waitForCall(const QString& path, int count, int timeoutMs) const;
    void clearCalls();
    QList<Resource> resources() const;

private:
    template <typename Work>
    void runOnServiceThread(Work work);
    bool sendFrame(const QByteArray& bytes);

    std::shared_ptr<ServiceState> m_shared;
    std::unique_ptr<ServiceWorker> m_worker;
    class Thread;
    std::unique_ptr<Thread> m_thread;
};

} // namespace CloudService
