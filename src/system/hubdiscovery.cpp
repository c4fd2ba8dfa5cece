#include "taviosystem_p.h"

#include "abstracthardwarewrapper.h"
#include "boarddeviceinfo.h"
#include "hub/devicedisplay.h"

#include <taviosystem/hub.h>
#include <taviosystem/legacyhub.h>
#include <taviosystem/twopointfourghzhub.h>
#include <taviosystem/virtualrondel2hub.h>
#include <taviosystem/virtualtwopointfourghzhub.h>

#include <QtCore/QThread>

namespace Taviosystem {

namespace {
enum RecordKind {
    RecordKind_LegacyHubType1 = 1,
    RecordKind_LegacyHub = 2,
    RecordKind_TwoPointFourGHzHub = 3,
    RecordKind_VirtualTwoPointFourGHzHub = 4
};

bool isLegacyKind(int kind)
{
    return kind == RecordKind_LegacyHubType1 || kind == RecordKind_LegacyHub;
}

bool isTavioKind(int kind)
{
    return kind == RecordKind_TwoPointFourGHzHub || kind == RecordKind_VirtualTwoPointFourGHzHub;
}

const int LegacyXferMask = 255;
} // namespace

// Runs on packet threads: a read lock only, never held while the hub works.
Hub* TavioSystem::hubForHandle(int handle) const
{
    std::shared_lock<std::shared_mutex> locker(d->hubsLock);
    return m_hubs.value(handle, nullptr);
}

// Every item key=<value> of the text, left to right: the shortest key before "=<" and the
// shortest value up to ">" (both at least one character), white space simplified in both. A
// later item of the same key wins.
void TavioSystem::parseAdditionalDeviceInfo(const QString& text, QHash<QString, QString>& hash)
{
    // Items read as "(.+)=<(.+)>" in minimal mode did in the receiver's first software: each item
    // is the shortest stretch from where the last one ended that holds a key, "=<", a value and
    // ">" (neither part empty), and within it the key is as long as it can be.
    const QLatin1String open("=<");
    const QChar close = QLatin1Char('>');
    const int size = int(text.size());
    const int openSize = int(open.size());
    int start = 0;
    while (start < size) {
        int split = -1;
        int end = start + openSize + 1;
        for (;; ++end) {
            end = int(text.indexOf(close, end));
            if (end < 0)
                return;
            // The last "=<" that leaves a key before it and a value after it.
            split = int(text.lastIndexOf(open, end - openSize - 1));
            if (split > start)
                break;
        }
        const QString key = text.mid(start, split - start).simplified();
        const int valueStart = split + openSize;
        hash.insert(key, text.mid(valueStart, end - valueStart).simplified());
        start = end + 1;
    }
}

namespace {
// A number of the additional information: 0 when the key is missing or does not convert.
int infoNumber(const QHash<QString, QString>& info, const char* key, int base)
{
    bool ok = false;
    const int value = info.value(QLatin1String(key)).toInt(&ok, base);
    return ok ? value : 0;
}
} // namespace

Hub* TavioSystem::createHub(const BoardDeviceInfo& record)
{
    switch (record.kind()) {
    case RecordKind_LegacyHubType1:
    case RecordKind_LegacyHub: {
        QHash<QString, QString> info;
        parseAdditionalDeviceInfo(QString::fromLatin1(record.additionalInfo()), info);
        const int model = record.versionNumber();
        int pens = infoNumber(info, "xp", 10);
        if (pens == -1)
            pens = LegacyHub::determinePenCount(model);
        return new LegacyHub(this, record.handle(), record.serial(), true,
            record.kind() == RecordKind_LegacyHubType1, record.connectionType(), model, pens,
            infoNumber(info, "xt", 10), infoNumber(info, "xl", 10),
            info.value(QStringLiteral("hid")) == QLatin1String("true"), infoNumber(info, "vid", 16),
            infoNumber(info, "pid", 16));
    }
    case RecordKind_TwoPointFourGHzHub:
        return new TwoPointFourGHzHub(
            this, record.handle(), record.serial(), true, record.versionNumber());
    case RecordKind_VirtualTwoPointFourGHzHub:
        return new VirtualTwoPointFourGHzHub(this, record.handle(), record.serial(), true,
            record.versionNumber(), record.devicePath());
    default:
        // A later board library may define further kinds.
        return nullptr;
    }
}

void TavioSystem::insertHub(int handle, Hub* hub)
{
    if (!hub)
        return;
    // Timers and queued slots of the hub run in the thread that owns the system (the host's
    // main thread), whichever thread discovered the hub.
    if (hub->thread() != thread() && hub->thread() == QThread::currentThread())
        hub->moveToThread(thread());
    std::unique_lock<std::shared_mutex> locker(d->hubsLock);
    if (m_hubs.value(handle) == hub)
        return;
    if (m_hubs.contains(handle))
        d->retiredHubs.append(m_hubs.value(handle));
    m_hubs.insert(handle, hub);
}

void TavioSystem::notifyHub(Hub* hub, bool connected)
{
    if (m_hubConnectedCallback) {
        m_hubConnectedCallback(hub, connected, m_hubConnectedContext);
        return;
    }
    if (connected)
        Q_EMIT newHubConnected(hub);
    else
        Q_EMIT hubDisconnected(hub);
}

void TavioSystem::addTavioHubInfo(int handle, const QString& name, quint64 uid, bool isVirtualHub,
    bool isRondel2Hub, bool isTessalyHub)
{
    HubDisplayInfo info;
    info.name = name;
    info.uid = uid;
    info.isVirtualHub = isVirtualHub;
    info.isRondel2Hub = isRondel2Hub;
    info.isTessalyHub = isTessalyHub;
    std::unique_lock<std::shared_mutex> locker(d->hubsLock);
    m_tavioHubInfoMap.insert(handle, info);
}

void TavioSystem::addLegacyHubInfo(int handle, const QString& name, quint64 uid)
{
    HubDisplayInfo info;
    info.name = name;
    info.uid = uid;
    std::unique_lock<std::shared_mutex> locker(d->hubsLock);
    m_legacyHubInfoMap.insert(handle, info);
}

// Whether a discovery pass may take its next step: not once shutdown() has begun (the pass then
// ends, and shutdown() waits for it), nor after a host shut the system down from inside one of
// the pass's own notifications.
bool TavioSystem::discoveryGoesOn() { return m_initialised && !isStopping(); }

// Runs on the event thread after a plug-and-play notification, and on the host's thread inside
// initialise(). Host notifications are made on that thread with no lock held but the pass's own
// (which only shutdown() and other passes take).
void TavioSystem::updateHubs()
{
    std::lock_guard<std::recursive_timed_mutex> passLocker(d->updateMutex);
    AbstractHardwareWrapper* wrapper = nullptr;
    {
        std::shared_lock<std::shared_mutex> locker(d->wrapperLock);
        wrapper = m_wrapper;
    }
    if (!wrapper || !discoveryGoesOn())
        return;

    QMap<int, Hub*> oldHubs;
    {
        std::shared_lock<std::shared_mutex> locker(d->hubsLock);
        oldHubs = m_hubs;
    }
    const int count = wrapper->getDeviceCount();
    if (updateRondel2Hub(&oldHubs, count) || !discoveryGoesOn())
        return;
    // The cloud hub has no receiver: discovery never finds it gone.
    if (d->tessalyHub)
        oldHubs.remove(TessalyHubHandle);

    // Hubs whose receivers are (still or again) present.
    for (int i = 0; i < count; ++i) {
        BoardDeviceInfo record;
        if (!discoveryGoesOn())
            return;
        if (!wrapper->enumDeviceInfo(i, &record))
            continue;
        const int handle = record.handle();
        Hub* hub = hubForHandle(handle);
        if (!hub)
            continue;
        wrapper->setCallback(handle, &TavioSystem::processPacketCallback, this);
        oldHubs.remove(handle);
        if (hub->isConnected())
            continue;
        hub->setConnected(true);
        if (!discoveryGoesOn())
            return;
        notifyHub(hub, true);
        if (!discoveryGoesOn())
            return;
        if (isLegacyKind(record.kind())) {
            if (!isValidLegacyhubHandle(handle)) {
                addLegacyHubInfo(handle, QString(), record.serial());
                Q_EMIT newLegacyHubConnected(handle);
            }
        } else if (isTavioKind(record.kind())) {
            if (!isValidTaviohubHandle(handle)) {
                addTavioHubInfo(
                    handle, QString(), record.serial(), hub->isVirtualHub(), false, false);
                Q_EMIT newTavioHubConnected(handle);
            }
        }
    }

    // Hubs whose receivers went away: kept, marked not connected.
    for (auto it = oldHubs.cbegin(); it != oldHubs.cend(); ++it) {
        if (!discoveryGoesOn())
            return;
        const int handle = it.key();
        Hub* hub = hubForHandle(handle);
        wrapper->clearCallback(handle, &TavioSystem::processPacketCallback, this);
        bool wasTavio = false;
        bool wasLegacy = false;
        {
            std::unique_lock<std::shared_mutex> locker(d->hubsLock);
            wasTavio = m_tavioHubInfoMap.remove(handle) > 0;
            wasLegacy = m_legacyHubInfoMap.remove(handle) > 0;
        }
        if (wasTavio) {
            retireSessionsOf(hub);
            Q_EMIT tavioHubDisconnected(handle);
        }
        if (wasLegacy) {
            retireSessionsOf(hub);
            if (discoveryGoesOn())
                Q_EMIT legacyHubDisconnected(handle);
        }
        if (hub && hub->isConnected()) {
            hub->setConnected(false);
            if (discoveryGoesOn())
                notifyHub(hub, false);
        }
    }

    // Receivers seen for the first time.
    for (int i = 0; i < count; ++i) {
        if (!discoveryGoesOn())
            return;
        BoardDeviceInfo record;
        if (!wrapper->enumDeviceInfo(i, &record))
            continue;
        const int handle = record.handle();
        if (hubForHandle(handle))
            continue;
        const int kind = record.kind();
        if (!isLegacyKind(kind) && !isTavioKind(kind))
            continue;
        Hub* hub = createHub(record);
        if (!hub)
            continue;
        wrapper->setCallback(handle, &TavioSystem::processPacketCallback, this);
        if (isLegacyKind(kind))
            wrapper->setXferMask(handle, LegacyXferMask);
        insertHub(handle, hub);
        if (isLegacyKind(kind))
            addLegacyHubInfo(handle, QString(), record.serial());
        else
            addTavioHubInfo(handle, QString(), record.serial(), hub->isVirtualHub(), false, false);
        hub->setConnected(true);
        if (!discoveryGoesOn())
            return;
        notifyHub(hub, true);
        if (!discoveryGoesOn())
            return;
        if (isLegacyKind(kind))
            Q_EMIT newLegacyHubConnected(handle);
        else
            Q_EMIT newTavioHubConnected(handle);
    }
}

bool TavioSystem::isValidTaviohubHandle(int handle) const
{
    std::shared_lock<std::shared_mutex> locker(d->hubsLock);
    return m_tavioHubInfoMap.contains(handle) && m_hubs.contains(handle);
}

bool TavioSystem::isValidLegacyhubHandle(int handle) const
{
    std::shared_lock<std::shared_mutex> locker(d->hubsLock);
    return m_legacyHubInfoMap.contains(handle) && m_hubs.contains(handle);
}

bool TavioSystem::getHubList(QList<Hub*>* list)
{
    if (!m_initialised) {
        recordError(Error_NotInitialised);
        return false;
    }
    if (!list)
        return false;
    list->clear();
    std::shared_lock<std::shared_mutex> locker(d->hubsLock);
    for (Hub* hub : std::as_const(m_hubs)) {
        if (hub && hub->isConnected())
            list->append(hub);
    }
    return true;
}

bool TavioSystem::getTavioHubInfoMap(QMap<int, HubDisplayInfo>& map) const
{
    std::shared_lock<std::shared_mutex> locker(d->hubsLock);
    map = m_tavioHubInfoMap;
    return true;
}

bool TavioSystem::getLegacyHubInfoMap(QMap<int, HubDisplayInfo>& map) const
{
    std::shared_lock<std::shared_mutex> locker(d->hubsLock);
    map = m_legacyHubInfoMap;
    return true;
}

namespace {
// The 2.4 GHz kinds list what the hub holds now, without asking the receiver.
bool readTavioDisplayList(
    Hub* hub, bool (TwoPointFourGHzHub::*read)(QList<Device*>*), QList<DeviceDisplayInfo>& list)
{
    auto* tavioHub = qobject_cast<TwoPointFourGHzHub*>(hub);
    QList<Device*> devices;
    if (!tavioHub || !(tavioHub->*read)(&devices))
        return false;
    appendDisplayInfo(devices, list);
    return true;
}

bool readLegacyDisplayList(Hub* hub, Device::Type type, QList<DeviceDisplayInfo>& list)
{
    QList<Device*> devices;
    if (!hub || !hub->getDeviceList(type, &devices))
        return false;
    appendDisplayInfo(devices, list);
    return true;
}
} // namespace

bool TavioSystem::getTavioVoteDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const
{
    list.clear();
    return isValidTaviohubHandle(handle)
        && readTavioDisplayList(hubForHandle(handle), &TwoPointFourGHzHub::readTavioteList, list);
}

bool TavioSystem::getTavioExpressionDisplayInfoList(
    int handle, QList<DeviceDisplayInfo>& list) const
{
    list.clear();
    return isValidTaviohubHandle(handle)
        && readTavioDisplayList(
            hubForHandle(handle), &TwoPointFourGHzHub::readTavioexpressionList, list);
}

bool TavioSystem::getTavioSlateDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const
{
    list.clear();
    return isValidTaviohubHandle(handle)
        && readTavioDisplayList(
            hubForHandle(handle), &TwoPointFourGHzHub::readTavioSlateList, list);
}

bool TavioSystem::getLegacyVoteDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const
{
    list.clear();
    return isValidLegacyhubHandle(handle)
        && readLegacyDisplayList(hubForHandle(handle), Device::Type_LegacyVote, list);
}

bool TavioSystem::getLegacySlateDisplayInfoList(int handle, QList<DeviceDisplayInfo>& list) const
{
    list.clear();
    return isValidLegacyhubHandle(handle)
        && readLegacyDisplayList(hubForHandle(handle), Device::Type_LegacySlate, list);
}

} // namespace Taviosystem
