// Posts and deletes of the table cursor: each finds its row by the key exactly as it was read.
#include "engine/row_writer.h"

#include "engine/edit_buffer.h"
#include "engine/engine_error.h"
#include "engine/keyset_cursor.h"
#include "engine/query_shape.h"
#include "engine/row_source.h"
#include "engine/table_statements.h"
#include "engine/values.h"

namespace pelldrake::engine {

bool RowWriter::stillMatchesFilter(qint64 id)
{
    if (m_shape.where.isEmpty())
        return true;
    const QString text = QStringLiteral("SELECT 1 FROM %1 WHERE (%2) AND %3").arg(m_shape.catalog.from, m_shape.where, m_shape.keyWhere());
    QSqlQuery &qq = m_statements.statement(text, QStringLiteral("Cannot read the record"));
    int b = 0;
    for (const QVariant &v : m_shape.whereBinds)
        qq.bindValue(b++, v);
    m_cursor.bindKey(qq, b, id);
    execOrThrow(qq, QStringLiteral("Cannot read the record"));
    const bool ok = qq.next();
    qq.finish();
    return ok;
}

void RowWriter::requireValues(const QVariantList &values, const QVector<bool> &set, bool inserting) const
{
    for (const auto &f : m_fields) {
        const int i = f->index();
        // SQLite fills a null INTEGER PRIMARY KEY itself.
        if (!f->required() || i == m_shape.key.rowidAliasField || !values.at(i).isNull())
            continue;
        if (inserting && f->hasDefault() && !set.at(i))
            continue;
        if (!inserting && !set.at(i))
            continue;
        throw EngineError(QStringLiteral("Field '%1' must have a value.").arg(f->fieldName()));
    }
}

QVariant RowWriter::bindable(int fieldIdx, const QVariant &v) const
{
    const int type = m_fields[size_t(fieldIdx)]->dataType();
    // Times and date-times in text keep every digit: no detour through a typed value.
    const bool timeText = (type == ftTime || type == ftDateTime || type == ftTimeStamp)
        && v.metaType().id() == QMetaType::QString;
    return toStorage(type, timeText ? v : fromStorage(type, v), m_shape.dialect);
}

// Equal values of the field's type: 'yes' and 1 in a SQLite BOOLEAN are the same value.
bool RowWriter::sameValue(int fieldIdx, const QVariant &a, const QVariant &b) const
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    const int type = m_fields[size_t(fieldIdx)]->dataType();
    return valueToText(type, a) == valueToText(type, b);
}

// A SQLite rowid that no declared column holds moves: VACUUM renumbers it, and a new row can take
// a freed one. Declared primary keys, INTEGER PRIMARY KEY and PostgreSQL keys stay put.
bool RowWriter::movableIdentity() const
{
    return m_shape.dialect == Dialect::Sqlite && !m_shape.catalog.withoutRowid && m_shape.key.rowidAliasField < 0;
}

// For a movable identity, the conditions that the row found by it is still the record as read:
// its declared primary key when it has one, else every column (compared as stored, nulls,
// reals and blobs included). Columns `covered` already have a condition.
void RowWriter::matchAsRead(const QVariantList &read, const QVector<bool> &covered, QStringList &checks,
                             QVariantList &binds) const
{
    if (!movableIdentity())
        return;
    bool declaredKey = false;
    for (const ColumnInfo &c : m_shape.catalog.columns)
        declaredKey = declaredKey || c.pk > 0;
    for (int i = 0; i < m_shape.catalog.columns.size(); ++i) {
        if (covered.at(i) || (declaredKey && m_shape.catalog.columns.at(i).pk == 0))
            continue;
        checks << oldValueMatch(m_shape.dialect, m_shape.catalog.columns.at(i));
        binds << read.at(i);
    }
}

void RowWriter::postEdit()
{
    QStringList sets;
    QStringList checks;
    QVariantList setBinds;
    QVariantList checkBinds;
    // The record as it was read when the edit began: the cached row may have been read again
    // since, from whatever row holds its identity now.
    const QVariantList old = m_edit.original.size() == int(m_fields.size()) ? m_edit.original : m_rows.row(m_cursor.pos);
    QVector<bool> writes(int(m_fields.size()), false);
    for (const auto &f : m_fields) {
        const int i = f->index();
        // A value the user did not change is never rewritten, not even in another form.
        if (!m_edit.changed.at(i) || sameValue(i, m_edit.values.at(i), old.at(i)))
            continue;
        writes[i] = true;
        sets << quoteIdent(f->fieldName()) + QLatin1String(" = ?");
        setBinds << bindable(i, m_edit.values.at(i));
        checks << oldValueMatch(m_shape.dialect, m_shape.catalog.columns.at(i));
        checkBinds << (m_shape.dialect == Dialect::Sqlite ? old.at(i) : bindable(i, old.at(i)));
    }
    if (sets.isEmpty()) {
        leaveEdit();
        return;
    }
    matchAsRead(old, writes, checks, checkBinds);
    // A record whose order changes may move into or out of the keys not read yet; with the
    // whole keyset read first it simply stays in place until refresh().
    bool keyChanged = false;
    for (int fi : m_shape.key.fieldIndex)
        keyChanged = keyChanged || (fi >= 0 && writes.at(fi));
    if (!m_cursor.keys.complete()) {
        bool orderChanged = keyChanged;
        for (const auto &f : m_fields)
            orderChanged = orderChanged || (writes.at(f->index()) && m_shape.isIndexColumn(f->fieldName()));
        if (orderChanged)
            m_cursor.loadAllKeys();
    }
    const qint64 id = m_cursor.keys.at(m_cursor.pos);
    // RETURNING hands back the key as the database stores it (a changed key included) and
    // counts the rows written.
    const QString text = QStringLiteral("UPDATE %1 SET %2 WHERE %3 AND %4 RETURNING %5")
                             .arg(m_shape.catalog.from, sets.join(QLatin1String(", ")), m_shape.keyWhere(),
                                  checks.join(QLatin1String(" AND ")), m_shape.key.exprs.join(QLatin1String(", ")));
    qint64 newId = id;
    m_statements.guardedWrite([&] {
        QSqlQuery &qq = m_statements.statement(text, QStringLiteral("Cannot update the record"));
        int b = 0;
        for (const QVariant &v : setBinds)
            qq.bindValue(b++, v);
        m_cursor.bindKey(qq, b, id);
        for (const QVariant &v : checkBinds)
            qq.bindValue(b++, v);
        execOrThrow(qq, QStringLiteral("Cannot update the record"));
        int affected = 0;
        while (qq.next()) {
            if (affected++ == 0 && keyChanged)
                newId = m_cursor.readKey(qq);
        }
        checkLastStep(qq, QStringLiteral("Cannot update the record"));
        qq.finish();
        if (affected != 1)
            throw EngineError(affected == 0
                     ? QStringLiteral("The record was changed or deleted by another user. Nothing was updated.")
                     : QStringLiteral("The record is not unique (%1 rows matched).").arg(affected));
    });
    // Written: the table leaves edit before anything else can fail.
    leaveEdit();
    if (newId != id) {
        m_cursor.keys.set(m_cursor.pos, newId);
        m_rows.cache.forget(id);
    }
    m_rows.refetchOne(newId);
    if (!stillMatchesFilter(newId)) {
        // The record left the filtered view: the next one becomes current.
        m_cursor.removeAt(m_cursor.pos);
        if (!m_cursor.ensureKey(m_cursor.pos) && m_cursor.loaded() == 0) {
            m_cursor.pos = -1;
            m_cursor.bof = m_cursor.eof = true;
        } else {
            m_cursor.moveTo(m_cursor.pos);
        }
    }
}

void RowWriter::postInsert()
{
    QStringList cols;
    QStringList marks;
    QVariantList binds;
    for (const auto &f : m_fields) {
        const int i = f->index();
        if (!m_edit.changed.at(i))
            continue;
        cols << quoteIdent(f->fieldName());
        marks << QStringLiteral("?");
        binds << bindable(i, m_edit.values.at(i));
    }
    QString text = cols.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_shape.catalog.from)
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
              .arg(m_shape.catalog.from, cols.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
    text += QLatin1String(" RETURNING ") + m_shape.key.exprs.join(QLatin1String(", "));
    qint64 id = 0;
    m_statements.guardedWrite([&] {
        QSqlQuery &qq = m_statements.statement(text, QStringLiteral("Cannot insert the record"));
        for (int i = 0; i < binds.size(); ++i)
            qq.bindValue(i, binds.at(i));
        execOrThrow(qq, QStringLiteral("Cannot insert the record"));
        if (!qq.next()) {
            qq.finish();
            throw EngineError(QStringLiteral("Cannot insert the record: no key returned."));
        }
        id = m_cursor.readKey(qq);
        while (qq.next()) {
        }
        checkLastStep(qq, QStringLiteral("Cannot insert the record"));
        qq.finish();
    });
    leaveEdit();
    const int at = m_edit.appending ? m_cursor.rowTotal() : m_edit.insertPos;
    m_cursor.keys.insertAt(at, id);
    if (m_cursor.recordCount >= 0)
        ++m_cursor.recordCount;
    m_cursor.pos = at;
    m_rows.refetchOne(id);
}

void RowWriter::deleteCurrent()
{
    const qint64 id = m_cursor.keys.at(m_cursor.pos);
    QStringList checks;
    QVariantList checkBinds;
    const QVariantList &read = m_rows.row(m_cursor.pos);
    matchAsRead(read, QVector<bool>(int(m_fields.size()), false), checks, checkBinds);
    QString text = QStringLiteral("DELETE FROM %1 WHERE %2").arg(m_shape.catalog.from, m_shape.keyWhere());
    if (!checks.isEmpty())
        text += QLatin1String(" AND ") + checks.join(QLatin1String(" AND "));
    QSqlQuery &qq = m_statements.statement(text, QStringLiteral("Cannot delete the record"));
    int b = 0;
    m_cursor.bindKey(qq, b, id);
    for (const QVariant &v : checkBinds)
        qq.bindValue(b++, v);
    int affected = 0;
    m_statements.guardedWrite([&] {
        execOrThrow(qq, QStringLiteral("Cannot delete the record"));
        affected = qq.numRowsAffected();
        qq.finish();
    });
    if (affected < 1)
        throw EngineError(checks.isEmpty() ? QStringLiteral("The record was already deleted by another user.")
                              : QStringLiteral("The record was changed or deleted by another user. Nothing was deleted."));
    m_cursor.removeAt(m_cursor.pos);
    if (m_cursor.recordCount > 0)
        --m_cursor.recordCount;
}

void RowWriter::leaveEdit()
{
    if (m_leaveEdit)
        m_leaveEdit();
}

} // namespace pelldrake::engine
