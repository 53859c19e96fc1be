#pragma once

#include <QString>

#include <functional>

class QComboBox;
class QLineEdit;

namespace pelldrake {

struct FileWriteFailure;
struct Pane;
class TPelldrakeCDSForm;

// The operations a user runs in a pane. Each takes the pane it works on; the
// main window's named handlers are one-line slots calling them. Engine errors
// that an operation does not catch itself propagate to the caller; handlers
// pass them to runHandler(), which shows them with the default error display.

// Runs a handler body; an error escaping it is shown by the default error
// display and goes no further, so an event loop or a replay goes on.
void runHandler(const std::function<void()> &body);

// The pane of the other half of the window.
Pane &otherPane(TPelldrakeCDSForm &form, Pane &pane);

// Sets a chooser's text from code without running its change operation.
void setChooserText(QComboBox *combo, const QString &text);
// Replaces a chooser's entries, keeping its text, without running its change operation.
void setChooserItems(QComboBox *combo, const QStringList &items);
// Sets an edit box's text from code; like a user's edit it runs the box's change
// operation when the text changes.
void setEditText(QLineEdit *edit, const QString &text);

// Posts the pane's record when it has changes not yet posted, so that closing
// the table never drops what the user typed. A post that fails throws and the
// record stays in edit.
void postPendingEdit(Pane &pane);

// Alias connection: connects the pane to the alias in its chooser and lists its tables.
void connectAlias(TPelldrakeCDSForm &form, Pane &pane);
// Connects the pane's database when it is not connected, or its server
// connection was lost: first with the "Password Required" state as login
// prompt flag, then once more with the login prompt.
void ensureConnected(Pane &pane);
// Empties the pane (alias text, table list, field name, filter) and closes its table.
void resetPane(Pane &pane);

// Opens the table selected in the pane's table list.
void openSelectedTable(TPelldrakeCDSForm &form, Pane &pane);
// Refreshes the record and field counters of every pane whose table is open.
void displayRecCount(TPelldrakeCDSForm &form);

// Filtering, index choice and record display.
void applyFilter(Pane &pane);
void fieldNameChosen(Pane &pane);
void chooseIndex(Pane &pane);
void bindMemoToField(Pane &pane, const QString &fieldName);
void unbindMemo(Pane &pane);
void showCurrentRecord(Pane &pane);

// The pane configuration files, "Pelldrake.cfg" and "Pelldrake2.cfg" in the start directory.
QString paneConfigFileName(const Pane &pane);
// Replays one pane's configuration file; a file that cannot be read is skipped.
void replayPaneConfig(TPelldrakeCDSForm &form, Pane &pane, const QString &path);
// Writes one pane's configuration; false when the file could not be written.
bool writePaneConfigFile(const Pane &pane, const QString &path, FileWriteFailure *failure = nullptr);
// The creation and closing handlers' work.
void formCreate(TPelldrakeCDSForm &form);
void formClose(TPelldrakeCDSForm &form);

} // namespace pelldrake
