// The row values of the table cursor.
#include "engine/row_source.h"

#include "engine/engine_error.h"
#include "engine/keyset_cursor.h"
#include "engine/query_shape.h"
#include "engine/table_statements.h"

#include <QSqlError>
#include <algorithm>

namespace pelldrake::engine {

void RowSource::clear()
{
    cache.clear();
    m_lastAccess = -1;
}

QVariantList RowSource::readRow(const QSqlQuery &qq, int offset) const
{
    const int nf = m_shape.columnCount();
    QVariantList values;
    values.reserve(nf);
    for (int i = 0; i < nf; ++i)
        values << qq.value(offset + i);
    return values;
}

QString RowSource::fetchSql(int n) const
{
    const KeyChoice &key = m_shape.key;
    QString text = QStringLiteral("SELECT %1 FROM %2 WHERE ").arg(m_shape.selectList(), m_shape.catalog.from);
    if (key.intKey) {
        QStringList marks;
        for (int i = 0; i < n; ++i)
            marks << QStringLiteral("?");
        text += key.exprs.first() + QLatin1String(" IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    } else {
        QStringList groups;
        for (int i = 0; i < n; ++i)
            groups << QLatin1Char('(') + m_shape.keyWhere() + QLatin1Char(')');
        text += groups.join(QLatin1String(" OR "));
    }
    return text;
}

// Reads the rows of an executed query; to the window when `toWindow`, else to the cache.
void RowSource::storeRows(QSqlQuery &qq, bool toWindow)
{
    const int inRow = m_shape.keyInRow();
    const int keyParts = inRow >= 0 ? 0 : int(m_shape.key.exprs.size());
    while (qq.next()) {
        const qint64 id = inRow >= 0 ? qq.value(inRow).toLongLong() : m_cursor.readKey(qq);
        QVariantList row = readRow(qq, keyParts);
        if (toWindow)
            cache.addToWindow(id, std::move(row));
        else
            cache.insert(id, std::move(row));
    }
    const QSqlError cut = qq.lastError();
    if (toWindow)
        cache.endWindow(); // the rows read are right; the window only ends early
    qq.finish();
    if (cut.isValid())
        throw EngineError(QStringLiteral("Cannot read the records: ") + errorText(cut));
}

// Integer keys close together (the usual case: the natural order or a fresh table) are read
// with one range scan into the window instead of a list of lookups. So is a page of a filtered
// view in the key's own order: its keys are the rows of their range that pass the filter.
bool RowSource::fetchRange(const std::vector<qint64> &want, bool &filteredRange)
{
    filteredRange = false;
    const KeyChoice &key = m_shape.key;
    if (!key.intKey || want.size() < 8)
        return false;
    const auto [lo, hi] = std::minmax_element(want.begin(), want.end());
    // Unsigned: rowids from both ends of the 64-bit range must not overflow the difference.
    if (quint64(*hi) - quint64(*lo) >= quint64(want.size()) * 2) {
        if (!m_shape.seekOrder || m_shape.where.isEmpty())
            return false;
        filteredRange = true;
    }
    QString text = QStringLiteral("SELECT %1 FROM %2 WHERE %3 >= ? AND %3 <= ?")
                       .arg(m_shape.selectList(), m_shape.catalog.from, key.exprs.first());
    if (filteredRange)
        text += QLatin1String(" AND ") + m_shape.where;
    QSqlQuery &qq = m_statements.statement(text + QLatin1String(" ORDER BY ") + key.orderExprs.first(),
                                           QStringLiteral("Cannot read the records"));
    qq.bindValue(0, QVariant(*lo));
    qq.bindValue(1, QVariant(*hi));
    if (filteredRange)
        for (int i = 0; i < m_shape.whereBinds.size(); ++i)
            qq.bindValue(2 + i, m_shape.whereBinds.at(i));
    execOrThrow(qq, QStringLiteral("Cannot read the records"));
    cache.beginWindow();
    storeRows(qq, true);
    return true;
}

void RowSource::fetchList(const std::vector<qint64> &want)
{
    const int n = m_shape.pageSize();
    const bool single = want.size() == 1;
    QSqlQuery &qq = m_statements.statement(fetchSql(single ? 1 : n), QStringLiteral("Cannot read the records"));
    int b = 0;
    for (int i = 0; i < (single ? 1 : n); ++i)
        m_cursor.bindKey(qq, b, want[std::min(size_t(i), want.size() - 1)]);
    execOrThrow(qq, QStringLiteral("Cannot read the records"));
    storeRows(qq, false);
}

// Reads the rows of `want` (keys in keyset order; the row asked for is the first, or the last
// when walking backwards): all of them when they make one range, else the list page of them
// next to the row asked for.
void RowSource::fetch(std::vector<qint64> want, bool backwards)
{
    if (want.empty())
        return;
    const int nf = m_shape.columnCount();
    const size_t listPage = size_t(m_shape.pageSize());
    const auto listRead = [&](std::vector<qint64> &ids) {
        if (ids.size() > listPage) {
            if (backwards)
                ids.erase(ids.begin(), ids.end() - qint64(listPage));
            else
                ids.resize(listPage);
        }
        cache.makeRoom(int(ids.size()));
        fetchList(ids);
    };
    bool filteredRange = false;
    if (!fetchRange(want, filteredRange)) {
        listRead(want);
    } else if (filteredRange) {
        // A row changed since its key was read may no longer pass the filter: read it by key.
        std::vector<qint64> missing;
        for (qint64 id : want)
            if (!cache.lookup(id))
                missing.push_back(id);
        if (!missing.empty())
            listRead(missing);
        want = std::move(missing);
    }
    // A row deleted by someone else reads as empty rather than being fetched again and again.
    for (qint64 id : want)
        if (!cache.lookup(id))
            cache.insert(id, QVariantList(nf));
}

const QVariantList &RowSource::row(int p)
{
    const Keyset &keys = m_cursor.keys;
    const qint64 id = keys.at(p);
    if (const QVariantList *r = cache.lookup(id)) {
        m_lastAccess = p;
        return *r;
    }
    const int n = m_shape.rangePage();
    const bool backwards = m_lastAccess >= 0 && p < m_lastAccess; // read the page behind
    const int from0 = std::max(backwards ? p - n + 1 : p, 0);
    const int to = std::min(backwards ? p : p + n - 1, keys.loaded() - 1);
    std::vector<qint64> want;
    for (int i = from0; i <= to; ++i) {
        const qint64 k = keys.at(i);
        if (!cache.lookup(k))
            want.push_back(k);
    }
    fetch(std::move(want), backwards);
    m_lastAccess = p;
    return *cache.lookup(id);
}

void RowSource::refetchOne(qint64 id)
{
    cache.forget(id);
    fetch({id}, false);
}

} // namespace pelldrake::engine
