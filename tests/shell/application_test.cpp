#include "shell/application.h"
#include "shell/dialogs.h"
#include "engine/engine_error.h"
#include "fake_dialogs.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

using pelldrake::Application;
using pelldrake::test::FakeDialogs;

namespace {

// Throws from inside an event handler, then checks that the loop keeps running.
template <typename Thrower>
QStringList errorsAfterThrowingInLoop(Thrower thrower, bool *loopWentOn)
{
    FakeDialogs fake;
    QEventLoop loop;
    QTimer::singleShot(0, qApp, thrower);
    QTimer::singleShot(20, &loop, [&] {
        *loopWentOn = true;
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit); // never hang the suite
    loop.exec();
    return fake.errors();
}

} // namespace

TEST(ApplicationTest, ErrorsThrownInHandlersAreShownAndTheLoopGoesOn)
{
    bool wentOn = false;
    EXPECT_EQ(errorsAfterThrowingInLoop([] { throw pelldrake::engine::EngineError(QStringLiteral("Table is busy: Überweisung")); },
                                        &wentOn),
              QStringList{QStringLiteral("Table is busy: Überweisung")});
    EXPECT_TRUE(wentOn);

    wentOn = false;
    EXPECT_EQ(errorsAfterThrowingInLoop([] { throw std::runtime_error("disk full"); }, &wentOn),
              QStringList{QStringLiteral("disk full")});
    EXPECT_TRUE(wentOn);

    // Anything else is shown with an empty message.
    wentOn = false;
    EXPECT_EQ(errorsAfterThrowingInLoop([] { throw 42; }, &wentOn), QStringList{QString()});
    EXPECT_TRUE(wentOn);
}

TEST(ApplicationTest, DialogsServiceInstallsAndRestores)
{
    pelldrake::Dialogs *real = &pelldrake::dialogs();
    EXPECT_NE(dynamic_cast<pelldrake::QtDialogs *>(real), nullptr);
    {
        FakeDialogs outer;
        EXPECT_EQ(&pelldrake::dialogs(), &outer);
        {
            FakeDialogs inner;
            EXPECT_EQ(&pelldrake::dialogs(), &inner);
        }
        EXPECT_EQ(&pelldrake::dialogs(), &outer);
    }
    EXPECT_EQ(&pelldrake::dialogs(), real);
}

TEST(ApplicationTest, FakeDialogsAnswerFromTheirQueuesAndCountWhatWasNotScripted)
{
    FakeDialogs fake;
    fake.answerYesNo(true);
    fake.answerInput(QStringLiteral("7"));
    fake.answerInput(std::nullopt);
    EXPECT_TRUE(pelldrake::dialogs().askYesNo(QStringLiteral("Overwrite file?"), QStringLiteral("Overwrite")));
    EXPECT_FALSE(pelldrake::dialogs().askYesNo(QStringLiteral("Delete All Records?"), QStringLiteral("Delete")));
    EXPECT_EQ(pelldrake::dialogs().inputBox(QStringLiteral("Max Records"), QStringLiteral("Maximum records to change"),
                                            QStringLiteral("0")),
              QStringLiteral("7"));
    // A cancelled input box yields the default text.
    EXPECT_EQ(pelldrake::dialogs().inputBox(QStringLiteral("Max Records"), QString(), QStringLiteral("0")),
              QStringLiteral("0"));
    QString user = QStringLiteral("clerk"), password;
    EXPECT_FALSE(pelldrake::dialogs().askLogin(QStringLiteral("Sales"), user, password));
    EXPECT_EQ(fake.unanswered(), 2);
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 2);
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo)[1].caption, QStringLiteral("Delete"));
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::Login)[0].caption, QStringLiteral("Sales"));
}

// The exit code is the event loop's; a start-up failure is shown and fails
// the program, instead of ending it as a success.
TEST(ApplicationTest, ProgramEndsWithTheLoopsResultOrFailsAfterAStartUpFailure)
{
    EXPECT_EQ(pelldrake::runProgram([] {
                  QTimer::singleShot(0, qApp, [] { qApp->exit(3); });
                  return qApp->exec();
              }),
              3);
    EXPECT_EQ(pelldrake::runProgram([] {
                  QTimer::singleShot(0, qApp, [] { qApp->quit(); });
                  return qApp->exec();
              }),
              0);

    FakeDialogs fake;
    EXPECT_NE(pelldrake::runProgram([]() -> int {
                  throw pelldrake::engine::EngineError(QStringLiteral("Cannot write the alias registry: Permission denied"));
              }),
              0);
    EXPECT_EQ(fake.errors(), QStringList{QStringLiteral("Cannot write the alias registry: Permission denied")});
}
