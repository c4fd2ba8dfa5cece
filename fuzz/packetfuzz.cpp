// Feeds arbitrary bytes through the board library's packet callback into a hub base and a
// 2.4 GHz hub, in whichever session the first byte picks, decodes them as every 2.4 GHz record,
// and reads them as a receiver record.

#include "support/testhub.h"

#include "enhanced/enhancedsessionhandler.h"
#include "hub24/hub24records.h"
#include "system/boarddeviceinfo.h"

#include <QtCore/QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace Taviosystem;

namespace {
const int BaseHandle = 1;
const int TavioHandle = 2;

struct Target
{
    // The hubs' queued slots and deferred deletions need an event loop to be drained.
    int argc = 1;
    char name[12] = "packet_fuzz";
    char* argv[2] = { name, nullptr };
    QCoreApplication application { argc, argv };
    TavioTest::TestSystem system;
    TavioTest::TestHub* hub = system.addUnattachedHub(BaseHandle, true);
    TavioTest::TestTavioHub* tavioHub = system.addUnattachedTavioHub(TavioHandle);
    Target()
    {
        hub->mapAddress(0x0102, 77);
        tavioHub->setResponseTimeout(0);
    }
};

template <typename Record>
void decode(const QByteArray& packet)
{
    const Record record(packet);
    (void)record.isValid();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Target target;
    if (size == 0)
        return 0;
    const auto session = Hub::SessionType(data[0] % (Hub::SessionType_Stopping + 1));
    target.hub->setSessionType(session);
    target.tavioHub->setSessionType(session);
    if (session == Hub::SessionType_Voting && (data[0] & 0x80))
        target.hub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr);
    TavioSystem::processPacketCallback(BaseHandle, data + 1, unsigned(size - 1), &target.system);
    TavioSystem::processPacketCallback(TavioHandle, data + 1, unsigned(size - 1), &target.system);
    // No event thread runs here: drop the transport packets the hub queued for it, so that the
    // queue does not grow without end.
    if (auto* handler = target.tavioHub->transportHandler()) {
        target.system.removeEvents(EventType_AsyncPacket, handler);
        target.system.removeEvents(EventType_GenericAsyncPacket, handler);
    }

    const QByteArray packet(reinterpret_cast<const char*>(data + 1), int(size - 1));
    decode<OKResponse>(packet);
    decode<InformationResponse>(packet);
    decode<NameAndFreeStoreResponse>(packet);
    decode<DeviceCountResponse>(packet);
    decode<RegisteredVoteResponse>(packet);
    decode<RegisteredSlateResponse>(packet);
    decode<RegisteredExpressionResponse>(packet);
    decode<RegisteredBoardResponse>(packet);
    decode<BoardInfoResponse>(packet);
    decode<TwoPointFourGHzPinNamingResponse>(packet);
    decode<SessionByteResponse>(packet);
    decode<SessionSortInOrderResponse>(packet);
    decode<ExpressionNameReceivedResponse>(packet);
    decode<BatteryLowResponse>(packet);

    static unsigned runs = 0;
    if (++runs % 256 == 0)
        QCoreApplication::processEvents();

    BoardDeviceInfo record;
    std::memcpy(record.bytes, data, size < sizeof record.bytes ? size : sizeof record.bytes);
    (void)record.devicePath();
    (void)record.driverVersion();
    (void)record.additionalInfo();
    (void)record.serial();
    return 0;
}
