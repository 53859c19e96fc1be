#include "stop_on_fatal_failure.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <ctime>

int main(int argc, char **argv)
{
    // A zone with daylight saving: date-times must never pass through the machine's zone.
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelldrake-engine-tests"));
    // Qt's configuration and data locations point below a test directory, never the user's own.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    pelldrake::test::StopOnFatalFailure::install();
    return RUN_ALL_TESTS();
}
