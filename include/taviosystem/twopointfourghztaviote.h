#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A Taviote voter registered on a 2.4 GHz hub, or listed in the virtual votes file. Owned by
    its hub.
*/
class TAVIOSYSTEM_EXPORT TwoPointFourGHzTaviote : public Device
{
    Q_OBJECT
public:
    /*! Makes a voter of \a hub; hubs make their devices, hosts do not. */
    TwoPointFourGHzTaviote(Hub* hub, unsigned int uid, unsigned short address, const QString& name,
        const QByteArray& deviceIdentifier);

    /*! The device's name, as the hub last reported it. */
    QString name() const override { return m_name; }
    /*! Device::Type_Vote. */
    Type type() const override { return Type_Vote; }
    /*! True for Device::Type_Vote. */
    bool isType(Type type) const override { return type == Type_Vote; }
    /*! The 12 hexadecimal characters the hub's text commands name the device by. */
    QByteArray deviceIdentifier() const { return m_deviceIdentifier; }

private:
    QString m_name;
    QByteArray m_deviceIdentifier;
};

} // namespace Taviosystem
