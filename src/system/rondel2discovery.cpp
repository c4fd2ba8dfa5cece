// The classroom-server hub's step of hub discovery: the hub is listed while its beacon reaches
// the server, delisted while it does not, and moved to another handle when a receiver reports
// the one it holds.

#include "taviosystem_p.h"

#include "abstracthardwarewrapper.h"
#include "boarddeviceinfo.h"

#include <taviosystem/virtualrondel2hub.h>

#include <QtCore/QThread>

namespace Taviosystem {

namespace {
// Any start gives handles unlike the reported ones once bit 8 is set after each fold.
const quint32 HandleHashSeed = 0x1E1F3;
const quint32 HandleHashBit = 0x100;
} // namespace

VirtualRondel2Hub* TavioSystem::getRondel2Hub()
{
    if (m_rondel2Hub)
        return m_rondel2Hub;
    QString url;
    QString hubName;
    if (!VirtualRondel2Hub::readUrl(url, hubName))
        return nullptr;
    auto* hub = new VirtualRondel2Hub(
        this, m_rondel2HubHandle, false, 20, url, hubName, &TavioSystem::pnpCallback);
    // Replies and timers need the event loop of the system's thread.
    if (hub->thread() != thread())
        hub->moveToThread(thread());
    m_rondel2Hub = hub;
    hub->verifyAndInitialize();
    return hub;
}

// Takes the hub off the lists (as a departure does); on a collision also out of the table.
void TavioSystem::delistRondel2Hub(QMap<int, Hub*>* oldHubs, bool collision)
{
    VirtualRondel2Hub* hub = m_rondel2Hub;
    const int handle = m_rondel2HubHandle;
    Hub* listed = hubForHandle(handle);
    if (listed != hub)
        listed = nullptr;
    bool wasListed = false;
    {
        std::unique_lock<std::shared_mutex> locker(d->hubsLock);
        if (listed) {
            oldHubs->remove(handle);
            if (collision)
                m_hubs.remove(handle);
            wasListed = m_tavioHubInfoMap.remove(handle) > 0;
        }
    }
    if (wasListed) {
        retireSessionsOf(listed);
        Q_EMIT tavioHubDisconnected(handle);
    }
    if (listed && listed->isConnected() && discoveryGoesOn()) {
        listed->setConnected(false);
        notifyHub(listed, false);
    }
}

bool TavioSystem::updateRondel2Hub(QMap<int, Hub*>* oldHubs, int count)
{
    AbstractHardwareWrapper* wrapper = m_wrapper;
    bool collision = false;
    quint32 hash = HandleHashSeed;
    for (int i = 0; wrapper && i < count; ++i) {
        BoardDeviceInfo record;
        if (!wrapper->enumDeviceInfo(i, &record))
            continue;
        if (record.handle() == m_rondel2HubHandle)
            collision = true;
        hash = quint32((qint32(hash) >> 28) ^ qint32(hash << 4) ^ qint32(record.handle()));
        hash |= HandleHashBit;
    }

    VirtualRondel2Hub* hub = getRondel2Hub();
    if (!hub)
        return false;
    if (!hub->initialized()) {
        // A hub whose server changed is delisted until it knows its new serial.
        delistRondel2Hub(oldHubs, false);
        if (!hub->initializing())
            hub->verifyAndInitialize();
        return false;
    }

    const int handle = m_rondel2HubHandle;
    if (hub->beaconWorking() && !collision) {
        oldHubs->remove(handle);
        if (hubForHandle(handle) == hub) {
            if (hub->isConnected())
                return false;
            hub->setConnected(true);
            notifyHub(hub, true);
            if (!isValidTaviohubHandle(handle))
                addTavioHubInfo(
                    handle, hub->hubName(), hub->serial(), hub->isVirtualHub(), true, false);
        } else {
            insertHub(handle, hub);
            addTavioHubInfo(handle, hub->hubName(), hub->serial(), true, true, false);
            hub->setConnected(true);
            notifyHub(hub, true);
        }
        if (discoveryGoesOn())
            Q_EMIT newTavioHubConnected(handle);
        return false;
    }

    delistRondel2Hub(oldHubs, collision);
    if (!collision)
        return false;
    m_rondel2HubHandle = int(hash);
    hub->setHandle(int(hash));
    if (discoveryGoesOn())
        updateHubs();
    return true;
}

} // namespace Taviosystem
