#pragma once

#include "maintenance/command_site.h"
#include "maintenance/maintenance.h"

#include <QElapsedTimer>
#include <QString>

#include <exception>
#include <functional>

namespace pelldrake::engine {
class Table;
} // namespace pelldrake::engine

namespace pelldrake::maintenance {

// The frame every long command (dump, load, export, key fill, delete all)
// runs in. It
// - refuses a second command while one runs (the menus stay enabled, so the
//   user can choose one) and makes the main window refuse to close meanwhile;
// - has the site lock what the command asks for and unlock all of it when the
//   command ends, however it ends;
// - quiets the table's notifications while a loop runs;
// - lets the site process pending events on a timer while a loop runs, so a
//   window repaints and follows the work without paying for that per record.
//
// Use it through runCommand(); the body locks what it needs at the point
// where the command's steps say so.
class CommandFrame {
public:
    explicit CommandFrame(CommandSite &site);
    ~CommandFrame();
    CommandFrame(const CommandFrame &) = delete;
    CommandFrame &operator=(const CommandFrame &) = delete;

    CommandSite &site() { return site_; }

    // The site's pane controls lock (CommandSite::lockPaneControls).
    void lockPaneControls(bool selection = true);
    // The site's command controls (CommandSite::lockCommandControls).
    void lockCommandControls();
    // Suspends the table's notifications to the grid, memo and navigator.
    // With `follow`, they catch up on every tick, so the grid follows the
    // table at the tick rate instead of once per record.
    void suspendNotifications(bool follow);
    // Stops the table's signals altogether while the loop runs (between
    // ticks): nothing that follows the table runs per record. On every tick
    // and at the end the followers hear once that the data and the current
    // record changed.
    void quietTable();
    // Unlocks everything now (the destructor does it otherwise).
    void unlock();

    // Called by the loop once per record: on every tick (at most every
    // kTickMs) runs the progress callback and processes pending events.
    void keepResponsive()
    {
        if (timer_.elapsed() >= kTickMs)
            tick();
    }
    void tick();
    // Runs on every tick before the events are processed (counters, progress).
    void setProgress(std::function<void()> progress) { progress_ = std::move(progress); }
    // What the site's progress report counts from now on: done() of `total` (negative: not
    // known ahead). Every tick reports it; once the site answers that the user asked to stop,
    // stopRequested() is true and the loop ends at its next record.
    void measure(CommandSite::ProgressUnit unit, qint64 total, std::function<qint64()> done);
    bool stopRequested() const { return stopRequested_; }

    // Ticks so far; a benchmark checks the repaint rate with it.
    qint64 ticks() const { return ticks_; }

    // The interval between two ticks. Events are handled often enough for a
    // repaint at least every 100 ms.
    static constexpr int kTickMs = 40;

    // The command that runs now, or nullptr.
    static CommandFrame *current() { return current_; }

private:
    CommandSite &site_;
    engine::Table &table_;
    CommandFrame *previous_ = nullptr;
    int uncaught_ = 0; // exceptions in flight when the frame began
    bool controlsLocked_ = false;
    bool notificationsSuspended_ = false;
    bool follow_ = false;
    bool quiet_ = false;
    bool signalsWereBlocked_ = false;
    QElapsedTimer timer_;
    std::function<void()> progress_;
    std::function<qint64()> done_;
    qint64 total_ = -1;
    CommandSite::ProgressUnit unit_ = CommandSite::ProgressUnit::Records;
    bool stopRequested_ = false;
    qint64 ticks_ = 0;

    static CommandFrame *current_;
};

// Runs a long command on the site in its frame and returns how it ended. While
// another command runs, shows commandRunningText() as a notice (the running
// command goes on meanwhile) and does nothing (Declined). An error escaping the body is shown with site.showError, after
// everything was unlocked, in the text the default error display gives it
// (engine::errorMessage), and the command is Failed.
CommandResult runCommand(CommandSite &site, const std::function<CommandResult(CommandFrame &)> &body);

// True while a long command runs, after showing closeRefusedText() as a notice
// on the running command's site; the closing main window then stays open.
bool refuseClose();

QString commandRunningText();
QString closeRefusedText();
// The end of a command the user stopped: "Stopped by the user after N of M records." with
// `outcome` (what is stored, what was not written) on the next line.
QString stoppedText(qint64 done, qint64 total, const QString &outcome);
// 1 record / 12,345 records, digits grouped as the counters show them.
QString recordsText(qint64 n);

} // namespace pelldrake::maintenance
