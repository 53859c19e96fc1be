#include "maintenance/pane_steps.h"

#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/session.h"
#include "engine/table.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"

#include <QLineEdit>
#include <QListWidget>

namespace pelldrake::maintenance {

void clearPaneFilter(Pane &pane)
{
    setEditText(pane.filterValueEdit, QString());
    pane.table->setFilter(QString());
    pane.table->setFiltered(false);
}

QString selectedTableName(const Pane &pane)
{
    const QList<QListWidgetItem *> selected = pane.tableList->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

QString unknownCountText()
{
    return QStringLiteral("?");
}

namespace {

void warn(const char *what)
{
    try {
        throw;
    } catch (const std::exception &e) {
        qWarning("%s: %s", what, e.what());
    } catch (...) {
        qWarning("%s", what);
    }
}

// The record count of one pane, or nothing when it cannot be read.
std::optional<qint64> readCount(Pane &pane)
{
    try {
        return pane.table->recordCount();
    } catch (...) {
        warn("Cannot count the records");
        return std::nullopt;
    }
}

void showCount(Pane &pane, std::optional<qint64> count)
{
    pane.recordCountEdit->setText(count ? QString::number(*count) : unknownCountText());
    pane.recordCountEdit->repaint();
    pane.fieldCountEdit->setText(QString::number(pane.table->fieldCount()));
}

} // namespace

std::optional<qint64> settleAfterFailure(TPelldrakeCDSForm &form, Pane &pane)
{
    engine::Table &table = *pane.table;
    engine::Database *db = table.database();
    try {
        if (table.state() == engine::TableState::Edit || table.state() == engine::TableState::Insert)
            table.cancel();
    } catch (...) {
        warn("Cannot cancel the record");
    }
    // A commit that failed may have left its transaction open (a busy SQLite commit does).
    if (db && db->inTransaction()) {
        try {
            db->rollback();
        } catch (...) {
            warn("Cannot roll back");
        }
    }
    // A table whose connection had to be closed to end the transaction is no longer active: its
    // count is unknown, and the counter says so rather than keep what the command had counted.
    std::optional<qint64> count;
    if (table.active()) {
        try {
            table.refresh(); // the keyset, the count and the grid's rows, as stored
            count = readCount(pane);
        } catch (...) {
            warn("Cannot read the table again");
        }
    }
    showCount(pane, count);
    // The other pane as displayRecCount() would show it, but never throwing.
    for (Pane *other : {&form.pane1(), &form.pane2()})
        if (other != &pane && other->table->active())
            showCount(*other, readCount(*other));
    return count;
}

} // namespace pelldrake::maintenance
