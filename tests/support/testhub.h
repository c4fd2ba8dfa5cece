#pragma once

// A small concrete hub over the abstract base, and a system that creates it for the emulator's
// 2.4 GHz records, so that the base machinery can be driven as a host would drive a real hub.

#include "hub/hubengine.h"

#include <taviosystem/hub.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghzhub.h>
#include <taviosystem/virtualtwopointfourghzhub.h>

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QMutex>

#include <atomic>
#include <functional>

namespace TavioTest {

// A reply class for engine tests: exactly 4 bytes, 04 7E, then two bytes of payload.
class TestReply : public Taviosystem::HubResponse
{
public:
    static const char Kind = 0x7E;
    TestReply() = default;
    explicit TestReply(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    QByteArray payload;
};

// A record of a test device list: exactly 5 bytes, 05 7D, three bytes. On the wire a list ends
// with listTerminator(); the reader sees endOfListPacket() 05 7D FF FF FF in its place (which
// passes the record test too).
class TestRecord : public Taviosystem::HubResponse
{
public:
    static const char Kind = 0x7D;
    TestRecord() = default;
    explicit TestRecord(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    static QByteArray endOfListPacket();
    static QByteArray listTerminator();
};

// A reply class no handler is registered for.
class UnregisteredReply : public Taviosystem::HubResponse
{
public:
    UnregisteredReply() = default;
    explicit UnregisteredReply(const QByteArray&) { }
    static bool isResponse(const QByteArray&) { return true; }
};

class TestHub : public Taviosystem::Hub
{
    Q_OBJECT
public:
    TestHub(Taviosystem::TavioSystem* system, int handle, quint64 uid, int version,
        bool initialisePens = true);

    // Engine entry points, public for the tests.
    bool exchange(const QByteArray& command, TestReply& reply, int timeoutMs)
    {
        return sendAndReceive(command, reply, timeoutMs);
    }
    bool exchangeUnregistered(const QByteArray& command, int timeoutMs)
    {
        UnregisteredReply reply;
        return sendAndReceive(command, reply, timeoutMs);
    }
    bool collect(const QByteArray& command, QList<QByteArray>& records, int timeoutMs)
    {
        return sendAndCollect<TestRecord>(command, records, timeoutMs);
    }
    bool sendRaw(const QByteArray& command) { return send(command); }
    void setResponseTimeout(int ms) { m_responseTimeout = ms; }
    void setReenumerateDelayOverride(int ms) { m_reenumerateDelayOverride = ms; }
    void setVersion(int version) { m_version = version; }
    using Hub::isRFChangeStatePacket;

    // Address map used by votes.
    void mapAddress(unsigned int address, unsigned int uid);

    // What reached this hub's packet processing (after the base), in order.
    QList<QByteArray> receivedPackets() const;
    // The last packet as the hub was handed it, not copied here: whether its bytes stay put
    // after the packet callback returned is up to the system.
    QByteArray lastPacketAsHanded() const;
    int reenumerations() const { return m_reenumerations; }
    void setBeforeProcess(std::function<void(const QByteArray&)> hook) { m_beforeProcess = hook; }
    // Whether processPacket keeps a copy of every packet (off for benchmarks and fuzzing).
    void setRecordPackets(bool record) { m_recordPackets = record; }
    using Hub::setSessionType;

    // Hub interface.
    bool isPenPacket(const QByteArray& packet) override;
    void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra) override;
    bool isHubBusy() override { return false; }
    bool hasKX9Board() const override { return false; }
    bool supportsRegistration() const override { return true; }
    int penCount() const override { return 2; }
    int vendorId() const override { return 0; }
    int productId() const override { return 0; }
    bool isTouchSupported() override { return true; }
    bool isEraseSupported() override { return false; }
    Type type() override { return Type_TwoPointFourGHz; }
    bool getDeviceCount(Taviosystem::Device::Type, int* count) override;
    bool getDeviceList(Taviosystem::Device::Type, QList<Taviosystem::Device*>* list) override;
    bool getCompleteDeviceList(QList<Taviosystem::Device*>* list) override;
    void readRegisteredDevicesLists() override;
    bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name) override;
    unsigned int getDeviceId(unsigned int address) override;
    bool setHubBusyCallback(HubBusyCallback, void*) override { return true; }
    void processPacket(const QByteArray& packet) override;

Q_SIGNALS:
    void listsRead();

private:
    mutable QMutex m_mutex;
    QHash<unsigned int, unsigned int> m_addressMap;
    QList<QByteArray> m_received;
    QByteArray m_lastAsHanded;
    std::atomic<int> m_reenumerations { 0 };
    std::function<void(const QByteArray&)> m_beforeProcess;
    bool m_recordPackets = true;
};

// The library's 2.4 GHz hub, with a few of its protected parts opened for tests.
class TestTavioHub : public Taviosystem::TwoPointFourGHzHub
{
    Q_OBJECT
public:
    using Hub::readVirtualVoteFile;
    using Hub::setSessionType;
    using TwoPointFourGHzHub::TwoPointFourGHzHub;
    // Shortens both waits, so that tests of a silent hub take no seconds.
    void setResponseTimeout(int ms)
    {
        m_responseTimeout = ms;
        m_flashWriteTimeout = ms;
    }
    void setCurrentQuestionId(int id) { m_currentQuestionId = id; }
    Taviosystem::EnhancedSessionHandler* transportHandler() { return m_enhancedHandler; }
    // Reads one list from the hub, as the host's list query and the event thread's re-read do.
    bool readTavioteListFromHub() { return readVoteList(); }
    bool readTavioSlateListFromHub() { return readSlateList(); }
    void setAnswerCompletionTimeout(int ms) { m_answerCompletionTimeout = ms; }
};

// The library's virtual 2.4 GHz hub with its waits open to tests.
class TestVirtualHub : public Taviosystem::VirtualTwoPointFourGHzHub
{
    Q_OBJECT
public:
    using Hub::setSessionType;
    using VirtualTwoPointFourGHzHub::replaceDiscoveryClient;
    using VirtualTwoPointFourGHzHub::VirtualTwoPointFourGHzHub;
    Taviosystem::EnhancedSessionHandler* transportHandler() { return m_enhancedHandler; }
    void setResponseTimeout(int ms)
    {
        m_responseTimeout = ms;
        m_flashWriteTimeout = ms;
    }
};

// A system that makes TestHubs (or TestTavioHubs) for 2.4 GHz records. Constructed per test, unlike
// the host's singleton, so every test starts from a fresh system.
class TestSystem : public Taviosystem::TavioSystem
{
    Q_OBJECT
public:
    TestSystem();
    ~TestSystem() override;

    // Runs before each discovery pass (on the thread that runs it); may block.
    std::function<void()> beforeUpdateHubs;
    std::atomic<int> updateHubsRuns { 0 };
    enum class Hubs { Test, Tavio, None };
    Hubs hubs = Hubs::Test; // what 2.4 GHz records become
    bool initialisePens = true;

    TestHub* testHub(int handle);
    TestTavioHub* tavioHub(int handle);
    // With Hubs::Tavio, virtual hub records (kind 4) become TestVirtualHubs.
    TestVirtualHub* virtualHub(int handle);
    Taviosystem::Hub* connectedHub(int handle);
    // Lists a new hub under a handle without any board library (benchmarks and fuzzing); it
    // keeps no copies of its packets.
    TestHub* addUnattachedHub(int handle, bool initialisePens);
    TestTavioHub* addUnattachedTavioHub(int handle);
    // Lists a hub made elsewhere under a handle (the table takes ownership).
    void listHub(int handle, Taviosystem::Hub* hub) { insertHub(handle, hub); }
    using TavioSystem::parseAdditionalDeviceInfo;
    TestVirtualHub* addUnattachedVirtualHub(int handle, const QString& info);
    using TavioSystem::wrapper;

protected:
    Taviosystem::Hub* createHub(const Taviosystem::BoardDeviceInfo& record) override;
    void updateHubs() override;
};

} // namespace TavioTest
