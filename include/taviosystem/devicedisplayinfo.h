#pragma once

#include <taviosystem/device.h>

#include <QtCore/QString>

namespace Taviosystem {

/*!
    The host's copy of a learner device's name, uid and sub-type.

    Filled by the system's and the sessions' display lists; it stays valid whatever happens to
    the device object it was copied from.
*/
struct TAVIOSYSTEM_EXPORT DeviceDisplayInfo
{
    QString name; //!< The device's name (a legacy slate's PIN text).
    quint32 uid = 0; //!< The device's uid, as answers report it.
    Device::SubType subType = Device::SubType_None; //!< The answer device generation.
    QString text; //!< Always empty.
};

} // namespace Taviosystem
