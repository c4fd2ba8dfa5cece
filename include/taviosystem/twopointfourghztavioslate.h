#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A TavioSlate tablet registered on a 2.4 GHz hub. Owned by its hub.
*/
class TAVIOSYSTEM_EXPORT TwoPointFourGHzTavioSlate : public Device
{
    Q_OBJECT
public:
    /*! Makes a tablet of \a hub; hubs make their devices, hosts do not. */
    TwoPointFourGHzTavioSlate(Hub* hub, unsigned int uid, unsigned short address,
        const QString& name, const QByteArray& deviceIdentifier);

    /*! The device's name, as the hub last reported it. */
    QString name() const override { return m_name; }
    /*! Device::Type_Slate. */
    Type type() const override { return Type_Slate; }
    /*! True for Device::Type_Slate. */
    bool isType(Type type) const override { return type == Type_Slate; }
    /*! The 12 hexadecimal characters the hub's text commands name the device by. */
    QByteArray deviceIdentifier() const { return m_deviceIdentifier; }

private:
    QString m_name;
    QByteArray m_deviceIdentifier;
};

} // namespace Taviosystem
