// The hot paths: a packet from the board library's callback into a hub, and the event queue.
//
//   build/release/bin/packet_bench
//
// The allocation counter replaces global operator new for this program only; "allocs/op" is
// the number of heap allocations one iteration made.

#include "support/testhub.h"

#include "hub/touchstatusresponse.h"

#include <benchmark/benchmark.h>

#include <QtCore/QCoreApplication>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocations { 0 };
}

void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace Taviosystem;

namespace {

// A system with one 2.4 GHz hub under handle 1, without loading any board library.
struct PacketPath
{
    TavioTest::TestSystem system;
    TavioTest::TestTavioHub* hub = system.addUnattachedTavioHub(1);
};

void penCallback(Hub*, unsigned int, int x, int, bool, bool, void* context)
{
    *static_cast<int*>(context) += x;
}

// A USB pen packet from the board library's callback until the host's pen callback returns.
void BM_PenPacketToHostCallback(benchmark::State& state)
{
    PacketPath path;
    int sink = 0;
    path.hub->setPenEventCallback(&penCallback, &sink);
    unsigned char packet[] = { 0x08, 0x21, 0x00, 0x10, 0x27, 0x20, 0x4E, 0x09 };
    const long before = g_allocations.load();
    for (auto _ : state) {
        packet[7] ^= 0x01; // alternate tip down and up
        TavioSystem::processPacketCallback(1, packet, sizeof packet, &path.system);
    }
    state.counters["allocs/op"] = benchmark::Counter(
        double(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
    benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_PenPacketToHostCallback);

// A 12-byte answer packet through the whole packet path while a question session runs.
void BM_AnswerPacketInSession(benchmark::State& state)
{
    PacketPath path;
    path.hub->setSessionType(Hub::SessionType_Multichoice);
    const unsigned char packet[]
        = { 0x0C, 0x83, 0x01, 0x05, 0x00, 0x00, 'A', 'C', 0x00, 0xFF, 0x00, 0x00 };
    const long before = g_allocations.load();
    for (auto _ : state)
        TavioSystem::processPacketCallback(1, packet, sizeof packet, &path.system);
    state.counters["allocs/op"] = benchmark::Counter(
        double(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AnswerPacketInSession);

void BM_TouchStatusRecognition(benchmark::State& state)
{
    const QByteArray packet = QByteArray::fromHex("08A5000000000510");
    for (auto _ : state)
        benchmark::DoNotOptimize(TouchStatusResponse::isResponse(packet));
}
BENCHMARK(BM_TouchStatusRecognition);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
