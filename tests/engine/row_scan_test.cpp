// The forward-only row scan used by the dump and the export.
#include "engine_fixture.h"

#include <QSqlQuery>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

using ::testing::ElementsAre;

class RowScanTest : public EngineTest {
protected:
    QString makeItems()
    {
        const QString t = tableName(QStringLiteral("items"));
        exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(20), price NUMERIC(10,2), "
                            "born DATE, ok BOOLEAN, data %2)")
                 .arg(t, blobType()));
        exec(QStringLiteral("CREATE INDEX %1_name ON %1 (name)").arg(t));
        const QString bytes = pg() ? QStringLiteral("'\\x00ff'::bytea") : QStringLiteral("x'00ff'");
        exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'pear', 2.50, '2024-02-29', %2, %3)")
                 .arg(t, pg() ? QStringLiteral("true") : QStringLiteral("1"), bytes));
        exec(QStringLiteral("INSERT INTO %1 VALUES (2, 'apple', 10, NULL, NULL, NULL)").arg(t));
        exec(QStringLiteral("INSERT INTO %1 VALUES (3, 'apricot', 0.1, '1999-12-31', %2, NULL)")
                 .arg(t, pg() ? QStringLiteral("false") : QStringLiteral("0")));
        exec(QStringLiteral("INSERT INTO %1 VALUES (4, 'banana', 3, NULL, NULL, NULL)").arg(t));
        return t;
    }

    static QStringList rows(Table &t)
    {
        QStringList out;
        RowScan scan(t);
        while (scan.next()) {
            QStringList cells;
            for (int i = 0; i < scan.fieldCount(); ++i)
                cells << (scan.isNull(i) ? QStringLiteral("<null>") : scan.text(i));
            out << cells.join(QLatin1Char('|'));
        }
        EXPECT_EQ(scan.rowsRead(), out.size());
        EXPECT_FALSE(scan.next()); // stays at the end
        return out;
    }
};

TEST_P(RowScanTest, ReadsTheCurrentFilterAndOrderAsText)
{
    const QString t = makeItems();
    auto tab = openTable(t);
    // SQLite stores NUMERIC values as integers or reals; PostgreSQL keeps the scale.
    const QStringList prices = pg() ? QStringList{"2.50", "10.00", "0.10", "3.00"} : QStringList{"2.5", "10", "0.1", "3"};
    EXPECT_THAT(rows(*tab), ElementsAre(QStringLiteral("1|pear|%1|2024-02-29|true|00ff").arg(prices[0]),
                                        QStringLiteral("2|apple|%1|<null>|<null>|<null>").arg(prices[1]),
                                        QStringLiteral("3|apricot|%1|1999-12-31|false|<null>").arg(prices[2]),
                                        QStringLiteral("4|banana|%1|<null>|<null>|<null>").arg(prices[3])));
}

TEST_P(RowScanTest, FollowsIndexAndFilterWithoutMovingTheCursor)
{
    const QString t = makeItems();
    auto tab = openTable(t);
    tab->setIndexName(t + QStringLiteral("_name"));
    tab->setFilter(QStringLiteral("name = 'ap*'"));
    tab->setFiltered(true);
    tab->next();
    ASSERT_EQ(tab->recNo(), 2);
    RowScan scan(*tab);
    EXPECT_EQ(scan.readsDirectly(), !pg() && PELLDRAKE_SQLITE_DIRECT); // bound filter values included
    QStringList names;
    while (scan.next()) {
        names << scan.text(1);
        EXPECT_EQ(scan.value(0).toLongLong(), names.size() == 1 ? 2 : 3);
    }
    EXPECT_THAT(names, ElementsAre(QStringLiteral("apple"), QStringLiteral("apricot")));
    EXPECT_EQ(tab->recNo(), 2);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("apricot"));

    tab->setFiltered(false);
    RowScan all(*tab);
    int n = 0;
    while (all.next())
        ++n;
    EXPECT_EQ(n, 4);
}

TEST_P(RowScanTest, ClosedTableAndEmptyTable)
{
    const QString t = tableName(QStringLiteral("empty"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(20))").arg(t));
    Table closed(*session);
    EXPECT_THROW(RowScan{closed}, EngineError);
    auto tab = openTable(t);
    RowScan scan(*tab);
    EXPECT_FALSE(scan.next());
    EXPECT_EQ(scan.rowsRead(), 0);
    EXPECT_EQ(scan.fieldCount(), 2);
}

TEST_P(RowScanTest, TheTableGoesOnReadingWhileAScanRuns)
{
    const QString t = tableName(QStringLiteral("many"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, v INTEGER)").arg(t));
    db->startTransaction();
    QSqlQuery ins(db->sqlDatabase());
    ins.prepare(QStringLiteral("INSERT INTO %1 VALUES (?, ?)").arg(t));
    for (int i = 1; i <= 3000; ++i) {
        ins.bindValue(0, i);
        ins.bindValue(1, i);
        ASSERT_TRUE(ins.exec());
    }
    db->commit();
    auto tab = openTable(t);
    RowScan scan(*tab);
    qint64 sum = 0;
    while (scan.next()) {
        sum += scan.value(1).toLongLong();
        // A grid repainting rows in the middle of a dump reads through the table's connection.
        if (scan.rowsRead() % 500 == 0)
            tab->setRecNo(int(3001 - scan.rowsRead()));
    }
    EXPECT_EQ(scan.rowsRead(), 3000);
    EXPECT_EQ(sum, 3000LL * 3001 / 2);
}

// The move to the last record after a dump or a load reads the keys in steps: it must end where
// Table::last() ends, in the key's order (pages after the last key) and in an index's order
// (pages at an offset).
TEST_P(RowScanTest, MoveToLastInStepsEndsWhereLastEnds)
{
    const QString t = tableName(QStringLiteral("long"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(20))").arg(t));
    exec(QStringLiteral("CREATE INDEX %1_name ON %1 (name)").arg(t));
    constexpr int n = 45000;
    exec(pg() ? QStringLiteral("INSERT INTO %1 SELECT x, 'n' || (x * 7919 %% %2) FROM generate_series(1, %2) AS x")
                    .arg(t).arg(n).replace(QStringLiteral("%%"), QStringLiteral("%"))
              : QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %2)"
                               " INSERT INTO %1 SELECT x, 'n' || (x * 7919 % %2) FROM c").arg(t).arg(n));
    for (const QString &index : {QString(), t + QStringLiteral("_name")}) {
        SCOPED_TRACE(index.toStdString());
        // Opened in that order: a later change of the order would read every key itself.
        auto open = [&] {
            auto table = std::make_unique<Table>(*session);
            table->setDatabaseName(QStringLiteral("data"));
            table->setTableName(t);
            table->setIndexName(index);
            table->open();
            return table;
        };
        auto stepped = open();
        auto plain = open();
        int steps = 0;
        stepped->lastInSteps([&] { ++steps; });
        plain->last();
        EXPECT_GE(steps, 2);
        EXPECT_EQ(stepped->recNo(), n);
        EXPECT_TRUE(stepped->eof());
        EXPECT_EQ(stepped->field(0)->asString(), plain->field(0)->asString());
        EXPECT_EQ(stepped->rowCount(), n);
        stepped->prior();
        plain->prior();
        EXPECT_EQ(stepped->field(1)->asString(), plain->field(1)->asString());
    }
}

// SQLite values are read through the connection's handle, and most of them are passed on as the
// bytes stored; every one must give what the driver path gives: every storage class in every
// kind of column, malformed and unusual UTF-8 included.
TEST_P(RowScanTest, ReadingDirectlyGivesTheDriverPathsTexts)
{
    if (pg())
        GTEST_SKIP() << "PostgreSQL has the driver path only";
    if (!PELLDRAKE_SQLITE_DIRECT)
        GTEST_SKIP() << "built without the direct SQLite path";
    const QString t = tableName(QStringLiteral("kinds"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, s VARCHAR(20), m TEXT, c CHAR(3), i INTEGER,"
                        " b BIGINT, r REAL, n NUMERIC(10,2), ok BOOLEAN, d DATE, tm TIME, dt DATETIME, bl BLOB, u)")
             .arg(t));
    // Each value goes into every column, so each storage class meets each column type.
    const QStringList values = {
        "NULL", "''", "'plain'", "'two\nlines'", "'café 中 😀'", "CAST(x'610062' AS TEXT)",
        "CAST(x'EFBFBE' AS TEXT)", "CAST(x'EFBFBF' AS TEXT)", "CAST(x'C3' AS TEXT)", "CAST(x'C080' AS TEXT)",
        "CAST(x'EDA080' AS TEXT)", "CAST(x'F4908080' AS TEXT)", "CAST(x'E282' AS TEXT)", "CAST(x'80' AS TEXT)",
        "0", "-9223372036854775808", "42", "1.5", "0.1", "1e300", "-0.0", "x''", "x'00ff'", "x'C3A9'",
        "'2024-02-29'", "'2024-02-30'", "'2024-2-29'", "'2024-02-29 10:11:12'", "'10:11'", "' 12 '", "'yes'",
        "'1.50'", "'x'"};
    const QStringList cols = {"s", "m", "c", "i", "b", "r", "n", "ok", "d", "tm", "dt", "bl", "u"};
    for (const QString &v : values) {
        QStringList row;
        for (int i = 0; i < cols.size(); ++i)
            row << v;
        exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(t, cols.join(','), row.join(',')));
    }
    auto tab = openTable(t);
    RowScan direct(*tab);
    RowScan driver(*tab, RowScan::Reading::ThroughDriver);
    ASSERT_TRUE(direct.readsDirectly());
    ASSERT_FALSE(driver.readsDirectly());
    int rows = 0;
    while (direct.next()) {
        ASSERT_TRUE(driver.next());
        ++rows;
        for (int f = 0; f < direct.fieldCount(); ++f) {
            SCOPED_TRACE(QStringLiteral("value %1, column %2").arg(values.value(rows - 1), tab->field(f)->fieldName()).toStdString());
            EXPECT_EQ(direct.isNull(f), driver.isNull(f));
            const QByteArray bytes = direct.utf8(f).toByteArray(); // before text(): that may convert
            EXPECT_EQ(bytes.toHex(), driver.text(f).toUtf8().toHex());
            EXPECT_EQ(driver.utf8(f).toByteArray().toHex(), driver.text(f).toUtf8().toHex());
            EXPECT_EQ(direct.text(f), driver.text(f));
            EXPECT_EQ(direct.value(f), driver.value(f));
        }
    }
    EXPECT_FALSE(driver.next());
    EXPECT_EQ(rows, values.size());
}

INSTANTIATE_TEST_SUITE_P(Engines, RowScanTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

} // namespace
} // namespace pelldrake::engine::test
