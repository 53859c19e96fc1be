// Dump, delete all, load: the table must come back exactly, for every kind of
// column and value, on SQLite and on PostgreSQL.
#include "maintenance_fixture.h"

#include "engine/alias_registry.h"
#include "engine/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

// Values that a line-oriented file finds hard.
QString longMemo()
{
    return QString(100000, QLatin1Char('x')) + QStringLiteral("\r\n") + QString(300, QLatin1Char('y'));
}

QByteArray someBytes()
{
    QByteArray b;
    for (int i = 0; i < 5000; ++i)
        b.append(char((i * 37) % 256));
    return b;
}

struct RowValues {
    QVariant s, m, blob;
};

// Text values shared by both engines (ID 1 is the all-null row).
QList<RowValues> hardValues()
{
    return {
        {QString(""), QString(""), QByteArray("")},
        {QStringLiteral(u"Zoë ☃ 日本"), QStringLiteral("line1\r\nline2\nline3\r"), QByteArray("\x00\xFF\x00\x80", 4)},
        {QStringLiteral("a\tb=c"), QStringLiteral("<<RECORD\n<<+x\n<<EMPTY\n=\n\n"), QByteArray("\n\r\n")},
        {QStringLiteral("  padded  \r"), longMemo(), someBytes()},
        {QStringLiteral("<<RECORD"), QStringLiteral("NAME=not a field"), QByteArray("<<RECORD\r\n")},
    };
}

// Names the first column that differs, with the values around the difference.
::testing::AssertionResult sameRow(const QString &before, const QString &after)
{
    if (before == after)
        return ::testing::AssertionSuccess();
    const QStringList b = before.split(QLatin1Char('|')), a = after.split(QLatin1Char('|'));
    for (int i = 0; i < std::max(b.size(), a.size()); ++i) {
        const QString x = b.value(i), y = a.value(i);
        if (x == y)
            continue;
        qsizetype at = 0;
        while (at < x.size() && at < y.size() && x[at] == y[at])
            ++at;
        return ::testing::AssertionFailure() << "column " << i << " differs at " << at << ": before \""
                                             << x.mid(std::max<qsizetype>(0, at - 20), 60).toStdString() << "\" after \""
                                             << y.mid(std::max<qsizetype>(0, at - 20), 60).toStdString() << "\" (sizes "
                                             << x.size() << ", " << y.size() << ")";
    }
    return ::testing::AssertionFailure() << "rows differ";
}

class RoundTripTest : public MaintenanceTest {
protected:
    // Dump, empty the table, load the dump; then a second dump must equal the first.
    void roundTrip(int paneNumber, const QString &alias, const QString &table, const QString &file)
    {
        Pane &pane = openTable(paneNumber, alias, table);
        ASSERT_TRUE(pane.table->active());
        const char *dump = paneNumber == 1 ? "TableDump1" : "TableDump2";
        choose(dump);
        const QByteArray first = readAll(dumpPath(file));
        fake.answerYesNo(true);
        choose(paneNumber == 1 ? "DeleteAllRecords1" : "DeleteAllRecords2");
        ASSERT_EQ(pane.table->recordCount(), 0);
        choose(paneNumber == 1 ? "TableLoad1" : "TableLoad2");
        ASSERT_TRUE(errors().isEmpty()) << errors().join(QLatin1Char('\n')).toStdString();
        fake.answerYesNo(true); // overwrite
        choose(dump);
        EXPECT_EQ(readAll(dumpPath(file)), first);
        EXPECT_TRUE(errors().isEmpty()) << errors().join(QLatin1Char('\n')).toStdString();
    }
};

// Every column as SQLite stores it: storage class and exact value.
QString sqliteSnapshot()
{
    QStringList columns{QStringLiteral("ID"), QStringLiteral("S"), QStringLiteral("M"), QStringLiteral("I"),
                        QStringLiteral("BI"), QStringLiteral("R"), QStringLiteral("N"), QStringLiteral("D"),
                        QStringLiteral("T"), QStringLiteral("TS"), QStringLiteral("B"), QStringLiteral("BL")};
    QStringList parts;
    for (const QString &c : columns)
        parts << QStringLiteral("typeof(%1) || ':' || quote(%1)").arg(c);
    return QStringLiteral("SELECT %1 FROM alltypes ORDER BY ID").arg(parts.join(QStringLiteral(", ")));
}

TEST_F(RoundTripTest, SqliteEveryColumnTypeComesBackExactly)
{
    exec({QStringLiteral("CREATE TABLE alltypes (ID INTEGER PRIMARY KEY, S VARCHAR(40), M TEXT, I INTEGER,"
                         " BI BIGINT, R REAL, N NUMERIC(30,10), D DATE, T TIME, TS TIMESTAMP, B BOOLEAN, BL BLOB)"),
          QStringLiteral("INSERT INTO alltypes (ID) VALUES (1)")});
    const QString name = QStringLiteral("rt-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(maintPath);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        int id = 2;
        for (const RowValues &v : hardValues()) {
            ASSERT_TRUE(q.prepare(QStringLiteral("INSERT INTO alltypes (ID, S, M, BL) VALUES (?, ?, ?, ?)")));
            q.addBindValue(id++);
            q.addBindValue(v.s);
            q.addBindValue(v.m);
            q.addBindValue(v.blob);
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    exec({QStringLiteral("UPDATE alltypes SET I = -42, BI = 9007199254740993, R = 0.1, N = 12345678.1234567891,"
                         " D = '2024-02-29', T = '23:59:59.123', TS = '2024-03-05 14:07:09.045', B = 1 WHERE ID = 3"),
          QStringLiteral("UPDATE alltypes SET I = 0, BI = -9223372036854775808, R = 1e-300, N = -0.5,"
                         " D = '0001-01-01', T = '00:00:00', TS = '1999-12-31 23:59:59', B = 0 WHERE ID = 4"),
          QStringLiteral("UPDATE alltypes SET I = 2147483647, BI = 1, R = 123456789.123456789, N = 0,"
                         " D = '9999-12-31', T = '12:00:00.500', TS = '2024-01-01 00:00:00', B = 1 WHERE ID = 5")});
    const QStringList before = rows(sqliteSnapshot());
    ASSERT_EQ(before.size(), 6);
    ASSERT_TRUE(before[1].contains(QStringLiteral("text:''|text:''|"))) << before[1].toStdString();
    ASSERT_TRUE(before[1].endsWith(QStringLiteral("blob:X''"))) << before[1].toStdString();

    roundTrip(1, QStringLiteral("Maint"), QStringLiteral("alltypes"), QStringLiteral("Maint_alltypes.txt"));
    const QStringList after = rows(sqliteSnapshot());
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i)
        EXPECT_TRUE(sameRow(before[i], after[i])) << "row " << i + 1;
}

class ServerRoundTripTest : public RoundTripTest {
protected:
    void SetUp() override
    {
        RoundTripTest::SetUp();
        if (qEnvironmentVariableIsEmpty("PELLDRAKE_TEST_PG_HOST"))
            GTEST_SKIP() << "PELLDRAKE_TEST_PG_HOST not set";
        engine::AliasDef def;
        def.name = QStringLiteral("Server");
        def.driver = QStringLiteral("POSTGRES");
        def.host = qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST");
        def.port = qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT");
        def.database = qEnvironmentVariable("PELLDRAKE_TEST_PG_DB");
        def.user = qEnvironmentVariable("PELLDRAKE_TEST_PG_USER");
        session().aliases().add(def);
        table = QStringLiteral("roundtrip_%1").arg(QCoreApplication::applicationPid());
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("roundtrip-check"));
        db.setHostName(def.host);
        db.setPort(def.port);
        db.setDatabaseName(def.database);
        db.setUserName(def.user);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        run(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
    }

    void TearDown() override
    {
        window.reset();
        if (db.isOpen())
            run(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("roundtrip-check"));
        RoundTripTest::TearDown();
    }

    void run(const QString &sql, const QVariantList &binds = {})
    {
        QSqlQuery q(db);
        if (binds.isEmpty()) {
            ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
            return;
        }
        ASSERT_TRUE(q.prepare(sql)) << sql.toStdString() << q.lastError().text().toStdString();
        for (const QVariant &b : binds)
            q.addBindValue(b);
        ASSERT_TRUE(q.exec()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }

    // Every column as the server prints it, nulls marked.
    QStringList snapshot()
    {
        QSqlQuery q(db);
        const QStringList columns{QStringLiteral("id"), QStringLiteral("s"), QStringLiteral("c"),
                                  QStringLiteral("m"), QStringLiteral("i"), QStringLiteral("si"),
                                  QStringLiteral("bi"), QStringLiteral("r"), QStringLiteral("f"),
                                  QStringLiteral("n"), QStringLiteral("d"), QStringLiteral("t"),
                                  QStringLiteral("ts"), QStringLiteral("tz"), QStringLiteral("b"),
                                  QStringLiteral("bl")};
        QStringList parts;
        for (const QString &c : columns)
            parts << QStringLiteral("coalesce(%1::text, '<null>')").arg(c);
        EXPECT_TRUE(q.exec(QStringLiteral("SET extra_float_digits = 3")));
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(parts.join(QStringLiteral(", ")), table)));
        QStringList out;
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < columns.size(); ++i)
                values << q.value(i).toString();
            out << values.join(QLatin1Char('|'));
        }
        return out;
    }

    QString table;
    QSqlDatabase db;
};

TEST_F(ServerRoundTripTest, PostgresEveryColumnTypeComesBackExactly)
{
    run(QStringLiteral("CREATE TABLE %1 (id integer PRIMARY KEY, s varchar(40), c char(5), m text, i integer,"
                       " si smallint, bi bigint, r double precision, f real, n numeric(40,15), d date, t time,"
                       " ts timestamp, tz timestamptz, b boolean, bl bytea)").arg(table));
    run(QStringLiteral("INSERT INTO %1 (id) VALUES (1)").arg(table));
    run(QStringLiteral("INSERT INTO %1 (id, c, i, si, bi, r, f, n, d, t, ts, tz, b) VALUES"
                       " (10, 'ab', -42, -32768, 9223372036854775807, 0.1, 1.5, 1234567890123456789012345.123456789012345,"
                       "  '2024-02-29', '23:59:59.123456', '2024-03-05 14:07:09.045123', '2024-03-05 14:07:09.045678+05:30', true),"
                       " (11, '', 0, 0, -1, 1e-300, -0.25, -0.000000000000001, '0001-01-01', '00:00:00',"
                       "  '1999-12-31 23:59:59', '1970-01-01 00:00:00+00', false)").arg(table));
    int id = 2;
    for (const RowValues &v : hardValues())
        run(QStringLiteral("INSERT INTO %1 (id, s, m, bl) VALUES (?, ?, ?, ?)").arg(table),
            {id++, v.s, v.m, v.blob});
    const QStringList before = snapshot();
    ASSERT_EQ(before.size(), 8);

    roundTrip(2, QStringLiteral("Server"), table, QStringLiteral("Server_") + table + QStringLiteral(".txt"));
    const QStringList after = snapshot();
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i)
        EXPECT_TRUE(sameRow(before[i], after[i])) << "row " << i + 1;
}

// The server takes the loaded records in groups of many; a duplicate key in the middle of a
// group stops the load as one record at a time did: the records before it stay, the error names
// the failing record's line, nothing after it is stored.
TEST_F(ServerRoundTripTest, PostgresLoadStoppedInTheMiddleOfAGroup)
{
    run(QStringLiteral("CREATE TABLE %1 (id integer PRIMARY KEY, s varchar(40))").arg(table));
    run(QStringLiteral("INSERT INTO %1 VALUES (7, 'there')").arg(table));
    QByteArray dump;
    constexpr int records = 450, duplicate = 300; // the duplicate is record 300 of the file
    for (int i = 1; i <= records; ++i) {
        const int id = i == duplicate ? 7 : 1000 + i;
        dump += "<<RECORD\r\nID=" + QByteArray::number(id) + "\r\nS=r" + QByteArray::number(i) + "\r\n";
    }
    QDir().mkpath(QStringLiteral("Table_Dump"));
    QFile f(dumpPath(QStringLiteral("Server_") + table + QStringLiteral(".txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(dump);
    f.close();

    Pane &pane = openTable(2, QStringLiteral("Server"), table);
    fake.answerYesNo(true); // append to the table with data
    choose("TableLoad2");
    ASSERT_EQ(errors().size(), 1);
    const QString line = QStringLiteral("line %1)").arg((duplicate - 1) * 3 + 1);
    EXPECT_TRUE(errors()[0].contains(line)) << errors()[0].toStdString();
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("duplicate key"))) << errors()[0].toStdString();
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT count(*), max(id) FROM %1 WHERE id > 1000").arg(table)));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), duplicate - 1);
    EXPECT_EQ(q.value(1).toInt(), 1000 + duplicate - 1);
    EXPECT_EQ(pane.table->recordCount(), duplicate);
    EXPECT_EQ(pane.recordCountEdit->text(), QString::number(duplicate));
}

} // namespace
