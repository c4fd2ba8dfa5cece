// The 2.4 GHz hub's learner sessions: registration windows, teacher naming, questions and
// end-user naming, voting and PIN naming, and the packets the simulated learners send.
#include "twopointfourghz_p.h"

namespace TavioEmulator {

using namespace Radio;

namespace {

using Milliseconds = std::chrono::milliseconds;

bool isPenOrExpression(Kind kind) { return isExpressionKind(kind) || kind == Kind::PenExpression; }

// Which devices a registration window opened for `window` admits.
bool admits(Kind window, Kind device)
{
    return window == Kind::Expression ? isPenOrExpression(device) : device == window;
}

// The three PIN bytes of `pin`; missing ones are 0.
std::string pinBytes(const std::string& pin)
{
    std::string bytes = pin.substr(0, 3);
    bytes.resize(3, '\0');
    return bytes;
}

// A decimal field of a ":VR" or ":SR" command: -1 when it does not fit `max`, or when it is
// wider than `narrowest` and still starts with a 0 (only the narrowest width is padded).
long decimalField(
    const Bytes& command, std::size_t at, std::size_t width, std::size_t narrowest, long max)
{
    if (width > narrowest && command[at] == '0')
        return -1;
    long value = 0;
    for (std::size_t i = at; i < at + width; ++i)
        value = value * 10 + (command[i] - '0');
    return value <= max ? value : -1;
}

// ":VR" and ":SR": p1 in at least three digits, p2 and p3 in at least two each (each wider only
// when its value needs it), the three PIN bytes, CR.
bool parseTextRegistration(const Bytes& command, RegistrationStart& start)
{
    if (command.size() < 3 + 7 + 3 + 1 || command.back() != CR)
        return false;
    const std::size_t digitsEnd = command.size() - 4;
    const std::size_t digits = digitsEnd - 3;
    if (!std::all_of(command.begin() + 3, command.begin() + std::ptrdiff_t(digitsEnd), isDigit))
        return false;
    // The usual two-digit p2 and p3 are tried first, then wider ones.
    for (std::size_t width2 = 2; width2 <= 3; ++width2) {
        for (std::size_t width3 = 2; width3 <= 3; ++width3) {
            if (digits < 3 + width2 + width3 || digits - width2 - width3 > 5)
                continue;
            const std::size_t width1 = digits - width2 - width3;
            const long p1 = decimalField(command, 3, width1, 3, 0xFFFF);
            const long p2 = decimalField(command, 3 + width1, width2, 2, 0xFF);
            const long p3 = decimalField(command, 3 + width1 + width2, width3, 2, 0xFF);
            if (p1 < 0 || p2 < 0 || p3 < 0)
                continue;
            start.p1 = std::uint16_t(p1);
            start.p2 = std::uint8_t(p2);
            start.p3 = std::uint8_t(p3);
            start.pin.assign(command.begin() + std::ptrdiff_t(digitsEnd), command.end() - 1);
            return true;
        }
    }
    return false;
}

// 0C 83 address, the rest zero.
Bytes answerPacket(std::uint16_t address)
{
    Bytes packet(12, 0);
    packet[0] = 12;
    packet[1] = 0x83;
    putU16(packet, 2, address);
    return packet;
}

bool isLongAnswer(int type) { return type == QuestionInfo::Numeric || type == QuestionInfo::Text; }

} // namespace

// Sessions

void TwoPointFourGHzFirmware::Private::startSession(LearnerSession kind, Outcome& out)
{
    out.tag = sessionTag.restart(out.cancelled);
    session = kind;
}

void TwoPointFourGHzFirmware::Private::endSession(Outcome& out)
{
    sessionTag.end(out.cancelled);
    session = LearnerSession::None;
}

bool TwoPointFourGHzFirmware::Private::handleSession(const Bytes& command, Outcome& out)
{
    if (isPlain(command, ":VE")) {
        endSession(out);
        if (stopDrops > 0)
            --stopDrops;
        else
            out.answer.push_back(okPacket());
        out.passOn = true; // the chained firmware's sessions end as well
        return true;
    }
    if (isPlain(command, ":XP004")) {
        if (session == LearnerSession::EndUserNaming)
            endSession(out);
        out.answer.push_back(okPacket());
        return true;
    }
    if (isPlain(command, ":XP002")) {
        startSession(LearnerSession::ExpressionNaming, out);
        out.answer.push_back(okPacket());
        return true;
    }
    if (isPlain(command, ":VN")) {
        startSession(LearnerSession::TavioteNaming, out);
        out.passOn = true;
        return true;
    }
    return registrationStart(command, out) || teacherNaming(command, out)
        || questionStart(command, out) || votingStart(command, out) || pinNamingStart(command, out);
}

bool TwoPointFourGHzFirmware::Private::registrationStart(const Bytes& command, Outcome& out)
{
    RegistrationStart start;
    if (startsWith(command, ":VR") || startsWith(command, ":SR")) {
        if (!parseTextRegistration(command, start))
            return false;
        start.kind = command[1] == 'V' ? Kind::Taviote : Kind::Slate;
    } else if (command.size() == 16 && startsWith(command, ":XP001") && command[6] == CR
        && command[7] == 0x09) {
        start.kind = Kind::Expression;
        start.p1 = std::uint16_t(command[8] << 8 | command[9]);
        start.p2 = command[10];
        start.p3 = command[11];
        start.pin.assign(command.begin() + 12, command.begin() + 15);
        start.namingByte = command[15];
    } else {
        return false;
    }
    startSession(LearnerSession::Registration, out);
    lastRegistration = start;
    out.passOn = true;
    for (const Waiting& learner : waiting) {
        if (admits(start.kind, learner.device.kind) && learner.pin == start.pin)
            out.learners.push_back(
                { learner.device.record(), learner.delay, joinGate(out.tag, learner.device.uid) });
    }
    return true;
}

bool TwoPointFourGHzFirmware::Private::teacherNaming(const Bytes& command, Outcome& out)
{
    const bool taviote = command.size() == 3 + 12 + 4 + 1 && startsWith(command, ":VN");
    const bool slate = command.size() == 3 + 12 + 10 + 1 && startsWith(command, ":NS");
    if ((taviote || slate) && command.back() == CR) {
        std::array<std::uint8_t, 6> id {};
        if (!parseHex(command, 3, id.size(), true, id.data()))
            return false;
        const LearnerSession naming
            = taviote ? LearnerSession::TavioteNaming : LearnerSession::SlateNaming;
        if (session != naming)
            startSession(naming, out);
        const Kind kind = taviote ? Kind::Taviote : Kind::Slate;
        for (EmulatedDevice& device : devices) {
            if (device.kind == kind && device.identifier() == id) {
                device.name = fieldText(command, 15, taviote ? 4 : 10);
                out.answer.push_back(device.record());
                break;
            }
        }
        return true;
    }
    if (command.size() == 7 + 1 + 2 + 14 && startsWith(command, ":XP003") && command[6] == CR
        && command[7] == 0x11) {
        const std::uint16_t address = std::uint16_t(command[8] << 8 | command[9]);
        auto named = std::find_if(devices.begin(), devices.end(), [address](const auto& device) {
            return isPenOrExpression(device.kind) && device.address == address;
        });
        if (named == devices.end()) {
            out.answer.push_back(expressionNamedPacket(0xFF, 0xFF));
            return true;
        }
        named->name = fieldText(command, 10, 14);
        out.answer.push_back(expressionNamedPacket(nameStatus[0], nameStatus[1]));
        out.answer.push_back(named->record());
        return true;
    }
    return false;
}

bool TwoPointFourGHzFirmware::Private::questionStart(const Bytes& command, Outcome& out)
{
    if (command.size() < 7 || !startsWith(command, ":XP005") || command[6] != CR)
        return false;
    std::optional<QuestionInfo> parsed = parseQuestion(Bytes(command.begin() + 7, command.end()));
    if (!parsed)
        return false;
    startSession(parsed->type == QuestionInfo::EndUserNaming ? LearnerSession::EndUserNaming
                                                             : LearnerSession::Question,
        out);
    question = parsed;
    out.passOn = true;
    out.question = *parsed;
    out.source = source;
    out.number = numberByte.value_or(parsed->entityId);
    out.interleave = interleave;
    out.gap = gap;
    responders.clear();
    for (const EmulatedDevice& device : devices) {
        if (std::find(answeringKinds.begin(), answeringKinds.end(), device.kind)
                == answeringKinds.end()
            || !responds())
            continue;
        responders.push_back(device.uid);
        PendingAnswer learner;
        learner.device = device;
        if (const auto fixed = answers.find(device.uid); fixed != answers.end())
            learner.fixed = fixed->second;
        learner.delay = delayOf(device.uid);
        const auto dropped = droppedPacketsOf.find(device.uid);
        learner.droppedPackets
            = dropped != droppedPacketsOf.end() ? dropped->second : droppedPackets;
        out.pending.push_back(std::move(learner));
    }
    return true;
}

bool TwoPointFourGHzFirmware::Private::votingStart(const Bytes& command, Outcome& out)
{
    if (!isPlain(command, ":VB") && !isPlain(command, ":VM"))
        return false;
    startSession(LearnerSession::Voting, out);
    out.passOn = true;
    std::vector<const EmulatedDevice*> voting;
    if (voters) {
        for (std::uint32_t uid : *voters) {
            const EmulatedDevice* voter = findDevice(uid);
            if (voter && voter->kind == Kind::Taviote)
                voting.push_back(voter);
        }
    } else {
        for (const EmulatedDevice& device : devices) {
            if (device.kind == Kind::Taviote)
                voting.push_back(&device);
        }
    }
    responders.clear();
    for (const EmulatedDevice* voter : voting) {
        if (!responds())
            continue;
        responders.push_back(voter->uid);
        const auto set = votes.find(voter->uid);
        const Vote vote = set != votes.end() ? set->second : Vote {};
        out.learners.push_back({ votePacket(voter->uid, vote.byUid ? 0 : voter->address, vote.keys),
            delayOf(voter->uid), sessionGate(out.tag) });
    }
    return true;
}

bool TwoPointFourGHzFirmware::Private::pinNamingStart(const Bytes& command, Outcome& out)
{
    const std::optional<long> argument = decimalArgument(command, ":VZ", true);
    if (!argument)
        return false;
    startSession(LearnerSession::PinNaming, out);
    pinArgument = argument;
    out.passOn = true;
    responders.clear();
    for (const EmulatedDevice& device : devices) {
        const auto name = pinNames.find(device.uid);
        if (device.kind != Kind::Taviote || name == pinNames.end() || !responds())
            continue;
        responders.push_back(device.uid);
        out.learners.push_back({ pinNamingPacket(device.uid, device.address, name->second),
            delayOf(device.uid), sessionGate(out.tag) });
    }
    return true;
}

bool TwoPointFourGHzFirmware::Private::responds()
{
    if (silence <= 0)
        return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(random) >= silence;
}

std::chrono::milliseconds TwoPointFourGHzFirmware::Private::delayOf(std::uint32_t uid)
{
    if (const auto own = learnerDelays.find(uid); own != learnerDelays.end())
        return own->second;
    if (delayMax <= delayMin)
        return delayMin;
    return Milliseconds(
        std::uniform_int_distribution<long long>(delayMin.count(), delayMax.count())(random));
}

std::function<bool()> TwoPointFourGHzFirmware::Private::sessionGate(std::uint64_t tag) const
{
    return [weak = self, tag] {
        const auto firmware = weak.lock();
        if (!firmware)
            return false;
        std::lock_guard<std::mutex> lock(firmware->m);
        return firmware->sessionTag.current == tag;
    };
}

std::function<bool()> TwoPointFourGHzFirmware::Private::joinGate(
    std::uint64_t tag, std::uint32_t uid) const
{
    return [weak = self, tag, uid] {
        const auto firmware = weak.lock();
        if (!firmware)
            return false;
        std::lock_guard<std::mutex> lock(firmware->m);
        auto& waiting = firmware->waiting;
        const auto learner = std::find_if(waiting.begin(), waiting.end(),
            [uid](const Waiting& candidate) { return candidate.device.uid == uid; });
        if (firmware->sessionTag.current != tag || learner == waiting.end())
            return false;
        EmulatedDevice joined = learner->device;
        waiting.erase(learner);
        firmware->addDevice(std::move(joined));
        return true;
    };
}

std::function<bool()> TwoPointFourGHzFirmware::Private::namedGate(
    std::uint64_t tag, std::uint32_t uid, std::string name) const
{
    return [weak = self, tag, uid, name = std::move(name)] {
        const auto firmware = weak.lock();
        if (!firmware)
            return false;
        std::lock_guard<std::mutex> lock(firmware->m);
        if (firmware->sessionTag.current != tag)
            return false;
        if (EmulatedDevice* device = firmware->findDevice(uid))
            device->name = name;
        return true;
    };
}

void TwoPointFourGHzFirmware::Private::sendLearnerPackets(
    EmulatedHub& hub, Outcome& out, Clock::time_point start) const
{
    auto send = [&](const Bytes& packet, Milliseconds delay, std::function<bool()> gate) {
        queueTagged(
            hub, packet, start + std::max(delay, Milliseconds(0)), out.tag, std::move(gate));
    };
    for (Scheduled& packet : out.learners)
        send(packet.packet, packet.delay, std::move(packet.gate));

    const QuestionInfo& question = out.question;
    for (const PendingAnswer& learner : out.pending) {
        std::optional<std::string> answer = learner.fixed;
        if (!answer) {
            answer = out.source ? out.source(learner.device, question)
                                : defaultAnswer(learner.device, question);
        }
        if (!answer)
            continue; // this learner keeps quiet
        std::vector<Bytes> packets = answerPackets(learner.device, question, *answer, out.number);
        if (isLongAnswer(question.type)) {
            const std::size_t dropped = std::size_t(std::max(learner.droppedPackets, 0));
            packets.resize(packets.size() - std::min(dropped, packets.size()));
        }
        for (std::size_t i = 0; i < packets.size(); ++i) {
            const Milliseconds delay
                = learner.delay + (out.interleave ? out.gap * long(i) : Milliseconds(0));
            send(packets[i], delay,
                question.type == QuestionInfo::EndUserNaming
                    ? namedGate(out.tag, learner.device.uid, answer->substr(0, 14))
                    : sessionGate(out.tag));
        }
    }
}

// Configuration

void TwoPointFourGHzFirmware::addWaitingLearner(
    const EmulatedDevice& device, const std::string& pin, std::chrono::milliseconds delay)
{
    Private::Waiting learner { device, pinBytes(pin), delay };
    if (learner.device.kind == Kind::ExpressionV2)
        learner.device.uid = markSecondGeneration(learner.device.uid);
    std::lock_guard<std::mutex> lock(d->m);
    auto& waiting = d->waiting;
    auto same = std::find_if(waiting.begin(), waiting.end(),
        [&](const Private::Waiting& known) { return known.device.uid == learner.device.uid; });
    if (same != waiting.end())
        *same = std::move(learner);
    else
        waiting.push_back(std::move(learner));
}

std::vector<EmulatedDevice> TwoPointFourGHzFirmware::waitingLearners() const
{
    std::lock_guard<std::mutex> lock(d->m);
    std::vector<EmulatedDevice> learners;
    for (const Private::Waiting& learner : d->waiting)
        learners.push_back(learner.device);
    return learners;
}

void TwoPointFourGHzFirmware::clearWaitingLearners()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->waiting.clear();
}

std::optional<RegistrationStart> TwoPointFourGHzFirmware::lastRegistrationStart() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->lastRegistration;
}

void TwoPointFourGHzFirmware::setExpressionNameStatus(std::uint8_t first, std::uint8_t second)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->nameStatus = { first, second };
}

void TwoPointFourGHzFirmware::setAnswer(std::uint32_t uid, const std::string& answer)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->answers[uid] = answer;
}

void TwoPointFourGHzFirmware::clearAnswers()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->answers.clear();
}

void TwoPointFourGHzFirmware::setAnswerSource(AnswerSource source)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->source = std::move(source);
}

void TwoPointFourGHzFirmware::setAnsweringKinds(const std::vector<EmulatedDevice::Kind>& kinds)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->answeringKinds = kinds;
}

void TwoPointFourGHzFirmware::dropLastAnswerPackets(int count, std::optional<std::uint32_t> uid)
{
    std::lock_guard<std::mutex> lock(d->m);
    if (uid)
        d->droppedPacketsOf[*uid] = std::max(count, 0);
    else
        d->droppedPackets = std::max(count, 0);
}

void TwoPointFourGHzFirmware::setInterleavedAnswers(bool on, std::chrono::milliseconds gap)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->interleave = on;
    d->gap = std::max(gap, Milliseconds(0));
}

void TwoPointFourGHzFirmware::setAnswerNumberByte(std::optional<std::uint8_t> number)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->numberByte = number;
}

void TwoPointFourGHzFirmware::setResponseDelay(
    std::chrono::milliseconds min, std::chrono::milliseconds max)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->delayMin = std::max(min, Milliseconds(0));
    d->delayMax = std::max(max, d->delayMin);
}

void TwoPointFourGHzFirmware::setLearnerDelay(std::uint32_t uid, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->learnerDelays[uid] = std::max(delay, Milliseconds(0));
}

void TwoPointFourGHzFirmware::setSilenceChance(double chance, std::uint32_t seed)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->silence = chance;
    d->random.seed(seed);
}

std::vector<std::uint32_t> TwoPointFourGHzFirmware::lastResponders() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->responders;
}

std::optional<QuestionInfo> TwoPointFourGHzFirmware::lastQuestion() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->question;
}

void TwoPointFourGHzFirmware::setVoters(const std::vector<std::uint32_t>& uids)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->voters = uids;
}

void TwoPointFourGHzFirmware::clearVoters()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->voters.reset();
}

void TwoPointFourGHzFirmware::setVote(std::uint32_t uid, std::uint8_t keys, bool byUid)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->votes[uid] = { keys, byUid };
}

void TwoPointFourGHzFirmware::setPinName(std::uint32_t uid, const std::string& name)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->pinNames[uid] = name;
}

void TwoPointFourGHzFirmware::clearPinNames()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->pinNames.clear();
}

std::optional<long> TwoPointFourGHzFirmware::lastPinNamingArgument() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->pinArgument;
}

LearnerSession TwoPointFourGHzFirmware::session() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->session;
}

void TwoPointFourGHzFirmware::setSessionStateCode(
    LearnerSession session, std::optional<std::uint8_t> code)
{
    std::lock_guard<std::mutex> lock(d->m);
    if (code)
        d->sessionStateCodes[session] = *code;
    else
        d->sessionStateCodes.erase(session);
}

void TwoPointFourGHzFirmware::dropNextStopAnswers(int count)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->stopDrops = std::max(count, 0);
}

// Learner packets

std::uint8_t TwoPointFourGHzFirmware::voteKey(int key)
{
    return key >= 1 && key <= 6 ? std::uint8_t(1u << (key - 1)) : 0;
}

Bytes TwoPointFourGHzFirmware::votePacket(
    std::uint32_t uid, std::uint16_t address, std::uint8_t keys)
{
    Bytes packet(9, 0);
    packet[0] = 9;
    packet[1] = 0x65;
    putU32(packet, 2, uid);
    putU16(packet, 6, address);
    packet[8] = keys;
    return packet;
}

std::array<std::uint8_t, 2> TwoPointFourGHzFirmware::pinNameBytes(const std::string& name)
{
    std::uint8_t codes[4] = {};
    for (std::size_t i = 0; i < std::min<std::size_t>(name.size(), 4); ++i) {
        const char c = name[i];
        if (c >= 'A' && c <= 'F')
            codes[i] = std::uint8_t(c - 'A' + 1);
        else if (c >= 'a' && c <= 'f')
            codes[i] = std::uint8_t(c - 'a' + 1);
        else if (c == ' ')
            codes[i] = 7;
    }
    return pinNameBytes(codes[0], codes[1], codes[2], codes[3]);
}

std::array<std::uint8_t, 2> TwoPointFourGHzFirmware::pinNameBytes(
    std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint8_t fourth)
{
    return { std::uint8_t((first & 7) << 1 | (second & 7) >> 2),
        std::uint8_t((second & 3) << 6 | (third & 7) << 3 | (fourth & 7)) };
}

Bytes TwoPointFourGHzFirmware::pinNamingPacket(
    std::uint32_t uid, std::uint16_t address, const std::string& name)
{
    Bytes packet(11, 0);
    packet[0] = 11;
    packet[1] = 0x67;
    putU32(packet, 2, uid);
    putU16(packet, 6, address);
    const auto bytes = pinNameBytes(name);
    packet[8] = bytes[0];
    packet[9] = bytes[1];
    return packet;
}

Bytes TwoPointFourGHzFirmware::byteAnswerPacket(
    std::uint16_t address, std::uint8_t number, std::uint8_t answer)
{
    Bytes packet = answerPacket(address);
    packet[5] = number;
    packet[6] = answer;
    return packet;
}

Bytes TwoPointFourGHzFirmware::lettersAnswerPacket(
    std::uint16_t address, std::uint8_t number, const std::string& letters)
{
    Bytes packet = answerPacket(address);
    packet[5] = number;
    putText(packet, 6, letters, 6);
    return packet;
}

std::vector<Bytes> TwoPointFourGHzFirmware::longAnswerPackets(
    std::uint16_t address, std::uint8_t number, const std::string& text)
{
    const std::string bytes = text.substr(0, 0xFF);
    std::vector<Bytes> packets;
    Bytes first = answerPacket(address);
    first[5] = number;
    first[6] = std::uint8_t(bytes.size());
    putText(first, 7, bytes, 5);
    packets.push_back(first);
    std::uint8_t sequence = 1;
    for (std::size_t at = 5; at < bytes.size(); at += 7, ++sequence) {
        Bytes next = answerPacket(address);
        next[4] = sequence;
        putText(next, 5, bytes.substr(at), 7);
        packets.push_back(next);
    }
    return packets;
}

Bytes TwoPointFourGHzFirmware::expressionNamedPacket(std::uint8_t first, std::uint8_t second)
{
    return { 0x04, 0x82, first, second };
}

std::vector<Bytes> TwoPointFourGHzFirmware::answerPackets(const EmulatedDevice& device,
    const QuestionInfo& question, const std::string& answer, std::uint8_t number)
{
    const std::uint16_t address = device.address;
    const std::uint8_t first = answer.empty() ? 0 : std::uint8_t(answer[0]);
    switch (question.type) {
    case QuestionInfo::MultipleChoice:
    case QuestionInfo::SortInOrder:
        return { lettersAnswerPacket(address, number, answer) };
    case QuestionInfo::YesNo:
    case QuestionInfo::TrueFalse:
    case QuestionInfo::Message:
        return { byteAnswerPacket(address, number, first) };
    case QuestionInfo::Likert:
        return { byteAnswerPacket(address, number, likertValue(answer)) };
    case QuestionInfo::Numeric:
    case QuestionInfo::Text:
        return longAnswerPackets(address, number, answer);
    case QuestionInfo::EndUserNaming: {
        EmulatedDevice named = device;
        named.name = answer.substr(0, 14);
        return { named.record() };
    }
    default:
        return {};
    }
}

std::optional<QuestionInfo> TwoPointFourGHzFirmware::parseQuestion(const Bytes& block)
{
    if (block.size() < 9)
        return std::nullopt;
    QuestionInfo question;
    question.block = block;
    question.entityId = block[2];
    question.equation = block[3] != 0;
    question.timeByte = block[4];
    question.type = block[5];
    question.typeByte = block[6];
    if (question.type == QuestionInfo::Numeric || question.type == QuestionInfo::Text
        || question.type == QuestionInfo::Message) {
        const auto begin = block.begin() + 9;
        const auto end = begin + std::ptrdiff_t(std::min<std::size_t>(block[8], block.size() - 9));
        question.text.assign(begin, std::find(begin, end, 0));
    }
    return question;
}

} // namespace TavioEmulator
