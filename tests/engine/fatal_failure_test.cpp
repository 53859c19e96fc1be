// A failed ASSERT_* inside a helper function stops the test that called it (the listener in
// tests/support/stop_on_fatal_failure.h), in this executable as in the widget tests.
#include <QCoreApplication>
#include <QProcess>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

constexpr const char *kRunDeliberateFailure = "PELLDRAKE_TEST_DELIBERATE_FAILURE";

void helperThatFails()
{
    ASSERT_TRUE(false) << "deliberate failure in a helper";
}

// Fails on purpose; runs only inside the test below.
TEST(FatalFailureTest, HelperFailure)
{
    if (qEnvironmentVariableIsEmpty(kRunDeliberateFailure))
        GTEST_SKIP() << "run by FatalFailureTest.AFailedAssertionInAHelperStopsTheTest";
    helperThatFails();
    std::puts("went on after the helper");
    std::fflush(stdout);
}

TEST(FatalFailureTest, AFailedAssertionInAHelperStopsTheTest)
{
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kRunDeliberateFailure), QStringLiteral("1"));
    run.setProcessEnvironment(env);
    run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=FatalFailureTest.HelperFailure")});
    ASSERT_TRUE(run.waitForFinished(60000));
    const QByteArray out = run.readAllStandardOutput();
    EXPECT_NE(run.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("deliberate failure in a helper")) << out.toStdString();
    EXPECT_FALSE(out.contains("went on after the helper")) << out.toStdString();
}

} // namespace
