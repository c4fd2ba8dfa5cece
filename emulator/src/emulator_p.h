// Internals of the hub emulator: the hub and emulator implementations behind the control
// interface, shared by the C entry points.
#pragma once

#include "tavioemulator/emulator.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace TavioEmulator {

using Clock = std::chrono::steady_clock;
using PacketCallback
    = void (*)(int handle, const unsigned char* data, unsigned int length, void* ctx);
using PnpCallback = void (*)(void* ctx);

// Size of the device record tavioEnumDeviceInfo fills.
constexpr std::size_t DeviceRecordSize = 1024;
// Writes the record of one hub into `record` (DeviceRecordSize bytes). The first four bytes
// (the record version the caller preset) are left alone.
void fillDeviceRecord(const HubConfig& config, unsigned char* record);

class EmulatorImpl;

class HubImpl final : public EmulatedHub
{
public:
    HubImpl(EmulatorImpl& emulator, const HubConfig& config);
    ~HubImpl() override;

    int handle() const override;
    HubConfig config() const override;
    void deliver(const Bytes& packet, std::chrono::milliseconds delay) override;
    // Queues like deliver, due at `due`. A non-zero `tag` lets cancel() take the packet back
    // while it waits. `gate`, when set, runs on the packet thread right before the handover,
    // with no hub lock held; when it answers false the packet is dropped.
    void deliverAt(const Bytes& packet, Clock::time_point due, std::uint64_t tag = 0,
        std::function<bool()> gate = {});
    // Runs `fire` on the packet thread at `due`, with no hub lock held, unless `tag` is
    // cancelled (or the hub stops) first. A timer is no packet: waitUntilDelivered does not wait
    // for it.
    void startTimer(Clock::time_point due, std::uint64_t tag, std::function<void()> fire);
    // Drops every queued packet and timer that carries `tag` (never those of tag 0); answers how
    // many.
    std::size_t cancel(std::uint64_t tag);
    bool waitUntilDelivered(std::chrono::milliseconds timeout) override;
    int packetsDelivered() const override;
    void setFirmware(std::shared_ptr<Firmware> firmware) override;
    std::shared_ptr<Firmware> firmware() const override;
    std::vector<Write> writes() const override;
    void clearWrites() override;
    bool waitForWrites(std::size_t count, std::chrono::milliseconds timeout) override;
    void setRefuseWrites(bool refuse) override;
    void refuseNextWrites(int count) override;
    BoardSettings boardSettings() const override;
    void setBoardSettings(const BoardSettings& settings) override;
    bool hasPacketCallback() const override;

    // Packet thread control. start() once; stop() drops the queue and ends the loop after the
    // delivery in progress; join() must not be called on the packet thread itself.
    void start();
    void stop();
    void join();
    std::thread takeThread();
    bool isPacketThread() const;
    bool finished() const { return finished_.load(std::memory_order_acquire); }

    const HubConfig& record() const { return config_; }

    // Records one write and tells whether it is refused; hands out the firmware to call.
    struct WriteOutcome
    {
        bool refused = false;
        std::shared_ptr<Firmware> firmware;
    };
    WriteOutcome recordWrite(const Bytes& bytes);

    // Runs f on the board settings under the hub's lock and returns its result.
    template <class F>
    auto withSettings(F&& f)
    {
        std::lock_guard<std::mutex> lock(m_);
        return f(settings_);
    }

private:
    void run();

    using Key = std::pair<Clock::time_point, std::uint64_t>;
    struct Queued
    {
        Bytes packet;
        std::uint64_t tag = 0;
        std::function<bool()> gate;
        bool timer = false;
    };

    EmulatorImpl& emulator_;
    const HubConfig config_;

    mutable std::mutex m_;
    std::condition_variable wakeCv_; // the packet thread waits here
    std::condition_variable idleCv_; // waitUntilDelivered waits here
    std::condition_variable writesCv_; // waitForWrites waits here
    std::map<Key, Queued> queue_;
    std::size_t timers_ = 0; // entries of queue_ that are timers
    std::uint64_t sequence_ = 0;
    bool stopping_ = false;
    bool delivering_ = false;
    std::thread thread_;
    std::thread::id threadId_;
    std::atomic<bool> finished_ { false };
    std::atomic<int> delivered_ { 0 };

    std::vector<Write> writes_;
    bool refuseAll_ = false;
    int refuseCount_ = 0;
    std::shared_ptr<Firmware> firmware_;
    BoardSettings settings_;
};

class EmulatorImpl final : public Emulator
{
public:
    // An emulator that is not live never starts threads (handed out only while unloading).
    explicit EmulatorImpl(bool live);
    ~EmulatorImpl() override;

    EmulatedHub* addHub(const HubConfig& config) override;
    bool removeHub(int handle) override;
    EmulatedHub* hub(int handle) override;
    std::vector<int> handles() const override;
    void reset() override;
    void setFailingRecordIndex(int index) override;
    void notifyPnp() override;
    bool waitForPnpIdle(std::chrono::milliseconds timeout) override;
    int attachCount() const override;
    int detachCount() const override;
    bool isAttached() const override;
    int lockDepth() const override;
    int pnpNotificationsDelivered() const override;
    bool hasPnpCallback() const override;
    std::vector<Write> allWrites() const override;
    void clearAllWrites() override;

    // Plugs a hub in with its firmware already set, then notifies.
    EmulatedHub* addHubWithFirmware(const HubConfig& config, std::shared_ptr<Firmware> firmware);

    // The C side.
    int attach();
    void detach();
    int deviceCount() const;
    bool fillRecord(int index, unsigned char* record) const;
    void setPacketCallback(int handle, PacketCallback cb, void* ctx);
    void clearCallback(int handle, void* cb);
    void setPnpCallback(PnpCallback cb, void* ctx);
    int writePacket(int handle, const char* data, int length);
    std::shared_ptr<HubImpl> findHub(int handle) const;
    void lockDriver();
    void unlockDriver();

    // Called by a hub's packet thread: hands one packet to the callback registered for the
    // handle. False when there is none (the packet is dropped).
    bool dispatchPacket(int handle, const Bytes& packet);
    bool hasPacketCallbackFor(int handle) const;

    // Stops every thread for unloading. True when all of them ended, so the object may be
    // deleted; false when one could not be joined (it is then left alive).
    bool shutdown();

private:
    struct Callback
    {
        PacketCallback cb = nullptr;
        void* ctx = nullptr;
    };
    struct Retired
    {
        std::thread thread;
        std::shared_ptr<HubImpl> hub;
    };

    EmulatedHub* addHubInternal(
        const HubConfig& config, bool notify, std::shared_ptr<Firmware> firmware = nullptr);
    void addDefaultHubs();
    void retire(const std::shared_ptr<HubImpl>& hub);
    void reapRetired(bool all);
    void removePacketCallback(int handle, std::unique_lock<std::mutex>& lock);
    void waitForPacketCallbacks(int handle, std::unique_lock<std::mutex>& lock);
    void waitForPnpCallback(std::unique_lock<std::mutex>& lock);
    void runNotifications();
    bool onNotificationThread() const;

    const bool live_;

    // Hubs, handles, records and writes.
    mutable std::mutex m_;
    std::vector<std::shared_ptr<HubImpl>> hubs_; // in the order they were added
    std::set<int> usedHandles_;
    int nextHandle_ = 1;
    int failingIndex_ = -1;
    std::vector<Write> allWrites_;
    std::vector<Retired> retired_; // hubs removed from their own packet thread
    std::vector<std::shared_ptr<HubImpl>> abandoned_; // threads that did not end at unload
    bool shuttingDown_ = false;

    // Callbacks and the deliveries running right now.
    mutable std::mutex cbMutex_;
    std::condition_variable cbCv_;
    std::map<int, Callback> packetCallbacks_;
    std::vector<std::pair<int, std::thread::id>> inFlight_;
    PnpCallback pnpCb_ = nullptr;
    void* pnpCtx_ = nullptr;
    bool pnpInFlight_ = false;

    // The notification queue.
    std::mutex pnpMutex_;
    std::condition_variable pnpCv_;
    std::condition_variable pnpIdleCv_;
    int pnpPending_ = 0;
    bool pnpBusy_ = false;
    bool pnpStop_ = false;
    std::atomic<bool> pnpFinished_ { false };
    std::thread pnpThread_;
    std::thread::id pnpThreadId_;

    std::atomic<int> attachCount_ { 0 };
    std::atomic<int> detachCount_ { 0 };
    std::atomic<bool> attached_ { false };
    std::atomic<int> pnpDelivered_ { 0 };
    std::atomic<int> lockDepth_ { 0 };
    std::recursive_mutex driverLock_;
};

// A fresh tag for HubImpl::deliverAt, unique in the process: several firmwares may share one
// hub's queue and take back their own packets.
std::uint64_t nextPacketTag();

// The process-wide emulator used by the C functions; null once the library is unloading.
EmulatorImpl* currentEmulator();

} // namespace TavioEmulator
