#pragma once

#include <taviosystem/virtualtwopointfourghzhub.h>

#include <QtCore/QHash>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include <atomic>
#include <functional>
#include <mutex>

QT_BEGIN_NAMESPACE
class QFileSystemWatcher;
class QNetworkReply;
class QTimer;
QT_END_NAMESPACE

namespace Tavio {
class Adapter;
class Beacon;
class Rondel_hub;
} // namespace Tavio

namespace Taviosystem {

class Rondel2EnhancedQuestionSession;

/*!
    A classroom server presented as a hub: learner devices register, take names, receive
    questions and answer through the server's remote calls, and the server's events reach the
    hub through a beacon it polls every BEACON_RATE milliseconds. The host drives it through the
    ordinary hub interface; nothing goes over the radio protocol.

    The system creates and owns the hub (handle 123379 unless a receiver holds that handle).
    The hub, its adapter and its timers live in the system's thread, whose event loop delivers
    every reply; calls made on other threads are handed to that thread. Answers, registrations
    and renames are reported on that thread, by the host's callback when one is set and by the
    hub's signals otherwise. While the beacon does not work every server operation fails with
    Error_CommsFailure.
*/
class TAVIOSYSTEM_EXPORT VirtualRondel2Hub : public VirtualTwoPointFourGHzHub
{
    Q_OBJECT
public:
    /*! Called with the owning system whenever the beacon starts or stops working. */
    typedef void (*ServerLostCallback)(void* system);

    static constexpr int BEACON_RATE = 800; //!< milliseconds between beacon polls
    static constexpr int MaximumBeaconFailures = 3; //!< the fourth network failure loses the server
    static constexpr int SettingsChangeDelay = 3000; //!< milliseconds a settings change waits
    static constexpr int RequestTimeout = 6000; //!< milliseconds a request may take

    /*!
        Makes the hub for the server at \a url under the name \a hubName and starts watching the
        settings. \a index is its handle; \a serverLost is called (with \a system) on every change
        of the beacon's state. Nothing is asked of the server until verifyAndInitialize().
    */
    VirtualRondel2Hub(TavioSystem* system, int index, bool flag, int kind, QString url,
        QString hubName, ServerLostCallback serverLost);
    ~VirtualRondel2Hub() override;

    /*!
        Reads the server address (the first "config/servers" entry's "url", by default
        http://localhost:8081) and the hub name ("config/hubName", by default the computer's
        host name) from the user's "Corvellan"/"Rondel2" settings. \return true.
    */
    static bool readUrl(QString& url, QString& hubName);
    /*! The hub serial stored for server \a serverId, 0 when none. */
    int readSerialNumber(QString serverId);
    /*! Stores the hub serial \a serial for server \a serverId at once. */
    void writeSerialNumber(QString serverId, int serial);
    /*! Forgets the serial and server identifier, stops the beacon and points at \a url. */
    void reset(QString url, QString hubName);
    /*! Watches the settings file; a change is acted on SettingsChangeDelay ms later. */
    void startConfigMonitoring();

    /*! The hub's name as the server knows it. */
    QString hubName() const;
    /*! The serial the server issued, 0 until known. */
    quint64 serial() const { return m_serial; }
    /*! The hub serial. */
    quint64 uid() const override { return m_serial; }
    /*! The server identifier "getServerID" gave, empty until known. */
    QString serverId() const;
    /*! Whether the server identifier and serial are being asked for. */
    bool initializing() const { return m_initializing; }
    /*! Whether the hub serial is known. */
    bool initialized() const { return m_serial != 0; }
    /*! Whether the last beacon poll reached the server (false after four network failures). */
    bool beaconWorking() const { return m_beaconWorking; }

    /*!
        Test seam: the timings hubs made from now on start with (milliseconds between polls, a
        request's time-out, a settings change's wait). Negative values restore the defaults.
    */
    static void setDefaultTimings(int beaconRate, int requestTimeout, int settingsChangeDelay);
    /*! Test seam: milliseconds between polls (BEACON_RATE by default). */
    void setBeaconRate(int milliseconds) { m_beaconRate = milliseconds; }
    /*! Test seam: milliseconds a request may take (RequestTimeout by default). */
    void setRequestTimeout(int milliseconds);
    /*! Test seam: milliseconds a settings change waits (SettingsChangeDelay by default). */
    void setSettingsChangeDelay(int milliseconds) { m_settingsChangeDelay = milliseconds; }

    /*!
        Maps the server's answer text to the value the host's callback takes, by the session
        type \a type (1 multiple choice to 7 sort in order): \a vote for yes/no, true/false and
        Likert, \a text for the others, \a value the maths translation result of a text answer.
    */
    void processQuestionResponse(int type, unsigned int uid, const QString& answer,
        DisplayOption display, bool mathsFlag, int& vote, QString& text, int& value);
    /*! "Any", "Numeric", "AlphaNumericLower", "AlphaNumericUpper", "AutoCaseFirstChar". */
    static QString getNameLimitChars(CharacterType type);

    // Hub interface. Every operation that needs the server records Error_CommsFailure and
    // fails while the beacon does not work; none writes to the board library.
    /*! \return true. */
    bool isRondel2Hub() override { return true; }
    QString name() override;
    bool isHubBusy() override { return false; }
    bool hasKX9Board() const override { return false; }
    int penCount() const override { return 0; }
    bool isTouchSupported() override { return false; }
    void setConnected(bool connected) override;
    unsigned short canRegisterVotingDevicesCount() override;
    bool getDeviceCount(Device::Type type, int* count) override;
    void readRegisteredDevicesLists() override;
    void processPacket(const QByteArray& packet) override;
    HubState getHubState() override;
    bool setBacklight(unsigned char level, unsigned char value) override;
    bool startVotingSession(VotingMode mode, VotingCallback callback, void* context) override;
    bool startMultichoiceSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context) override;
    bool startYesNoSession(int questionId, bool thirdAnswer, TimeUnit timeUnit, int time,
        YesNoResponseCallback callback, void* context) override;
    bool startTrueFalseSession(int questionId, bool thirdAnswer, TimeUnit timeUnit, int time,
        TrueFalseResponseCallback callback, void* context) override;
    bool startLikertSession(int questionId, int scale, TimeUnit timeUnit, int time,
        LikertResponseCallback callback, void* context) override;
    bool startNumericSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, StringResponseCallback callback, void* context) override;
    bool startTextSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, bool isEquation, TextResponseCallback callback,
        void* context) override;
    bool startSortInOrderSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context) override;
    bool startMessageSession(int questionId, const QString& message, TimeUnit timeUnit, int time,
        MessageResponseCallback callback, void* context) override;
    bool stopSession() override;
    bool resetHubSession() override;
    bool startExpressionEnduserNamingSession(int questionId, CharacterType characterType,
        int maxLength, bool namingFlag, EndUserNamingCallback callback, void* context) override;
    bool stopExpressionEndUserNamingSession() override;
    bool startAsyncSession(AsyncGetMessageCallback getMessage,
        AsyncReceiveMessageCallback receiveMessage, void* context) override;
    bool startEnhancedGenericSession(
        AsyncReceiveMessageCallback receiveMessage, void* context) override;
    bool asyncSendMsg(unsigned int uid, const QByteArray& data) override;
    bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data) override;
    bool asGetRegistrationPin(RegistrationCode& code) override;
    void asEndExpressionRegSession() override;
    /*! Created on first use and owned by the hub: a Rondel2EnhancedQuestionSession. */
    EnhancedQuestionSession* enhancedQuestionSession() override;
    EnhancedGenericSession* getEnhancedGenericSession() override;
    bool getRegistrationInfo(InformationResponse* info) override;
    bool clearHub(OKResponse* response) override;
    bool clearHubOfVotes(OKResponse* response) override;
    bool clearHubOfSlates(OKResponse* response) override;
    bool clearHubOfBoards(OKResponse* response) override;
    bool clearHubOfExpressions(OKResponse* response) override;
    bool clearHubOfPenExpressions(OKResponse* response) override;
    bool readPenExpressionList() override;
    bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin) override;
    bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        const RegistrationCode& pin, CharacterType characterType, bool flag,
        quint8 nameLength) override;
    bool stopExpressionRegistrationSession() override;
    bool startVoteRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin) override;
    bool stopVoteRegistrationSession() override;
    bool startSlateRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin) override;
    bool stopSlateRegistrationSession() override;
    bool removeTavioexpression(unsigned int uid) override;
    bool stopRemoveExpressionDeviceSession() override;
    bool removeTaviote(unsigned int uid) override;
    bool stopRemoveVoteDeviceSession() override;
    bool removeTavioslate(unsigned int uid) override;
    bool stopRemoveSlateDeviceSession() override;
    bool removePenExpression(unsigned int uid) override;
    bool nameExpression(
        unsigned int uid, const QString& name, ExpressionNameReceivedResponse* response) override;
    bool startExpressionNamingSession() override;
    bool stopExpressionNamingSession() override;
    bool doSendAndReceive(const QByteArray& command) override;

public Q_SLOTS:
    /*! Asks the server for its identifier and the hub serial, or starts the hub when known. */
    void verifyAndInitialize();
    /*! Acts on the last of a burst of settings changes: a new address or name resets the hub, tells
     * the system and starts it again. */
    void onSettingChangeHandler();
    /*! Polls the server's beacon once (while the beacon runs and no poll is in flight). */
    void pingBeacon();
    /*! The server opened registration: the session becomes SessionType_ExpressionRegistration. */
    void onRegistrationSessionStarted(QNetworkReply* reply, QVariant result);
    /*! The server refused registration: the session is SessionType_None. */
    void onRegistrationSessionStartFailure(QNetworkReply* reply, QVariant error);
    /*! A failed poll: the fourth network failure in a row loses the server; polling goes on. */
    void beaconFailure(QNetworkReply* reply, QVariantMap error);
    /*! A poll's reply: the beacon works; each event in "result" is handled in order. */
    void beaconReply(QNetworkReply* reply, QVariantMap json);
    /*! Writes a failed call's reply to standard output. */
    void fail_log(QNetworkReply* reply, QVariantMap error);
    /*! Ignores a call's result. */
    void success_log(QNetworkReply* reply, QVariant result);
    /*! Replaces the expression devices by the server's list (each device once), without signals. */
    void onGetDeviceList(QNetworkReply* reply, QVariant result);
    /*! Stores a device's details and reports it as the request asked: registered, renamed or named
     * by its learner. */
    void onGetDeviceInfo(QNetworkReply* reply, QVariant result);
    /*! The server removed a device. */
    void onRemoveDevice(QNetworkReply* reply, QVariant result);
    /*! The server started the question session: the question goes to every expression device. */
    void onStartSessionWithQuestion(QNetworkReply* reply, QVariant result);
    /*! The server refused the question session: nothing is sent and the session ends. */
    void onStartSessionWithQuestionFailure(QNetworkReply* reply, QVariantMap error);
    /*! A device's answer: reported once to the running session's callback or signal. */
    void onGetQuestionResponse(QNetworkReply* reply, QVariant result);
    /*! An answer could not be fetched: logged. */
    void onGetQuestionResponseFailure(QNetworkReply* reply, QVariantMap error);
    /*! Keeps the PIN the server checked out. */
    void onGetRegistrationPin(QNetworkReply* reply, QVariant result);
    /*! Keeps the server identifier and takes the stored serial, or asks for one. */
    void onGetServerID(QNetworkReply* reply, QVariant result);
    /*! The server could not be asked: the hub stays uninitialised until asked again. */
    void onGetServerIDFailure(QNetworkReply* reply, QVariant error);
    /*! Stores the serial the server issued (1 to 2147483647) and starts the hub. */
    void onGenerateSerialNumberResponse(QNetworkReply* reply, QVariant result);
    /*! No serial was issued: the hub stays uninitialised. */
    void onGenerateSerialNumberResponseFailure(QNetworkReply* reply, QVariant error);
    /*! Counts one settings change and handles it SettingsChangeDelay ms later. */
    void onSettingsChanged(QString path);

protected:
    /*! Asks the server for its device list (Error_CommsFailure while it is unreachable). */
    bool readExpressionList() override;
    /*! No voting devices: true. */
    bool readVoteList() override;
    /*! No slates: true. */
    bool readSlateList() override;
    /*! The virtual votes file is not read here: true. */
    bool readVirtualVoteList() override;

private:
    friend class Rondel2EnhancedQuestionSession;
    friend class TavioSystem;

    // The system moves the hub when a receiver reports its handle.
    void setHandle(int handle) { m_handle = handle; }

    void startHub();
    // Handles one beacon entry ("Signal", "SourceHash" and "Value") as the server sent it.
    void beaconReplyHandler(const QVariant& entry);
    void getDeviceInfo(quint32 device, const QString& action);
    void fetchQuestionResponse(quint32 device);
    void fetchDone(quint32 device);
    void deliverDeviceRequest(quint32 device, int questionNumber);
    void scheduleBeacon();
    void setBeaconWorking(bool working);
    void callServerLost();
    // Whether server operations may run now; records Error_CommsFailure when not.
    bool requireBeacon();
    // Posts a call from any thread (queued to the hub's thread when needed).
    void postCall(int method, const QVariantMap& parameters, const char* successSlot,
        const char* failureSlot, const QVariant& context = QVariant());
    void postCallFor(QObject* receiver, int method, const QVariantMap& parameters,
        const char* successSlot, const char* failureSlot, const QVariant& context = QVariant());
    // Records Error_CannotStartSessionBecauseCurrentlyInSession while a session runs.
    bool refuseWhenBusy();
    // Runs `work` on the hub's thread and waits for its result at most the request time-out.
    bool runOnHubThread(const std::function<bool()>& work);
    // Makes a blocking call on the hub's thread: the reply reaches the named slots of the hub
    // before this returns. False when no reply came in time.
    bool blockingCall(int method, const QVariantMap& parameters, const char* successSlot,
        const char* failureSlot, bool* failed = nullptr);
    bool startRegistration(const RegistrationCode& pin);
    bool stopRegistration();
    bool checkVotingStart(int questionId);
    bool checkChoiceStart(int questionId, int numOptions, int numResponses);
    bool startSessionWithQuestion(
        SessionType type, int questionId, const QVariantMap& question, void* context);
    QVariantList choiceResponses(int numOptions, DisplayOption displayOption) const;
    QList<quint32> expressionUids() const;
    // Creates or replaces the expression device `uid` named `name`; true when it is new.
    bool storeExpressionDevice(quint32 uid, const QString& name);
    void reportAnswer(quint32 uid, const QVariantMap& answer, int sessionGeneration);
    void okReply(OKResponse* response);
    bool notSupported();

    Tavio::Adapter* m_adapter = nullptr;
    Tavio::Rondel_hub* m_entity = nullptr;
    Tavio::Beacon* m_beacon = nullptr;
    ServerLostCallback m_serverLost = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_beaconTimer = nullptr;

    mutable std::mutex m_textMutex; // the hub name and server identifier
    QString m_hubName;
    QString m_url;
    QString m_serverId;
    std::atomic<quint64> m_serial { 0 };
    std::atomic<bool> m_initializing { false };
    std::atomic<bool> m_beaconRunning { false };
    std::atomic<bool> m_beaconWorking { false };
    bool m_beaconInFlight = false;
    int m_beaconGeneration = 0;
    int m_beaconFailures = 0;
    int m_pendingSettingsChanges = 0;
    std::atomic<int> m_beaconRate { BEACON_RATE };
    std::atomic<int> m_requestTimeout { RequestTimeout };
    int m_settingsChangeDelay = SettingsChangeDelay;

    QString m_registrationPin; // the PIN last checked out, released when registration stops
    QString m_pinReply;
    bool m_registrationStarted = false;
    int m_nameMaxLength = 0;
    int m_nameCharacterType = 0;
    bool m_nameForceMaxLength = false;
    int m_likertScale = 0;
    int m_endUserQuestionId = 0;
    bool m_mathsFlag = false;
    std::atomic<int> m_sessionGeneration { 0 };
    // Answer fetches: the devices with one in flight, and those with one more to make.
    QSet<quint32> m_fetching;
    QSet<quint32> m_fetchQueued;
    // Question requests and shutdowns the beacon announced after an answer still being
    // fetched: handled once that answer is, in their order (question number, -1 a shutdown).
    QHash<quint32, QList<int>> m_deferredRequests;
    Rondel2EnhancedQuestionSession* m_rondel2Session = nullptr;
};

} // namespace Taviosystem
