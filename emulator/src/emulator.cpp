// The process-wide emulator: the hub list, the callback registry, the notification thread and
// the driver lock.
#include "emulator_p.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace TavioEmulator {

Emulator::Emulator() = default;
Emulator::~Emulator() = default;

namespace {

// How deep the calling thread holds the driver lock, so that a stray tavioUnlock cannot
// release a mutex this thread does not own.
thread_local int t_driverDepth = 0;

#if defined(TAVIOEMU_MINIMAL)
// The reduced build can start with a few 2.4 GHz hubs so that a host sees records through it.
// The count is read when the library is loaded: a host may clear the variable right after.
const long g_defaultHubs = [] {
    const char* text = std::getenv("TAVIOEMU_MINIMAL_HUBS");
    if (!text)
        return 0L;
    char* end = nullptr;
    const long count = std::strtol(text, &end, 10);
    return end == text ? 0L : std::clamp(count, 0L, 64L);
}();
#endif

std::atomic<EmulatorImpl*> g_emulator { nullptr };
// Kept reachable when unloading could not end one of the threads (a callback never returned).
EmulatorImpl* g_abandoned = nullptr;

// Creates the emulator on first use and stops its threads when the library is unloaded or the
// process exits. Until then the emulator object lives on, so calls made late during exit find
// either the emulator or nothing, never a half-destroyed object.
struct Owner
{
    Owner() { g_emulator.store(new EmulatorImpl(true), std::memory_order_release); }
    ~Owner()
    {
        EmulatorImpl* emulator = g_emulator.exchange(nullptr);
        if (!emulator)
            return;
        if (emulator->shutdown())
            delete emulator;
        else
            g_abandoned = emulator;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
};

} // namespace

EmulatorImpl* currentEmulator()
{
    static Owner owner;
    return g_emulator.load(std::memory_order_acquire);
}

Emulator& Emulator::instance()
{
    if (EmulatorImpl* emulator = currentEmulator())
        return *emulator;
    // Only while the library is being unloaded: an emulator that never starts anything.
    static EmulatorImpl* const inert = new EmulatorImpl(false);
    return *inert;
}

EmulatorImpl::EmulatorImpl(bool live)
    : live_(live)
{
    if (!live_) {
        shuttingDown_ = true;
        pnpStop_ = true;
        return;
    }
    pnpThread_ = std::thread([this] { runNotifications(); });
    pnpThreadId_ = pnpThread_.get_id();
    addDefaultHubs();
}

EmulatorImpl::~EmulatorImpl() { shutdown(); }

void EmulatorImpl::addDefaultHubs()
{
#if defined(TAVIOEMU_MINIMAL)
    for (int handle = 1; handle <= g_defaultHubs; ++handle) {
        HubConfig config;
        config.kind = 3;
        config.handle = handle;
        config.serial = 0x1000u + static_cast<unsigned>(handle);
        const std::string path = "emulated-hub-" + std::to_string(handle);
        config.devicePath.assign(path.begin(), path.end());
        addHubInternal(config, false);
    }
#endif
}

EmulatedHub* EmulatorImpl::addHub(const HubConfig& config) { return addHubInternal(config, true); }

EmulatedHub* EmulatorImpl::addHubWithFirmware(
    const HubConfig& config, std::shared_ptr<Firmware> firmware)
{
    return addHubInternal(config, true, std::move(firmware));
}

EmulatedHub* EmulatorImpl::addHubInternal(
    const HubConfig& config, bool notify, std::shared_ptr<Firmware> firmware)
{
    reapRetired(false);
    std::shared_ptr<HubImpl> hub;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (shuttingDown_)
            return nullptr;
        HubConfig assigned = config;
        if (assigned.handle != 0) {
            const bool inUse = std::any_of(hubs_.begin(), hubs_.end(),
                [&](const auto& plugged) { return plugged->handle() == assigned.handle; });
            if (inUse)
                return nullptr;
        } else {
            while (usedHandles_.count(nextHandle_))
                ++nextHandle_;
            assigned.handle = nextHandle_++;
        }
        usedHandles_.insert(assigned.handle);
        hub = std::make_shared<HubImpl>(*this, assigned);
        if (firmware)
            hub->setFirmware(std::move(firmware));
        hub->start();
        hubs_.push_back(hub);
    }
    if (notify)
        notifyPnp();
    return hub.get();
}

bool EmulatorImpl::removeHub(int handle)
{
    std::shared_ptr<HubImpl> hub;
    {
        std::lock_guard<std::mutex> lock(m_);
        auto it = std::find_if(hubs_.begin(), hubs_.end(),
            [handle](const auto& plugged) { return plugged->handle() == handle; });
        if (it == hubs_.end())
            return false;
        hub = *it;
        hubs_.erase(it);
    }
    retire(hub);
    reapRetired(false);
    notifyPnp();
    return true;
}

void EmulatorImpl::retire(const std::shared_ptr<HubImpl>& hub)
{
    hub->stop();
    if (hub->isPacketThread()) {
        // Removed from inside one of its own callbacks: its thread ends once the callback
        // returns and is joined later from another thread.
        std::lock_guard<std::mutex> lock(m_);
        retired_.push_back({ hub->takeThread(), hub });
    } else {
        hub->join();
    }
}

void EmulatorImpl::reapRetired(bool all)
{
    std::vector<Retired> done;
    {
        std::lock_guard<std::mutex> lock(m_);
        const auto self = std::this_thread::get_id();
        for (auto it = retired_.begin(); it != retired_.end();) {
            if (it->thread.get_id() != self && (all || it->hub->finished())) {
                done.push_back(std::move(*it));
                it = retired_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Retired& entry : done) {
        if (entry.thread.joinable())
            entry.thread.join();
    }
}

EmulatedHub* EmulatorImpl::hub(int handle) { return findHub(handle).get(); }

std::shared_ptr<HubImpl> EmulatorImpl::findHub(int handle) const
{
    std::lock_guard<std::mutex> lock(m_);
    for (const auto& plugged : hubs_) {
        if (plugged->handle() == handle)
            return plugged;
    }
    return nullptr;
}

std::vector<int> EmulatorImpl::handles() const
{
    std::lock_guard<std::mutex> lock(m_);
    std::vector<int> result;
    result.reserve(hubs_.size());
    for (const auto& plugged : hubs_)
        result.push_back(plugged->handle());
    return result;
}

void EmulatorImpl::reset()
{
    std::vector<std::shared_ptr<HubImpl>> hubs;
    {
        std::lock_guard<std::mutex> lock(m_);
        hubs.swap(hubs_);
        usedHandles_.clear();
        nextHandle_ = 1;
        failingIndex_ = -1;
        allWrites_.clear();
    }
    {
        std::lock_guard<std::mutex> lock(cbMutex_);
        packetCallbacks_.clear();
        pnpCb_ = nullptr;
        pnpCtx_ = nullptr;
    }
    {
        // Drop pending notifications and let the one being handled (if any) finish, so that
        // nothing from before the reset reaches a callback registered after it.
        std::unique_lock<std::mutex> lock(pnpMutex_);
        pnpPending_ = 0;
        pnpIdleCv_.notify_all();
        if (!onNotificationThread())
            pnpIdleCv_.wait(lock, [this] { return !pnpBusy_; });
    }
    for (const auto& hub : hubs)
        retire(hub);
    hubs.clear();
    reapRetired(true);
    attachCount_.store(0);
    detachCount_.store(0);
    attached_.store(false);
    pnpDelivered_.store(0);
}

void EmulatorImpl::setFailingRecordIndex(int index)
{
    std::lock_guard<std::mutex> lock(m_);
    failingIndex_ = index;
}

void EmulatorImpl::notifyPnp()
{
    std::lock_guard<std::mutex> lock(pnpMutex_);
    if (pnpStop_)
        return;
    ++pnpPending_;
    pnpCv_.notify_one();
}

bool EmulatorImpl::waitForPnpIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(pnpMutex_);
    if (onNotificationThread())
        return pnpPending_ == 0; // the notification running right now is our caller
    return pnpIdleCv_.wait_for(lock, timeout, [this] { return pnpPending_ == 0 && !pnpBusy_; });
}

bool EmulatorImpl::onNotificationThread() const
{
    return live_ && std::this_thread::get_id() == pnpThreadId_;
}

void EmulatorImpl::runNotifications()
{
    std::unique_lock<std::mutex> lock(pnpMutex_);
    for (;;) {
        pnpCv_.wait(lock, [this] { return pnpStop_ || pnpPending_ > 0; });
        if (pnpStop_)
            break;
        --pnpPending_;
        pnpBusy_ = true;
        lock.unlock();

        PnpCallback cb = nullptr;
        void* ctx = nullptr;
        {
            std::lock_guard<std::mutex> cbLock(cbMutex_);
            cb = pnpCb_;
            ctx = pnpCtx_;
            pnpInFlight_ = cb != nullptr;
        }
        if (cb) {
            cb(ctx);
            std::lock_guard<std::mutex> cbLock(cbMutex_);
            pnpInFlight_ = false;
            pnpDelivered_.fetch_add(1);
            cbCv_.notify_all();
        }

        lock.lock();
        pnpBusy_ = false;
        pnpIdleCv_.notify_all();
    }
    lock.unlock();
    pnpFinished_.store(true, std::memory_order_release);
}

int EmulatorImpl::attachCount() const { return attachCount_.load(); }

int EmulatorImpl::detachCount() const { return detachCount_.load(); }

bool EmulatorImpl::isAttached() const { return attached_.load(); }

int EmulatorImpl::lockDepth() const { return lockDepth_.load(); }

int EmulatorImpl::pnpNotificationsDelivered() const { return pnpDelivered_.load(); }

bool EmulatorImpl::hasPnpCallback() const
{
    std::lock_guard<std::mutex> lock(cbMutex_);
    return pnpCb_ != nullptr;
}

std::vector<Write> EmulatorImpl::allWrites() const
{
    std::lock_guard<std::mutex> lock(m_);
    return allWrites_;
}

void EmulatorImpl::clearAllWrites()
{
    {
        std::lock_guard<std::mutex> lock(m_);
        allWrites_.clear();
        allWrites_.shrink_to_fit();
    }
    for (const int handle : handles()) {
        if (const std::shared_ptr<HubImpl> plugged = findHub(handle))
            plugged->clearWrites();
    }
}

int EmulatorImpl::attach()
{
    attachCount_.fetch_add(1);
    attached_.store(true);
    return deviceCount();
}

void EmulatorImpl::detach()
{
    detachCount_.fetch_add(1);
    attached_.store(false);
}

int EmulatorImpl::deviceCount() const
{
    std::lock_guard<std::mutex> lock(m_);
    return static_cast<int>(hubs_.size());
}

bool EmulatorImpl::fillRecord(int index, unsigned char* record) const
{
    if (!record || index < 0)
        return false;
    HubConfig config;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (index >= static_cast<int>(hubs_.size()) || index == failingIndex_)
            return false;
        config = hubs_[static_cast<std::size_t>(index)]->record();
    }
    fillDeviceRecord(config, record);
    return true;
}

void EmulatorImpl::setPacketCallback(int handle, PacketCallback cb, void* ctx)
{
    std::unique_lock<std::mutex> lock(cbMutex_);
    if (!cb) {
        removePacketCallback(handle, lock);
        return;
    }
    packetCallbacks_[handle] = { cb, ctx };
}

void EmulatorImpl::clearCallback(int handle, void* cb)
{
    std::unique_lock<std::mutex> lock(cbMutex_);
    if (handle == 0 && pnpCb_ && reinterpret_cast<void*>(pnpCb_) == cb) {
        pnpCb_ = nullptr;
        pnpCtx_ = nullptr;
        waitForPnpCallback(lock);
        return;
    }
    auto it = packetCallbacks_.find(handle);
    if (it == packetCallbacks_.end() || reinterpret_cast<void*>(it->second.cb) != cb)
        return;
    removePacketCallback(handle, lock);
}

void EmulatorImpl::removePacketCallback(int handle, std::unique_lock<std::mutex>& lock)
{
    packetCallbacks_.erase(handle);
    waitForPacketCallbacks(handle, lock);
}

void EmulatorImpl::waitForPacketCallbacks(int handle, std::unique_lock<std::mutex>& lock)
{
    // A delivery already running on another thread finishes first; one running on this very
    // thread (the callback is clearing itself) cannot be waited for.
    const auto self = std::this_thread::get_id();
    cbCv_.wait(lock, [&] {
        return std::none_of(inFlight_.begin(), inFlight_.end(),
            [&](const auto& entry) { return entry.first == handle && entry.second != self; });
    });
}

void EmulatorImpl::waitForPnpCallback(std::unique_lock<std::mutex>& lock)
{
    if (onNotificationThread())
        return;
    cbCv_.wait(lock, [this] { return !pnpInFlight_; });
}

void EmulatorImpl::setPnpCallback(PnpCallback cb, void* ctx)
{
    std::unique_lock<std::mutex> lock(cbMutex_);
    pnpCb_ = cb;
    pnpCtx_ = ctx;
    if (!cb)
        waitForPnpCallback(lock);
}

bool EmulatorImpl::dispatchPacket(int handle, const Bytes& packet)
{
    PacketCallback cb = nullptr;
    void* ctx = nullptr;
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> lock(cbMutex_);
        auto it = packetCallbacks_.find(handle);
        if (it == packetCallbacks_.end())
            return false;
        cb = it->second.cb;
        ctx = it->second.ctx;
        inFlight_.emplace_back(handle, self);
    }

    static constexpr unsigned char nothing = 0;
    cb(handle, packet.empty() ? &nothing : packet.data(), static_cast<unsigned int>(packet.size()),
        ctx);

    std::lock_guard<std::mutex> lock(cbMutex_);
    auto it = std::find(inFlight_.begin(), inFlight_.end(), std::make_pair(handle, self));
    if (it != inFlight_.end())
        inFlight_.erase(it);
    cbCv_.notify_all();
    return true;
}

bool EmulatorImpl::hasPacketCallbackFor(int handle) const
{
    std::lock_guard<std::mutex> lock(cbMutex_);
    return packetCallbacks_.count(handle) != 0;
}

int EmulatorImpl::writePacket(int handle, const char* data, int length)
{
    if (!data || length < 0)
        return -1;
    const auto* begin = reinterpret_cast<const std::uint8_t*>(data);
    Bytes bytes(begin, begin + length);
    std::shared_ptr<HubImpl> target;
    {
        std::lock_guard<std::mutex> lock(m_);
        allWrites_.push_back({ handle, bytes });
        for (const auto& plugged : hubs_) {
            if (plugged->handle() == handle) {
                target = plugged;
                break;
            }
        }
    }
    if (!target)
        return -1;
    const HubImpl::WriteOutcome outcome = target->recordWrite(bytes);
    if (outcome.refused)
        return -1;
    if (outcome.firmware)
        outcome.firmware->onWrite(*target, bytes);
    return length;
}

void EmulatorImpl::lockDriver()
{
    driverLock_.lock();
    ++t_driverDepth;
    lockDepth_.fetch_add(1);
}

void EmulatorImpl::unlockDriver()
{
    if (t_driverDepth == 0)
        return;
    --t_driverDepth;
    lockDepth_.fetch_sub(1);
    driverLock_.unlock();
}

bool EmulatorImpl::shutdown()
{
    std::vector<std::shared_ptr<HubImpl>> hubs;
    std::vector<Retired> retired;
    {
        std::lock_guard<std::mutex> lock(m_);
        shuttingDown_ = true;
        hubs.swap(hubs_);
        retired.swap(retired_);
    }
    {
        std::lock_guard<std::mutex> lock(cbMutex_);
        packetCallbacks_.clear();
        pnpCb_ = nullptr;
        pnpCtx_ = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(pnpMutex_);
        pnpStop_ = true;
        pnpPending_ = 0;
        pnpCv_.notify_all();
        pnpIdleCv_.notify_all();
    }
    for (const auto& hub : hubs)
        hub->stop();

    // A thread still inside a callback gets a moment to return; one that does not (or the
    // calling thread itself, when the process exits from a callback) is let go.
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    const auto self = std::this_thread::get_id();
    auto end = [&](std::thread& thread, const auto& finished) {
        if (!thread.joinable())
            return true;
        if (thread.get_id() != self) {
            while (!finished() && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (finished()) {
                thread.join();
                return true;
            }
        }
        thread.detach();
        return false;
    };

    bool clean = end(pnpThread_, [this] { return pnpFinished_.load(std::memory_order_acquire); });
    std::vector<std::shared_ptr<HubImpl>> abandoned;
    for (const auto& hub : hubs) {
        std::thread thread = hub->takeThread();
        if (!end(thread, [&hub] { return hub->finished(); }))
            abandoned.push_back(hub);
    }
    for (Retired& entry : retired) {
        if (!end(entry.thread, [&entry] { return entry.hub->finished(); }))
            abandoned.push_back(entry.hub);
    }
    if (!abandoned.empty()) {
        clean = false;
        std::lock_guard<std::mutex> lock(m_);
        abandoned_.insert(abandoned_.end(), abandoned.begin(), abandoned.end());
    }
    return clean;
}

} // namespace TavioEmulator
