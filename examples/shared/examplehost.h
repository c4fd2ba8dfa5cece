#pragma once

// What the small example hosts share: starting the system, and letting the host's event loop run
// while learners act.

#include <taviosystem/taviosystem.h>

#include <QtCore/QDebug>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

namespace ExampleHost {

// Initialises the system; prints why when it cannot.
inline bool initialise(Taviosystem::TavioSystem& system)
{
    if (system.initialise())
        return true;
    qWarning() << Taviosystem::TavioSystem::errorAsString(system.getLastError());
    return false;
}

// Runs the event loop for a while: hubs and sessions deliver queued signals meanwhile.
inline void waitSeconds(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace ExampleHost
