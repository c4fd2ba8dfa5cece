#pragma once

#include <taviosystem/device.h>

#include <QtCore/QString>

namespace Taviosystem {

// The host's copy of a learner device's name, uid and sub-type.
struct TAVIOSYSTEM_EXPORT DeviceDisplayInfo
{
    QString name;
    quint32 uid = 0;
    Device::SubType subType = Device::SubType_None;
    QString text; // always empty
};

} // namespace Taviosystem
