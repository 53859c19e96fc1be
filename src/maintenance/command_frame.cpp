#include "maintenance/command_frame.h"

#include "shell/dialogs.h"
#include "engine/table.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

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

CommandFrame::CommandFrame(TPelldrakeCDSForm &form, Pane &pane)
    : form_(form)
    , pane_(pane)
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
            if (pane_.table->state() == engine::TableState::Edit
                || pane_.table->state() == engine::TableState::Insert)
                pane_.table->cancel();
        } catch (...) {
        }
    }
    unlock();
    current_ = previous_;
}

void CommandFrame::lockPaneControls(bool selection)
{
    if (!paneLocked_) {
        form_.disableControls(pane_);
        paneLocked_ = true;
    }
    if (selection) {
        for (QWidget *w : {static_cast<QWidget *>(pane_.filterValueEdit),
                           static_cast<QWidget *>(pane_.fieldNameCombo),
                           static_cast<QWidget *>(pane_.indexComboBox)}) {
            saved_.push_back({w, nullptr, w->isEnabled()});
            w->setEnabled(false);
        }
    }
}

void CommandFrame::lockCommandControls()
{
    if (QAction *close = form_.action(QStringLiteral("Close1"))) {
        saved_.push_back({nullptr, close, close->isEnabled()});
        close->setEnabled(false);
    }
    const QList<QWidget *> controls{pane_.filterValueEdit, pane_.fieldNameCombo, pane_.indexComboBox,
                                    pane_.defaultColumnOrder, pane_.tableList, pane_.aliasCombo,
                                    pane_.passwordRequired, pane_.useExtensions, pane_.typeComboBox};
    for (QWidget *w : controls) {
        saved_.push_back({w, nullptr, w->isEnabled()});
        w->setEnabled(false);
    }
}

void CommandFrame::suspendNotifications(bool follow)
{
    if (!notificationsSuspended_) {
        pane_.table->disableControls();
        notificationsSuspended_ = true;
    }
    follow_ = follow;
}

void CommandFrame::quietTable()
{
    if (quiet_)
        return;
    quiet_ = true;
    signalsWereBlocked_ = pane_.table->blockSignals(true);
}

void CommandFrame::unlock()
{
    // Nothing here may throw: it runs on the way out of a failed command too.
    if (quiet_) {
        quiet_ = false;
        pane_.table->blockSignals(signalsWereBlocked_);
        try {
            emit pane_.table->afterScroll();
            if (!notificationsSuspended_)
                emit pane_.table->dataChanged();
        } catch (...) {
        }
    }
    try {
        if (notificationsSuspended_) {
            notificationsSuspended_ = false;
            pane_.table->enableControls();
        }
    } catch (...) {
    }
    // Latest lock first, so a control locked twice gets its first state back.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->widget)
            it->widget->setEnabled(it->enabled);
        else if (it->action)
            it->action->setEnabled(it->enabled);
    }
    saved_.clear();
    if (paneLocked_) {
        paneLocked_ = false;
        try {
            form_.enableControls(pane_);
        } catch (...) {
        }
    }
}

void CommandFrame::tick()
{
    ++ticks_;
    const bool quiet = quiet_ && pane_.table->blockSignals(signalsWereBlocked_);
    if (quiet)
        emit pane_.table->afterScroll();
    if (notificationsSuspended_ && follow_) {
        // One update of the grid, memo and navigator for all records since the last tick.
        pane_.table->enableControls();
        pane_.table->disableControls();
    }
    if (progress_)
        progress_();
    QCoreApplication::processEvents();
    if (quiet)
        pane_.table->blockSignals(true);
    timer_.restart();
}

void runPaneCommand(TPelldrakeCDSForm &form, Pane &pane, const std::function<void(CommandFrame &)> &body)
{
    if (CommandFrame::current()) {
        dialogs().showMessage(commandRunningText());
        return;
    }
    runHandler([&] {
        CommandFrame frame(form, pane);
        body(frame);
    });
}

bool refuseClose()
{
    if (!CommandFrame::current())
        return false;
    dialogs().showMessage(closeRefusedText());
    return true;
}

} // namespace pelldrake::maintenance
