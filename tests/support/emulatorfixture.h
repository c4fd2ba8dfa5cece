#pragma once

// The fixture of every test that drives the library against the hub emulator: a clean emulator,
// private application-data and settings folders, and a fresh system that loads the emulator.

#include "testhub.h"

#include <tavioemulator/emulator.h>
#include <tavioemulator/twopointfourghzfirmware.h>

#include <gtest/gtest.h>

#include <QtCore/QByteArray>
#include <QtCore/QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace TavioTest {

using namespace std::chrono_literals;

QByteArray toQByteArray(const TavioEmulator::Bytes& bytes);
TavioEmulator::Bytes toBytes(const QByteArray& bytes);
TavioEmulator::Bytes hex(const char* hexText);

// Collects values handed over from other threads (callbacks and direct signals of the packet
// and event threads); QSignalSpy is not safe for that.
template <typename T>
class Recorder
{
public:
    void append(const T& value)
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_values.push_back(value);
    }
    std::vector<T> values() const
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        return m_values;
    }
    std::size_t size() const
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        return m_values.size();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<T> m_values;
};

// Where the virtual hub's discovery client looks for its server: the system-scope settings a
// test has redirected to its own folder.
void writeDiscoverySettings(const QString& address, int tcpPort, int udpPort);
// A loopback UDP port that was free a moment ago.
quint16 freeUdpPort();

// Waits, processing Qt events, until the condition holds or the time-out passes.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 2000ms);

class EmulatorTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    TavioEmulator::Emulator& emulator() { return TavioEmulator::Emulator::instance(); }
    // Plugs in a 2.4 GHz hub with the given handle (and serial 0x1000 + handle).
    TavioEmulator::EmulatedHub* plugHub(
        int handle, const std::u16string& driverVersion = u"6.2.3.4");
    // Plugs in a 2.4 GHz hub (serial 0x1000 + handle) running `firmware`, and has the system make
    // the library's own 2.4 GHz hubs. Call before initialiseSystem().
    TavioEmulator::EmulatedHub* plugTavioHub(
        int handle, std::shared_ptr<TavioEmulator::TwoPointFourGHzFirmware> firmware);
    // Initialises the test system; asserts success.
    void initialiseSystem();
    TestHub* hub(int handle) { return system->testHub(handle); }
    // The hub's writes after its construction-time pen set-up.
    std::vector<QByteArray> writesOf(int handle);

    std::unique_ptr<QTemporaryDir> dataDir;
    std::unique_ptr<TestSystem> system;
};

} // namespace TavioTest
