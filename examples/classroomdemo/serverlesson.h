// The lesson on a classroom-server hub: a reference classroom server on loopback stands in for
// the school's server, its class joining under the server's PIN, taking names, answering every
// question type and a self-paced test. With an outage the server goes away mid-question and
// comes back: a short one is ridden out, a long one is reported as "server lost" and "server
// back", and every answer is still counted once.
#pragma once

#include <QtCore/QString>
#include <QtCore/QTextStream>

#include <cstdint>

namespace ClassroomDemo {

struct ServerLessonOptions
{
    int classSize = 12; // learners, at most 60
    int outageMs = 0; // 0: no outage
    bool interactive = false;
};

// Runs the whole lesson; the exit code is 0 when every answer was counted once.
int runServerLesson(const ServerLessonOptions& options, QTextStream& out);

} // namespace ClassroomDemo
