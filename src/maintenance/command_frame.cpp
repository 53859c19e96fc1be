#include "maintenance/command_frame.h"

#include "engine/engine_error.h"

#include "maintenance/command_site.h"

#include "engine/table.h"

#include <exception>

namespace pelldrake::maintenance {

CommandFrame *CommandFrame::current_ = nullptr;

QString commandRunningText()
{
    return QStringLiteral("A maintenance command is still running. Please wait until it has finished.");
}

QString closeRefusedText()
{
    return QStringLiteral("A maintenance command is still running. "
                          "The window can be closed when it has finished.");
}

QString recordsText(qint64 n)
{
    return n == 1 ? QStringLiteral("1 record") : QStringLiteral("%L1 records").arg(n);
}

QString stoppedText(qint64 done, qint64 total, const QString &outcome)
{
    const QString head = total >= 0
        ? QStringLiteral("Stopped by the user after %L1 of %2.").arg(done).arg(recordsText(total))
        : QStringLiteral("Stopped by the user after %1.").arg(recordsText(done));
    return head + QLatin1Char('\n') + outcome;
}

CommandFrame::CommandFrame(CommandSite &site)
    : site_(site)
    , table_(site.table())
    , previous_(current_)
    , uncaught_(std::uncaught_exceptions())
{
    current_ = this;
    timer_.start();
}

CommandFrame::~CommandFrame()
{
    // A command ended by an error leaves no half-made record in the edit buffer.
    if (std::uncaught_exceptions() > uncaught_) {
        try {
            if (table_.state() == engine::TableState::Edit || table_.state() == engine::TableState::Insert)
                table_.cancel();
        } catch (...) {
        }
    }
    unlock();
    current_ = previous_;
}

void CommandFrame::lockPaneControls(bool selection)
{
    controlsLocked_ = true;
    site_.lockPaneControls(selection);
}

void CommandFrame::lockCommandControls()
{
    controlsLocked_ = true;
    site_.lockCommandControls();
}

void CommandFrame::suspendNotifications(bool follow)
{
    if (!notificationsSuspended_) {
        table_.disableControls();
        notificationsSuspended_ = true;
    }
    follow_ = follow;
}

void CommandFrame::quietTable()
{
    if (quiet_)
        return;
    quiet_ = true;
    signalsWereBlocked_ = table_.blockSignals(true);
}

void CommandFrame::unlock()
{
    // Nothing here may throw: it runs on the way out of a failed command too.
    if (quiet_) {
        quiet_ = false;
        table_.blockSignals(signalsWereBlocked_);
        try {
            emit table_.afterScroll();
            if (!notificationsSuspended_)
                emit table_.dataChanged();
        } catch (...) {
        }
    }
    try {
        if (notificationsSuspended_) {
            notificationsSuspended_ = false;
            table_.enableControls();
        }
    } catch (...) {
    }
    if (controlsLocked_) {
        controlsLocked_ = false;
        site_.unlockControls();
    }
}

void CommandFrame::measure(CommandSite::ProgressUnit unit, qint64 total, std::function<qint64()> done)
{
    unit_ = unit;
    total_ = total;
    done_ = std::move(done);
    if (!site_.reportProgress(done_(), total_, unit_))
        stopRequested_ = true;
}

void CommandFrame::tick()
{
    ++ticks_;
    const bool quiet = quiet_ && table_.blockSignals(signalsWereBlocked_);
    if (quiet)
        emit table_.afterScroll();
    if (notificationsSuspended_ && follow_) {
        // One update of the grid, memo and navigator for all records since the last tick.
        table_.enableControls();
        table_.disableControls();
    }
    if (progress_)
        progress_();
    if (done_) {
        if (!site_.reportProgress(done_(), total_, unit_))
            stopRequested_ = true;
    } else {
        site_.processEvents();
    }
    if (quiet)
        table_.blockSignals(true);
    timer_.restart();
}

CommandResult runCommand(CommandSite &site, const std::function<CommandResult(CommandFrame &)> &body)
{
    if (CommandFrame::current()) {
        site.showNotice(commandRunningText());
        return CommandResult::Declined;
    }
    try {
        CommandFrame frame(site);
        return body(frame);
    } catch (...) {
        // The frame is gone: everything is unlocked before the user reads why.
        const QString text = engine::errorMessage(std::current_exception());
        try {
            site.showError(text);
        } catch (...) {
        }
        return CommandResult::Failed;
    }
}

bool refuseClose()
{
    CommandFrame *running = CommandFrame::current();
    if (!running)
        return false;
    running->site().showNotice(closeRefusedText());
    return true;
}

} // namespace pelldrake::maintenance
