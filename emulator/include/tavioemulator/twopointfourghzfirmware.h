// The 2.4 GHz hub's firmware: a radio receiver with a population of learner devices and boards
// that answers the hub's command vocabulary, plus builders for the packets such a hub sends on
// its own (resets, busy changes, low batteries, pens, touches).
#pragma once

#include "tavioemulator/emulator.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TavioEmulator {

// One device registered on a 2.4 GHz hub. Build them with the static helpers.
struct TAVIOEMU_EXPORT EmulatedDevice
{
    enum class Kind {
        Taviote, // product 6
        Slate, // product 7
        Board, // product 8
        Expression, // product 9, first generation
        ExpressionV2, // product 9 in its record, first identifier byte 12
        PenExpression, // product 13
    };

    Kind kind = Kind::Taviote;
    std::uint32_t uid = 0;
    std::uint16_t address = 0;
    // Raw bytes (Latin-1 for expression devices), cut to the record's name field: 4 bytes for
    // Taviotes, 10 for slates and boards, 14 for expression devices.
    std::string name;
    std::uint16_t firmwareVersion = 0; // boards only

    static EmulatedDevice taviote(std::uint32_t uid, std::uint16_t address, std::string name);
    static EmulatedDevice slate(std::uint32_t uid, std::uint16_t address, std::string name);
    static EmulatedDevice board(
        std::uint32_t uid, std::uint16_t address, std::string name, std::uint16_t firmwareVersion);
    static EmulatedDevice expression(std::uint32_t uid, std::uint16_t address, std::string name);
    // The top byte of `uid` is replaced by 12, the second generation's mark.
    static EmulatedDevice expressionV2(std::uint32_t uid, std::uint16_t address, std::string name);
    static EmulatedDevice penExpression(std::uint32_t uid, std::uint16_t address, std::string name);

    // The product id at offset 8 of its registration record (6, 7, 8, 9 or 13).
    std::uint8_t productId() const;
    // uid then address, both big-endian.
    std::array<std::uint8_t, 6> identifier() const;
    // The identifier as 12 upper-case hexadecimal characters, as ":RD" carries it.
    std::string identifierText() const;
    // Its registration record as the hub sends it in a device list.
    Bytes record() const;
};

// One touch of a touch report.
struct EmulatedTouch
{
    std::uint8_t id = 0; // 0 to 127
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    std::uint16_t radius = 0;
    bool touching = true;
};

// A straight pen stroke: tip down at the start, `moves` positions in between, tip up at the end.
struct PenStroke
{
    std::uint8_t pen = 1; // 0 to 3
    std::uint16_t fromX = 0;
    std::uint16_t fromY = 0;
    std::uint16_t toX = 0;
    std::uint16_t toY = 0;
    int moves = 8;
    std::chrono::milliseconds interval { 10 }; // between two packets
};

// The hub side of the 2.4 GHz protocol. Answers, by exact command:
//   ":GI"         information packet (kind 0x51)
//   ":GN"         name and free store packet (kind 0x32)
//   ":GDpp"       device count (kind 0x53) for product pp (lower-case hexadecimal)
//   ":GRpp"       one registration record per device of product pp, then OK
//   ":CSxx"       clears (99 all, 06, 07, 08, 09 both expression generations, 0D), then OK
//   ":RD" + id    removes the device with that identifier, no answer
//   ":XP010" 0D 02 level value   records the backlight, OK
//   ":QT"         touch status packet, only while a board is registered
//   ":VE"         OK
// each command ending with 0x0D. Every other command is counted and handed to `next` (when
// given) or left unanswered. A command still takes effect while answers are suppressed by the
// fault settings; those settings apply to this firmware's own answers only.
// All members are thread-safe.
class TAVIOEMU_EXPORT TwoPointFourGHzFirmware : public Firmware
{
public:
    struct Backlight
    {
        bool set = false; // whether a backlight command came at all
        std::uint8_t level = 0;
        std::uint8_t value = 0;
    };

    explicit TwoPointFourGHzFirmware(std::shared_ptr<Firmware> next = nullptr);
    ~TwoPointFourGHzFirmware() override;

    // Population, kept in the order devices were added. Adding a device whose uid is already
    // registered replaces that device in place.
    void addDevice(const EmulatedDevice& device);
    void addDevices(const std::vector<EmulatedDevice>& devices);
    bool removeDevice(std::uint32_t uid); // false when no device has that uid
    std::vector<EmulatedDevice> devices() const;
    void clearDevices();

    // Hub information.
    void setHubName(const std::string& name); // up to 10 bytes; default "Hub"
    void setFreeStore(const std::array<std::uint8_t, 4>& bytes); // default zeros
    void setVotingCapacity(std::uint16_t capacity); // default 1000
    void setBoardCapacity(std::uint8_t capacity); // default 4
    void setSlateCapacity(std::uint8_t capacity); // default 64
    void setHubStateCode(std::uint8_t code); // raw byte 10 of the information; default 0 (idle)

    // The board's touch controller (answers ":QT" while a board is registered).
    void setTouchRunning(bool running); // status 5 running (default), 0 stopped
    void setTouchStatusByte(std::uint8_t status);
    void setTouchCount(std::uint8_t touches); // default 10

    // Faults.
    void setSilent(bool silent); // no answers at all
    void dropNextAnswers(int count); // the answers to the next `count` answered commands
    void setReplyDelay(std::chrono::milliseconds delay);
    // While handling the next ":CS99" the hub resets: 03 A0 00 arrives before the OK (after the
    // reply delay, and even when the answer itself is suppressed).
    void resetDuringNextClear(bool on = true);

    // Counters. commandCount sums the commands whose text up to the first 0x0D starts with
    // `prefix`: commandCount(":GR09") counts expression lists, commandCount(":RD") removals.
    int commandCount(const std::string& prefix) const;
    int totalCommands() const;
    Backlight lastBacklight() const;
    void resetCounters();

    void onWrite(EmulatedHub& hub, const Bytes& command) override;

    // Packets, to be queued with EmulatedHub::deliver.
    static Bytes okPacket(); // 04 32 4F 4B
    static Bytes hubResetPacket(std::uint8_t code = 0); // 03 A0 code
    static Bytes busyChangePacket(std::uint8_t previous, std::uint8_t next); // 04 56 prev new
    static Bytes batteryLowPacket(std::uint32_t uid, std::uint16_t address);
    static Bytes batteryLowPacket(const EmulatedDevice& device);
    static Bytes penPacket(std::uint8_t pen, std::uint16_t x, std::uint16_t y, bool tip,
        bool barrel = false, bool inRange = true);
    static Bytes touchPacket(const std::vector<EmulatedTouch>& touches);
    static Bytes touchStatusPacket(std::uint8_t status, std::uint8_t touches);
    static std::vector<Bytes> penStrokePackets(const PenStroke& stroke);
    // Queues the stroke's packets on `hub`, one every stroke.interval, and returns at once with
    // the number of packets queued.
    static int streamPenStroke(EmulatedHub& hub, const PenStroke& stroke);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Plugs in a 2.4 GHz hub (kind 3 unless `config` says otherwise) that runs `firmware` from
// its very first write: the firmware is in place before the plug-and-play callback fires.
TAVIOEMU_EXPORT EmulatedHub* addTwoPointFourGHzHub(
    Emulator& emulator, const HubConfig& config, std::shared_ptr<TwoPointFourGHzFirmware> firmware);

} // namespace TavioEmulator
