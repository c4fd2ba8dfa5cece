#pragma once

// The classroom-server hub's settings as tests see them: user-scope "Corvellan"/"Rondel2" in the
// folder the test redirected the user settings to.

#include <QtCore/QString>

namespace TavioTest {

// Writes the server address and hub name the hub reads at start-up.
void writeClassroomSettings(const QString& url, const QString& hubName = QString());
// Points the hub at a loopback port nobody listens on, so that a test that does not use it
// never waits for it: its calls are refused at once.
void pointClassroomServerAtClosedPort();
// Gives the test process settings folders of its own (never the user's).
void isolateUserSettings();

} // namespace TavioTest
