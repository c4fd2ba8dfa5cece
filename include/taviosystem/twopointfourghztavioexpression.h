#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

// A TavioExpression answer device registered on a 2.4 GHz hub, of either generation.
class TAVIOSYSTEM_EXPORT TwoPointFourGHzTavioexpression : public Device
{
    Q_OBJECT
public:
    TwoPointFourGHzTavioexpression(Hub* hub, unsigned int uid, unsigned short address,
        const QString& name, const QByteArray& deviceIdentifier, SubType subType);

    QString name() const override { return m_name; }
    Type type() const override { return Type_Expression; }
    bool isType(Type type) const override { return type == Type_Expression; }
    // As its registration record says: SubType_ExpressionV2 for the second generation,
    // SubType_Expression for the first, SubType_None for a pen expression.
    SubType subType() const override { return m_subType; }
    QByteArray deviceIdentifier() const { return m_deviceIdentifier; }

private:
    QString m_name;
    QByteArray m_deviceIdentifier;
    SubType m_subType;
};

} // namespace Taviosystem
