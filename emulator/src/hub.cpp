// One plugged-in receiver: its packet queue and thread, the writes it saw and its settings.
#include "emulator_p.h"

#include <algorithm>

namespace TavioEmulator {

EmulatedHub::~EmulatedHub() = default;

std::uint64_t nextPacketTag()
{
    static std::atomic<std::uint64_t> next { 1 };
    return next.fetch_add(1);
}

HubImpl::HubImpl(EmulatorImpl& emulator, const HubConfig& config)
    : emulator_(emulator)
    , config_(config)
{
}

HubImpl::~HubImpl()
{
    // The emulator joins (or hands over) the thread before it lets go of a hub; this is only a
    // safety net.
    stop();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

int HubImpl::handle() const { return config_.handle; }

HubConfig HubImpl::config() const { return config_; }

void HubImpl::deliver(const Bytes& packet, std::chrono::milliseconds delay)
{
    deliverAt(packet, Clock::now() + std::max(delay, std::chrono::milliseconds(0)));
}

void HubImpl::deliverAt(
    const Bytes& packet, Clock::time_point due, std::uint64_t tag, std::function<bool()> gate)
{
    std::lock_guard<std::mutex> lock(m_);
    if (stopping_)
        return;
    queue_.emplace(Key { due, sequence_++ }, Queued { packet, tag, std::move(gate) });
    wakeCv_.notify_one();
}

void HubImpl::startTimer(Clock::time_point due, std::uint64_t tag, std::function<void()> fire)
{
    std::lock_guard<std::mutex> lock(m_);
    if (stopping_)
        return;
    auto gate = [fire = std::move(fire)] {
        fire();
        return false;
    };
    queue_.emplace(Key { due, sequence_++ }, Queued { {}, tag, std::move(gate), true });
    ++timers_;
    wakeCv_.notify_one();
}

std::size_t HubImpl::cancel(std::uint64_t tag)
{
    if (tag == 0)
        return 0;
    std::size_t dropped = 0;
    {
        std::lock_guard<std::mutex> lock(m_);
        for (auto it = queue_.begin(); it != queue_.end();) {
            if (it->second.tag == tag) {
                timers_ -= it->second.timer ? 1 : 0;
                it = queue_.erase(it);
                ++dropped;
            } else {
                ++it;
            }
        }
        // The packet thread may be waiting for a deadline that is gone now.
        wakeCv_.notify_all();
    }
    idleCv_.notify_all();
    return dropped;
}

bool HubImpl::waitUntilDelivered(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_);
    if (threadId_ == std::this_thread::get_id())
        return queue_.size() == timers_; // waiting here for our own thread would never end
    return idleCv_.wait_for(
        lock, timeout, [this] { return queue_.size() == timers_ && !delivering_; });
}

int HubImpl::packetsDelivered() const { return delivered_.load(); }

void HubImpl::setFirmware(std::shared_ptr<Firmware> firmware)
{
    std::lock_guard<std::mutex> lock(m_);
    firmware_ = std::move(firmware);
}

std::shared_ptr<Firmware> HubImpl::firmware() const
{
    std::lock_guard<std::mutex> lock(m_);
    return firmware_;
}

std::vector<Write> HubImpl::writes() const
{
    std::lock_guard<std::mutex> lock(m_);
    return writes_;
}

void HubImpl::clearWrites()
{
    std::lock_guard<std::mutex> lock(m_);
    writes_.clear();
}

bool HubImpl::waitForWrites(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_);
    return writesCv_.wait_for(lock, timeout, [&] { return writes_.size() >= count; });
}

void HubImpl::setRefuseWrites(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_);
    refuseAll_ = refuse;
}

void HubImpl::refuseNextWrites(int count)
{
    std::lock_guard<std::mutex> lock(m_);
    refuseCount_ = std::max(count, 0);
}

BoardSettings HubImpl::boardSettings() const
{
    std::lock_guard<std::mutex> lock(m_);
    return settings_;
}

void HubImpl::setBoardSettings(const BoardSettings& settings)
{
    std::lock_guard<std::mutex> lock(m_);
    settings_ = settings;
}

bool HubImpl::hasPacketCallback() const { return emulator_.hasPacketCallbackFor(config_.handle); }

HubImpl::WriteOutcome HubImpl::recordWrite(const Bytes& bytes)
{
    WriteOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(m_);
        writes_.push_back({ config_.handle, bytes });
        if (refuseAll_) {
            outcome.refused = true;
        } else if (refuseCount_ > 0) {
            --refuseCount_;
            outcome.refused = true;
        } else {
            outcome.firmware = firmware_;
        }
    }
    writesCv_.notify_all();
    return outcome;
}

void HubImpl::start()
{
    std::lock_guard<std::mutex> lock(m_);
    thread_ = std::thread([this] { run(); });
    threadId_ = thread_.get_id();
}

void HubImpl::stop()
{
    std::lock_guard<std::mutex> lock(m_);
    stopping_ = true;
    queue_.clear();
    timers_ = 0;
    wakeCv_.notify_all();
    idleCv_.notify_all();
}

void HubImpl::join()
{
    if (thread_.joinable())
        thread_.join();
}

std::thread HubImpl::takeThread() { return std::move(thread_); }

bool HubImpl::isPacketThread() const
{
    std::lock_guard<std::mutex> lock(m_);
    return threadId_ == std::this_thread::get_id();
}

void HubImpl::run()
{
    std::unique_lock<std::mutex> lock(m_);
    while (!stopping_) {
        if (queue_.empty()) {
            wakeCv_.wait(lock);
            continue;
        }
        auto next = queue_.begin();
        // A copy: the queue entry may be gone by the time the wait re-checks its deadline.
        const Clock::time_point due = next->first.first;
        if (due > Clock::now()) {
            wakeCv_.wait_until(lock, due);
            continue;
        }
        Queued item = std::move(next->second);
        queue_.erase(next);
        timers_ -= item.timer ? 1 : 0;
        delivering_ = true;
        lock.unlock();

        const bool pass = !item.gate || item.gate();
        const bool handed = pass && emulator_.dispatchPacket(config_.handle, item.packet);
        item.gate = nullptr; // whatever it holds goes before the hub lock is taken again

        lock.lock();
        delivering_ = false;
        if (handed)
            delivered_.fetch_add(1);
        idleCv_.notify_all();
    }
    queue_.clear();
    timers_ = 0;
    lock.unlock();
    finished_.store(true, std::memory_order_release);
}

} // namespace TavioEmulator
