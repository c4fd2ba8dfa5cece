// The reference classroom server: the other side of the classroom-server hub's HTTP remote calls.
//
// Usage (tests and the demo):
//
//   ClassroomServer::Server server;
//   server.setLearners(ClassroomServer::Server::defaultClass(6));
//   server.start();                               // 127.0.0.1, a port the system chooses
//   QString url = server.url();                   // "http://127.0.0.1:<port>", the hub's base URL
//   ... drive the hub ...
//   server.waitForRequests("entities/rondel_hub/sendQuestion", 6, 5000);
//   for (const auto& r : server.requests()) ...   // method, parameters, body, cookie
//   server.setFault("entities/rondel_hub/checkOutPin", Fault::errorReply());
//
// Wire: POST <url>/rpc/1.0/json with a JSON object {"method": path, "parameters": {...}} (every
// call carries "parameters"/"id", the hub's serial, 0 until it is known); an upload is a
// multipart body whose part "rpc_data" is that JSON and whose part "File" is a file. The reply is
// {"result": value} or, for a refused call, {"error": {"type": ..., "code": ..., "message": ...}}.
// The beacon "entities/beacon/get" with "hash" "Rondel.Hub.<serial>" hands out the events queued
// for that hub since the last poll, each once, as a list of {"SourceHash", "Signal", "Value"}.
// Every reply sets the cookie cookieName()=cookieValue(); requests() shows what came back.
//
// Learners: a seeded class. While a hub runs a registration session with a PIN it checked out,
// every learner not yet on that hub joins after its joinDelayMs ("DeviceRegistered", Value = its
// device ID). An end-user naming request ("changeDeviceNameLimited") makes a learner with a
// chosenName take it after nameDelayMs ("NameChangeSignal"). A question ("sendQuestion") is
// answered after answerDelayMs ("DeviceResponse", then "getQuestionResponse" returns it) unless
// the learner is silent. After "startSessionAllDevices" a learner that got no question within its
// requestDelayMs asks for one ("QuestionRequest", Value = the starting question number) and after
// each answer asks for the next until the test's TotalQuestions are done (self-paced tests).
// Device events carry SourceHash "Rondel.Device.<deviceId>"; hub events "Rondel.Hub.<serial>".
// "endSessionAllDevices" and "resetHub" cancel answers and requests still to come.
//
// Results: "getServerID" the ID text; "generateSerialNumber" the next serial (a number);
// "checkOutPin" a free PIN of the pool (text, or a number with setPinAsNumber); "getDeviceList" a
// list of DeviceInfo maps ("DeviceID", "Name", "Product", "Version", "Online", "Subscribed") of
// the hub's devices; "getDeviceInfo" one such map; "getQuestionResponse" the device's last
// QuestionResponse ("QuestionID" = the question's number, "Answer", "AnswerType",
// "AnswerTypeString", "MathFormat", "SecondsTaken", "StartSecondsOffset"); "releasePin" whether the
// PIN was out; every other method true. Error replies: no free PIN, a registration PIN not
// checked out, an unknown device (device methods), a device not on the hub ("removeDevice"), no
// answer yet ("getQuestionResponse"), a beacon hash not of the form above, an unknown method;
// a body that is not a JSON object gets HTTP 400 with an "error" member. "changeDeviceName" sets
// the name without an event.
//
// Threads: the server runs on a thread of its own and never waits for the caller's thread, so a
// test may block its own thread in a library call while the server answers. Every member may be
// called from any thread; each runs on the server's thread and waits for it (it only runs short
// work). Under LeakSanitizer the library suppresses the reports of Qt's TLS backend, which the
// HTTP server loads and which keeps OpenSSL state for the life of the process.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>

#include <memory>

namespace ClassroomServer {

class ServerCore;
class ServerThread;

// The beacon's method path and the prefix of the hub methods.
inline constexpr char BeaconMethod[] = "entities/beacon/get";
inline constexpr char HubMethodPrefix[] = "entities/rondel_hub/";
// The key of a fault that hits every method (see Server::setFault).
inline constexpr char AnyMethod[] = "*";
// Replies bigger than this are what the fault OversizeBody sends (just over 4 MiB).
inline constexpr int OversizeBodyBytes = 4 * 1024 * 1024 + 4096;

// One learner of the seeded class.
struct Learner
{
    quint32 deviceId = 0;
    QString name; // the name the server knows the device by at first
    QString chosenName; // typed when asked to name itself; empty: never names itself
    QString product = QStringLiteral("TavioExpression");
    double version = 2.0;
    bool joins = true; // false: never joins a hub
    int joinDelayMs = 50; // after a registration session opens
    int nameDelayMs = 50; // after an end-user naming request
    int answerDelayMs = 100; // after a question arrives
    bool silent = false; // never answers
    int requestDelayMs = 300; // self-paced: asks for a question when none came this long
    // The answer text, by question number (wins) or by "QuestionType"; else a default per type:
    // MultipleChoice the first ordinal, MultipleResponse the first two ordinals joined by ",",
    // TrueFalse the first answer text, ScaleScore the first ordinal, Gridded "42",
    // ShortAnswerWithOptions "hello", Equation "x+1", SortAndOrder the ordinals last to first
    // joined by ",".
    QMap<int, QString> answersByQuestion;
    QMap<QString, QString> answersByType;
};

// One request as it arrived (after the HTTP framing).
struct RecordedRequest
{
    int sequence = 0; // from 1, in arrival order
    int connection = 0; // from 1, in the order connections were accepted
    QByteArray httpMethod; // "POST"
    QString path; // the URL path, "/rpc/1.0/json"
    QByteArray contentType;
    QByteArray body; // the raw HTTP body (the whole multipart body for an upload)
    QByteArray json; // the JSON text of the call (the "rpc_data" part for an upload)
    bool validJson = false; // json is a JSON object
    QString method; // the "method" member, e.g. "entities/rondel_hub/getServerID"
    QVariantMap parameters; // the "parameters" member
    QByteArray cookie; // the Cookie header as sent ("" when none)
    bool hasSessionCookie = false; // the cookie this server set came back
    bool upload = false; // a multipart body
    QList<QByteArray> partNames; // the upload's parts, in order ("rpc_data", "File")
    QByteArray fileName; // the upload's file name
    QByteArray fileContentType; // the file part's content type
    QByteArray fileContents;
};

// What goes wrong with the replies to one method (see Server::setFault). A fault other than a
// plain delay replaces the call: the server does not carry it out (a faulted beacon poll hands
// out nothing; its events wait for the next poll).
struct Fault
{
    enum Kind {
        None, // a normal reply (after delayMs, if given)
        ErrorReply, // {"error": error} with status 200
        Http500, // status 500 with a small JSON error body
        BadJson, // status 200, a body that is not JSON
        NonObjectBody, // status 200, a JSON array
        ReplaceResult, // {"result": result}: any value, also a mistyped one
        RawBody, // status 200 with exactly body
        OversizeBody, // status 200, a JSON object of OversizeBodyBytes
        NoReply, // the request is recorded and never answered (the connection stays open)
        CloseConnection, // the connection is closed without a reply
    };

    Kind kind = None;
    int delayMs = 0; // the reply (or the closing) goes out this late
    int times = -1; // how many requests it hits; -1: until cleared
    QVariant error; // ErrorReply; invalid: {"type": "server", "code": 1, "message": "refused"}
    QVariant result; // ReplaceResult
    QByteArray body; // RawBody

    static Fault delay(int ms, int times = -1);
    static Fault errorReply(const QVariant& error = QVariant(), int times = -1);
    static Fault http500(int times = -1);
    static Fault badJson(int times = -1);
    static Fault nonObjectBody(int times = -1);
    static Fault replaceResult(const QVariant& result, int times = -1);
    static Fault rawBody(const QByteArray& body, int times = -1);
    static Fault oversizeBody(int times = -1);
    static Fault noReply(int times = -1);
    static Fault closeConnection(int times = -1);
};

// Malformed beacon entries queued by Server::queueBadBeaconEntry.
enum class BadBeaconEntry {
    MissingSignal, // no "Signal"
    MissingValue, // "DeviceRegistered" without "Value"
    MissingSourceHash, // "DeviceResponse" without "SourceHash"
    TextId, // "DeviceRegistered" with Value "learner"
    SixtyFourBitId, // "DeviceRegistered" with Value 4294967296 + deviceId
    ZeroId, // "DeviceRegistered" with Value 0
    NegativeId, // "DeviceRegistered" with Value -5
    UnknownSignal, // Signal "DeviceExploded"
    NotAnObject, // an entry that is a text, not a map
    ExtraMembers, // a "DeviceRegistered" with unknown members beside the usual three
};

// What the server knows of one hub (by its serial; 0 before it has one).
struct HubSnapshot
{
    qint64 serial = 0;
    QString name; // "setHubName"
    QString product; // "setVersionInfo"
    QString version;
    bool registrationOpen = false;
    QString registrationPin;
    bool includeExistingDevices = false;
    QList<quint32> devices; // registered to this hub, in joining order
    bool sessionRunning = false; // between "startSessionAllDevices" and "endSessionAllDevices"
    QVariantMap sessionParameters;
    QMap<quint32, QVariantMap> deviceSessionParameters; // "startSessionForDevice"
    QMap<quint32, QVariantMap> questions; // the last question sent to each device
    QMap<quint32, QVariantMap> responses; // the last answer of each device
    QMap<quint32, QVariantList> messages; // every "sendMessage"/"sendMessageMeta" parameters
    QMap<quint32, QVariantMap> namingOptions; // the last "changeDeviceNameLimited" "Options"
    int beaconPolls = 0;
    int eventsHandedOut = 0;
    int pendingEvents = 0;
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
    // Closes the listener and every connection (keep-alive ones too); all state is kept.
    void stop();
    // Listens again on the port it had.
    bool restart();
    bool isListening() const;
    quint16 port() const;
    QString url() const; // "http://127.0.0.1:<port>"

    // Identity and counters.
    void setServerId(const QString& id); // "getServerID"; default "classroom-server-1"
    QString serverId() const;
    void setNextSerial(qint64 serial); // "generateSerialNumber" hands out this, then counts up
    qint64 nextSerial() const; // default 1001
    void setPinPool(const QStringList& pins); // "checkOutPin" hands out the free ones in turn
    QStringList checkedOutPins() const; // default pool: "K7Q", "M3X", "P9D", "T4W"
    void setPinAsNumber(bool number); // "checkOutPin" result a JSON number (digit PINs only)

    // The class. defaultClass(n): device IDs 1001 on, names "Learner 1"..., chosen names
    // "Pupil 1"..., join, name and answer delays staggered from 40 ms by 15 ms; nobody silent.
    static QList<Learner> defaultClass(int count);
    void setLearners(const QList<Learner>& learners);
    QList<Learner> learners() const;
    void setLearner(const Learner& learner); // replaces the one with that device ID, or adds
    QString deviceName(quint32 deviceId) const;

    // Events on demand, queued for the hub with this serial (handed out at its next poll).
    void queueBeaconEntry(qint64 serial, const QVariant& entry); // anything, as it stands
    void queueBeaconSignal(
        qint64 serial, const QString& signal, const QString& sourceHash, const QVariant& value);
    void queueBadBeaconEntry(qint64 serial, BadBeaconEntry kind, quint32 deviceId = 1001);
    void joinNow(qint64 serial, quint32 deviceId); // registers and queues "DeviceRegistered"
    // The learner answers now: stores the answer and queues "DeviceResponse".
    void answerNow(qint64 serial, quint32 deviceId, const QString& answer);
    void renameByLearner(qint64 serial, quint32 deviceId, const QString& name);
    void requestQuestionNow(qint64 serial, quint32 deviceId, int questionNumber);
    void shutdownDevice(qint64 serial, quint32 deviceId); // queues "DeviceShutdown"

    // Faults by method path (BeaconMethod for the beacon; AnyMethod for every method without a
    // fault of its own). A fault with times > 0 wears off.
    void setFault(const QString& method, const Fault& fault);
    void clearFault(const QString& method);
    void clearFaults();
    // Every reply to every method goes out this much later (on top of a fault's delay).
    void setReplyDelay(int ms);

    // What the server saw and knows.
    QList<HubSnapshot> hubs() const;
    HubSnapshot hub(qint64 serial) const; // an empty snapshot when unknown
    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requests(const QString& method) const;
    int requestCount(const QString& method = QString()) const;
    // Waits until at least count requests (of that method; empty: any) have been recorded.
    bool waitForRequests(const QString& method, int count, int timeoutMs) const;
    void clearRequests();
    int connectionsAccepted() const;

    // The cookie every reply sets ("Set-Cookie: <name>=<value>; Path=/").
    QByteArray cookieName() const;
    QByteArray cookieValue() const;
    // With required on, once a reply has set the cookie, a request that does not bring it back
    // gets an error reply (type "server", message "no session cookie") and is not carried out.
    void setRequireCookie(bool required);

private:
    std::unique_ptr<ServerCore> m_core;
    std::unique_ptr<ServerThread> m_thread;
};

} // namespace ClassroomServer
