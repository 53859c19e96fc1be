// The frame of the long commands: a second command and closing the window are
// refused while one runs, and everything it locked comes back.
#include "maintenance_fixture.h"

#include "browser/pane_command_site.h"
#include "widgets/dbgrid.h"

#include "maintenance/command_frame.h"
#include "maintenance/unique_keys.h"

#include "engine/table.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QThread>
#include <QStatusBar>
#include <QTimer>

using namespace pelldrake;
using namespace pelldrake::test;
using namespace pelldrake::maintenance;

namespace {

// A clock whose wait is long enough that the loop processes events after every record.
class SlowClock : public KeyClock {
public:
    SlowClock() : previous_(KeyClock::install(this)) {}
    ~SlowClock() override { KeyClock::install(previous_); }
    QDateTime now() override { return QDateTime::currentDateTime(); }
    void sleepMs(int) override { QThread::msleep(CommandFrame::kTickMs + 10); }

private:
    KeyClock *previous_;
};

using CommandFrameTest = MaintenanceTest;

TEST_F(CommandFrameTest, SecondCommandAndCloseAreRefusedMidLoop)
{
    SlowClock clock;
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keyed"));
    chooseFieldName(pane, QStringLiteral("NAME"));
    bool sawLocked = false;
    bool visibleAfterClose = false;
    QString noticeShown, closeNoticeShown;
    QTimer::singleShot(0, window.get(), [&] {
        // Inside the loop: the pane is locked and the command running.
        sawLocked = CommandFrame::current() && !pane.tableList->isEnabled() && !pane.grid->isEnabled()
            && !window->action(QStringLiteral("Close1"))->isEnabled() && pane.table->controlsDisabled();
        window->action(QStringLiteral("TableDump2"))->trigger();
        noticeShown = window->statusBar()->currentMessage();
        window->close();
        visibleAfterClose = window->isVisible();
        closeNoticeShown = window->statusBar()->currentMessage();
    });
    choose("FillALLfieldsforcolumnwithUniqueDateTime20charvalue1");

    EXPECT_TRUE(sawLocked);
    EXPECT_TRUE(visibleAfterClose);
    // The refusals are notices in the status bar: the fill went on without waiting for the user.
    EXPECT_EQ(noticeShown, commandRunningText());
    EXPECT_EQ(closeNoticeShown, closeRefusedText());
    EXPECT_EQ(messages(), QStringList{QStringLiteral("Unique string key values have been loaded.\n3 records changed.")});
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM keyed WHERE NAME LIKE '20%'")), QStringList{QStringLiteral("3")});
    EXPECT_EQ(CommandFrame::current(), nullptr);
    EXPECT_TRUE(pane.tableList->isEnabled() && pane.grid->isEnabled()
                && window->action(QStringLiteral("Close1"))->isEnabled());
    EXPECT_FALSE(pane.table->controlsDisabled());

    // Once the command is over the window closes as usual.
    window->close();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(CommandFrameTest, TicksKeepTheWindowResponsiveAtTheirRate)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keyed"));
    int progress = 0;
    int handled = 0;
    PaneCommandSite site(*window, pane);
    runCommand(site, [&](CommandFrame &frame) {
        frame.setProgress([&] { ++progress; });
        QTimer::singleShot(0, window.get(), [&] { ++handled; });
        QElapsedTimer t;
        t.start();
        long calls = 0;
        while (t.elapsed() < 3 * CommandFrame::kTickMs + 20) {
            frame.keepResponsive();
            ++calls;
        }
        // Many calls, few ticks: events are not processed once per record.
        EXPECT_GT(calls, 1000);
        EXPECT_GE(frame.ticks(), 2);
        EXPECT_LE(frame.ticks(), 4);
        return CommandResult::Done;
    });
    EXPECT_GE(progress, 2);
    EXPECT_EQ(handled, 1);
}

} // namespace
