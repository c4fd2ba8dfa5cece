#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QByteArray>

namespace Taviosystem {

// Receives events from the system's event queue. handleAsEvent runs on the event thread.
class TAVIOSYSTEM_EXPORT AbstractAsEventHandler
{
public:
    virtual void handleAsEvent(EventType type, const QByteArray& data) = 0;
    virtual ~AbstractAsEventHandler();
};

} // namespace Taviosystem
