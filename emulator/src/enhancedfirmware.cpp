// The hub side of the enhanced transport: session starts and ends, announces, chunk commands and
// the chunk requests the hub sends while some device still lacks a chunk; and the control
// interface of the firmware.
#include "enhanced_p.h"

namespace TavioEmulator {

using namespace Radio;
using namespace Transport;

namespace {

// ":XP00" + letter + CR, then the block.
constexpr std::size_t CommandHeaderSize = 7;
constexpr char StartAsync = 'A';
constexpr char AsyncAnnounce = 'B';
constexpr char AsyncChunk = 'C';
constexpr char StartGeneric = 'D';
constexpr char GenericAnnounce = 'E';
constexpr char GenericChunk = 'F';

// Block sizes: async announce 03 address(2) number; generic announce 05 address(2) number(3);
// generic chunk number(3) index(2) count(2) data(50); async chunk n+4 number k count n data(n).
constexpr std::size_t AsyncAnnounceBlockSize = 4;
constexpr std::size_t GenericAnnounceBlockSize = 6;
constexpr std::size_t GenericChunkBlockSize = 7 + GenericChunkSize;
constexpr std::size_t AsyncChunkFixedSize = 5;

// The transport letter of a ":XP00x" CR command, or 0.
char transportLetter(const Bytes& command)
{
    if (command.size() < CommandHeaderSize || !startsWith(command, ":XP00")
        || command[CommandHeaderSize - 1] != CR)
        return 0;
    const char letter = char(command[CommandHeaderSize - 2]);
    return letter >= StartAsync && letter <= GenericChunk ? letter : 0;
}

} // namespace

bool EnhancedFirmware::Private::handle(EmulatedHub& hub, const Bytes& command, TimePoint now,
    const std::vector<EmulatedDevice>& population, std::vector<Decision>& decisions)
{
    if (isPlain(command, ":VE")) {
        stopRun(hub);
        return false; // the 2.4 GHz firmware answers it
    }
    const char letter = transportLetter(command);
    if (letter == 0)
        return false;
    const Bytes block(command.begin() + CommandHeaderSize, command.end());
    bool wellFormed = false;
    EnhancedMode needed = EnhancedMode::Async;
    switch (letter) {
    case StartAsync:
    case StartGeneric:
        wellFormed = block == Bytes { 0x00 };
        needed = EnhancedMode::None;
        break;
    case AsyncAnnounce:
        wellFormed = block.size() == AsyncAnnounceBlockSize && block[0] == 3;
        break;
    case AsyncChunk:
        // n+4 number k count n data(n), with 1 <= k <= count
        wellFormed = block.size() >= AsyncChunkFixedSize
            && block.size() == AsyncChunkFixedSize + block[4] && block[0] == block[4] + 4
            && block[2] >= 1 && block[2] <= block[3];
        break;
    case GenericAnnounce:
        wellFormed = block.size() == GenericAnnounceBlockSize && block[0] == 5;
        needed = EnhancedMode::Generic;
        break;
    default: // GenericChunk
        wellFormed
            = block.size() == GenericChunkBlockSize && readBig(block, 3, 2) < readBig(block, 5, 2);
        needed = EnhancedMode::Generic;
        break;
    }
    if (!wellFormed) {
        ++counters.malformedCommands;
        return true;
    }
    if (needed != EnhancedMode::None && needed != mode) {
        ++counters.ignoredCommands;
        return true;
    }
    // The OK goes first: every packet the command sets off is due at `now` or later.
    if (auto* impl = dynamic_cast<HubImpl*>(&hub))
        impl->deliverAt(TwoPointFourGHzFirmware::okPacket(), now);
    else
        hub.deliver(TwoPointFourGHzFirmware::okPacket());
    switch (letter) {
    case StartAsync:
        startRun(hub, EnhancedMode::Async, population, now);
        break;
    case StartGeneric:
        startRun(hub, EnhancedMode::Generic, population, now);
        break;
    case AsyncAnnounce:
        announce(hub, std::uint16_t(readBig(block, 1, 2)), block[3], now);
        break;
    case AsyncChunk:
        chunk(hub, block[1], block[2] - 1u, block[3], Bytes(block.begin() + 5, block.end()), now,
            decisions);
        break;
    case GenericAnnounce:
        announce(hub, std::uint16_t(readBig(block, 1, 2)), readBig(block, 3, 3), now);
        break;
    default:
        chunk(hub, readBig(block, 0, 3), readBig(block, 3, 2), readBig(block, 5, 2),
            Bytes(block.begin() + 7, block.end()), now, decisions);
        break;
    }
    return true;
}

void EnhancedFirmware::Private::startRun(EmulatedHub& hub, EnhancedMode kind,
    const std::vector<EmulatedDevice>& population, TimePoint now)
{
    stopRun(hub);
    mode = kind;
    tag = nextPacketTag();
    hubHandle = hub.handle();
    counters = {};
    announced.clear();
    messages.clear();
    pull = {};
    order.clear();
    devices.clear();
    std::mt19937 delays(delaySeed);
    for (const EmulatedDevice& device : population) {
        const bool takesPart = participants
            ? std::find(participants->begin(), participants->end(), device.uid)
                != participants->end()
            : isExpressionKind(device.kind);
        if (!takesPart || devices.count(device.address) != 0)
            continue;
        Device entry;
        entry.report.device = device;
        // Drawn for every device, so that one fixed delay does not shift the others.
        entry.delay = Milliseconds(std::uniform_int_distribution<long long>(
            delayMin.count(), std::max(delayMin, delayMax).count())(delays));
        if (const auto fixed = fixedDelays.find(device.uid); fixed != fixedDelays.end())
            entry.delay = fixed->second;
        std::seed_seq seed { lossSeed, device.uid };
        entry.losses.seed(seed);
        std::seed_seq faultSeed { pieceSeed, device.uid };
        entry.pieceFaults.seed(faultSeed);
        order.push_back(device.address);
        devices.emplace(device.address, std::move(entry));
    }
    for (std::uint16_t address : order) {
        Device& device = devices.at(address);
        beginRun(hub, device, now + startDelay + device.delay);
    }
}

void EnhancedFirmware::Private::stopRun(EmulatedHub& hub)
{
    if (tag == 0)
        return;
    if (auto* impl = dynamic_cast<HubImpl*>(&hub)) {
        impl->cancel(tag);
        impl->cancel(pull.timerTag);
    }
    mode = EnhancedMode::None;
    tag = 0;
    messages.clear();
    pull = {};
    for (auto& entry : devices) {
        Device& device = entry.second;
        device.receiving = false;
        device.asking = false;
        device.awaitingDescription = false;
        device.requestedFile.reset();
    }
    finishedCv.notify_all();
}

void EnhancedFirmware::Private::announce(
    EmulatedHub& hub, std::uint16_t address, std::uint32_t number, TimePoint now)
{
    ++counters.announces;
    announced.emplace_back(address, number);
    const auto found = devices.find(address);
    if (found == devices.end())
        return; // nobody there takes it
    Device& device = found->second;
    const bool hadOne = device.receiving;
    const std::uint32_t previous = device.number;
    if (const auto old = messages.find(previous); hadOne && old != messages.end())
        old->second.receivers.erase(address);
    device.receiving = true;
    device.number = number;
    device.count = 0;
    device.chunks.clear();
    messages[number].receivers.insert(address);
    if (hadOne && previous != number)
        settle(hub, previous, now);
    if (!pull.waiting) {
        pull.repeats = 0;
        requestNext(hub, now);
    }
}

void EnhancedFirmware::Private::chunk(EmulatedHub& hub, std::uint32_t number, std::size_t index,
    std::size_t count, const Bytes& data, TimePoint now, std::vector<Decision>& decisions)
{
    ++counters.chunkCommands;
    pull.waiting = false;
    pull.repeats = 0;
    if (auto* impl = dynamic_cast<HubImpl*>(&hub))
        impl->cancel(pull.timerTag);
    const auto message = messages.find(number);
    if (message != messages.end()) {
        bool progress = false;
        std::vector<std::uint16_t> whole;
        for (std::uint16_t address : message->second.receivers) {
            Device& device = devices.at(address);
            ++device.report.chunkCommands;
            if (device.count != count) { // other content under this number
                device.count = count;
                device.chunks.clear();
            }
            if (draw(device.losses, chunkLoss)) {
                ++device.report.chunksLost;
                continue;
            }
            const bool wasComplete = device.complete();
            progress = device.chunks.insert_or_assign(index, data).second || progress;
            if (draw(device.losses, ackLoss)) {
                ++device.report.acksLost;
            } else {
                send(hub, acknowledgement(device), now);
                ++device.report.acksSent;
            }
            if (!wasComplete && device.complete())
                whole.push_back(address);
        }
        int& idle = message->second.idleChunks;
        idle = progress ? 0 : idle + 1;
        if (idle > 3 * int(count) + 10) {
            messages.erase(message);
            ++counters.abandonedMessages;
        } else {
            settle(hub, number, now);
        }
        for (std::uint16_t address : whole)
            completed(hub, devices.at(address), now, decisions);
    }
    requestNext(hub, now);
}

void EnhancedFirmware::Private::release(EmulatedHub& hub, Device& device, TimePoint now)
{
    if (!device.receiving)
        return;
    device.receiving = false;
    if (const auto message = messages.find(device.number); message != messages.end()) {
        message->second.receivers.erase(device.address());
        settle(hub, device.number, now);
    }
}

void EnhancedFirmware::Private::settle(EmulatedHub& hub, std::uint32_t number, TimePoint now)
{
    const auto message = messages.find(number);
    if (message == messages.end())
        return;
    const std::set<std::uint16_t>& receivers = message->second.receivers;
    if (!receivers.empty() && lacksChunks(number))
        return;
    if (!receivers.empty() && mode == EnhancedMode::Async) {
        send(hub, { 3, DonePacket, std::uint8_t(number) }, now);
        ++counters.doneReports;
    }
    messages.erase(message);
}

bool EnhancedFirmware::Private::lacksChunks(std::uint32_t number) const
{
    const auto message = messages.find(number);
    if (message == messages.end())
        return false;
    const auto& receivers = message->second.receivers;
    return std::any_of(receivers.begin(), receivers.end(),
        [this](std::uint16_t address) { return !devices.at(address).complete(); });
}

void EnhancedFirmware::Private::requestNext(EmulatedHub& hub, TimePoint now)
{
    pull.waiting = false;
    if (mode == EnhancedMode::None)
        return;
    // Round the messages from the one after the last requested.
    std::optional<std::uint32_t> picked;
    for (auto it = messages.upper_bound(pull.lastNumber); it != messages.end() && !picked; ++it) {
        if (lacksChunks(it->first))
            picked = it->first;
    }
    for (auto it = messages.begin(); it != messages.end() && !picked; ++it) {
        if (lacksChunks(it->first))
            picked = it->first;
    }
    if (!picked)
        return;
    pull.lastNumber = *picked;
    const Bytes request = mode == EnhancedMode::Generic
        ? Bytes { 2, AnyChunkRequestPacket }
        : Bytes { 3, ChunkRequestPacket, std::uint8_t(requestAny ? 0 : *picked) };
    send(hub, request, now);
    ++counters.chunkRequests;
    pull.waiting = true;
    const std::uint64_t serial = ++pull.serial;
    pull.timerTag = nextPacketTag();
    startTimer(hub, now + retryInterval, pull.timerTag, [serial, target = &hub](Private& p) {
        if (!p.pull.waiting || p.pull.serial != serial)
            return;
        if (p.pull.repeats >= p.retries) {
            p.pull.waiting = false; // until the next announce or chunk
            ++p.counters.abandonedRequests;
            return;
        }
        const int repeats = p.pull.repeats + 1;
        ++p.counters.reRequests;
        p.requestNext(*target, Clock::now());
        p.pull.repeats = repeats;
    });
}

void EnhancedFirmware::Private::send(
    EmulatedHub& hub, const Bytes& packet, TimePoint due, OnSent onSent)
{
    // `due` counts from the moment the command came in, which may be some time ago on a busy
    // machine: packets queued then may have gone out since. A packet radioed now cannot come
    // before them, or an acknowledgement would land between a device's piece and its repeat.
    due = std::max(due, Clock::now());
    auto* impl = dynamic_cast<HubImpl*>(&hub);
    if (!impl) { // another hub: no gates, the packet counts as sent now
        if (onSent)
            onSent(*this);
        hub.deliver(packet,
            std::max(
                std::chrono::duration_cast<Milliseconds>(due - Clock::now()), Milliseconds(0)));
        return;
    }
    impl->deliverAt(packet, due, tag, [weak = self, runTag = tag, onSent = std::move(onSent)] {
        const auto p = weak.lock();
        if (!p)
            return false;
        std::lock_guard<std::mutex> lock(p->m);
        if (p->tag != runTag)
            return false;
        if (onSent)
            onSent(*p);
        return true;
    });
}

void EnhancedFirmware::Private::startTimer(
    EmulatedHub& hub, TimePoint due, std::uint64_t timerTag, OnSent fire)
{
    auto* impl = dynamic_cast<HubImpl*>(&hub);
    if (!impl)
        return;
    impl->startTimer(due, timerTag, [weak = self, runTag = tag, fire = std::move(fire)] {
        if (const auto p = weak.lock()) {
            std::lock_guard<std::mutex> lock(p->m);
            if (p->tag == runTag)
                fire(*p);
        }
    });
}

EnhancedFirmware::Private::Device* EnhancedFirmware::Private::deviceOf(std::uint32_t uid)
{
    for (auto& entry : devices) {
        if (entry.second.report.device.uid == uid)
            return &entry.second;
    }
    return nullptr;
}

// EnhancedFirmware

EnhancedFirmware::EnhancedFirmware(std::shared_ptr<Firmware> next)
    : d(std::make_shared<Private>())
{
    d->next = std::move(next);
    d->self = d;
}

EnhancedFirmware::~EnhancedFirmware() = default;

void EnhancedFirmware::setRadio(const std::shared_ptr<TwoPointFourGHzFirmware>& radio)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->radio = radio;
}

void EnhancedFirmware::setParticipants(const std::vector<std::uint32_t>& uids)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->participants = uids;
}

void EnhancedFirmware::clearParticipants()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->participants.reset();
}

void EnhancedFirmware::setDeviceDelays(
    std::chrono::milliseconds min, std::chrono::milliseconds max, std::uint32_t seed)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->delayMin = std::max(min, std::chrono::milliseconds(0));
    d->delayMax = std::max(max, d->delayMin);
    d->delaySeed = seed;
}

void EnhancedFirmware::setDeviceDelay(std::uint32_t uid, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->fixedDelays[uid] = std::max(delay, std::chrono::milliseconds(0));
}

void EnhancedFirmware::setStartDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->startDelay = std::max(delay, std::chrono::milliseconds(0));
}

void EnhancedFirmware::setLoss(double chunkShare, double ackShare, std::uint32_t seed)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->chunkLoss = std::clamp(chunkShare, 0.0, 1.0);
    d->ackLoss = std::clamp(ackShare, 0.0, 1.0);
    d->lossSeed = seed;
}

void EnhancedFirmware::setPieceFaults(
    double lossShare, double repeatShare, double swapShare, std::uint32_t seed)
{
    constexpr double MostLost = 0.9; // every piece still gets through, soon enough
    std::lock_guard<std::mutex> lock(d->m);
    d->pieceLoss = std::clamp(lossShare, 0.0, MostLost);
    d->pieceRepeat = std::clamp(repeatShare, 0.0, 1.0);
    d->pieceSwap = std::clamp(swapShare, 0.0, 1.0);
    d->pieceSeed = seed;
}

void EnhancedFirmware::setRequestAnyMessage(bool any)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->requestAny = any;
}

void EnhancedFirmware::setRequestRetry(std::chrono::milliseconds interval, int repeats)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->retryInterval = std::max(interval, std::chrono::milliseconds(1));
    d->retries = std::max(repeats, 0);
}

void EnhancedFirmware::setLocaleId(std::uint8_t locale)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->locale = locale;
}

void EnhancedFirmware::setAnswerSource(EnhancedAnswerSource source)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->source = std::move(source);
}

void EnhancedFirmware::setGenericAnswerSource(GenericAnswerSource source)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->genericSource = std::move(source);
}

void EnhancedFirmware::setShutDownAfter(std::uint32_t uid, int answers)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->shutDownAfter[uid] = std::max(answers, 0);
}

EnhancedMode EnhancedFirmware::mode() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->mode;
}

std::vector<AnswerDeviceReport> EnhancedFirmware::reports() const
{
    std::lock_guard<std::mutex> lock(d->m);
    std::vector<AnswerDeviceReport> all;
    for (std::uint16_t address : d->order)
        all.push_back(d->devices.at(address).report);
    return all;
}

std::optional<AnswerDeviceReport> EnhancedFirmware::report(std::uint32_t uid) const
{
    std::lock_guard<std::mutex> lock(d->m);
    if (const Private::Device* device = d->deviceOf(uid))
        return device->report;
    return std::nullopt;
}

EnhancedTransportCounters EnhancedFirmware::counters() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->counters;
}

std::vector<std::pair<std::uint16_t, std::uint32_t>> EnhancedFirmware::announcements() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->announced;
}

bool EnhancedFirmware::waitUntilFinished(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(d->m);
    return d->finishedCv.wait_for(lock, timeout, [this] {
        return !d->devices.empty()
            && std::all_of(d->devices.begin(), d->devices.end(),
                [](const auto& entry) { return entry.second.report.finished; });
    });
}

void EnhancedFirmware::onWrite(EmulatedHub& hub, const Bytes& command)
{
    const Clock::time_point now = Clock::now();
    std::vector<EmulatedDevice> population;
    const char letter = transportLetter(command);
    if (letter == StartAsync || letter == StartGeneric) {
        std::shared_ptr<TwoPointFourGHzFirmware> radio;
        {
            std::lock_guard<std::mutex> lock(d->m);
            radio = d->radio.lock();
        }
        if (radio)
            population = radio->devices();
    }
    std::vector<Private::Decision> decisions;
    bool handled = false;
    std::uint64_t runTag = 0;
    {
        std::lock_guard<std::mutex> lock(d->m);
        handled = d->handle(hub, command, now, population, decisions);
        runTag = d->tag;
    }
    for (const Private::Decision& decision : decisions)
        d->decide(hub, decision, runTag, now);
    if (!handled && d->next)
        d->next->onWrite(hub, command);
}

std::shared_ptr<TwoPointFourGHzFirmware> radioFirmwareFor(
    const std::shared_ptr<EnhancedFirmware>& enhanced)
{
    auto radio = std::make_shared<TwoPointFourGHzFirmware>(enhanced);
    enhanced->setRadio(radio);
    return radio;
}

} // namespace TavioEmulator
