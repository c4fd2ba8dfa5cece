// Shared by the emulator tests: the board library's C functions as the system sees them, a
// fixture that leaves the emulator clean, and a thread-safe packet recorder.
#pragma once

#include <tavioemulator/emulator.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
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
void tavioSetPointingDeviceDestinationEx(
    int handle, unsigned char pen, int flag, unsigned char mode, int extra);
unsigned char tavioGetPointingDeviceDestination(int handle, unsigned char pen, int zero);
void tavioSetTouchDestinationEx(int handle, unsigned char mode, int extra);
unsigned char tavioGetTouchDestination(int handle);
void tavioSetTouchEnabled(int handle, int on);
int tavioGetTouchEnabled(int handle);
void tavioSendTouchPacketToSystem(int handle, const unsigned char* data, unsigned char length);
void tavioSetLATEDetection(int handle, int on);
unsigned char tavioGetLATEDetection(int handle);
void tavioReverseButtons(int handle, int on);
void tavioLock(void);
void tavioUnlock(void);
}

namespace EmulatorTests {

using namespace std::chrono_literals;
using TavioEmulator::Bytes;
using TavioEmulator::Emulator;

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
    std::condition_variable cv;
    std::vector<std::pair<int, Bytes>> packets;
    std::thread::id thread;

    static void callback(int handle, const unsigned char* data, unsigned int length, void* ctx)
    {
        auto* log = static_cast<PacketLog*>(ctx);
        std::lock_guard<std::mutex> lock(log->m);
        log->packets.emplace_back(handle, Bytes(data, data + length));
        log->thread = std::this_thread::get_id();
        log->cv.notify_all();
    }

    bool waitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, 500ms, [&] { return packets.size() >= count; });
    }

    std::vector<std::pair<int, Bytes>> snapshot()
    {
        std::lock_guard<std::mutex> lock(m);
        return packets;
    }
};

inline void* asPointer(void (*cb)(int, const unsigned char*, unsigned int, void*))
{
    return reinterpret_cast<void*>(cb);
}

inline void* asPointer(void (*cb)(void*)) { return reinterpret_cast<void*>(cb); }

inline int write(int handle, const Bytes& bytes)
{
    return tavioWritePacket(
        handle, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

} // namespace EmulatorTests
