// Internals shared by the radio hubs' firmwares (2.4 GHz and legacy): command parsing by prefix,
// the command counters, queueing of learner packets that a session end takes back, and pen
// strokes cut into packets.
#pragma once

#include "emulator_p.h"

#include "tavioemulator/twopointfourghzfirmware.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace TavioEmulator {
namespace Radio {

constexpr std::uint8_t CR = 0x0D;

// Whether `command` is exactly `code` followed by a carriage return.
inline bool isPlain(const Bytes& command, const char* code)
{
    const std::size_t length = std::strlen(code);
    return command.size() == length + 1 && command.back() == CR
        && std::equal(code, code + length, command.begin());
}

inline bool startsWith(const Bytes& command, const char* code)
{
    const std::size_t length = std::strlen(code);
    return command.size() >= length && std::equal(code, code + length, command.begin());
}

inline bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Value of a hexadecimal digit in the given letter case, -1 for anything else.
inline int hexDigit(std::uint8_t c, bool upper)
{
    if (isDigit(c))
        return c - '0';
    const char a = upper ? 'A' : 'a';
    if (c >= a && c <= a + 5)
        return c - a + 10;
    return -1;
}

// Parses `count` hexadecimal byte pairs starting at `at`; false on any other character.
inline bool parseHex(
    const Bytes& command, std::size_t at, std::size_t count, bool upper, std::uint8_t* out)
{
    if (command.size() < at + 2 * count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const int high = hexDigit(command[at + 2 * i], upper);
        const int low = hexDigit(command[at + 2 * i + 1], upper);
        if (high < 0 || low < 0)
            return false;
        out[i] = std::uint8_t(high * 16 + low);
    }
    return true;
}

// `code`, then an optional '-' (when `sign`) and 1 to `maxDigits` decimal digits, then CR: the
// number, else nullopt.
inline std::optional<long> decimalArgument(
    const Bytes& command, const char* code, bool sign = false, std::size_t maxDigits = 18)
{
    const std::size_t length = std::strlen(code);
    if (command.size() < length + 2 || !startsWith(command, code) || command.back() != CR)
        return std::nullopt;
    const bool negative = sign && command[length] == '-';
    const auto first = command.begin() + std::ptrdiff_t(length + (negative ? 1 : 0));
    const auto end = command.end() - 1;
    if (first >= end || std::size_t(end - first) > maxDigits || !std::all_of(first, end, isDigit))
        return std::nullopt;
    long value = 0;
    for (auto it = first; it != end; ++it)
        value = value * 10 + (*it - '0');
    return negative ? -value : value;
}

// The command as text up to its first carriage return (block bytes are left out).
inline std::string commandText(const Bytes& command)
{
    const auto end = std::find(command.begin(), command.end(), CR);
    return std::string(command.begin(), end);
}

// Counts commands by their text; not locked, the owner's lock guards it.
class CommandCounter
{
public:
    void record(const Bytes& command)
    {
        ++commands_[commandText(command)];
        ++total_;
    }
    // The commands whose text starts with `prefix`.
    int count(const std::string& prefix) const
    {
        int count = 0;
        for (auto it = commands_.lower_bound(prefix);
             it != commands_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
            count += it->second;
        return count;
    }
    int total() const { return total_; }
    void reset()
    {
        commands_.clear();
        total_ = 0;
    }

private:
    std::map<std::string, int> commands_;
    int total_ = 0;
};

// The fault settings of a hub's own answers; the owner's lock guards them.
struct AnswerFaults
{
    bool silent = false; // no answers at all
    int dropCount = 0; // the next answers to leave out
    std::chrono::milliseconds delay { 0 };

    // Whether the answer to this command goes out; one that is dropped uses up one drop.
    bool letThrough()
    {
        if (silent)
            return false;
        if (dropCount > 0) {
            --dropCount;
            return false;
        }
        return true;
    }
};

// The tag of the running learner session: its learners' packets carry it, so that ending the
// session takes back what they have not sent yet. The owner's lock guards it.
struct SessionTag
{
    std::uint64_t current = 0; // 0: no session

    // Ends the running session, whose tag goes to `cancelled`, and answers the new one's.
    std::uint64_t restart(std::vector<std::uint64_t>& cancelled)
    {
        end(cancelled);
        current = nextPacketTag();
        return current;
    }
    void end(std::vector<std::uint64_t>& cancelled)
    {
        if (current != 0)
            cancelled.push_back(current);
        current = 0;
    }
};

// Plugs in a hub that runs `firmware` from its very first write: on the emulator's own object
// the firmware is in place before the plug-and-play callback fires.
inline EmulatedHub* plugInWithFirmware(
    Emulator& emulator, const HubConfig& config, std::shared_ptr<Firmware> firmware)
{
    if (auto* impl = dynamic_cast<EmulatorImpl*>(&emulator))
        return impl->addHubWithFirmware(config, std::move(firmware));
    EmulatedHub* hub = emulator.addHub(config);
    if (hub)
        hub->setFirmware(std::move(firmware));
    return hub;
}

// Queues a learner packet due at `due`, carrying `tag` so that cancelTagged takes it back, and
// passed through `gate` right before the handover (see HubImpl::deliverAt). On a hub that is not
// the emulator's own there is no taking back: the gate decides at once.
inline void queueTagged(EmulatedHub& hub, const Bytes& packet, Clock::time_point due,
    std::uint64_t tag, std::function<bool()> gate)
{
    if (auto* impl = dynamic_cast<HubImpl*>(&hub)) {
        impl->deliverAt(packet, due, tag, std::move(gate));
        return;
    }
    if (!gate || gate()) {
        const auto delay
            = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
        hub.deliver(packet, std::max(delay, std::chrono::milliseconds(0)));
    }
}

// Takes back whatever is still queued under `tags`.
inline void cancelTagged(EmulatedHub& hub, const std::vector<std::uint64_t>& tags)
{
    if (auto* impl = dynamic_cast<HubImpl*>(&hub)) {
        for (std::uint64_t tag : tags)
            impl->cancel(tag);
    }
}

// A straight stroke's positions: tip down from the start, `moves` positions in between, tip up at
// the end point; `packet` builds one packet of the hub's framing.
template <class PacketOf>
std::vector<Bytes> strokePackets(const PenStroke& stroke, PacketOf packet)
{
    const long steps = std::max(stroke.moves, 0) + 1L;
    auto along = [steps](std::uint16_t from, std::uint16_t to, long step) {
        return std::uint16_t(long(from) + (long(to) - long(from)) * step / steps);
    };
    std::vector<Bytes> packets;
    for (long step = 0; step <= steps; ++step) {
        const bool tip = step < steps;
        packets.push_back(packet(stroke.pen, along(stroke.fromX, stroke.toX, step),
            along(stroke.fromY, stroke.toY, step), tip));
    }
    return packets;
}

// Queues `packets` on `hub`, one every `interval`; answers how many.
inline int queueEvery(
    EmulatedHub& hub, const std::vector<Bytes>& packets, std::chrono::milliseconds interval)
{
    interval = std::max(interval, std::chrono::milliseconds(0));
    for (std::size_t i = 0; i < packets.size(); ++i)
        hub.deliver(packets[i], interval * long(i));
    return int(packets.size());
}

} // namespace Radio
} // namespace TavioEmulator
