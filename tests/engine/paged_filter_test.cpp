// Filtered views whose rows are read page by page: walks, record numbers and writes over page
// boundaries, in the natural order and in an index order, on SQLite and PostgreSQL.
#include "engine_fixture.h"

#include <QSqlQuery>
#include <algorithm>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

constexpr int kRows = 2400;

struct Person {
    qint64 id;
    QString name;
    QString city;
};

class PagedFilterTest : public EngineTest {
protected:
    // Names scrambled against the ids (so the name order differs from the natural order) and
    // indexed by "<table>_byname"; the city is not indexed.
    void SetUp() override
    {
        EngineTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        table = tableName(QStringLiteral("paged"));
        exec(QStringLiteral("CREATE TABLE %1 (id %2, name VARCHAR(40) NOT NULL, city VARCHAR(30), ref VARCHAR(24))")
                 .arg(table, autoKey()));
        exec(QStringLiteral("CREATE INDEX %1_byname ON %1 (name)").arg(table));
        db->startTransaction();
        QSqlQuery q(db->sqlDatabase());
        q.prepare(QStringLiteral("INSERT INTO %1 (id, name, city) VALUES (?, ?, ?)").arg(table));
        static const char *cities[] = {"Lisbon", "London", "Oslo", "Bergen", "Lyon"};
        for (int i = 1; i <= kRows; ++i) {
            Person p{i, QStringLiteral("%1%2").arg(QLatin1Char("KLM"[i % 3])).arg((i * 7919) % kRows, 5, 10, QLatin1Char('0')),
                     QLatin1String(cities[i % 5])};
            q.bindValue(0, p.id);
            q.bindValue(1, p.name);
            q.bindValue(2, p.city);
            ASSERT_TRUE(q.exec());
            people.push_back(p);
        }
        db->commit();
        if (pg()) // the serial column must go on after the ids given above
            exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), %2)").arg(table).arg(kRows));
        tab = openTable(table);
    }

    // Ids of the rows that pass `keep`, in id order or in name order.
    template <class Pred>
    std::vector<qint64> expected(Pred keep, bool byName = false) const
    {
        std::vector<Person> rows;
        std::copy_if(people.begin(), people.end(), std::back_inserter(rows), keep);
        if (byName)
            std::sort(rows.begin(), rows.end(), [](const Person &a, const Person &b) { return a.name < b.name; });
        std::vector<qint64> ids;
        for (const Person &p : rows)
            ids.push_back(p.id);
        return ids;
    }

    qint64 currentId() { return tab->fieldByName(QStringLiteral("id"))->value().toLongLong(); }

    std::vector<qint64> walkForward()
    {
        std::vector<qint64> ids;
        for (tab->first(); !tab->eof(); tab->next())
            ids.push_back(currentId());
        return ids;
    }

    std::vector<qint64> walkBackward()
    {
        std::vector<qint64> ids;
        for (tab->last(); !tab->bof(); tab->prior())
            ids.push_back(currentId());
        std::reverse(ids.begin(), ids.end());
        return ids;
    }

    void filterBy(const QString &expr)
    {
        tab->setFilter(expr);
        tab->setFiltered(true);
    }

    QString byName() const { return table + QStringLiteral("_byname"); }

    int countWhere(const QString &condition)
    {
        QSqlQuery q(db->sqlDatabase());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table, condition)));
        return q.next() ? q.value(0).toInt() : -1;
    }

    QString table;
    std::vector<Person> people;
    std::unique_ptr<Table> tab;
};

bool startsWith(const QString &s, const char *prefix) { return s.startsWith(QLatin1String(prefix)); }

TEST_P(PagedFilterTest, WalksToTheEndGiveExactlyTheMatchingRowsInOrder)
{
    struct Case {
        const char *filter;
        bool byName;
        std::vector<qint64> ids;
    } cases[] = {
        // Indexed column, natural order.
        {"NAME = 'K*'", false, expected([](const Person &p) { return startsWith(p.name, "K"); })},
        // Unindexed column, natural order.
        {"city = 'L*'", false, expected([](const Person &p) { return startsWith(p.city, "L"); })},
        // Both in the index's order: later pages continue from where the last one ended.
        {"NAME = 'K*'", true, expected([](const Person &p) { return startsWith(p.name, "K"); }, true)},
        {"CITY = 'Lo*'", true, expected([](const Person &p) { return startsWith(p.city, "Lo"); }, true)},
        {"NAME = 'M01*'", true, expected([](const Person &p) { return startsWith(p.name, "M01"); }, true)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.filter) + (c.byName ? " by name" : ""));
        tab->setFiltered(false);
        tab->setIndexName(c.byName ? byName() : QString());
        filterBy(QLatin1String(c.filter));
        ASSERT_GT(c.ids.size(), 100u);
        EXPECT_LT(tab->rowCount(), int(c.ids.size())) << "only the first page is read";
        EXPECT_TRUE(tab->hasMoreRows());
        EXPECT_EQ(walkForward(), c.ids);
        EXPECT_EQ(tab->rowCount(), int(c.ids.size()));
        EXPECT_FALSE(tab->hasMoreRows());
        EXPECT_EQ(walkBackward(), c.ids);
        // Again from a fresh filter, starting at the end.
        tab->setFilter(QString());
        filterBy(QLatin1String(c.filter));
        EXPECT_EQ(walkBackward(), c.ids);
        EXPECT_EQ(tab->recordCount(), kRows) << "filters do not change the record count";
    }
}

// Unfiltered walks read rows in pages (ranges of keys, or lists of keys in an index's order)
// that differ by engine; every row must come with its own values, forwards, backwards and after
// a jump into the middle.
TEST_P(PagedFilterTest, UnfilteredWalksReadEachRowsOwnValues)
{
    const auto nameOf = [this](qint64 id) { return people[size_t(id - 1)].name; };
    for (const bool byNameOrder : {false, true}) {
        SCOPED_TRACE(byNameOrder ? "name order" : "natural order");
        tab->setIndexName(byNameOrder ? byName() : QString());
        const auto ids = expected([](const Person &) { return true; }, byNameOrder);
        std::vector<qint64> seen;
        for (tab->first(); !tab->eof(); tab->next()) {
            seen.push_back(currentId());
            ASSERT_EQ(tab->fieldByName(QStringLiteral("name"))->asString(), nameOf(seen.back()));
        }
        EXPECT_EQ(seen, ids);
        for (const int start : {kRows / 2 + 7, kRows - 3}) {
            tab->close(); // a fresh keyset and no rows read
            tab->setIndexName(byNameOrder ? byName() : QString());
            tab->open();
            tab->setRecNo(start);
            for (int r = start; r >= 1; --r, tab->prior()) {
                ASSERT_EQ(currentId(), ids[size_t(r - 1)]) << "record " << r;
                ASSERT_EQ(tab->fieldByName(QStringLiteral("name"))->asString(), nameOf(currentId()));
            }
        }
    }
}

TEST_P(PagedFilterTest, RecordNumbersOnAPartlyReadFilter)
{
    const auto ids = expected([](const Person &p) { return startsWith(p.city, "L"); });
    const int n = int(ids.size());
    ASSERT_EQ(n, 1440);
    filterBy(QStringLiteral("CITY = 'L*'"));
    EXPECT_EQ(tab->recNo(), 1);
    EXPECT_EQ(currentId(), ids[0]);
    EXPECT_FALSE(tab->isEmpty());
    tab->setRecNo(450);
    EXPECT_EQ(tab->recNo(), 450);
    EXPECT_EQ(currentId(), ids[449]);
    EXPECT_GE(tab->rowCount(), 450);
    EXPECT_LT(tab->rowCount(), n);
    tab->moveBy(300);
    EXPECT_EQ(tab->recNo(), 750);
    EXPECT_EQ(currentId(), ids[749]);
    EXPECT_EQ(tab->textAt(800, 0), QString::number(ids[800])) << "a view reads rows ahead of the cursor";
    tab->last();
    EXPECT_EQ(tab->recNo(), n);
    EXPECT_EQ(currentId(), ids.back());
    EXPECT_TRUE(tab->eof());
    EXPECT_EQ(tab->rowCount(), n);
    tab->prior();
    EXPECT_EQ(tab->recNo(), n - 1);

    // Moves past the end stop at the last row, reading only what they cross.
    filterBy(QStringLiteral("CITY = 'Li*'"));
    const auto lisbon = expected([](const Person &p) { return startsWith(p.city, "Li"); });
    tab->moveBy(100000);
    EXPECT_EQ(tab->recNo(), int(lisbon.size()));
    EXPECT_TRUE(tab->eof());
    tab->moveBy(-100000);
    EXPECT_EQ(tab->recNo(), 1);
    EXPECT_TRUE(tab->bof());
    tab->setRecNo(int(lisbon.size()) + 50);
    EXPECT_EQ(currentId(), lisbon.back());

    filterBy(QStringLiteral("CITY = 'Paris*'"));
    EXPECT_TRUE(tab->isEmpty());
    EXPECT_EQ(tab->recNo(), -1);
    EXPECT_FALSE(tab->hasMoreRows());
}

// The key fill and delete loops over a filter larger than a page: a record that leaves the
// filter or the table must not make the next page skip or repeat a row.
TEST_P(PagedFilterTest, WritesDuringAWalkOfAPartlyReadFilter)
{
    for (bool index : {true, false}) {
        SCOPED_TRACE(index ? "by name" : "natural order");
        exec(QStringLiteral("UPDATE %1 SET ref = NULL").arg(table));
        exec(QStringLiteral("UPDATE %1 SET ref = 'x' WHERE id - 4 * (id / 4) = 0").arg(table));
        tab->setFiltered(false);
        tab->setIndexName(index ? byName() : QString());
        filterBy(QStringLiteral("ref = ''"));
        int filled = 0;
        TransactionBatch batch(*db, 250);
        for (tab->first(); !tab->eof();) {
            tab->edit();
            tab->fieldByName(QStringLiteral("ref"))->setValue(QStringLiteral("F%1").arg(filled++));
            tab->post(); // leaves the filter: the next record becomes current
            batch.step();
        }
        batch.finish();
        EXPECT_EQ(filled, kRows * 3 / 4);
        EXPECT_EQ(countWhere(QStringLiteral("ref IS NULL")), 0);
        EXPECT_EQ(countWhere(QStringLiteral("ref LIKE 'F%'")), filled);
    }

    // Deleting every third record and renaming others (which moves them in the index order)
    // while walking the K names: every record is visited once, the renamed stay in place.
    tab->setFiltered(false);
    tab->setIndexName(byName());
    filterBy(QStringLiteral("NAME = 'K*'"));
    const auto ks = expected([](const Person &p) { return startsWith(p.name, "K"); }, true);
    std::vector<qint64> visited;
    int deleted = 0;
    for (tab->first(); !tab->eof();) {
        visited.push_back(currentId());
        if (visited.size() % 3 == 0) {
            tab->deleteRecord();
            ++deleted;
            continue;
        }
        if (visited.size() % 5 == 0 && visited.size() > 200 && visited.size() < 400) { // before the last page
            tab->edit();
            tab->fieldByName(QStringLiteral("name"))->setValue(QStringLiteral("Kzz%1").arg(currentId()));
            tab->post();
        }
        tab->next();
    }
    EXPECT_EQ(visited, ks);
    EXPECT_EQ(countWhere(QStringLiteral("name LIKE 'K%'")), int(ks.size()) - deleted);
    EXPECT_EQ(tab->recordCount(), kRows - deleted);
    tab->refresh();
    EXPECT_EQ(int(walkForward().size()), int(ks.size()) - deleted);
}

TEST_P(PagedFilterTest, AppendToAPartlyReadFilterKeepsEveryRow)
{
    filterBy(QStringLiteral("NAME = 'L*'"));
    ASSERT_TRUE(tab->hasMoreRows());
    tab->append();
    tab->fieldByName(QStringLiteral("name"))->setValue(QStringLiteral("L-new"));
    tab->post();
    const auto ls = expected([](const Person &p) { return startsWith(p.name, "L"); });
    EXPECT_EQ(tab->recNo(), int(ls.size()) + 1) << "appended at the end of the view";
    auto walked = walkForward();
    ASSERT_EQ(walked.size(), ls.size() + 1);
    walked.pop_back();
    EXPECT_EQ(walked, ls);
}

// Composite keys have no key order to continue from: pages start at an offset.
TEST_P(PagedFilterTest, CompositeKeyFilterWalksEveryRowOnce)
{
    const QString t = tableName(QStringLiteral("pairs"));
    exec(QStringLiteral("CREATE TABLE %1 (a INTEGER NOT NULL, b VARCHAR(10) NOT NULL, v VARCHAR(20), PRIMARY KEY (a, b))")
             .arg(t));
    exec(QStringLiteral("INSERT INTO %1 (a, b, v) SELECT id / 10, name, city FROM %2").arg(t, table));
    auto pairs = openTable(t);
    pairs->setFilter(QStringLiteral("v = 'Lo*'"));
    pairs->setFiltered(true);
    EXPECT_TRUE(pairs->hasMoreRows());
    QStringList forward;
    for (pairs->first(); !pairs->eof(); pairs->next())
        forward << pairs->fieldByName(QStringLiteral("a"))->asString() + QLatin1Char('/') + pairs->fieldByName(QStringLiteral("b"))->asString();
    QStringList backward;
    for (pairs->last(); !pairs->bof(); pairs->prior())
        backward.prepend(pairs->fieldByName(QStringLiteral("a"))->asString() + QLatin1Char('/') + pairs->fieldByName(QStringLiteral("b"))->asString());
    EXPECT_EQ(forward.size(), 480);
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(QStringList(forward).removeDuplicates(), 0);
    EXPECT_EQ(pairs->recNo(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, PagedFilterTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

// Field names that are words of the filter syntax, and values with the pattern characters of
// either database: all are taken literally.
class LiteralFilterTest : public EngineTest {};

TEST_P(LiteralFilterTest, KeywordNamesAndPatternCharacters)
{
    const QString t = tableName(QStringLiteral("words"));
    exec(QStringLiteral("CREATE TABLE %1 (id %2, \"Not\" VARCHAR(20), \"And\" VARCHAR(20))").arg(t, autoKey()));
    const char *values[] = {"a*b", "a?b", "a[b]", "axb", "a%b", "A*b", "ab"};
    for (const char *v : values)
        exec(QStringLiteral("INSERT INTO %1 (\"Not\", \"And\") VALUES ('%2', 'w')").arg(t, QLatin1String(v)));
    exec(QStringLiteral("UPDATE %1 SET \"And\" = 'z' WHERE \"Not\" = 'a[b]'").arg(t));
    auto tab = openTable(t);
    struct Case {
        const char *filter;
        QStringList expected;
    } cases[] = {
        {"\"Not\" = 'a**'", {"a*b"}},
        {"\"Not\" = 'a?*'", {"a?b"}},
        {"\"Not\" = 'a[*'", {"a[b]"}},
        {"\"Not\" = 'a[b]*'", {"a[b]"}},
        {"\"Not\" = 'a%*'", {"a%b"}},
        {"\"Not\" = 'A*'", {"A*b"}},
        {"Not = 'a*'", {"a*b", "a?b", "a[b]", "axb", "a%b", "ab"}},
        {"[Not] = 'a*' AND \"And\" = 'z'", {"a[b]"}},
        {"NOT \"Not\" = 'a*'", {"A*b"}},
    };
    for (const Case &c : cases) {
        tab->setFilter(QLatin1String(c.filter));
        tab->setFiltered(true);
        EXPECT_THAT(columnValues(*tab, QStringLiteral("Not")), ::testing::UnorderedElementsAreArray(c.expected))
            << c.filter;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, LiteralFilterTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

} // namespace
} // namespace pelldrake::engine::test
