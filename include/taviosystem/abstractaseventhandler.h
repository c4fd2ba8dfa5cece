#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QByteArray>

namespace Taviosystem {

/*!
    Receives events from the system's event queue (TavioSystem::asPostEvent()).

    Hubs and session handlers implement it; a host only needs it to post its own work to the
    event thread.
*/
class TAVIOSYSTEM_EXPORT AbstractAsEventHandler
{
public:
    /*!
        Handles one event, on the event thread, in posting order.
        \param type what the event asks for.
        \param data the packet of a packet event; empty otherwise.
    */
    virtual void handleAsEvent(EventType type, const QByteArray& data) = 0;
    /*! Destroys the handler. Remove its pending events first (TavioSystem::removeEvents()). */
    virtual ~AbstractAsEventHandler();
};

} // namespace Taviosystem
