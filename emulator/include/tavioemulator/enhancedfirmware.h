// The 2.4 GHz hub's long-message transport and the TavioExpression devices that run self-paced
// tests over it: the hub side of the async session (":XP00A") and of the enhanced generic session
// (":XP00D"), chunk requests and acknowledgement bitmaps, and answer devices that ask for their
// session, reassemble the host's messages, answer questions and fetch application files.
#pragma once

#include "tavioemulator/twopointfourghzfirmware.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace TavioEmulator {

// Session parameters (host message 0x01) as a device read them.
struct EnhancedSessionParameters
{
    int totalQuestions = 0;
    std::uint8_t flags = 0; // bit 0 starting number given, bit 1 mask present, bit 2 navigation
    int startingQuestion = 0; // the byte as sent
    Bytes mask; // packed, least significant bit first
    std::uint8_t lastParameter = 0;

    // The number the device asks for first: the starting number, or 0 when the flags give none.
    int firstQuestion() const { return (flags & 0x01) != 0 ? startingQuestion : 0; }
};

// A question (host message 0x02) as a device read it.
struct EnhancedQuestionInfo
{
    int number = 0;
    int kind = 0; // a QuestionInfo::Type value from 1 to 7, or whatever byte came
    std::uint8_t display = 0; // options, responses and labels; flag; scale; or maximum length
    std::uint8_t flags = 0; // bit 0 show the number, bits 1 and 2 further options, bit 3 equation
    std::string text; // UTF-8
    Bytes correct; // the correct answer as sent (Likert: its value byte, 0 for none)

    // Multiple choice and sort in order: what the display byte packs.
    int optionCount() const { return display >> 5; }
    int responseCount() const { return (display >> 2) & 0x07; }
    int displayCode() const { return display & 0x03; }
};

// One answer a device sent.
struct EnhancedAnswer
{
    int questionNumber = 0;
    int kind = 0;
    Bytes bytes; // the device message, before it was cut into pieces
};

// One `file` element of a session description.
struct ApplicationFileEntry
{
    std::uint32_t fid = 0;
    std::uint32_t size = 0; // of the stored content, its type byte included
    std::string type; // "XM", "AP", "IM", "AU" or "VI"
    std::string id;
};

// A whole host message a device reassembled: async messages as they came, generic ones without
// their length prefix.
struct ReceivedMessage
{
    std::uint32_t number = 0;
    Bytes bytes;
};

// What one answer device went through in the current (or last) run.
struct AnswerDeviceReport
{
    EmulatedDevice device;
    std::vector<ReceivedMessage> messages;
    // Async runs.
    std::optional<EnhancedSessionParameters> parameters;
    std::vector<EnhancedQuestionInfo> questions;
    std::vector<EnhancedAnswer> answers;
    // Generic runs: the description's XML (without its 0x01 and padding), its files, and each
    // file's content (type byte first, cut to its listed size) by file number.
    std::string description;
    std::vector<ApplicationFileEntry> files;
    std::map<std::uint32_t, Bytes> fileContents;
    std::vector<Bytes> deviceMessages; // generic messages the device sent
    std::vector<Bytes> controls; // the 9 control bytes of each 0x94 it sent

    bool finished = false; // its run is over and its last packet went out
    bool shutDown = false; // it sent the shut-down request
    bool noMoreQuestions = false; // the host sent message 0x04

    int chunkCommands = 0; // chunk commands radioed to it, lost ones included
    int chunksLost = 0;
    int acksSent = 0;
    int acksLost = 0;
    int requestsSent = 0; // get-message requests (0x84) or control messages (0x94)
    int questionsRefused = 0; // 0x02 messages whose length disagrees with their bytes
    // Pieces of its async messages (see setPieceFaults): lost on the way (and sent again),
    // repeated, and pairs that swapped places.
    int piecesLost = 0;
    int piecesRepeated = 0;
    int piecesSwapped = 0;
};

// The hub's side of the transport, per run (counted from the session start command).
struct EnhancedTransportCounters
{
    int announces = 0; // ":XP00B" and ":XP00E"
    int chunkCommands = 0; // ":XP00C" and ":XP00F"
    int chunkRequests = 0; // 0x85 and 0x95 packets, repeats included
    int reRequests = 0; // repeats of a request that got no chunk command in time
    int abandonedRequests = 0; // requests given up after the last repeat
    int doneReports = 0; // 0x86 packets
    int abandonedMessages = 0; // messages dropped after too many chunks without progress
    int ignoredCommands = 0; // transport commands of the other mode or of no session
    int malformedCommands = 0; // transport commands whose bytes do not add up
};

enum class EnhancedMode {
    None,
    Async, // ":XP00A"
    Generic, // ":XP00D"
};

// Decides a device's answer to a question: the text is sent in the encoding of the question's
// kind (see EnhancedFirmware::answerBytes); std::nullopt leaves the question unanswered.
using EnhancedAnswerSource
    = std::function<std::optional<std::string>(const EmulatedDevice&, const EnhancedQuestionInfo&)>;
// Decides a device's answer to a generic host message (its length prefix removed): the whole
// device message (kind, question number, answer), or std::nullopt for none.
using GenericAnswerSource
    = std::function<std::optional<Bytes>(const EmulatedDevice&, const Bytes& message)>;

// The transport, chained after a TwoPointFourGHzFirmware (as its `next`, see radioFirmwareFor),
// whose population supplies the answer devices. Answers, each command ending as shown:
//   ":XP00A" 0D 00                      starts the async session, OK
//   ":XP00D" 0D 00                      starts the enhanced generic session, OK
//   ":XP00B" 0D 03 address number       announces an async message to a device, OK
//   ":XP00C" 0D n+4 number k count n data(n)      async chunk k (1-based) of `count`, OK
//   ":XP00E" 0D 05 address number(3)    announces a generic message, OK
//   ":XP00F" 0D number(3) index(2) count(2) data(50)   generic chunk `index` (0-based), OK
// and learns from ":VE" (handed on by the 2.4 GHz firmware) that the session ended: every
// packet of the run not sent yet is taken back and the transport goes quiet. Transport commands
// of the other mode, or outside a session, and malformed ones get no answer; everything else
// goes on to `next`.
//
// Pulling. After an announce to a device that takes part, the hub asks for chunks, one request
// at a time: 03 85 number (03 85 00 with setRequestAnyMessage) in async mode, 02 95 in generic
// mode, going round the messages some receiver still lacks. Each chunk command reaches every
// receiver of its message, except those the chunk loss picks; each receiver that got it answers
// with 0D 93 address start(2) bitmap(7): bit k (least significant first) tells whether it holds
// chunk start + k, start being 0 for messages of up to 56 chunks and otherwise its first missing
// chunk, the indices wrapping past the last chunk. Acknowledgements are lost by their own share.
// When every receiver of an async message holds every chunk the hub sends 03 86 number; a
// generic message is let go by its devices with control kind 6. A request that gets no chunk
// command within the retry interval is repeated (setRequestRetry), then given up until the next
// announce or chunk. A message that gets 3 x its chunk count + 10 chunk commands in a row
// without any receiver gaining a chunk is dropped. Async chunk counts are one byte wide.
//
// Devices. When a session starts, each registered expression device of either generation (or
// each uid of setParticipants that is registered) begins its run after the start delay plus its
// own delay:
//   async: 0C 84 address 00 00 00 00 00 locale 00 00 asks for the session parameters; once the
//     parameters are whole it asks for questions one after another (0C 84 address 01 00 number
//     ...) from their first number for `total` questions; each question is answered after the
//     device's delay, as 0D 87 address count piece(8) then 0D 88 address index piece(8) for each
//     further piece (zero-padded; see setPieceFaults), followed by the next request. Message 0x04
//     ends its run, as does the last answer; 0x03 and 0x05 are kept with the messages.
//   generic: 0D 94 address 01 00.. asks for the session description; once whole (and after each
//     whole message) it sends control kind 6 with the message number, then fetches every listed
//     file in turn with control kind 4 and the file number; its run is over when it holds them
//     all. Every other whole message is a host message with its length prefix: the generic
//     answer source may answer it, after the device's delay, with 0D 96 address number(3)
//     length(3) extra(3) then 0D 92 address tag piece(8) per 8 bytes (tag = piece index). A
//     host message that arrives while the device waits for the description or a file took
//     that one's place (the host keeps one outgoing message per device): the device asks again.
// Device packets go through the hub's packet thread like any other.
//
// Sources are called on the thread that wrote the completing chunk, with no lock held, so they
// may use this firmware. All members are thread-safe.
class TAVIOEMU_EXPORT EnhancedFirmware : public Firmware
{
public:
    explicit EnhancedFirmware(std::shared_ptr<Firmware> next = nullptr);
    ~EnhancedFirmware() override;

    // The firmware whose population the devices come from (held weakly: it normally owns this
    // one as its `next`). Read at each session start.
    void setRadio(const std::shared_ptr<TwoPointFourGHzFirmware>& radio);

    // Who takes part: these registered uids, in the population's order; cleared: every
    // expression device of either generation (pen expressions do not take part).
    void setParticipants(const std::vector<std::uint32_t>& uids);
    void clearParticipants();

    // Timing. A device's delay is its own (setDeviceDelay) or drawn once per run from
    // [min, max] by a generator seeded with `seed` (default 0 ms); it comes before its first
    // request and before each answer. Runs begin `delay` after the start command (default 50 ms)
    // so that the host has taken in the OK before the first request arrives.
    void setDeviceDelays(
        std::chrono::milliseconds min, std::chrono::milliseconds max, std::uint32_t seed = 1);
    void setDeviceDelay(std::uint32_t uid, std::chrono::milliseconds delay);
    void setStartDelay(std::chrono::milliseconds delay);

    // Radio losses: the share (0 to 1) of chunk commands that do not reach a device, and of its
    // acknowledgements that do not reach the host. Each device draws from its own generator,
    // seeded from `seed` and its uid at every session start, so a run repeats itself.
    void setLoss(double chunkShare, double ackShare, std::uint32_t seed = 1);

    // Radio faults on the way back, for the pieces (0x87, 0x88) of async device messages: the
    // share (0 to 1) of pieces lost, of pieces that arrive twice, and of neighbouring pieces that
    // arrive the other way round. A device sends a lost piece again after the rest of the
    // message, so every piece gets through in the end (a loss share above 0.9 counts as 0.9); a
    // repeat arrives somewhere later among the same message's pieces. All pieces of a message
    // arrive before the device's next packet. Each device draws from its own generator, seeded
    // from `seed` and its uid at every session start. Generic messages are left alone: their
    // pieces carry no index the host goes by.
    void setPieceFaults(
        double lossShare, double repeatShare, double swapShare, std::uint32_t seed = 1);

    // Requests: by number (default) or 03 85 00 for any message; the interval after which an
    // unanswered request is repeated, and how often before the hub gives up waiting (until the
    // next announce or chunk command); default 300 ms, 3 repeats.
    void setRequestAnyMessage(bool any);
    void setRequestRetry(std::chrono::milliseconds interval, int repeats);

    // Byte 5 of the session-parameters request (default 9).
    void setLocaleId(std::uint8_t locale);
    // Answers. Without a source a device answers: multiple choice "A", sort in order the option
    // letters in order, yes/no and true/false "A", Likert "1", numeric "42", text "answer".
    void setAnswerSource(EnhancedAnswerSource source);
    void setGenericAnswerSource(GenericAnswerSource source); // default: no answers
    // The device sends the shut-down request (0C 84 address FF ...) instead of its next
    // question request once it has answered `answers` questions.
    void setShutDownAfter(std::uint32_t uid, int answers);

    // Told by the test, during a run; false when the uid takes no part or no session runs.
    // Async: the shut-down request. Generic: control kind `kind` (2 session data, 3 question
    // request with `value` as its 2-byte number, 5 done with the session: the device also drops
    // the message it is receiving; 4 and 6 carry `value` in 3 bytes).
    bool shutDown(std::uint32_t uid);
    bool sendControl(std::uint32_t uid, std::uint8_t kind, std::uint32_t value = 0);
    // Sends a device message in the running mode's pieces (generic: the next message number).
    bool sendDeviceMessage(std::uint32_t uid, const Bytes& message);

    // Observation.
    EnhancedMode mode() const;
    std::vector<AnswerDeviceReport> reports() const; // the run's devices, population order
    std::optional<AnswerDeviceReport> report(std::uint32_t uid) const;
    EnhancedTransportCounters counters() const;
    // Every announce of the run as (address, message number), for devices that take part or not.
    std::vector<std::pair<std::uint16_t, std::uint32_t>> announcements() const;
    // Waits until every device of the run has finished; false on time-out or without devices.
    bool waitUntilFinished(std::chrono::milliseconds timeout) const;

    void onWrite(EmulatedHub& hub, const Bytes& command) override;

    // The device message that answers a question of `kind` with `answer`: multiple choice and
    // sort in order the letters then two zero bytes; yes/no and true/false the first letter;
    // Likert one byte (decimal digits give the value, else the first byte); numeric, text and
    // other kinds the bytes as given (UTF-8).
    static Bytes answerBytes(int kind, const std::string& answer);
    // A message in pieces: async 0x87 then 0x88 packets (at most 255 pieces); generic the 0x96
    // header then 0x92 pieces.
    static std::vector<Bytes> asyncMessagePackets(std::uint16_t address, const Bytes& message);
    static std::vector<Bytes> genericMessagePackets(
        std::uint16_t address, std::uint32_t number, const Bytes& message, std::uint32_t extra = 0);
    // Host messages 0x01 and 0x02, read the way the devices read them; nullopt when the type
    // byte is wrong or the fixed fields are cut short, and for 0x02 when its length does not
    // count exactly its bytes (8, the text and the answer; a Likert answer is one byte).
    static std::optional<EnhancedSessionParameters> parseSessionParameters(const Bytes& message);
    static std::optional<EnhancedQuestionInfo> parseQuestion(const Bytes& message);
    // The `file` elements of a session description.
    static std::vector<ApplicationFileEntry> parseDescription(const std::string& xml);

private:
    struct Private;
    std::shared_ptr<Private> d;
};

// A 2.4 GHz firmware with `enhanced` as its `next`, and `enhanced` reading its population.
TAVIOEMU_EXPORT std::shared_ptr<TwoPointFourGHzFirmware> radioFirmwareFor(
    const std::shared_ptr<EnhancedFirmware>& enhanced);

} // namespace TavioEmulator
