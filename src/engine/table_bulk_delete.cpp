// Delete all: the records of the current filter go in batches, one statement per batch.
#include "engine/table_private.h"

#include "engine/engine_error.h"

#include <algorithm>

namespace pelldrake::engine {

namespace {

// "DELETE ... WHERE k IN (?, ...)" for a one-column key, else one match per record; `also` is
// appended to the condition as it stands.
QString batchDelete(const QString &from, const KeyChoice &key, int n, const QString &also)
{
    const QString single = key.match.size() == 1 && key.match.first().endsWith(QLatin1String(" = ?"))
        ? key.match.first().chopped(4)
        : QString();
    QStringList parts;
    parts.reserve(n);
    if (!single.isEmpty()) {
        for (int i = 0; i < n; ++i)
            parts << QStringLiteral("?");
        return QStringLiteral("DELETE FROM %1 WHERE %2 IN (%3)%4").arg(from, single, parts.join(QLatin1String(", ")), also);
    }
    const QString one = QLatin1Char('(') + key.match.join(QLatin1String(" AND ")) + QLatin1Char(')');
    for (int i = 0; i < n; ++i)
        parts << one;
    return QStringLiteral("DELETE FROM %1 WHERE (%2)%3").arg(from, parts.join(QLatin1String(" OR ")), also);
}

} // namespace

void Table::deleteAll(const std::function<bool()> &afterBatch)
{
    d->requireActive();
    if (d->edit.state == TableState::Insert) {
        cancel();
    } else if (d->edit.state == TableState::Edit) {
        d->leaveEdit();
    }
    if (!d->canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    const int batch = d->shape.pageSize();
    const QString context = QStringLiteral("Cannot delete the record");
    // The keys come from the keyset of the filter and order, page by page, exactly as a loop of
    // deleteRecord() would meet them.
    // The keys were read a while ago: a filtered delete also checks the filter, so a row that no
    // longer matches it (its values changed, or a SQLite rowid now names another row after a VACUUM)
    // is left alone.
    QString filterCheck;
    if (d->shape.hasFilter())
        filterCheck = QStringLiteral(" AND (%1)").arg(d->shape.where);
    KeysetCursor &cursor = d->cursor;
    while (cursor.ensureKey(0)) {
        const int n = std::min(cursor.loaded(), batch);
        QSqlQuery &qq = d->statements.statement(batchDelete(d->shape.catalog.from, d->shape.key, n, filterCheck), context);
        int b = 0;
        for (int i = 0; i < n; ++i)
            cursor.bindKey(qq, b, cursor.keys.at(i));
        for (const QVariant &v : d->shape.whereBinds)
            qq.bindValue(b++, v);
        int affected = 0;
        d->statements.guardedWrite([&] {
            execOrThrow(qq, context);
            affected = qq.numRowsAffected();
            qq.finish();
        });
        for (int i = 0; i < n; ++i)
            cursor.removeAt(0);
        if (cursor.recordCount >= 0)
            cursor.recordCount = std::max<qint64>(0, cursor.recordCount - affected);
        cursor.moveTo(0);
        cursor.bof = true;
        cursor.eof = cursor.pos < 0;
        if (afterBatch && !afterBatch()) {
            // Stopped: the records left stay in the view, the first of them current.
            cursor.eof = cursor.pos < 0;
            emit dataChanged();
            emit afterScroll();
            return;
        }
    }
    cursor.pos = -1;
    cursor.bof = cursor.eof = true;
    emit dataChanged();
    emit afterScroll();
}

} // namespace pelldrake::engine
