#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A pen expression device on a 2.4 GHz hub's pen expression list. Owned by its hub.
*/
class TAVIOSYSTEM_EXPORT PenExpression : public Device
{
    Q_OBJECT
public:
    /*! Makes a pen expression of \a hub; hubs make their devices, hosts do not. */
    PenExpression(Hub* hub, unsigned int uid, unsigned short address, const QString& name,
        const QByteArray& deviceIdentifier);

    /*! The device's name. */
    QString name() const override { return m_name; }
    /*! Device::Type_PenExpression. */
    Type type() const override { return Type_PenExpression; }
    /*! True for Device::Type_PenExpression. */
    bool isType(Type type) const override { return type == Type_PenExpression; }
    /*! The 12 hexadecimal characters the hub's text commands name the device by. */
    QByteArray deviceIdentifier() const { return m_deviceIdentifier; }

private:
    QString m_name;
    QByteArray m_deviceIdentifier;
};

} // namespace Taviosystem
