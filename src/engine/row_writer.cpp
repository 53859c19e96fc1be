// Posts and deletes of the table cursor: each finds its row by the key exactly as it was read.
#include "engine/table_private.h"

#include "engine/values.h"

namespace pelldrake::engine {

bool Table::Private::stillMatchesFilter(qint64 id)
{
    if (where.isEmpty())
        return true;
    const QString text = QStringLiteral("SELECT 1 FROM %1 WHERE (%2) AND %3").arg(catalog.from, where, keyWhere());
    QSqlQuery &qq = statement(text, QStringLiteral("Cannot read the record"));
    int b = 0;
    for (const QVariant &v : whereBinds)
        qq.bindValue(b++, v);
    bindKey(qq, b, id);
    execOrThrow(qq, QStringLiteral("Cannot read the record"));
    const bool ok = qq.next();
    qq.finish();
    return ok;
}

void Table::Private::requireValues(const QVariantList &values, const QVector<bool> &set, bool inserting) const
{
    for (const auto &f : fields) {
        const int i = f->index();
        if (!f->required() || f->m_autoKey || !values.at(i).isNull())
            continue;
        if (inserting && f->hasDefault() && !set.at(i))
            continue;
        if (!inserting && !set.at(i))
            continue;
        fail(QStringLiteral("Field '%1' must have a value.").arg(f->fieldName()));
    }
}

QVariant Table::Private::bindable(int fieldIdx, const QVariant &v) const
{
    const int type = fields[size_t(fieldIdx)]->dataType();
    // Times and date-times in text keep every digit: no detour through a typed value.
    const bool timeText = (type == ftTime || type == ftDateTime || type == ftTimeStamp)
        && v.metaType().id() == QMetaType::QString;
    return toStorage(type, timeText ? v : fromStorage(type, v), dialect);
}

// Equal values of the field's type: 'yes' and 1 in a SQLite BOOLEAN are the same value.
bool Table::Private::sameValue(int fieldIdx, const QVariant &a, const QVariant &b) const
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    const int type = fields[size_t(fieldIdx)]->dataType();
    return valueToText(type, a) == valueToText(type, b);
}

// A SQLite rowid that no declared column holds moves: VACUUM renumbers it, and a new row can take
// a freed one. Declared primary keys, INTEGER PRIMARY KEY and PostgreSQL keys stay put.
bool Table::Private::movableIdentity() const
{
    return dialect == Dialect::Sqlite && !catalog.withoutRowid && key.rowidAliasField < 0;
}

// For a movable identity, the conditions that the row found by it is still the record as read:
// its declared primary key when it has one, else every column (compared as stored, nulls,
// reals and blobs included). Columns `covered` already have a condition.
void Table::Private::matchAsRead(const QVariantList &read, const QVector<bool> &covered, QStringList &checks,
                                 QVariantList &binds) const
{
    if (!movableIdentity())
        return;
    bool declaredKey = false;
    for (const ColumnInfo &c : catalog.columns)
        declaredKey = declaredKey || c.pk > 0;
    for (int i = 0; i < catalog.columns.size(); ++i) {
        if (covered.at(i) || (declaredKey && catalog.columns.at(i).pk == 0))
            continue;
        checks << oldValueMatch(dialect, catalog.columns.at(i));
        binds << read.at(i);
    }
}

void Table::Private::postEdit()
{
    QStringList sets;
    QStringList checks;
    QVariantList setBinds;
    QVariantList checkBinds;
    // The record as it was read when the edit began: the cached row may have been read again
    // since, from whatever row holds its identity now.
    const QVariantList old = original.size() == int(fields.size()) ? original : row(pos);
    QVector<bool> writes(int(fields.size()), false);
    for (const auto &f : fields) {
        const int i = f->index();
        // A value the user did not change is never rewritten, not even in another form.
        if (!changed.at(i) || sameValue(i, buffer.at(i), old.at(i)))
            continue;
        writes[i] = true;
        sets << quoteIdent(f->fieldName()) + QLatin1String(" = ?");
        setBinds << bindable(i, buffer.at(i));
        checks << oldValueMatch(dialect, catalog.columns.at(i));
        checkBinds << (dialect == Dialect::Sqlite ? old.at(i) : bindable(i, old.at(i)));
    }
    if (sets.isEmpty()) {
        buffer.clear();
        modified = false;
        setState(TableState::Browse);
        return;
    }
    matchAsRead(old, writes, checks, checkBinds);
    // A record whose order changes may move into or out of the keys not read yet; with the
    // whole keyset read first it simply stays in place until refresh().
    bool keyChanged = false;
    for (int fi : key.fieldIndex)
        keyChanged = keyChanged || (fi >= 0 && writes.at(fi));
    if (!keys.complete()) {
        bool orderChanged = keyChanged;
        for (const auto &f : fields)
            orderChanged = orderChanged || (writes.at(f->index()) && q->isIndexField(f->index()));
        if (orderChanged)
            loadAllKeys();
    }
    const qint64 id = keys.at(pos);
    // RETURNING hands back the key as the database stores it (a changed key included) and
    // counts the rows written.
    const QString text = QStringLiteral("UPDATE %1 SET %2 WHERE %3 AND %4 RETURNING %5")
                             .arg(catalog.from, sets.join(QLatin1String(", ")), keyWhere(),
                                  checks.join(QLatin1String(" AND ")), key.exprs.join(QLatin1String(", ")));
    qint64 newId = id;
    guardedWrite([&] {
        QSqlQuery &qq = statement(text, QStringLiteral("Cannot update the record"));
        int b = 0;
        for (const QVariant &v : setBinds)
            qq.bindValue(b++, v);
        bindKey(qq, b, id);
        for (const QVariant &v : checkBinds)
            qq.bindValue(b++, v);
        execOrThrow(qq, QStringLiteral("Cannot update the record"));
        int affected = 0;
        while (qq.next()) {
            if (affected++ == 0 && keyChanged)
                newId = readKey(qq);
        }
        checkLastStep(qq, QStringLiteral("Cannot update the record"));
        qq.finish();
        if (affected != 1)
            fail(affected == 0
                     ? QStringLiteral("The record was changed or deleted by another user. Nothing was updated.")
                     : QStringLiteral("The record is not unique (%1 rows matched).").arg(affected));
    });
    // Written: the table leaves edit before anything else can fail.
    buffer.clear();
    modified = false;
    setState(TableState::Browse);
    if (newId != id) {
        keys.set(pos, newId);
        rows.forget(id);
    }
    refetchOne(newId);
    if (!stillMatchesFilter(newId)) {
        // The record left the filtered view: the next one becomes current.
        removeAt(pos);
        if (!ensureKey(pos) && loaded() == 0) {
            pos = -1;
            bof = eof = true;
        } else {
            moveTo(pos);
        }
    }
}

void Table::Private::postInsert()
{
    QStringList cols;
    QStringList marks;
    QVariantList binds;
    for (const auto &f : fields) {
        const int i = f->index();
        if (!changed.at(i))
            continue;
        cols << quoteIdent(f->fieldName());
        marks << QStringLiteral("?");
        binds << bindable(i, buffer.at(i));
    }
    QString text = cols.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(catalog.from)
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
              .arg(catalog.from, cols.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
    text += QLatin1String(" RETURNING ") + key.exprs.join(QLatin1String(", "));
    qint64 id = 0;
    guardedWrite([&] {
        QSqlQuery &qq = statement(text, QStringLiteral("Cannot insert the record"));
        for (int i = 0; i < binds.size(); ++i)
            qq.bindValue(i, binds.at(i));
        execOrThrow(qq, QStringLiteral("Cannot insert the record"));
        if (!qq.next()) {
            qq.finish();
            fail(QStringLiteral("Cannot insert the record: no key returned."));
        }
        id = readKey(qq);
        while (qq.next()) {
        }
        checkLastStep(qq, QStringLiteral("Cannot insert the record"));
        qq.finish();
    });
    buffer.clear();
    modified = false;
    setState(TableState::Browse);
    const int at = appending ? rowTotal() : insertPos;
    keys.insertAt(at, id);
    if (recordCount >= 0)
        ++recordCount;
    pos = at;
    refetchOne(id);
}

void Table::Private::deleteCurrent()
{
    const qint64 id = keys.at(pos);
    QStringList checks;
    QVariantList checkBinds;
    const QVariantList &read = row(pos);
    matchAsRead(read, QVector<bool>(int(fields.size()), false), checks, checkBinds);
    QString text = QStringLiteral("DELETE FROM %1 WHERE %2").arg(catalog.from, keyWhere());
    if (!checks.isEmpty())
        text += QLatin1String(" AND ") + checks.join(QLatin1String(" AND "));
    QSqlQuery &qq = statement(text, QStringLiteral("Cannot delete the record"));
    int b = 0;
    bindKey(qq, b, id);
    for (const QVariant &v : checkBinds)
        qq.bindValue(b++, v);
    int affected = 0;
    guardedWrite([&] {
        execOrThrow(qq, QStringLiteral("Cannot delete the record"));
        affected = qq.numRowsAffected();
        qq.finish();
    });
    if (affected < 1)
        fail(checks.isEmpty() ? QStringLiteral("The record was already deleted by another user.")
                              : QStringLiteral("The record was changed or deleted by another user. Nothing was deleted."));
    removeAt(pos);
    if (recordCount > 0)
        --recordCount;
}

} // namespace pelldrake::engine
