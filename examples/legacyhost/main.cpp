// Setting up a legacy radio hub: read its radio settings, register voters, register a radio
// slate with a PIN, and test the voters. The region between the //! markers is shown in the
// README and the API reference.

#include <taviosystem/hub.h>
#include <taviosystem/legacyhubregistrationsession.h>
#include <taviosystem/taviosystem.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>

#include <examplehost.h>

using namespace Taviosystem;
using ExampleHost::waitSeconds;

//! [legacyhub]
void setUpLegacyHub(TavioSystem& system, Hub* hub)
{
    const LegacyhubRegistrationSession* legacy
        = system.startLegacyhubRegistrationSession(hub->handle()); // from newLegacyHubConnected
    if (!legacy)
        return;
    quint8 channel = 0;
    legacy->getVoteChannel(channel); // read from the hub when it connected
    legacy->startVoteRegistrationSession(); // voteDeviceRegistered(uid, batteryLow, version)
    waitSeconds(20);
    legacy->stopVoteRegistrationSession(); // saves the voters

    // A slate that asks to join gets a PIN, which the host shows and the learner types.
    QObject::connect(legacy, &LegacyhubRegistrationSession::generatePinforSlateRegistration, legacy,
        [legacy](quint8 slateId) {
            legacy->startSlatePINRegistration(slateId, RegistrationCode('A', 'C', 'F'));
        });
    legacy->startSlateRegistrationSession();
    waitSeconds(20); // slateDeviceRegistered(slateId) came
    legacy->stopSlateRegistrationSession(); // saves the slates

    legacy->startVoteTestSession(); // voteTestResponse(uid, key, batteryLow)
    waitSeconds(20);
    hub->stopSession();
    system.stopLegacyhubRegistrationSession();
}
//! [legacyhub]

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TavioSystem& system = TavioSystem::instance();
    if (!ExampleHost::initialise(system))
        return 1;
    QMap<int, HubDisplayInfo> legacyHubs;
    system.getLegacyHubInfoMap(legacyHubs);
    QList<Hub*> hubs;
    system.getHubList(&hubs);
    for (Hub* hub : hubs) {
        if (legacyHubs.contains(hub->handle())) {
            setUpLegacyHub(system, hub);
            break;
        }
    }
    system.shutdown();
}
