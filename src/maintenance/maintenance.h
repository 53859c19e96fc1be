#pragma once

#include <QString>

namespace pelldrake {
struct Pane;
class TPelldrakeCDSForm;
} // namespace pelldrake

namespace pelldrake::maintenance {

// The maintenance commands on a pane's open table. Each runs in the command
// frame (command_frame.h); the main window's menu handlers are one-line slots
// calling them with pane 1 or pane 2.

// Writes every record of the table to Table_Dump/<alias>_<table>.txt below the
// working directory (dump_format.h), after clearing the pane's filter.
void tableDump(TPelldrakeCDSForm &form, Pane &pane);
// Appends the records of the table's dump file to the table.
void tableLoad(TPelldrakeCDSForm &form, Pane &pane);
// Writes the records the pane shows (its filter and order) to <table>.txt in
// the working directory: a header line of field names, then one line per
// record, fields separated by tabs.
void exportTabDelimited(TPelldrakeCDSForm &form, Pane &pane);
// Fill the column named in the pane's field name box with unique date-time
// keys: the records where it is empty (up to a number the user enters), or all.
void fillEmptyWithUniqueKeys(TPelldrakeCDSForm &form, Pane &pane);
void fillAllWithUniqueKeys(TPelldrakeCDSForm &form, Pane &pane);
// Deletes the records the pane's table shows, after asking.
void deleteAllRecords(TPelldrakeCDSForm &form, Pane &pane);

// The same commands on any site (command_site.h): a pane of the main window or the headless
// tool's console. `path` replaces the command's own file (empty: the file the menu command
// uses). The result says how the command ended, for callers that must tell (an exit code).
class CommandSite;
enum class CommandResult {
    Done,     // the work is done and stored
    Declined, // nothing done: a question answered No, or nothing to do
    BadInput, // nothing done: no alias, table, field or file to work on
    Failed,   // an error stopped the work part-way; the site was shown its reason
};
CommandResult tableDump(CommandSite &site, const QString &path = {});
CommandResult tableLoad(CommandSite &site, const QString &path = {});
CommandResult exportTabDelimited(CommandSite &site, const QString &path = {});
CommandResult fillEmptyWithUniqueKeys(CommandSite &site);
CommandResult fillAllWithUniqueKeys(CommandSite &site);
CommandResult deleteAllRecords(CommandSite &site);

} // namespace pelldrake::maintenance
