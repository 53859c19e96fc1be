// The query shape's order and filter, from a catalog made by hand (no database).
#include "engine/engine_error.h"
#include "engine/query_shape.h"

#include <gtest/gtest.h>

namespace pelldrake::engine {
namespace {

// A table "t" (id INTEGER PRIMARY KEY, name) with an index on name, a descending one on id and
// one the catalog refused.
QueryShape shapeOfT()
{
    QueryShape s;
    s.tableName = QStringLiteral("t");
    s.catalog.from = QStringLiteral("\"t\"");
    ColumnInfo id;
    id.name = QStringLiteral("id");
    id.decl = QStringLiteral("INTEGER");
    ColumnInfo name;
    name.name = QStringLiteral("name");
    name.decl = QStringLiteral("TEXT");
    s.catalog.columns = {id, name};
    s.catalog.indexes = {{QStringLiteral("pk"), QStringLiteral("id"), true, true},
                         {QStringLiteral("by_name"), QStringLiteral("name"), false, false},
                         {QStringLiteral("id_desc"), QStringLiteral("id"), false, false}};
    s.catalog.orderBy = {{QStringLiteral("pk"), {QStringLiteral("\"id\"")}},
                         {QStringLiteral("by_name"), {QStringLiteral("\"name\"")}},
                         {QStringLiteral("id_desc"), {QStringLiteral("\"id\" DESC")}}};
    s.catalog.refused = {{QStringLiteral("odd"), QStringLiteral("Index 'odd' cannot order the rows.")}};
    s.key.exprs = s.key.orderExprs = {QStringLiteral("\"id\"")};
    s.key.match = {QStringLiteral("\"id\" = ?")};
    s.key.fieldNames = {QStringLiteral("id")};
    s.key.fieldIndex = {0};
    s.key.rowidAliasField = 0;
    return s;
}

// Only the key's own ascending order pages by seeking after the last key; every other order
// ends with the key, so its rows have one order.
TEST(QueryShapeTest, OrdersEndWithTheKeyAndOnlyTheKeysOwnOrderSeeks)
{
    QueryShape s = shapeOfT();
    const struct {
        const char *index;
        const char *orderBy;
        bool seeks;
    } cases[] = {{"", "\"id\"", true},
                 {"PK", "\"id\"", true},
                 {"by_name", "\"name\", \"id\"", false},
                 {"id_desc", "\"id\" DESC", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.index);
        s.indexName = QString::fromLatin1(c.index);
        s.applyOrder();
        EXPECT_EQ(s.orderBy, QString::fromLatin1(c.orderBy));
        EXPECT_EQ(s.seekOrder, c.seeks);
    }
    EXPECT_TRUE(s.isIndexColumn(QStringLiteral("ID")));
    EXPECT_FALSE(s.isIndexColumn(QStringLiteral("name")));

    s.indexName = QStringLiteral("ODD");
    EXPECT_THROW(
        try { s.applyOrder(); } catch (const EngineError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Index 'odd' cannot order the rows."));
            throw;
        },
        EngineError);
    s.indexName = QStringLiteral("nope");
    EXPECT_THROW(
        try { s.applyOrder(); } catch (const EngineError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Index 'nope' does not exist for table 't'."));
            throw;
        },
        EngineError);
}

// The scan reads what the cursor shows: the same filter, binds and order.
TEST(QueryShapeTest, TheScanStatementHasTheCursorsFilterAndOrder)
{
    QueryShape s = shapeOfT();
    s.indexName = QStringLiteral("by_name");
    s.applyOrder();
    s.filterText = QStringLiteral("name = 'a*'");
    s.applyFilter(QSqlDatabase());
    EXPECT_TRUE(s.where.isEmpty()) << "not filtered";

    s.filtered = true;
    s.applyFilter(QSqlDatabase());
    ASSERT_TRUE(s.hasFilter());
    QString sql;
    QVariantList binds;
    s.scanStatement(sql, binds);
    EXPECT_TRUE(sql.startsWith(QStringLiteral("SELECT ")));
    EXPECT_TRUE(sql.contains(QStringLiteral(" FROM \"t\" WHERE ") + s.where + QStringLiteral(" ORDER BY \"name\", \"id\"")))
        << sql.toStdString();
    EXPECT_EQ(binds, s.whereBinds);
    EXPECT_FALSE(binds.isEmpty());

    s.filterText = QStringLiteral("missing = 1");
    EXPECT_THROW(s.applyFilter(QSqlDatabase()), EngineError);
}

} // namespace
} // namespace pelldrake::engine
