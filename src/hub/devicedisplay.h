#pragma once

#include <taviosystem/device.h>
#include <taviosystem/devicedisplayinfo.h>

#include <QtCore/QList>

namespace Taviosystem {

// The host's copy of each device: name, uid and sub-type, with an empty text.
inline void appendDisplayInfo(const QList<Device*>& devices, QList<DeviceDisplayInfo>& list)
{
    list.reserve(list.size() + devices.size());
    for (const Device* device : devices) {
        DeviceDisplayInfo info;
        info.name = device->name();
        info.uid = device->uid();
        info.subType = device->subType();
        list.append(info);
    }
}

} // namespace Taviosystem
