#pragma once

#include <QtCore/QLoggingCategory>

namespace Taviosystem {

// The cloud hub's own diagnostics ("taviosystem.tessaly"), off unless a host enables the
// category's debug level (for example QT_LOGGING_RULES="taviosystem.tessaly.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcTessaly)

} // namespace Taviosystem
