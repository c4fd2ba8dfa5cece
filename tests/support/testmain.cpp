// The test programs' main: a QCoreApplication for events and timers, settings of their own,
// then GoogleTest.

#include "classroomsettings.h"

#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Nothing a test writes or reads reaches the user's own settings.
    TavioTest::isolateUserSettings();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
