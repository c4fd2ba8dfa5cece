// The software receiver's firmware: its own three commands over the 2.4 GHz hub's.
#include "twopointfourghz_p.h"

#include "tavioemulator/virtualfirmware.h"

namespace TavioEmulator {

using namespace Radio;

namespace {
constexpr std::uint8_t NameKind = 0xA3;
constexpr std::uint8_t GenericFlag = 0xE1;
constexpr std::size_t GenericHeader = 7; // ":AE002" CR, then address and length
constexpr std::size_t GenericFrameStart = 12; // the payload's first byte in a generic frame
constexpr std::size_t NameHeader = 2;
} // namespace

struct VirtualTwoPointFourGHzFirmware::Private
{
    mutable std::mutex m;
    std::shared_ptr<TwoPointFourGHzFirmware> radio;
    std::string name = "Virtual Hub";
    NameLengthByte lengthByte = NameLengthByte::Name;
    bool silent = false;
    bool genericOkDropped = false;
    bool genericRunning = false;
    std::vector<GenericMessage> messages;
    std::map<std::string, int> commands;

    Bytes namePacket() const
    {
        const std::size_t length = std::min<std::size_t>(name.size(), 0xFF - NameHeader);
        Bytes packet { std::uint8_t(
                           lengthByte == NameLengthByte::Name ? length : length + NameHeader),
            NameKind };
        packet.insert(packet.end(), name.begin(), name.begin() + std::ptrdiff_t(length));
        return packet;
    }

    static GenericMessage parseGeneric(const Bytes& command)
    {
        GenericMessage message;
        if (command.size() < GenericFrameStart)
            return message;
        message.address = std::uint16_t(command[GenericHeader] << 8 | command[GenericHeader + 1]);
        message.declaredLength = std::uint32_t(command[GenericHeader + 2]) << 16
            | std::uint32_t(command[GenericHeader + 3]) << 8 | command[GenericHeader + 4];
        message.payload.assign(command.begin() + GenericFrameStart, command.end());
        message.complete = message.payload.size() == message.declaredLength;
        return message;
    }
};

VirtualTwoPointFourGHzFirmware::VirtualTwoPointFourGHzFirmware(
    std::shared_ptr<TwoPointFourGHzFirmware> radio)
    : d(std::make_shared<Private>())
{
    d->radio = radio ? std::move(radio) : std::make_shared<TwoPointFourGHzFirmware>();
}

VirtualTwoPointFourGHzFirmware::~VirtualTwoPointFourGHzFirmware() = default;

std::shared_ptr<TwoPointFourGHzFirmware> VirtualTwoPointFourGHzFirmware::radio() const
{
    return d->radio;
}

void VirtualTwoPointFourGHzFirmware::setHubName(const std::string& name)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->name = name;
}

void VirtualTwoPointFourGHzFirmware::setNameLengthByte(NameLengthByte meaning)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->lengthByte = meaning;
}

void VirtualTwoPointFourGHzFirmware::setSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->silent = silent;
}

void VirtualTwoPointFourGHzFirmware::setGenericOkDropped(bool dropped)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->genericOkDropped = dropped;
}

bool VirtualTwoPointFourGHzFirmware::genericSessionRunning() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->genericRunning;
}

std::vector<GenericMessage> VirtualTwoPointFourGHzFirmware::genericMessages() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->messages;
}

int VirtualTwoPointFourGHzFirmware::commandCount(const std::string& prefix) const
{
    std::lock_guard<std::mutex> lock(d->m);
    int count = 0;
    for (const auto& [text, times] : d->commands) {
        if (text.compare(0, prefix.size(), prefix) == 0)
            count += times;
    }
    return count;
}

void VirtualTwoPointFourGHzFirmware::onWrite(EmulatedHub& hub, const Bytes& command)
{
    {
        std::lock_guard<std::mutex> lock(d->m);
        Bytes answer;
        bool own = true;
        if (isPlain(command, ":GL")) {
            answer = d->namePacket();
        } else if (isPlain(command, ":AE001")) {
            d->genericRunning = true;
            answer = TwoPointFourGHzFirmware::okPacket();
        } else if (startsWith(command, ":AE002")) {
            d->messages.push_back(Private::parseGeneric(command));
            if (!d->genericOkDropped)
                answer = TwoPointFourGHzFirmware::okPacket();
        } else {
            own = false;
            if (isPlain(command, ":VE"))
                d->genericRunning = false;
        }
        if (own) {
            ++d->commands[Radio::commandText(command)];
            if (!d->silent && !answer.empty())
                hub.deliver(answer);
            return;
        }
    }
    d->radio->onWrite(hub, command);
}

Bytes VirtualTwoPointFourGHzFirmware::genericPacket(
    std::uint16_t address, const Bytes& payload, std::uint32_t value)
{
    Bytes packet { 0x00, std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value),
        GenericFlag, std::uint8_t(address >> 8), std::uint8_t(address) };
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

EmulatedHub* addVirtualTwoPointFourGHzHub(Emulator& emulator, const HubConfig& config,
    std::shared_ptr<VirtualTwoPointFourGHzFirmware> firmware)
{
    if (auto* impl = dynamic_cast<EmulatorImpl*>(&emulator))
        return impl->addHubWithFirmware(config, std::move(firmware));
    EmulatedHub* hub = emulator.addHub(config);
    if (hub)
        hub->setFirmware(std::move(firmware));
    return hub;
}

} // namespace TavioEmulator
