#include "app/engine/table.h"

#include "app/engine/database.h"
#include "app/engine/engine_error.h"
#include "app/engine/filter.h"
#include "app/engine/session.h"
#include "app/engine/sql_util.h"
#include "app/engine/values.h"

#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QSqlRecord>
#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <unordered_map>

namespace pelldrake::engine {

namespace {

constexpr int kIntPage = 500;   // rows per value fetch with integer keys
constexpr int kCompPage = 40;   // rows per value fetch with composite keys
constexpr int kFirstRows = 60;   // rows (keys and values) read at open or filter: a screen or two
constexpr int kPrefixKeys = 500; // keys per further page, as moves and views need them
constexpr int kCacheRows = 4000;

struct Column {
    QString name;
    QString decl;
    bool notNull = false;
    bool hasDefault = false;
    bool readOnly = false;
    int pk = 0;
};

} // namespace

struct Table::Private {
    Table *q;
    QPointer<Session> session;
    QString alias;
    QString tableName;
    QString indexName;
    QString filterText;
    bool filtered = false;

    // Open state.
    QPointer<Database> db;
    QMetaObject::Connection dbConnection;
    Dialect dialect = Dialect::Sqlite;
    bool active = false;
    QString schema;
    QString name;
    QString from; // quoted "schema"."name"
    std::vector<std::unique_ptr<Field>> fields;
    QList<IndexDef> indexes;
    QStringList indexFields;
    QString orderBy;
    QString where;
    QVariantList whereBinds;

    // Row identity.
    bool intKey = true;
    QStringList keyExprs;       // selects the key parts
    QStringList keyMatch;       // "<expr> = ?" per part
    QStringList keyFieldNames;  // the key's columns (empty for rowid / ctid)
    QVector<int> keyFieldIndex; // field per key part, -1 for rowid / ctid
    QVector<int> keyTypes;      // field type per key part
    int rowidAliasField = -1;   // SQLite INTEGER PRIMARY KEY column
    bool canModify = false;

    // Keyset of the current filter and order: positions [head, ids.size()). It is read in pages
    // as moves and views need them; keysComplete once the last page came back short.
    std::vector<qint64> ids;
    size_t head = 0;
    bool keysComplete = false;
    // Where the next page starts: after key `seekAfter` when the order is the integer key alone
    // (an index seek, whatever happened to the rows read), else after `readOffset` rows of the
    // query, which is kept in step as rows read leave the view.
    bool seekOrder = false;
    bool anyKeyRead = false;
    qint64 seekAfter = 0;
    qint64 readOffset = 0;
    std::vector<QVariantList> compKeys; // composite keys by id
    QHash<QString, qint64> compIndex;
    int recordCount = -1; // counted when first asked for, then kept up to date
    int pos = -1;
    bool bof = true;
    bool eof = true;
    int lastAccess = -1;
    QHash<qint64, QVariantList> cache;
    std::vector<QVariantList> win; // the last range read, sorted by key
    std::vector<qint64> winIds;
    std::vector<char> winValid;
    int winHint = 0;

    // Edit buffer.
    TableState state = TableState::Inactive;
    QVariantList buffer;
    QVector<bool> changed;
    bool modified = false;
    bool appending = true;
    int insertPos = 0;
    int savedPos = -1;

    int lock = 0;
    std::unordered_map<std::string, std::unique_ptr<QSqlQuery>> statements;

    explicit Private(Table *t, Session *s) : q(t), session(s) {}

    // ---- helpers -------------------------------------------------------------------------
    QSqlDatabase sql() const { return db->sqlDatabase(); }
    int loaded() const { return int(ids.size() - head); }
    int pageSize() const { return intKey ? kIntPage : kCompPage; }
    QString nullSafeEq() const
    {
        return dialect == Dialect::Sqlite ? QStringLiteral("%1 IS ?")
                                          : QStringLiteral("%1 IS NOT DISTINCT FROM ?");
    }

    [[noreturn]] void fail(const QString &msg) const { throw EngineError(msg); }

    void requireActive() const
    {
        if (!active)
            fail(QStringLiteral("Table is not open."));
    }

    QSqlQuery &statement(const QString &sqlText, const QString &context)
    {
        const std::string key = sqlText.toStdString();
        auto it = statements.find(key);
        if (it != statements.end())
            return *it->second;
        auto query = std::make_unique<QSqlQuery>(sql());
        query->setForwardOnly(true);
        query->setNumericalPrecisionPolicy(QSql::HighPrecision);
        prepareOrThrow(*query, sqlText, context);
        QSqlQuery &ref = *query;
        statements.emplace(key, std::move(query));
        return ref;
    }

    QSqlQuery exec(const QString &sqlText, const QVariantList &binds, const QString &context)
    {
        return runQuery(sql(), sqlText, binds, context);
    }

    void plain(const QString &text)
    {
        QSqlQuery qq(sql());
        if (!qq.exec(text))
            fail(errorText(qq.lastError()));
    }

    // Inside a batch transaction a failed statement aborts a PostgreSQL transaction, and with it
    // every record posted earlier in the batch. A savepoint per write keeps those.
    template <class F>
    void guardedWrite(F &&write)
    {
        const bool savepoint = dialect == Dialect::Postgres && db->inTransaction();
        if (savepoint)
            plain(QStringLiteral("SAVEPOINT pelldrake_write"));
        try {
            write();
        } catch (...) {
            if (savepoint) {
                try {
                    plain(QStringLiteral("ROLLBACK TO SAVEPOINT pelldrake_write"));
                } catch (const EngineError &) {
                    // The original error is the one worth reporting.
                }
            }
            throw;
        }
        if (savepoint)
            plain(QStringLiteral("RELEASE SAVEPOINT pelldrake_write"));
    }

    qint64 idFor(const QVariantList &key)
    {
        QString s;
        for (const QVariant &v : key) {
            s += v.isNull() ? QStringLiteral("\x01") : v.toString();
            s += QChar(0x1f);
        }
        auto it = compIndex.constFind(s);
        if (it != compIndex.constEnd())
            return *it;
        const qint64 id = qint64(compKeys.size());
        compKeys.push_back(key);
        compIndex.insert(s, id);
        return id;
    }

    QVariantList keyValues(qint64 id) const
    {
        if (intKey)
            return {QVariant(id)};
        return compKeys.at(size_t(id));
    }

    QString keyWhere() const { return keyMatch.join(QLatin1String(" AND ")); }

    // Field whose value is the (integer) key, so row reads need not select the key twice.
    int keyInRow() const
    {
        return intKey && keyFieldIndex.size() == 1 ? keyFieldIndex.first() : -1;
    }

    QString selectList() const
    {
        QStringList cols;
        if (keyInRow() < 0)
            cols = keyExprs;
        for (const auto &f : fields)
            cols << quoteIdent(f->fieldName());
        return cols.join(QLatin1String(", "));
    }

    qint64 readKey(const QSqlQuery &qq)
    {
        if (intKey)
            return qq.value(0).toLongLong();
        QVariantList key;
        for (int i = 0; i < keyExprs.size(); ++i)
            key << qq.value(i);
        return idFor(key);
    }

    // ---- metadata ------------------------------------------------------------------------
    void resolveSqlite()
    {
        QStringList schemas;
        {
            QSqlQuery qq = exec(QStringLiteral("SELECT name FROM pragma_database_list"), {},
                                QStringLiteral("Cannot read the database list"));
            while (qq.next())
                schemas << qq.value(0).toString();
        }
        auto lookup = [&](const QString &sch, const QString &tbl) -> QString {
            QSqlQuery qq = exec(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type = 'table' "
                                               "AND name = ? COLLATE NOCASE")
                                    .arg(quoteIdent(sch)),
                                {tbl}, QStringLiteral("Cannot read the table list"));
            return qq.next() ? qq.value(0).toString() : QString();
        };
        QString found = lookup(QStringLiteral("main"), tableName);
        if (!found.isEmpty()) {
            schema = QStringLiteral("main");
            name = found;
            return;
        }
        const int dot = tableName.indexOf(QLatin1Char('.'));
        if (dot > 0) {
            const QString sch = tableName.left(dot);
            for (const QString &s : schemas) {
                if (s.compare(sch, Qt::CaseInsensitive) == 0) {
                    found = lookup(s, tableName.mid(dot + 1));
                    if (!found.isEmpty()) {
                        schema = s;
                        name = found;
                        return;
                    }
                }
            }
        }
        fail(QStringLiteral("Table '%1' does not exist.").arg(tableName));
    }

    QString resolvePostgres()
    {
        const QString base = QStringLiteral(
            "SELECT c.oid, n.nspname, c.relname FROM pg_catalog.pg_class c "
            "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
            "WHERE c.relkind IN ('r', 'p', 'm') ");
        auto lookup = [&](const QString &sch, const QString &tbl) -> QString {
            QSqlQuery qq = sch.isEmpty()
                ? exec(base + QStringLiteral("AND c.relname = CAST(? AS text) AND pg_catalog.pg_table_is_visible(c.oid)"),
                       {tbl}, QStringLiteral("Cannot read the table list"))
                : exec(base + QStringLiteral("AND c.relname = CAST(? AS text) AND n.nspname = CAST(? AS text)"),
                       {tbl, sch}, QStringLiteral("Cannot read the table list"));
            if (!qq.next())
                return {};
            schema = qq.value(1).toString();
            name = qq.value(2).toString();
            return qq.value(0).toString();
        };
        QString oid = lookup(QString(), tableName);
        if (oid.isEmpty() && tableName != tableName.toLower())
            oid = lookup(QString(), tableName.toLower());
        const int dot = tableName.indexOf(QLatin1Char('.'));
        if (oid.isEmpty() && dot > 0) {
            const QString sch = tableName.left(dot);
            const QString tbl = tableName.mid(dot + 1);
            oid = lookup(sch, tbl);
            if (oid.isEmpty())
                oid = lookup(sch.toLower(), tbl.toLower());
        }
        if (oid.isEmpty())
            fail(QStringLiteral("Table '%1' does not exist.").arg(tableName));
        return oid;
    }

    QList<Column> sqliteColumns()
    {
        QList<Column> cols;
        QSqlQuery qq = exec(QStringLiteral("SELECT name, type, \"notnull\", dflt_value, pk "
                                           "FROM pragma_table_info(?, ?) ORDER BY cid"),
                            {name, schema}, QStringLiteral("Cannot read the fields"));
        while (qq.next()) {
            Column c;
            c.name = qq.value(0).toString();
            c.decl = qq.value(1).toString();
            c.notNull = qq.value(2).toInt() != 0;
            c.hasDefault = !qq.value(3).isNull();
            c.pk = qq.value(4).toInt();
            cols << c;
        }
        return cols;
    }

    QList<Column> postgresColumns(const QString &oid)
    {
        QList<Column> cols;
        QSqlQuery qq = exec(QStringLiteral(
                                "SELECT a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), "
                                "a.attnotnull, a.atthasdef OR a.attidentity <> '', "
                                "a.attgenerated <> '' OR a.attidentity = 'a' "
                                "FROM pg_catalog.pg_attribute a WHERE a.attrelid = CAST(? AS oid) "
                                "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"),
                            {oid}, QStringLiteral("Cannot read the fields"));
        while (qq.next()) {
            Column c;
            c.name = qq.value(0).toString();
            c.decl = qq.value(1).toString();
            c.notNull = qq.value(2).toBool();
            c.hasDefault = qq.value(3).toBool();
            c.readOnly = qq.value(4).toBool();
            cols << c;
        }
        return cols;
    }

    void sqliteIndexes()
    {
        QSqlQuery qq = exec(QStringLiteral("SELECT name, \"unique\", origin FROM pragma_index_list(?, ?)"),
                            {name, schema}, QStringLiteral("Cannot read the indexes"));
        QList<IndexDef> list;
        while (qq.next()) {
            IndexDef d;
            d.name = qq.value(0).toString();
            d.unique = qq.value(1).toInt() != 0;
            d.primary = qq.value(2).toString() == QLatin1String("pk");
            list << d;
        }
        for (IndexDef &d : list) {
            QSqlQuery ii = exec(QStringLiteral("SELECT name FROM pragma_index_info(?, ?) ORDER BY seqno"),
                                {d.name, schema}, QStringLiteral("Cannot read the indexes"));
            QStringList cols;
            bool expression = false;
            while (ii.next()) {
                if (ii.value(0).isNull())
                    expression = true;
                cols << ii.value(0).toString();
            }
            if (!expression && !cols.isEmpty()) {
                d.fields = cols.join(QLatin1Char(';'));
                indexes << d;
            }
        }
        sortIndexes();
    }

    void postgresIndexes(const QString &oid)
    {
        QSqlQuery qq = exec(QStringLiteral(
                                "SELECT ic.relname, ix.indisprimary, ix.indisunique AND ix.indpred IS NULL, "
                                "a.attname, a.attnotnull "
                                "FROM pg_catalog.pg_index ix "
                                "JOIN pg_catalog.pg_class ic ON ic.oid = ix.indexrelid "
                                "CROSS JOIN LATERAL unnest(CAST(ix.indkey AS int2[])) WITH ORDINALITY AS k(attnum, ord) "
                                "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = ix.indrelid AND a.attnum = k.attnum "
                                "WHERE ix.indrelid = CAST(? AS oid) AND k.ord <= ix.indnkeyatts "
                                "ORDER BY ic.relname, k.ord"),
                            {oid}, QStringLiteral("Cannot read the indexes"));
        QList<IndexDef> list;
        QSet<QString> expression;
        while (qq.next()) {
            const QString iname = qq.value(0).toString();
            if (list.isEmpty() || list.last().name != iname) {
                IndexDef d;
                d.name = iname;
                d.primary = qq.value(1).toBool();
                d.unique = qq.value(2).toBool();
                list << d;
            }
            if (qq.value(3).isNull()) {
                expression.insert(iname);
                continue;
            }
            IndexDef &d = list.last();
            if (!d.fields.isEmpty())
                d.fields += QLatin1Char(';');
            d.fields += qq.value(3).toString();
        }
        for (const IndexDef &d : list)
            if (!expression.contains(d.name))
                indexes << d;
        sortIndexes();
    }

    void sortIndexes()
    {
        std::stable_sort(indexes.begin(), indexes.end(), [](const IndexDef &a, const IndexDef &b) {
            if (a.primary != b.primary)
                return a.primary;
            return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
        });
    }

    int fieldIndex(const QString &n) const
    {
        for (const auto &f : fields)
            if (f->fieldName().compare(n, Qt::CaseInsensitive) == 0)
                return f->index();
        return -1;
    }

    void buildFields(const QList<Column> &cols)
    {
        fields.clear();
        for (int i = 0; i < cols.size(); ++i) {
            const Column &c = cols.at(i);
            std::unique_ptr<Field> f(new Field(q, i));
            const TypeInfo ti = typeFromDeclaration(c.decl);
            f->m_name = c.name;
            f->m_declaredType = c.decl;
            f->m_type = ti.type;
            f->m_size = ti.size;
            f->m_dataSize = ti.dataSize;
            f->m_required = c.notNull;
            f->m_hasDefault = c.hasDefault;
            f->m_readOnly = c.readOnly;
            fields.push_back(std::move(f));
        }
    }

    void chooseKey(const QList<Column> &cols, bool withoutRowid)
    {
        keyExprs.clear();
        keyMatch.clear();
        keyFieldNames.clear();
        keyFieldIndex.clear();
        keyTypes.clear();
        rowidAliasField = -1;
        canModify = !db->readOnly();

        auto useColumns = [&](const QStringList &names) {
            for (const QString &n : names) {
                const int fi = fieldIndex(n);
                keyExprs << quoteIdent(fields[size_t(fi)]->fieldName());
                keyMatch << quoteIdent(fields[size_t(fi)]->fieldName()) + QLatin1String(" = ?");
                keyFieldNames << fields[size_t(fi)]->fieldName();
                keyFieldIndex << fi;
                keyTypes << fields[size_t(fi)]->dataType();
            }
            const int t = keyTypes.size() == 1 ? keyTypes.first() : -1;
            intKey = t == ftInteger || t == ftSmallint || t == ftLargeint || t == ftAutoInc;
        };

        if (dialect == Dialect::Sqlite) {
            QStringList pk;
            QList<QPair<int, QString>> ordered;
            for (const Column &c : cols)
                if (c.pk > 0)
                    ordered << qMakePair(c.pk, c.name);
            std::sort(ordered.begin(), ordered.end());
            for (const auto &p : ordered)
                pk << p.second;
            if (withoutRowid) {
                useColumns(pk);
                return;
            }
            // The rowid is reachable under one of its three names unless columns took them all.
            QString rowid;
            for (const char *cand : {"rowid", "_rowid_", "oid"})
                if (fieldIndex(QLatin1String(cand)) < 0) {
                    rowid = QLatin1String(cand);
                    break;
                }
            if (pk.size() == 1) {
                const int fi = fieldIndex(pk.first());
                if (cols.at(fi).decl.trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0) {
                    rowidAliasField = fi;
                    fields[size_t(fi)]->m_autoKey = true;
                    if (rowid.isEmpty())
                        rowid = quoteIdent(cols.at(fi).name);
                }
            }
            if (rowid.isEmpty()) {
                fail(QStringLiteral("Table '%1' has no usable row identity.").arg(tableName));
            }
            intKey = true;
            keyExprs << rowid;
            keyMatch << rowid + QLatin1String(" = ?");
            keyFieldIndex << rowidAliasField;
            keyTypes << ftLargeint;
            if (rowidAliasField >= 0)
                keyFieldNames << cols.at(rowidAliasField).name;
            return;
        }

        // PostgreSQL: the primary key, else a unique index over NOT NULL columns.
        for (const IndexDef &d : indexes) {
            if (d.primary) {
                useColumns(d.fields.split(QLatin1Char(';')));
                return;
            }
        }
        for (const IndexDef &d : indexes) {
            if (!d.unique)
                continue;
            const QStringList names = d.fields.split(QLatin1Char(';'));
            bool allNotNull = true;
            for (const QString &n : names)
                allNotNull = allNotNull && fields[size_t(fieldIndex(n))]->required();
            if (allNotNull) {
                useColumns(names);
                return;
            }
        }
        // No key: browse by physical row address, never modify (an update could hit the
        // wrong row once the address moves).
        intKey = false;
        canModify = false;
        keyExprs << QStringLiteral("CAST(ctid AS text)");
        keyMatch << QStringLiteral("ctid = CAST(? AS tid)");
        keyFieldIndex << -1;
        keyTypes << ftString;
    }

    void applyOrder()
    {
        indexFields.clear();
        QStringList parts;
        if (!indexName.isEmpty()) {
            const IndexDef *def = nullptr;
            for (const IndexDef &d : indexes)
                if (d.name == indexName)
                    def = &d;
            if (!def)
                for (const IndexDef &d : indexes)
                    if (d.name.compare(indexName, Qt::CaseInsensitive) == 0)
                        def = &d;
            if (!def)
                fail(QStringLiteral("Index '%1' does not exist for table '%2'.").arg(indexName, tableName));
            indexFields = def->fields.split(QLatin1Char(';'));
            for (const QString &f : indexFields)
                parts << quoteIdent(f);
        }
        for (const QString &k : keyExprs)
            if (!parts.contains(k))
                parts << k;
        orderBy = parts.join(QLatin1String(", "));
        seekOrder = intKey && keyExprs.size() == 1 && orderBy == keyExprs.first();
    }

    void applyFilter()
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
        });
        where = c.sql;
        whereBinds = c.binds;
    }

    int countRows()
    {
        QSqlQuery qq = exec(QStringLiteral("SELECT count(*) FROM %1").arg(from), {},
                            QStringLiteral("Cannot count the records"));
        return qq.next() ? qq.value(0).toInt() : 0;
    }

    // ---- keyset ------------------------------------------------------------------------
    int records()
    {
        if (recordCount < 0)
            recordCount = keysComplete && where.isEmpty() ? loaded() : countRows();
        return recordCount;
    }

    // Rows of the current filter and order as far as they are known: an unfiltered table knows
    // its count (one count(*)); a filtered view knows the rows read so far, and learns the rest
    // as moves and views read further pages (counting them would mean reading them all).
    int rowTotal()
    {
        if (keysComplete || !where.isEmpty())
            return loaded();
        return records();
    }

    void resetKeys()
    {
        ids.clear();
        head = 0;
        keysComplete = false;
        anyKeyRead = false;
        seekAfter = 0;
        readOffset = 0;
    }

    // Reads the next `limit` keys (all the rest when limit <= 0) after those read so far; with
    // `withValues` their rows too, so the first screen costs one query.
    void readKeys(qint64 limit, bool withValues = false)
    {
        if (keysComplete)
            return;
        QString text = QStringLiteral("SELECT %1 FROM %2")
                           .arg(withValues ? selectList() : keyExprs.join(QLatin1String(", ")), from);
        QStringList conditions;
        QVariantList binds = whereBinds;
        if (!where.isEmpty())
            conditions << where;
        const bool seek = seekOrder && anyKeyRead;
        if (seek) {
            conditions << keyExprs.first() + QLatin1String(" > ?");
            binds << QVariant(seekAfter);
        }
        if (!conditions.isEmpty())
            text += QLatin1String(" WHERE ") + conditions.join(QLatin1String(" AND "));
        text += QLatin1String(" ORDER BY ") + orderBy;
        if (limit > 0)
            text += QStringLiteral(" LIMIT %1").arg(limit);
        else if (!seek && readOffset > 0 && dialect == Dialect::Sqlite)
            text += QLatin1String(" LIMIT -1");
        if (!seek && readOffset > 0)
            text += QStringLiteral(" OFFSET %1").arg(readOffset);
        // Page after page of a walk runs the same text: prepared once. Texts with an offset or an
        // odd limit vary and are run once.
        const bool stable = (seek || !anyKeyRead) && (limit == kPrefixKeys || limit == kFirstRows);
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
        if (head > 0 && head * 2 >= ids.size()) { // drop the keys deleted from the front
            ids.erase(ids.begin(), ids.begin() + qint64(head));
            head = 0;
        }
        if (limit <= 0 && where.isEmpty() && recordCount > loaded())
            ids.reserve(size_t(head) + size_t(recordCount));
        qint64 got = 0;
        if (withValues) {
            // In the key's order the rows arrive sorted by key: they become the window.
            const bool toWindow = seekOrder;
            if (toWindow) {
                win.clear();
                winIds.clear();
            }
            const int inRow = keyInRow();
            const int keyParts = inRow >= 0 ? 0 : int(keyExprs.size());
            const int nf = int(fields.size());
            while (qq.next()) {
                const qint64 id = inRow >= 0 ? qq.value(inRow).toLongLong() : readKey(qq);
                QVariantList values;
                values.reserve(nf);
                for (int i = 0; i < nf; ++i)
                    values << qq.value(keyParts + i);
                if (toWindow) {
                    cache.remove(id);
                    winIds.push_back(id);
                    win.push_back(std::move(values));
                } else {
                    forget(id);
                    cache.insert(id, values);
                }
                ids.push_back(id);
                ++got;
            }
            if (toWindow) {
                winValid.assign(winIds.size(), 1);
                winHint = 0;
            }
            if (got > 0 && intKey)
                seekAfter = ids.back();
        } else if (intKey) {
            while (qq.next()) {
                ids.push_back(qq.value(0).toLongLong());
                ++got;
            }
            if (got > 0)
                seekAfter = ids.back();
        } else {
            while (qq.next()) {
                ids.push_back(readKey(qq));
                ++got;
            }
        }
        qq.finish();
        anyKeyRead = true;
        readOffset += got;
        keysComplete = limit <= 0 || got < limit;
        if (keysComplete && where.isEmpty())
            recordCount = loaded();
    }

    void loadAllKeys() { readKeys(0); }

    // Reads keys until position p is known (or the keyset is complete). In the key's own order
    // each page continues after the last key read, so a walk reads page after page with the rows
    // along (one pass over the table). Otherwise a page starts at an offset; pages then grow with
    // the keys read, so a walk to the end costs a few queries, not one per page.
    bool ensureKey(int p)
    {
        if (p < 0)
            return false;
        while (p >= loaded() && !keysComplete) {
            const qint64 ahead = qint64(p) + 1 - loaded();
            if (seekOrder && ahead <= kPrefixKeys)
                readKeys(kPrefixKeys, true);
            else
                readKeys(std::max<qint64>(ahead + kPrefixKeys, std::max(loaded(), kPrefixKeys)));
        }
        return p < loaded();
    }

    // One more page for a view that scrolled to the last row it knows.
    void readMoreKeys()
    {
        if (keysComplete)
            return;
        if (seekOrder)
            readKeys(kPrefixKeys, true); // the view paints these rows next
        else
            readKeys(std::max(loaded(), kPrefixKeys));
    }

    void rebuildKeyset()
    {
        dropCache();
        lastAccess = -1;
        resetKeys();
        readKeys(kFirstRows, true);
    }

    // ---- values -------------------------------------------------------------------------
    // Rows live in two places: the window holds the last range read (sorted by key, so a walk
    // finds its next row next to the previous one), the cache everything read by key lists.
    void dropCache()
    {
        cache.clear();
        win.clear();
        winIds.clear();
        winValid.clear();
        winHint = 0;
    }

    void forget(qint64 id)
    {
        cache.remove(id);
        const int k = windowIndex(id);
        if (k >= 0)
            winValid[size_t(k)] = 0;
    }

    int windowIndex(qint64 id)
    {
        const int n = int(winIds.size());
        if (n == 0)
            return -1;
        for (int k : {winHint, winHint + 1, winHint - 1}) {
            if (k >= 0 && k < n && winIds[size_t(k)] == id)
                return winHint = k;
        }
        const auto it = std::lower_bound(winIds.begin(), winIds.end(), id);
        if (it == winIds.end() || *it != id)
            return -1;
        return winHint = int(it - winIds.begin());
    }

    const QVariantList *lookup(qint64 id)
    {
        const int k = windowIndex(id);
        if (k >= 0 && winValid[size_t(k)])
            return &win[size_t(k)];
        auto it = cache.constFind(id);
        return it == cache.constEnd() ? nullptr : &*it;
    }

    QString fetchSql(int n)
    {
        QString text = QStringLiteral("SELECT %1 FROM %2 WHERE ").arg(selectList(), from);
        if (intKey) {
            QStringList marks;
            for (int i = 0; i < n; ++i)
                marks << QStringLiteral("?");
            text += keyExprs.first() + QLatin1String(" IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        } else {
            QStringList groups;
            for (int i = 0; i < n; ++i)
                groups << QLatin1Char('(') + keyWhere() + QLatin1Char(')');
            text += groups.join(QLatin1String(" OR "));
        }
        return text;
    }

    void bindKey(QSqlQuery &qq, int &index, qint64 id)
    {
        if (intKey) {
            qq.bindValue(index++, QVariant(id));
            return;
        }
        const QVariantList &k = compKeys.at(size_t(id));
        for (int i = 0; i < k.size(); ++i)
            qq.bindValue(index++, toStorage(keyTypes.at(i), k.at(i), dialect));
    }

    // Reads the rows of an executed query; to the window when `toWindow`, else to the cache.
    void storeRows(QSqlQuery &qq, bool toWindow)
    {
        const int inRow = keyInRow();
        const int keyParts = inRow >= 0 ? 0 : int(keyExprs.size());
        const int nf = int(fields.size());
        if (!toWindow && cache.capacity() < kCacheRows)
            cache.reserve(kCacheRows);
        while (qq.next()) {
            const qint64 id = inRow >= 0 ? qq.value(inRow).toLongLong() : readKey(qq);
            QVariantList row;
            row.reserve(nf);
            for (int i = 0; i < nf; ++i)
                row << qq.value(keyParts + i);
            if (toWindow) {
                cache.remove(id); // the window's copy is the newer one
                winIds.push_back(id);
                win.push_back(std::move(row));
            } else {
                const int k = windowIndex(id);
                if (k >= 0)
                    winValid[size_t(k)] = 0;
                cache.insert(id, row);
            }
        }
        qq.finish();
        if (toWindow) {
            winValid.assign(winIds.size(), 1);
            winHint = 0;
        }
    }

    // Integer keys close together (the usual case: the natural order or a fresh table) are read
    // with one range scan into the window instead of a list of lookups. So is a page of a filtered
    // view in the key's own order: its keys are the rows of their range that pass the filter.
    bool fetchRange(const std::vector<qint64> &want, bool &filteredRange)
    {
        filteredRange = false;
        if (!intKey || want.size() < 8)
            return false;
        const auto [lo, hi] = std::minmax_element(want.begin(), want.end());
        if (*hi - *lo >= qint64(want.size()) * 2) {
            if (!seekOrder || where.isEmpty())
                return false;
            filteredRange = true;
        }
        QString text = QStringLiteral("SELECT %1 FROM %2 WHERE %3 >= ? AND %3 <= ?").arg(selectList(), from, keyExprs.first());
        if (filteredRange)
            text += QLatin1String(" AND ") + where;
        QSqlQuery &qq = statement(text + QLatin1String(" ORDER BY ") + keyExprs.first(),
                                  QStringLiteral("Cannot read the records"));
        qq.bindValue(0, QVariant(*lo));
        qq.bindValue(1, QVariant(*hi));
        if (filteredRange)
            for (int i = 0; i < whereBinds.size(); ++i)
                qq.bindValue(2 + i, whereBinds.at(i));
        execOrThrow(qq, QStringLiteral("Cannot read the records"));
        win.clear();
        winIds.clear();
        storeRows(qq, true);
        return true;
    }

    void fetchList(const std::vector<qint64> &want)
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

    void fetch(const std::vector<qint64> &want)
    {
        if (want.empty())
            return;
        const int nf = int(fields.size());
        bool filteredRange = false;
        if (!fetchRange(want, filteredRange)) {
            fetchList(want);
        } else if (filteredRange) {
            // A row changed since its key was read may no longer pass the filter: read it by key.
            std::vector<qint64> missing;
            for (qint64 id : want)
                if (!lookup(id))
                    missing.push_back(id);
            if (!missing.empty())
                fetchList(missing);
        }
        // A row deleted by someone else reads as empty rather than being fetched again and again.
        for (qint64 id : want)
            if (!lookup(id))
                cache.insert(id, QVariantList(nf));
    }

    const QVariantList &row(int p)
    {
        const qint64 id = ids[head + size_t(p)];
        if (const QVariantList *r = lookup(id)) {
            lastAccess = p;
            return *r;
        }
        const int n = pageSize();
        int from0 = p;
        int to = p + n - 1;
        if (lastAccess >= 0 && p < lastAccess) { // walking backwards: read the page behind
            from0 = p - n + 1;
            to = p;
        }
        from0 = std::max(from0, 0);
        to = std::min(to, loaded() - 1);
        std::vector<qint64> want;
        for (int i = from0; i <= to; ++i) {
            const qint64 k = ids[head + size_t(i)];
            if (!lookup(k))
                want.push_back(k);
        }
        if (cache.size() + int(want.size()) > kCacheRows)
            cache.clear();
        for (size_t i = 0; i < want.size(); i += size_t(n))
            fetch(std::vector<qint64>(want.begin() + qint64(i),
                                      want.begin() + qint64(std::min(want.size(), i + size_t(n)))));
        lastAccess = p;
        return *lookup(id);
    }

    void refetchOne(qint64 id)
    {
        forget(id);
        fetch({id});
    }

    // ---- positions ----------------------------------------------------------------------
    // Makes row p current, clamped to the rows there are; -1 when there are none. Reads keys
    // only as far as p.
    void moveTo(int p)
    {
        p = std::max(p, 0);
        ensureKey(p);
        if (loaded() == 0) {
            pos = -1;
            return;
        }
        pos = std::min(p, loaded() - 1);
    }

    void checkBrowseMode()
    {
        if (state == TableState::Edit || state == TableState::Insert) {
            if (modified)
                q->post();
            else
                q->cancel();
        }
    }

    // Starts a new record: at the end (append, or insert with no current row) or before the
    // current row (insert).
    void beginInsert(bool atEnd)
    {
        requireActive();
        checkBrowseMode();
        if (!canModify)
            throw EngineError(QStringLiteral("Cannot modify a read-only table."));
        // The new row takes a place in the keyset, so the keyset must be whole first.
        if (!keysComplete)
            loadAllKeys();
        savedPos = pos;
        appending = atEnd || pos < 0;
        insertPos = appending ? rowTotal() : pos;
        buffer = QVariantList(int(fields.size()));
        changed = QVector<bool>(int(fields.size()), false);
        modified = false;
        setState(TableState::Insert);
        if (atEnd)
            eof = true;
        emit q->dataChanged();
        emit q->afterScroll();
    }

    // Re-reads the rows after the filter text or switch changed and moves to the first one.
    // If the new filter fails, undo() restores the old setting and its rows come back.
    void refilter(const std::function<void()> &undo)
    {
        try {
            applyFilter();
            rebuildKeyset();
        } catch (...) {
            undo();
            applyFilter();
            rebuildKeyset();
            moveTo(0);
            throw;
        }
        moveTo(0);
        bof = true;
        eof = pos < 0;
        emit q->dataChanged();
        emit q->afterScroll();
    }

    void setState(TableState s)
    {
        if (state == s)
            return;
        state = s;
        emit q->stateChanged();
    }

    bool stillMatchesFilter(qint64 id)
    {
        if (where.isEmpty())
            return true;
        QVariantList binds = whereBinds;
        QString text = QStringLiteral("SELECT 1 FROM %1 WHERE (%2) AND %3").arg(from, where, keyWhere());
        QSqlQuery &qq = statement(text, QStringLiteral("Cannot read the record"));
        int b = 0;
        for (const QVariant &v : binds)
            qq.bindValue(b++, v);
        bindKey(qq, b, id);
        execOrThrow(qq, QStringLiteral("Cannot read the record"));
        const bool ok = qq.next();
        qq.finish();
        return ok;
    }

    // The row at p left the view (deleted, or no longer passing the filter); in the query the
    // next page is read from, too.
    void removeAt(int p)
    {
        const qint64 id = ids[head + size_t(p)];
        forget(id);
        if (readOffset > 0)
            --readOffset;
        if (p == 0)
            ++head;
        else
            ids.erase(ids.begin() + qint64(head) + p);
    }

    void insertAt(int p, qint64 id)
    {
        if (head > 0) {
            ids.erase(ids.begin(), ids.begin() + qint64(head));
            head = 0;
        }
        ids.insert(ids.begin() + p, id);
    }

    void requireRequired(bool inserting)
    {
        for (const auto &f : fields) {
            const int i = f->index();
            if (!f->required() || f->m_autoKey || !buffer.at(i).isNull())
                continue;
            if (inserting && f->hasDefault() && !changed.at(i))
                continue;
            if (!inserting && !changed.at(i))
                continue;
            fail(QStringLiteral("Field '%1' must have a value.").arg(f->fieldName()));
        }
    }

    QVariant bindable(int fieldIdx, const QVariant &v) const
    {
        return toStorage(fields[size_t(fieldIdx)]->dataType(), fromStorage(fields[size_t(fieldIdx)]->dataType(), v), dialect);
    }

    // The column as the old-value check compares it. The driver hands PostgreSQL times over in
    // milliseconds (rounded), so the column is rounded the same way before comparing.
    QString comparable(const Field &f) const
    {
        const QString col = quoteIdent(f.fieldName());
        if (dialect != Dialect::Postgres)
            return col;
        const bool zone = f.declaredType().contains(QLatin1String("with time zone"), Qt::CaseInsensitive);
        if (f.dataType() == ftDateTime)
            return QStringLiteral("CAST(%1 AS timestamp(3)%2)").arg(col, zone ? QStringLiteral(" with time zone") : QString());
        if (f.dataType() == ftTime)
            return QStringLiteral("CAST(%1 AS time(3)%2)").arg(col, zone ? QStringLiteral(" with time zone") : QString());
        return col;
    }

    void postEdit()
    {
        QStringList sets;
        QStringList checks;
        QVariantList setBinds;
        QVariantList checkBinds;
        const QVariantList old = row(pos);
        for (const auto &f : fields) {
            const int i = f->index();
            if (!changed.at(i))
                continue;
            sets << quoteIdent(f->fieldName()) + QLatin1String(" = ?");
            setBinds << bindable(i, buffer.at(i));
            checks << nullSafeEq().arg(comparable(*f));
            checkBinds << (dialect == Dialect::Sqlite ? old.at(i) : bindable(i, old.at(i)));
        }
        if (sets.isEmpty()) {
            setState(TableState::Browse);
            return;
        }
        // A record whose order changes may move into or out of the keys not read yet; with the
        // whole keyset read first it simply stays in place until refresh().
        if (!keysComplete) {
            bool orderChanged = false;
            for (const auto &f : fields)
                orderChanged = orderChanged
                    || (changed.at(f->index()) && (q->isIndexField(f->index()) || keyFieldIndex.contains(f->index())));
            if (orderChanged)
                loadAllKeys();
        }
        const qint64 id = ids[head + size_t(pos)];
        QString text = QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(from, sets.join(QLatin1String(", ")), keyWhere());
        if (!checks.isEmpty())
            text += QLatin1String(" AND ") + checks.join(QLatin1String(" AND "));
        QSqlQuery &qq = statement(text, QStringLiteral("Cannot update the record"));
        int b = 0;
        for (const QVariant &v : setBinds)
            qq.bindValue(b++, v);
        bindKey(qq, b, id);
        for (const QVariant &v : checkBinds)
            qq.bindValue(b++, v);
        execOrThrow(qq, QStringLiteral("Cannot update the record"));
        const int affected = qq.numRowsAffected();
        qq.finish();
        if (affected != 1)
            fail(affected == 0
                     ? QStringLiteral("The record was changed or deleted by another user. Nothing was updated.")
                     : QStringLiteral("The record is not unique (%1 rows matched).").arg(affected));

        // A changed key moves the row identity along with it.
        qint64 newId = id;
        bool keyChanged = false;
        for (int fi : keyFieldIndex)
            keyChanged = keyChanged || (fi >= 0 && changed.at(fi));
        if (keyChanged) {
            if (intKey) {
                newId = fromStorage(ftLargeint, buffer.at(keyFieldIndex.first())).toLongLong();
            } else {
                QVariantList k = compKeys.at(size_t(id));
                for (int i = 0; i < keyFieldIndex.size(); ++i)
                    if (keyFieldIndex.at(i) >= 0 && changed.at(keyFieldIndex.at(i)))
                        k[i] = bindable(keyFieldIndex.at(i), buffer.at(keyFieldIndex.at(i)));
                newId = idFor(k);
            }
            ids[head + size_t(pos)] = newId;
            forget(id);
        }
        refetchOne(newId);
        setState(TableState::Browse);
        modified = false;
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

    void postInsert()
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
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(from)
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(from, cols.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
        const bool returning = dialect == Dialect::Postgres;
        if (returning)
            text += QLatin1String(" RETURNING ") + keyExprs.join(QLatin1String(", "));
        QSqlQuery &qq = statement(text, QStringLiteral("Cannot insert the record"));
        for (int i = 0; i < binds.size(); ++i)
            qq.bindValue(i, binds.at(i));
        execOrThrow(qq, QStringLiteral("Cannot insert the record"));
        qint64 id = 0;
        if (returning) {
            if (!qq.next())
                fail(QStringLiteral("Cannot insert the record: no key returned."));
            id = readKey(qq);
        } else if (keyFieldIndex.size() == 1 && keyFieldIndex.first() == rowidAliasField) {
            id = qq.lastInsertId().toLongLong();
        } else {
            QVariantList k;
            for (int fi : keyFieldIndex)
                k << bindable(fi, buffer.at(fi));
            id = intKey ? fromStorage(ftLargeint, k.first()).toLongLong() : idFor(k);
        }
        qq.finish();
        refetchOne(id);
        const int at = appending ? rowTotal() : insertPos;
        insertAt(at, id);
        if (recordCount >= 0)
            ++recordCount;
        pos = at;
        modified = false;
        setState(TableState::Browse);
    }
};

// ---- Table ------------------------------------------------------------------------------

Table::Table(QObject *parent) : Table(Session::defaultSession(), parent) {}

Table::Table(Session &session, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(this, &session))
{
}

Table::~Table()
{
    d->statements.clear();
}

void Table::setDatabaseName(const QString &alias)
{
    if (d->active && alias != d->alias)
        close();
    d->alias = alias;
}

QString Table::databaseName() const { return d->alias; }

void Table::setTableName(const QString &name)
{
    if (d->active && name != d->tableName)
        close();
    d->tableName = name;
}

QString Table::tableName() const { return d->tableName; }

void Table::setIndexName(const QString &name)
{
    if (!d->active) {
        d->indexName = name;
        return;
    }
    d->checkBrowseMode();
    const QString previous = d->indexName;
    d->indexName = name;
    try {
        d->applyOrder();
    } catch (...) {
        d->indexName = previous;
        d->applyOrder();
        throw;
    }
    // The current record stays current in the new order.
    const bool hadRow = d->pos >= 0;
    const qint64 current = hadRow ? d->ids[d->head + size_t(d->pos)] : 0;
    d->rebuildKeyset();
    int at = -1;
    if (hadRow) {
        auto found = std::find(d->ids.begin() + qint64(d->head), d->ids.end(), current);
        if (found == d->ids.end() && !d->keysComplete) {
            d->loadAllKeys();
            found = std::find(d->ids.begin() + qint64(d->head), d->ids.end(), current);
        }
        if (found != d->ids.end())
            at = int(found - d->ids.begin() - qint64(d->head));
    }
    d->moveTo(at < 0 ? 0 : at);
    d->bof = d->pos <= 0;
    d->eof = d->pos < 0;
    emit dataChanged();
    emit afterScroll();
}

QString Table::indexName() const { return d->indexName; }

void Table::open()
{
    if (d->active)
        return;
    if (d->tableName.isEmpty())
        throw EngineError(QStringLiteral("No table name given."));
    Database *db = d->session ? d->session->findDatabase(d->alias) : nullptr;
    if (!db)
        throw EngineError(QStringLiteral("Database '%1' is not connected.").arg(d->alias));
    d->db = db;
    d->dialect = db->isPostgres() ? Dialect::Postgres : Dialect::Sqlite;
    d->indexes.clear();
    d->compKeys.clear();
    d->compIndex.clear();
    d->statements.clear();
    try {
        bool withoutRowid = false;
        QList<Column> cols;
        if (d->dialect == Dialect::Sqlite) {
            d->resolveSqlite();
            QSqlQuery qq = d->exec(QStringLiteral("SELECT sql FROM %1.sqlite_master WHERE type = 'table' AND name = ?")
                                       .arg(quoteIdent(d->schema)),
                                   {d->name}, QStringLiteral("Cannot read the table"));
            static const QRegularExpression wr(QStringLiteral("WITHOUT\\s+ROWID\\s*;?\\s*$"),
                                               QRegularExpression::CaseInsensitiveOption);
            withoutRowid = qq.next() && wr.match(qq.value(0).toString().trimmed()).hasMatch();
            cols = d->sqliteColumns();
            d->buildFields(cols);
            d->sqliteIndexes();
        } else {
            const QString oid = d->resolvePostgres();
            cols = d->postgresColumns(oid);
            d->buildFields(cols);
            d->postgresIndexes(oid);
        }
        d->from = quoteIdent(d->schema) + QLatin1Char('.') + quoteIdent(d->name);
        if (d->fields.empty())
            throw EngineError(QStringLiteral("Table '%1' has no fields.").arg(d->tableName));
        d->chooseKey(cols, withoutRowid);
        d->applyOrder();
        d->applyFilter();
        d->recordCount = -1;
        d->rebuildKeyset();
    } catch (...) {
        d->fields.clear();
        d->statements.clear();
        d->db = nullptr;
        throw;
    }
    d->dbConnection = connect(db, &Database::connectedChanged, this, [this](bool on) {
        if (!on)
            close();
    });
    d->active = true;
    d->state = TableState::Browse;
    d->moveTo(0);
    d->bof = true;
    d->eof = d->pos < 0;
    emit stateChanged();
    emit dataChanged();
    emit afterScroll();
}

void Table::close()
{
    if (!d->active)
        return;
    disconnect(d->dbConnection);
    d->active = false;
    d->state = TableState::Inactive;
    d->modified = false;
    d->buffer.clear();
    d->statements.clear();
    d->dropCache();
    d->ids.clear();
    d->head = 0;
    d->compKeys.clear();
    d->compIndex.clear();
    d->fields.clear();
    d->indexes.clear();
    d->recordCount = -1;
    d->pos = -1;
    d->bof = d->eof = true;
    d->db = nullptr;
    emit stateChanged();
    emit dataChanged();
}

bool Table::active() const { return d->active; }
int Table::recordCount() const { return d->active ? d->records() : 0; }
bool Table::canModify() const { return d->active && d->canModify; }
QList<IndexDef> Table::indexDefs() const { return d->indexes; }
int Table::fieldCount() const { return int(d->fields.size()); }

Field *Table::field(int index)
{
    if (index < 0 || index >= int(d->fields.size()))
        throw EngineError(QStringLiteral("Field index %1 out of range.").arg(index));
    return d->fields[size_t(index)].get();
}

Field *Table::fieldByName(const QString &name)
{
    Field *f = findField(name);
    if (!f)
        throw EngineError(QStringLiteral("Field '%1' not found.").arg(name));
    return f;
}

Field *Table::findField(const QString &name)
{
    const int i = d->fieldIndex(name);
    return i < 0 ? nullptr : d->fields[size_t(i)].get();
}

QStringList Table::keyFieldNames() const { return d->keyFieldNames; }

QString Table::filter() const { return d->filterText; }

void Table::setFilter(const QString &filter)
{
    if (filter == d->filterText)
        return;
    if (!d->active || !d->filtered) {
        if (d->filtered && !filter.trimmed().isEmpty())
            parseFilter(filter); // report a bad expression now rather than at open()
        d->filterText = filter;
        return;
    }
    d->checkBrowseMode();
    const QString previous = d->filterText;
    d->filterText = filter;
    d->refilter([&] { d->filterText = previous; });
}

bool Table::filtered() const { return d->filtered; }

void Table::setFiltered(bool on)
{
    if (on == d->filtered)
        return;
    if (!d->active) {
        d->filtered = on;
        return;
    }
    d->checkBrowseMode();
    d->filtered = on;
    d->refilter([&] { d->filtered = !on; });
}

void Table::first()
{
    d->requireActive();
    d->checkBrowseMode();
    d->moveTo(0);
    d->bof = true;
    d->eof = d->pos < 0;
    emit afterScroll();
}

void Table::last()
{
    d->requireActive();
    d->checkBrowseMode();
    if (!d->keysComplete)
        d->loadAllKeys();
    d->moveTo(d->loaded() - 1);
    d->eof = true;
    d->bof = d->pos < 0;
    emit afterScroll();
}

void Table::next()
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->pos >= 0 && d->ensureKey(d->pos + 1)) {
        ++d->pos;
        d->bof = false;
        d->eof = false;
        emit afterScroll();
    } else {
        d->eof = true;
        d->bof = d->pos < 0;
    }
}

void Table::prior()
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->pos > 0) {
        --d->pos;
        d->bof = false;
        d->eof = false;
        emit afterScroll();
    } else {
        d->bof = true;
        d->eof = d->pos < 0;
    }
}

void Table::moveBy(int distance)
{
    d->requireActive();
    if (distance == 0 || d->pos < 0)
        return;
    d->checkBrowseMode();
    const long long target = (long long)d->pos + distance;
    const int old = d->pos;
    const int wanted = int(std::clamp<long long>(target, 0, std::numeric_limits<int>::max() - 1));
    d->ensureKey(wanted);
    const int rows = d->loaded();
    d->moveTo(std::min(wanted, rows - 1));
    d->bof = target < 0 || d->pos < 0;
    d->eof = target >= rows || d->pos < 0;
    if (d->pos != old)
        emit afterScroll();
}

bool Table::bof() const { return d->bof; }
bool Table::eof() const { return d->eof; }

int Table::recNo() const
{
    if (!d->active || d->state == TableState::Insert || d->pos < 0)
        return -1;
    return d->pos + 1;
}

void Table::setRecNo(int recNo)
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->pos < 0)
        return;
    const int old = d->pos;
    d->moveTo(recNo - 1);
    d->bof = d->pos == 0;
    d->eof = false;
    if (d->pos != old)
        emit afterScroll();
}

int Table::rowCount() const { return d->active ? d->rowTotal() : 0; }

bool Table::isEmpty() const
{
    return !d->active || (d->loaded() == 0 && (d->keysComplete || !d->ensureKey(0)));
}

bool Table::hasMoreRows() const
{
    return d->active && !d->keysComplete && !d->where.isEmpty();
}

void Table::fetchMoreRows()
{
    if (hasMoreRows())
        d->readMoreKeys();
}

void Table::edit()
{
    d->requireActive();
    if (d->state == TableState::Edit || d->state == TableState::Insert)
        return;
    if (!d->canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    if (d->pos < 0) {
        append();
        return;
    }
    d->buffer = d->row(d->pos);
    d->changed = QVector<bool>(int(d->fields.size()), false);
    d->modified = false;
    d->setState(TableState::Edit);
}

void Table::append()
{
    d->beginInsert(true);
}

void Table::insert()
{
    d->beginInsert(false);
}

void Table::post()
{
    d->requireActive();
    if (d->state == TableState::Edit) {
        d->requireRequired(false);
        d->guardedWrite([this] { d->postEdit(); });
    } else if (d->state == TableState::Insert) {
        d->requireRequired(true);
        d->guardedWrite([this] { d->postInsert(); });
        d->bof = false;
        d->eof = false;
    } else {
        return;
    }
    d->modified = false;
    emit dataChanged();
    emit afterScroll();
}

void Table::cancel()
{
    if (d->state != TableState::Edit && d->state != TableState::Insert)
        return;
    const bool inserting = d->state == TableState::Insert;
    d->buffer.clear();
    d->modified = false;
    d->setState(TableState::Browse);
    if (inserting) {
        d->moveTo(d->savedPos < 0 ? 0 : d->savedPos);
        d->eof = d->pos < 0;
        d->bof = d->pos <= 0;
    }
    emit dataChanged();
    if (inserting)
        emit afterScroll();
}

void Table::deleteRecord()
{
    d->requireActive();
    if (d->state == TableState::Insert) {
        cancel();
        return;
    }
    if (!d->canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    if (d->pos < 0)
        throw EngineError(QStringLiteral("Cannot delete: the table has no records."));
    if (d->state == TableState::Edit) {
        d->buffer.clear();
        d->modified = false;
        d->setState(TableState::Browse);
    }
    const qint64 id = d->ids[d->head + size_t(d->pos)];
    QSqlQuery &qq = d->statement(QStringLiteral("DELETE FROM %1 WHERE %2").arg(d->from, d->keyWhere()),
                                 QStringLiteral("Cannot delete the record"));
    int b = 0;
    d->bindKey(qq, b, id);
    d->guardedWrite([&] { execOrThrow(qq, QStringLiteral("Cannot delete the record")); });
    const int affected = qq.numRowsAffected();
    qq.finish();
    if (affected < 1)
        throw EngineError(QStringLiteral("The record was already deleted by another user."));
    d->removeAt(d->pos);
    if (d->recordCount > 0)
        --d->recordCount;
    d->ensureKey(d->pos);
    if (d->loaded() == 0) {
        d->pos = -1;
        d->bof = d->eof = true;
    } else {
        d->moveTo(std::min(d->pos, d->loaded() - 1));
        d->eof = false;
        d->bof = d->pos == 0;
    }
    emit dataChanged();
    emit afterScroll();
}

void Table::refresh()
{
    d->requireActive();
    d->checkBrowseMode();
    const int old = d->pos;
    d->statements.clear(); // the table's structure may have changed too; statements re-prepare
    d->recordCount = -1;
    d->rebuildKeyset();
    d->moveTo(old < 0 ? 0 : old);
    d->bof = d->pos <= 0;
    d->eof = d->pos < 0;
    emit dataChanged();
    emit afterScroll();
}

TableState Table::state() const { return d->state; }
bool Table::modified() const { return d->modified; }

void Table::disableControls() { ++d->lock; }

void Table::enableControls()
{
    if (d->lock == 0)
        return;
    if (--d->lock == 0)
        emit dataChanged();
}

bool Table::controlsDisabled() const { return d->lock > 0; }

int Table::currentRow() const
{
    if (d->state == TableState::Insert)
        return d->insertPos;
    return d->pos;
}

QVariant Table::valueAt(int row, int fieldIndex)
{
    if (!d->active || fieldIndex < 0 || fieldIndex >= int(d->fields.size()))
        return {};
    if (d->state == TableState::Insert) {
        if (row == d->insertPos)
            return d->buffer.at(fieldIndex);
        if (row > d->insertPos)
            --row;
    } else if (d->state == TableState::Edit && row == d->pos) {
        return d->buffer.at(fieldIndex);
    }
    if (row < 0 || !d->ensureKey(row))
        return {};
    return d->row(row).at(fieldIndex);
}

QString Table::textAt(int row, int fieldIndex)
{
    if (!d->active || fieldIndex < 0 || fieldIndex >= int(d->fields.size()))
        return {};
    return valueToText(d->fields[size_t(fieldIndex)]->dataType(), valueAt(row, fieldIndex));
}

QVariant Table::currentValue(int fieldIndex) const
{
    if (d->state == TableState::Edit || d->state == TableState::Insert)
        return d->buffer.value(fieldIndex);
    if (!d->active || d->pos < 0)
        return {};
    return d->row(d->pos).value(fieldIndex);
}

void Table::setCurrentValue(int fieldIndex, const QVariant &value)
{
    if (d->state != TableState::Edit && d->state != TableState::Insert)
        throw EngineError(QStringLiteral("Table is not in edit or insert mode."));
    const Field *f = d->fields[size_t(fieldIndex)].get();
    if (f->readOnly())
        throw EngineError(QStringLiteral("Field '%1' cannot be modified.").arg(f->fieldName()));
    d->buffer[fieldIndex] = value;
    d->changed[fieldIndex] = true;
    d->modified = true;
    emit fieldChanged(fieldIndex);
}

bool Table::isIndexField(int fieldIndex) const
{
    if (!d->active)
        return false;
    const QString n = d->fields[size_t(fieldIndex)]->fieldName();
    for (const QString &f : d->indexFields)
        if (f.compare(n, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

Database *Table::database() const { return d->db; }

void Table::scanStatement(QString &sql, QVariantList &binds) const
{
    d->requireActive();
    QStringList cols;
    for (const auto &f : d->fields)
        cols << quoteIdent(f->fieldName());
    sql = QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QLatin1String(", ")), d->from);
    if (!d->where.isEmpty())
        sql += QLatin1String(" WHERE ") + d->where;
    sql += QLatin1String(" ORDER BY ") + d->orderBy;
    binds = d->whereBinds;
}

} // namespace pelldrake::engine
