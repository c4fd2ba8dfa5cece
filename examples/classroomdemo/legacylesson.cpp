#include "legacylesson.h"

#include "progress.h"

#include <taviosystem/legacyhub.h>
#include <taviosystem/legacyhubregistrationsession.h>
#include <taviosystem/taviosystem.h>

#include <tavioemulator/legacyfirmware.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFileInfo>
#include <QtCore/QMutex>
#include <QtCore/QSet>
#include <QtCore/QTemporaryDir>
#include <QtCore/QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <random>

using namespace Taviosystem;
using namespace TavioEmulator;

namespace ClassroomDemo {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

namespace {

const int HubHandle = 41;
const quint64 HubSerial = 0x00CAFE01;
const quint32 FirstVoterId = 1001;
const quint8 SlateIds[] = { 7, 12 };
const int JoinWaitMs = 5000;
const int VoteWaitMs = 2000;

QString storeFile(const QString& folder)
{
    return folder + QStringLiteral("/Corvellan/TavioSystem/TavioSystem.ini");
}

// The emulated hub and its class. A hub remembers the voters paired with it: on a run that finds
// the class in the store, the voters are paired already; otherwise they wait for a window.
struct EmulatedLegacyClass
{
    std::shared_ptr<LegacyFirmware> firmware;
    LegacyHubRecord record;
    QList<quint32> voterIds;

    EmulatedLegacyClass(const LegacyLessonOptions& options, bool paired)
        : firmware(std::make_shared<LegacyFirmware>(
            options.serial ? LegacyFraming::Serial : LegacyFraming::Usb))
    {
        LegacyRFSettings rf;
        rf.voteChannel = 2;
        rf.rfBand = 1;
        rf.slateChannel = 1;
        rf.boardId = 4;
        firmware->setRFSettings(rf);
        std::mt19937 random(options.seed);
        std::uniform_int_distribution<int> key(1, 6);
        std::uniform_int_distribution<int> delay(5, 400);
        for (int i = 0; i < options.classSize; ++i) {
            LegacyVoter voter;
            voter.deviceId = FirstVoterId + quint32(i);
            // Each voter presses one key (sometimes twice, as held keys repeat).
            const std::uint8_t pressed = TwoPointFourGHzFirmware::voteKey(key(random));
            voter.keys = { pressed };
            if (key(random) == 1)
                voter.keys.push_back(pressed);
            voter.delay = std::chrono::milliseconds(delay(random));
            voterIds.append(voter.deviceId);
            if (paired)
                firmware->addVoter(voter);
            else
                firmware->addWaitingVoter(voter);
        }
        for (quint8 id : SlateIds) {
            LegacySlate slate;
            slate.slateId = id;
            slate.delay = std::chrono::milliseconds(50);
            firmware->addWaitingSlate(slate);
        }
        record.hasBoard = true;
        record.versionNumber = 395;
        record.serial = HubSerial;
        record.handle = HubHandle;
        record.penCount = -1;
    }

    void plugIn() { addLegacyHub(Emulator::instance(), record, firmware); }
};

// What the host hears, from the packet thread.
struct Heard
{
    QMutex mutex;
    QList<quint32> registered;
    QList<quint8> slatesAsked;
    QList<quint8> slatesJoined;
    QList<QPair<quint32, int>> tested;
    QList<QPair<quint32, int>> votes;
    std::atomic<int> penEvents { 0 };
    std::atomic<int> lastX { 0 };
    std::atomic<int> lastY { 0 };

    template <typename T>
    int add(QList<T>& list, const T& value)
    {
        QMutexLocker locker(&mutex);
        list.append(value);
        return int(list.size());
    }
    template <typename T>
    int count(const QList<T>& list)
    {
        QMutexLocker locker(&mutex);
        return int(list.size());
    }
};

void onVote(Hub*, unsigned int uid, int vote, bool, void* context)
{
    auto* heard = static_cast<Heard*>(context);
    heard->add(heard->votes, qMakePair(quint32(uid), vote));
}

} // namespace

int runLegacyLesson(const LegacyLessonOptions& options, QTextStream& out)
{
    QElapsedTimer clock;
    clock.start();
    QTemporaryDir temporary;
    const QString folder = options.storeDir.isEmpty() ? temporary.path() : options.storeDir;
    QDir().mkpath(folder);
    qputenv("TAVIOSYSTEM_APPDATA", QDir(folder).absolutePath().toLocal8Bit());
    const bool rerun = QFileInfo::exists(storeFile(folder));

    EmulatedLegacyClass room(options, rerun);
    room.plugIn();
    out << "Legacy hub over " << (options.serial ? "a serial line" : "USB") << ", store "
        << QDir::toNativeSeparators(storeFile(folder)) << "\n";

    TavioSystem& system = TavioSystem::instance();
    Heard heard;
    int legacyHandle = -1;
    QObject::connect(
        &system, &TavioSystem::newLegacyHubConnected, &system,
        [&](HubHandle_t handle) { legacyHandle = handle; }, Qt::DirectConnection);
    if (!system.initialise() || !waitUntil([&] { return legacyHandle == HubHandle; }, 2000)) {
        out << "No legacy hub was found.\n";
        system.shutdown();
        return 1;
    }
    QList<Hub*> hubs;
    system.getHubList(&hubs);
    LegacyHub* hub = nullptr;
    for (Hub* candidate : std::as_const(hubs)) {
        if (candidate->handle() == HubHandle)
            hub = qobject_cast<LegacyHub*>(candidate);
    }
    const LegacyhubRegistrationSession* session
        = hub ? system.startLegacyhubRegistrationSession(HubHandle) : nullptr;
    if (!session) {
        out << "The legacy hub could not be set up.\n";
        system.shutdown();
        return 1;
    }
    bool planned = true;

    // 1. Radio settings, read from the hub as it connected.
    quint8 voteChannel = 0, slateChannel = 0, boardId = 0, band = 0;
    session->getVoteChannel(voteChannel);
    session->getSlateChannel(slateChannel);
    session->getBoardID(boardId);
    session->getRFBand(band);
    out << "Radio: vote channel " << voteChannel << ", slate channel " << slateChannel
        << ", board id " << boardId << ", RF band " << band << "; " << hub->penCount()
        << " pen(s)\n\n";

    QObject::connect(
        session, &LegacyhubRegistrationSession::voteDeviceRegistered, &system,
        [&](quint32 uid, bool, int) { heard.add(heard.registered, uid); }, Qt::DirectConnection);
    QObject::connect(
        session, &LegacyhubRegistrationSession::generatePinforSlateRegistration, &system,
        [&](quint8 id) { heard.add(heard.slatesAsked, id); }, Qt::DirectConnection);
    QObject::connect(
        session, &LegacyhubRegistrationSession::slateDeviceRegistered, &system,
        [&](quint8 id) { heard.add(heard.slatesJoined, id); }, Qt::DirectConnection);
    QObject::connect(
        session, &LegacyhubRegistrationSession::voteTestResponse, &system,
        [&](quint32 uid, int answer, int) { heard.add(heard.tested, qMakePair(uid, answer)); },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::penEventReceived, &system,
        [&](Hub*, Hub::PenEvent, quint8, int x, int y) {
            ++heard.penEvents;
            heard.lastX = x;
            heard.lastY = y;
        },
        Qt::DirectConnection);

    QList<DeviceDisplayInfo> voters;
    QList<DeviceDisplayInfo> slates;
    session->getListOfRegisteredVotes(voters);
    session->getListOfRegisteredSlates(slates);
    if (!voters.isEmpty()) {
        // 2'. A rerun: the class is in the store already.
        out << "The class is in the store already: " << voters.size() << " voters and "
            << slates.size() << " slates; registration skipped.\n\n";
    } else {
        // 2. Voters register live.
        const int total = options.classSize;
        Progress progress(out, options.interactive, QStringLiteral("voters"));
        if (!session->startVoteRegistrationSession()) {
            out << "Voter registration could not start.\n";
            planned = false;
        }
        QElapsedTimer window;
        window.start();
        waitUntil(
            [&] {
                const int joined = heard.count(heard.registered);
                progress.update(joined, total, window.elapsed());
                return joined >= total;
            },
            JoinWaitMs);
        session->stopVoteRegistrationSession();
        const int joined = heard.count(heard.registered);
        progress.finish(joined, total, window.elapsed(),
            joined == total ? QStringLiteral("all registered") : QStringLiteral("window closed"));
        planned = planned && joined == total;

        // 3. Two slates, each with a PIN the teacher shows its learner.
        std::mt19937 random(options.seed + 17);
        std::uniform_int_distribution<int> letter(0, 5);
        // A PIN request ends the registration window on the hub: the window opens again for
        // the slates still waiting.
        const int slateCount = int(std::size(SlateIds));
        int handled = 0;
        QElapsedTimer slateWindow;
        slateWindow.start();
        while (heard.count(heard.slatesJoined) < slateCount && slateWindow.elapsed() < JoinWaitMs) {
            session->startSlateRegistrationSession();
            waitUntil([&] { return heard.count(heard.slatesAsked) > handled; }, 1500);
            QList<quint8> asked;
            {
                QMutexLocker locker(&heard.mutex);
                asked = heard.slatesAsked;
            }
            for (; handled < asked.size(); ++handled) {
                const int joinedBefore = heard.count(heard.slatesJoined);
                const RegistrationCode pin(quint16('A' + letter(random)),
                    quint16('A' + letter(random)), quint16('A' + letter(random)));
                out << "Slate " << asked.at(handled) << " asks to join: its learner types "
                    << QChar(pin.char1()) << QChar(pin.char2()) << QChar(pin.char3()) << "\n";
                session->startSlatePINRegistration(asked.at(handled), pin);
                waitUntil([&] { return heard.count(heard.slatesJoined) > joinedBefore; }, 1000);
            }
        }
        session->stopSlateRegistrationSession();
        const int slatesJoined = heard.count(heard.slatesJoined);
        out << slatesJoined << " slate(s) joined.\n\n";
        planned = planned && slatesJoined == int(std::size(SlateIds));
        session->getListOfRegisteredVotes(voters);
    }

    // 4. A voter test: every voter presses a key.
    if (session->startVoteTestSession()) {
        waitUntil([&] { return heard.count(heard.tested) >= voters.size(); }, VoteWaitMs);
        hub->stopSession();
        QSet<quint32> tested;
        {
            QMutexLocker locker(&heard.mutex);
            for (const auto& answer : std::as_const(heard.tested))
                tested.insert(answer.first);
        }
        out << "Voter test: " << tested.size() << " of " << voters.size()
            << " voters answered.\n\n";
        planned = planned && tested.size() == voters.size();
    } else {
        out << "The voter test could not start: " << Hub::errorAsString(hub->getLastError())
            << "\n";
        planned = false;
    }

    // 5. A vote, each key counted once per voter however long it is held.
    {
        QMutexLocker locker(&heard.mutex);
        heard.votes.clear();
    }
    if (hub->startVotingSession(Hub::VotingMode_B, &onVote, &heard)) {
        waitUntil([&] { return heard.count(heard.votes) >= voters.size(); }, VoteWaitMs);
        QThread::msleep(200); // repeats of held keys would come now
        QCoreApplication::processEvents();
        hub->stopSession();
        int histogram[7] = {};
        QList<QPair<quint32, int>> votes;
        {
            QMutexLocker locker(&heard.mutex);
            votes = heard.votes;
        }
        for (const auto& vote : std::as_const(votes))
            ++histogram[qBound(0, vote.second, 6)];
        out << "Vote (" << votes.size() << " votes):\n";
        for (int key = 1; key <= 6; ++key)
            out << "  key " << key << "  " << QString(histogram[key], QLatin1Char('#')) << " "
                << histogram[key] << "\n";
        out << "\n";
        planned = planned && votes.size() == voters.size();
    } else {
        out << "Voting could not start: " << Hub::errorAsString(hub->getLastError()) << "\n";
        planned = false;
    }

    // 6. A pen stroke on the board.
    PenStroke stroke;
    stroke.pen = 1;
    stroke.fromX = 100;
    stroke.fromY = 200;
    stroke.toX = 4000;
    stroke.toY = 3000;
    stroke.moves = 12;
    stroke.interval = std::chrono::milliseconds(5);
    const int packets = LegacyFirmware::streamPenStroke(*Emulator::instance().hub(HubHandle),
        options.serial ? LegacyFraming::Serial : LegacyFraming::Usb, stroke);
    waitUntil([&] { return heard.penEvents >= packets; }, 2000);
    out << "Pen stroke: " << heard.penEvents << " pen events, ending at (" << heard.lastX << ", "
        << heard.lastY << ").\n\n";
    planned = planned && heard.penEvents >= packets;

    // 7. Unplugged and plugged in again: the same hub, its class read back from the store.
    system.stopLegacyhubRegistrationSession();
    Emulator::instance().removeHub(HubHandle);
    waitUntil([&] { return !hub->isConnected(); }, 2000);
    room.plugIn();
    waitUntil(
        [&] {
            QMap<int, HubDisplayInfo> legacy;
            system.getLegacyHubInfoMap(legacy);
            return legacy.contains(HubHandle);
        },
        2000);
    QList<DeviceDisplayInfo> reloaded;
    system.getLegacyVoteDisplayInfoList(HubHandle, reloaded);
    out << "Hub plugged in again: " << reloaded.size() << " voters read back from the store.\n";
    planned = planned && reloaded.size() == voters.size();

    system.shutdown();
    out << "Lesson " << (planned ? "went as planned" : "did not go as planned") << " in "
        << clock.elapsed() << " ms.\n";
    return planned ? 0 : 1;
}

} // namespace ClassroomDemo
