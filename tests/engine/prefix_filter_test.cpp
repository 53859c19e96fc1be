// Prefix filters give exactly the rows whose text starts with the value, character for
// character, whatever the column's type and collation; on PostgreSQL an ordinary index on a text
// column under a code point collation serves them.
#include "engine_fixture.h"

#include "engine/filter.h"
#include "engine/text_order.h"

#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

// Texts that differ only where a language's collation looks past: case, accents, composed and
// decomposed forms, punctuation and blanks, ligatures, characters beyond the first plane and
// the last code point; with the pattern characters of both databases and apostrophes.
const QStringList &texts()
{
    static const QStringList list = {
        QStringLiteral("a"),           QStringLiteral("ab"),          QStringLiteral("abc"),
        QStringLiteral("abd"),         QStringLiteral("Abc"),         QStringLiteral("ABC"),
        QStringLiteral("a-b"),         QStringLiteral("a b"),         QStringLiteral("a_b"),
        QStringLiteral("axb"),         QStringLiteral("a%b"),         QStringLiteral("a\\b"),
        QStringLiteral("a\\\\b"),      QStringLiteral("a*b"),         QStringLiteral("a?b"),
        QStringLiteral("a[b]"),        QStringLiteral("O'Brien"),     QStringLiteral("O'"),
        QStringLiteral("o'brien"),     QStringLiteral("OBrien"),      QStringLiteral("'quoted'"),
        QString::fromUtf8("Ärger"),    QString::fromUtf8("Ärmel"),    QStringLiteral("Arger"),
        QString::fromUtf8("ärger"),    QString::fromUtf8("é"),        QString::fromUtf8("e\u0301"),
        QStringLiteral("e"),           QString::fromUtf8("ß"),        QStringLiteral("ss"),
        QString::fromUtf8("Straße"),   QStringLiteral("Strasse"),     QString::fromUtf8("ﬁx"),
        QStringLiteral("fix"),         QString::fromUtf8("日本"),     QString::fromUtf8("日本語"),
        QString::fromUtf8("😀 smile"), QString::fromUtf8("😁"),       QString::fromUtf8("z\U0010FFFF"),
        QString::fromUtf8("z\U0010FFFFa"), QString::fromUtf8("z\uD7FFy"), QString::fromUtf8("z\uE000"),
        QString::fromUtf8("\u00A0nbsp"), QStringLiteral(" lead"),     QStringLiteral("100%"),
        QStringLiteral("_x"),          QStringLiteral("\\x"),         QString(),
    };
    return list;
}

const QStringList &prefixes()
{
    static const QStringList list = {
        QStringLiteral("a"),   QStringLiteral("ab"),  QStringLiteral("a-"),  QStringLiteral("a_"),
        QStringLiteral("a%"),  QStringLiteral("a\\"), QStringLiteral("a\\\\"), QStringLiteral("a*"),
        QStringLiteral("a?"),  QStringLiteral("a["),  QStringLiteral("O'"),  QStringLiteral("'"),
        QStringLiteral("A"),   QString::fromUtf8("Ä"), QString::fromUtf8("Är"), QStringLiteral("e"),
        QString::fromUtf8("é"), QString::fromUtf8("ß"), QStringLiteral("s"), QStringLiteral("Str"),
        QString::fromUtf8("ﬁ"), QStringLiteral("f"),  QString::fromUtf8("日本"), QString::fromUtf8("😀"),
        QString::fromUtf8("z\U0010FFFF"), QString::fromUtf8("z\uD7FF"), QString::fromUtf8("\u00A0"),
        QStringLiteral(" "),   QStringLiteral("%"),   QStringLiteral("_"),   QStringLiteral("\\"),
        QStringLiteral("1"),   QStringLiteral("zzz"),
    };
    return list;
}

class PrefixFilterTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        table = tableName(QStringLiteral("prefix"));
        // On PostgreSQL beside the database's own collation: "C", and a language's collation
        // from ICU where the server has it.
        QString extra;
        if (pg()) {
            QSqlQuery q(db->sqlDatabase());
            ASSERT_TRUE(q.exec(QStringLiteral("SELECT 1 FROM pg_collation WHERE collname = 'en-x-icu'")));
            icu = q.next();
            extra = QStringLiteral(", c TEXT COLLATE \"C\"");
            if (icu) {
                // And one that holds "abc" and "ABC" equal: LIKE refuses such a collation.
                // (Tests run side by side: the second to create it finds it there.)
                exec(QStringLiteral("DO $$ BEGIN CREATE COLLATION IF NOT EXISTS pelldrake_test_nocase "
                                    "(provider = icu, locale = 'und-u-ks-level2', deterministic = false); "
                                    "EXCEPTION WHEN unique_violation OR duplicate_object THEN NULL; END $$"));
                extra += QStringLiteral(", l TEXT COLLATE \"en-x-icu\", ci TEXT COLLATE pelldrake_test_nocase");
            }
        }
        exec(QStringLiteral("CREATE TABLE %1 (id %2, t TEXT, v VARCHAR(40), n INTEGER%3)").arg(table, autoKey(), extra));
        for (const char *col : {"t", "v", "n"})
            exec(QStringLiteral("CREATE INDEX %1_%2 ON %1 (%2)").arg(table, QLatin1String(col)));
        QSqlQuery q(db->sqlDatabase());
        const QString cols = textColumns().join(QLatin1String(", "));
        const int n = int(cols.count(QLatin1Char(',')) + 1);
        QStringList marks;
        for (int i = 0; i < n; ++i)
            marks << QStringLiteral("?");
        ASSERT_TRUE(q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols, marks.join(','))));
        for (const QString &text : texts()) {
            for (int i = 0; i < n; ++i)
                q.bindValue(i, text.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text));
            ASSERT_TRUE(q.exec()) << text.toStdString();
        }
        for (int v : {1, 12, 123, -1, 21, 0})
            exec(QStringLiteral("INSERT INTO %1 (n) VALUES (%2)").arg(table).arg(v));
    }

    QStringList textColumns() const
    {
        QStringList cols{QStringLiteral("t"), QStringLiteral("v")};
        if (pg())
            cols << QStringLiteral("c");
        if (icu)
            cols << QStringLiteral("l") << QStringLiteral("ci");
        return cols;
    }

    static QString filterFor(const QString &column, const QString &prefix)
    {
        QString value = prefix;
        value.replace(QLatin1Char('\''), QLatin1String("''"));
        return QStringLiteral("%1 = '%2*'").arg(column, value);
    }

    QString table;
    bool icu = false;
};

TEST_P(PrefixFilterTest, ResultsAreExactInEveryCollation)
{
    auto tab = openTable(table);
    for (const QString &column : textColumns()) {
        for (const QString &prefix : prefixes()) {
            const QString filter = filterFor(column, prefix);
            SCOPED_TRACE(filter.toStdString());
            QStringList expected;
            for (const QString &text : texts())
                if (!text.isNull() && text.startsWith(prefix))
                    expected << text;
            tab->setFilter(filter);
            tab->setFiltered(true);
            QStringList got = columnValues(*tab, column);
            EXPECT_THAT(got, ::testing::UnorderedElementsAreArray(expected));
        }
        // In the order of the column's index the same rows come.
        if (column == QLatin1String("t") || column == QLatin1String("v")) {
            tab->setFiltered(false);
            tab->setIndexName(QStringLiteral("%1_%2").arg(table, column));
            QStringList expected;
            for (const QString &text : texts())
                if (text.startsWith(QLatin1Char('a')))
                    expected << text;
            tab->setFilter(filterFor(column, QStringLiteral("a")));
            tab->setFiltered(true);
            EXPECT_THAT(columnValues(*tab, column), ::testing::UnorderedElementsAreArray(expected)) << column.toStdString();
            tab->setFiltered(false);
            tab->setIndexName(QString());
        }
    }
    // A number matches by its text form.
    const std::pair<const char *, QStringList> numbers[] = {
        {"1", {"1", "12", "123"}}, {"-", {"-1"}}, {"2", {"21"}}, {"0", {"0"}}, {"9", {}}};
    for (const auto &[prefix, expected] : numbers) {
        tab->setFilter(filterFor(QStringLiteral("n"), QLatin1String(prefix)));
        tab->setFiltered(true);
        EXPECT_THAT(columnValues(*tab, QStringLiteral("n")), ::testing::UnorderedElementsAreArray(expected)) << prefix;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, PrefixFilterTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

class PostgresPrefixPlanTest : public PrefixFilterTest {};

// The plan of a prefix filter, with the values written into the text (EXPLAIN takes no binds).
QString planOf(const QSqlDatabase &db, const QString &from, const CompiledFilter &c)
{
    QString sql = QStringLiteral("EXPLAIN SELECT * FROM %1 WHERE %2").arg(from, c.sql);
    for (const QVariant &v : c.binds) {
        QSqlField f(QString(), v.metaType());
        f.setValue(v);
        sql.replace(sql.indexOf(QLatin1Char('?')), 1, db.driver()->formatValue(f));
    }
    QSqlQuery q(db);
    if (!q.exec(sql))
        return QStringLiteral("failed: ") + sql;
    QString plan;
    while (q.next())
        plan += q.value(0).toString() + QLatin1Char('\n');
    return plan;
}

TEST_P(PostgresPrefixPlanTest, AnOrdinaryIndexServesCodePointCollations)
{
    if (!pg())
        GTEST_SKIP() << "PostgreSQL only";
    exec(QStringLiteral("CREATE INDEX %1_c ON %1 (c)").arg(table));
    const QString from = QStringLiteral("\"%1\"").arg(table);
    const QHash<QString, TextOrder> orders = postgresTextOrders(db->sqlDatabase(), from);
    EXPECT_EQ(orders.value(QStringLiteral("c")), TextOrder::CodePoint);
    EXPECT_EQ(orders.value(QStringLiteral("n")), TextOrder::NotText);
    EXPECT_EQ(orders.value(QStringLiteral("id")), TextOrder::NotText);
    if (icu) {
        EXPECT_EQ(orders.value(QStringLiteral("l")), TextOrder::Linguistic);
        EXPECT_EQ(orders.value(QStringLiteral("ci")), TextOrder::Linguistic);
    }
    // The database's own collation decides for t and v alike.
    EXPECT_EQ(orders.value(QStringLiteral("t")), orders.value(QStringLiteral("v")));

    QSqlQuery q(db->sqlDatabase());
    ASSERT_TRUE(q.exec(QStringLiteral("SET enable_seqscan = off")));
    const auto column = [](const QString &n) { return QLatin1Char('"') + n + QLatin1Char('"'); };
    const auto orderOf = [&](const QString &n) { return orders.value(n); };
    for (const char *col : {"t", "v", "c"}) {
        const QString name = QLatin1String(col);
        if (orders.value(name) != TextOrder::CodePoint)
            continue;
        for (const QString &prefix : {QStringLiteral("O'Br"), QStringLiteral("a%"), QString::fromUtf8("z\U0010FFFF")}) {
            const auto node = parseFilter(filterFor(name, prefix));
            const QString plan = planOf(db->sqlDatabase(), from, compileFilter(*node, Dialect::Postgres, column, orderOf));
            EXPECT_TRUE(plan.contains(QStringLiteral("%1_%2").arg(table, name))) << plan.toStdString();
        }
    }
    ASSERT_TRUE(q.exec(QStringLiteral("RESET enable_seqscan")));
}

INSTANTIATE_TEST_SUITE_P(Engines, PostgresPrefixPlanTest, ::testing::Values(Backend::Postgres), backendName);

} // namespace
} // namespace pelldrake::engine::test
