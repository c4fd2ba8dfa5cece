#include "classroomload.h"

#include <taviosystem/hub.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QSettings>
#include <QtCore/QThread>

#include <algorithm>
#include <cmath>

// The emulator's own registration function, to put the tap in front of the library's.
extern "C" void tavioSetCallback(int handle,
    void (*cb)(int handle, const unsigned char* data, unsigned int length, void* ctx), void* ctx);

namespace TavioTest {

using namespace std::chrono_literals;
using Taviosystem::Hub;
using Taviosystem::TavioSystem;

namespace {

const int FirstHandle = 21;
const std::uint16_t FirstAddress = 0x0100;
const int OptionCount = 6;

std::int64_t now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void work(int microseconds)
{
    if (microseconds <= 0)
        return;
    const std::int64_t until = now() + std::int64_t(microseconds) * 1000;
    while (now() < until) { }
}

bool isAnswerPacket(const unsigned char* data, unsigned int length)
{
    return length >= 6 && data[0] == 0x0C && data[1] == 0x83;
}

} // namespace

struct ClassroomLoad::Tap
{
    ClassroomLoad* load = nullptr;
    int hub = 0;
};

std::int64_t ClassroomLoad::Result::percentile(
    const std::vector<std::int64_t>& sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    const auto rank = std::size_t(std::ceil(fraction * double(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank > 0 ? rank - 1 : 0)];
}

ClassroomLoad::ClassroomLoad(int hubs, int learnersPerHub)
    : m_hubCount(hubs)
    , m_learnersPerHub(learnersPerHub)
    , m_handedOver(new std::atomic<std::int64_t>[std::size_t(hubs * learnersPerHub)])
    , m_latency(new std::int64_t[std::size_t(hubs * learnersPerHub)])
    , m_callbackTime(new std::int64_t[std::size_t(hubs * learnersPerHub)])
    , m_heard(new std::atomic<int>[std::size_t(hubs * learnersPerHub)])
{
}

ClassroomLoad::~ClassroomLoad()
{
    // Hand the packet path back to the library before it goes.
    if (m_system) {
        for (int hub = 0; hub < m_hubCount; ++hub)
            tavioSetCallback(
                FirstHandle + hub, &TavioSystem::processPacketCallback, m_system.get());
        m_system->shutdown();
    }
    m_system.reset();
    TavioEmulator::Emulator::instance().reset();
}

std::uint32_t ClassroomLoad::learnerUid(int hub, int learner)
{
    return 0x00E00000u + std::uint32_t(hub) * 0x1000u + std::uint32_t(learner);
}

std::string ClassroomLoad::learnerAnswer(std::uint32_t uid)
{
    return std::string(1, char('A' + uid % OptionCount));
}

bool ClassroomLoad::start()
{
    auto& emulator = TavioEmulator::Emulator::instance();
    emulator.reset();
    qputenv("TAVIOSYSTEM_APPDATA", m_dataDir.filePath(QStringLiteral("appdata")).toLocal8Bit());
    for (const auto format : { QSettings::IniFormat, QSettings::NativeFormat }) {
        QSettings::setPath(
            format, QSettings::UserScope, m_dataDir.filePath(QStringLiteral("user")));
        QSettings::setPath(
            format, QSettings::SystemScope, m_dataDir.filePath(QStringLiteral("system")));
    }
    m_system = std::make_unique<TestSystem>();
    m_system->setHardwareLibraryName(QStringLiteral(TAVIO_EMULATOR_PATH));
    m_system->hubs = TestSystem::Hubs::Tavio;

    for (int hub = 0; hub < m_hubCount; ++hub) {
        auto firmware = m_firmwareFactory
            ? m_firmwareFactory()
            : std::make_shared<TavioEmulator::TwoPointFourGHzFirmware>();
        for (int learner = 0; learner < m_learnersPerHub; ++learner) {
            const std::uint32_t uid = learnerUid(hub, learner);
            firmware->addDevice(TavioEmulator::EmulatedDevice::expression(
                uid, std::uint16_t(FirstAddress + learner), "L" + std::to_string(learner)));
            firmware->setAnswer(uid, learnerAnswer(uid));
        }
        TavioEmulator::HubConfig config;
        config.kind = 3;
        config.handle = FirstHandle + hub;
        config.serial = 0x2000 + quint64(hub);
        m_emulated.push_back(TavioEmulator::addTwoPointFourGHzHub(emulator, config, firmware));
        m_firmware.push_back(std::move(firmware));
    }
    if (!m_system->initialise())
        return false;

    const std::int64_t deadline = now() + 10'000'000'000;
    for (int hub = 0; hub < m_hubCount; ++hub) {
        TestTavioHub* tavioHub = m_system->tavioHub(FirstHandle + hub);
        if (!tavioHub)
            return false;
        int count = 0;
        while (!tavioHub->getDeviceCount(Taviosystem::Device::Type_Expression, &count)
            || count < m_learnersPerHub) {
            if (now() > deadline)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        auto tap = std::make_unique<Tap>();
        tap->load = this;
        tap->hub = hub;
        m_taps.push_back(std::move(tap));
    }
    // Every discovery pass registers the library's packet callback again, so the taps go in
    // once the plug-and-play notifications of the start have been dealt with.
    emulator.waitForPnpIdle(2000ms);
    for (int seen = -1; seen != m_system->updateHubsRuns.load();) {
        seen = m_system->updateHubsRuns.load();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(100);
    }
    installTaps();
    return true;
}

void ClassroomLoad::installTaps()
{
    for (int hub = 0; hub < m_hubCount; ++hub)
        tavioSetCallback(FirstHandle + hub, &ClassroomLoad::tapCallback, m_taps[hub].get());
}

TestTavioHub* ClassroomLoad::hub(int index) const
{
    return m_system ? m_system->tavioHub(FirstHandle + index) : nullptr;
}

// Runs on a hub's packet thread.
void ClassroomLoad::tapCallback(
    int handle, const unsigned char* data, unsigned int length, void* tap)
{
    auto* hubTap = static_cast<Tap*>(tap);
    hubTap->load->tapPacket(*hubTap, handle, data, length);
}

void ClassroomLoad::tapPacket(Tap& tap, int handle, const unsigned char* data, unsigned int length)
{
    const std::int64_t handedOver = now();
    if (!isAnswerPacket(data, length)) {
        TavioSystem::processPacketCallback(handle, data, length, m_system.get());
        return;
    }
    const int learner = ((data[2] << 8) | data[3]) - FirstAddress;
    const bool known = learner >= 0 && learner < m_learnersPerHub;
    const int index = tap.hub * m_learnersPerHub + learner;
    if (known)
        m_handedOver[index].store(handedOver, std::memory_order_relaxed);
    if (m_consumer == Consumer::EmptyConsumer) {
        // As much bookkeeping as answerHeard does, with one clock reading as there.
        if (known) {
            const std::int64_t heard = now();
            m_latency[index] = heard - handedOver;
            m_heard[index].fetch_add(1, std::memory_order_relaxed);
            m_lastHeard.store(heard, std::memory_order_relaxed);
            m_received.fetch_add(1, std::memory_order_release);
        }
    } else {
        TavioSystem::processPacketCallback(handle, data, length, m_system.get());
    }
    if (known)
        m_callbackTime[index] = now() - handedOver;
}

void ClassroomLoad::answerHeard(std::uint32_t uid, int questionId, const QString& text)
{
    const int hub = int((uid - 0x00E00000u) / 0x1000u);
    const int learner = int((uid - 0x00E00000u) % 0x1000u);
    if (uid < 0x00E00000u || hub >= m_hubCount || learner >= m_learnersPerHub) {
        m_wrong.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const int index = hub * m_learnersPerHub + learner;
    if (questionId != m_questionId || text != QString::fromStdString(learnerAnswer(uid)))
        m_wrong.fetch_add(1, std::memory_order_relaxed);
    work(m_hostWork);
    const std::int64_t heard = now();
    const std::int64_t handedOver = m_handedOver[index].load(std::memory_order_relaxed);
    if (handedOver == 0)
        m_untimed.fetch_add(1, std::memory_order_relaxed); // it came past the tap
    m_latency[index] = heard - handedOver;
    m_heard[index].fetch_add(1, std::memory_order_relaxed);
    m_lastHeard.store(heard, std::memory_order_relaxed);
    m_received.fetch_add(1, std::memory_order_release);
}

namespace {

void onAnswer(Hub*, unsigned int uid, int questionId, const QString& text, void* context)
{
    static_cast<ClassroomLoad*>(context)->answerHeard(uid, questionId, text);
}

} // namespace

ClassroomLoad::Result ClassroomLoad::askQuestion(
    const Options& options, std::chrono::milliseconds timeout)
{
    const int learners = m_hubCount * m_learnersPerHub;
    for (int i = 0; i < learners; ++i) {
        m_handedOver[i].store(0);
        m_latency[i] = 0;
        m_callbackTime[i] = -1;
        m_heard[i].store(0);
    }
    m_received.store(0);
    m_wrong.store(0);
    m_untimed.store(0);
    m_lastHeard.store(0);
    m_consumer = options.consumer;
    m_hostWork = options.hostWorkMicroseconds;
    m_questionId = m_questionId % 99 + 1;
    installTaps(); // in case a discovery pass put the library's callback back
    for (auto& firmware : m_firmware)
        firmware->setResponseDelay(options.delay, options.delay + options.spread);

    const bool callback = options.consumer == Consumer::Callback;
    // Signals, for the runs that use them: directly on the packet thread or queued to this one.
    std::vector<QMetaObject::Connection> connections;
    if (options.consumer == Consumer::DirectSignal || options.consumer == Consumer::QueuedSignal) {
        const auto type = options.consumer == Consumer::DirectSignal ? Qt::DirectConnection
                                                                     : Qt::QueuedConnection;
        for (int hub = 0; hub < m_hubCount; ++hub) {
            connections.push_back(QObject::connect(
                m_system->tavioHub(FirstHandle + hub), &Hub::multichoiceSessionResponse,
                &m_receiver,
                [this](Hub*, quint32 uid, int questionId, const QString& text) {
                    answerHeard(uid, questionId, text);
                },
                type));
        }
    }
    std::int64_t firstAsked = now();
    for (int hub = 0; hub < m_hubCount; ++hub) {
        m_system->tavioHub(FirstHandle + hub)
            ->startMultichoiceSession(m_questionId, OptionCount, 1,
                Taviosystem::DisplayOption_UpperCaseLetters, Taviosystem::TimeUnit_0, 60,
                callback ? &onAnswer : nullptr, callback ? this : nullptr);
    }

    const std::int64_t deadline = now() + std::int64_t(timeout.count()) * 1'000'000;
    const bool queued = options.consumer == Consumer::QueuedSignal;
    while (m_received.load(std::memory_order_acquire) < learners && now() < deadline) {
        if (queued)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        else
            QThread::usleep(200);
    }
    // Whatever is still on its way (duplicates included) arrives before the count is taken.
    for (auto* emulated : m_emulated)
        emulated->waitUntilDelivered(1000ms);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    for (int hub = 0; hub < m_hubCount; ++hub)
        m_system->tavioHub(FirstHandle + hub)->stopSession();
    for (const QMetaObject::Connection& connection : connections)
        QObject::disconnect(connection);
    // The emulator keeps every write; forgetting them keeps its memory out of the heap figures.
    TavioEmulator::Emulator::instance().clearAllWrites();

    Result result;
    result.expected = learners;
    result.received = m_received.load();
    result.wrong = m_wrong.load();
    result.untimed = m_untimed.load();
    std::int64_t firstHandedOver = 0;
    result.latencies.reserve(std::size_t(learners));
    for (int i = 0; i < learners; ++i) {
        const int heard = m_heard[i].load();
        if (heard == 0)
            ++result.lost;
        else if (m_handedOver[i].load() != 0)
            result.latencies.push_back(m_latency[i]);
        if (heard > 1)
            result.duplicated += heard - 1;
        if (m_callbackTime[i] >= 0)
            result.callbackTimes.push_back(m_callbackTime[i]);
        const std::int64_t handedOver = m_handedOver[i].load();
        if (handedOver != 0 && (firstHandedOver == 0 || handedOver < firstHandedOver))
            firstHandedOver = handedOver;
    }
    std::sort(result.latencies.begin(), result.latencies.end());
    std::sort(result.callbackTimes.begin(), result.callbackTimes.end());
    if (firstHandedOver == 0)
        firstHandedOver = firstAsked;
    result.seconds = double(std::max<std::int64_t>(1, m_lastHeard.load() - firstHandedOver)) / 1e9;
    return result;
}

} // namespace TavioTest
