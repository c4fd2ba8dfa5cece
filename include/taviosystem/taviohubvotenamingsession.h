#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>

#include <atomic>
#include <QtCore/QString>

namespace Taviosystem {

class Hub;
class TaviohubTavioteNamingSessionImpl;

// The teacher names Taviote voters registered on one 2.4 GHz hub. Made and owned by TavioSystem.
class TAVIOSYSTEM_EXPORT TaviohubVoteNamingSession : public QObject
{
    Q_OBJECT
public:
    typedef void (*NamedCallback)(Hub*, const QString& name, unsigned int uid, void* context);

    ~TaviohubVoteNamingSession() override;

    bool startTavioteNamingSession() const;
    bool nameTaviote(unsigned int uid, const QString& name) const;
    bool stopTavioteNamingSession() const;
    // With a callback set (even a null one) the signal is no longer emitted.
    void setCallback(NamedCallback callback, void* context) const;

Q_SIGNALS:
    void tavioteDeviceNamed(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubVoteNamingSession(TaviohubTavioteNamingSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubTavioteNamingSessionImpl*> m_impl;
};

} // namespace Taviosystem
