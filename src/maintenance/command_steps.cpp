#include "maintenance/command_steps.h"
#include "maintenance/command_frame.h"

#include "maintenance/command_site.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"

#include <exception>

namespace pelldrake::maintenance {

void clearFilter(CommandSite &site)
{
    site.clearFilterBox();
    site.table().setFilter(QString());
    site.table().setFiltered(false);
}

QString deleteScopeText(engine::Table &table, qint64 records)
{
    const QString scope = table.filtered() && !table.filter().isEmpty()
        ? QStringLiteral(" (those the filter %1 shows, of %L2 in all)").arg(table.filter()).arg(table.recordCount())
        : QString();
    return QStringLiteral("Table %1: %2%3 will be deleted.").arg(table.tableName(), recordsText(records), scope);
}

QString unknownCountText()
{
    return QStringLiteral("?");
}

void warnCurrentException(const char *what) noexcept
{
    try {
        throw;
    } catch (const std::exception &e) {
        qWarning("%s: %s", what, e.what());
    } catch (...) {
        qWarning("%s", what);
    }
}

std::optional<qint64> settleAfterFailure(CommandSite &site)
{
    engine::Table &table = site.table();
    engine::Database *db = table.database();
    try {
        if (table.state() == engine::TableState::Edit || table.state() == engine::TableState::Insert)
            table.cancel();
    } catch (...) {
        warnCurrentException("Cannot cancel the record");
    }
    // A commit that failed may have left its transaction open (a busy SQLite commit does).
    if (db && db->inTransaction()) {
        try {
            db->rollback();
        } catch (...) {
            warnCurrentException("Cannot roll back");
        }
    }
    // A table whose connection had to be closed to end the transaction is no longer active: its
    // count is unknown, and the counter says so rather than keep what the command had counted.
    std::optional<qint64> count;
    if (table.active()) {
        bool refreshed = false;
        try {
            table.refresh(); // the keyset, the count and the grid's rows, as stored
            refreshed = true;
        } catch (...) {
            warnCurrentException("Cannot read the table again");
        }
        if (refreshed) {
            try {
                count = table.recordCount();
            } catch (...) {
                warnCurrentException("Cannot count the records");
            }
        }
    }
    site.showRecordCount(count);
    return count;
}

} // namespace pelldrake::maintenance
