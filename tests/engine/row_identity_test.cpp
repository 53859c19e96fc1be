// Rows are found again by their key exactly as it was read, whatever the key's type.
#include "engine_fixture.h"

#include "engine/key_store.h"

#include <QSqlQuery>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

using ::testing::UnorderedElementsAre;

TEST(KeyStoreTest, KeysAreToldApartByTypeAndExactContent)
{
    const QChar us(0x1f);
    const QList<QVariantList> keys = {
        {QString(QStringLiteral("x") + us + QStringLiteral("y")), QStringLiteral("z")},
        {QStringLiteral("x"), QString(QStringLiteral("y") + us + QStringLiteral("z"))},
        {QByteArray("\xfe", 1), 1},
        {QByteArray("\xff", 1), 1},
        {QByteArray("\x00", 1), 1},
        {QByteArray(), 1},
        {QStringLiteral("abc"), 1},
        {QStringLiteral("abc "), 1},
        {QStringLiteral("1"), 1},
        {qlonglong(1), 1},
        {QString(), 1},
        {QStringLiteral(""), 1},
    };
    KeyStore store;
    QSet<qint64> ids;
    for (const QVariantList &k : keys)
        ids.insert(store.idFor(k));
    EXPECT_EQ(ids.size(), keys.size());
    for (const QVariantList &k : keys) {
        const qint64 id = store.find(k);
        ASSERT_GE(id, 0);
        EXPECT_EQ(store.key(id), k);
        EXPECT_EQ(store.idFor(k), id);
    }
    store.clear();
    EXPECT_EQ(store.find(keys.first()), -1);
}

struct LookAlike {
    const char *name;
    QString type;         // declared type of the first key column
    QString first, second; // SQL literals of two distinct keys that look alike
    QString other1 = QStringLiteral("'a'"), other2 = QStringLiteral("'a'"); // second key column
    bool pgOnly = false;
};

class RowIdentityTest : public EngineTest {
protected:
    QList<LookAlike> cases() const
    {
        const QString bytes = pg() ? QStringLiteral("'\\x%1'::bytea") : QStringLiteral("x'%1'");
        const QString sep = pg() ? QStringLiteral("chr(31)") : QStringLiteral("char(31)");
        QList<LookAlike> list = {
            {"separator", QStringLiteral("VARCHAR(20)"), QStringLiteral("'x' || %1 || 'y'").arg(sep),
             QStringLiteral("'x'"), QStringLiteral("'z'"), QStringLiteral("'y' || %1 || 'z'").arg(sep)},
            {"bytes fe ff", blobType(), bytes.arg(QLatin1String("fe")), bytes.arg(QLatin1String("ff"))},
            {"bytes 00", blobType(), bytes.arg(QLatin1String("00")), bytes.arg(QLatin1String("0000"))},
            {"trailing blank", QStringLiteral("VARCHAR(20)"), QString::fromUtf8("'Ä'"), QString::fromUtf8("'Ä '")},
            {"date-time micro", pg() ? QStringLiteral("TIMESTAMP(6)") : QStringLiteral("DATETIME"),
             QStringLiteral("'2024-01-01 10:00:00.123456'"), QStringLiteral("'2024-01-01 10:00:00.123457'")},
        };
        if (pg()) {
            list << LookAlike{"timestamptz micro", QStringLiteral("TIMESTAMPTZ"),
                              QStringLiteral("'2024-01-01 10:00:00.000001+02'"),
                              QStringLiteral("'2024-01-01 10:00:00.000002+02'")};
            list << LookAlike{"uuid", QStringLiteral("UUID"), QStringLiteral("'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'"),
                              QStringLiteral("'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a12'")};
            list << LookAlike{"numeric digits", QStringLiteral("NUMERIC(40,30)"),
                              QStringLiteral("1.000000000000000000000000000001"),
                              QStringLiteral("1.000000000000000000000000000002")};
        }
        return list;
    }

    QString rowValues(const QString &t)
    {
        QSqlQuery q(db->sqlDatabase());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT v FROM %1 ORDER BY v").arg(t)));
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out.join(QLatin1Char(','));
    }
};

TEST_P(RowIdentityTest, LookAlikeKeysAreDistinctRowsForWalksEditsAndDeletes)
{
    for (const LookAlike &c : cases()) {
        SCOPED_TRACE(c.name);
        const QString t = tableName(QStringLiteral("ident"));
        exec(QStringLiteral("CREATE TABLE %1 (k %2 NOT NULL, k2 VARCHAR(20) NOT NULL, v VARCHAR(20), "
                            "PRIMARY KEY (k, k2))%3")
                 .arg(t, c.type, pg() ? QString() : QStringLiteral(" WITHOUT ROWID")));
        exec(QStringLiteral("INSERT INTO %1 VALUES (%2, %3, 'first')").arg(t, c.first, c.other1));
        exec(QStringLiteral("INSERT INTO %1 VALUES (%2, %3, 'second')").arg(t, c.second, c.other2));
        auto tab = openTable(t);
        EXPECT_THAT(columnValues(*tab, QStringLiteral("v")), UnorderedElementsAre("first", "second"));

        for (tab->first(); !tab->eof(); tab->next())
            if (tab->fieldByName(QStringLiteral("v"))->asString() == QLatin1String("second"))
                break;
        ASSERT_FALSE(tab->eof());
        tab->edit();
        tab->fieldByName(QStringLiteral("v"))->setAsString(QStringLiteral("second2"));
        ASSERT_NO_THROW(tab->post());
        EXPECT_EQ(rowValues(t), QStringLiteral("first,second2"));
        EXPECT_EQ(tab->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("second2"));
        ASSERT_NO_THROW(tab->deleteRecord());
        EXPECT_EQ(rowValues(t), QStringLiteral("first"));
        EXPECT_EQ(tab->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("first"));
    }
}

TEST_P(RowIdentityTest, ChangedCompositeKeyStaysTheCurrentRow)
{
    const QString t = tableName(QStringLiteral("rekey"));
    exec(QStringLiteral("CREATE TABLE %1 (a VARCHAR(10) NOT NULL, b INTEGER NOT NULL, v VARCHAR(10), "
                        "PRIMARY KEY (a, b))%2")
             .arg(t, pg() ? QString() : QStringLiteral(" WITHOUT ROWID")));
    exec(QStringLiteral("INSERT INTO %1 VALUES ('p', 1, 'one'), ('p', 2, 'two'), ('q', 1, 'three')").arg(t));
    auto tab = openTable(t);
    tab->next();
    tab->edit();
    tab->fieldByName(QStringLiteral("a"))->setAsString(QStringLiteral("r"));
    tab->post();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("two"));
    tab->edit();
    tab->fieldByName(QStringLiteral("v"))->setAsString(QStringLiteral("TWO"));
    tab->post();
    QSqlQuery q(db->sqlDatabase());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT a, b, v FROM %1 WHERE v = 'TWO'").arg(t)));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("r"));
    EXPECT_EQ(q.value(1).toInt(), 2);
    // The index order change takes effect with the next read of the keyset, the record stays.
    tab->setIndexName(tab->indexDefs().first().name);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("TWO"));
}

// A table without a key is shown in storage order. Its first rows may lie far in (the rows
// before them deleted), or only further on pass the filter: the first screen is still the
// first rows in storage order, and the walk goes on from them.
TEST_P(RowIdentityTest, AKeylessTableShowsItsFirstRowsInStorageOrderWhereverTheyLie)
{
    const QString t = tableName(QStringLiteral("keyless_first"));
    exec(QStringLiteral("CREATE TABLE %1 (n INTEGER NOT NULL, pad VARCHAR(200))").arg(t));
    exec(pg() ? QStringLiteral("INSERT INTO %1 SELECT g, repeat('x', 150) FROM generate_series(1, 30000) AS g").arg(t)
              : QStringLiteral("WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < 30000)"
                               " INSERT INTO %1 SELECT n, printf('%.150c', 'x') FROM g").arg(t));
    // Gone: all but a few of the rows in the first blocks (about 50 rows a block on PostgreSQL).
    exec(QStringLiteral("DELETE FROM %1 WHERE n <= 20000 AND n % 1000 <> 0").arg(t));
    auto tab = openTable(t);
    QStringList first;
    for (int row = 0; row < 30; ++row)
        first << tab->textAt(row, 0);
    QStringList expected;
    for (int n = 1000; n <= 20000; n += 1000)
        expected << QString::number(n);
    for (int n = 20001; expected.size() < 30; ++n)
        expected << QString::number(n);
    EXPECT_EQ(first.join(QLatin1Char(',')), expected.join(QLatin1Char(',')));
    EXPECT_EQ(tab->rowCount(), 20 + 10000);

    // Passing the filter only from n = 25000 on.
    tab->setFilter(QStringLiteral("n >= 25000"));
    tab->setFiltered(true);
    EXPECT_EQ(tab->textAt(0, 0), QStringLiteral("25000"));
    EXPECT_EQ(tab->textAt(59, 0), QStringLiteral("25059"));
    EXPECT_EQ(columnValues(*tab, QStringLiteral("n")).size(), 5001);
}

INSTANTIATE_TEST_SUITE_P(Engines, RowIdentityTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

} // namespace
} // namespace pelldrake::engine::test
