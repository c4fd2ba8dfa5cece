#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>

namespace Taviosystem {

// The 12 hexadecimal characters a 2.4 GHz device is named by in the hub's text commands; empty
// for a device of another kind (or none).
QByteArray deviceIdentifierOf(const Device* device);

} // namespace Taviosystem
