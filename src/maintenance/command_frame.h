#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;

namespace pelldrake {
struct Pane;
class TPelldrakeCDSForm;
} // namespace pelldrake

namespace pelldrake::maintenance {

// The frame every long pane command (dump, load, export, key fill, delete
// all) runs in. It
// - refuses a second command while one runs (the menus stay enabled, so the
//   user can choose one) and makes the main window refuse to close meanwhile;
// - locks what the command asks for and unlocks all of it when the command
//   ends, however it ends;
// - lets the window process pending events on a timer while a loop runs, so
//   it repaints and follows the work without paying for that per record.
//
// Use it through runPaneCommand(); the body locks what it needs at the point
// where the command's steps say so.
class CommandFrame {
public:
    CommandFrame(TPelldrakeCDSForm &form, Pane &pane);
    ~CommandFrame();
    CommandFrame(const CommandFrame &) = delete;
    CommandFrame &operator=(const CommandFrame &) = delete;

    TPelldrakeCDSForm &form() { return form_; }
    Pane &pane() { return pane_; }

    // The pane controls lock (alias chooser, table list, information listing,
    // grid, navigator) and, with `selection`, the boxes that change the
    // table's rows under a loop: filter value, field name and index.
    void lockPaneControls(bool selection = true);
    // The command controls: "Close" of the File menu and the pane's filter
    // value, field name and index boxes, "Default Column Order", table list,
    // alias chooser, "Password Required", "Use Extensions" and type chooser.
    // Each gets back the enabled state it had.
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

    // Ticks so far; a benchmark checks the repaint rate with it.
    qint64 ticks() const { return ticks_; }

    // The interval between two ticks. Events are handled often enough for a
    // repaint at least every 100 ms.
    static constexpr int kTickMs = 40;

    // The command that runs now, or nullptr.
    static CommandFrame *current() { return current_; }

private:
    TPelldrakeCDSForm &form_;
    Pane &pane_;
    CommandFrame *previous_ = nullptr;
    int uncaught_ = 0; // exceptions in flight when the frame began
    bool paneLocked_ = false;
    bool notificationsSuspended_ = false;
    bool follow_ = false;
    bool quiet_ = false;
    bool signalsWereBlocked_ = false;
    struct SavedState {
        QPointer<QWidget> widget;
        QPointer<QAction> action;
        bool enabled;
    };
    std::vector<SavedState> saved_;
    QElapsedTimer timer_;
    std::function<void()> progress_;
    qint64 ticks_ = 0;

    static CommandFrame *current_;
};

// Runs a long pane command in its frame. While another command runs, shows
// commandRunningText() and does nothing. An error escaping the body is shown by
// the default error display after everything was unlocked.
void runPaneCommand(TPelldrakeCDSForm &form, Pane &pane, const std::function<void(CommandFrame &)> &body);

// True while a long pane command runs; the closing main window then shows
// closeRefusedText() and stays open.
bool refuseClose();

QString commandRunningText();
QString closeRefusedText();

} // namespace pelldrake::maintenance
