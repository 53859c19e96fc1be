#include "stop_on_fatal_failure.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelldrake-compare-tests"));
    // The default alias registry lies below a test directory, never the user's own.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    pelldrake::test::StopOnFatalFailure::install();
    return RUN_ALL_TESTS();
}
