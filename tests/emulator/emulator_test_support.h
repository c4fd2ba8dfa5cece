// Shared by the emulator tests: the board library's C functions as the system sees them, a
// fixture that leaves the emulator clean, a thread-safe packet recorder and a fixture with one
// plugged-in hub.
#pragma once

#include <tavioemulator/emulator.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

extern "C" {
int tavioAttach(void);
void tavioDetach(void);
int tavioInterface(void);
void tavioSetCallback(int handle,
    void (*cb)(int handle, const unsigned char* data, unsigned int length, void* ctx), void* ctx);
void tavioClearCallback(int handle, void* cb, void* ctx);
int tavioWritePacket(int handle, const char* data, int length);
int tavioGetDeviceCount(void);
unsigned char tavioEnumDeviceInfo(int index, void* info);
void tavioSetPnpCallback(void (*cb)(void* ctx), void* ctx);
void tavioLock(void);
void tavioUnlock(void);
}

namespace EmulatorTests {

using namespace std::chrono_literals;
using TavioEmulator::Bytes;
using TavioEmulator::Emulator;
using Packets = std::vector<Bytes>;

class EmulatorTest : public ::testing::Test
{
protected:
    void SetUp() override { Emulator::instance().reset(); }
    void TearDown() override { Emulator::instance().reset(); }

    static Emulator& emu() { return Emulator::instance(); }
};

// Collects the packets a callback receives, with the thread they arrived on.
struct PacketLog
{
    std::mutex m;
    std::vector<std::pair<int, Bytes>> packets;
    std::thread::id thread;

    static void callback(int handle, const unsigned char* data, unsigned int length, void* ctx)
    {
        auto* log = static_cast<PacketLog*>(ctx);
        std::lock_guard<std::mutex> lock(log->m);
        log->packets.emplace_back(handle, Bytes(data, data + length));
        log->thread = std::this_thread::get_id();
    }

    // The packets after the first `seen` once everything queued on `hub` was delivered (within
    // `timeout`); `seen` then counts them all.
    Packets takeFresh(
        TavioEmulator::EmulatedHub& hub, std::size_t& seen, std::chrono::milliseconds timeout)
    {
        EXPECT_TRUE(hub.waitUntilDelivered(timeout));
        const Packets all = bytes();
        const Packets fresh(all.begin() + std::ptrdiff_t(std::min(seen, all.size())), all.end());
        seen = all.size();
        return fresh;
    }

    // The packets without their handles.
    Packets bytes()
    {
        std::lock_guard<std::mutex> lock(m);
        Packets result;
        for (const auto& packet : packets)
            result.push_back(packet.second);
        return result;
    }
};

// One plugged-in hub whose packets are collected.
class HubTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        hub = emu().addHub({});
        tavioSetCallback(hub->handle(), &PacketLog::callback, &log);
    }

    // The packets received since the last call, once everything queued was delivered.
    Packets take() { return log.takeFresh(*hub, seen, 500ms); }

    TavioEmulator::EmulatedHub* hub = nullptr;
    PacketLog log;
    std::size_t seen = 0;
};

template <typename Function>
void* asPointer(Function* function)
{
    return reinterpret_cast<void*>(function);
}

inline int write(int handle, const Bytes& bytes)
{
    return tavioWritePacket(
        handle, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

} // namespace EmulatorTests
