// A sort by one column (a click on a grid's title): the database orders the keyset, in the
// column's own collation, NULLs first ascending and last descending, over many pages of keys,
// with a filter and against an index chosen afterwards; on SQLite and PostgreSQL.
#include "engine_fixture.h"

#include <QSqlQuery>
#include <algorithm>
#include <gmock/gmock.h>
#include <optional>

namespace pelldrake::engine::test {
namespace {

constexpr int kRows = 1300; // several pages of keys

struct Row {
    qint64 id;
    std::optional<QString> name;
    std::optional<qint64> qty;
};

class ColumnSortTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        table = tableName(QStringLiteral("sorted"));
        // A collation unlike the engine's default: case-blind on SQLite, code points on PostgreSQL.
        const QString collation = pg() ? QStringLiteral("COLLATE \"C\"") : QStringLiteral("COLLATE NOCASE");
        exec(QStringLiteral("CREATE TABLE %1 (id %2, name VARCHAR(20) %3, qty INTEGER)").arg(table, autoKey(), collation));
        exec(QStringLiteral("CREATE INDEX %1_byqty ON %1 (qty)").arg(table));
        db->startTransaction();
        QSqlQuery q(db->sqlDatabase());
        q.prepare(QStringLiteral("INSERT INTO %1 (id, name, qty) VALUES (?, ?, ?)").arg(table));
        static const char *names[] = {"apple", "Banana", "cherry", "Apple", "banana", "Date"};
        for (int i = 1; i <= kRows; ++i) {
            Row r{i, std::nullopt, std::nullopt};
            if (i % 7 != 0)
                r.name = QStringLiteral("%1 %2").arg(QLatin1String(names[i % 6])).arg((i * 37) % 50, 2, 10, QLatin1Char('0'));
            if (i % 11 != 0)
                r.qty = (i * 7919) % 97;
            q.bindValue(0, r.id);
            q.bindValue(1, r.name ? QVariant(*r.name) : QVariant(QMetaType(QMetaType::QString)));
            q.bindValue(2, r.qty ? QVariant(*r.qty) : QVariant(QMetaType(QMetaType::LongLong)));
            ASSERT_TRUE(q.exec());
            rows.push_back(r);
        }
        db->commit();
        tab = openTable(table);
    }

    // How the column's collation compares two names.
    int compareNames(const QString &a, const QString &b) const
    {
        return pg() ? QString::compare(a, b, Qt::CaseSensitive) : QString::compare(a, b, Qt::CaseInsensitive);
    }

    // The ids in the expected order: by the column (NULL first ascending, last descending), ties
    // by id ascending.
    std::vector<qint64> expected(bool byName, bool descending, const std::function<bool(const Row &)> &keep = {}) const
    {
        std::vector<Row> kept;
        std::copy_if(rows.begin(), rows.end(), std::back_inserter(kept), [&](const Row &r) { return !keep || keep(r); });
        auto cmp = [&](const Row &a, const Row &b) {
            int c = 0;
            const bool an = byName ? !a.name : !a.qty;
            const bool bn = byName ? !b.name : !b.qty;
            if (an || bn)
                c = an == bn ? 0 : (an ? -1 : 1);
            else if (byName)
                c = compareNames(*a.name, *b.name);
            else
                c = *a.qty < *b.qty ? -1 : (*a.qty > *b.qty ? 1 : 0);
            if (descending)
                c = -c;
            return c != 0 ? c < 0 : a.id < b.id;
        };
        std::stable_sort(kept.begin(), kept.end(), cmp);
        std::vector<qint64> ids;
        for (const Row &r : kept)
            ids.push_back(r.id);
        return ids;
    }

    std::vector<qint64> walk()
    {
        std::vector<qint64> ids;
        for (tab->first(); !tab->eof(); tab->next())
            ids.push_back(tab->fieldByName(QStringLiteral("id"))->asString().toLongLong());
        return ids;
    }

    QString table;
    std::vector<Row> rows;
    std::unique_ptr<Table> tab;
};

TEST_P(ColumnSortTest, OrdersEveryPageByTheColumnWithNullsAtTheStartAscending)
{
    tab->setSortField(QStringLiteral("QTY")); // names are case-blind
    EXPECT_EQ(tab->sortField(), QStringLiteral("QTY"));
    EXPECT_EQ(tab->recNo(), 1);
    EXPECT_EQ(walk(), expected(false, false));
    tab->setSortField(QStringLiteral("qty"), true);
    EXPECT_EQ(walk(), expected(false, true));

    // Text in the column's own collation, as an index on it would order it.
    tab->setSortField(QStringLiteral("name"));
    EXPECT_EQ(walk(), expected(true, false));
    tab->setSortField(QStringLiteral("name"), true);
    EXPECT_EQ(walk(), expected(true, true));

    // From the end backwards, as a grid scrolled to the bottom reads it.
    tab->last();
    std::vector<qint64> backwards;
    for (; !tab->bof(); tab->prior())
        backwards.push_back(tab->fieldByName(QStringLiteral("id"))->asString().toLongLong());
    std::reverse(backwards.begin(), backwards.end());
    EXPECT_EQ(backwards, expected(true, true));
}

TEST_P(ColumnSortTest, AFilterKeepsTheSortAndAnIndexChosenEndsIt)
{
    tab->setSortField(QStringLiteral("name"), true);
    tab->setFilter(QStringLiteral("name = 'b*'"));
    tab->setFiltered(true);
    EXPECT_EQ(tab->sortField(), QStringLiteral("name"));
    const auto startsWithB = [&](const Row &r) { return r.name && r.name->startsWith(QLatin1Char('b')); };
    EXPECT_EQ(walk(), expected(true, true, startsWithB));

    tab->setFiltered(false);
    tab->setIndexName(table + QStringLiteral("_byqty"));
    EXPECT_TRUE(tab->sortField().isEmpty());
    std::vector<qint64> ids = walk();
    std::vector<qint64> qtys;
    for (qint64 id : ids)
        if (rows[size_t(id - 1)].qty)
            qtys.push_back(*rows[size_t(id - 1)].qty);
    EXPECT_EQ(ids.size(), size_t(kRows));
    EXPECT_TRUE(std::is_sorted(qtys.begin(), qtys.end())) << ::testing::PrintToString(qtys);

    // Off again: back to the index's order; an unknown field changes nothing.
    tab->setSortField(QStringLiteral("qty"), true);
    tab->setSortField(QString());
    EXPECT_EQ(walk(), ids);
    EXPECT_THROW(tab->setSortField(QStringLiteral("nosuch")), EngineError);
    EXPECT_TRUE(tab->sortField().isEmpty());
    EXPECT_EQ(walk(), ids);
}

TEST_P(ColumnSortTest, AnotherTableStartsUnsorted)
{
    tab->setSortField(QStringLiteral("qty"));
    const QString other = tableName(QStringLiteral("other"));
    exec(QStringLiteral("CREATE TABLE %1 (id %2, qty INTEGER)").arg(other, autoKey()));
    tab->close();
    tab->setTableName(other);
    tab->open();
    EXPECT_TRUE(tab->sortField().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, ColumnSortTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
} // namespace pelldrake::engine::test
