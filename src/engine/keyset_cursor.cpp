// Keyset paging of the table cursor.
#include "engine/keyset_cursor.h"

#include "engine/engine_error.h"
#include "engine/query_shape.h"
#include "engine/row_source.h"
#include "engine/table_statements.h"

#include <QSqlError>
#include <algorithm>
#include <limits>
#include <optional>

namespace pelldrake::engine {

qint64 KeysetCursor::readKey(const QSqlQuery &qq, int first)
{
    const KeyChoice &key = m_shape.key;
    if (key.intKey)
        return qq.value(first).toLongLong();
    QVariantList k;
    k.reserve(key.exprs.size());
    for (int i = 0; i < key.exprs.size(); ++i)
        k << qq.value(first + i);
    return keyStore.idFor(k);
}

// Key values go back exactly as they were read: no text form, no rounding.
void KeysetCursor::bindKey(QSqlQuery &qq, int &index, qint64 id)
{
    if (m_shape.key.intKey) {
        qq.bindValue(index++, QVariant(id));
        return;
    }
    for (const QVariant &v : keyStore.key(id))
        qq.bindValue(index++, v);
}

qint64 KeysetCursor::countRows()
{
    QSqlQuery qq = m_statements.exec(QStringLiteral("SELECT count(*) FROM %1").arg(m_shape.catalog.from), {},
                                     QStringLiteral("Cannot count the records"));
    if (!qq.next())
        throw EngineError(QStringLiteral("Cannot count the records: ") + errorText(qq.lastError()));
    return qq.value(0).toLongLong();
}

qint64 KeysetCursor::countShownRows()
{
    if (!m_shape.hasFilter())
        return records();
    if (keys.complete())
        return loaded();
    QSqlQuery qq = m_statements.exec(
        QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(m_shape.catalog.from, m_shape.where), m_shape.whereBinds,
        QStringLiteral("Cannot count the records"));
    if (!qq.next())
        throw EngineError(QStringLiteral("Cannot count the records: ") + errorText(qq.lastError()));
    return qq.value(0).toLongLong();
}

qint64 KeysetCursor::records()
{
    if (recordCount < 0)
        recordCount = keys.complete() && !m_shape.hasFilter() ? loaded() : countRows();
    return recordCount;
}

// Counting a filtered view would mean reading all its rows: it learns the rest as moves and
// views read further pages.
int KeysetCursor::rowTotal()
{
    if (keys.complete() || m_shape.hasFilter())
        return loaded();
    return int(std::min<qint64>(records(), std::numeric_limits<int>::max()));
}

bool KeysetCursor::rowTotalKnown() const
{
    return keys.complete() || m_shape.hasFilter() || recordCount >= 0;
}

void KeysetCursor::readKeys(qint64 limit, bool withValues)
{
    if (keys.complete())
        return;
    const QueryShape &s = m_shape;
    QString text = QStringLiteral("SELECT %1 FROM %2")
                       .arg(withValues ? s.selectList() : s.key.exprs.join(QLatin1String(", ")), s.catalog.from);
    QStringList conditions;
    QVariantList binds = s.whereBinds;
    if (!s.where.isEmpty())
        conditions << s.where;
    const bool seek = s.seekOrder && keys.anyRead();
    if (seek) {
        conditions << s.key.orderExprs.first() + QLatin1String(" > ?");
        binds << QVariant(keys.seekAfter());
    }
    if (limit > 0 && limit <= 1000 && !keys.anyRead() && s.dialect == Dialect::Postgres && s.orderBy == rowAddressOrder()) {
        if (const QString bound = firstBlocksBound(limit, conditions, binds); !bound.isEmpty())
            conditions << bound;
    }
    if (!conditions.isEmpty())
        text += QLatin1String(" WHERE ") + conditions.join(QLatin1String(" AND "));
    text += QLatin1String(" ORDER BY ") + s.orderBy;
    const qint64 offset = keys.readOffset();
    if (limit > 0)
        text += QStringLiteral(" LIMIT %1").arg(limit);
    else if (!seek && offset > 0 && s.dialect == Dialect::Sqlite)
        text += QLatin1String(" LIMIT -1");
    if (!seek && offset > 0)
        text += QStringLiteral(" OFFSET %1").arg(offset);
    // Page after page of a walk runs the same text: prepared once. Texts with an offset or an
    // odd limit vary and are run once.
    const bool stable = (seek || !keys.anyRead()) && (limit == s.seekPage() || limit == QueryShape::kFirstRows);
    std::optional<QSqlQuery> once;
    QSqlQuery *query = nullptr;
    if (stable) {
        query = &m_statements.statement(text, QStringLiteral("Cannot read the records"));
        for (int i = 0; i < binds.size(); ++i)
            query->bindValue(i, binds.at(i));
        execOrThrow(*query, QStringLiteral("Cannot read the records"));
    } else {
        once.emplace(m_statements.exec(text, binds, QStringLiteral("Cannot read the records")));
        query = &*once;
    }
    QSqlQuery &qq = *query;
    keys.compact();
    if (limit <= 0 && s.where.isEmpty() && recordCount > loaded())
        keys.reserve(size_t(recordCount));
    qint64 got = 0;
    if (withValues) {
        // In the key's order the rows arrive sorted by key: they become the window.
        RowCache &rows = m_rows.cache;
        const bool toWindow = s.seekOrder;
        if (toWindow)
            rows.beginWindow();
        const int inRow = s.keyInRow();
        const int keyParts = inRow >= 0 ? 0 : int(s.key.exprs.size());
        while (qq.next()) {
            const qint64 id = inRow >= 0 ? qq.value(inRow).toLongLong() : readKey(qq);
            QVariantList values = m_rows.readRow(qq, keyParts);
            if (toWindow) {
                rows.addToWindow(id, std::move(values));
            } else {
                rows.forget(id);
                rows.insert(id, std::move(values));
            }
            keys.append(id);
            ++got;
        }
        if (toWindow)
            rows.endWindow();
    } else {
        while (qq.next()) {
            keys.append(readKey(qq));
            ++got;
        }
    }
    // A read cut short by an error must not pass for the end of the table (a complete keyset, a
    // count): the keys read so far are real, the next page starts after them.
    const QSqlError cut = qq.lastError();
    qq.finish();
    if (cut.isValid())
        throw EngineError(QStringLiteral("Cannot read the records: ") + errorText(cut));
    keys.pageRead(got, limit, s.key.intKey);
    if (keys.complete() && s.where.isEmpty())
        recordCount = loaded();
}

// A keyless PostgreSQL table is read in row-address order, which no index serves: its first page
// asked plainly has the server sort the whole table. The first rows by address lie in the first
// blocks, so the page is read from the smallest of a few block ranges that holds it (a TID range
// scan from PostgreSQL 14 on); empty when only the whole table does.
QString KeysetCursor::firstBlocksBound(qint64 limit, const QStringList &conditions, const QVariantList &binds)
{
    for (const int blocks : {64, 8192}) {
        const QString bound = QStringLiteral("ctid < '(%1,0)'::tid").arg(blocks);
        const QString text = QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 WHERE %2 LIMIT %3) AS first_rows")
                                 .arg(m_shape.catalog.from, (QStringList(conditions) << bound).join(QLatin1String(" AND ")))
                                 .arg(limit);
        QSqlQuery q = m_statements.exec(text, binds, QStringLiteral("Cannot read the records"));
        if (q.next() && q.value(0).toLongLong() >= limit)
            return bound;
    }
    return {};
}

// In the key's own order each page continues after the last key read, so a walk reads page
// after page with the rows along (one pass over the table). Otherwise a page starts at an
// offset; pages then grow with the keys read, so a walk to the end costs a few queries, not one
// per page.
bool KeysetCursor::ensureKey(int p)
{
    if (p < 0)
        return false;
    while (p >= loaded() && !keys.complete()) {
        const qint64 ahead = qint64(p) + 1 - loaded();
        if (m_shape.seekOrder && ahead <= m_shape.seekPage())
            readKeys(m_shape.seekPage(), true);
        else
            readKeys(std::max<qint64>(ahead + QueryShape::kPrefixKeys, std::max(loaded(), QueryShape::kPrefixKeys)));
    }
    return p < loaded();
}

void KeysetCursor::readMoreKeys()
{
    if (keys.complete())
        return;
    if (m_shape.seekOrder)
        readKeys(m_shape.seekPage(), true); // the view paints these rows next
    else
        readKeys(std::max(loaded(), QueryShape::kPrefixKeys));
}

void KeysetCursor::rebuild()
{
    m_rows.clear();
    keys.reset();
    keyStore.clear();
    readKeys(QueryShape::kFirstRows, true);
}

void KeysetCursor::reset()
{
    m_rows.clear();
    keys.reset();
    keyStore.clear();
    recordCount = -1;
    pos = -1;
    bof = eof = true;
}

int KeysetCursor::locate(qint64 id, const QVariantList &keyValues)
{
    auto find = [&] {
        const qint64 now = m_shape.key.intKey ? id : keyStore.find(keyValues);
        return now < 0 ? -1 : keys.find(now);
    };
    int at = find();
    if (at < 0 && !keys.complete()) {
        loadAllKeys();
        at = find();
    }
    return at;
}

// Reads keys only as far as p.
void KeysetCursor::moveTo(int p)
{
    p = std::max(p, 0);
    ensureKey(p);
    if (loaded() == 0) {
        pos = -1;
        return;
    }
    pos = std::min(p, loaded() - 1);
}

// Also in the query the next page is read from.
void KeysetCursor::removeAt(int p)
{
    m_rows.cache.forget(keys.at(p));
    keys.removeAt(p);
}

} // namespace pelldrake::engine
