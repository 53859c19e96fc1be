#pragma once

// What the table cursor reads: the table, its filter and its order, made into SQL text and bound
// values. Everything here is decided at open() or when the filter or order changes; reading it
// runs nothing.

#include "engine/dialect_catalog.h"
#include "engine/text_order.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

namespace pelldrake::engine {

class QueryShape {
public:
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

    // Settings, kept while the table is closed.
    QString tableName;
    QString indexName;
    // A column the rows are sorted by instead of an index (a click on a grid's header); empty
    // when none. An index chosen ends it.
    QString sortField;
    bool sortDescending = false;
    QString filterText;
    bool filtered = false;

    // Read at open().
    Dialect dialect = Dialect::Sqlite;
    TableCatalog catalog;
    KeyChoice key;

    // Made by applyOrder() and applyFilter().
    QStringList indexFields;
    QString orderBy;
    QString where;
    QVariantList whereBinds;
    // In the key's own order a page continues after the last key read (an index seek); else it
    // starts at the keyset's read offset.
    bool seekOrder = false;

    // Reads the catalog and chooses the key; the order and filter follow with applyOrder() and
    // applyFilter().
    void open(const QSqlDatabase &db, Dialect d);
    void close();

    QString sortTerm() const;
    int columnCount() const { return int(catalog.columns.size()); }
    int columnIndex(const QString &name) const; // case-insensitive; -1 when absent
    bool isIndexColumn(const QString &name) const;
    bool hasFilter() const { return !where.isEmpty(); }

    int pageSize() const { return key.intKey ? kIntPage : kCompPage; }
    // Rows per page continuing in the key's own order, and per range read of integer keys.
    int seekPage() const
    {
        if (dialect != Dialect::Postgres)
            return kPrefixKeys;
        return where.isEmpty() ? kServerPage : kServerFilteredPage;
    }
    int rangePage() const { return key.intKey && dialect == Dialect::Postgres ? seekPage() : pageSize(); }

    QString keyWhere() const { return key.match.join(QLatin1String(" AND ")); }
    // Field whose value is the (integer) key, so row reads need not select the key twice.
    int keyInRow() const;
    // The key parts (unless a field holds the key) and then every field.
    QString selectList() const;
    // The statement reading all fields (in field order) of the rows in the current filter and
    // order, with its bound values.
    void scanStatement(QString &sql, QVariantList &binds) const;

    // Throws for an unknown index.
    void applyOrder();
    // Throws for a text it cannot parse. On PostgreSQL the first filter asks `db` how the text
    // columns sort.
    void applyFilter(const QSqlDatabase &db);

private:
    std::optional<QHash<QString, TextOrder>> m_textOrders; // PostgreSQL, read at the first filter
};

} // namespace pelldrake::engine
