// The cloud classroom hub's side of the system: sign-in, sign-out and its place in the hub table.

#include "taviosystem_p.h"

#include "abstracthardwarewrapper.h"
#include "cloud/tessalyclient.h"
#include "cloud/threadhop.h"

#include <taviosystem/tessalycontroller.h>
#include <taviosystem/virtualtessalyhub.h>

namespace Taviosystem {

namespace {
const char* const TessalyHubName = "Tessaly Virtual Hub";
const int TessalyHubVersion = 20;
} // namespace

VirtualTessalyHub* TavioSystem::getTessalyHub()
{
    if (d->tessalyHub)
        return d->tessalyHub;
    auto* hub = new VirtualTessalyHub(this, TessalyHubHandle, false, TessalyHubVersion,
        d->tessalyServerUrl, QString::fromLatin1(TessalyHubName), d->tessalyUserName,
        d->tessalyPassword, &TavioSystem::pnpCallback);
    hub->verifyAndInitialize();
    if (!hub->initialized()) {
        // Nothing of a failed sign-in is kept: the next one starts clean.
        delete hub;
        return nullptr;
    }
    d->tessalyHub = hub;
    return hub;
}

bool TavioSystem::updateTessalyHub(QMap<int, Hub*>* /*hubs*/, int /*count*/)
{
    VirtualTessalyHub* hub = getTessalyHub();
    if (!hub)
        return false;
    insertHub(TessalyHubHandle, hub);
    addTavioHubInfo(TessalyHubHandle, hub->hubName(), hub->serial(), true, false, true);
    hub->setConnected(true);
    notifyHub(hub, true);
    Q_EMIT newTavioHubConnected(TessalyHubHandle);
    return true;
}

bool TavioSystem::tessalyLogin(
    const QString& serverUrl, const QString& userName, const QString& password)
{
    return onOwnThread(this, [&] {
        const bool same = serverUrl == d->tessalyServerUrl && userName == d->tessalyUserName
            && password == d->tessalyPassword;
        d->tessalyServerUrl = serverUrl;
        d->tessalyUserName = userName;
        d->tessalyPassword = password;
        if (serverUrl.isEmpty() || userName.isEmpty() || password.isEmpty())
            return false;
        if (!m_initialised) {
            recordError(Error_NotInitialised);
            return false;
        }
        // Another teacher or service: the signed-in one leaves first.
        if (d->tessalyHub && !same)
            tessalyLogout();
        AbstractHardwareWrapper* wrapper = nullptr;
        {
            std::shared_lock<std::shared_mutex> locker(d->wrapperLock);
            wrapper = m_wrapper;
        }
        return updateTessalyHub(&m_hubs, wrapper ? wrapper->getDeviceCount() : 0);
    });
}

void TavioSystem::tessalyLogout()
{
    onOwnThread(this, [this] {
        VirtualTessalyHub* hub = d->tessalyHub;
        if (!hub)
            return;
        d->tessalyHub = nullptr;
        {
            std::unique_lock<std::shared_mutex> locker(d->hubsLock);
            if (m_hubs.value(TessalyHubHandle) == hub)
                m_hubs.remove(TessalyHubHandle);
            m_tavioHubInfoMap.remove(TessalyHubHandle);
        }
        retireSessionsOf(hub);
        Q_EMIT tavioHubDisconnected(TessalyHubHandle);
        Q_EMIT hubDisconnected(hub);
        // No reconnection, and the next sign-in asks for the password again.
        hub->stopTessalySession();
        if (PresenterClient* client = hub->getTessalyClient())
            client->doLogout();
        hub->setConnected(false);
        hub->deleteLater();
    });
}

bool TavioSystem::tessalyStartSession()
{
    return onOwnThread(this, [this] {
        VirtualTessalyHub* hub = d->tessalyHub;
        return hub && hub->startTessalySession();
    });
}

} // namespace Taviosystem
