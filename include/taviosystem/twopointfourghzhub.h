#pragma once

#include <taviosystem/hub.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QString>

#include <atomic>
#include <mutex>

namespace Taviosystem {

class InformationResponse;
class OKResponse;

// The current 2.4 GHz radio hub: keeps the host's copy of the devices registered on it, maps the
// radio addresses of answer packets to the uids the host knows, and routes every packet by the
// hub's current session.
//
// Threads: packets arrive on the board library's packet thread; the device lists are read on
// the caller's thread (host or event thread). The lists and the address map are guarded by one
// lock that is never held while waiting for the hub or calling out to the host.
class TAVIOSYSTEM_EXPORT TwoPointFourGHzHub : public Hub
{
    Q_OBJECT
public:
    enum State { State_Idle = 0, State_Busy = 1, State_NotConnected = 2, State_CommsFailure = 3 };
    Q_ENUM(State)

    typedef void (*DeviceNamedCallback)(
        TwoPointFourGHzHub*, unsigned int uid, const QString& name, void* context);

    static constexpr int hubReset_Packet_Length = 3;
    static constexpr char hubReset_Packet_Control = char(0xA0);
    static constexpr int hubStateChanged_Packet_Length = 4;
    static constexpr char hubStateChanged_Packet_Control = 0x56;
    static constexpr int Packet_Offset_PreviousState = 2;
    static constexpr int Packet_Offset_NewState = 3;
    static constexpr int Packet_Offset_X = 3;
    static constexpr int Packet_Offset_Y = 5;
    static constexpr int Packet_Offset_PenId = 7;
    static constexpr int Packet_Offset_Button = 7;
    static constexpr int BoardPenCount = 2; // pens of a registered board

    TwoPointFourGHzHub(TavioSystem* system, int handle, quint64 uid, bool connected, int version);
    ~TwoPointFourGHzHub() override;

    // Hub interface.
    bool isPenPacket(const QByteArray& packet) override;
    void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra) override;
    bool isHubBusy() override;
    bool hasKX9Board() const override;
    bool supportsRegistration() const override { return true; }
    int penCount() const override;
    int vendorId() const override { return -1; }
    int productId() const override { return -1; }
    bool isTouchSupported() override;
    bool isEraseSupported() override { return false; }
    void setConnected(bool connected) override;
    Type type() override { return Type_TwoPointFourGHz; }
    unsigned short canRegisterVotingDevicesCount() override;
    bool getDeviceCount(Device::Type type, int* count) override;
    bool getExpressionTypeCount(Device::SubType subType, int* count) override;
    bool getDeviceList(Device::Type type, QList<Device*>* list) override;
    bool getCompleteDeviceList(QList<Device*>* list) override;
    void readRegisteredDevicesLists() override;
    void processPacket(const QByteArray& packet) override;
    bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name) override;
    HubState getHubState() override;
    bool setBacklight(unsigned char level, unsigned char value) override;
    unsigned int getDeviceId(unsigned int address) override;
    bool setHubBusyCallback(HubBusyCallback callback, void* context) override;
    bool setBatteryLowCallback(BatteryLowCallback callback, void* context) override;

    // The 2.4 GHz hub's own operations.
    virtual QString name();
    virtual void asEndExpressionRegSession();
    virtual bool getRegistrationInfo(InformationResponse* info);
    virtual bool clearHub(OKResponse* response);
    virtual bool clearHubOfVotes(OKResponse* response);
    virtual bool clearHubOfSlates(OKResponse* response);
    virtual bool clearHubOfBoards(OKResponse* response);
    virtual bool clearHubOfExpressions(OKResponse* response);
    virtual bool clearHubOfPenExpressions(OKResponse* response);
    virtual bool readPenExpressionList();
    virtual bool removeTavioexpression(unsigned int uid);
    virtual bool stopRemoveExpressionDeviceSession();
    virtual bool removeTaviote(unsigned int uid);
    virtual bool stopRemoveVoteDeviceSession();
    virtual bool removeTavioslate(unsigned int uid);
    virtual bool stopRemoveSlateDeviceSession();
    virtual bool removePenExpression(unsigned int uid);

    State state();
    // Append the current list without asking the hub; always true.
    bool readTavioteList(QList<Device*>* list);
    bool readTavioexpressionList(QList<Device*>* list);
    bool readTavioSlateList(QList<Device*>* list);
    bool readPenExpressionList(QList<Device*>* list);
    int tavioteCount();
    int tavioexpressionCount();
    int tavioSlateCount();
    int tavioBoardCount();
    int penExpressionCount();
    Device* findVoteDevice(unsigned int uid);
    Device* findExpressionDevice(unsigned int uid);
    Device* findSlateDevice(unsigned int uid);
    Device* findPenExpressionDevice(unsigned int uid);
    bool getAddress(unsigned int uid, unsigned int& address);
    void setExpressionDeviceNamedCallback(DeviceNamedCallback callback, void* context);
    void setVoteDeviceNamedCallback(DeviceNamedCallback callback, void* context);

Q_SIGNALS:
    void expressionDeviceNamed(QString name, quint32 uid);
    void expressionDeviceRegistered(
        QString name, quint32 uid, Taviosystem::Device::SubType subType);
    void voteDeviceRegistered(QString name, quint32 uid);
    void slateDeviceRegistered(QString name, quint32 uid);
    void voteDeviceNamed(QString name, quint32 uid);
    void slateDeviceNamed(QString name, quint32 uid);
    void registrationChanged(Taviosystem::Hub* pHub);
    void hubBusy(Taviosystem::Hub* pHub, bool bBusy);

protected:
    TwoPointFourGHzHub();

    virtual bool readExpressionList();
    virtual bool readVoteList();
    virtual bool readSlateList();
    virtual bool readVirtualVoteList();
    bool readPenCount();

    // One of the four device lists and whether it must be read again before use.
    enum ListKind { List_Votes, List_Expressions, List_Slates, List_PenExpressions, ListCount };
    struct DeviceList
    {
        QList<Device*> devices;
        bool needsReading = true;
    };

    // Deletes a list's devices (later, in the hub's thread) and takes their addresses out of the
    // address map. Call with m_devicesMutex held.
    void deleteList(ListKind kind);
    void setNeedsReading(ListKind kind, bool needsReading);
    void deleteAllLists();
    // Adds a device to a list and its address to the map (replacing an earlier entry).
    void addDevice(ListKind kind, Device* device);

    mutable std::recursive_mutex m_devicesMutex; // the lists, their flags and the address map
    QMap<quint16, quint32> m_addressMap;
    DeviceList m_lists[ListCount];
    std::atomic<int> m_penCount { 0 };
    std::atomic<bool> m_clearing { false };
    void* m_callbackContext = nullptr;
    DeviceNamedCallback m_expressionDeviceNamedCallback = nullptr;
    void* m_expressionDeviceNamedContext = nullptr;
    DeviceNamedCallback m_voteDeviceNamedCallback = nullptr;
    void* m_voteDeviceNamedContext = nullptr;
    HubBusyCallback m_hubBusyCallback = nullptr;
    void* m_hubBusyContext = nullptr;
    BatteryLowCallback m_batteryLowCallback = nullptr;
    void* m_batteryLowContext = nullptr;
    EndUserNamingCallback m_endUserNamingCallback = nullptr;
    int m_currentQuestionId = 0;
    // Milliseconds to wait for the hub to acknowledge a clear or the end of a session, which it
    // does only once its flash is written.
    int m_flashWriteTimeout = m_nFlashWriteResponseMaximumWaitTime;

private:
    void registerResponseHandlers();
    bool clearWith(const QByteArray& command, OKResponse* response);
    bool readList(ListKind kind);
    bool removeDevice(ListKind kind, unsigned int uid);
    bool stopRemoveSession(std::initializer_list<ListKind> reread);
    bool processHubResetPacket(const QByteArray& packet);
    bool processBusyChangePacket(const QByteArray& packet);
    void processBatteryLowPacket(const QByteArray& packet);
    void processSessionPacket(const QByteArray& packet);
    Device* findDevice(ListKind kind, unsigned int uid) const;
    QByteArray deviceIdentifierOf(ListKind kind, unsigned int uid) const;
    void adopt(Device* device);
};

} // namespace Taviosystem
