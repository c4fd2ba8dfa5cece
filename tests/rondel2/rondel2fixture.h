#pragma once

// A system with the classroom-server hub pointed at a reference classroom server on loopback,
// with short beacon and settings timings.

#include "support/classroomsettings.h"
#include "support/emulatorfixture.h"

#include <classroomserver.h>
#include <loopbackproxy.h>

#include <taviosystem/virtualrondel2hub.h>

#include <QtCore/QPointer>

#include <utility>

namespace TavioTest {

// Waits, processing events (the hub's replies come through this thread's event loop), until the
// server has recorded `count` requests of `method`.
bool waitForServerRequests(
    const ClassroomServer::Server& server, const QString& method, int count, int timeoutMs);

class Rondel2Test : public EmulatorTest
{
protected:
    static constexpr int TestBeaconRate = 40; // milliseconds
    static constexpr int TestRequestTimeout = 1500;
    static constexpr int TestSettingsDelay = 100;

    void SetUp() override;
    void TearDown() override;

    // Starts the system (with the hub at `url`, the server's by default) and waits until the
    // hub is listed.
    Taviosystem::VirtualRondel2Hub* startListed(const QString& url = QString());
    // The handle the classroom-server hub is listed under, -1 when it is not listed.
    int listedHandle() const;
    Taviosystem::HubDisplayInfo listedInfo() const;
    // Checks out a PIN, opens registration, waits for `count` devices and closes it.
    void registerDevices(Taviosystem::VirtualRondel2Hub* hub, int count);
    // The hub notifications the host got, in order.
    std::vector<std::pair<Taviosystem::Hub*, bool>> hubEvents() const
    {
        return m_hubEvents.values();
    }
    int countEvents(bool connected) const;

    ClassroomServer::Server server;
    Recorder<std::pair<Taviosystem::Hub*, bool>> m_hubEvents;
    Recorder<quint32> registered;
};

} // namespace TavioTest
