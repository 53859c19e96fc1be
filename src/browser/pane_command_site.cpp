#include "browser/pane_command_site.h"

#include "browser/command_progress.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"
#include "maintenance/command_steps.h"
#include "shell/dialogs.h"

#include "engine/table.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <exception>

namespace pelldrake {

PaneCommandSite::PaneCommandSite(TPelldrakeCDSForm &form, Pane &pane) : form_(form), pane_(pane) {}

PaneCommandSite::~PaneCommandSite()
{
    unlockControls();
    // Only the running command's site clears the status bar: a command refused meanwhile must
    // not take its progress (or the notice of the refusal) away.
    if (reported_)
        form_.commandProgress().finish();
}

engine::Table &PaneCommandSite::table()
{
    return *pane_.table;
}

QString PaneCommandSite::aliasName() const
{
    return pane_.aliasCombo->currentText();
}

QString PaneCommandSite::selectedTableName() const
{
    const QList<QListWidgetItem *> selected = pane_.tableList->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

QString PaneCommandSite::chosenFieldName() const
{
    return pane_.fieldNameCombo->currentText();
}

void PaneCommandSite::clearChosenField()
{
    setChooserText(pane_.fieldNameCombo, QString());
}

void PaneCommandSite::showMessage(const QString &text)
{
    dialogs().showMessage(text);
}

void PaneCommandSite::showError(const QString &text)
{
    dialogs().showError(text);
}

bool PaneCommandSite::askYesNo(const QString &text, const QString &caption)
{
    return dialogs().askYesNo(text, caption);
}

QString PaneCommandSite::inputBox(const QString &caption, const QString &prompt, const QString &defaultText)
{
    return dialogs().inputBox(caption, prompt, defaultText);
}

void PaneCommandSite::clearFilterBox()
{
    setEditText(pane_.filterValueEdit, QString()); // its change operation runs, as for the user's edit
}

void PaneCommandSite::postPendingEdit()
{
    pelldrake::postPendingEdit(pane_);
}

void PaneCommandSite::showRecordCounts()
{
    displayRecCount(form_);
}

namespace {

// The record count of one pane, or nothing when it cannot be read.
std::optional<qint64> readCount(Pane &pane)
{
    try {
        return pane.table->recordCount();
    } catch (...) {
        maintenance::warnCurrentException("Cannot count the records");
        return std::nullopt;
    }
}

void showCount(Pane &pane, std::optional<qint64> count)
{
    pane.recordCountEdit->setText(count ? QString::number(*count) : maintenance::unknownCountText());
    pane.recordCountEdit->repaint();
    pane.fieldCountEdit->setText(QString::number(pane.table->fieldCount()));
}

} // namespace

void PaneCommandSite::showRecordCount(std::optional<qint64> count) noexcept
{
    try {
        showCount(pane_, count);
        // The other pane as displayRecCount() would show it, but never throwing.
        for (Pane *other : {&form_.pane1(), &form_.pane2()})
            if (other != &pane_ && other->table->active())
                showCount(*other, readCount(*other));
    } catch (...) {
        maintenance::warnCurrentException("Cannot show the record counts");
    }
}

void PaneCommandSite::showCurrentRecord(qint64 number)
{
    pane_.currentRecord->setText(QString::number(number));
    pane_.currentRecord->repaint();
}

void PaneCommandSite::lockPaneControls(bool selection)
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

void PaneCommandSite::lockCommandControls()
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

void PaneCommandSite::unlockControls() noexcept
{
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

void PaneCommandSite::processEvents()
{
    QCoreApplication::processEvents();
}

bool PaneCommandSite::reportProgress(qint64 done, qint64 total, ProgressUnit unit)
{
    CommandProgress &progress = form_.commandProgress();
    reported_ = true;
    progress.report(pane_.number, done, total, unit == ProgressUnit::Bytes);
    QCoreApplication::processEvents();
    return !progress.cancelRequested();
}

void PaneCommandSite::showNotice(const QString &text)
{
    form_.commandProgress().notice(text);
}

} // namespace pelldrake
