#pragma once

#include <QString>
#include <QStringList>

class QObject;

namespace pelldrake {

struct Pane;
class TPelldrakeCDSForm;

// Opening a database file from the menu, a drop on a pane or the command line: the file gets its
// alias (the one it has, or a new one kept in the registry), both alias choosers list it, and the
// pane connects to it and lists its tables. A file that is not SQLite is refused with a message and
// nothing is registered. False when the file was refused or could not be connected.
bool openDatabaseFile(TPelldrakeCDSForm &form, Pane &pane, const QString &path);

// Both panes' alias choosers list the registry's aliases again, each keeping its text.
void refreshAliasChoosers(TPelldrakeCDSForm &form);

// The database file named on the command line (arguments as main() got them, program first):
// the first argument that is not an option, a local file URL read as its path; empty when none.
QString databaseFileArgument(const QStringList &arguments);

// Lets a pane take database files dropped on it (local files only; the first is opened).
void acceptDatabaseFileDrops(TPelldrakeCDSForm &form, Pane &pane);

} // namespace pelldrake
