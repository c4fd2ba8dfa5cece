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

} // namespace Taviosystem
