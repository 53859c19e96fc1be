#pragma once

// The state behind Table, shared by the files that implement it: table.cpp (the public front,
// open and close), table_paging.cpp (keyset pages and row values), row_writer.cpp (posts and
// deletes). The dialect differences live in dialect_catalog.*.

#include "engine/database.h"
#include "engine/dialect_catalog.h"
#include "engine/engine_error.h"
#include "engine/key_store.h"
#include "engine/keyset.h"
#include "engine/row_cache.h"
#include "engine/session.h"
#include "engine/sql_util.h"
#include "engine/table.h"
#include "engine/text_order.h"

#include <QPointer>
#include <QSqlQuery>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pelldrake::engine {

struct Table::Private {
    static constexpr int kIntPage = 500;   // rows per value fetch with integer keys
    static constexpr int kCompPage = 40;   // rows per value fetch with composite keys
    static constexpr int kFirstRows = 60;  // rows (keys and values) read at open or filter
    static constexpr int kPrefixKeys = 500; // keys per further page, as moves and views need them
    // PostgreSQL pays a round trip and a plan per statement, so its pages in the key's order are
    // longer: 4,000 rows, as long as a page stays in the processor's cache until it is read. With
    // a filter 1,000: for longer filtered pages the planner starts parallel workers, which take
    // milliseconds to start.
    static constexpr int kServerPage = 4000;
    static constexpr int kServerFilteredPage = 1000;

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
    QMetaObject::Connection rollbackConnection;
    Dialect dialect = Dialect::Sqlite;
    bool active = false;
    TableCatalog catalog;
    std::vector<std::unique_ptr<Field>> fields;
    QStringList indexFields;
    QString orderBy;
    QString where;
    QVariantList whereBinds;
    std::optional<QHash<QString, TextOrder>> textOrders; // PostgreSQL, read at the first filter
    KeyChoice key;
    bool canModify = false;
    // In the key's own order a page continues after the last key read (an index seek); else it
    // starts at the keyset's read offset.
    bool seekOrder = false;

    Keyset keys;
    KeyStore keyStore; // composite keys of the current keyset
    RowCache rows;
    qint64 recordCount = -1; // counted when first asked for, then kept up to date
    int pos = -1;
    bool bof = true;
    bool eof = true;
    int lastAccess = -1;

    // Edit buffer.
    TableState state = TableState::Inactive;
    QVariantList buffer;
    QVariantList original; // the edited record as read when the edit began
    QVector<bool> changed;
    bool modified = false;
    bool appending = true;
    int insertPos = 0;
    int savedPos = -1;

    int lock = 0;
    std::unordered_map<std::string, std::unique_ptr<QSqlQuery>> statements;

    explicit Private(Table *t, Session *s) : q(t), session(s) {}

    // ---- helpers (table.cpp) -----------------------------------------------------------------
    QSqlDatabase sql() const { return db->sqlDatabase(); }
    int loaded() const { return keys.loaded(); }
    int pageSize() const { return key.intKey ? kIntPage : kCompPage; }
    // Rows per page continuing in the key's own order, and per range read of integer keys.
    int seekPage() const
    {
        if (dialect != Dialect::Postgres)
            return kPrefixKeys;
        return where.isEmpty() ? kServerPage : kServerFilteredPage;
    }
    int rangePage() const { return key.intKey && dialect == Dialect::Postgres ? seekPage() : pageSize(); }
    [[noreturn]] void fail(const QString &msg) const { throw EngineError(msg); }
    void requireActive() const;
    QSqlQuery &statement(const QString &sqlText, const QString &context);
    QSqlQuery exec(const QString &sqlText, const QVariantList &binds, const QString &context);
    void plain(const QString &text);
    int fieldIndex(const QString &n) const;
    void buildFields();
    void setState(TableState s);
    void checkBrowseMode();
    void beginInsert(bool atEnd);
    void refilter(const std::function<void()> &undo);
    int locate(qint64 id, const QVariantList &keyValues);
    void afterRollback();

    // ---- keys and pages (table_paging.cpp) ---------------------------------------------------
    qint64 readKey(const QSqlQuery &qq, int first = 0);
    void bindKey(QSqlQuery &qq, int &index, qint64 id);
    QString keyWhere() const { return key.match.join(QLatin1String(" AND ")); }
    int keyInRow() const;
    QString selectList() const;
    void applyOrder();
    void applyFilter();
    qint64 countRows();
    qint64 records();
    int rowTotal();
    void readKeys(qint64 limit, bool withValues = false);
    void loadAllKeys() { readKeys(0); }
    bool ensureKey(int p);
    void readMoreKeys();
    void rebuildKeyset();
    void dropCache() { rows.clear(); }
    QVariantList readRow(const QSqlQuery &qq, int offset) const;
    QString fetchSql(int n);
    void storeRows(QSqlQuery &qq, bool toWindow);
    bool fetchRange(const std::vector<qint64> &want, bool &filteredRange);
    void fetchList(const std::vector<qint64> &want);
    void fetch(std::vector<qint64> want, bool backwards);
    const QVariantList &row(int p);
    void refetchOne(qint64 id);
    void moveTo(int p);
    void removeAt(int p);

    // ---- writes (row_writer.cpp) ----------------------------------------------------------
    template <class F>
    void guardedWrite(F &&write);
    bool stillMatchesFilter(qint64 id);
    void requireRequired(bool inserting) { requireValues(buffer, changed, inserting); }
    void requireValues(const QVariantList &values, const QVector<bool> &set, bool inserting) const;
    QVariant bindable(int fieldIdx, const QVariant &v) const;
    bool sameValue(int fieldIdx, const QVariant &a, const QVariant &b) const;
    bool movableIdentity() const;
    void matchAsRead(const QVariantList &read, const QVector<bool> &covered, QStringList &checks,
                     QVariantList &binds) const;
    void postEdit();
    void postInsert();
    void deleteCurrent();
};

// Inside a batch transaction a failed statement aborts a PostgreSQL transaction, and with it
// every record posted earlier in the batch. A savepoint per write keeps those.
template <class F>
void Table::Private::guardedWrite(F &&write)
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

} // namespace pelldrake::engine
