#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QString>

namespace Taviosystem {

// What the host may show of a connected hub without touching the hub object.
struct TAVIOSYSTEM_EXPORT HubDisplayInfo
{
    QString name; // empty for receivers; the hub's own name for the virtual server hubs
    quint64 uid = 0;
    bool isVirtualHub = false;
    bool isRondel2Hub = false;
    bool isTessalyHub = false;
};

} // namespace Taviosystem
