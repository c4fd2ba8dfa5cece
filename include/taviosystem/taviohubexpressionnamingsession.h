#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>

#include <atomic>
#include <QtCore/QString>

namespace Taviosystem {

class Hub;
class TaviohubExpressionNamingSessionImpl;

// The teacher names TavioExpression devices registered on one 2.4 GHz hub. Made and owned by
// TavioSystem.
class TAVIOSYSTEM_EXPORT TaviohubExpressionNamingSession : public QObject
{
    Q_OBJECT
public:
    typedef void (*NamedCallback)(Hub*, const QString& name, unsigned int uid, void* context);

    ~TaviohubExpressionNamingSession() override;

    bool startExpressionNamingSession() const;
    // True when the device confirmed it received the name.
    bool nameExpression(unsigned int uid, const QString& name) const;
    bool stopExpressionNamingSession() const;
    void setCallback(NamedCallback callback, void* context) const;

Q_SIGNALS:
    void expressionDeviceNamed(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubExpressionNamingSession(TaviohubExpressionNamingSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubExpressionNamingSessionImpl*> m_impl;
};

} // namespace Taviosystem
