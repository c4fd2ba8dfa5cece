// The reference server's tests stand apart from the library's: a QCoreApplication for the Qt
// network client some of them use, then GoogleTest.

#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
