#include <taviosystem/enhancedgenericsession.h>

#include <taviosystem/hub.h>

#include <QtCore/QMutexLocker>

namespace Taviosystem {

EnhancedGenericSession::EnhancedGenericSession(Hub* hub, QObject* parent)
    : QObject(parent)
    , m_hub(hub)
{
    qRegisterMetaType<EnhancedGenericSession*>("Taviosystem::EnhancedGenericSession*");
}

EnhancedGenericSession::~EnhancedGenericSession() = default;

bool EnhancedGenericSession::startSession()
{
    if (!m_active && m_hub)
        m_active = m_hub->startEnhancedGenericSession(
            &EnhancedGenericSession::responseCallback, nullptr);
    return m_active;
}

bool EnhancedGenericSession::stopSession()
{
    if (!m_active || !m_hub)
        return false;
    const bool stopped = m_hub->stopSession();
    if (stopped)
        m_active = false;
    return stopped;
}

bool EnhancedGenericSession::isActive() const { return m_active; }

bool EnhancedGenericSession::sendAsyncMessage(quint32 uid, const QByteArray& message)
{
    return m_hub && m_hub->sendGenericAsyncMessage(uid, message);
}

void EnhancedGenericSession::setApplicationFileList(const QList<ApplicationFileInfo>& files)
{
    if (m_hub)
        m_hub->setApplicationFileList(files);
}

void EnhancedGenericSession::setDeviceMessageReceivedCallback(
    DeviceMessageReceivedCallback callback, void* context)
{
    QMutexLocker locker(&m_callbackMutex);
    m_deviceMessageCallback = callback;
    m_callbackContext = context;
}

Hub* EnhancedGenericSession::getHub() const { return m_hub; }

// The context the hub passes back is the null one given at start: the session is found through
// the hub instead, so one plain function serves every hub.
void EnhancedGenericSession::responseCallback(
    Hub* pHub, unsigned int uid, const QByteArray& message, void*, bool)
{
    EnhancedGenericSession* session = pHub ? pHub->getEnhancedGenericSession() : nullptr;
    if (session)
        session->deliverDeviceMessage(uid, message);
}

void EnhancedGenericSession::deliverDeviceMessage(quint32 uid, const QByteArray& message)
{
    DeviceMessageReceivedCallback callback;
    void* context;
    {
        QMutexLocker locker(&m_callbackMutex);
        callback = m_deviceMessageCallback;
        context = m_callbackContext;
    }
    // No lock of ours is held here: the host may set another callback from inside this one.
    if (callback)
        callback(this, uid, message, context);
    else
        Q_EMIT deviceMessageReceived(this, uid, message);
}

} // namespace Taviosystem
