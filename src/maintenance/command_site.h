#pragma once

#include <QString>

#include <optional>

namespace pelldrake::engine {
class Table;
} // namespace pelldrake::engine

namespace pelldrake::maintenance {

// Where a maintenance command runs: a pane of the main window, or the console of the headless
// tool. A command reaches its table, the user and the controls only through this, so the
// commands need no window.
class CommandSite {
public:
    virtual ~CommandSite() = default;

    // The table the command works on, and the names the commands take from the pane.
    virtual engine::Table &table() = 0;
    virtual QString aliasName() const = 0;         // the alias chooser's text
    virtual QString selectedTableName() const = 0; // the table list's selection; empty when none
    virtual QString chosenFieldName() const = 0;   // the field name box's text
    virtual void clearChosenField() = 0;           // the field name box emptied after a key fill

    // The conversation with the user.
    virtual void showMessage(const QString &text) = 0;
    // A message that does not wait for the user: a command running meanwhile goes on.
    virtual void showNotice(const QString &text) = 0;
    virtual void showError(const QString &text) = 0;
    virtual bool askYesNo(const QString &text, const QString &caption) = 0;
    // The entered text, or defaultText when the user cancels.
    virtual QString inputBox(const QString &caption, const QString &prompt, const QString &defaultText) = 0;

    // The pane's filter value box emptied (the table's filter itself is the command's).
    virtual void clearFilterBox() = 0;
    // A cell being edited in the grid is posted, so that a file holds what the grid shows.
    virtual void postPendingEdit() = 0;

    // The counters: every pane's record and field count as read now; this pane's record count
    // as given (nothing: it cannot be read, shown as unknown); the current record box.
    // showRecordCount never throws.
    virtual void showRecordCounts() = 0;
    virtual void showRecordCount(std::optional<qint64> count) noexcept = 0;
    virtual void showCurrentRecord(qint64 number) = 0;

    // The controls lock: the pane controls (with `selection`, also the boxes that change the
    // table's rows under a loop), and the command controls (the window's Close entry and the
    // pane's choosers). unlockControls gives each its earlier state back and never throws.
    virtual void lockPaneControls(bool selection) = 0;
    virtual void lockCommandControls() = 0;
    virtual void unlockControls() noexcept = 0;
    // Lets the window handle pending events (repaint, follow the work) between records.
    virtual void processEvents() = 0;

    // Long work says how far it got between records: `done` of `total` (total < 0: not known
    // ahead) in the given unit. Returns false once the user asked to stop; the command then stops
    // at the next record, keeps what it committed and says how much was done. Lets the window
    // handle its pending events as processEvents() does.
    enum class ProgressUnit { Records, Bytes };
    virtual bool reportProgress(qint64 done, qint64 total, ProgressUnit unit) = 0;
};

} // namespace pelldrake::maintenance
