#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A TavioExpression answer device registered on a 2.4 GHz hub, of either generation. Owned by
    its hub.
*/
class TAVIOSYSTEM_EXPORT TwoPointFourGHzTavioexpression : public Device
{
    Q_OBJECT
public:
    /*! Makes an answer device of \a hub; hubs make their devices, hosts do not. */
    TwoPointFourGHzTavioexpression(Hub* hub, unsigned int uid, unsigned short address,
        const QString& name, const QByteArray& deviceIdentifier, SubType subType);

    /*! The device's name, as the hub last reported it. */
    QString name() const override { return m_name; }
    /*! Device::Type_Expression. */
    Type type() const override { return Type_Expression; }
    /*! True for Device::Type_Expression. */
    bool isType(Type type) const override { return type == Type_Expression; }
    /*!
        As its registration record says: SubType_ExpressionV2 for the second generation,
        SubType_Expression for the first, SubType_None for a pen expression.
    */
    SubType subType() const override { return m_subType; }
    /*! The 12 hexadecimal characters the hub's text commands name the device by. */
    QByteArray deviceIdentifier() const { return m_deviceIdentifier; }

private:
    QString m_name;
    QByteArray m_deviceIdentifier;
    SubType m_subType;
};

} // namespace Taviosystem
