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
class VirtualRondel2Hub;
struct BoardDeviceInfo;

// The one object through which a host reaches the classroom hardware.
//
// Threads: public operations run on the caller's thread. The board library calls
// processPacketCallback and pnpCallback on its own threads. Hub discovery runs on the event
// thread after a plug-and-play notification, and on the caller's thread inside initialise();
// host notifications (callback and directly connected signals) run on the thread that runs it.
class TAVIOSYSTEM_EXPORT TavioSystem : public QObject
{
    Q_OBJECT
public:
    enum Error {
        Error_None = 0,
        Error_Failed = 1,
        Error_NotInitialised = 2,
        Error_DriverNotInstalled = 3,
        Error_BadPacketWrite = 4
    };
    Q_ENUM(Error)

    // One entry of the event queue.
    struct AsEvent
    {
        EventType type = EventType_HubsChanged;
        QByteArray data; // the packet for asynchronous packet events; empty otherwise
        AbstractAsEventHandler* handler = nullptr; // not owned; null for hub updates
    };

    typedef void (*HubConnectedCallback)(Hub* hub, bool connected, void* context);

    // Milliseconds that every taker of the event mutex waits.
    static constexpr int MutexTryLockTime = 10000;
    // Milliseconds shutdown() waits for the event thread to end.
    static constexpr int EventThreadStopTime = 50;
    // The classroom-server hub's first handle; it moves when a receiver reports the same one.
    static constexpr int Rondel2HubHandle = 123379;

    static TavioSystem& instance();

    bool initialise();
    bool shutdown();
    bool isInitialised() const { return m_initialised; }
    bool isDriverInstalled();

    Error getLastError() const { return m_lastError; }
    static QString errorAsString(Error error);
    static int getLibraryVersion();
    bool getDriverVersion(int* major, int* minor, int* build);

    void setHubConnectedCallback(HubConnectedCallback callback, void* context);
    void lockDriver();
    void unlockDriver();

    // The board library to load: a base name searched for like a system library (and next to
    // the application and to this library), or a path. Takes effect at the next load.
    void setHardwareLibraryName(const QString& name);
    QString hardwareLibraryName() const;

    bool getHubList(QList<Hub*>* list);
    bool getTavioHubInfoMap(QMap<int, HubDisplayInfo>& map) const;
    bool getLegacyHubInfoMap(QMap<int, HubDisplayInfo>& map) const;
    bool getTavioVoteDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    bool getTavioExpressionDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    bool getTavioSlateDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    bool getLegacyVoteDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;
    bool getLegacySlateDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const;

    // Registration and naming on a 2.4 GHz hub, by its handle. The objects stay owned by the
    // system; a start while the same kind runs answers null. When the hub goes away the
    // object stays valid and its calls fail; a stop deletes it.
    const TaviohubRegistrationSession* startTaviohubRegistrationSession(int handle);
    const TaviohubExpressionNamingSession* startTaviohubExpressionNamingSession(int handle);
    const TaviohubVoteNamingSession* startTaviohubVoteNamingSession(int handle);
    const TaviohubSlateNamingSession* startTaviohubSlateNamingSession(int handle);
    void stopTaviohubRegistrationSession();
    void stopTaviohubExpressionNamingSession();
    void stopTaviohubVoteNamingSession();
    void stopTaviohubSlateNamingSession();
    // Registration on a legacy hub, by its handle; as above.
    const LegacyhubRegistrationSession* startLegacyhubRegistrationSession(int handle);
    void stopLegacyhubRegistrationSession();

    // The one path by which hubs write to the hardware.
    bool sendCommand(Hub* hub, const QByteArray& bytes);

    // Board settings, forwarded to the board library with the hub's handle.
    void setTouchSystemRedirectionEnabled(Hub* hub, bool enabled);
    bool getTouchSystemRedirectionEnabled(Hub* hub);
    void setLATEDetection(Hub* hub, bool enabled);
    bool getLATEDetection(Hub* hub);
    void setPenMode(Hub* hub, unsigned char mode);
    unsigned char getPenMode(Hub* hub);
    void setPenReportMode(Hub* hub, unsigned char pen, bool flag, unsigned char mode);
    void getPenReportMode(Hub* hub, unsigned char pen, unsigned char* mode);
    void setTouchReportMode(Hub* hub, unsigned char mode);
    void getTouchReportMode(Hub* hub, unsigned char* mode);
    bool sendTouchInfoToOS(Hub* hub, const unsigned char* data, unsigned char length);

    // Maths text. Result codes: 0 success; on failure the output is left as it was.
    // LaTeX typed on a device (first dialect, or second when expressionV2LatexFormat is true)
    // to a presentation MathML fragment.
    int translateTextLatexToMathml(const QString& in, QString& out, bool expressionV2LatexFormat);
    // MathML (or text with MathML fragments) to device LaTeX.
    int translateTextMathmlToLatex(
        const QString& in, QString& out, bool expressionV2LatexFormat, bool markers);
    int translateTextMathmlToLatex(const QString& in, QString& out, const QString& startMarker,
        const QString& endMarker, bool expressionV2LatexFormat, bool markers);
    // Checks a maths question before it is sent: 0 when it converts and fits (length is then
    // its length after conversion), -2 when it is longer than maxQuestionSize(), 1 or -1 when
    // it cannot be converted (length 0).
    int validateQuestion(const QString& question, int& length);
    int maxQuestionSize();

    // The event queue: work done in posting order on the event thread.
    void asPostEvent(const AsEvent& event);
    void removeEvents(EventType type, AbstractAsEventHandler* handler);

    // The board library calls these on its own threads; context is the system.
    static void processPacketCallback(
        int handle, const unsigned char* data, unsigned int length, void* context);
    static void pnpCallback(void* context);

Q_SIGNALS:
    void newHubConnected(Taviosystem::Hub* pHub);
    void hubDisconnected(Taviosystem::Hub* pHub);
    void newTavioHubConnected(Taviosystem::HubHandle_t hubHandle);
    void tavioHubDisconnected(Taviosystem::HubHandle_t hubHandle);
    void newLegacyHubConnected(Taviosystem::HubHandle_t hubHandle);
    void legacyHubDisconnected(Taviosystem::HubHandle_t hubHandle);
    void processPnpCallback();

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
};

} // namespace Taviosystem
