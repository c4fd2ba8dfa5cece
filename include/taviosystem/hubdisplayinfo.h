#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QString>

namespace Taviosystem {

/*!
    What the host may show of a connected hub without touching the hub object.

    A plain copy, filled by TavioSystem::getTavioHubInfoMap() and
    TavioSystem::getLegacyHubInfoMap().
*/
struct TAVIOSYSTEM_EXPORT HubDisplayInfo
{
    QString name; //!< Empty for receivers; the hub's own name for the virtual server hubs.
    quint64 uid = 0; //!< The hub's serial number.
    bool isVirtualHub = false; //!< A software hub rather than a radio receiver.
    bool isRondel2Hub = false; //!< The classroom-server hub.
    bool isTessalyHub = false; //!< The cloud classroom hub.
};

} // namespace Taviosystem
