// A whole classroom's answers through the library, end to end: 4 emulated 2.4 GHz hubs with 250
// expression learners each, a multiple-choice question on every hub, every learner answering in
// one burst through the emulator's packet threads. Each answer is timed from the moment the
// emulator hands its packet to the packet callback until the host's callback (or slot) runs.
// The same burst through an empty consumer (the emulator's packet path with nothing behind it)
// gives the reference, so that the library's own cost per answer is a difference measured in
// the same run. Prints one table:
//
//   cmake --preset release && cmake --build build/release --target classroom_load
//   build/release/bin/classroom_load [bursts] [questions for the heap run]
//
// "cb ns" is the median time the emulator's packet callback took per answer packet (the median,
// because a packet thread that loses its core inside the callback adds milliseconds to a single
// packet); "lib ns" is that minus the empty consumer's: the library's own cost per answer. The heap
// line counts bytes in use (malloc's own statistics) after a warm-up and again after the given
// number of questions.

#include "support/classroomload.h"

#include <taviosystem/enhancedgenericsession.h>

#include <tavioemulator/enhancedfirmware.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QUuid>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;
using TavioTest::ClassroomLoad;

namespace {

const int Hubs = 4;
const int LearnersPerHub = 250;

struct Totals
{
    ClassroomLoad::Result all;
    double seconds = 0;
};

Totals run(ClassroomLoad& load, const ClassroomLoad::Options& options, int bursts)
{
    Totals totals;
    for (int i = 0; i < bursts; ++i) {
        ClassroomLoad::Result result = load.askQuestion(options);
        totals.all.expected += result.expected;
        totals.all.received += result.received;
        totals.all.lost += result.lost;
        totals.all.duplicated += result.duplicated;
        totals.all.wrong += result.wrong;
        totals.all.untimed += result.untimed;
        totals.all.latencies.insert(
            totals.all.latencies.end(), result.latencies.begin(), result.latencies.end());
        totals.seconds += result.seconds;
        totals.all.callbackTimes.insert(totals.all.callbackTimes.end(),
            result.callbackTimes.begin(), result.callbackTimes.end());
    }
    std::sort(totals.all.latencies.begin(), totals.all.latencies.end());
    std::sort(totals.all.callbackTimes.begin(), totals.all.callbackTimes.end());
    return totals;
}

std::int64_t medianCallback(const Totals& totals)
{
    return ClassroomLoad::Result::percentile(totals.all.callbackTimes, 0.5);
}

void printRow(const char* name, const Totals& totals, std::int64_t referenceNanoseconds)
{
    const auto& all = totals.all;
    const auto percentile = [&all](double fraction) {
        return double(ClassroomLoad::Result::percentile(all.latencies, fraction));
    };
    const std::int64_t callback = medianCallback(totals);
    const std::int64_t library = referenceNanoseconds < 0 ? 0 : callback - referenceNanoseconds;
    std::printf("%-34s %8d %12.0f %9.1f %9.1f %9.1f %6d %6d %6d %9lld %9lld\n", name, all.expected,
        double(all.received) / totals.seconds, percentile(0.50) / 1e3, percentile(0.99) / 1e3,
        percentile(1.0) / 1e3, all.lost, all.duplicated, all.wrong + all.untimed,
        (long long)callback, (long long)library);
}

// The enhanced transport: every device of a class fetches every file of a generic session over
// a radio that loses a share of the chunk commands and acknowledgements.
void runTransport(int devices, int files, double loss)
{
    auto enhanced = std::make_shared<TavioEmulator::EnhancedFirmware>();
    enhanced->setLoss(loss, loss, 7);
    enhanced->setRequestRetry(20ms, 50);
    ClassroomLoad load(1, devices);
    load.setFirmwareFactory([enhanced] {
        auto radio = TavioEmulator::radioFirmwareFor(enhanced);
        radio->setAnsweringKinds({});
        return radio;
    });
    if (!load.start()) {
        std::printf("transport: the hub did not come up\n");
        return;
    }
    Taviosystem::EnhancedGenericSession* session = load.hub(0)->getEnhancedGenericSession();
    QList<Taviosystem::ApplicationFileInfo> list;
    for (int i = 0; i < files; ++i) {
        Taviosystem::ApplicationFileInfo file;
        file.id = QUuid::createUuid();
        file.fileType = Taviosystem::ApplicationFileInfo::FileType_Image;
        file.data = QByteArray(200, char('a' + i % 26)); // 4 chunks of 50 bytes
        list.append(file);
    }
    const auto started = std::chrono::steady_clock::now();
    if (!session->startSession()) {
        std::printf("transport: the session did not start\n");
        return;
    }
    session->setApplicationFileList(list);
    const bool finished = enhanced->waitUntilFinished(300s);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const TavioEmulator::EnhancedTransportCounters counters = enhanced->counters();
    int complete = 0;
    int chunksLost = 0;
    int acksLost = 0;
    for (const auto& report : enhanced->reports()) {
        complete += int(report.fileContents.size()) == files ? 1 : 0;
        chunksLost += report.chunksLost;
        acksLost += report.acksLost;
    }
    session->stopSession();
    std::printf(
        "transport, %d devices x %d files of 4 chunks, %.0f%% loss: %s in %.2f s; %d "
        "chunk commands radioed (%.0f/s), %d chunk requests, %d re-requests; %d devices "
        "hold every file; chunk commands lost per device %.1f, acknowledgements lost %.1f\n",
        devices, files, loss * 100, finished ? "every device done" : "NOT finished", seconds,
        counters.chunkCommands, counters.chunkCommands / seconds, counters.chunkRequests,
        counters.reRequests, complete, double(chunksLost) / devices, double(acksLost) / devices);
}

std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

bool runClassroom(int bursts, int heapQuestions)
{
    ClassroomLoad load(Hubs, LearnersPerHub);
    if (!load.start()) {
        std::fprintf(stderr, "the classroom did not come up\n");
        return false;
    }
    using Consumer = ClassroomLoad::Consumer;
    run(load, { Consumer::Callback, 0, 0ms }, 3); // warm-up

    std::printf("%d hubs x %d learners, %d bursts per row; latencies in microseconds\n", Hubs,
        LearnersPerHub, bursts);
    std::printf("%-34s %8s %12s %9s %9s %9s %6s %6s %6s %9s %9s\n", "run", "answers", "answers/s",
        "p50", "p99", "max", "lost", "dup", "wrong", "cb ns", "lib ns");
    const Totals reference = run(load, { Consumer::EmptyConsumer, 0, 0ms }, bursts);
    printRow("burst, empty consumer (reference)", reference, -1);
    const std::int64_t base = medianCallback(reference);
    printRow("burst, host callback", run(load, { Consumer::Callback, 0, 0ms }, bursts), base);
    printRow("burst, direct signal", run(load, { Consumer::DirectSignal, 0, 0ms }, bursts), base);
    printRow("burst, queued signal", run(load, { Consumer::QueuedSignal, 0, 0ms }, bursts), base);
    printRow(
        "burst, 50 us host callback", run(load, { Consumer::Callback, 50, 0ms }, bursts), base);
    // 1,000 answers spread over a third of a second: 3,000 answers/s, with its own reference.
    const Totals paced = run(load, { Consumer::EmptyConsumer, 0, 333ms }, 3);
    printRow("3,000 answers/s, empty consumer", paced, -1);
    printRow("3,000 answers/s, host callback", run(load, { Consumer::Callback, 0, 333ms }, 3),
        medianCallback(paced));

    // Heap: after a warm-up, questions one after another; the heap in use must not grow. Each
    // result is dropped before the next question, so only what the library and the emulator
    // keep is counted. Learners answer at once here, so that the questions follow each other.
    const ClassroomLoad::Options quick { Consumer::Callback, 0, 0ms, 0ms };
    run(load, quick, 20);
    const std::size_t before = heapInUse();
    const int rounds = heapQuestions / Hubs;
    ClassroomLoad::Result many;
    for (int i = 0; i < rounds; ++i) {
        const ClassroomLoad::Result result = load.askQuestion(quick);
        many.expected += result.expected;
        many.lost += result.lost;
        many.duplicated += result.duplicated;
        many.wrong += result.wrong + result.untimed;
    }
    const std::size_t after = heapInUse();
    std::printf("heap in use after %d questions (%d answers): %+lld bytes (%zu before, %zu "
                "after); lost %d, duplicated %d, wrong %d\n",
        rounds * Hubs, many.expected, (long long)after - (long long)before, before, after,
        many.lost, many.duplicated, many.wrong);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int bursts = argc > 1 ? std::atoi(argv[1]) : 20;
    const int heapQuestions = argc > 2 ? std::atoi(argv[2]) : 10000;

    if (!runClassroom(bursts, heapQuestions))
        return 1;
    runTransport(300, 50, 0.1);
    return 0;
}
