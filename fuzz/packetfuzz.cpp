// Feeds arbitrary bytes through the board library's packet callback into a hub base, a 2.4 GHz
// hub and a virtual 2.4 GHz hub, in whichever session the first byte picks, decodes them as every
// 2.4 GHz and virtual hub record, and reads them as a receiver record.

#include "fuzzsupport.h"
#include "support/testhub.h"

#include "enhanced/enhancedsessionhandler.h"
#include "hub24/hub24records.h"
#include "system/boarddeviceinfo.h"
#include "virtual/virtualhubrecords.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace Taviosystem;

namespace {
const int BaseHandle = 1;
const int TavioHandle = 2;
const int VirtualHandle = 3;

// The virtual hub reads its discovery settings when it is made: from a folder of its own here.
bool redirectSettings(const QTemporaryDir& dir)
{
    for (auto scope : { QSettings::UserScope, QSettings::SystemScope })
        QSettings::setPath(QSettings::IniFormat, scope, dir.path());
    return dir.isValid();
}

struct Target : FuzzSupport::Application
{
    QTemporaryDir settingsDir;
    bool settingsRedirected = redirectSettings(settingsDir);
    TavioTest::TestSystem system;
    TavioTest::TestHub* hub = system.addUnattachedHub(BaseHandle, true);
    TavioTest::TestTavioHub* tavioHub = system.addUnattachedTavioHub(TavioHandle);
    TavioTest::TestVirtualHub* virtualHub
        = system.addUnattachedVirtualHub(VirtualHandle, QStringLiteral("vh:/127.0.0.1/:a:b:c"));
    Target()
    {
        hub->mapAddress(0x0102, 77);
        tavioHub->setResponseTimeout(0);
        virtualHub->setResponseTimeout(0);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Target target;
    if (size == 0)
        return 0;
    const auto session = Hub::SessionType(data[0] % (Hub::SessionType_Stopping + 1));
    target.hub->setSessionType(session);
    target.tavioHub->setSessionType(session);
    target.virtualHub->setSessionType(session);
    if (session == Hub::SessionType_Voting && (data[0] & 0x80))
        target.hub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr);
    TavioSystem::processPacketCallback(BaseHandle, data + 1, unsigned(size - 1), &target.system);
    TavioSystem::processPacketCallback(TavioHandle, data + 1, unsigned(size - 1), &target.system);
    TavioSystem::processPacketCallback(VirtualHandle, data + 1, unsigned(size - 1), &target.system);
    // No event thread runs here: drop the transport packets the hub queued for it, so that the
    // queue does not grow without end.
    for (auto* handler :
        { target.tavioHub->transportHandler(), target.virtualHub->transportHandler() }) {
        if (!handler)
            continue;
        target.system.removeEvents(EventType_AsyncPacket, handler);
        target.system.removeEvents(EventType_GenericAsyncPacket, handler);
    }
    // The virtual hub's own generic packets: taken back and handled here, as the event thread
    // would.
    target.system.removeEvents(EventType_GenericAsyncPacket, target.virtualHub);

    const QByteArray packet(reinterpret_cast<const char*>(data + 1), int(size - 1));
    FuzzSupport::decodeAll<OKResponse, InformationResponse, NameAndFreeStoreResponse,
        DeviceCountResponse, RegisteredVoteResponse, RegisteredSlateResponse,
        RegisteredExpressionResponse, RegisteredBoardResponse, BoardInfoResponse,
        TwoPointFourGHzPinNamingResponse, SessionByteResponse, SessionSortInOrderResponse,
        ExpressionNameReceivedResponse, BatteryLowResponse, EnhancedNameResponse,
        VirtualGenericAsyncResponse>(packet);
    target.virtualHub->handleAsEvent(EventType_GenericAsyncPacket, packet);

    if (FuzzSupport::periodically())
        QCoreApplication::processEvents();

    BoardDeviceInfo record;
    std::memcpy(record.bytes, data, size < sizeof record.bytes ? size : sizeof record.bytes);
    (void)record.devicePath();
    (void)record.driverVersion();
    (void)record.additionalInfo();
    (void)record.serial();
    return 0;
}
