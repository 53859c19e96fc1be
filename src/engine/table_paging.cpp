// Keyset paging and the row values of the table cursor.
#include "engine/table_private.h"

#include "engine/filter.h"

#include <QSqlRecord>
#include <algorithm>
#include <limits>
#include <optional>

namespace pelldrake::engine {

qint64 Table::Private::readKey(const QSqlQuery &qq, int first)
{
    if (key.intKey)
        return qq.value(first).toLongLong();
    QVariantList k;
    k.reserve(key.exprs.size());
    for (int i = 0; i < key.exprs.size(); ++i)
        k << qq.value(first + i);
    return keyStore.idFor(k);
}

// Key values go back exactly as they were read: no text form, no rounding.
void Table::Private::bindKey(QSqlQuery &qq, int &index, qint64 id)
{
    if (key.intKey) {
        qq.bindValue(index++, QVariant(id));
        return;
    }
    for (const QVariant &v : keyStore.key(id))
        qq.bindValue(index++, v);
}

// Field whose value is the (integer) key, so row reads need not select the key twice.
int Table::Private::keyInRow() const
{
    return key.intKey && key.fieldIndex.size() == 1 ? key.fieldIndex.first() : -1;
}

QString Table::Private::selectList() const
{
    QStringList cols;
    if (keyInRow() < 0)
        cols = key.exprs;
    for (const ColumnInfo &c : catalog.columns)
        cols << readExpression(dialect, c);
    return cols.join(QLatin1String(", "));
}

void Table::Private::applyOrder()
{
    indexFields.clear();
    QStringList parts;
    if (!indexName.isEmpty()) {
        const IndexDef *def = nullptr;
        for (const IndexDef &d : catalog.indexes)
            if (d.name == indexName)
                def = &d;
        if (!def)
            for (const IndexDef &d : catalog.indexes)
                if (d.name.compare(indexName, Qt::CaseInsensitive) == 0)
                    def = &d;
        if (!def) {
            for (auto it = catalog.refused.cbegin(); it != catalog.refused.cend(); ++it)
                if (it.key().compare(indexName, Qt::CaseInsensitive) == 0)
                    fail(it.value());
            fail(QStringLiteral("Index '%1' does not exist for table '%2'.").arg(indexName, tableName));
        }
        indexFields = def->fields.split(QLatin1Char(';'));
        parts = catalog.orderBy.value(def->name);
        // The integer key's own ascending index: the plain key order, which pages by seeking.
        if (key.intKey && indexFields.size() == 1 && !key.fieldNames.isEmpty()
            && indexFields.first().compare(key.fieldNames.first(), Qt::CaseInsensitive) == 0
            && !parts.first().contains(QLatin1String(" DESC")))
            parts = QStringList{key.orderExprs.first()};
    }
    for (int i = 0; i < key.orderExprs.size(); ++i) {
        const QString name = i < key.fieldNames.size() ? key.fieldNames.at(i) : QString();
        const bool inIndex = !name.isEmpty()
            && std::any_of(indexFields.begin(), indexFields.end(),
                           [&](const QString &f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
        if (!inIndex && !parts.contains(key.orderExprs.at(i)))
            parts << key.orderExprs.at(i);
    }
    orderBy = parts.join(QLatin1String(", "));
    seekOrder = key.intKey && key.orderExprs.size() == 1 && orderBy == key.orderExprs.first();
}

void Table::Private::applyFilter()
{
    where.clear();
    whereBinds.clear();
    if (!filtered || filterText.trimmed().isEmpty())
        return;
    const auto node = parseFilter(filterText);
    const CompiledFilter c = compileFilter(*node, dialect, [this](const QString &n) {
        const int fi = fieldIndex(n);
        if (fi < 0)
            fail(QStringLiteral("Field '%1' not found.").arg(n));
        return quoteIdent(fields[size_t(fi)]->fieldName());
    }, [this](const QString &n) {
        if (dialect != Dialect::Postgres)
            return TextOrder::NotText;
        if (!textOrders)
            textOrders = postgresTextOrders(sql(), catalog.from);
        return textOrders->value(fields[size_t(fieldIndex(n))]->fieldName(), TextOrder::NotText);
    });
    // PostgreSQL text cannot hold a NUL character; say so instead of passing on the driver's
    // message about an invalid byte sequence.
    if (dialect == Dialect::Postgres)
        for (const QVariant &v : c.binds)
            if (v.metaType().id() == QMetaType::QString && v.toString().contains(QChar(0)))
                fail(QStringLiteral("A filter value cannot contain a NUL character."));
    where = c.sql;
    whereBinds = c.binds;
}

qint64 Table::Private::countRows()
{
    QSqlQuery qq = exec(QStringLiteral("SELECT count(*) FROM %1").arg(catalog.from), {},
                        QStringLiteral("Cannot count the records"));
    if (!qq.next())
        fail(QStringLiteral("Cannot count the records: ") + errorText(qq.lastError()));
    return qq.value(0).toLongLong();
}

qint64 Table::Private::records()
{
    if (recordCount < 0)
        recordCount = keys.complete() && where.isEmpty() ? loaded() : countRows();
    return recordCount;
}

// Rows of the current filter and order as far as they are known: an unfiltered table knows its
// count (one count(*)); a filtered view knows the rows read so far, and learns the rest as moves
// and views read further pages (counting them would mean reading them all).
int Table::Private::rowTotal()
{
    if (keys.complete() || !where.isEmpty())
        return loaded();
    return int(std::min<qint64>(records(), std::numeric_limits<int>::max()));
}

QVariantList Table::Private::readRow(const QSqlQuery &qq, int offset) const
{
    const int nf = int(fields.size());
    QVariantList values;
    values.reserve(nf);
    for (int i = 0; i < nf; ++i)
        values << qq.value(offset + i);
    return values;
}

// Reads the next `limit` keys (all the rest when limit <= 0) after those read so far; with
// `withValues` their rows too, so the first screen costs one query.
void Table::Private::readKeys(qint64 limit, bool withValues)
{
    if (keys.complete())
        return;
    QString text = QStringLiteral("SELECT %1 FROM %2")
                       .arg(withValues ? selectList() : key.exprs.join(QLatin1String(", ")), catalog.from);
    QStringList conditions;
    QVariantList binds = whereBinds;
    if (!where.isEmpty())
        conditions << where;
    const bool seek = seekOrder && keys.anyRead();
    if (seek) {
        conditions << key.orderExprs.first() + QLatin1String(" > ?");
        binds << QVariant(keys.seekAfter());
    }
    if (!conditions.isEmpty())
        text += QLatin1String(" WHERE ") + conditions.join(QLatin1String(" AND "));
    text += QLatin1String(" ORDER BY ") + orderBy;
    const qint64 offset = keys.readOffset();
    if (limit > 0)
        text += QStringLiteral(" LIMIT %1").arg(limit);
    else if (!seek && offset > 0 && dialect == Dialect::Sqlite)
        text += QLatin1String(" LIMIT -1");
    if (!seek && offset > 0)
        text += QStringLiteral(" OFFSET %1").arg(offset);
    // Page after page of a walk runs the same text: prepared once. Texts with an offset or an
    // odd limit vary and are run once.
    const bool stable = (seek || !keys.anyRead()) && (limit == seekPage() || limit == kFirstRows);
    std::optional<QSqlQuery> once;
    QSqlQuery *query = nullptr;
    if (stable) {
        query = &statement(text, QStringLiteral("Cannot read the records"));
        for (int i = 0; i < binds.size(); ++i)
            query->bindValue(i, binds.at(i));
        execOrThrow(*query, QStringLiteral("Cannot read the records"));
    } else {
        once.emplace(exec(text, binds, QStringLiteral("Cannot read the records")));
        query = &*once;
    }
    QSqlQuery &qq = *query;
    keys.compact();
    if (limit <= 0 && where.isEmpty() && recordCount > loaded())
        keys.reserve(size_t(recordCount));
    qint64 got = 0;
    if (withValues) {
        // In the key's order the rows arrive sorted by key: they become the window.
        const bool toWindow = seekOrder;
        if (toWindow)
            rows.beginWindow();
        const int inRow = keyInRow();
        const int keyParts = inRow >= 0 ? 0 : int(key.exprs.size());
        while (qq.next()) {
            const qint64 id = inRow >= 0 ? qq.value(inRow).toLongLong() : readKey(qq);
            QVariantList values = readRow(qq, keyParts);
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
        fail(QStringLiteral("Cannot read the records: ") + errorText(cut));
    keys.pageRead(got, limit, key.intKey);
    if (keys.complete() && where.isEmpty())
        recordCount = loaded();
}

// Reads keys until position p is known (or the keyset is complete). In the key's own order
// each page continues after the last key read, so a walk reads page after page with the rows
// along (one pass over the table). Otherwise a page starts at an offset; pages then grow with
// the keys read, so a walk to the end costs a few queries, not one per page.
bool Table::Private::ensureKey(int p)
{
    if (p < 0)
        return false;
    while (p >= loaded() && !keys.complete()) {
        const qint64 ahead = qint64(p) + 1 - loaded();
        if (seekOrder && ahead <= seekPage())
            readKeys(seekPage(), true);
        else
            readKeys(std::max<qint64>(ahead + kPrefixKeys, std::max(loaded(), kPrefixKeys)));
    }
    return p < loaded();
}

// One more page for a view that scrolled to the last row it knows.
void Table::Private::readMoreKeys()
{
    if (keys.complete())
        return;
    if (seekOrder)
        readKeys(seekPage(), true); // the view paints these rows next
    else
        readKeys(std::max(loaded(), kPrefixKeys));
}

void Table::Private::rebuildKeyset()
{
    dropCache();
    lastAccess = -1;
    keys.reset();
    keyStore.clear();
    readKeys(kFirstRows, true);
}

QString Table::Private::fetchSql(int n)
{
    QString text = QStringLiteral("SELECT %1 FROM %2 WHERE ").arg(selectList(), catalog.from);
    if (key.intKey) {
        QStringList marks;
        for (int i = 0; i < n; ++i)
            marks << QStringLiteral("?");
        text += key.exprs.first() + QLatin1String(" IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    } else {
        QStringList groups;
        for (int i = 0; i < n; ++i)
            groups << QLatin1Char('(') + keyWhere() + QLatin1Char(')');
        text += groups.join(QLatin1String(" OR "));
    }
    return text;
}

// Reads the rows of an executed query; to the window when `toWindow`, else to the cache.
void Table::Private::storeRows(QSqlQuery &qq, bool toWindow)
{
    const int inRow = keyInRow();
    const int keyParts = inRow >= 0 ? 0 : int(key.exprs.size());
    while (qq.next()) {
        const qint64 id = inRow >= 0 ? qq.value(inRow).toLongLong() : readKey(qq);
        QVariantList row = readRow(qq, keyParts);
        if (toWindow)
            rows.addToWindow(id, std::move(row));
        else
            rows.insert(id, std::move(row));
    }
    const QSqlError cut = qq.lastError();
    if (toWindow)
        rows.endWindow(); // the rows read are right; the window only ends early
    qq.finish();
    if (cut.isValid())
        fail(QStringLiteral("Cannot read the records: ") + errorText(cut));
}

// Integer keys close together (the usual case: the natural order or a fresh table) are read
// with one range scan into the window instead of a list of lookups. So is a page of a filtered
// view in the key's own order: its keys are the rows of their range that pass the filter.
bool Table::Private::fetchRange(const std::vector<qint64> &want, bool &filteredRange)
{
    filteredRange = false;
    if (!key.intKey || want.size() < 8)
        return false;
    const auto [lo, hi] = std::minmax_element(want.begin(), want.end());
    // Unsigned: rowids from both ends of the 64-bit range must not overflow the difference.
    if (quint64(*hi) - quint64(*lo) >= quint64(want.size()) * 2) {
        if (!seekOrder || where.isEmpty())
            return false;
        filteredRange = true;
    }
    QString text = QStringLiteral("SELECT %1 FROM %2 WHERE %3 >= ? AND %3 <= ?")
                       .arg(selectList(), catalog.from, key.exprs.first());
    if (filteredRange)
        text += QLatin1String(" AND ") + where;
    QSqlQuery &qq = statement(text + QLatin1String(" ORDER BY ") + key.orderExprs.first(),
                              QStringLiteral("Cannot read the records"));
    qq.bindValue(0, QVariant(*lo));
    qq.bindValue(1, QVariant(*hi));
    if (filteredRange)
        for (int i = 0; i < whereBinds.size(); ++i)
            qq.bindValue(2 + i, whereBinds.at(i));
    execOrThrow(qq, QStringLiteral("Cannot read the records"));
    rows.beginWindow();
    storeRows(qq, true);
    return true;
}

void Table::Private::fetchList(const std::vector<qint64> &want)
{
    const int n = pageSize();
    const bool single = want.size() == 1;
    QSqlQuery &qq = statement(fetchSql(single ? 1 : n), QStringLiteral("Cannot read the records"));
    int b = 0;
    for (int i = 0; i < (single ? 1 : n); ++i)
        bindKey(qq, b, want[std::min(size_t(i), want.size() - 1)]);
    execOrThrow(qq, QStringLiteral("Cannot read the records"));
    storeRows(qq, false);
}

// Reads the rows of `want` (keys in keyset order; the row asked for is the first, or the last
// when walking backwards): all of them when they make one range, else the list page of them
// next to the row asked for.
void Table::Private::fetch(std::vector<qint64> want, bool backwards)
{
    if (want.empty())
        return;
    const int nf = int(fields.size());
    const size_t listPage = size_t(pageSize());
    const auto listRead = [&](std::vector<qint64> &ids) {
        if (ids.size() > listPage) {
            if (backwards)
                ids.erase(ids.begin(), ids.end() - qint64(listPage));
            else
                ids.resize(listPage);
        }
        rows.makeRoom(int(ids.size()));
        fetchList(ids);
    };
    bool filteredRange = false;
    if (!fetchRange(want, filteredRange)) {
        listRead(want);
    } else if (filteredRange) {
        // A row changed since its key was read may no longer pass the filter: read it by key.
        std::vector<qint64> missing;
        for (qint64 id : want)
            if (!rows.lookup(id))
                missing.push_back(id);
        if (!missing.empty())
            listRead(missing);
        want = std::move(missing);
    }
    // A row deleted by someone else reads as empty rather than being fetched again and again.
    for (qint64 id : want)
        if (!rows.lookup(id))
            rows.insert(id, QVariantList(nf));
}

const QVariantList &Table::Private::row(int p)
{
    const qint64 id = keys.at(p);
    if (const QVariantList *r = rows.lookup(id)) {
        lastAccess = p;
        return *r;
    }
    const int n = rangePage();
    const bool backwards = lastAccess >= 0 && p < lastAccess; // read the page behind
    const int from0 = std::max(backwards ? p - n + 1 : p, 0);
    const int to = std::min(backwards ? p : p + n - 1, loaded() - 1);
    std::vector<qint64> want;
    for (int i = from0; i <= to; ++i) {
        const qint64 k = keys.at(i);
        if (!rows.lookup(k))
            want.push_back(k);
    }
    fetch(std::move(want), backwards);
    lastAccess = p;
    return *rows.lookup(id);
}

void Table::Private::refetchOne(qint64 id)
{
    rows.forget(id);
    fetch({id}, false);
}

// Makes row p current, clamped to the rows there are; -1 when there are none. Reads keys only
// as far as p.
void Table::Private::moveTo(int p)
{
    p = std::max(p, 0);
    ensureKey(p);
    if (loaded() == 0) {
        pos = -1;
        return;
    }
    pos = std::min(p, loaded() - 1);
}

// The row at p left the view (deleted, or no longer passing the filter); in the query the next
// page is read from, too.
void Table::Private::removeAt(int p)
{
    rows.forget(keys.at(p));
    keys.removeAt(p);
}

} // namespace pelldrake::engine
