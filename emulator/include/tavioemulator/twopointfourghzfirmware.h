// The 2.4 GHz hub's firmware: a radio receiver with a population of learner devices and boards
// that answers the hub's command vocabulary, plus builders for the packets such a hub sends on
// its own (resets, busy changes, low batteries, pens, touches). Its simulated learners join
// registration windows, take teacher names, answer questions, vote and key PIN names.
#pragma once

#include "tavioemulator/emulator.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// A question as the hub received it in the block of ":XP005".
struct TAVIOEMU_EXPORT QuestionInfo
{
    enum Type {
        MultipleChoice = 1,
        YesNo = 2,
        TrueFalse = 3,
        Likert = 4,
        Numeric = 5,
        Text = 6,
        SortInOrder = 7,
        Message = 8,
        EndUserNaming = 9,
    };

    Bytes block; // the whole block, its length byte first
    std::uint8_t entityId = 0;
    bool equation = false;
    std::uint8_t timeByte = 0;
    int type = 0; // a Type value, or whatever byte came
    std::uint8_t typeByte = 0;
    std::string text; // UTF-8 without its terminating zero (numeric, text and message only)

    // Multiple choice and sort in order: what the type byte packs.
    int optionCount() const { return typeByte >> 5; }
    int responseCount() const { return (typeByte >> 2) & 0x07; }
    int displayCode() const { return typeByte & 0x03; }
};

// The parameters of a registration window as its start command carried them.
struct RegistrationStart
{
    // Taviote (":VR"), Slate (":SR") or Expression (":XP001", which admits both expression
    // generations and pen expressions).
    EmulatedDevice::Kind kind = EmulatedDevice::Kind::Taviote;
    std::uint16_t p1 = 0;
    std::uint8_t p2 = 0;
    std::uint8_t p3 = 0;
    std::string pin; // the three PIN bytes
    std::uint8_t namingByte = 0; // ":XP001" only
};

// What the hub is doing with its learners.
enum class LearnerSession {
    None,
    Registration, // ":VR", ":SR", ":XP001"
    TavioteNaming, // ":VN"
    SlateNaming, // ":NS"
    ExpressionNaming, // ":XP002"
    Question, // ":XP005" of types 1 to 8
    EndUserNaming, // ":XP005" of type 9
    Voting, // ":VB", ":VM"
    PinNaming, // ":VZ"
};

// A learner's answer to a question, or std::nullopt for a learner who stays silent. See
// TwoPointFourGHzFirmware::setAnswer for how the text is sent per question type.
using AnswerSource
    = std::function<std::optional<std::string>(const EmulatedDevice&, const QuestionInfo&)>;

// The hub side of the 2.4 GHz protocol. Answers, by exact command:
//   ":GI"         information packet (kind 0x51)
//   ":GN"         name and free store packet (kind 0x32)
//   ":GDpp"       device count (kind 0x53) for product pp (lower-case hexadecimal)
//   ":GRpp"       one registration record per device of product pp, then OK
//   ":CSxx"       clears (99 all, 06, 07, 08, 09 both expression generations, 0D), then OK
//   ":RD" + id    removes the device with that identifier, no answer
//   ":XP010" 0D 02 level value   records the backlight, OK
//   ":QT"         touch status packet, only while a board is registered
//   ":VE"         ends whatever session runs, OK; handed on to `next` as well
// and the learner sessions:
//   ":VR" p1 p2 p3 PIN, ":SR" ..., ":XP001" 0D block   registration windows: waiting learners
//                 of that kind with that PIN join and their records follow
//   ":VN"         Taviote naming, no answer
//   ":VN" id name, ":NS" id name   renames that Taviote or slate, its record with the new name
//   ":XP002"      expression naming, OK
//   ":XP003" 0D 11 address name    renames that expression device: 04 82 s1 s2 then its record
//                                  (04 82 FF FF alone for an unknown address)
//   ":XP005" 0D block              a question (types 1 to 8) or end-user naming (type 9): the
//                                  answering learners answer
//   ":XP004"      ends end-user naming, OK
//   ":VB", ":VM"  voting: the voters vote
//   ":VZ" digits  PIN naming: learners with a PIN name send it
// each command ending with 0x0D. Every other command is counted and handed to `next` (when
// given) or left unanswered; session starts the hub does not answer itself go on to `next` as
// well. A command still takes effect while answers are suppressed by the fault settings; those
// settings apply to this firmware's own answers only, never to what learners send.
//
// Learners send their packets through the hub after their delay, while their session runs:
// starting another session or ending this one (":VE", or ":XP004" for end-user naming) takes
// back whatever they have not sent yet.
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

    // Registration windows. A waiting learner is not registered yet: when a window for its kind
    // opens with its PIN (three bytes; missing ones count as 0) it joins `delay` later: it is
    // registered (replacing a device of the same uid) and the hub sends its record. A window
    // closed by ":VE" before then leaves it waiting; so does a wrong PIN.
    void addWaitingLearner(const EmulatedDevice& device, const std::string& pin,
        std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    std::vector<EmulatedDevice> waitingLearners() const;
    void clearWaitingLearners();
    std::optional<RegistrationStart> lastRegistrationStart() const;

    // Teacher naming: the status bytes of the 04 82 answer to ":XP003" for a known address.
    void setExpressionNameStatus(std::uint8_t first, std::uint8_t second); // default 00 00

    // Answers. Who answers a question: every registered device of the answering kinds
    // (default Expression and ExpressionV2), in the order of the population. A learner's
    // answer is its fixed answer, else what the answer source returns, else the default
    // (first option letter 'A'; for sort in order the option letters in order; Likert 1;
    // numeric "42"; text "answer"; end-user naming the device's name). How it is sent:
    //   multiple choice, sort in order: its first six bytes as the letters, zero-padded
    //   yes/no, true/false, message: its first byte ('A' yes or true, 'B' no, 'C' the third)
    //   Likert: decimal digits give the value ("3" sends 3); anything else its first byte
    //   numeric, text: UTF-8, in as many packets as it takes (at most 255 bytes)
    //   end-user naming: the typed name (Latin-1 bytes) in the device's expression record; the
    //   device then carries that name
    // The answer source is called on the thread that wrote the question, with no lock held, so
    // it may use this firmware.
    void setAnswer(std::uint32_t uid, const std::string& answer);
    void clearAnswers();
    void setAnswerSource(AnswerSource source); // an empty function: the defaults
    void setAnsweringKinds(const std::vector<EmulatedDevice::Kind>& kinds);
    // Long answers (numeric, text): leave out the last `count` packets of every learner's answer,
    // or of one learner's (uid given) so that it stays incomplete.
    void dropLastAnswerPackets(int count, std::optional<std::uint32_t> uid = std::nullopt);
    // Long answers: when on, a learner's packets go out `gap` apart, so that the packets of
    // learners with equal delays interleave packet by packet; when off (default) they go out
    // back to back.
    void setInterleavedAnswers(
        bool on, std::chrono::milliseconds gap = std::chrono::milliseconds(1));
    // Byte 5 of the first packet of a long answer and of every short one; default (nullopt):
    // the question's entity id.
    void setAnswerNumberByte(std::optional<std::uint8_t> number);

    // What learners do when a question, voting or PIN naming starts. Each one responds after
    // its own delay (set per uid, else drawn from [min, max]; default 0) unless it stays silent
    // (`chance` from 0 to 1; default 0). Both draws come from one generator seeded with `seed`,
    // so a run repeats itself.
    void setResponseDelay(std::chrono::milliseconds min, std::chrono::milliseconds max);
    void setLearnerDelay(std::uint32_t uid, std::chrono::milliseconds delay);
    void setSilenceChance(double chance, std::uint32_t seed = 1);
    // The uids of the learners that chance did not keep silent at the last question, voting or
    // PIN naming start, in the order they were scheduled (an answer source may still keep one
    // quiet).
    std::vector<std::uint32_t> lastResponders() const;
    std::optional<QuestionInfo> lastQuestion() const;

    // Voting. The voters are the given registered Taviotes (in that order), by default every
    // registered Taviote. A voter's key byte is key 1 (0x01) unless set; `byUid` sends address 0
    // so that the host goes by the uid.
    void setVoters(const std::vector<std::uint32_t>& uids);
    void clearVoters(); // back to every registered Taviote
    void setVote(std::uint32_t uid, std::uint8_t keys, bool byUid = false);

    // PIN naming: the registered Taviotes given a PIN name (letters A to F and spaces, up to
    // four) send it.
    void setPinName(std::uint32_t uid, const std::string& name);
    void clearPinNames();
    std::optional<long> lastPinNamingArgument() const; // the number after ":VZ"

    // The session the hub is in, and the raw state byte the information packet reports while a
    // session runs (default: the one of setHubStateCode, idle unless changed).
    LearnerSession session() const;
    void setSessionStateCode(LearnerSession session, std::optional<std::uint8_t> code);

    // Leaves the next `count` ":VE" commands unanswered (the session still ends), whatever the
    // other fault settings say.
    void dropNextStopAnswers(int count = 1);

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

    // Learner packets.
    static std::uint8_t voteKey(int key); // 0x01 to 0x20 for keys 1 to 6, 0 otherwise
    // 09 65 uid address keys; address 0 makes the host go by the uid.
    static Bytes votePacket(std::uint32_t uid, std::uint16_t address, std::uint8_t keys);
    // Bytes 8 and 9 of a PIN naming packet: four 3-bit key codes (1 to 6 for 'A' to 'F', 7 for a
    // space, 0 for nothing) of the first four characters. Lower-case letters count as upper.
    static std::array<std::uint8_t, 2> pinNameBytes(const std::string& name);
    static std::array<std::uint8_t, 2> pinNameBytes(
        std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint8_t fourth);
    // 0B 67 uid address b8 b9 00
    static Bytes pinNamingPacket(std::uint32_t uid, std::uint16_t address, const std::string& name);
    // 0C 83 address 00 number answer 00 00 00 00 00
    static Bytes byteAnswerPacket(std::uint16_t address, std::uint8_t number, std::uint8_t answer);
    // 0C 83 address 00 number, then up to six letters, zero-padded
    static Bytes lettersAnswerPacket(
        std::uint16_t address, std::uint8_t number, const std::string& letters);
    // A long answer: 0C 83 address 00 number count text[0..5), then 0C 83 address n text[...7)
    // for n = 1, 2, ..., the last one zero-padded. The text is cut to 255 bytes.
    static std::vector<Bytes> longAnswerPackets(
        std::uint16_t address, std::uint8_t number, const std::string& text);
    static Bytes expressionNamedPacket(std::uint8_t first, std::uint8_t second); // 04 82 ..
    // The packets `device` sends to answer `question` with `answer` (see setAnswer).
    static std::vector<Bytes> answerPackets(const EmulatedDevice& device,
        const QuestionInfo& question, const std::string& answer, std::uint8_t number);
    // Parses the block of ":XP005" (from its length byte on); nullopt when it is too short.
    static std::optional<QuestionInfo> parseQuestion(const Bytes& block);

private:
    struct Private;
    std::shared_ptr<Private> d;
};

// Plugs in a 2.4 GHz hub (kind 3 unless `config` says otherwise) that runs `firmware` from
// its very first write: the firmware is in place before the plug-and-play callback fires.
TAVIOEMU_EXPORT EmulatedHub* addTwoPointFourGHzHub(
    Emulator& emulator, const HubConfig& config, std::shared_ptr<TwoPointFourGHzFirmware> firmware);

} // namespace TavioEmulator
