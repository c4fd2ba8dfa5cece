#include "taviosystem_p.h"

#include "abstracthardwarewrapper.h"
#include "boarddeviceinfo.h"
#include "enumkey.h"
#include "taviowrapper.h"

#include <taviosystem/hub.h>
#include <taviosystem/tessalycontroller.h>
#include <taviosystem/virtualrondel2hub.h>

namespace Taviosystem {

namespace {
// 2.2.16: major in bits 16 and up, minor in bits 8 to 15, patch in bits 0 to 7.
const int LibraryVersion = 0x00020210;
// Driver versions below this major number put a 1 between the major and minor numbers.
const int DriverVersionInsertedOneBelow = 6;
const unsigned char PacketPrefix_Byte = 0x41;
const int PacketPrefix_Length = 3;

// Every run of decimal digits in the text, left to right.
QList<int> decimalRuns(const QString& text)
{
    QList<int> numbers;
    int i = 0;
    const int size = int(text.size());
    while (i < size) {
        if (!text.at(i).isDigit() || text.at(i).unicode() > 0x7F) {
            ++i;
            continue;
        }
        qint64 value = 0;
        while (i < size && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9') {
            if (value < 0x7FFFFFFF)
                value = qMin<qint64>(value * 10 + (text.at(i).unicode() - '0'), 0x7FFFFFFF);
            ++i;
        }
        numbers.append(int(value));
    }
    return numbers;
}
} // namespace

AbstractAsEventHandler::~AbstractAsEventHandler() = default;

TavioSystem& TavioSystem::instance()
{
    static TavioSystem system;
    return system;
}

TavioSystem::TavioSystem()
    : d(new Private)
{
    d->libraryName = QString::fromLatin1(TavioWrapper::DefaultLibraryName);
    qRegisterMetaType<HubHandle_t>("Taviosystem::HubHandle_t");
    qRegisterMetaType<Hub*>("Taviosystem::Hub*");
}

TavioSystem::~TavioSystem()
{
    if (m_initialised)
        shutdown();
    stopEventThread();
    if (d->eventThread.joinable())
        d->eventThread.join();
    releaseRetired();
    releaseHostSessions();
    delete m_wrapper;
    m_wrapper = nullptr;
    delete d;
}

QString TavioSystem::errorAsString(Error error) { return errorKey(staticMetaObject, error); }

int TavioSystem::getLibraryVersion() { return LibraryVersion; }

void TavioSystem::recordError(Error error) { m_lastError = error; }

void TavioSystem::setHardwareLibraryName(const QString& name) { d->libraryName = name; }

QString TavioSystem::hardwareLibraryName() const { return d->libraryName; }

AbstractHardwareWrapper* TavioSystem::createWrapper() { return new TavioWrapper(d->libraryName); }

// Life cycle -------------------------------------------------------------------------------------

bool TavioSystem::initialise()
{
    if (m_initialised)
        return true;
    startEventThread();
    if (!initialiseTavioWrapper())
        return false;
    m_wrapper->setPnpCallback(&TavioSystem::pnpCallback, this);
    m_initialised = true;
    {
        std::lock_guard<std::mutex> locker(d->sessionsLock);
        m_currentSession = 0;
    }
    updateHubs();
    return true;
}

bool TavioSystem::initialiseTavioWrapper()
{
    {
        std::unique_lock<std::shared_mutex> locker(d->wrapperLock);
        // A library that failed to load is tried again, under the name now set.
        auto* tavioWrapper = dynamic_cast<TavioWrapper*>(m_wrapper);
        if (tavioWrapper && !tavioWrapper->isLoaded()
            && tavioWrapper->libraryName() != d->libraryName) {
            delete m_wrapper;
            m_wrapper = nullptr;
        }
        if (!m_wrapper)
            m_wrapper = createWrapper();
    }
    if (m_wrapper && !m_wrapper->isLoaded())
        m_wrapper->load();
    if (m_wrapper && m_wrapper->isLoaded())
        return true;
    recordError(Error_DriverNotInstalled);
    return false;
}

bool TavioSystem::isDriverInstalled() { return initialiseTavioWrapper(); }

bool TavioSystem::shutdown()
{
    if (!m_initialised)
        return true;

    stopEventThread();
    bool threadEnded = false;
    if (std::this_thread::get_id() != d->eventThread.get_id()) {
        std::unique_lock<std::mutex> locker(d->endMutex);
        threadEnded = d->endCondition.wait_for(locker,
            std::chrono::milliseconds(EventThreadStopTime), [this] { return d->eventThreadEnded; });
    }
    if (threadEnded && d->eventThread.joinable())
        d->eventThread.join();

    // A discovery pass still running sees the stop and ends at its next step; once it has, none
    // can tell the host anything more. (Recursive: the host may be shutting down from inside a
    // pass's notification.)
    std::unique_lock<std::recursive_timed_mutex> passLocker(d->updateMutex, std::defer_lock);
    passLocker.try_lock_for(std::chrono::milliseconds(MutexTryLockTime));
    m_initialised = false;

    // Sessions the host still holds outlive their hubs: from now on their calls fail.
    retireAllSessions();

    QMap<int, Hub*> hubs;
    {
        std::unique_lock<std::shared_mutex> locker(d->hubsLock);
        hubs.swap(m_hubs);
        m_tavioHubInfoMap.clear();
        m_legacyHubInfoMap.clear();
        // Freed with the other hubs; a later sign-in makes a new one.
        d->tessalyHub = nullptr;
        // The classroom-server hub goes with the others, listed or not; the next initialise()
        // makes it again.
        if (m_rondel2Hub && !hubs.values().contains(m_rondel2Hub))
            d->retiredHubs.append(m_rondel2Hub);
        m_rondel2Hub = nullptr;
    }
    // The packet callbacks go first: once cleared, no packet thread can reach a hub.
    for (auto it = hubs.cbegin(); it != hubs.cend(); ++it) {
        if (m_wrapper)
            m_wrapper->clearCallback(it.key(), &TavioSystem::processPacketCallback, this);
        std::unique_lock<std::shared_mutex> locker(d->hubsLock);
        d->retiredHubs.append(it.value());
    }

    AbstractHardwareWrapper* wrapper = nullptr;
    {
        std::unique_lock<std::shared_mutex> locker(d->wrapperLock);
        wrapper = m_wrapper;
        m_wrapper = nullptr;
    }
    if (wrapper) {
        wrapper->clearPnpCallback(&TavioSystem::pnpCallback, this);
        // The one detach of this wrapper's attachments: a wrapper freed later, after another
        // has attached, must not release the library again.
        wrapper->detach();
        std::unique_lock<std::shared_mutex> locker(d->hubsLock);
        d->retiredWrappers.append(wrapper);
    }
    // With the event thread gone nothing else can be using the hubs, the wrapper or the parked
    // sessions; otherwise they wait for the next initialise() to join it.
    if (threadEnded)
        releaseRetired();
    TessalyController::instance().deletePresenters();
    // The stop flag stays set until the event thread has really ended; the next initialise()
    // joins it and starts afresh.
    return true;
}

void TavioSystem::releaseRetired()
{
    QList<Hub*> hubs;
    QList<AbstractHardwareWrapper*> wrappers;
    {
        std::unique_lock<std::shared_mutex> locker(d->hubsLock);
        hubs.swap(d->retiredHubs);
        wrappers.swap(d->retiredWrappers);
    }
    std::vector<std::unique_ptr<void, void (*)(void*)>> parked;
    {
        std::lock_guard<std::mutex> locker(d->sessionsLock);
        parked.swap(d->parkedSessionObjects);
    }
    parked.clear();
    qDeleteAll(hubs);
    qDeleteAll(wrappers);
}

bool TavioSystem::getDriverVersion(int* major, int* minor, int* build)
{
    if (!initialiseTavioWrapper() || m_wrapper->getDeviceCount() == 0)
        return false;
    BoardDeviceInfo record;
    if (!m_wrapper->enumDeviceInfo(0, &record))
        return false;
    const QList<int> numbers = decimalRuns(record.driverVersion());
    if (numbers.isEmpty())
        return false;
    // Old drivers write major.1.minor.build.
    const bool insertedOne = numbers.size() >= 2 && numbers.at(0) < DriverVersionInsertedOneBelow
        && numbers.at(1) == 1;
    const int minorIndex = insertedOne ? 2 : 1;
    if (numbers.size() <= minorIndex + 1)
        return false;
    if (major)
        *major = numbers.at(0);
    if (minor)
        *minor = numbers.at(minorIndex);
    if (build)
        *build = numbers.at(minorIndex + 1);
    return true;
}

void TavioSystem::setHubConnectedCallback(HubConnectedCallback callback, void* context)
{
    m_hubConnectedCallback = callback;
    m_hubConnectedContext = context;
}

// The driver lock is held across whole list reads, during which the wrapper lock is taken for
// every write: take the driver lock with the wrapper lock released, so the two are never
// nested the other way round.
void TavioSystem::lockDriver()
{
    AbstractHardwareWrapper* wrapper = nullptr;
    {
        std::shared_lock<std::shared_mutex> locker(d->wrapperLock);
        wrapper = m_wrapper;
    }
    if (wrapper)
        wrapper->lock();
}

void TavioSystem::unlockDriver()
{
    AbstractHardwareWrapper* wrapper = nullptr;
    {
        std::shared_lock<std::shared_mutex> locker(d->wrapperLock);
        wrapper = m_wrapper;
    }
    if (wrapper)
        wrapper->unlock();
}

// Writing and board settings ---------------------------------------------------------------------

bool TavioSystem::sendCommand(Hub* hub, const QByteArray& bytes)
{
    if (!m_initialised || !hub) {
        recordError(Error_NotInitialised);
        return false;
    }
    int written = -1;
    {
        std::shared_lock<std::shared_mutex> locker(d->wrapperLock);
        if (!m_wrapper) {
            recordError(Error_NotInitialised);
            return false;
        }
        written = m_wrapper->writePacket(hub->handle(), bytes.constData(), int(bytes.size()));
    }
    if (written == -1) {
        recordError(Error_BadPacketWrite);
        return false;
    }
    return true;
}

// The board-setting forwarders answer the wrapper's defaults when there is no library.
#define TAVIO_WITH_WRAPPER(hub, fallback)                                                          \
    std::shared_lock<std::shared_mutex> locker(d->wrapperLock);                                    \
    if (!m_wrapper || !(hub))                                                                      \
        return fallback;

void TavioSystem::setTouchSystemRedirectionEnabled(Hub* hub, bool enabled)
{
    TAVIO_WITH_WRAPPER(hub, )
    m_wrapper->setTouchSystemRedirectionEnabled(hub->handle(), enabled);
}

bool TavioSystem::getTouchSystemRedirectionEnabled(Hub* hub)
{
    TAVIO_WITH_WRAPPER(hub, true)
    return m_wrapper->getTouchSystemRedirectionEnabled(hub->handle());
}

void TavioSystem::setLATEDetection(Hub* hub, bool enabled)
{
    TAVIO_WITH_WRAPPER(hub, )
    m_wrapper->setLATEDetection(hub->handle(), enabled ? 1 : 0);
}

bool TavioSystem::getLATEDetection(Hub* hub)
{
    TAVIO_WITH_WRAPPER(hub, true)
    return m_wrapper->getLATEDetection(hub->handle()) != 0;
}

void TavioSystem::setPenMode(Hub* hub, unsigned char mode)
{
    TAVIO_WITH_WRAPPER(hub, )
    m_wrapper->setHIDCoordinateReportMode(hub->handle(), mode);
}

unsigned char TavioSystem::getPenMode(Hub* hub)
{
    TAVIO_WITH_WRAPPER(hub, 0)
    return m_wrapper->getHIDCoordinateReportMode(hub->handle());
}

void TavioSystem::setPenReportMode(Hub* hub, unsigned char pen, bool flag, unsigned char mode)
{
    TAVIO_WITH_WRAPPER(hub, )
    m_wrapper->setPointingDeviceDestination(hub->handle(), pen, flag, mode);
}

void TavioSystem::getPenReportMode(Hub* hub, unsigned char pen, unsigned char* mode)
{
    TAVIO_WITH_WRAPPER(hub, )
    const unsigned char value = m_wrapper->getPointingDeviceDestination(hub->handle(), pen, 0);
    if (mode)
        *mode = value;
}

void TavioSystem::setTouchReportMode(Hub* hub, unsigned char mode)
{
    TAVIO_WITH_WRAPPER(hub, )
    m_wrapper->setTouchDestination(hub->handle(), mode);
}

void TavioSystem::getTouchReportMode(Hub* hub, unsigned char* mode)
{
    TAVIO_WITH_WRAPPER(hub, )
    const unsigned char value = m_wrapper->getTouchDestination(hub->handle());
    if (mode)
        *mode = value;
}

bool TavioSystem::sendTouchInfoToOS(Hub* hub, const unsigned char* data, unsigned char length)
{
    TAVIO_WITH_WRAPPER(hub, true)
    m_wrapper->sendTouchPacketToSystem(hub->handle(), data, length);
    return true;
}

#undef TAVIO_WITH_WRAPPER

// Board library callbacks ------------------------------------------------------------------------

// Runs on a board library packet thread. The hub gets its own copy of the bytes: the library's
// are valid only during this call, and a hub may keep or queue what it is given.
void TavioSystem::processPacketCallback(
    int handle, const unsigned char* data, unsigned int length, void* context)
{
    auto* self = static_cast<TavioSystem*>(context);
    if (!self || !data || length > unsigned(INT_MAX))
        return;
    Hub* hub = self->hubForHandle(handle);
    if (!hub)
        return;
    if (length >= unsigned(PacketPrefix_Length) && data[1] == PacketPrefix_Byte) {
        data += PacketPrefix_Length;
        length -= PacketPrefix_Length;
    }
    const QByteArray packet(reinterpret_cast<const char*>(data), int(length));
    hub->processPacket(packet);
}

// Runs on the board library's plug-and-play thread (or a virtual hub's): attach again so the
// library rescans, and leave the rest to the event thread.
void TavioSystem::pnpCallback(void* context)
{
    auto* self = static_cast<TavioSystem*>(context);
    if (!self)
        return;
    {
        std::shared_lock<std::shared_mutex> locker(self->d->wrapperLock);
        if (self->m_wrapper)
            self->m_wrapper->load();
    }
    AsEvent event;
    event.type = EventType_HubsChanged;
    self->asPostEvent(event);
}

} // namespace Taviosystem
