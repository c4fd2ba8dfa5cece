#include <taviosystem/device.h>

namespace Taviosystem {

Device::Device(Hub* hub, unsigned int uid, unsigned short address)
    : m_uid(uid)
    , m_hub(hub)
    , m_connected(true)
    , m_address(address)
{
    qRegisterMetaType<Device::SubType>("Taviosystem::Device::SubType");
}

void Device::setConnected(bool connected)
{
    if (connected == m_connected)
        return;
    m_connected = connected;
    if (connected)
        Q_EMIT this->connected(this);
    else
        Q_EMIT disconnected(this);
}

QString Device::name() const { return QString(); }
Device::SubType Device::subType() const { return SubType_None; }
bool Device::enableRemoteControl() { return false; }
bool Device::disableRemoteControl() { return false; }

} // namespace Taviosystem
