// The legacy hub's firmware: its command vocabulary, its radio settings and the voters and
// slates that register, vote and key PIN names.
#include "radio_p.h"

#include "tavioemulator/legacyfirmware.h"

namespace TavioEmulator {

using namespace Radio;

namespace {

using Milliseconds = std::chrono::milliseconds;

// Band 2 numbers its channels 4 to 6; the 2-bit fields of the RF record hold 1 to 3.
constexpr std::uint8_t Band2 = 2;
constexpr long Band2ChannelOffset = 3;
constexpr long MaxChannelField = 3;

constexpr std::size_t IdentifierBytes = 6;
constexpr std::size_t SlateIdDigits = 2;
constexpr std::size_t PinLength = 3;

// ":VI" and ":RD": the code, 12 upper-case hexadecimal characters (least significant byte
// first), CR. The identifier, else nullopt.
std::optional<std::uint64_t> identifierArgument(const Bytes& command, const char* code)
{
    std::uint8_t bytes[IdentifierBytes] = {};
    if (command.size() != 3 + 2 * IdentifierBytes + 1 || command.back() != CR
        || !startsWith(command, code) || !parseHex(command, 3, IdentifierBytes, true, bytes))
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < IdentifierBytes; ++i)
        value |= std::uint64_t(bytes[i]) << (8 * i);
    return value;
}

// Two decimal digits at `at`, else -1.
int twoDigits(const Bytes& command, std::size_t at)
{
    if (command.size() < at + SlateIdDigits || !isDigit(command[at]) || !isDigit(command[at + 1]))
        return -1;
    return (command[at] - '0') * 10 + (command[at + 1] - '0');
}

// The item whose id (`idOf`) is `id`.
template <class T, class IdOf>
auto findById(std::vector<T>& items, std::uint64_t id, IdOf idOf)
{
    return std::find_if(
        items.begin(), items.end(), [&](const T& item) { return std::uint64_t(idOf(item)) == id; });
}

// Replaces the item of the same id, else appends it.
template <class T, class IdOf>
void putById(std::vector<T>& items, const T& item, IdOf idOf)
{
    const auto same = findById(items, idOf(item), idOf);
    if (same != items.end())
        *same = item;
    else
        items.push_back(item);
}

std::uint32_t voterId(const LegacyVoter& voter) { return voter.deviceId; }
std::uint32_t slateId(const LegacySlate& slate) { return slate.slateId; }

} // namespace

struct LegacyFirmware::Private
{
    // A learner packet: sent `delay` after the command, through `gate`.
    struct Scheduled
    {
        Bytes packet;
        Milliseconds delay { 0 };
        std::function<bool()> gate;
    };
    // What one command does.
    struct Outcome
    {
        std::vector<Bytes> answer; // the hub's own answer, subject to the fault settings
        bool passOn = false; // the command goes on to `next` as well
        std::vector<std::uint64_t> cancelled; // tags of sessions that ended
        std::uint64_t tag = 0; // of the learner packets below
        std::vector<Scheduled> learners;
    };

    LegacyFraming framing = LegacyFraming::Usb;
    std::shared_ptr<Firmware> next;
    std::weak_ptr<Private> self; // for the gates of learner packets

    mutable std::mutex m;
    LegacyRFSettings rf;
    bool radioSlates = false;
    std::vector<LegacyVoter> voters;
    std::vector<LegacyVoter> waitingVoters;
    std::vector<std::uint32_t> enabled;
    std::vector<LegacySlate> waitingSlates;
    std::vector<LegacySlate> slates;
    std::map<std::uint8_t, std::string> enabledSlates;
    std::optional<LegacyPinRequest> pinRequest;
    std::optional<long> pinArgument;
    std::map<std::uint32_t, std::uint32_t> enableReplies;

    LegacySession session = LegacySession::None;
    SessionTag sessionTag;

    AnswerFaults faults;
    CommandCounter commands;

    LegacyVoter* findVoter(std::uint64_t deviceId)
    {
        const auto it = findById(voters, deviceId, voterId);
        return it == voters.end() ? nullptr : &*it;
    }
    bool isEnabled(std::uint32_t deviceId) const
    {
        return std::find(enabled.begin(), enabled.end(), deviceId) != enabled.end();
    }

    // False when the command is not part of the vocabulary.
    bool handle(const Bytes& command, Outcome& out);
    bool handleSession(const Bytes& command, Outcome& out);
    bool voterCommand(const Bytes& command, Outcome& out);
    bool slateCommand(const Bytes& command);
    bool radioCommand(const Bytes& command);
    void startSession(LegacySession kind, Outcome& out);
    void endSession(Outcome& out);
    void startVoterRegistration(Outcome& out);
    void startSlateRegistration(Outcome& out);
    bool startSlatePin(const Bytes& command, Outcome& out);
    void startVoting(Outcome& out);
    void startPinNaming(long argument, Outcome& out);

    // Gates: pass while the session of `tag` runs, and do what the packet stands for then.
    std::function<bool()> sessionGate(std::uint64_t tag) const;
    std::function<bool()> voterJoinGate(std::uint64_t tag, std::uint32_t deviceId) const;
    std::function<bool()> voteGate(std::uint64_t tag, std::uint32_t deviceId) const;
    std::function<bool()> slateJoinGate(std::uint64_t tag, std::uint8_t id, bool right) const;
    template <class Action>
    std::function<bool()> gate(std::uint64_t tag, Action action) const;
};

bool LegacyFirmware::Private::handle(const Bytes& command, Outcome& out)
{
    if (isPlain(command, ":VT")) {
        out.answer.push_back(rfPacket(framing, rf));
        return true;
    }
    if (startsWith(command, ":PK") || startsWith(command, ":PN"))
        return command.back() == CR; // the board's pens: nothing the hub answers
    return handleSession(command, out) || voterCommand(command, out) || slateCommand(command)
        || radioCommand(command);
}

bool LegacyFirmware::Private::handleSession(const Bytes& command, Outcome& out)
{
    if (isPlain(command, ":VE")) {
        endSession(out);
        out.passOn = true; // the chained firmware's sessions end as well
        return true;
    }
    if (isPlain(command, ":AO")) {
        if (session == LegacySession::SlateRegistration || session == LegacySession::SlatePin)
            endSession(out);
        return true;
    }
    if (isPlain(command, ":VR")) {
        startVoterRegistration(out);
        return true;
    }
    if (isPlain(command, ":AR")) {
        startSlateRegistration(out);
        return true;
    }
    if (isPlain(command, ":VB") || isPlain(command, ":VM")) {
        startVoting(out);
        return true;
    }
    if (const auto argument = decimalArgument(command, ":VZ", true)) {
        startPinNaming(*argument, out);
        return true;
    }
    return startSlatePin(command, out);
}

bool LegacyFirmware::Private::voterCommand(const Bytes& command, Outcome& out)
{
    if (isPlain(command, ":VO")) {
        enabled.clear();
        return true;
    }
    if (const auto id = identifierArgument(command, ":VI")) {
        if (const LegacyVoter* voter = findVoter(*id)) {
            if (!isEnabled(voter->deviceId))
                enabled.push_back(voter->deviceId);
            const auto reply = enableReplies.find(voter->deviceId);
            out.answer.push_back(enablePacket(
                framing, reply != enableReplies.end() ? reply->second : voter->deviceId));
        }
        return true;
    }
    if (const auto id = identifierArgument(command, ":RD")) {
        voters.erase(std::remove_if(voters.begin(), voters.end(),
                         [&](const LegacyVoter& voter) { return voter.deviceId == *id; }),
            voters.end());
        enabled.erase(std::remove(enabled.begin(), enabled.end(), *id), enabled.end());
        return true;
    }
    return false;
}

bool LegacyFirmware::Private::slateCommand(const Bytes& command)
{
    if (isPlain(command, ":AE")) {
        enabledSlates.clear();
        return true;
    }
    if (isPlain(command, ":AT1")) {
        radioSlates = true;
        return true;
    }
    // ":AB" nn PIN: the PIN text is whatever comes before the CR.
    if (startsWith(command, ":AB") && command.back() == CR) {
        const int id = twoDigits(command, 3);
        if (id < 0)
            return false;
        enabledSlates[std::uint8_t(id)]
            = std::string(command.begin() + 3 + SlateIdDigits, command.end() - 1);
        return true;
    }
    return false;
}

bool LegacyFirmware::Private::radioCommand(const Bytes& command)
{
    if (command.size() == 3 + SlateIdDigits + 1) {
        if (const auto id = decimalArgument(command, ":UR", false, SlateIdDigits)) {
            rf.boardId = std::uint8_t(*id);
            return true;
        }
    }
    const bool vote = startsWith(command, ":VY");
    if (!vote && !startsWith(command, ":AY"))
        return false;
    const auto channel = decimalArgument(command, vote ? ":VY" : ":AY", false, 3);
    if (!channel)
        return false;
    // A channel outside the band is taken as a command and changes nothing.
    const long field = rf.rfBand == Band2 ? *channel - Band2ChannelOffset : *channel;
    if (field >= 1 && field <= MaxChannelField)
        (vote ? rf.voteChannel : rf.slateChannel) = std::uint8_t(field);
    return true;
}

// Sessions

void LegacyFirmware::Private::startSession(LegacySession kind, Outcome& out)
{
    out.tag = sessionTag.restart(out.cancelled);
    session = kind;
}

void LegacyFirmware::Private::endSession(Outcome& out)
{
    sessionTag.end(out.cancelled);
    session = LegacySession::None;
}

void LegacyFirmware::Private::startVoterRegistration(Outcome& out)
{
    startSession(LegacySession::VoterRegistration, out);
    for (const LegacyVoter& voter : waitingVoters) {
        out.learners.push_back(
            { voteRegistrationPacket(framing, voter.deviceId, voter.batteryLow, voter.version),
                voter.delay, voterJoinGate(out.tag, voter.deviceId) });
    }
}

void LegacyFirmware::Private::startSlateRegistration(Outcome& out)
{
    startSession(LegacySession::SlateRegistration, out);
    for (const LegacySlate& slate : waitingSlates)
        out.learners.push_back(
            { slateRequestPacket(framing, slate.slateId), slate.delay, sessionGate(out.tag) });
}

// ":AP" nn channel PIN: two digits of slate id, the channel in decimal, three PIN characters.
bool LegacyFirmware::Private::startSlatePin(const Bytes& command, Outcome& out)
{
    const std::size_t channelAt = 3 + SlateIdDigits;
    if (!startsWith(command, ":AP") || command.back() != CR
        || command.size() < channelAt + 1 + PinLength + 1
        || command.size() > channelAt + 3 + PinLength + 1)
        return false;
    const int id = twoDigits(command, 3);
    const auto pinAt = command.end() - 1 - std::ptrdiff_t(PinLength);
    const auto channelBegin = command.begin() + std::ptrdiff_t(channelAt);
    if (id < 0 || !std::all_of(channelBegin, pinAt, isDigit))
        return false;
    LegacyPinRequest request;
    request.slateId = std::uint8_t(id);
    for (auto it = channelBegin; it != pinAt; ++it)
        request.channel = request.channel * 10 + (*it - '0');
    request.pin.assign(pinAt, command.end() - 1);

    startSession(LegacySession::SlatePin, out);
    pinRequest = request;
    const auto asked = pinDigits(request.pin);
    for (const LegacySlate& slate : waitingSlates) {
        if (slate.slateId != request.slateId)
            continue;
        const auto typed = slate.typedPin.empty() ? asked : pinDigits(slate.typedPin);
        out.learners.push_back({ slatePinPacket(framing, slate.slateId, typed), slate.delay,
            slateJoinGate(out.tag, slate.slateId, typed == asked) });
    }
    return true;
}

void LegacyFirmware::Private::startVoting(Outcome& out)
{
    startSession(LegacySession::Voting, out);
    for (std::uint32_t id : enabled) {
        const LegacyVoter* voter = findVoter(id);
        if (!voter || voter->silent)
            continue;
        for (std::size_t i = 0; i < voter->keys.size(); ++i) {
            out.learners.push_back(
                { votePacket(framing, voter->deviceId, voter->keys[i], voter->batteryLow),
                    voter->delay + voter->keyGap * long(i), voteGate(out.tag, voter->deviceId) });
        }
    }
}

void LegacyFirmware::Private::startPinNaming(long argument, Outcome& out)
{
    startSession(LegacySession::PinNaming, out);
    pinArgument = argument;
    for (const LegacyVoter& voter : voters) {
        if (voter.pinName.empty() || voter.silent)
            continue;
        out.learners.push_back({ pinNamingPacket(framing, voter.deviceId, voter.pinName),
            voter.delay, sessionGate(out.tag) });
    }
}

template <class Action>
std::function<bool()> LegacyFirmware::Private::gate(std::uint64_t tag, Action action) const
{
    return [weak = self, tag, action] {
        const auto firmware = weak.lock();
        if (!firmware)
            return false;
        std::lock_guard<std::mutex> lock(firmware->m);
        return firmware->sessionTag.current == tag && action(*firmware);
    };
}

std::function<bool()> LegacyFirmware::Private::sessionGate(std::uint64_t tag) const
{
    return gate(tag, [](Private&) { return true; });
}

std::function<bool()> LegacyFirmware::Private::voterJoinGate(
    std::uint64_t tag, std::uint32_t deviceId) const
{
    return gate(tag, [deviceId](Private& firmware) {
        auto& waiting = firmware.waitingVoters;
        const auto voter = findById(waiting, deviceId, voterId);
        if (voter == waiting.end())
            return false;
        putById(firmware.voters, *voter, voterId);
        waiting.erase(voter);
        return true;
    });
}

std::function<bool()> LegacyFirmware::Private::voteGate(
    std::uint64_t tag, std::uint32_t deviceId) const
{
    // A ":VO" while the votes are under way disables the voter at once.
    return gate(tag, [deviceId](Private& firmware) { return firmware.isEnabled(deviceId); });
}

std::function<bool()> LegacyFirmware::Private::slateJoinGate(
    std::uint64_t tag, std::uint8_t id, bool right) const
{
    return gate(tag, [id, right](Private& firmware) {
        auto& waiting = firmware.waitingSlates;
        const auto slate = findById(waiting, id, slateId);
        if (slate == waiting.end())
            return false;
        if (right) { // a wrong PIN leaves the slate waiting for another try
            putById(firmware.slates, *slate, slateId);
            waiting.erase(slate);
        }
        return true;
    });
}

// LegacyFirmware

LegacyFirmware::LegacyFirmware(LegacyFraming framing, std::shared_ptr<Firmware> next)
    : d(std::make_shared<Private>())
{
    d->framing = framing == LegacyFraming::Serial ? LegacyFraming::Serial : LegacyFraming::Usb;
    d->next = std::move(next);
    d->self = d;
}

LegacyFirmware::~LegacyFirmware() = default;

LegacyFraming LegacyFirmware::framing() const { return d->framing; }

void LegacyFirmware::onWrite(EmulatedHub& hub, const Bytes& command)
{
    const Clock::time_point start = Clock::now();
    Private::Outcome out;
    bool handled = false;
    if (!command.empty()) {
        std::lock_guard<std::mutex> lock(d->m);
        d->commands.record(command);
        handled = d->handle(command, out);
        if (handled && !out.answer.empty() && !d->faults.letThrough())
            out.answer.clear();
        // What the learners of an ended session still had to send is taken back.
        cancelTagged(hub, out.cancelled);
        // Queued under the lock so that the answers of concurrent commands do not interleave.
        for (const Bytes& packet : out.answer)
            hub.deliver(packet, d->faults.delay);
    }
    for (Private::Scheduled& packet : out.learners)
        queueTagged(hub, packet.packet, start + std::max(packet.delay, Milliseconds(0)), out.tag,
            std::move(packet.gate));
    if ((!handled || out.passOn) && d->next)
        d->next->onWrite(hub, command);
}

void LegacyFirmware::setRFSettings(const LegacyRFSettings& settings)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->rf = settings;
}

LegacyRFSettings LegacyFirmware::rfSettings() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->rf;
}

bool LegacyFirmware::usesRadioSlates() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->radioSlates;
}

void LegacyFirmware::addVoter(const LegacyVoter& voter)
{
    std::lock_guard<std::mutex> lock(d->m);
    putById(d->voters, voter, voterId);
}

bool LegacyFirmware::removeVoter(std::uint32_t deviceId)
{
    std::lock_guard<std::mutex> lock(d->m);
    const auto voter = findById(d->voters, deviceId, voterId);
    if (voter == d->voters.end())
        return false;
    d->voters.erase(voter);
    d->enabled.erase(std::remove(d->enabled.begin(), d->enabled.end(), deviceId), d->enabled.end());
    return true;
}

std::vector<LegacyVoter> LegacyFirmware::voters() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->voters;
}

void LegacyFirmware::clearVoters()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->voters.clear();
    d->enabled.clear();
}

std::vector<std::uint32_t> LegacyFirmware::enabledVoters() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->enabled;
}

void LegacyFirmware::addWaitingVoter(const LegacyVoter& voter)
{
    std::lock_guard<std::mutex> lock(d->m);
    putById(d->waitingVoters, voter, voterId);
}

std::vector<LegacyVoter> LegacyFirmware::waitingVoters() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->waitingVoters;
}

void LegacyFirmware::addWaitingSlate(const LegacySlate& slate)
{
    std::lock_guard<std::mutex> lock(d->m);
    putById(d->waitingSlates, slate, slateId);
}

std::vector<LegacySlate> LegacyFirmware::waitingSlates() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->waitingSlates;
}

std::vector<LegacySlate> LegacyFirmware::registeredSlates() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->slates;
}

std::map<std::uint8_t, std::string> LegacyFirmware::enabledSlates() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->enabledSlates;
}

std::optional<LegacyPinRequest> LegacyFirmware::lastPinRequest() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->pinRequest;
}

std::optional<long> LegacyFirmware::lastPinNamingArgument() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->pinArgument;
}

LegacySession LegacyFirmware::session() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->session;
}

void LegacyFirmware::setSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->faults.silent = silent;
}

void LegacyFirmware::dropNextAnswers(int count)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->faults.dropCount = std::max(count, 0);
}

void LegacyFirmware::setReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->faults.delay = std::max(delay, Milliseconds(0));
}

void LegacyFirmware::setEnableReplyId(std::uint32_t deviceId, std::optional<std::uint32_t> replyId)
{
    std::lock_guard<std::mutex> lock(d->m);
    if (replyId)
        d->enableReplies[deviceId] = *replyId;
    else
        d->enableReplies.erase(deviceId);
}

int LegacyFirmware::commandCount(const std::string& prefix) const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->commands.count(prefix);
}

int LegacyFirmware::totalCommands() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->commands.total();
}

void LegacyFirmware::resetCounters()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->commands.reset();
}

} // namespace TavioEmulator
