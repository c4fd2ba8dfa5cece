// The lesson in a cloud classroom: a loopback cloud service with a teacher and a class stands in
// for the real one. The teacher signs in, opens the class (its code is the PIN), learners join,
// each question becomes a cloud poll (a message question is only noted), a self-paced test runs
// as assessments, and the teacher signs out.
#pragma once

#include "questions.h"

#include <QtCore/QList>
#include <QtCore/QTextStream>

#include <cstdint>

namespace ClassroomDemo {

struct CloudLessonOptions
{
    int classSize = 30; // learners, at most 60
    std::uint32_t seed = 1;
    QList<Question> questions;
    bool selfPaced = true;
    int questionTimeoutMs = 5000; // how long each question waits for the class
};

// Runs the whole lesson and answers the exit code: 0 when it went as planned, 1 when something
// failed.
int runCloudLesson(const CloudLessonOptions& options, QTextStream& out);

} // namespace ClassroomDemo
