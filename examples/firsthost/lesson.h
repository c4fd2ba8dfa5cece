#pragma once

#include <QtCore/QList>

namespace Taviosystem {
class Hub;
class TavioSystem;
}

// Runs a short lesson on the first 2.4 GHz hub of the list: registration, one question, maths.
void runLesson(Taviosystem::TavioSystem& system, const QList<Taviosystem::Hub*>& hubs);
