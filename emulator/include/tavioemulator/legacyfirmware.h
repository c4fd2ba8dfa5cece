// The legacy radio hub's firmware, in USB or serial framing: RF settings, voter and slate
// registration, voter enabling and voting, PIN naming, board pens, plus builders for every
// record such a hub sends. Its simulated learners are voters (key pads) and radio slates.
#pragma once

#include "tavioemulator/emulator.h"
#include "tavioemulator/twopointfourghzfirmware.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace TavioEmulator {

// How the hub frames its packets; the values are the hub record's connection types.
//   Usb: byte 0 the length, byte 1 the kind, 8-bit data, numbers little-endian.
//   Serial: 7 data bits per byte; byte 0 the length with bit 7 set (0x8A for 10 bytes), byte 1
//   data (a device id's lowest 7 bits), byte 2 the kind; numbers in 7-bit groups, lowest first,
//   from byte 1, then bytes 3, 4 and on. A serial packet is one byte longer than its USB twin.
enum class LegacyFraming {
    Serial = 1,
    Usb = 2,
};

// One voter key pad.
struct LegacyVoter
{
    // Device id: USB records carry 23 bits, serial records 21; higher bits are lost on the wire.
    std::uint32_t deviceId = 0;
    bool batteryLow = false;
    std::uint8_t version = 1; // serial records carry its low 7 bits
    // Raw key bytes (TwoPointFourGHzFirmware::voteKey), pressed in this order each time voting
    // starts; a key listed twice in a row is a repeated press.
    std::vector<std::uint8_t> keys { 0x01 };
    std::chrono::milliseconds delay { 0 }; // before its first packet of a session
    std::chrono::milliseconds keyGap { 0 }; // between two key presses
    bool silent = false; // never votes
    // What it keys during PIN naming: up to three of 'A' to 'F' or spaces; empty: nothing.
    std::string pinName;
};

// One radio slate that wants to join.
struct LegacySlate
{
    std::uint8_t slateId = 1; // 1 to 63 on a hub that works
    // The PIN the learner types once the hub asks for it: three of 'A' to 'F' or '0' to '7'
    // (see LegacyFirmware::pinDigits). Empty: exactly the PIN the hub asked for.
    std::string typedPin;
    std::chrono::milliseconds delay { 0 }; // before each of its packets
};

// The radio settings as ":VT" reports them: each field is two bits wide, the board id a byte.
struct LegacyRFSettings
{
    std::uint8_t voteChannel = 1;
    std::uint8_t rfBand = 1;
    std::uint8_t slateChannel = 1;
    std::uint8_t boardId = 1;
};

// What the last slate PIN request (":AP") carried.
struct LegacyPinRequest
{
    std::uint8_t slateId = 0;
    long channel = 0;
    std::string pin; // the three characters as sent
};

enum class LegacySession {
    None,
    VoterRegistration, // ":VR"
    SlateRegistration, // ":AR"
    SlatePin, // ":AP"
    Voting, // ":VB", ":VM"
    PinNaming, // ":VZ"
};

// The hub side of the legacy protocol. Commands end with 0x0D; the hub answers only two itself:
//   ":VT"         the RF record of its framing
//   ":VI" id      enables the voter with that identifier (12 upper-case hexadecimal characters,
//                 least significant byte first) and answers the enable record of its framing;
//                 an identifier of no known voter gets no answer
// and takes the others silently:
//   ":VR"         voter registration: waiting voters send their registration record and join
//   ":VE"         ends whatever session runs; handed on to `next` as well
//   ":VO"         disables every voter
//   ":RD" id      forgets that voter
//   ":AR", ":AO"  starts, stops slate registration: waiting slates send their request record
//   ":AP" nn c ppp  asks slate nn (two digits) for a PIN on slate channel c: that waiting slate
//                 answers with the PIN it types and joins when it is the PIN asked for
//   ":AE"         disables every slate;  ":AB" nn pin  enables slate nn with that PIN
//   ":AT1"        uses radio slates
//   ":UR" nn      board id;  ":AY" c, ":VY" c  slate and vote channel (in band 2 the hub takes
//                 channels 4 to 6 and reports them as 1 to 3)
//   ":VB", ":VM"  voting: the voters enabled since the last ":VO" press their keys
//   ":VZ" digits  PIN naming: voters with a PIN name key it
//   ":PK", ":PN"  pen type and hardware mode, recorded only
// Every command is counted; commands outside this list (":QT" among them) go on to `next`
// when given, else stay unanswered. Starting a session ends the one before; an ended session's
// learners send nothing more. The fault settings apply to the hub's own answers only.
// All members are thread-safe.
class TAVIOEMU_EXPORT LegacyFirmware : public Firmware
{
public:
    explicit LegacyFirmware(LegacyFraming framing, std::shared_ptr<Firmware> next = nullptr);
    ~LegacyFirmware() override;

    LegacyFraming framing() const;

    // Radio settings: what ":VT" reports until the channel and board id commands change them.
    void setRFSettings(const LegacyRFSettings& settings);
    LegacyRFSettings rfSettings() const;
    bool usesRadioSlates() const; // whether ":AT1" came

    // Voters within reach: ":VI" answers for them. Adding a voter whose id is known replaces it.
    void addVoter(const LegacyVoter& voter);
    bool removeVoter(std::uint32_t deviceId);
    std::vector<LegacyVoter> voters() const;
    void clearVoters();
    // The voters enabled by ":VI" since the last ":VO", in the order they were enabled.
    std::vector<std::uint32_t> enabledVoters() const;
    // A voter not known yet: at the next ":VR" it sends its registration record after its delay
    // and, unless the session ended first, becomes known.
    void addWaitingVoter(const LegacyVoter& voter);
    std::vector<LegacyVoter> waitingVoters() const;

    // Slates that want to join: each one sends its request record at ":AR" and its PIN at the
    // ":AP" that names it; the right PIN makes it registered.
    void addWaitingSlate(const LegacySlate& slate);
    std::vector<LegacySlate> waitingSlates() const;
    std::vector<LegacySlate> registeredSlates() const;
    std::map<std::uint8_t, std::string> enabledSlates() const; // by ":AB": id to PIN text
    std::optional<LegacyPinRequest> lastPinRequest() const;
    std::optional<long> lastPinNamingArgument() const; // the number after ":VZ"

    LegacySession session() const;

    // Faults.
    void setSilent(bool silent); // no answers at all
    void dropNextAnswers(int count); // the answers to the next `count` answered commands
    void setReplyDelay(std::chrono::milliseconds delay);
    // The enable record for `deviceId` carries `replyId` instead (nullopt: its own id again).
    void setEnableReplyId(std::uint32_t deviceId, std::optional<std::uint32_t> replyId);

    // Counters: commandCount sums the commands whose text up to the first 0x0D starts with
    // `prefix` (commandCount(":VI") counts enables, commandCount(":VY4") one channel change).
    int commandCount(const std::string& prefix) const;
    int totalCommands() const;
    void resetCounters();

    void onWrite(EmulatedHub& hub, const Bytes& command) override;

    // Records, byte for byte as the hub sends them in `framing`.
    // RF settings: the 2-bit vote channel, band and slate channel in bits 1-2, 3-4 and 5-6 of
    // USB byte 2 / serial byte 1; the board id in byte 3. USB 10 bytes 0A 68, serial 11 (8B).
    static Bytes rfPacket(LegacyFraming framing, const LegacyRFSettings& settings);
    // Enable answer: the device id in 24 bits (USB bytes 2-4) or three 7-bit groups (serial
    // bytes 1, 3, 4). USB 10 bytes 0A 68, serial 11 (8B): the same shape as the RF record.
    static Bytes enablePacket(LegacyFraming framing, std::uint32_t deviceId);
    // Voter registration: USB 09 67 id(23 bits), byte 6 bit 0 battery low, byte 8 version;
    // serial 8A id 67 id id, byte 6 = 16 when the battery is low, byte 9 version.
    static Bytes voteRegistrationPacket(
        LegacyFraming framing, std::uint32_t deviceId, bool batteryLow, std::uint8_t version);
    // A slate asking to join: USB 09 07, slate id in byte 4, `second` in byte 7; serial 10
    // bytes 8A 00 07, the id's low five bits in bits 2-6 of byte 4, its next two in byte 5.
    static Bytes slateRequestPacket(
        LegacyFraming framing, std::uint8_t slateId, std::uint8_t second = 0);
    // A slate's PIN answer, three digit values 0 to 7: USB 09 07 id d1 d2 d3; serial 10 bytes
    // 8A .. 07, the 32-bit value id | d1 << 8 | d2 << 16 | d3 << 24 in 7-bit groups (bytes 1,
    // 3, 4, 5, 6).
    static Bytes slatePinPacket(
        LegacyFraming framing, std::uint8_t slateId, const std::array<std::uint8_t, 3>& digits);
    // The digit values a slate sends for typed characters: 'A' to 'F' (either case) 1 to 6,
    // '0' to '7' themselves, anything else 0; missing characters 0.
    static std::array<std::uint8_t, 3> pinDigits(const std::string& typed);
    // A vote: USB 09 65 id(23 bits), byte 6 battery low, byte 8 the key; serial 8A id 65 id id,
    // byte 6 battery low, byte 9 the key.
    static Bytes votePacket(
        LegacyFraming framing, std::uint32_t deviceId, std::uint8_t key, bool batteryLow = false);
    // A keyed PIN name of three 3-bit key codes (1 to 6 'A' to 'F', 7 a space, 0 nothing): USB
    // 9 bytes 09 67, serial 10 bytes 8A .. 67 (see the source for the bit positions).
    static Bytes pinNamingPacket(LegacyFraming framing, std::uint32_t deviceId, std::uint8_t first,
        std::uint8_t second, std::uint8_t third);
    static Bytes pinNamingPacket(
        LegacyFraming framing, std::uint32_t deviceId, const std::string& name);
    // Pens: USB as on the 2.4 GHz hub (08 21); serial 9 bytes 89 00 21, x and y in 16 bits as
    // 2 + 7 + 7 bits, the pen id (0 to 15) in bits 3-6 of byte 6, in range bit 5 and the button
    // code (1 tip, 2 barrel, 3 both) bits 2-3 of byte 3.
    static Bytes penPacket(LegacyFraming framing, std::uint8_t pen, std::uint16_t x,
        std::uint16_t y, bool tip, bool barrel = false, bool inRange = true);
    static std::vector<Bytes> penStrokePackets(LegacyFraming framing, const PenStroke& stroke);
    // Queues the stroke's packets on `hub`, one every stroke.interval; answers how many.
    static int streamPenStroke(EmulatedHub& hub, LegacyFraming framing, const PenStroke& stroke);
    // The identifier ":VI" and ":RD" carry: 12 upper-case hexadecimal characters, least
    // significant byte first (133 gives "850000000000").
    static std::string identifierText(std::uint64_t deviceId);

private:
    struct Private;
    std::shared_ptr<Private> d;
};

// The record a legacy hub is plugged in with.
struct TAVIOEMU_EXPORT LegacyHubRecord
{
    bool hasBoard = true; // kind 1 with a board, else kind 2
    int versionNumber = 100; // the board model
    std::uint64_t serial = 0;
    int handle = 0; // 0: the emulator picks one
    // The additional information items.
    int penCount = -1; // xp; -1 leaves it to the system (from the version number)
    int touches = 0; // xt
    int erasers = 0; // xl
    bool hid = false; // hid: "true" or "false"
    std::uint16_t vendorId = 0; // vid, hexadecimal
    std::uint16_t productId = 0; // pid, hexadecimal
    // When set, sent as it is instead of the items above (malformed records for tests).
    std::optional<std::string> additionalInfoOverride;

    // "xp=<-1> xt=<0> xl=<0> hid=<false> vid=<0000> pid=<0000>"
    std::string additionalInfo() const;
    HubConfig config(LegacyFraming framing) const;
};

// Plugs in a legacy hub whose connection type follows the firmware's framing and that runs
// `firmware` from its very first write.
TAVIOEMU_EXPORT EmulatedHub* addLegacyHub(
    Emulator& emulator, const LegacyHubRecord& record, std::shared_ptr<LegacyFirmware> firmware);

} // namespace TavioEmulator
