// The smallest host: initialise the system, hear of hubs as they come and go, run a short lesson
// on the first 2.4 GHz hub (lesson.cpp) and shut down. The regions between the //! markers are
// shown in the README and the API reference.

//! [start]
#include <taviosystem/hub.h>
#include <taviosystem/taviosystem.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>

#include "lesson.h"

using namespace Taviosystem;

void onHub(Hub* hub, bool connected, void* context)
{
    // Runs on the thread that discovered the hub: the caller of initialise(), or the
    // system's event thread after a receiver was plugged in or out.
    qInfo() << "hub" << hub->handle() << (connected ? "arrived" : "left");
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // hubs' timers run in the thread that owns the system
    TavioSystem& system = TavioSystem::instance();
    system.setHubConnectedCallback(&onHub, nullptr); // or connect to newHubConnected
    if (!system.initialise()) {
        qWarning() << TavioSystem::errorAsString(system.getLastError());
        return 1;
    }
    QList<Hub*> hubs;
    system.getHubList(&hubs);
    runLesson(system, hubs); // lesson.cpp
    system.shutdown();
}
//! [start]
