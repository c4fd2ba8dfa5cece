#pragma once

#include <taviosystem/abstractaseventhandler.h>
#include <taviosystem/devicedisplayinfo.h>
#include <taviosystem/hubdisplayinfo.h>
#include <taviosystem/taviosystem_global.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QHash>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QString>

#include <atomic>

namespace Taviosystem {

class AbstractHardwareWrapper;
class Hub;
class LegacyhubRegistrationSession;
class TaviohubExpressionNamingSession;
class TaviohubRegistrationSession;
class TaviohubSlateNamingSession;
class TaviohubVoteNamingSession;
class VirtualTessalyHub;
class VirtualRondel2Hub;
struct BoardDeviceInfo;

/*!
    The one object through which a host reaches the classroom hardware.

    The host takes it with instance(), calls initialise() once, hears of hubs as they arrive and
    leave (a callback set with setHubConnectedCallback(), or newHubConnected() and
    hubDisconnected()), and calls shutdown() before it exits. The system owns every hub, device
    and session object; the host only borrows the pointers.

    Failures are never thrown: operations answer false, null or 0 and record an Error that
    getLastError() returns; a success does not clear it.

    Threads: public operations run on the caller's thread. The board library calls
    processPacketCallback() and pnpCallback() on its own threads. Hub discovery runs on the
    system's event thread after a receiver is plugged in or out, and on the caller's thread
    inside initialise(); hub notifications (the callback and directly connected signals) run on
    the thread that runs it. Run a Qt event loop in the thread that first called instance(): hubs
    live there, their timers run there, and devices a hub drops are deleted there. After
    shutdown() returns, nothing reaches the host.
*/
class TAVIOSYSTEM_EXPORT TavioSystem : public QObject
{
    Q_OBJECT
public:
    /*! What the last failing operation of the system recorded; errorAsString() prints the key. */
    enum Error {
        Error_None = 0, //!< Nothing recorded.
        Error_Failed = 1, //!< The value before anything was recorded.
        Error_NotInitialised = 2, //!< initialise() has not succeeded.
        Error_DriverNotInstalled = 3, //!< The board library could not be loaded.
        Error_BadPacketWrite = 4 //!< The board library refused a write.
    };
    Q_ENUM(Error)

    /*! One entry of the event queue. */
    struct AsEvent
    {
        EventType type = EventType_HubsChanged; //!< What the event asks for.
        QByteArray data; //!< The packet for asynchronous packet events; empty otherwise.
        AbstractAsEventHandler* handler = nullptr; //!< Not owned; null for hub updates.
    };

    /*!
        Hears a hub arrive (\a connected true) or leave; set with setHubConnectedCallback(). Runs
        on the thread that runs hub discovery, with \a context unchanged.
    */
    typedef void (*HubConnectedCallback)(Hub* hub, bool connected, void* context);

    /*! Milliseconds that every taker of the event mutex waits. */
    static constexpr int MutexTryLockTime = 10000;
    /*! Milliseconds shutdown() waits for the event thread to end. */
    static constexpr int EventThreadStopTime = 50;
    /*! The handle of the cloud classroom hub, fixed. */
    static constexpr int TessalyHubHandle = 12330;
    /*! The classroom-server hub's first handle; it moves when a receiver reports the same one. */
    static constexpr int Rondel2HubHandle = 123379;

    /*!
        The system, created on first use. Call it first from the host's main thread, before any
        other thread uses the system.
    */
    static TavioSystem& instance();

    /*!
        Starts the event thread, loads the board library and reports every hub already present
        (by callback or signal) before it returns. A second call answers true at once.
        \return false with Error_DriverNotInstalled when the board library cannot be loaded; a
        later call tries again.
    */
    bool initialise();
    /*!
        Stops the event thread, detaches the board library and frees the hubs. Sessions the host
        still holds refuse every call from then on; hub, device and session pointers must not be
        used any more. After it returns nothing reaches the host. A later initialise() starts
        afresh.
        \return true.
    */
    bool shutdown();
    /*! Whether initialise() succeeded and shutdown() has not run since. */
    bool isInitialised() const { return m_initialised; }
    /*! Whether the board library can be loaded; Error_DriverNotInstalled when not. */
    bool isDriverInstalled();

    /*! The code the last failing operation recorded; a success does not clear it. */
    Error getLastError() const { return m_lastError; }
    /*! The key of \a error ("Error_BadPacketWrite"); empty for a value outside the enumeration. */
    static QString errorAsString(Error error);
    /*! The library's version: major, minor and patch in bits 16 and up, 8 to 15 and 0 to 7. */
    static int getLibraryVersion();
    /*!
        Reads the board driver's version from the first receiver's record.
        \return false when the board library cannot be loaded (Error_DriverNotInstalled), no
        receiver is present or its version text holds too few numbers.
    */
    bool getDriverVersion(int* major, int* minor, int* build);

    /*!
        Sets the callback that hears hubs arrive and leave instead of newHubConnected() and
        hubDisconnected(); a null \a callback brings the signals back. The handle signals are
        emitted either way.
    */
    void setHubConnectedCallback(HubConnectedCallback callback, void* context);
    /*! Takes the board library's lock; hubs hold it while they read all their lists. */
    void lockDriver();
    /*! Releases the board library's lock. */
    void unlockDriver();

    /*!
        Names the board library to load: a base name searched for like a system library (and
        next to the application and to this library), or a path. Takes effect at the next load.
    */
    void setHardwareLibraryName(const QString& name);
    /*! The board library's name as set; "tavioboardex" by default. */
    QString hardwareLibraryName() const;

    /*!
        Replaces \a list by the connected hubs, in ascending handle order (borrowed pointers).
        \return false with Error_NotInitialised.
    */
    bool getHubList(QList<Hub*>* list);
    /*! Copies the display records of the connected 2.4 GHz and software hubs, by handle; true. */
    bool getTavioHubInfoMap(QMap<int, HubDisplayInfo>& map) const;
    /*! Copies the display records of the connected legacy hubs, by handle; true. */
    bool getLegacyHubInfoMap(QMap<int, HubDisplayInfo>& map) const;
    /*!
        Replaces \a list by display copies of the voters of the 2.4 GHz hub \a handle, as the hub
        last read them.
        \return false, with \a list empty, for a handle that is not a connected 2.4 GHz hub.
    */
    bool getTavioVoteDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    /*! The answer devices of the 2.4 GHz hub \a handle; as getTavioVoteDisplayInfoList(). */
    bool getTavioExpressionDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    /*! The slates of the 2.4 GHz hub \a handle; as getTavioVoteDisplayInfoList(). */
    bool getTavioSlateDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    /*! The voters of the legacy hub \a handle; false for any other handle. */
    bool getLegacyVoteDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    /*! The slates of the legacy hub \a handle; false for any other handle. */
    bool getLegacySlateDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;

    /*!
        Starts registration on the 2.4 GHz hub \a handle and connects the hub's registration
        signals to the session object (directly: they arrive on the packet thread).
        \return the session, owned by the system; null when not initialised, when this kind
        already runs, or for a handle that is not a connected 2.4 GHz hub (no error recorded).
        When the hub goes away, or when this kind is started again after another kind, the
        object stays valid and its calls fail; it is freed by the stop or at shutdown().
    */
    const TaviohubRegistrationSession* startTaviohubRegistrationSession(int handle);
    /*!
        Starts expression naming on the 2.4 GHz hub \a handle; as
        startTaviohubRegistrationSession().
    */
    const TaviohubExpressionNamingSession* startTaviohubExpressionNamingSession(int handle);
    /*! Starts voter naming on the 2.4 GHz hub \a handle; as startTaviohubRegistrationSession(). */
    const TaviohubVoteNamingSession* startTaviohubVoteNamingSession(int handle);
    /*! Starts slate naming on the 2.4 GHz hub \a handle; as startTaviohubRegistrationSession(). */
    const TaviohubSlateNamingSession* startTaviohubSlateNamingSession(int handle);
    /*!
        Ends registration: the hub's session is stopped (blocking up to 6000 ms) and the session
        object freed; the host's pointer is invalid afterwards.
    */
    void stopTaviohubRegistrationSession();
    /*! Ends expression naming; as stopTaviohubRegistrationSession(). */
    void stopTaviohubExpressionNamingSession();
    /*! Ends voter naming; as stopTaviohubRegistrationSession(). */
    void stopTaviohubVoteNamingSession();
    /*! Ends slate naming; as stopTaviohubRegistrationSession(). */
    void stopTaviohubSlateNamingSession();
    /*!
        Starts setting up the legacy hub \a handle; as startTaviohubRegistrationSession(), for a
        connected legacy hub.
    */
    const LegacyhubRegistrationSession* startLegacyhubRegistrationSession(int handle);
    /*! Frees the legacy registration session; the hub's session is left as it is. */
    void stopLegacyhubRegistrationSession();

    /*! Signs a teacher in to the cloud classroom service at \a serverUrl and lists the cloud
        hub, "Tessaly Virtual Hub", under handle 12330 (reported like any hub's arrival). The
        three texts are kept even when one is empty. The same texts again report the hub again;
        other texts sign the previous teacher out first. Waits for the service (10000 ms at
        most); a call from another thread runs on the system's thread while the caller waits.
        \return true when signed in; false for an empty text, a refusal or a service out of
        reach (TessalyController::getLastError() says which) and when not initialised
        (Error_NotInitialised). */
    bool tessalyLogin(const QString& serverUrl, const QString& userName, const QString& password);
    /*! Ends the cloud class and signs out: the cloud hub is reported gone (tavioHubDisconnected
        and hubDisconnected, never the connection callback) and freed later. */
    void tessalyLogout();
    /*! Opens the signed-in teacher's class session on the cloud hub; its class code is then the
        hub's registration PIN. \return false without a cloud hub or when the service refused or
        could not be reached. */
    bool tessalyStartSession();

    /*!
        Writes \a bytes to the receiver of \a hub: the one path by which hubs write to the
        hardware.
        \return false with Error_NotInitialised, or Error_BadPacketWrite when the board library
        refuses the write.
    */
    bool sendCommand(Hub* hub, const QByteArray& bytes);

    /*!
        \name Board settings
        Forwarded to the board library with the hub's handle; without a library they do nothing
        and the getters answer the library's defaults. Hosts usually call the Hub operations of
        the same names.
    */
    //!@{
    /*! Hands \a hub's touch input to the operating system, or not. */
    void setTouchSystemRedirectionEnabled(Hub* hub, bool enabled);
    /*! Whether \a hub's touch input goes to the operating system. */
    bool getTouchSystemRedirectionEnabled(Hub* hub);
    /*! Turns \a hub's LATE detection on or off. */
    void setLATEDetection(Hub* hub, bool enabled);
    /*! Whether \a hub's LATE detection is on. */
    bool getLATEDetection(Hub* hub);
    /*! Sets how \a hub's board reports pen coordinates. */
    void setPenMode(Hub* hub, unsigned char mode);
    /*! How \a hub's board reports pen coordinates. */
    unsigned char getPenMode(Hub* hub);
    /*! Sets where the positions of \a pen go. */
    void setPenReportMode(Hub* hub, unsigned char pen, bool flag, unsigned char mode);
    /*! Stores in \a mode where the positions of \a pen go. */
    void getPenReportMode(Hub* hub, unsigned char pen, unsigned char* mode);
    /*! Sets where \a hub's touch reports go. */
    void setTouchReportMode(Hub* hub, unsigned char mode);
    /*! Stores in \a mode where \a hub's touch reports go. */
    void getTouchReportMode(Hub* hub, unsigned char* mode);
    /*! Hands a touch report of \a length bytes to the operating system; true. */
    bool sendTouchInfoToOS(Hub* hub, const unsigned char* data, unsigned char length);
    //!@}

    /*!
        Translates LaTeX typed on a device into a presentation MathML fragment; no hardware is
        needed, and any thread may call it.
        \param expressionV2LatexFormat false for the first device dialect, true for the second.
        \return 0 on success; otherwise non-zero and \a out is left as it was.
    */
    int translateTextLatexToMathml(const QString& in, QString& out, bool expressionV2LatexFormat);
    /*!
        Translates MathML into device LaTeX.
        \param markers false: \a in is one MathML fragment and \a out its LaTeX alone; true:
        \a in is text in which every "<math>...</math>" becomes LaTeX between "[" and "]" (the
        second dialect also writes the length after "[").
        \return 0 on success; otherwise non-zero and \a out is left as it was.
    */
    int translateTextMathmlToLatex(
        const QString& in, QString& out, bool expressionV2LatexFormat, bool markers);
    /*! As above, with \a startMarker and \a endMarker in place of "[" and "]". */
    int translateTextMathmlToLatex(const QString& in, QString& out, const QString& startMarker,
        const QString& endMarker, bool expressionV2LatexFormat, bool markers);
    /*!
        Checks a maths question before it is sent.
        \param length its length after conversion when it converts; 0 otherwise.
        \return 0 when it converts and fits, -2 when it is longer than maxQuestionSize(), 1 or -1
        when it cannot be converted.
    */
    int validateQuestion(const QString& question, int& length);
    /*! The longest question text, after conversion, that devices accept: 512. */
    int maxQuestionSize();

    /*!
        Queues \a event for its handler on the event thread; events run strictly in posting
        order.
    */
    void asPostEvent(const AsEvent& event);
    /*! Takes back every queued event of \a type for \a handler. */
    void removeEvents(EventType type, AbstractAsEventHandler* handler);

    /*!
        Hands a packet from the board library to the hub of \a handle; the library calls it on
        its packet thread, with the system as \a context. Hosts do not call it.
    */
    static void processPacketCallback(
        int handle, const unsigned char* data, unsigned int length, void* context);
    /*!
        Queues hub discovery after a receiver was plugged in or out; the library calls it on its
        own thread, with the system as \a context. Hosts do not call it.
    */
    static void pnpCallback(void* context);

    // Signals are emitted on the thread that runs hub discovery: the caller of initialise(), or
    // the event thread after a receiver was plugged in or out.
Q_SIGNALS:
    /*! A hub arrived (no connection callback set). The same object comes back after a re-plug. */
    void newHubConnected(Taviosystem::Hub* pHub);
    /*! A hub left (no connection callback set); the object stays, marked not connected. */
    void hubDisconnected(Taviosystem::Hub* pHub);
    /*! A 2.4 GHz or software hub arrived under \a hubHandle. */
    void newTavioHubConnected(Taviosystem::HubHandle_t hubHandle);
    /*! The 2.4 GHz or software hub \a hubHandle left. */
    void tavioHubDisconnected(Taviosystem::HubHandle_t hubHandle);
    /*! A legacy hub arrived under \a hubHandle. */
    void newLegacyHubConnected(Taviosystem::HubHandle_t hubHandle);
    /*! The legacy hub \a hubHandle left. */
    void legacyHubDisconnected(Taviosystem::HubHandle_t hubHandle);
    /*! Declared for hosts that listen for it; the system does not emit it. */
    void processPnpCallback();

    //! \cond internal
protected:
    TavioSystem();
    ~TavioSystem() override;

    virtual bool initialiseTavioWrapper();
    virtual void updateHubs();

    // Creates the wrapper initialiseTavioWrapper loads; a test system may hand in its own.
    virtual AbstractHardwareWrapper* createWrapper();
    AbstractHardwareWrapper* wrapper() const { return m_wrapper; }
    // Makes the hub object for a new receiver record; null for a kind this system does not
    // drive. The table takes ownership.
    virtual Hub* createHub(const BoardDeviceInfo& record);
    // Adds a hub to the table (the table takes ownership) and hands the object to the thread
    // that owns the system, so its timers and queued slots run there.
    void insertHub(int handle, Hub* hub);
    void recordError(Error error);
    // The key=<value> items at the end of a hub record.
    static void parseAdditionalDeviceInfo(const QString& text, QHash<QString, QString>& hash);

private:
    void taviosystemEventHandler();
    void dispatchEvent(const AsEvent& event);
    bool isStopping();
    void startEventThread();
    void stopEventThread();
    Hub* hubForHandle(int handle) const;
    void notifyHub(Hub* hub, bool connected);
    void addTavioHubInfo(int handle, const QString& name, quint64 uid, bool isVirtualHub,
        bool isRondel2Hub, bool isTessalyHub);
    void addLegacyHubInfo(int handle, const QString& name, quint64 uid);
    bool isValidTaviohubHandle(int handle) const;
    bool isValidLegacyhubHandle(int handle) const;
    void releaseRetired();
    // Host-level sessions: the kind that started last (0 none, 1 hub registration, 2
    // expression naming, 3 vote naming, 4 slate naming, 5 legacy registration).
    void retireSessionsOf(Hub* hub);
    void retireAllSessions();
    void releaseHostSessions();
    template <typename ErrorImpl, typename Slot, typename MakeSession, typename StopHub>
    bool startHostSession(Slot& slot, int kind, int handle, MakeSession make, StopHub stopHub);
    template <typename Slot, typename StopHub>
    void stopHostSession(Slot& slot, int kind, StopHub stopHub);
    template <typename ErrorImpl, typename Slot>
    void swapHostSession(Slot& slot);
    template <typename Slot>
    void deleteHostSession(Slot& slot);
    template <typename T>
    void parkSessionObject(T* object);
    bool discoveryGoesOn();
    // The cloud hub: made (and signed in) on first use; null when the sign-in failed.
    VirtualTessalyHub* getTessalyHub();
    bool updateTessalyHub(QMap<int, Hub*>* hubs, int count);
    // The classroom-server hub: made on first use from its settings, listed under
    // m_rondel2HubHandle while its beacon works. True when the pass that ran it must end (a
    // nested pass has done the work).
    VirtualRondel2Hub* getRondel2Hub();
    bool updateRondel2Hub(QMap<int, Hub*>* oldHubs, int count);
    void delistRondel2Hub(QMap<int, Hub*>* oldHubs, bool collision);
    bool validateQuestionLength(const QString& question);

    std::atomic<bool> m_initialised { false };
    int m_currentSession = 0;
    HubConnectedCallback m_hubConnectedCallback = nullptr;
    void* m_hubConnectedContext = nullptr;
    AbstractHardwareWrapper* m_wrapper = nullptr;
    QMap<int, Hub*> m_hubs;
    QMap<int, HubDisplayInfo> m_tavioHubInfoMap;
    QMap<int, HubDisplayInfo> m_legacyHubInfoMap;
    Hub* m_sessionHub = nullptr;
    Hub* m_legacySessionHub = nullptr;
    VirtualRondel2Hub* m_rondel2Hub = nullptr;
    std::atomic<int> m_rondel2HubHandle { Rondel2HubHandle };
    Error m_lastError = Error_Failed;

    struct Private;
    Private* d;
    //! \endcond
};

} // namespace Taviosystem
