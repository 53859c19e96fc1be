// Test entry for widget tests: the real application object on the offscreen
// platform, Qt's configuration and data locations redirected to test folders.
#include "shell/application.h"
#include "stop_on_fatal_failure.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    pelldrake::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    pelldrake::test::StopOnFatalFailure::install();
    return RUN_ALL_TESTS();
}
