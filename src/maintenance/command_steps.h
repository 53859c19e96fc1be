#pragma once

#include <QString>

#include <optional>

namespace pelldrake::engine {
class Table;
} // namespace pelldrake::engine

namespace pelldrake::maintenance {

class CommandSite;

// Steps several commands share.

// Clears the site's filter: the filter value box emptied, the table's filter
// text emptied and filtering switched off.
void clearFilter(CommandSite &site);

// The line a destructive question adds: the table and how many of its records the command
// touches, the filter named when one is in force.
QString deleteScopeText(engine::Table &table, qint64 records);

// The record counter's text when the count cannot be read (a lost connection).
QString unknownCountText();

// On the way out of a failure that must not hide the command's own error: the exception being
// handled goes to the log with what was being done (call inside a catch block).
void warnCurrentException(const char *what) noexcept;

// After a command failed part-way, before its error is shown: what the
// command left uncommitted is rolled back, so no transaction stays open; a
// record being edited is cancelled; the table is read again, so that its grid
// and counters show what is stored rather than what the command believed it
// had done. Never throws, so the command's own error is the one the user sees.
// The table's record count as read again, or nothing when the table cannot be
// read (its counter then shows unknownCountText()).
std::optional<qint64> settleAfterFailure(CommandSite &site);

} // namespace pelldrake::maintenance
