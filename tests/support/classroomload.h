#pragma once

// A whole classroom against the hub emulator: emulated 2.4 GHz hubs full of expression learners,
// a multiple-choice question on every hub, and every learner's answer timed from the moment the
// emulator's packet thread hands it over until the host hears it. Shared by the load benchmark
// (bench/classroomload.cpp) and its correctness test at a small size.

#include "testhub.h"

#include <tavioemulator/emulator.h>

#include <QtCore/QObject>
#include <QtCore/QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace TavioTest {

class ClassroomLoad
{
public:
    // Who takes the answer packets the emulator delivers.
    enum class Consumer {
        Callback, // the library, answers to the host's callback
        DirectSignal, // the library, answers by a signal connected directly
        QueuedSignal, // the library, answers by a signal queued to the calling thread
        EmptyConsumer, // nothing behind the emulator's packet path: the tap counts the answer
    };

    struct Options
    {
        Consumer consumer = Consumer::Callback;
        // How long the host's callback or slot works on each answer (busy, microseconds).
        int hostWorkMicroseconds = 0;
        // Learners answer at random times in [0, spread] after `delay`; spread 0: all at once.
        // The delay lets every hub queue all its answers before the first one is handed over, so
        // that a burst runs at the speed of the packet threads.
        std::chrono::milliseconds spread { 0 };
        std::chrono::milliseconds delay { 30 };
    };

    // One question on every hub: what reached the host.
    struct Result
    {
        int expected = 0; // answers the learners sent
        int received = 0; // answers the host heard, duplicates included
        int lost = 0; // learners whose answer never came
        int duplicated = 0; // answers heard more than once
        int wrong = 0; // answers with another uid's text or another question's id
        int untimed = 0; // answers that did not pass the tap (the scenario itself went wrong)
        double seconds = 0; // first hand-over to last answer heard
        // Per answer, nanoseconds from the hand-over to the host, ascending.
        std::vector<std::int64_t> latencies;
        // Per answer packet, nanoseconds the emulator's packet callback took, ascending. The
        // median is the figure to compare: a packet thread that loses its core inside the
        // callback adds milliseconds to a single packet.
        std::vector<std::int64_t> callbackTimes;

        static std::int64_t percentile(const std::vector<std::int64_t>& sorted, double fraction);
    };

    ClassroomLoad(int hubs, int learnersPerHub);
    ~ClassroomLoad();
    ClassroomLoad(const ClassroomLoad&) = delete;
    ClassroomLoad& operator=(const ClassroomLoad&) = delete;

    // The firmware of each hub (its learners are added to it); by default a plain 2.4 GHz hub.
    using FirmwareFactory
        = std::function<std::shared_ptr<TavioEmulator::TwoPointFourGHzFirmware>()>;
    void setFirmwareFactory(FirmwareFactory factory) { m_firmwareFactory = std::move(factory); }
    // Plugs the hubs in and initialises the system; false when a hub did not come up.
    bool start();
    TestTavioHub* hub(int index) const;
    // Asks one question on every hub and waits (up to `timeout`) for the answers.
    Result askQuestion(const Options& options,
        std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

    int hubCount() const { return m_hubCount; }
    int learnersPerHub() const { return m_learnersPerHub; }
    // The uid of learner `learner` of hub `hub`, and the answer letters it sends.
    static std::uint32_t learnerUid(int hub, int learner);
    static std::string learnerAnswer(std::uint32_t uid);

    // Packet thread tap, public for the C callback: one per hub.
    struct Tap;
    // Runs on a hub's packet thread for every answer the host hears.
    void answerHeard(std::uint32_t uid, int questionId, const QString& text);

private:
    void installTaps();
    void tapPacket(Tap& tap, int handle, const unsigned char* data, unsigned int length);
    static void tapCallback(int handle, const unsigned char* data, unsigned int length, void* tap);
    friend struct Tap;

    FirmwareFactory m_firmwareFactory;
    const int m_hubCount;
    const int m_learnersPerHub;
    QTemporaryDir m_dataDir;
    std::unique_ptr<TestSystem> m_system;
    std::vector<std::shared_ptr<TavioEmulator::TwoPointFourGHzFirmware>> m_firmware;
    std::vector<TavioEmulator::EmulatedHub*> m_emulated;
    std::vector<std::unique_ptr<Tap>> m_taps;
    QObject m_receiver; // lives on the thread that asks the questions

    // Per learner (hub * learnersPerHub + index): the hand-over time of its answer packet
    // (steady clock, nanoseconds), the latency heard and how often it was heard.
    std::unique_ptr<std::atomic<std::int64_t>[]> m_handedOver;
    std::unique_ptr<std::int64_t[]> m_latency;
    std::unique_ptr<std::int64_t[]> m_callbackTime;
    std::unique_ptr<std::atomic<int>[]> m_heard;
    std::atomic<int> m_received { 0 };
    std::atomic<int> m_wrong { 0 };
    std::atomic<int> m_untimed { 0 };
    std::atomic<std::int64_t> m_lastHeard { 0 };
    int m_questionId = 0;
    Consumer m_consumer = Consumer::Callback;
    int m_hostWork = 0;
};

} // namespace TavioTest
