// The enhanced transport's per-packet work: chunk requests, acknowledgements and reassembly.
//
//   build/release/bin/transport_bench
//
// "chunks/s" counts served chunks, "acks/s" processed acknowledgements, "pieces/s" received
// 8-byte pieces. The scaling case shows that a chunk request costs the same however many
// messages are stored (half of them done).

#include "enhanced/messagemanager.h"
#include "enhanced/responsemanager.h"

#include <benchmark/benchmark.h>

using namespace Taviosystem;

namespace {

const int Devices = 300;
const int Messages = 50;
const int MessageBytes = 20 * EnhancedMessageManager::GenericChunkSize; // 20 chunks

// `messages` distinct messages spread over `devices` devices (addresses from 1).
void fill(EnhancedMessageManager& manager, int devices, int messages)
{
    for (int d = 0; d < devices; ++d) {
        QByteArray data(MessageBytes, char('a' + d % 26));
        data.replace(0, 4, QByteArray::number(d % messages).rightJustified(4, '0'));
        quint32 number = 0;
        manager.queueMessage(
            quint16(d + 1), number, data, EnhancedMessageManager::GenericChunkSize);
    }
}

// One hub chunk request (any message) and one device acknowledgement per iteration; devices
// alternately report all and none of their chunks so that there is always something to send.
void BM_ServeAndAcknowledge(benchmark::State& state)
{
    EnhancedMessageManager manager;
    fill(manager, Devices, Messages);
    const QByteArray all(7, char(0xFF)), none(7, '\0');
    qint64 chunks = 0, acks = 0;
    int device = 0;
    for (auto _ : state) {
        const QByteArray command = manager.serveChunk(0);
        chunks += command.isEmpty() ? 0 : 1;
        benchmark::DoNotOptimize(command.constData());
        manager.acknowledge(quint16(device + 1), 0, (acks / Devices) % 2 ? none : all);
        ++acks;
        device = (device + 1) % Devices;
    }
    state.counters["chunks/s"] = benchmark::Counter(double(chunks), benchmark::Counter::kIsRate);
    state.counters["acks/s"] = benchmark::Counter(double(acks), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ServeAndAcknowledge);

// Chunk requests for any message and for a named one, with `range(0)` stored messages.
void BM_ServeChunkScaling(benchmark::State& state)
{
    const int messages = int(state.range(0));
    EnhancedMessageManager manager;
    fill(manager, messages, messages);
    for (int n = 2; n < messages + 2; n += 2)
        manager.release(0, quint32(n)); // half are done and must be skipped
    qint64 chunks = 0;
    quint32 named = 3;
    for (auto _ : state) {
        chunks += manager.serveChunk(0).isEmpty() ? 0 : 1;
        chunks += manager.serveChunk(named).isEmpty() ? 0 : 1;
        named = named + 2 < quint32(messages) ? named + 2 : 3;
    }
    state.counters["chunks/s"] = benchmark::Counter(double(chunks), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ServeChunkScaling)->Arg(50)->Arg(500)->Arg(5000);

// Async device messages of 5 pieces (0x87 then four 0x88) from 300 devices in turn.
void BM_ReassembleAsync(benchmark::State& state)
{
    EnhancedResponseManager manager;
    const QByteArray piece("12345678");
    qint64 pieces = 0, messages = 0;
    int device = 0;
    for (auto _ : state) {
        const quint16 address = quint16(device + 1);
        benchmark::DoNotOptimize(manager.receiveFirstPiece(address, 5, piece).size());
        for (quint8 i = 1; i < 5; ++i)
            messages += manager.receivePiece(address, i, piece).isEmpty() ? 0 : 1;
        pieces += 5;
        device = (device + 1) % Devices;
    }
    state.counters["pieces/s"] = benchmark::Counter(double(pieces), benchmark::Counter::kIsRate);
    state.counters["messages/s"]
        = benchmark::Counter(double(messages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReassembleAsync);

// Generic device messages of 100 bytes (a header, then 13 pieces) from 300 devices in turn.
void BM_ReassembleGeneric(benchmark::State& state)
{
    EnhancedResponseManager manager;
    const QByteArray piece("abcdefgh");
    qint64 pieces = 0, messages = 0;
    int device = 0;
    for (auto _ : state) {
        const quint16 address = quint16(device + 1);
        manager.receiveHeader(address, quint32(device), 100, 0);
        for (int i = 0; i < 13; ++i)
            messages += manager.receiveNextPiece(address, piece).isEmpty() ? 0 : 1;
        pieces += 13;
        device = (device + 1) % Devices;
    }
    state.counters["pieces/s"] = benchmark::Counter(double(pieces), benchmark::Counter::kIsRate);
    state.counters["messages/s"]
        = benchmark::Counter(double(messages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReassembleGeneric);

} // namespace

BENCHMARK_MAIN();
