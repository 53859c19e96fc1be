#include "compare_fixture.h"

#include "compare/sync_script.h"
#include "engine/engine_error.h"

#include <QSqlQuery>

namespace pelldrake::compare::test {

namespace {

bool hasAspect(const Comparison &c, const QString &aspect, const QString &column = {})
{
    for (const StructureDifference &d : c.structure())
        if (d.aspect == aspect && (column.isEmpty() || d.column == column))
            return true;
    return false;
}

Options dataOnly()
{
    Options o;
    o.structure = false;
    return o;
}

} // namespace

TEST(CompareValues, ByTypeNotByText)
{
    auto real = [](double d) { Value v; v.setReal(d); return v; };
    auto integer = [](std::int64_t i) { Value v; v.setInt(i); return v; };
    auto bytes = [](Kind k, const char *s) { Value v; v.setBytes(k, s, strlen(s)); return v; };
    EXPECT_TRUE(sameValue(bytes(Kind::Decimal, "1.50"), real(1.5), Mode::Typed));
    EXPECT_TRUE(sameValue(bytes(Kind::Decimal, "-0012.5000"), bytes(Kind::Decimal, "-12.5"), Mode::Typed));
    EXPECT_TRUE(sameValue(real(3.0), integer(3), Mode::Typed));
    EXPECT_FALSE(sameValue(real(0.1 + 0.2), bytes(Kind::Decimal, "0.3"), Mode::Typed));
    EXPECT_FALSE(sameValue(real(1e-7), integer(0), Mode::Typed));
    EXPECT_FALSE(sameValue(real(0.0), real(-0.0), Mode::Typed)); // bit for bit
    EXPECT_FALSE(sameValue(bytes(Kind::Text, ""), Value(), Mode::Typed));
    EXPECT_FALSE(sameValue(bytes(Kind::Text, "ab"), bytes(Kind::Blob, "ab"), Mode::Typed));
    EXPECT_TRUE(sameValue(bytes(Kind::Text, "t"), integer(1), Mode::Bool));
    EXPECT_TRUE(sameValue(bytes(Kind::Text, "2020-01-01T10:00:00.500"), bytes(Kind::Text, "2020-01-01 10:00:00.5"), Mode::DateTime));
    EXPECT_TRUE(sameValue(bytes(Kind::Text, "2020-01-01 12:00:00+02:00"), bytes(Kind::Text, "2020-01-01 10:00:00"), Mode::DateTime));
    EXPECT_TRUE(sameValue(bytes(Kind::Text, "1"), integer(1), Mode::AsText));
    EXPECT_EQ(realText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(displayText(bytes(Kind::Text, "a\r\nb\x01")), "a\\r\\nb\\x01");
    // The merge order: NULL, numbers by value, text by its bytes, blobs.
    EXPECT_LT(orderValues(Value(), integer(-5), Mode::Typed), 0);
    EXPECT_LT(orderValues(bytes(Kind::Decimal, "9.99"), integer(10), Mode::Typed), 0);
    EXPECT_LT(orderValues(bytes(Kind::Text, "B"), bytes(Kind::Text, "a"), Mode::Typed), 0);
    EXPECT_LT(orderValues(bytes(Kind::Text, "\xc3\xa9"), bytes(Kind::Blob, "a"), Mode::Typed), 0);
}

class CompareData : public CompareTest {};
INSTANTIATE_TEST_SUITE_P(Engines, CompareData, allPairs(), pairName);

TEST_P(CompareData, KeylessTablesCompareAsMultisets)
{
    leftTable = left.table(QStringLiteral("bag"));
    rightTable = right.table(QStringLiteral("bag"));
    left.exec(QStringLiteral("CREATE TABLE %1 (a TEXT, b INTEGER)").arg(leftTable));
    right.exec(QStringLiteral("CREATE TABLE %1 (a TEXT, b INTEGER)").arg(rightTable));
    left.exec(QStringLiteral("INSERT INTO %1 VALUES ('x', 1), ('y', 2), ('x', 1), (NULL, NULL)").arg(leftTable));
    right.exec(QStringLiteral("INSERT INTO %1 VALUES (NULL, NULL), ('y', 2), ('x', 1), ('x', 1)").arg(rightTable));
    const Comparison same = compare();
    EXPECT_TRUE(same.multiset());
    EXPECT_TRUE(same.equal());
    EXPECT_EQ(same.counts().unchanged, 4);

    right.exec(QStringLiteral("INSERT INTO %1 VALUES ('x', 1), ('x', 1), ('z', 3)").arg(rightTable));
    const Comparison more = compare();
    EXPECT_EQ(more.counts().onlyRight, 3); // two more copies of ('x', 1), one ('z', 3)
    EXPECT_EQ(more.diffs().size(), 2);
    applyScript(more, Direction::RightLikeLeft);
    EXPECT_TRUE(compare().equal());
}

TEST_P(CompareData, NullKeysPairAsWholeRowsAndAreMatchedWithIsNull)
{
    // A TEXT PRIMARY KEY takes NULL in SQLite; a unique column does on PostgreSQL.
    leftTable = left.table(QStringLiteral("nk"));
    rightTable = right.table(QStringLiteral("nk"));
    for (auto [side, name] : {std::pair{&left, leftTable}, std::pair{&right, rightTable}})
        side->exec(QStringLiteral("CREATE TABLE %1 (k TEXT %2, v INTEGER)").arg(name, side->pg() ? QStringLiteral("UNIQUE") : QStringLiteral("PRIMARY KEY")));
    left.exec(QStringLiteral("INSERT INTO %1 VALUES (NULL, 1), ('a', 2), (NULL, 5)").arg(leftTable));
    right.exec(QStringLiteral("INSERT INTO %1 VALUES (NULL, 3), ('a', 2), (NULL, 5)").arg(rightTable));
    const Comparison c = compare(dataOnly());
    EXPECT_EQ(c.keyNames(), QStringList{QStringLiteral("k")});
    EXPECT_EQ(c.counts().nullKey, 4);
    EXPECT_EQ(c.counts().onlyLeft, 1);
    EXPECT_EQ(c.counts().onlyRight, 1);
    EXPECT_EQ(c.counts().unchanged, 2);
    QStringList statements;
    forEachStatement(c, Direction::RightLikeLeft, [&](const QString &s) { statements << s; });
    ASSERT_EQ(statements.size(), 2);
    EXPECT_TRUE(statements[0].contains(QStringLiteral("\"k\" IS NULL"))) << statements[0].toStdString();
    applyScript(c, Direction::RightLikeLeft);
    EXPECT_TRUE(compare(dataOnly()).equal());
}

TEST_P(CompareData, AKeyThatChangedOnlyInCaseIsReported)
{
    leftTable = left.table(QStringLiteral("ci"));
    rightTable = right.table(QStringLiteral("ci"));
    for (auto [side, name] : {std::pair{&left, leftTable}, std::pair{&right, rightTable}})
        side->exec(QStringLiteral("CREATE TABLE %1 (k TEXT PRIMARY KEY%2, v INTEGER)").arg(name, side->pg() ? QString() : QStringLiteral(" COLLATE NOCASE")));
    left.exec(QStringLiteral("INSERT INTO %1 VALUES ('abc', 1), ('b', 2)").arg(leftTable));
    right.exec(QStringLiteral("INSERT INTO %1 VALUES ('ABC', 1), ('b', 2)").arg(rightTable));
    const Comparison c = compare();
    EXPECT_EQ(c.counts().onlyLeft, 1);
    EXPECT_EQ(c.counts().onlyRight, 1);
    EXPECT_EQ(hasAspect(c, QStringLiteral("collation"), QStringLiteral("k")), left.pg() != right.pg());
    applyScript(c, Direction::LeftLikeRight);
    const Comparison after = compare(dataOnly());
    EXPECT_TRUE(after.equal());
    EXPECT_EQ(after.counts().unchanged, 2);
}

TEST_P(CompareData, ATypeChangeAndAColumnOrderAreStructureOnly)
{
    leftTable = left.table(QStringLiteral("ty"));
    rightTable = right.table(QStringLiteral("ty"));
    left.exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, a TEXT, v INTEGER)").arg(leftTable));
    right.exec(QStringLiteral("CREATE TABLE %1 (v TEXT, a TEXT, id INTEGER PRIMARY KEY)").arg(rightTable));
    left.exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'x', 1), (2, 'y', NULL)").arg(leftTable));
    right.exec(QStringLiteral("INSERT INTO %1 VALUES ('1', 'x', 1), (NULL, 'y', 2)").arg(rightTable));
    const Comparison c = compare();
    EXPECT_TRUE(hasAspect(c, QStringLiteral("type"), QStringLiteral("v")));
    EXPECT_TRUE(hasAspect(c, QStringLiteral("column order")));
    EXPECT_EQ(c.counts().structure, 2);
    EXPECT_EQ(c.counts().changed + c.counts().onlyLeft + c.counts().onlyRight, 0);
    EXPECT_EQ(c.counts().unchanged, 2);
}

TEST_P(CompareData, ValuesCompareByTypeAcrossEngines)
{
    auto columns = [](const TestSide &s, bool leftSide) {
        const QString real = s.real();
        return QStringLiteral("id INTEGER PRIMARY KEY, r %1, n %2, x %3, b BOOLEAN, ts %4, t TEXT")
            .arg(real, leftSide ? QStringLiteral("NUMERIC(10,2)") : real, leftSide ? real : QStringLiteral("INTEGER"),
                 s.pg() ? QStringLiteral("TIMESTAMP") : QStringLiteral("DATETIME"));
    };
    leftTable = left.table(QStringLiteral("vals"));
    rightTable = right.table(QStringLiteral("vals"));
    left.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(leftTable, columns(left, true)));
    right.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(rightTable, columns(right, false)));
    // 0.1 + 0.2 in floating point on both (PostgreSQL adds the literals as numerics).
    auto sum = [](const TestSide &s) { return QStringLiteral("CAST(0.1 AS %1) + CAST(0.2 AS %1)").arg(s.real()); };
    left.exec(QStringLiteral("INSERT INTO %1 VALUES (1, %3, 1.50, 3.0, %2, '2020-01-01T10:00:00', 'a'), "
                             "(2, 1e-7, NULL, NULL, NULL, NULL, '')")
                  .arg(leftTable, left.pg() ? QStringLiteral("true") : QStringLiteral("'t'"), sum(left)));
    right.exec(QStringLiteral("INSERT INTO %1 VALUES (1, %3, 1.5, 3, %2, '2020-01-01 10:00:00', 'a'), "
                              "(2, 0, NULL, NULL, NULL, NULL, NULL)")
                   .arg(rightTable, right.pg() ? QStringLiteral("true") : QStringLiteral("1"), sum(right)));
    const Comparison c = compare(dataOnly());
    EXPECT_EQ(c.counts().unchanged, 1);
    ASSERT_EQ(c.counts().changed, 1);
    const DiffRow d = c.diffs().at(0);
    QStringList changed;
    for (size_t p = 0; p < d.changed.size(); ++p)
        if (d.changed[p])
            changed << c.columns()[qsizetype(p)].name;
    EXPECT_EQ(changed, (QStringList{QStringLiteral("r"), QStringLiteral("t")})); // 1e-7 vs 0, '' vs NULL
    applyScript(c, Direction::RightLikeLeft);
    EXPECT_TRUE(compare(dataOnly()).equal());
}

TEST_P(CompareData, BadInputIsRefusedWithAClearMessage)
{
    leftTable = left.table(QStringLiteral("one"));
    rightTable = right.table(QStringLiteral("two"));
    left.exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, a TEXT)").arg(leftTable));
    right.exec(QStringLiteral("CREATE TABLE %1 (other INTEGER, b TEXT)").arg(rightTable));
    try {
        compare();
        FAIL() << "no column in common was taken";
    } catch (const engine::EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("no column in common"))) << e.message().toStdString();
    }
    right.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN a TEXT").arg(rightTable));
    Options byId;
    byId.key = QStringList{QStringLiteral("id")};
    try {
        compare(byId);
        FAIL() << "a key the right table lacks was taken";
    } catch (const engine::EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("\"id\" is not in the right table"))) << e.message().toStdString();
    }
    rightTable = QStringLiteral("no_such_table");
    EXPECT_THROW(compare(), engine::EngineError);
}

TEST_P(CompareData, ProgressCanStopTheComparison)
{
    createBoth(QStringLiteral("big"), QStringLiteral("id INTEGER PRIMARY KEY, v INTEGER"), {});
    for (TestSide *side : {&left, &right}) {
        const QString name = side == &left ? leftTable : rightTable;
        side->exec(side->pg() ? QStringLiteral("INSERT INTO %1 SELECT g, g FROM generate_series(1, 30000) g").arg(name)
                              : QStringLiteral("WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < 30000) "
                                               "INSERT INTO %1 SELECT n, n FROM g").arg(name));
    }
    qint64 seen = 0;
    Options stop;
    stop.progress = [&](qint64 done, qint64 total) {
        EXPECT_EQ(total, 60000);
        seen = done;
        return false;
    };
    EXPECT_THROW(compare(stop), Comparison::Cancelled);
    EXPECT_GT(seen, 0);
    EXPECT_LT(seen, 60000);

    if (!left.pg())
        return;
    // The left server ends the reader's session midway: an error, never a short result.
    Options cut;
    cut.progress = [&](qint64, qint64) {
        QSqlQuery(left.db()).exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                                 "WHERE query LIKE 'FETCH%pelldrake_compare%' AND pid <> pg_backend_pid()"));
        return true;
    };
    EXPECT_THROW(compare(cut), engine::EngineError);
}

} // namespace pelldrake::compare::test
