#pragma once

#include "hubresponse.h"

namespace Taviosystem {

// A board's answer to the touch status query: 08 A5, four reserved bytes, status, touches.
class TouchStatusResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 8;

    TouchStatusResponse() = default;
    explicit TouchStatusResponse(const QByteArray& packet);

    static bool isResponse(const QByteArray& packet);

    quint8 reserved[4] = {};
    quint8 status = 0;
    quint8 touchCount = 0;
};

} // namespace Taviosystem
