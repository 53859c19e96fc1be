// Delete All, key fill and load whose commit fails or whose connection is lost: the user sees
// the command's own error with the engine's reason, the counters and the grid show what is
// stored (or that the count is unknown), and no transaction stays open.
#include "maintenance_fixture.h"

#include "maintenance/command_frame.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

enum class Engine { Sqlite, Postgres };

// "items" (3 records, two with an empty K) on either engine, and a way to make the window's
// next commit fail: on SQLite a second connection holds a read transaction, so the commit
// stays busy; on PostgreSQL the deferred keys fail at the commit (K must name a "parent", and
// "holder" refers to item 1).
class FailedCommitTest : public MaintenanceTest, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override
    {
        MaintenanceTest::SetUp();
        const QString suffix = QString::number(QCoreApplication::applicationPid());
        items = QStringLiteral("items_") + suffix;
        parent = QStringLiteral("parent_") + suffix;
        holder = QStringLiteral("holder_") + suffix;
        if (server()) {
            if (!addServerAlias(QStringLiteral("Server")))
                GTEST_SKIP() << "PELLDRAKE_TEST_PG_HOST not set";
            alias = QStringLiteral("Server");
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kCheck);
            db.setHostName(qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST"));
            db.setPort(qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT"));
            db.setDatabaseName(qEnvironmentVariable("PELLDRAKE_TEST_PG_DB"));
            db.setUserName(qEnvironmentVariable("PELLDRAKE_TEST_PG_USER"));
        } else {
            alias = QStringLiteral("Maint");
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kCheck);
            db.setDatabaseName(maintPath);
        }
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        dropTables();
        run(QStringLiteral("CREATE TABLE %1 (k VARCHAR(20) PRIMARY KEY)").arg(parent));
        run(QStringLiteral("INSERT INTO %1 VALUES ('x1'), ('')").arg(parent));
        run(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY,"
                           " k VARCHAR(20) REFERENCES %2 (k) DEFERRABLE INITIALLY DEFERRED)").arg(items, parent));
        run(QStringLiteral("INSERT INTO %1 VALUES (1, 'x1'), (2, ''), (3, '')").arg(items));
        run(QStringLiteral("CREATE TABLE %1 (item INTEGER REFERENCES %2 (id) DEFERRABLE INITIALLY DEFERRED)")
                .arg(holder, items));
        run(QStringLiteral("INSERT INTO %1 VALUES (1)").arg(holder));
        created = true;
    }

    void TearDown() override
    {
        window.reset(); // its connections hold the tables
        if (db.isOpen()) {
            releaseCommits();
            if (created)
                dropTables();
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(kCheck);
        MaintenanceTest::TearDown();
    }

    bool server() const { return GetParam() == Engine::Postgres; }

    void dropTables()
    {
        for (const QString &t : {holder, items, parent})
            run(QStringLiteral("DROP TABLE IF EXISTS %1").arg(t));
    }

    void run(const QString &sql)
    {
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QString value(const QString &sql)
    {
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql) && q.next()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return q.value(0).toString();
    }
    int count(const QString &where = QString())
    {
        return value(QStringLiteral("SELECT count(*) FROM %1 %2").arg(items, where)).toInt();
    }

    void holdCommits()
    {
        if (server())
            return;
        run(QStringLiteral("BEGIN"));
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT * FROM %1").arg(items)) && q.next());
        holding = true;
    }
    void releaseCommits()
    {
        if (holding)
            run(QStringLiteral("ROLLBACK"));
        holding = false;
    }
    // What the engine says about the commit.
    QString reason() const { return server() ? QStringLiteral("foreign key") : QStringLiteral("locked"); }

    // The pane's state after a failed command: the table as stored, nothing left open.
    void expectUnchanged(Pane &pane)
    {
        EXPECT_EQ(count(), 3);
        EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("3"));
        EXPECT_EQ(gridColumn(pane, QStringLiteral("id")), (QStringList{"1", "2", "3"}));
        EXPECT_FALSE(pane.table->database()->inTransaction());
        EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
        EXPECT_FALSE(pane.table->controlsDisabled());
        EXPECT_TRUE(pane.tableList->isEnabled());
    }

    static constexpr const char *kCheck = "failed-commit-check";
    QString alias, items, parent, holder;
    QSqlDatabase db;
    bool holding = false;
    bool created = false;
};

TEST_P(FailedCommitTest, DeleteAllWhoseCommitFailsKeepsEveryRecordAndSaysWhy)
{
    Pane &pane = openTable(1, alias, items);
    holdCommits();
    fake.answerYesNo(true);
    choose("DeleteAllRecords1");
    releaseCommits();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(reason(), Qt::CaseInsensitive)) << errors()[0].toStdString();
    expectUnchanged(pane);

    // Nothing stayed open on the window's connection: once the commit can succeed, it does.
    run(QStringLiteral("DELETE FROM %1").arg(holder));
    fake.answerYesNo(true);
    choose("DeleteAllRecords1");
    EXPECT_EQ(errors().size(), 1) << errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("0"));
}

TEST_P(FailedCommitTest, KeyFillWhoseCommitFailsFillsNothingAndSaysWhy)
{
    Pane &pane = openTable(1, alias, items);
    chooseFieldName(pane, QStringLiteral("k"));
    holdCommits();
    fake.answerInput(QStringLiteral("5"));
    choose("FillColumnwithUniqueDateTime20char1");
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(reason(), Qt::CaseInsensitive)) << errors()[0].toStdString();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(pane.currentRecord->text(), QStringLiteral("0")); // the records filled
    EXPECT_FALSE(pane.table->filtered());
    EXPECT_EQ(count(QStringLiteral("WHERE k = ''")), 2);
    expectUnchanged(pane);

    chooseFieldName(pane, QStringLiteral("k"));
    choose("FillALLfieldsforcolumnwithUniqueDateTime20charvalue1");
    releaseCommits();
    ASSERT_EQ(errors().size(), 2);
    EXPECT_TRUE(errors()[1].contains(reason(), Qt::CaseInsensitive)) << errors()[1].toStdString();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(count(QStringLiteral("WHERE k = 'x1'")), 1);
    expectUnchanged(pane);
}

TEST_P(FailedCommitTest, LoadWhoseCommitFailsStoresNothingAndSaysSo)
{
    writeDump(alias + QLatin1Char('_') + items + QStringLiteral(".txt"),
              "<<RECORD\r\nid=10\r\nk=nowhere\r\n<<RECORD\r\nid=11\r\nk=x1\r\n");
    Pane &pane = openTable(1, alias, items);
    holdCommits();
    fake.answerYesNo(true);
    choose("TableLoad1");
    releaseCommits();
    ASSERT_EQ(errors().size(), 1);
    const QString error = errors()[0];
    EXPECT_TRUE(error.contains(reason(), Qt::CaseInsensitive)) << error.toStdString();
    // The commit is no one record's: no line is named, and none of the file is stored.
    EXPECT_FALSE(error.contains(QStringLiteral(", line "))) << error.toStdString();
    EXPECT_TRUE(error.endsWith(QStringLiteral("\n0 records of the file are in the table."))) << error.toStdString();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(QLatin1Char('\n')).toStdString();
    expectUnchanged(pane);
}

INSTANTIATE_TEST_SUITE_P(Engines, FailedCommitTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto &info) { return info.param == Engine::Sqlite ? "Sqlite" : "Postgres"; });

// The server's connection lost in the middle of a long command (the server restarted, a
// network cut): the command's own error is the one shown, and the counter shows the table as
// stored or that its count is unknown, never what the command believed it had done.
class LostConnectionTest : public FailedCommitTest {
protected:
    // Fills "items" with `n` records (no holder, so nothing else fails).
    void fill(int n)
    {
        run(QStringLiteral("DELETE FROM %1").arg(holder));
        run(QStringLiteral("INSERT INTO %1 SELECT g, 'x1' FROM generate_series(4, %2) g").arg(items).arg(n));
    }
    // Ends the window's connection at the command's first tick.
    void loseConnectionDuringTheCommand(Pane &pane)
    {
        QSqlQuery q(pane.table->database()->sqlDatabase());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT pg_backend_pid()")) && q.next());
        const QString pid = q.value(0).toString();
        QTimer::singleShot(0, [this, pid] {
            lostDuringCommand = maintenance::CommandFrame::current() != nullptr;
            run(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
        });
    }
    // The counter says what is stored, or that it is unknown.
    void expectTruthfulCounter(Pane &pane)
    {
        const QString shown = pane.recordCountEdit->text();
        EXPECT_TRUE(shown == QStringLiteral("?") || shown == QString::number(count()))
            << shown.toStdString() << " shown, " << count() << " stored";
    }
    bool lostDuringCommand = false;
};

TEST_P(LostConnectionTest, DeleteAllShowsItsOwnErrorAndNoFalseCount)
{
    fill(60000);
    Pane &pane = openTable(1, alias, items);
    loseConnectionDuringTheCommand(pane);
    fake.answerYesNo(true);
    choose("DeleteAllRecords1");
    ASSERT_TRUE(lostDuringCommand) << "the command ended before its first tick";
    ASSERT_EQ(errors().size(), 1);
    EXPECT_FALSE(errors()[0].startsWith(QStringLiteral("Cannot count the records"))) << errors()[0].toStdString();
    EXPECT_FALSE(errors()[0].trimmed().endsWith(QLatin1Char(':'))) << "a reason: " << errors()[0].toStdString();
    expectTruthfulCounter(pane);
    // The connection the server dropped is closed with its tables; one still there is out of its
    // transaction.
    if (engine::Database *db = pane.table->database()) {
        EXPECT_FALSE(db->inTransaction());
    }
    EXPECT_TRUE(pane.tableList->isEnabled());
}

TEST_P(LostConnectionTest, LoadShowsItsOwnErrorWithItsFileAndNoFalseCount)
{
    run(QStringLiteral("DELETE FROM %1").arg(holder));
    run(QStringLiteral("DELETE FROM %1").arg(items));
    QByteArray dump;
    for (int i = 1; i <= 60000; ++i)
        dump += "<<RECORD\r\nid=" + QByteArray::number(i) + "\r\nk=x1\r\n";
    const QString file = alias + QLatin1Char('_') + items + QStringLiteral(".txt");
    writeDump(file, dump);
    Pane &pane = openTable(1, alias, items);
    loseConnectionDuringTheCommand(pane);
    choose("TableLoad1");
    ASSERT_TRUE(lostDuringCommand) << "the command ended before its first tick";
    ASSERT_EQ(errors().size(), 1);
    const QString error = errors()[0];
    EXPECT_FALSE(error.startsWith(QStringLiteral("Cannot count the records"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(dumpPath(file)))) << error.toStdString();
    // What the message says is stored is stored.
    const int stored = count();
    EXPECT_TRUE(error.endsWith(QStringLiteral("\n%1 records of the file are in the table.").arg(stored))
                || error.endsWith(QStringLiteral("is unknown.")))
        << error.toStdString() << "\n" << stored << " stored";
    // A record's line names the record that failed; those before its batch may be lost with it.
    if (const qsizetype at = error.indexOf(QStringLiteral(", line ")); at >= 0) {
        const int line = error.mid(at + 7).section(QLatin1Char(')'), 0, 0).toInt();
        EXPECT_EQ((line - 1) % 3, 0) << "a record marker's line: " << line;
        EXPECT_GT(line, stored * 3) << "a stored record named as failing";
    }
    expectTruthfulCounter(pane);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Server, LostConnectionTest, ::testing::Values(Engine::Postgres),
                         [](const auto &) { return "Postgres"; });

} // namespace
