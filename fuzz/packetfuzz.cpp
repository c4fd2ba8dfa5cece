// Feeds arbitrary bytes through the board library's packet callback into a hub, in each of the
// sessions that change how the base reads packets, and decodes them as a receiver record.

#include "support/testhub.h"

#include "system/boarddeviceinfo.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace Taviosystem;

namespace {
struct Target
{
    TavioTest::TestSystem system;
    TavioTest::TestHub* hub = system.addUnattachedHub(1, true);
    Target() { hub->mapAddress(0x0102, 77); }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Target target;
    if (size == 0)
        return 0;
    // The first byte picks the session the packet meets.
    static const Hub::SessionType sessions[]
        = { Hub::SessionType_None, Hub::SessionType_Voting, Hub::SessionType_PinNaming };
    target.hub->setSessionType(sessions[data[0] % 3]);
    if (data[0] % 3 == 1 && data[0] & 0x80)
        target.hub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr);
    TavioSystem::processPacketCallback(1, data + 1, unsigned(size - 1), &target.system);

    BoardDeviceInfo record;
    std::memcpy(record.bytes, data, size < sizeof record.bytes ? size : sizeof record.bytes);
    (void)record.devicePath();
    (void)record.driverVersion();
    (void)record.additionalInfo();
    (void)record.serial();
    return 0;
}
