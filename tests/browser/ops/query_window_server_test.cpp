// The query window on a PostgreSQL alias: the rows of a large result stay on
// their cursor, a page read at a time, while pane 1's table reads again on
// the pane's own connection.
#include "browser_fixture.h"

#include "engine/alias_registry.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"
#include "browser/execute_query_form.h"
#include "browser/query_result_model.h"

#include <QCoreApplication>
#include <QLabel>
#include <QSqlError>
#include <QSqlQuery>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

class QueryWindowServerTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        if (!addServerAlias(QStringLiteral("Server")))
            GTEST_SKIP() << "PELLDRAKE_TEST_PG_HOST not set";
        table = QStringLiteral("query_%1").arg(QCoreApplication::applicationPid());
    }
    void TearDown() override
    {
        window.reset(); // its connections hold the table
        if (created)
            setup({QStringLiteral("DROP TABLE IF EXISTS %1").arg(table)});
        BrowserTest::TearDown();
    }
    void run(TExecuteQueryFrm &form, const QString &sql)
    {
        form.Memo1->setPlainText(sql);
        QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    }
    QVariant setup(const QStringList &statements) { return runOnServer(statements); }
    void createTable()
    {
        setup({QStringLiteral("DROP TABLE IF EXISTS %1").arg(table),
               QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(30))").arg(table),
               QStringLiteral("INSERT INTO %1 VALUES (1, 'one'), (2, 'two'), (3, 'three')").arg(table)});
        created = true;
    }
    int rowCount() { return setup({QStringLiteral("SELECT count(*) FROM %1").arg(table)}).toInt(); }
    // Ends a server session of the program, as a server restart would.
    void endSession(int pid) { setup({QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)}); }
    static int backendPid(const QSqlDatabase &db)
    {
        QSqlQuery q(db);
        return q.exec(QStringLiteral("SELECT pg_backend_pid()")) && q.next() ? q.value(0).toInt() : 0;
    }
    QString table;
    bool created = false;
};

} // namespace

TEST_F(QueryWindowServerTest, RowsStayOnTheirCursorWhileThePaneTableReopens)
{
    TPelldrakeCDSForm &w = openWindow();
    Pane &pane = w.pane1();
    chooseAlias(pane, QStringLiteral("Server"));
    {
        TExecuteQueryFrm form(w, &w);
        run(form, QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
        run(form, QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(30))").arg(table));
        run(form, QStringLiteral("INSERT INTO %1 SELECT n, 'name ' || n FROM generate_series(1, 1000) n").arg(table));
        ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
        EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("1000 rows affected."));
    }
    pane.tableList->clear();
    chooseAlias(pane, QStringLiteral("Server"));
    clickTable(pane, table);
    ASSERT_TRUE(pane.table->active());

    TExecuteQueryFrm form(w, &w);
    EXPECT_TRUE(form.Memo1->toPlainText().startsWith(QStringLiteral("delete from ")));
    run(form, QStringLiteral("SELECT id, name FROM %1 ORDER BY id").arg(table));
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    QueryResultModel *model = form.resultModel();
    EXPECT_EQ(model->rowsRead(), QueryResultModel::kPageSize);
    // The pane's table reopened and reads on its own connection meanwhile.
    EXPECT_TRUE(pane.table->active());
    EXPECT_EQ(pane.table->recordCount(), 1000);
    pane.table->last();
    while (model->canFetchMore({}))
        model->fetchMore({});
    EXPECT_EQ(model->rowsRead(), 1000);
    EXPECT_EQ(model->data(model->index(999, 1)).toString(), QStringLiteral("name 1000"));

    run(form, QStringLiteral("DELETE FROM %1 WHERE id > 998 RETURNING name").arg(table));
    EXPECT_EQ(model->rowsRead(), 2);
    EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("2 rows."));
    run(form, QStringLiteral("UPDATE %1 SET name = 'x' WHERE id <= 3").arg(table));
    EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("3 rows affected."));
    run(form, QStringLiteral("DROP TABLE %1").arg(table));
    EXPECT_EQ(errors().size(), 1); // the pane's table cannot reopen: it is gone
    EXPECT_FALSE(pane.table->active());
}

// A read-only alias keeps its promise for whatever the window runs: no
// statement can turn its transaction writable, end it and go on, or leave
// the session writable for the next statement.
TEST_F(QueryWindowServerTest, ReadOnlyAliasIsNeverWrittenWhateverTheStatement)
{
    createTable();
    engine::AliasDef readOnly = *session().aliases().find(QStringLiteral("Server"));
    readOnly.name = QStringLiteral("ServerRO");
    readOnly.readOnly = true;
    session().aliases().add(readOnly);
    TPelldrakeCDSForm &w = openWindow();
    chooseAlias(w.pane1(), QStringLiteral("ServerRO"));
    TExecuteQueryFrm form(w, &w);
    const QString del = QStringLiteral("DELETE FROM %1").arg(table);

    for (const QString &sql : {QStringLiteral("BEGIN READ WRITE; %1; COMMIT").arg(del), QStringLiteral("COMMIT; %1").arg(del),
                               QStringLiteral("SELECT 1; %1").arg(del), QStringLiteral("ROLLBACK; BEGIN; %1; COMMIT").arg(del)}) {
        fake.clear();
        run(form, sql);
        EXPECT_EQ(rowCount(), 3) << sql.toStdString();
        ASSERT_EQ(errors().size(), 1) << sql.toStdString();
        EXPECT_TRUE(errors().first().startsWith(QStringLiteral("A read-only alias runs one statement at a time")))
            << errors().first().toStdString();
    }
    // Each of these runs, or is refused, without leaving anything writable behind.
    for (const QString &first : {QStringLiteral("SET default_transaction_read_only = off"),
                                 QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ WRITE"),
                                 QStringLiteral("SELECT set_config('default_transaction_read_only', 'off', false)"),
                                 QStringLiteral("RESET ALL"), QStringLiteral("COMMIT"), QStringLiteral("BEGIN READ WRITE"),
                                 QStringLiteral("SET TRANSACTION READ WRITE"),
                                 QStringLiteral("RELEASE SAVEPOINT pelldrake_query")}) {
        fake.clear();
        run(form, first);
        run(form, del);
        EXPECT_EQ(rowCount(), 3) << first.toStdString();
        ASSERT_FALSE(errors().isEmpty()) << first.toStdString();
        EXPECT_TRUE(errors().last().contains(QStringLiteral("read-only transaction"))) << errors().last().toStdString();
    }

    // Reading goes on as before: a ';' in a literal, rows read page by page.
    fake.clear();
    run(form, QStringLiteral("SELECT n, 'a;b' AS t FROM generate_series(1, 500) n; -- all of them"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    QueryResultModel *model = form.resultModel();
    EXPECT_EQ(model->rowsRead(), QueryResultModel::kPageSize);
    while (model->canFetchMore({}))
        model->fetchMore({});
    EXPECT_EQ(model->rowsRead(), 500);
    EXPECT_EQ(model->data(model->index(499, 1)).toString(), QStringLiteral("a;b"));
    // Rows that fail part way are not the whole result; the next statement runs.
    run(form, QStringLiteral("SELECT 1 / (n - 300) FROM generate_series(1, 1000) n"));
    while (model->canFetchMore({}))
        model->fetchMore({});
    EXPECT_EQ(model->rowsRead(), 299);
    EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("299 rows read, then reading failed: division by zero"));
    run(form, QStringLiteral("SELECT count(*) FROM %1").arg(table));
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), QStringLiteral("3"));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

// The server ends the window's and the pane's sessions (as a restart does):
// the next run connects again, once, and says so when it cannot.
TEST_F(QueryWindowServerTest, LostConnectionIsMadeAgainOnTheNextRun)
{
    createTable();
    TPelldrakeCDSForm &w = openWindow();
    Pane &pane = w.pane1();
    chooseAlias(pane, QStringLiteral("Server"));
    clickTable(pane, table);
    ASSERT_TRUE(pane.table->active());
    TExecuteQueryFrm form(w, &w);
    QueryResultModel *model = form.resultModel();
    const QString count = QStringLiteral("SELECT count(*) FROM %1").arg(table);
    run(form, QStringLiteral("SELECT pg_backend_pid()"));
    endSession(model->data(model->index(0, 0)).toInt());
    endSession(backendPid(pane.database->sqlDatabase()));

    run(form, count);
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), QStringLiteral("3"));
    EXPECT_TRUE(pane.table->active()) << "the pane's table reopened on a new connection";
    EXPECT_EQ(pane.table->recordCount(), 3);

    // A statement that loses its connection says so, and the next run connects again.
    run(form, QStringLiteral("SELECT pg_terminate_backend(pg_backend_pid()), pg_sleep(5)"));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("terminating connection"))) << errors().first().toStdString();
    EXPECT_TRUE(errors().first().endsWith(QStringLiteral("\nThe connection to the server was lost; the next run connects again.")))
        << errors().first().toStdString();
    fake.clear();
    run(form, count);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), QStringLiteral("3"));

    // The server cannot be reached when the window connects again: the
    // window says so; the run after that connects.
    run(form, QStringLiteral("SELECT pg_backend_pid()"));
    endSession(model->data(model->index(0, 0)).toInt());
    QSqlDatabase paneConnection = pane.database->sqlDatabase();
    const int port = paneConnection.port();
    paneConnection.setPort(1); // the window's connection takes its settings from the pane's
    run(form, count);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().startsWith(QStringLiteral("The connection to alias 'Server' was lost and cannot be made again: ")))
        << errors().first().toStdString();
    EXPECT_GT(errors().first().size(), 70) << "the reason";
    paneConnection.setPort(port);
    fake.clear();
    run(form, count);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), QStringLiteral("3"));
}
