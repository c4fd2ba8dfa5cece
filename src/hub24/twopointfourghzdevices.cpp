#include "twopointfourghzdevices.h"

#include <taviosystem/penexpression.h>
#include <taviosystem/twopointfourghztavioexpression.h>
#include <taviosystem/twopointfourghztavioslate.h>
#include <taviosystem/twopointfourghztaviote.h>

namespace Taviosystem {

TwoPointFourGHzTaviote::TwoPointFourGHzTaviote(Hub* hub, unsigned int uid, unsigned short address,
    const QString& name, const QByteArray& deviceIdentifier)
    : Device(hub, uid, address)
    , m_name(name)
    , m_deviceIdentifier(deviceIdentifier)
{
}

TwoPointFourGHzTavioSlate::TwoPointFourGHzTavioSlate(Hub* hub, unsigned int uid,
    unsigned short address, const QString& name, const QByteArray& deviceIdentifier)
    : Device(hub, uid, address)
    , m_name(name)
    , m_deviceIdentifier(deviceIdentifier)
{
}

PenExpression::PenExpression(Hub* hub, unsigned int uid, unsigned short address,
    const QString& name, const QByteArray& deviceIdentifier)
    : Device(hub, uid, address)
    , m_name(name)
    , m_deviceIdentifier(deviceIdentifier)
{
}

TwoPointFourGHzTavioexpression::TwoPointFourGHzTavioexpression(Hub* hub, unsigned int uid,
    unsigned short address, const QString& name, const QByteArray& deviceIdentifier,
    SubType subType)
    : Device(hub, uid, address)
    , m_name(name)
    , m_deviceIdentifier(deviceIdentifier)
    , m_subType(subType)
{
}

QByteArray deviceIdentifierOf(const Device* device)
{
    if (auto* taviote = qobject_cast<const TwoPointFourGHzTaviote*>(device))
        return taviote->deviceIdentifier();
    if (auto* expression = qobject_cast<const TwoPointFourGHzTavioexpression*>(device))
        return expression->deviceIdentifier();
    if (auto* slate = qobject_cast<const TwoPointFourGHzTavioSlate*>(device))
        return slate->deviceIdentifier();
    if (auto* pen = qobject_cast<const PenExpression*>(device))
        return pen->deviceIdentifier();
    return QByteArray();
}

} // namespace Taviosystem
