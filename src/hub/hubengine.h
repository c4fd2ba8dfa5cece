#pragma once

// The command-and-reply engine's templates. Included by the hub classes' sources only.

#include "responsehandler.h"

#include <taviosystem/hub.h>

#include <typeinfo>

namespace Taviosystem {

template <typename T>
void Hub::registerResponseHandler()
{
    insertResponseHandler(typeid(T).name(), new ResponseHandler<T>());
}

template <typename T>
void Hub::registerListResponseHandler(const QByteArray& listTerminator)
{
    insertResponseHandler(typeid(T).name(), new ListResponseHandler<T>(listTerminator));
}

template <typename T>
IResponseHandler* Hub::responseHandler() const
{
    return findResponseHandler(typeid(T).name());
}

template <typename T>
bool Hub::sendAndReceive(const QByteArray& command, T& reply, int timeoutMs)
{
    if (refuseOffWire())
        return false;
    IResponseHandler* handler = responseHandler<T>();
    if (!handler)
        return false;
    QList<QByteArray> packets;
    bool ok = runExchange(handler, command, nullptr, &packets, timeoutMs);
    if (ok) {
        // The handler only collects recognised packets; test again before decoding all the same.
        ok = !packets.isEmpty() && T::isResponse(packets.first());
        if (ok)
            reply = T(packets.first());
    }
    if (!ok)
        recordError(Error_CommsFailure);
    return ok;
}

template <typename T>
bool Hub::sendAndCollect(const QByteArray& command, QList<QByteArray>& packets, int timeoutMs)
{
    packets.clear();
    if (refuseOffWire())
        return false;
    IResponseHandler* handler = responseHandler<T>();
    if (!handler || handler->endOfList().isEmpty())
        return false;
    const QByteArray endMarker = handler->endOfList();
    const bool ok = runExchange(handler, command, &endMarker, &packets, timeoutMs);
    if (!ok)
        recordError(Error_CommsFailure);
    return ok;
}

} // namespace Taviosystem
