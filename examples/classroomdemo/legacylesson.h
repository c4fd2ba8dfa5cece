// The lesson on a legacy radio hub (USB or serial): its radio settings, the class registering
// live, two slates joining by PIN, a voter test, a vote with its histogram, a pen stroke on the
// board, and the hub unplugged and plugged in again, after which the class is read back from the
// settings file. A second run with the same store folder finds the class there and skips
// registration.
#pragma once

#include <QtCore/QString>
#include <QtCore/QTextStream>

#include <cstdint>
#include <functional>

namespace ClassroomDemo {

struct LegacyLessonOptions
{
    bool serial = false; // the framing: USB (false) or serial
    QString storeDir; // where the settings file goes; empty: a temporary folder
    int classSize = 30; // voters, at most 60
    std::uint32_t seed = 1;
    bool interactive = false;
};

// Waits, processing events, until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// Runs the whole lesson against the emulator and answers the exit code: 0 when it went as
// planned, 1 when something failed.
int runLegacyLesson(const LegacyLessonOptions& options, QTextStream& out);

} // namespace ClassroomDemo
