// Feeds arbitrary bytes to a legacy hub in either framing and in whichever session the first
// byte picks (voting, voter and slate registration, the voter test, slate PIN registration, PIN
// naming), decodes them as every legacy record, and, in a second mode, reads them as the
// settings file that keeps the hubs' voters and slates.

#include "fuzzsupport.h"
#include "support/testhub.h"

#include "hub/tavioteresponse.h"
#include "legacy/legacyrecords.h"

#include <taviosystem/legacyhub.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <cstddef>
#include <cstdint>

using namespace Taviosystem;

namespace {
const int UsbHandle = 1;
const int SerialHandle = 2;
const Hub::SessionType Sessions[] = { Hub::SessionType_Voting, Hub::SessionType_VoteRegistration,
    Hub::SessionType_SlateRegistration, Hub::SessionType_VoteTest,
    Hub::SessionType_SlatePinRegistration, Hub::SessionType_PinNaming };
constexpr std::uint8_t StoreMode = 0x80;

class FuzzLegacyHub : public LegacyHub
{
public:
    FuzzLegacyHub(TavioSystem* system, int handle, int connectionType)
        : LegacyHub(system, handle, 0x4242, true, true, connectionType, 395, 2, 0, 0, false, 0, 0)
    {
    }
    using Hub::setSessionType;
};

struct Target : FuzzSupport::Application
{
    QTemporaryDir folder;
    QString storePath;
    TavioTest::TestSystem system;
    FuzzLegacyHub* usb = nullptr;
    FuzzLegacyHub* serial = nullptr;
    Target()
    {
        qputenv("TAVIOSYSTEM_APPDATA", folder.path().toLocal8Bit());
        storePath = folder.path() + QStringLiteral("/Corvellan/TavioSystem/TavioSystem.ini");
        usb = new FuzzLegacyHub(&system, UsbHandle, Hub::ConnectionType_Usb);
        serial = new FuzzLegacyHub(&system, SerialHandle, Hub::ConnectionType_Serial);
        system.listHub(UsbHandle, usb);
        system.listHub(SerialHandle, serial);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Target target;
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), int(size - 1));

    if (data[0] & StoreMode) {
        // Whatever the file holds gives lists of voters with ids and slates 1 to 63, or none.
        QFile file(target.storePath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(bytes);
            file.close();
        }
        target.usb->readRegisteredDevicesLists();
        QList<Device*> devices;
        target.usb->readTavioteList(&devices);
        target.usb->readTavioSlateList(&devices);
        QCoreApplication::processEvents();
        return 0;
    }

    const Hub::SessionType session = Sessions[(data[0] >> 1) % std::size(Sessions)];
    const bool serial = data[0] & 1;
    FuzzLegacyHub* hub = serial ? target.serial : target.usb;
    hub->setSessionType(session);
    TavioSystem::processPacketCallback(
        serial ? SerialHandle : UsbHandle, data + 1, unsigned(size - 1), &target.system);

    FuzzSupport::decodeAll<LegacyRFResponse, LegacySerialRFResponse, LegacyUsbEnableVoteResponse,
        LegacySerialEnableVoteResponse, LegacyVoteRegistrationResponse,
        LegacySerialVoteRegistrationResponse, LegacySlateRegistrationResponse,
        LegacySerialSlateRegistrationResponse, LegacySlatePINRegistrationResponse,
        LegacySerialSlatePINRegistrationResponse, LegacyPinNamingResponse,
        LegacySerialPinNamingResponse>(bytes);
    LegacyTavioteResponse usbVote;
    LegacySerialTavioteResponse serialVote;
    for (TavioteResponse* decoder :
        { static_cast<TavioteResponse*>(&usbVote), static_cast<TavioteResponse*>(&serialVote) }) {
        if (decoder->isVote(bytes))
            decoder->isRepeat(decoder->deviceNumber(bytes), decoder->voteKey(bytes));
    }

    // Registrations add devices: keep the lists from growing without end.
    if (FuzzSupport::periodically()) {
        target.usb->clearHubOfSlates();
        target.serial->clearHubOfSlates();
        target.usb->readRegisteredDevicesLists();
        target.serial->readRegisteredDevicesLists();
        QCoreApplication::processEvents();
    }
    return 0;
}
