// The firmware of a software receiver (record kind 4): a 2.4 GHz hub that also answers
//   ":GL" CR          its name: byte 0 the name's length (or, if so set, the packet's), A3, the
//                     name's bytes
//   ":AE001" CR       starts the generic session, OK
//   ":AE002" CR a a l l l payload   a generic message for the device at address a (big-endian)
//                     with l payload bytes (24 bits, big-endian), OK
// and hands every other command to its 2.4 GHz firmware (":VE" also ends the generic session).
// Devices send generic packets through it: 00 v v v E1 a a payload (see genericPacket).
#pragma once

#include "tavioemulator/twopointfourghzfirmware.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TavioEmulator {

// A generic message the host sent through the hub.
struct GenericMessage
{
    std::uint16_t address = 0;
    std::uint32_t declaredLength = 0;
    Bytes payload;
    bool complete = false; // whether the frame carried all the bytes it declared
};

// All members are thread-safe.
class TAVIOEMU_EXPORT VirtualTwoPointFourGHzFirmware : public Firmware
{
public:
    enum class NameLengthByte { Name, Packet };

    explicit VirtualTwoPointFourGHzFirmware(
        std::shared_ptr<TwoPointFourGHzFirmware> radio = nullptr);
    ~VirtualTwoPointFourGHzFirmware() override;

    // The 2.4 GHz firmware behind it: devices, learners and every radio command.
    std::shared_ptr<TwoPointFourGHzFirmware> radio() const;

    void setHubName(const std::string& name); // default "Virtual Hub"
    void setNameLengthByte(NameLengthByte meaning); // default Name
    // Faults of its own commands: no answer at all, or no OK to generic messages only.
    void setSilent(bool silent);
    void setGenericOkDropped(bool dropped);

    bool genericSessionRunning() const;
    std::vector<GenericMessage> genericMessages() const;
    int commandCount(const std::string& prefix) const; // of its own three commands

    void onWrite(EmulatedHub& hub, const Bytes& command) override;

    // A device's generic packet: 00, `value` as 24 bits, E1, the address, the payload.
    static Bytes genericPacket(
        std::uint16_t address, const Bytes& payload, std::uint32_t value = 0);

private:
    struct Private;
    std::shared_ptr<Private> d;
};

// Plugs in a virtual hub (kind 4 unless `config` says otherwise) that runs `firmware` from its
// very first write.
TAVIOEMU_EXPORT EmulatedHub* addVirtualTwoPointFourGHzHub(Emulator& emulator,
    const HubConfig& config, std::shared_ptr<VirtualTwoPointFourGHzFirmware> firmware);

} // namespace TavioEmulator
