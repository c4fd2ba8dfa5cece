#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

// A TavioSlate tablet registered on a 2.4 GHz hub.
class TAVIOSYSTEM_EXPORT TwoPointFourGHzTavioSlate : public Device
{
    Q_OBJECT
public:
    TwoPointFourGHzTavioSlate(Hub* hub, unsigned int uid, unsigned short address,
        const QString& name, const QByteArray& deviceIdentifier);

    QString name() const override { return m_name; }
    Type type() const override { return Type_Slate; }
    bool isType(Type type) const override { return type == Type_Slate; }
    // The 12 hexadecimal characters the hub's text commands name the device by.
    QByteArray deviceIdentifier() const { return m_deviceIdentifier; }

private:
    QString m_name;
    QByteArray m_deviceIdentifier;
};

} // namespace Taviosystem
