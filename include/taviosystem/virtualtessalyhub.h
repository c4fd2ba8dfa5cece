#pragma once

#include <taviosystem/virtualtwopointfourghzhub.h>

#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QMetaObject>
#include <QtCore/QPointer>
#include <QtCore/QSet>
#include <QtCore/QString>

#include <functional>

class PresenterClient;
class PresenterCollab;

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Taviosystem {

class TessalyEnhancedQuestionSession;

/*! \class Taviosystem::VirtualTessalyHub
    \brief A cloud classroom presented as a hub: learners signed in to the teacher's class
    session are expression devices, question sessions are cloud polls, and learners' answers come
    back through the ordinary session callbacks and signals of Hub.

    The system makes it after TavioSystem::tessalyLogin() and lists it under handle 12330 as
    "Tessaly Virtual Hub". Nothing is sent to a receiver: every operation that would need one
    answers locally or records Error_NotSupported. A missing class session connection is
    Error_CommsFailure.

    Threads: the hub lives on the system's thread; the client's signals, the retry timer, the
    host callbacks and the signals of answers and learners all run there. A host call made on
    another thread is carried out on the hub's thread while the caller waits.
*/
class TAVIOSYSTEM_EXPORT VirtualTessalyHub : public VirtualTwoPointFourGHzHub
{
    Q_OBJECT
public:
    static constexpr quint64 ResetIdentifier = 123454321; //!< the identifier after reset()
    static constexpr quint64 DefaultIdentifier = 123; //!< given to a zero identifier
    static constexpr int RetryInterval = 10000; //!< milliseconds between reconnection attempts
    static constexpr int MaximumRetryCount = 4; //!< attempts go on while the counter is below
    static constexpr int RegistrationCapacity = 128; //!< devices
    static constexpr int ImageUploadSize = 100000; //!< bytes from which an image is uploaded
    static constexpr int SerialCandidates = 128; //!< serials tried for one token
    static constexpr int MaximumNameLength = 255; //!< characters kept of a learner's name
    static constexpr int MaximumAnswerLength = 65536; //!< characters; longer answers are dropped
    //! The learner device type carried by tessalyDeviceRegistered.
    static const char* const LearnerDeviceType;

    /*! Makes the hub for the service at \a serverUrl, named \a hubName, that signs \a userName
        in with \a password. \a handle, \a connected and \a version are the hub's handle,
        connection state and version; \a serverLost is kept for the system. Owned by the system. */
    VirtualTessalyHub(TavioSystem* system, int handle, bool connected, int version,
        QString serverUrl, QString hubName, QString userName, QString password,
        void (*serverLost)(void*));
    ~VirtualTessalyHub() override;

    /*! Identifier 123454321, no PIN, name \a hubName, not signed in, and the controller's client
        for \a serverUrl. */
    void reset(const QString& serverUrl, const QString& hubName);
    /*! Signs in (once); the hub counts as initialised only when the sign-in succeeded. */
    void verifyAndInitialize();
    /*! Signs in with the hub's user name and password unless the client already is. */
    void startHub();
    /*! Opens the class session and its collaboration connection. \return true when
        collaborating (also when it already was); false when the service refused or could not be
        reached (see getTessalyLastError()). */
    bool startTessalySession();
    /*! Ends the class session on purpose: no reconnection follows. */
    void stopTessalySession();

    /*! Whether the class session's connection is open now. */
    bool isCollabConnected() const;
    QString hubName() const { return m_hubName; } //!< "Tessaly Virtual Hub"
    quint64 serial() const { return m_identifier; } //!< the hub identifier
    quint64 uid() const override { return m_identifier; } //!< the hub identifier
    bool initializing() const { return m_initializing; } //!< in verifyAndInitialize()
    bool initialized() const { return m_initialized; } //!< signed in at least once

    /*! Milliseconds between reconnection attempts after the connection is lost (10000 unless
        set). */
    void setRetryInterval(int milliseconds);

    /*! The device serial of learner \a token, given on first use: the sum of the token's
        UTF-8 bytes (each signed) or the next free value below that sum plus 128; 0 when all are
        taken. */
    int getSerialForToken(const QString& token);
    /*! The token of device serial \a serial, empty when unknown. */
    QString getTokenForSerial(int serial) const;
    /*! The first serial candidate of \a token: the sum of its UTF-8 bytes taken as signed. */
    static int serialCandidate(const QString& token);

    /*! Decodes the poll answer \a response of session type \a type (Hub::SessionType) for
        display option \a display: \a text gets the host's answer text, \a vote the yes/no,
        true/false or Likert value, \a value the maths translation's result code (0 success).
        \a optionCount bounds the option indexes (0: no bound). \return false when the answer
        fits no option and is to be dropped. */
    static bool processQuestionResponse(int type, int serial, const QString& response, int display,
        bool mathsFlag, int& vote, QString& text, int& value, int optionCount = 0);
    /*! A yes/no answer: "0" yes, "1" no, "2" invalid; other texts by the vote letter. */
    static int translateToYesNoResponse(const QString& text, int value);
    /*! A true/false answer: "True" or "0" true, "False" or "1" false; else invalid. */
    static int translateToTrueFalseResponse(const QString& text, int value);

    // Hub interface.
    bool isTessalyHub() override { return true; }
    PresenterClient* getTessalyClient() override;
    QString getTessalyLastError() override;
    void setConnected(bool connected) override;
    void readRegisteredDevicesLists() override;
    bool getDeviceCount(Device::Type type, int* count) override;
    bool sendTessalyImageCard(const QByteArray& image, bool flag) override;
    bool publishTessalyCollaborationMessage(QString type, QString message, QString data) override;
    void sendTessalyPresenterIsActiveToRemote() override;
    void sendTessalyCurrentLessonToRemote(QString lessonId, QString lessonName) override;
    void sendTessalyCurrentCardToRemote(int card, int cardCount) override;
    void removeTessalyLearner(unsigned int uid) override;
    void setTessalyPollImage(const QByteArray& image) override;
    void stopTessalyPoll() override;
    void pauseTessalyPoll() override;
    void resumeTessalyPoll() override;
    bool asGetRegistrationPin(RegistrationCode& code) override;
    bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data) override;
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
    /*! Ends the running session: the poll, or the self-paced test (whose session object is then
        deleted). True without a session; false with Error_CommsFailure without a connection. */
    bool stopSession() override;
    bool startExpressionEnduserNamingSession(int questionId, CharacterType characterType,
        int maxLength, bool namingFlag, EndUserNamingCallback callback, void* context) override;
    bool stopExpressionEndUserNamingSession() override;
    /*! Checks the connection and that no session runs, keeps the callbacks and marks the
        asynchronous session; sends nothing. */
    bool startAsyncSession(AsyncGetMessageCallback getMessage,
        AsyncReceiveMessageCallback receiveMessage, void* context) override;
    /*! The cloud self-paced test session, made on first use; owned by the hub and deleted when
        it stops. */
    EnhancedQuestionSession* enhancedQuestionSession() override;

    // 2.4 GHz hub operations, answered locally: name() is the hub name, the registration
    // information reports a capacity of 128 devices, clears answer OK (the expression clear
    // removes every learner's device), the class session is the registration window, and naming
    // only changes the session state (nameExpression records Error_NotSupported).
    QString name() override;
    void asEndExpressionRegSession() override;
    bool getRegistrationInfo(InformationResponse* info) override;
    bool clearHub(OKResponse* response) override;
    bool clearHubOfExpressions(OKResponse* response) override;
    bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin) override;
    bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        const RegistrationCode& pin, CharacterType characterType, bool flag,
        quint8 nameLength) override;
    bool stopExpressionRegistrationSession() override;
    bool nameExpression(
        unsigned int uid, const QString& name, ExpressionNameReceivedResponse* response) override;
    bool startExpressionNamingSession() override;
    bool stopExpressionNamingSession() override;

    /*! The hub's state as TwoPointFourGHzHub::state() reports it: State_Idle while the class
        is connected, State_NotConnected (Error_NotConnected) for a hub not listed,
        State_CommsFailure (Error_CommsFailure) without a class connection. */
    State cloudState();

    //! \cond internal
protected:
    bool readExpressionList() override;
    bool readVoteList() override;
    bool readSlateList() override;
    bool readVirtualVoteList() override;

private Q_SLOTS:
    void onDisconnected();
    void onRetryConnection();
    void onInactivityTimeMs(qint64 ms);
    void onLearnerUnregister(QString token);
    void onLearnerPollResponse(
        QString userToken, QString pollId, int responseTime, QString response);

private:
    friend class TessalyEnhancedQuestionSession;
    struct PollStart
    {
        int pollType = 0;
        int ordinalType = 0;
        int optionCount = 0;
        int maxAnswers = 0;
    };

    void onLearnerJoin(const QString& token, const QString& name);
    void onRemoteControlMessage(const QString& from, const QString& type, const QVariant& data);
    void connectCollaboration();
    void disconnectCollaboration();
    bool checkPollStart(int questionId);
    bool noSessionRunning();
    // Starts a poll once no session runs: the callback is stored by `storeCallback`.
    bool startPoll(SessionType session, const PollStart& poll, void* context, int questionId,
        const std::function<void()>& storeCallback);
    void withCollaboration(const std::function<void(PresenterCollab*)>& work);
    void reportAnswer(quint32 serial, const QString& response);
    bool stopCloudSession();
    void setImage(const QByteArray& image);
    void releaseEnhancedSession();
    int findSerial(const QString& token) const;
    bool hasCollaboration(bool record);

    QString m_serverUrl;
    QString m_hubName;
    QString m_pin;
    quint64 m_identifier = 0;
    bool m_initializing = false;
    bool m_initialized = false;
    bool m_loggedIn = false;
    bool m_collabConnected = false;
    bool m_closing = false;
    QString m_userName;
    QString m_password;
    void (*m_serverLost)(void*) = nullptr;
    QPointer<PresenterClient> m_client;
    QPointer<PresenterCollab> m_collab;
    QList<QMetaObject::Connection> m_collabConnections;
    QTimer* m_retryTimer = nullptr;
    int m_retryCounter = 0;
    QMap<int, QString> m_learners; // device serial -> user token
    QHash<QString, int> m_serials; // user token -> device serial
    QSet<int> m_announced; // serials whose device was reported created
    bool m_namingRegistration = false;
    int m_registrationCapacity = 0;
    TessalyEnhancedQuestionSession* m_tessalySession = nullptr;
    PollStart m_poll;
    bool m_pollRunning = false;
    QSet<QString> m_reportedAnswers; // token + answer, per question
    //! \endcond
};

} // namespace Taviosystem
