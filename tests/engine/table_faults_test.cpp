// Time zones, table names, types without equality, index order and read-only databases.
#include "engine_fixture.h"

#include "engine/date_time_text.h"
#include "engine/values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>
#include <unistd.h>
#include <QSqlQuery>
#include <gmock/gmock.h>
#include <limits>

namespace pelldrake::engine::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A SQLite file this user cannot write opens read-only and says so before any write.
void expectOpensReadOnly(const QString &path, const QString &table)
{
    QTemporaryDir dir;
    Session s(QStringLiteral("ReadOnly"), dir.filePath(QStringLiteral("aliases.ini")));
    AliasDef def;
    def.name = QStringLiteral("ro");
    def.driver = QStringLiteral("SQLITE");
    def.path = path;
    s.aliases().add(def);
    Database roDb(s);
    roDb.setDatabaseName(def.name);
    roDb.open();
    EXPECT_TRUE(roDb.readOnly());
    Table tab(s);
    tab.setDatabaseName(def.name);
    tab.setTableName(table);
    tab.open();
    EXPECT_FALSE(tab.canModify());
    EXPECT_EQ(tab.readOnlyReason(), QStringLiteral("Read-only: the database file cannot be written"));
    EXPECT_THROW(tab.edit(), EngineError);
}

class TableFaultsTest : public EngineTest {
protected:
    QVariant scalar(const QString &sql)
    {
        QSqlQuery q(db->sqlDatabase());
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        return q.next() ? q.value(0) : QVariant();
    }

};

TEST(DateTimeTextTest, CanonicalFormsKeepDigitsAndOffsets)
{
    EXPECT_EQ(canonicalDateTime(QStringLiteral("2024-03-31T02:30")), QStringLiteral("2024-03-31 02:30:00"));
    EXPECT_EQ(canonicalDateTime(QStringLiteral("2024-03-31 02:30:00.123456")), QStringLiteral("2024-03-31 02:30:00.123456"));
    EXPECT_EQ(canonicalDateTime(QStringLiteral("2024-03-31 02:30:00.5")), QStringLiteral("2024-03-31 02:30:00.500"));
    EXPECT_EQ(canonicalDateTime(QStringLiteral("2024-03-31 02:30:00.000")), QStringLiteral("2024-03-31 02:30:00"));
    EXPECT_EQ(canonicalDateTime(QStringLiteral("2024-01-01 10:00:00+00")), QStringLiteral("2024-01-01 10:00:00+00:00"));
    EXPECT_EQ(canonicalDateTime(QStringLiteral("2024-01-01 10:00:00Z")), QStringLiteral("2024-01-01 10:00:00+00:00"));
    EXPECT_EQ(canonicalDateTime(QStringLiteral("2024-01-01 10:00:00.25-0330")), QStringLiteral("2024-01-01 10:00:00.250-03:30"));
    EXPECT_EQ(canonicalDateTime(QStringLiteral("1850-01-01 00:00:00+00:53:28")), QStringLiteral("1850-01-01 00:00:00+00:53:28"));
    EXPECT_EQ(canonicalTime(QStringLiteral("08:15:30.123756+02")), QStringLiteral("08:15:30.123756+02:00"));
    for (const char *bad : {"2023-02-29 10:00:00", "2024-01-01 24:00:00", "2024-01-01 10:00:00+", "2024-1-01",
                            "2024-01-01 10:00:00.", "2024-01-01 10:00:00 junk", "yesterday"})
        EXPECT_TRUE(canonicalDateTime(QLatin1String(bad)).isNull()) << bad;
    // Typed values: a zone-less value is wall-clock, a zoned one keeps its offset.
    EXPECT_EQ(valueToText(ftDateTime, QDateTime(QDate(2024, 3, 31), QTime(2, 30), Qt::UTC)),
              QStringLiteral("2024-03-31 02:30:00"));
    EXPECT_EQ(valueToText(ftDateTime, QDateTime(QDate(2024, 3, 31), QTime(2, 30), QTimeZone(19800))),
              QStringLiteral("2024-03-31 02:30:00+05:30"));
    EXPECT_EQ(valueToText(ftDateTime, fromStorage(ftDateTime, QStringLiteral("2024-03-31 02:30:00+00"))),
              QStringLiteral("2024-03-31 02:30:00+00:00"));
}

// The engine tests run with TZ set to a zone with daylight saving (test_main.cpp); PostgreSQL
// sessions get a zone of their own here.
TEST_P(TableFaultsTest, DateTimeTextRoundTripsWithoutShifting)
{
    if (pg())
        exec(QStringLiteral("SET TimeZone = 'America/New_York'"));
    const QString t = tableName(QStringLiteral("zones"));
    const QString plain = pg() ? QStringLiteral("TIMESTAMP(6)") : QStringLiteral("DATETIME");
    const QString zoned = pg() ? QStringLiteral("TIMESTAMPTZ") : QStringLiteral("DATETIME");
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, a %2, b %2, za %3, zb %3)").arg(t, plain, zoned));
    // 02:30 on 2024-03-31 does not exist on Berlin's clocks; 02:30 on 2024-10-27 exists twice.
    const QStringList wall = {QStringLiteral("2024-03-31 02:30:00"), QStringLiteral("2024-10-27 02:30:00.250"),
                              QStringLiteral("2024-03-10 02:30:00")};
    for (int i = 0; i < wall.size(); ++i)
        exec(QStringLiteral("INSERT INTO %1 (id, a, za) VALUES (%2, '%3', '%3+05:30')").arg(t).arg(i + 1).arg(wall[i]));
    auto tab = openTable(t);
    int row = 0;
    for (tab->first(); !tab->eof(); tab->next(), ++row) {
        SCOPED_TRACE(wall[row].toStdString());
        EXPECT_EQ(tab->fieldByName(QStringLiteral("a"))->asString(), wall[row]);
        const QString z = tab->fieldByName(QStringLiteral("za"))->asString();
        if (pg())
            EXPECT_TRUE(QRegularExpression(QStringLiteral("[+-]\\d\\d:\\d\\d$")).match(z).hasMatch()) << z.toStdString();
        else
            EXPECT_EQ(z, wall[row] + QLatin1String("+05:30"));
        tab->edit();
        tab->fieldByName(QStringLiteral("b"))->setAsString(tab->fieldByName(QStringLiteral("a"))->asString());
        tab->fieldByName(QStringLiteral("zb"))->setAsString(z);
        tab->post();
        // The typed value (to the millisecond) carries the same wall clock and offset.
        tab->edit();
        tab->fieldByName(QStringLiteral("b"))->setValue(tab->fieldByName(QStringLiteral("a"))->value());
        tab->post();
    }
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE a = b AND za = zb").arg(t)).toInt(), 3);
}

TEST_P(TableFaultsTest, QualifiedEntryNamesSchemaAndTablePlainEntryTheLiteralName)
{
    const QString t = tableName(QStringLiteral("orders"));
    const QString schema = pg() ? QStringLiteral("public") : QStringLiteral("main");
    const QString dotted = schema + QLatin1Char('.') + t;
    created << dotted;
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, v VARCHAR(10))").arg(t));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER PRIMARY KEY, v VARCHAR(10))").arg(dotted));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'plain')").arg(t));
    exec(QStringLiteral("INSERT INTO \"%1\" VALUES (1, 'literal')").arg(dotted));
    for (bool extensions : {true, false}) {
        const QStringList names = session->tableNames(QStringLiteral("data"), QString(), extensions, false);
        for (const QString &entry : names) {
            if (!entry.contains(t))
                continue;
            auto tab = openTable(entry);
            const QString v = tab->fieldByName(QStringLiteral("v"))->asString();
            const bool literal = entry.contains(QLatin1Char('"'));
            EXPECT_EQ(v, literal ? QStringLiteral("literal") : QStringLiteral("plain")) << entry.toStdString();
        }
    }
    EXPECT_EQ(openTable(dotted)->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("plain"));
    EXPECT_EQ(openTable(QLatin1Char('"') + dotted + QLatin1Char('"'))->fieldByName(QStringLiteral("v"))->asString(),
              QStringLiteral("literal"));
}

TEST_P(TableFaultsTest, ValuesWithoutEqualityAndUnchangedValuesPostCleanly)
{
    const QString t = tableName(QStringLiteral("odd"));
    if (pg()) {
        exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, j JSON, x XML, p POINT, v VARCHAR(10))").arg(t));
        exec(QStringLiteral("INSERT INTO %1 VALUES (1, '{\"a\": 1}', '<a>1</a>', '(1,2)', 'v')").arg(t));
        auto tab = openTable(t);
        tab->edit();
        tab->fieldByName(QStringLiteral("j"))->setAsString(QStringLiteral("{\"a\": 2}"));
        tab->fieldByName(QStringLiteral("x"))->setAsString(QStringLiteral("<a>2</a>"));
        tab->fieldByName(QStringLiteral("p"))->setAsString(QStringLiteral("(3,4)"));
        ASSERT_NO_THROW(tab->post());
        EXPECT_EQ(scalar(QStringLiteral("SELECT CAST(j AS text) || CAST(x AS text) || CAST(p AS text) FROM %1").arg(t)).toString(),
                  QStringLiteral("{\"a\": 2}<a>2</a>(3,4)"));
        // Changed by someone else meanwhile: still caught.
        exec(QStringLiteral("UPDATE %1 SET j = '{\"a\": 3}'").arg(t));
        tab->edit();
        tab->fieldByName(QStringLiteral("j"))->setAsString(QStringLiteral("{\"a\": 4}"));
        EXPECT_THROW(tab->post(), EngineError);
        tab->cancel();
        return;
    }
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, ok BOOLEAN, v VARCHAR(10))").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'yes', 'v')").arg(t));
    auto tab = openTable(t);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("ok"))->asString(), QStringLiteral("true"));
    tab->edit();
    tab->fieldByName(QStringLiteral("ok"))->setAsString(QStringLiteral("true")); // a touch of the cell
    tab->fieldByName(QStringLiteral("v"))->setAsString(QStringLiteral("w"));
    tab->post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT typeof(ok) || ':' || ok || ':' || v FROM %1").arg(t)).toString(),
              QStringLiteral("text:yes:w"));
    tab->edit();
    tab->fieldByName(QStringLiteral("ok"))->setAsString(QStringLiteral("false"));
    tab->post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT ok FROM %1").arg(t)).toInt(), 0);
}

TEST_P(TableFaultsTest, IndexOrderFollowsDirectionAndCollation)
{
    const QString t = tableName(QStringLiteral("ordered"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, n INTEGER, name VARCHAR(10))").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, 2, 'b'), (2, 1, 'B'), (3, 3, 'a'), (4, 1, 'A'), (5, NULL, 'c')").arg(t));
    exec(QStringLiteral("CREATE INDEX %1_n_desc ON %1 (n DESC)").arg(t));
    exec(QStringLiteral("CREATE INDEX %1_mixed ON %1 (n ASC, name DESC)").arg(t));
    exec(QStringLiteral("CREATE INDEX %1_expr ON %1 (lower(name))").arg(t));
    // A collation other than the column's: SQLite's NOCASE, ICU's root collation on PostgreSQL
    // (lower case before upper, a before B), against the byte order of the column itself.
    const bool icu = pg() && scalar(QStringLiteral("SELECT count(*) FROM pg_collation WHERE collname = 'und-x-icu'")).toInt() > 0;
    if (!pg())
        exec(QStringLiteral("CREATE INDEX %1_nocase ON %1 (name COLLATE NOCASE)").arg(t));
    if (icu) {
        exec(QStringLiteral("ALTER TABLE %1 ALTER COLUMN name TYPE VARCHAR(10) COLLATE \"C\"").arg(t));
        exec(QStringLiteral("CREATE INDEX %1_icu ON %1 (name COLLATE \"und-x-icu\")").arg(t));
    }
    auto tab = openTable(t);
    // NULL sorts where the index keeps it: last descending on PostgreSQL, last on SQLite.
    tab->setIndexName(t + QStringLiteral("_n_desc"));
    EXPECT_THAT(columnValues(*tab, QStringLiteral("id")), pg() ? ElementsAre("5", "3", "1", "2", "4")
                                                               : ElementsAre("3", "1", "2", "4", "5"));
    tab->setIndexName(t + QStringLiteral("_mixed"));
    EXPECT_THAT(columnValues(*tab, QStringLiteral("name")), pg() ? ElementsAre("B", "A", "b", "a", "c")
                                                                 : ElementsAre("c", "B", "A", "b", "a"));
    // The forward-only scan follows the same order.
    RowScan scan(*tab);
    ASSERT_TRUE(scan.next());
    EXPECT_EQ(scan.text(2), pg() ? QStringLiteral("B") : QStringLiteral("c"));
    if (!pg()) {
        tab->setIndexName(t + QStringLiteral("_nocase"));
        EXPECT_THAT(columnValues(*tab, QStringLiteral("id")), ElementsAre("3", "4", "1", "2", "5"));
    } else if (icu) {
        tab->setIndexName(t + QStringLiteral("_icu"));
        EXPECT_THAT(columnValues(*tab, QStringLiteral("name")), ElementsAre("a", "A", "b", "B", "c"));
    }
    try {
        tab->setIndexName(t + QStringLiteral("_expr"));
        ADD_FAILURE() << "an expression index was accepted";
    } catch (const EngineError &e) {
        EXPECT_THAT(e.message().toStdString(), HasSubstr("expression"));
    }
    EXPECT_EQ(tab->indexName(), !pg() ? t + QStringLiteral("_nocase") : icu ? t + QStringLiteral("_icu") : t + QStringLiteral("_mixed"));
    EXPECT_EQ(columnValues(*tab, QStringLiteral("id")).size(), 5);
}

TEST_P(TableFaultsTest, RowidsAtBothEndsOfTheRange)
{
    if (pg())
        GTEST_SKIP() << "rowids are SQLite's";
    const QString t = tableName(QStringLiteral("extremes"));
    exec(QStringLiteral("CREATE TABLE %1 (v INTEGER)").arg(t));
    exec(QStringLiteral("INSERT INTO %1 (rowid, v) VALUES (-9223372036854775808, 0), (9223372036854775807, 99)").arg(t));
    for (int i = 1; i <= 10; ++i)
        exec(QStringLiteral("INSERT INTO %1 (rowid, v) VALUES (%2, %2)").arg(t).arg(i));
    auto tab = openTable(t);
    EXPECT_EQ(columnValues(*tab, QStringLiteral("v")).size(), 12);
    tab->last();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("99"));
    tab->first();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("0"));
}

// A read cut short by the engine (here: a damaged page part way through the file) is an error,
// never the end of the table: no keyset that looks complete, no count of the rows read so far.
TEST_P(TableFaultsTest, AReadCutShortIsAnErrorNotTheEndOfTheTable)
{
    if (pg())
        GTEST_SKIP() << "damages a SQLite file";
    const QString t = tableName(QStringLiteral("damaged"));
    exec(QStringLiteral("CREATE TABLE %1 (v INTEGER, pad VARCHAR(300))").arg(t));
    exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000) "
                        "INSERT INTO %1 SELECT i, printf('%.200c', 'x') FROM n").arg(t));
    db->close(); // nothing of the file stays in this connection's page cache
    {
        QFile file(dir.filePath(QStringLiteral("data.sqlite")));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const int pageSize = 4096;
        const qint64 pages = file.size() / pageSize;
        // The table's leaf pages follow each other in a file written in one go: damage one at
        // about four fifths of the file.
        qint64 page = pages * 4 / 5;
        for (; page < pages; ++page) {
            file.seek(page * pageSize);
            if (file.read(1) == QByteArray(1, '\x0d'))
                break;
        }
        ASSERT_LT(page, pages) << "no leaf page found";
        file.seek(page * pageSize);
        ASSERT_EQ(file.write(QByteArray(1, '\x00')), 1);
    }
    db->open();
    auto tab = openTable(t);
    try {
        tab->last();
        int rows = 0;
        for (tab->first(); !tab->eof(); tab->next())
            ++rows;
        FAIL() << "the damaged table read as " << rows << " rows without an error";
    } catch (const EngineError &e) {
        EXPECT_THAT(e.message().toStdString(), ::testing::HasSubstr("malformed"));
    }
}

// An index order that fails to read (here: its collation was dropped by someone else after the
// table opened) leaves the table in its old order, on its old record, with every row.
TEST_P(TableFaultsTest, AFailedIndexChangeKeepsTheOldOrderAndRows)
{
    if (!pg())
        GTEST_SKIP() << "needs a collation that can be dropped under an open table";
    const QString t = tableName(QStringLiteral("ix"));
    const QString collation = t + QStringLiteral("_c");
    exec(QStringLiteral("CREATE COLLATION %1 FROM \"C\"").arg(collation));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(10))").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'c'), (2, 'a'), (3, 'b')").arg(t));
    exec(QStringLiteral("CREATE INDEX %1_byname ON %1 (name COLLATE %2)").arg(t, collation));
    auto tab = openTable(t);
    tab->next();
    exec(QStringLiteral("DROP INDEX %1_byname").arg(t));
    exec(QStringLiteral("DROP COLLATION %1").arg(collation));
    EXPECT_THROW(tab->setIndexName(t + QStringLiteral("_byname")), EngineError);
    EXPECT_EQ(tab->indexName(), QString());
    EXPECT_EQ(tab->recNo(), 2);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("id"))->asString(), QStringLiteral("2"));
    EXPECT_EQ(columnValues(*tab, QStringLiteral("id")), (QStringList{"1", "2", "3"}));
}

TEST_P(TableFaultsTest, NulInAFilterValueAndReadOnlyFiles)
{
    const QString t = tableName(QStringLiteral("ro"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(10))").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'a'), (2, 'b')").arg(t));
    auto tab = openTable(t);
    tab->setFilter(QStringLiteral("name = 'b*'"));
    tab->setFiltered(true);
    if (pg()) {
        try {
            tab->setFilter(QStringLiteral("name = 'a") + QChar(0) + QStringLiteral("b*'"));
            ADD_FAILURE() << "a NUL was passed on";
        } catch (const EngineError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("A filter value cannot contain a NUL character."));
        }
        EXPECT_EQ(tab->filter(), QStringLiteral("name = 'b*'"));
        EXPECT_EQ(columnValues(*tab, QStringLiteral("id")), QStringList{"2"});
        return;
    }
    tab.reset();
    db->close();
    const QString path = dir.filePath(QStringLiteral("data.sqlite"));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (geteuid() != 0) {
        expectOpensReadOnly(path, t);
    } else {
        // Root may write every file: the check runs in a child of this program as another user,
        // where that user can reach the program.
        const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
        for (QFileInfo f(self); f.filePath() != QLatin1String("/"); f = QFileInfo(f.path()))
            if (!f.permission(QFileDevice::ExeOther))
                GTEST_SKIP() << "another user cannot reach " << qPrintable(f.filePath());
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            GTEST_SKIP() << "setpriv is not installed";
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                              | QFileDevice::ReadOther | QFileDevice::ExeOther);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PELLDRAKE_TEST_READ_ONLY_FILE"), path);
        env.insert(QStringLiteral("PELLDRAKE_TEST_READ_ONLY_TABLE"), t);
        env.insert(QStringLiteral("HOME"), QDir::tempPath());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                     QStringLiteral("--"), self,
                     QStringLiteral("--gtest_filter=ReadOnlyFileTest.*")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QByteArray out = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << out.constData();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

INSTANTIATE_TEST_SUITE_P(Engines, TableFaultsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

// The other half of NulInAFilterValueAndReadOnlyFiles when it runs as root: run by it as an
// ordinary user in a child process.
TEST(ReadOnlyFileTest, OpensReadOnlyForAnotherUser)
{
    const QString path = qEnvironmentVariable("PELLDRAKE_TEST_READ_ONLY_FILE");
    if (path.isEmpty())
        GTEST_SKIP() << "run by NulInAFilterValueAndReadOnlyFiles";
    expectOpensReadOnly(path, qEnvironmentVariable("PELLDRAKE_TEST_READ_ONLY_TABLE"));
}

} // namespace
} // namespace pelldrake::engine::test
