// Internals of the enhanced transport firmware, shared by its hub side (enhancedfirmware.cpp)
// and its answer devices (enhanceddevices.cpp).
#pragma once

#include "twopointfourghz_p.h"

#include "tavioemulator/enhancedfirmware.h"

#include <condition_variable>
#include <set>

namespace TavioEmulator {
namespace Transport {

// Packet kinds (byte 1) of the transport, from the hub.
constexpr std::uint8_t GetMessagePacket = 0x84;
constexpr std::uint8_t ChunkRequestPacket = 0x85;
constexpr std::uint8_t DonePacket = 0x86;
constexpr std::uint8_t FirstPiecePacket = 0x87;
constexpr std::uint8_t FurtherPiecePacket = 0x88;
constexpr std::uint8_t GenericPiecePacket = 0x92;
constexpr std::uint8_t AcknowledgementPacket = 0x93;
constexpr std::uint8_t ControlPacket = 0x94;
constexpr std::uint8_t AnyChunkRequestPacket = 0x95;
constexpr std::uint8_t GenericHeaderPacket = 0x96;

constexpr std::size_t PieceSize = 8; // bytes of a device message per packet
constexpr std::size_t MaxPieces = 0xFF; // the piece count of 0x87 is one byte
constexpr std::size_t RequestSize = 8; // data bytes of a get-message request
constexpr std::size_t ControlSize = 9; // bytes of a control message
constexpr std::size_t GenericChunkSize = 50; // a generic chunk with its padding
constexpr std::size_t AckBits = 56; // chunks one acknowledgement reports

// Byte 0 of a get-message request.
constexpr std::uint8_t RequestParameters = 0;
constexpr std::uint8_t RequestQuestion = 1;
constexpr std::uint8_t RequestShutDown = 0xFF;
constexpr std::size_t RequestOffsetQuestion = 2;
constexpr std::size_t RequestOffsetLocale = 5;

// Byte 0 of a control message.
constexpr std::uint8_t ControlDescription = 1;
constexpr std::uint8_t ControlQuestion = 3;
constexpr std::uint8_t ControlFile = 4;
constexpr std::uint8_t ControlSessionDone = 5;
constexpr std::uint8_t ControlRelease = 6;

// First byte of the host's async messages.
constexpr std::uint8_t SessionParametersMessage = 0x01;
constexpr std::uint8_t QuestionMessage = 0x02;
constexpr std::uint8_t NoMoreQuestionsMessage = 0x04;

// Parameter flag: a mask follows the starting number.
constexpr std::uint8_t FlagMask = 0x02;

// Big-endian unsigned value of `width` bytes at `at`; the caller checks the bounds.
inline std::uint32_t readBig(const Bytes& bytes, std::size_t at, std::size_t width)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = value << 8 | bytes[at + i];
    return value;
}

// `value` as `width` big-endian bytes appended to `bytes`.
inline void appendBig(Bytes& bytes, std::uint32_t value, std::size_t width)
{
    for (std::size_t i = width; i-- > 0;)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
}

} // namespace Transport

struct EnhancedFirmware::Private
{
    using Milliseconds = std::chrono::milliseconds;
    using TimePoint = Clock::time_point;
    // Runs under the lock when a packet of the run leaves the hub.
    using OnSent = std::function<void(Private&)>;

    // One device taking part in the run.
    struct Device
    {
        AnswerDeviceReport report; // report.device is the device itself
        Milliseconds delay { 0 };
        std::mt19937 losses;
        std::mt19937 pieceFaults;
        // The host message it is receiving (or, once whole, holds).
        bool receiving = false;
        std::uint32_t number = 0;
        std::size_t count = 0; // chunks; 0 until the first one came
        std::map<std::size_t, Bytes> chunks;
        // Async run: asking for questions, which next and how many more.
        bool asking = false;
        int nextQuestion = 0;
        int questionsLeft = 0;
        // Generic run.
        bool awaitingDescription = false;
        std::size_t nextFile = 0;
        std::optional<std::uint32_t> requestedFile;
        std::uint32_t lastMessageNumber = 0; // of the messages it sent

        bool complete() const { return count > 0 && chunks.size() == count; }
        std::uint16_t address() const { return report.device.address; }
    };
    // A host message the hub passes on, by the addresses it was announced to.
    struct HubMessage
    {
        std::set<std::uint16_t> receivers;
        int idleChunks = 0; // chunk commands in a row that gave nobody anything new
    };
    // The hub's chunk requests: at most one waits for its chunk command at a time.
    struct Pull
    {
        bool waiting = false;
        std::uint64_t serial = 0; // of the request waiting
        int repeats = 0; // of that request so far
        std::uint64_t timerTag = 0; // of its repeat timer
        std::uint32_t lastNumber = 0; // round-robin position
    };
    // A device's answer to decide once the lock is released (the sources are the test's code).
    struct Decision
    {
        std::uint16_t address = 0;
        std::optional<EnhancedQuestionInfo> question; // async; else a generic host message
        Bytes message;
    };

    std::shared_ptr<Firmware> next;
    std::weak_ptr<Private> self; // for the gates and timers of queued packets
    std::weak_ptr<TwoPointFourGHzFirmware> radio;

    mutable std::mutex m;
    mutable std::condition_variable finishedCv;

    // Configuration.
    std::optional<std::vector<std::uint32_t>> participants;
    Milliseconds delayMin { 0 };
    Milliseconds delayMax { 0 };
    std::uint32_t delaySeed = 1;
    std::map<std::uint32_t, Milliseconds> fixedDelays;
    Milliseconds startDelay { 50 };
    double chunkLoss = 0;
    double ackLoss = 0;
    std::uint32_t lossSeed = 1;
    double pieceLoss = 0;
    double pieceRepeat = 0;
    double pieceSwap = 0;
    std::uint32_t pieceSeed = 1;
    bool requestAny = false;
    Milliseconds retryInterval { 300 };
    int retries = 3;
    std::uint8_t locale = 9;
    EnhancedAnswerSource source;
    GenericAnswerSource genericSource;
    std::map<std::uint32_t, int> shutDownAfter;

    // The run.
    EnhancedMode mode = EnhancedMode::None;
    std::uint64_t tag = 0; // carried by every packet of the run; 0 between runs
    int hubHandle = 0;
    std::vector<std::uint16_t> order; // the devices' addresses in population order
    std::map<std::uint16_t, Device> devices;
    std::map<std::uint32_t, HubMessage> messages; // by message number
    Pull pull;
    EnhancedTransportCounters counters;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> announced;

    // Hub side (enhancedfirmware.cpp), all under the lock. handle() answers whether the command
    // belongs to the transport; decisions collects what the devices are to decide afterwards.
    bool handle(EmulatedHub& hub, const Bytes& command, TimePoint now,
        const std::vector<EmulatedDevice>& population, std::vector<Decision>& decisions);
    void startRun(EmulatedHub& hub, EnhancedMode kind,
        const std::vector<EmulatedDevice>& population, TimePoint now);
    void stopRun(EmulatedHub& hub);
    void announce(EmulatedHub& hub, std::uint16_t address, std::uint32_t number, TimePoint now);
    void chunk(EmulatedHub& hub, std::uint32_t number, std::size_t index, std::size_t count,
        const Bytes& data, TimePoint now, std::vector<Decision>& decisions);
    // Removes a device from the receivers of its message.
    void release(EmulatedHub& hub, Device& device, TimePoint now);
    // Done report and clean-up once every receiver of a message holds all of it.
    void settle(EmulatedHub& hub, std::uint32_t number, TimePoint now);
    bool lacksChunks(std::uint32_t number) const;
    void requestNext(EmulatedHub& hub, TimePoint now);
    // Queues a packet of the run, due at `due` (or now, when that has passed); `onSent` runs
    // when it leaves the hub.
    void send(EmulatedHub& hub, const Bytes& packet, TimePoint due, OnSent onSent = {});
    // Runs `fire` under the lock at `due`, unless the run ends or `timerTag` is cancelled first.
    void startTimer(EmulatedHub& hub, TimePoint due, std::uint64_t timerTag, OnSent fire);

    // Devices (enhanceddevices.cpp), under the lock unless said otherwise.
    void beginRun(EmulatedHub& hub, Device& device, TimePoint now);
    Bytes acknowledgement(const Device& device) const;
    static bool draw(std::mt19937& generator, double share);
    // The pieces of an async device message as the host hears them, after the piece faults.
    std::vector<Bytes> overTheAir(Device& device, const std::vector<Bytes>& pieces) const;
    // The device's message has just become whole.
    void completed(
        EmulatedHub& hub, Device& device, TimePoint now, std::vector<Decision>& decisions);
    void completedAsync(EmulatedHub& hub, Device& device, Bytes message, TimePoint now,
        std::vector<Decision>& decisions);
    void completedGeneric(EmulatedHub& hub, Device& device, Bytes message, TimePoint now,
        std::vector<Decision>& decisions);
    void requestQuestion(EmulatedHub& hub, Device& device, TimePoint due);
    void fetchNextFile(EmulatedHub& hub, Device& device, TimePoint due);
    void sendRequest(EmulatedHub& hub, Device& device, std::uint8_t kind, std::uint8_t value,
        TimePoint due, OnSent onSent = {});
    void sendControl(EmulatedHub& hub, Device& device, std::uint8_t kind, std::uint32_t value,
        TimePoint due, OnSent onSent = {});
    void sendMessage(
        EmulatedHub& hub, Device& device, const Bytes& message, TimePoint due, OnSent onSent = {});
    // What OnSent runs for a device's last packet.
    static OnSent finishing(std::uint16_t address, bool shutDown = false);
    void finish(Device& device);
    // Decides and sends one answer; runs without the lock.
    void decide(EmulatedHub& hub, const Decision& decision, std::uint64_t runTag, TimePoint now);
    Device* deviceOf(std::uint32_t uid);
    // Runs `action` on a device of the running session (of mode `needed`, None: any) with the
    // run's hub, for the test's own requests; false when there is none. Takes the lock.
    bool act(std::uint32_t uid, EnhancedMode needed,
        const std::function<void(EmulatedHub&, Device&, TimePoint)>& action);
};

} // namespace TavioEmulator
