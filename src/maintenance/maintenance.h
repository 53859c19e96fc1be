#pragma once

#include <QString>

namespace pelldrake::maintenance {

class CommandSite;

// How a command ended, for callers that must tell (an exit code).
enum class CommandResult {
    Done,     // the work is done and stored
    Declined, // nothing done: a question answered No, or nothing to do
    BadInput, // nothing done: no alias, table, field or file to work on
    Failed,   // an error stopped the work part-way; the site was shown its reason
    Stopped,  // the user stopped it part-way: what was committed stays, the site was told how much
};

// The maintenance commands on a site's open table (command_site.h): a pane of
// the main window or the headless tool's console. Each runs in the command
// frame (command_frame.h). `path` replaces the command's own file (empty: the
// file the menu command uses).

// Writes every record of the table to Table_Dump/<alias>_<table>.txt below the
// working directory (dump_format.h), after clearing the site's filter.
CommandResult tableDump(CommandSite &site, const QString &path = {});
// Appends the records of the table's dump file to the table.
CommandResult tableLoad(CommandSite &site, const QString &path = {});
// Writes the records the site shows (its filter and order) to <table>.txt in
// the working directory: a header line of field names, then one line per
// record, fields separated by tabs.
CommandResult exportTabDelimited(CommandSite &site, const QString &path = {});
// Fill the column named in the site's field name box with unique date-time
// keys: the records where it is empty (up to a number the user enters), or all.
CommandResult fillEmptyWithUniqueKeys(CommandSite &site);
CommandResult fillAllWithUniqueKeys(CommandSite &site);
// Deletes the records the site's table shows, after asking.
CommandResult deleteAllRecords(CommandSite &site);

} // namespace pelldrake::maintenance
