// Internals of the 2.4 GHz hub's firmware, shared by its vocabulary (twopointfourghzfirmware.cpp)
// and its learner sessions (twopointfourghzsessions.cpp).
#pragma once

#include "radio_p.h"

#include "tavioemulator/twopointfourghzfirmware.h"

#include <random>

namespace TavioEmulator {
namespace Radio {

constexpr std::uint8_t ProductTaviote = 6;
constexpr std::uint8_t ProductSlate = 7;
constexpr std::uint8_t ProductBoard = 8;
constexpr std::uint8_t ProductExpression = 9;
constexpr std::uint8_t ProductExpressionV2 = 12; // first identifier byte; count query only
constexpr std::uint8_t ProductPenExpression = 13;

using Kind = EmulatedDevice::Kind;

inline void putU16(Bytes& packet, std::size_t at, std::uint32_t value)
{
    const std::uint32_t clamped = std::min<std::uint32_t>(value, 0xFFFF);
    packet[at] = std::uint8_t(clamped >> 8);
    packet[at + 1] = std::uint8_t(clamped);
}

inline void putU32(Bytes& packet, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        packet[at + std::size_t(i)] = std::uint8_t(value >> (24 - 8 * i));
}

inline void putText(Bytes& packet, std::size_t at, const std::string& text, std::size_t width)
{
    std::memcpy(packet.data() + at, text.data(), std::min(text.size(), width));
}

// A fixed-width name field: its bytes up to the first zero byte.
inline std::string fieldText(const Bytes& command, std::size_t at, std::size_t width)
{
    const auto begin = command.begin() + std::ptrdiff_t(at);
    const auto end = std::find(begin, begin + std::ptrdiff_t(width), 0);
    return std::string(begin, end);
}

inline bool isExpressionKind(Kind kind)
{
    return kind == Kind::Expression || kind == Kind::ExpressionV2;
}

inline std::uint32_t markSecondGeneration(std::uint32_t uid)
{
    return (uid & 0x00FFFFFFu) | (std::uint32_t(ProductExpressionV2) << 24);
}

// A Likert answer's byte: decimal digits give the value ("3" sends 3), anything else its first
// byte (0 for an empty answer).
inline std::uint8_t likertValue(const std::string& answer)
{
    if (!answer.empty() && answer.size() <= 3
        && std::all_of(
            answer.begin(), answer.end(), [](char c) { return isDigit(std::uint8_t(c)); }))
        return std::uint8_t(std::min(std::stoi(answer), 0xFF));
    return answer.empty() ? 0 : std::uint8_t(answer[0]);
}

// What a learner answers when nobody told it anything.
inline std::string defaultAnswer(const EmulatedDevice& device, const QuestionInfo& question)
{
    switch (question.type) {
    case QuestionInfo::SortInOrder:
        return std::string("ABCDEF", std::size_t(std::clamp(question.optionCount(), 1, 6)));
    case QuestionInfo::Likert:
        return "1";
    case QuestionInfo::Numeric:
        return "42";
    case QuestionInfo::Text:
        return "answer";
    case QuestionInfo::EndUserNaming:
        return device.name.empty() ? "Learner" : device.name;
    default:
        return "A";
    }
}

} // namespace Radio

struct TwoPointFourGHzFirmware::Private
{
    using Milliseconds = std::chrono::milliseconds;
    using Kind = EmulatedDevice::Kind;

    // A learner packet: sent `delay` after the command, through `gate` (see HubImpl::deliverAt).
    struct Scheduled
    {
        Bytes packet;
        Milliseconds delay { 0 };
        std::function<bool()> gate;
    };
    // A learner who is to answer the running question; its packets are built once the lock is
    // released, since the answer source is the test's code.
    struct PendingAnswer
    {
        EmulatedDevice device;
        std::optional<std::string> fixed;
        Milliseconds delay { 0 };
        int droppedPackets = 0;
    };
    // What one command does.
    struct Outcome
    {
        std::vector<Bytes> answer; // the hub's own answer, subject to the fault settings
        bool reset = false; // a hub reset comes first
        bool passOn = false; // the command goes on to `next` as well
        std::vector<std::uint64_t> cancelled; // tags of sessions that ended
        std::uint64_t tag = 0; // of the learner packets below
        std::vector<Scheduled> learners;
        std::vector<PendingAnswer> pending;
        QuestionInfo question;
        AnswerSource source;
        std::uint8_t number = 0;
        bool interleave = false;
        Milliseconds gap { 1 };
    };
    struct Waiting
    {
        EmulatedDevice device;
        std::string pin; // three bytes
        Milliseconds delay { 0 };
    };
    struct Vote
    {
        std::uint8_t keys = 0x01;
        bool byUid = false;
    };

    std::shared_ptr<Firmware> next;
    std::weak_ptr<Private> self; // for the gates of learner packets

    mutable std::mutex m;
    std::vector<EmulatedDevice> devices;
    std::string hubName = "Hub";
    std::array<std::uint8_t, 4> freeStore {};
    std::uint16_t votingCapacity = 1000;
    std::uint8_t boardCapacity = 4;
    std::uint8_t slateCapacity = 64;
    std::uint8_t stateCode = 0;
    std::uint8_t touchStatus = 5;
    std::uint8_t touches = 10;

    Radio::AnswerFaults faults;
    bool resetOnClear = false;
    int stopDrops = 0;

    Radio::CommandCounter commands;
    Backlight backlight;

    // Learner sessions.
    LearnerSession session = LearnerSession::None;
    Radio::SessionTag sessionTag;
    std::map<LearnerSession, std::uint8_t> sessionStateCodes;
    std::vector<Waiting> waiting;
    std::optional<RegistrationStart> lastRegistration;
    std::array<std::uint8_t, 2> nameStatus {};
    std::map<std::uint32_t, std::string> answers;
    AnswerSource source;
    std::vector<Kind> answeringKinds { Kind::Expression, Kind::ExpressionV2 };
    int droppedPackets = 0;
    std::map<std::uint32_t, int> droppedPacketsOf;
    bool interleave = false;
    Milliseconds gap { 1 };
    std::optional<std::uint8_t> numberByte;
    Milliseconds delayMin { 0 };
    Milliseconds delayMax { 0 };
    std::map<std::uint32_t, Milliseconds> learnerDelays;
    double silence = 0;
    std::mt19937 random { 1 };
    std::vector<std::uint32_t> responders;
    std::optional<QuestionInfo> question;
    std::optional<std::vector<std::uint32_t>> voters;
    std::map<std::uint32_t, Vote> votes;
    std::map<std::uint32_t, std::string> pinNames;
    std::optional<long> pinArgument;

    template <class Pred>
    std::size_t countIf(Pred pred) const
    {
        return std::size_t(std::count_if(devices.begin(), devices.end(), pred));
    }
    std::size_t countKind(Kind kind) const
    {
        return countIf([kind](const EmulatedDevice& device) { return device.kind == kind; });
    }
    EmulatedDevice* findDevice(std::uint32_t uid);
    void addDevice(EmulatedDevice device); // replaces a device of the same uid

    // The hub's vocabulary (twopointfourghzfirmware.cpp). False when the command is not part
    // of it.
    bool handle(const Bytes& command, Outcome& out);
    Bytes information() const;
    Bytes nameAndFreeStore() const;
    bool clear(const Bytes& command, bool& reset);
    bool remove(const Bytes& command);
    bool backlightCommand(const Bytes& command);

    // The learner sessions (twopointfourghzsessions.cpp).
    bool handleSession(const Bytes& command, Outcome& out);
    void startSession(LearnerSession kind, Outcome& out);
    void endSession(Outcome& out);
    bool registrationStart(const Bytes& command, Outcome& out);
    bool teacherNaming(const Bytes& command, Outcome& out);
    bool questionStart(const Bytes& command, Outcome& out);
    bool votingStart(const Bytes& command, Outcome& out);
    bool pinNamingStart(const Bytes& command, Outcome& out);
    // Whether a learner responds this time (the silence draw), and after how long.
    bool responds();
    Milliseconds delayOf(std::uint32_t uid);
    // Gates of learner packets: pass while the session of `tag` runs, and do what the packet
    // stands for at that moment.
    std::function<bool()> sessionGate(std::uint64_t tag) const;
    std::function<bool()> joinGate(std::uint64_t tag, std::uint32_t uid) const;
    std::function<bool()> namedGate(std::uint64_t tag, std::uint32_t uid, std::string name) const;
    // Queues the learner packets of `out` on `hub`, due relative to `start`. Runs without the
    // lock: it asks the answer source.
    void sendLearnerPackets(EmulatedHub& hub, Outcome& out, Clock::time_point start) const;
};

} // namespace TavioEmulator
