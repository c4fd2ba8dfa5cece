// The 2.4 GHz hub's firmware: its device population, the answers to its command vocabulary and
// the packets it sends on its own.
#include "twopointfourghz_p.h"

namespace TavioEmulator {

using namespace Radio;

namespace {

// A code + two lower-case hexadecimal digits + CR command (":GD", ":GR"); -1 when it is not.
int productArgument(const Bytes& command, const char* code)
{
    std::uint8_t product = 0;
    if (command.size() != 6 || command[5] != CR || !std::equal(code, code + 3, command.begin())
        || !parseHex(command, 3, 1, false, &product))
        return -1;
    return product;
}

// Which devices a count (":GD") or clear (":CS") of a product touches.
bool countedBy(Kind kind, int product)
{
    switch (product) {
    case ProductTaviote:
        return kind == Kind::Taviote;
    case ProductSlate:
        return kind == Kind::Slate;
    case ProductBoard:
        return kind == Kind::Board;
    case ProductExpression:
        return isExpressionKind(kind);
    case ProductExpressionV2:
        return kind == Kind::ExpressionV2;
    case ProductPenExpression:
        return kind == Kind::PenExpression;
    default:
        return false;
    }
}

// Which devices the list (":GR") of a product reports: pen expressions come with product 9.
bool listedBy(Kind kind, int product)
{
    if (product == ProductExpression)
        return isExpressionKind(kind) || kind == Kind::PenExpression;
    return product != ProductExpressionV2 && product != ProductPenExpression
        && countedBy(kind, product);
}

EmulatedDevice makeDevice(Kind kind, std::uint32_t uid, std::uint16_t address, std::string name)
{
    EmulatedDevice device;
    device.kind = kind;
    device.uid = uid;
    device.address = address;
    device.name = std::move(name);
    return device;
}

} // namespace

// EmulatedDevice

EmulatedDevice EmulatedDevice::taviote(std::uint32_t uid, std::uint16_t address, std::string name)
{
    return makeDevice(Kind::Taviote, uid, address, std::move(name));
}

EmulatedDevice EmulatedDevice::slate(std::uint32_t uid, std::uint16_t address, std::string name)
{
    return makeDevice(Kind::Slate, uid, address, std::move(name));
}

EmulatedDevice EmulatedDevice::board(
    std::uint32_t uid, std::uint16_t address, std::string name, std::uint16_t firmwareVersion)
{
    EmulatedDevice device = makeDevice(Kind::Board, uid, address, std::move(name));
    device.firmwareVersion = firmwareVersion;
    return device;
}

EmulatedDevice EmulatedDevice::expression(
    std::uint32_t uid, std::uint16_t address, std::string name)
{
    return makeDevice(Kind::Expression, uid, address, std::move(name));
}

EmulatedDevice EmulatedDevice::expressionV2(
    std::uint32_t uid, std::uint16_t address, std::string name)
{
    return makeDevice(Kind::ExpressionV2, markSecondGeneration(uid), address, std::move(name));
}

EmulatedDevice EmulatedDevice::penExpression(
    std::uint32_t uid, std::uint16_t address, std::string name)
{
    return makeDevice(Kind::PenExpression, uid, address, std::move(name));
}

std::uint8_t EmulatedDevice::productId() const
{
    switch (kind) {
    case Kind::Taviote:
        return ProductTaviote;
    case Kind::Slate:
        return ProductSlate;
    case Kind::Board:
        return ProductBoard;
    case Kind::Expression:
    case Kind::ExpressionV2:
        return ProductExpression;
    case Kind::PenExpression:
        return ProductPenExpression;
    }
    return 0;
}

std::array<std::uint8_t, 6> EmulatedDevice::identifier() const
{
    const std::uint32_t id = kind == Kind::ExpressionV2 ? markSecondGeneration(uid) : uid;
    return { std::uint8_t(id >> 24), std::uint8_t(id >> 16), std::uint8_t(id >> 8),
        std::uint8_t(id), std::uint8_t(address >> 8), std::uint8_t(address) };
}

std::string EmulatedDevice::identifierText() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : identifier()) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

Bytes EmulatedDevice::record() const
{
    std::size_t size = 23;
    std::uint8_t packetKind = 0x80;
    std::size_t nameWidth = 14;
    switch (kind) {
    case Kind::Taviote:
        size = 13;
        packetKind = 0x67;
        nameWidth = 4;
        break;
    case Kind::Slate:
        size = 19;
        packetKind = 0x67;
        nameWidth = 10;
        break;
    case Kind::Board:
        packetKind = 0x90;
        nameWidth = 10;
        break;
    case Kind::Expression:
    case Kind::ExpressionV2:
    case Kind::PenExpression:
        break;
    }
    Bytes packet(size, 0);
    packet[0] = std::uint8_t(size);
    packet[1] = packetKind;
    const auto id = identifier();
    std::copy(id.begin(), id.end(), packet.begin() + 2);
    packet[8] = productId();
    putText(packet, 9, name, nameWidth);
    if (kind == Kind::Board)
        putU16(packet, 20, firmwareVersion);
    return packet;
}

// TwoPointFourGHzFirmware

EmulatedDevice* TwoPointFourGHzFirmware::Private::findDevice(std::uint32_t uid)
{
    auto it = std::find_if(devices.begin(), devices.end(),
        [uid](const EmulatedDevice& device) { return device.uid == uid; });
    return it == devices.end() ? nullptr : &*it;
}

void TwoPointFourGHzFirmware::Private::addDevice(EmulatedDevice device)
{
    if (device.kind == Kind::ExpressionV2)
        device.uid = markSecondGeneration(device.uid);
    if (EmulatedDevice* same = findDevice(device.uid))
        *same = std::move(device);
    else
        devices.push_back(std::move(device));
}

bool TwoPointFourGHzFirmware::Private::handle(const Bytes& command, Outcome& out)
{
    if (handleSession(command, out))
        return true;
    std::vector<Bytes>& answer = out.answer;
    if (isPlain(command, ":GI")) {
        answer.push_back(information());
        return true;
    }
    if (isPlain(command, ":GN")) {
        answer.push_back(nameAndFreeStore());
        return true;
    }
    if (isPlain(command, ":QT")) {
        if (countKind(Kind::Board) > 0)
            answer.push_back(touchStatusPacket(touchStatus, touches));
        return true;
    }
    if (const int product = productArgument(command, ":GD"); product >= 0) {
        Bytes packet { 4, 0x53, 0, 0 };
        putU16(packet, 2, std::uint32_t(countIf([product](const EmulatedDevice& device) {
            return countedBy(device.kind, product);
        })));
        answer.push_back(packet);
        return true;
    }
    if (const int product = productArgument(command, ":GR"); product >= 0) {
        for (const EmulatedDevice& device : devices) {
            if (listedBy(device.kind, product))
                answer.push_back(device.record());
        }
        answer.push_back(okPacket());
        return true;
    }
    if (clear(command, out.reset)) {
        answer.push_back(okPacket());
        return true;
    }
    if (remove(command))
        return true;
    if (backlightCommand(command)) {
        answer.push_back(okPacket());
        return true;
    }
    return false;
}

Bytes TwoPointFourGHzFirmware::Private::information() const
{
    Bytes packet(11, 0);
    packet[0] = 11;
    packet[1] = 0x51;
    putU16(packet, 2, std::uint32_t(countKind(Kind::Taviote)));
    putU16(packet, 4, votingCapacity);
    packet[6] = std::uint8_t(std::min<std::size_t>(countKind(Kind::Board), 0xFF));
    packet[7] = boardCapacity;
    packet[8] = std::uint8_t(std::min<std::size_t>(countKind(Kind::Slate), 0xFF));
    packet[9] = slateCapacity;
    const auto code = sessionStateCodes.find(session);
    packet[10] = code != sessionStateCodes.end() ? code->second : stateCode;
    return packet;
}

Bytes TwoPointFourGHzFirmware::Private::nameAndFreeStore() const
{
    Bytes packet(16, 0);
    packet[0] = 16;
    packet[1] = 0x32;
    putText(packet, 2, hubName, 10);
    std::copy(freeStore.begin(), freeStore.end(), packet.begin() + 12);
    return packet;
}

bool TwoPointFourGHzFirmware::Private::clear(const Bytes& command, bool& reset)
{
    static const struct
    {
        const char* code;
        int product; // -1: everything
    } codes[] = {
        { ":CS99", -1 },
        { ":CS06", ProductTaviote },
        { ":CS07", ProductSlate },
        { ":CS08", ProductBoard },
        { ":CS09", ProductExpression },
        { ":CS0D", ProductPenExpression },
    };
    for (const auto& entry : codes) {
        if (!isPlain(command, entry.code))
            continue;
        const int product = entry.product;
        devices.erase(std::remove_if(devices.begin(), devices.end(),
                          [product](const EmulatedDevice& device) {
                              return product < 0 || countedBy(device.kind, product);
                          }),
            devices.end());
        if (product < 0 && resetOnClear) {
            resetOnClear = false;
            reset = true;
        }
        return true;
    }
    return false;
}

bool TwoPointFourGHzFirmware::Private::remove(const Bytes& command)
{
    std::array<std::uint8_t, 6> id {};
    if (command.size() != 3 + 12 + 1 || command.back() != CR
        || !std::equal(command.begin(), command.begin() + 3, ":RD")
        || !parseHex(command, 3, id.size(), true, id.data()))
        return false;
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                      [&id](const EmulatedDevice& device) { return device.identifier() == id; }),
        devices.end());
    return true;
}

bool TwoPointFourGHzFirmware::Private::backlightCommand(const Bytes& command)
{
    static const Bytes head { ':', 'X', 'P', '0', '1', '0', CR, 0x02 };
    if (command.size() != head.size() + 2 || !std::equal(head.begin(), head.end(), command.begin()))
        return false;
    backlight.set = true;
    backlight.level = command[head.size()];
    backlight.value = command[head.size() + 1];
    return true;
}

TwoPointFourGHzFirmware::TwoPointFourGHzFirmware(std::shared_ptr<Firmware> next)
    : d(std::make_shared<Private>())
{
    d->next = std::move(next);
    d->self = d;
}

TwoPointFourGHzFirmware::~TwoPointFourGHzFirmware() = default;

void TwoPointFourGHzFirmware::addDevice(const EmulatedDevice& device)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->addDevice(device);
}

void TwoPointFourGHzFirmware::addDevices(const std::vector<EmulatedDevice>& devices)
{
    for (const EmulatedDevice& device : devices)
        addDevice(device);
}

bool TwoPointFourGHzFirmware::removeDevice(std::uint32_t uid)
{
    std::lock_guard<std::mutex> lock(d->m);
    auto it = std::find_if(d->devices.begin(), d->devices.end(),
        [uid](const EmulatedDevice& device) { return device.uid == uid; });
    if (it == d->devices.end())
        return false;
    d->devices.erase(it);
    return true;
}

std::vector<EmulatedDevice> TwoPointFourGHzFirmware::devices() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->devices;
}

void TwoPointFourGHzFirmware::clearDevices()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->devices.clear();
}

void TwoPointFourGHzFirmware::setHubName(const std::string& name)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->hubName = name.substr(0, 10);
}

void TwoPointFourGHzFirmware::setFreeStore(const std::array<std::uint8_t, 4>& bytes)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->freeStore = bytes;
}

void TwoPointFourGHzFirmware::setVotingCapacity(std::uint16_t capacity)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->votingCapacity = capacity;
}

void TwoPointFourGHzFirmware::setBoardCapacity(std::uint8_t capacity)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->boardCapacity = capacity;
}

void TwoPointFourGHzFirmware::setSlateCapacity(std::uint8_t capacity)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->slateCapacity = capacity;
}

void TwoPointFourGHzFirmware::setHubStateCode(std::uint8_t code)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->stateCode = code;
}

void TwoPointFourGHzFirmware::setTouchRunning(bool running) { setTouchStatusByte(running ? 5 : 0); }

void TwoPointFourGHzFirmware::setTouchStatusByte(std::uint8_t status)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->touchStatus = status;
}

void TwoPointFourGHzFirmware::setTouchCount(std::uint8_t touches)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->touches = touches;
}

void TwoPointFourGHzFirmware::setSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->faults.silent = silent;
}

void TwoPointFourGHzFirmware::dropNextAnswers(int count)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->faults.dropCount = std::max(count, 0);
}

void TwoPointFourGHzFirmware::setReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->faults.delay = delay;
}

void TwoPointFourGHzFirmware::resetDuringNextClear(bool on)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->resetOnClear = on;
}

int TwoPointFourGHzFirmware::commandCount(const std::string& prefix) const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->commands.count(prefix);
}

int TwoPointFourGHzFirmware::totalCommands() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->commands.total();
}

TwoPointFourGHzFirmware::Backlight TwoPointFourGHzFirmware::lastBacklight() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->backlight;
}

void TwoPointFourGHzFirmware::resetCounters()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->commands.reset();
    d->backlight = {};
}

void TwoPointFourGHzFirmware::onWrite(EmulatedHub& hub, const Bytes& command)
{
    const Clock::time_point start = Clock::now();
    Private::Outcome out;
    bool handled = false;
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->commands.record(command);
        handled = d->handle(command, out);
        if (handled) {
            if (!out.answer.empty() && !d->faults.letThrough())
                out.answer.clear();
            // What the learners of an ended session still had to send is taken back.
            cancelTagged(hub, out.cancelled);
            // Queued under the lock so that the answers of concurrent commands do not
            // interleave; deliver only queues.
            if (out.reset)
                hub.deliver(hubResetPacket(), d->faults.delay);
            for (const Bytes& packet : out.answer)
                hub.deliver(packet, d->faults.delay);
        }
    }
    if (handled)
        d->sendLearnerPackets(hub, out, start);
    if ((!handled || out.passOn) && d->next)
        d->next->onWrite(hub, command);
}

// Packets

Bytes TwoPointFourGHzFirmware::okPacket() { return { 0x04, 0x32, 0x4F, 0x4B }; }

Bytes TwoPointFourGHzFirmware::hubResetPacket(std::uint8_t code) { return { 0x03, 0xA0, code }; }

Bytes TwoPointFourGHzFirmware::busyChangePacket(std::uint8_t previous, std::uint8_t next)
{
    return { 0x04, 0x56, previous, next };
}

Bytes TwoPointFourGHzFirmware::batteryLowPacket(std::uint32_t uid, std::uint16_t address)
{
    return { 0x08, 0x50, std::uint8_t(uid >> 24), std::uint8_t(uid >> 16), std::uint8_t(uid >> 8),
        std::uint8_t(uid), std::uint8_t(address >> 8), std::uint8_t(address) };
}

Bytes TwoPointFourGHzFirmware::batteryLowPacket(const EmulatedDevice& device)
{
    const auto id = device.identifier();
    return { 0x08, 0x50, id[0], id[1], id[2], id[3], id[4], id[5] };
}

Bytes TwoPointFourGHzFirmware::penPacket(
    std::uint8_t pen, std::uint16_t x, std::uint16_t y, bool tip, bool barrel, bool inRange)
{
    const std::uint8_t flags = std::uint8_t(
        (tip ? 0x01 : 0) | (barrel ? 0x02 : 0) | (inRange ? 0x04 : 0) | ((pen & 0x03) << 3));
    return { 0x08, 0x21, 0x00, std::uint8_t(x), std::uint8_t(x >> 8), std::uint8_t(y),
        std::uint8_t(y >> 8), flags };
}

Bytes TwoPointFourGHzFirmware::touchPacket(const std::vector<EmulatedTouch>& touches)
{
    // The length byte limits a report to 36 touches.
    const std::size_t count = std::min<std::size_t>(touches.size(), (0xFF - 2) / 7);
    Bytes packet { std::uint8_t(2 + 7 * count), 0x45 };
    for (std::size_t i = 0; i < count; ++i) {
        const EmulatedTouch& touch = touches[i];
        packet.insert(packet.end(),
            { std::uint8_t((touch.id & 0x7F) | (touch.touching ? 0x80 : 0)), std::uint8_t(touch.x),
                std::uint8_t(touch.x >> 8), std::uint8_t(touch.y), std::uint8_t(touch.y >> 8),
                std::uint8_t(touch.radius), std::uint8_t(touch.radius >> 8) });
    }
    return packet;
}

Bytes TwoPointFourGHzFirmware::touchStatusPacket(std::uint8_t status, std::uint8_t touches)
{
    return { 0x08, 0xA5, 0x00, 0x00, 0x00, 0x00, status, touches };
}

std::vector<Bytes> TwoPointFourGHzFirmware::penStrokePackets(const PenStroke& stroke)
{
    return strokePackets(stroke, [](std::uint8_t pen, std::uint16_t x, std::uint16_t y, bool tip) {
        return penPacket(pen, x, y, tip);
    });
}

int TwoPointFourGHzFirmware::streamPenStroke(EmulatedHub& hub, const PenStroke& stroke)
{
    return queueEvery(hub, penStrokePackets(stroke), stroke.interval);
}

EmulatedHub* addTwoPointFourGHzHub(
    Emulator& emulator, const HubConfig& config, std::shared_ptr<TwoPointFourGHzFirmware> firmware)
{
    return plugInWithFirmware(emulator, config, std::move(firmware));
}

} // namespace TavioEmulator
