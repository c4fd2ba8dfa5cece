#pragma once

#include <taviosystem/hub.h>

namespace Taviosystem {

// What the hub last knew of one pen.
struct PenState
{
    unsigned char penId = 0;
    Hub::PenType penType = Hub::PenType_0;
    int mode = 0; // kept for layout; nothing reads it
    Hub::PenHardwareMode penHardwareMode = Hub::PenHardwareMode(0); // 0 as created, never updated
    bool tipPressed = false;
    bool barrelPressed = false;
};

} // namespace Taviosystem
