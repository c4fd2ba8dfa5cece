#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

// A radio slate registered on a legacy hub: its uid is the slate id (1 to 63), its name the PIN
// text it registered with.
class TAVIOSYSTEM_EXPORT Legacyslate : public Device
{
    Q_OBJECT
public:
    Legacyslate(Hub* hub, quint8 slateId, const QString& pin);

    QString name() const override { return m_pin; }
    Type type() const override { return Type_LegacySlate; }
    bool isType(Type type) const override { return type == Type_LegacySlate; }
    quint8 slateId() const { return quint8(uid()); }
    QString pin() const { return m_pin; }

private:
    QString m_pin;
};

} // namespace Taviosystem
