#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>

#include <atomic>
#include <QtCore/QString>

namespace Taviosystem {

class TaviohubSlateNamingSessionImpl;

// The teacher names TavioSlate tablets registered on one 2.4 GHz hub. Made and owned by
// TavioSystem.
class TAVIOSYSTEM_EXPORT TaviohubSlateNamingSession : public QObject
{
    Q_OBJECT
public:
    ~TaviohubSlateNamingSession() override;

    bool nameSlate(unsigned int uid, const QString& name) const;
    bool stopSlateNamingSession() const;

Q_SIGNALS:
    void slateDeviceNamed(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubSlateNamingSession(TaviohubSlateNamingSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubSlateNamingSessionImpl*> m_impl;
};

} // namespace Taviosystem
