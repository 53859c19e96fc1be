// The query window: its prefill, the failure cases, statements run against
// pane 1's alias with the table closed and reopened around them, and the
// rows a statement returns, read page by page.
#include "browser_fixture.h"

#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "browser/execute_query_form.h"
#include "browser/query_result_model.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace pelldrake;
using namespace pelldrake::test;

class QueryWindowTest : public BrowserTest {
protected:
    Pane &openShop(const QString &table = QStringLiteral("customers"))
    {
        TPelldrakeCDSForm &w = openWindow();
        chooseAlias(w.pane1(), QStringLiteral("Shop"));
        if (!table.isEmpty())
            clickTable(w.pane1(), table);
        return w.pane1();
    }
    void run(TExecuteQueryFrm &form, const QString &sql)
    {
        form.Memo1->setPlainText(sql);
        QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    }
};

TEST_F(QueryWindowTest, WindowLooksAsDesignedAndPrefillsTheDelete)
{
    Pane &pane = openShop();
    TExecuteQueryFrm form(*window, window.get());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Execute Query"));
    EXPECT_EQ(form.size(), QSize(765, 337));
    EXPECT_EQ(form.Memo1->height(), 237);
    EXPECT_EQ(form.BitBtn2->text(), QStringLiteral("Execute Query"));
    EXPECT_EQ(form.BitBtn3->text(), QStringLiteral("Clear Query"));
    for (auto [b, left] : {std::pair{form.BitBtn1, 192}, {form.BitBtn2, 320}, {form.BitBtn3, 448}})
        EXPECT_EQ(b->geometry(), QRect(left, 260, 117, 25));
    EXPECT_EQ(form.Memo1->toPlainText(), QStringLiteral("delete from customers"));
    QTest::mouseClick(form.BitBtn3, Qt::LeftButton);
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());

    pane.tableList->setCurrentItem(nullptr);
    TExecuteQueryFrm empty(*window, window.get());
    EXPECT_TRUE(empty.Memo1->toPlainText().isEmpty());
}

TEST_F(QueryWindowTest, PrefilledDeleteEmptiesTheTableWhichReopens)
{
    Pane &pane = openShop();
    pane.grid->horizontalHeader()->moveSection(2, 0); // CITY first
    TExecuteQueryFrm form(*window, window.get());
    QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    EXPECT_TRUE(pane.table->active());
    EXPECT_EQ(pane.table->recordCount(), 0);
    EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("5 rows affected."));
    EXPECT_TRUE(form.ResultGrid->isHidden());
    // The columns keep the order the user gave them; the counter waits for
    // the next opening.
    EXPECT_EQ(pane.grid->columnFieldNames().first(), QStringLiteral("CITY"));
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("5"));

    run(form, QStringLiteral("CREATE TABLE made (X INTEGER)"));
    EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("0 rows affected."));
}

TEST_F(QueryWindowTest, FailuresLeaveTheWindowOpenAndReportWhatHappened)
{
    // Not connected: the message, nothing else.
    openWindow();
    {
        TExecuteQueryFrm form(*window, window.get());
        run(form, QStringLiteral("delete from customers"));
        EXPECT_EQ(messages(), QStringList{QStringLiteral("No database connection.")});
    }
    window.reset();
    fake.clear();
    Pane &pane = openShop();
    TExecuteQueryFrm form(*window, window.get());
    // An empty (or blank) statement: nothing at all.
    run(form, QStringLiteral("  \n"));
    EXPECT_TRUE(fake.calls().isEmpty());
    EXPECT_TRUE(pane.table->active());

    // The engine's refusal: its text, the table left closed, the window open.
    form.show();
    run(form, QStringLiteral("delete from nosuchtable"));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("nosuchtable"))) << errors().first().toStdString();
    EXPECT_FALSE(pane.table->active());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(QueryWindowTest, RowsAreShownReadOnlyAndReadPageByPage)
{
    Pane &pane = openShop();
    TestSession::runSql(path(QStringLiteral("Shop.sqlite")),
                        {QStringLiteral("CREATE TABLE many (N INTEGER)"),
                         QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 1000)"
                                        " INSERT INTO many SELECT n FROM c")});
    TExecuteQueryFrm form(*window, window.get());
    form.show();
    run(form, QStringLiteral("SELECT N, 'row ' || N AS LABEL FROM many ORDER BY N"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    QueryResultModel *model = form.resultModel();
    EXPECT_TRUE(form.ResultGrid->isVisible());
    EXPECT_EQ(form.ResultGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("LABEL"));
    // Only the first page is read; the view reads on as it scrolls.
    EXPECT_LT(model->rowsRead(), 1000);
    EXPECT_FALSE(model->complete());
    EXPECT_TRUE(form.ResultLabel->text().contains(QStringLiteral("so far")));
    while (model->canFetchMore({}))
        model->fetchMore({});
    EXPECT_EQ(model->rowsRead(), 1000);
    EXPECT_EQ(model->data(model->index(999, 1)).toString(), QStringLiteral("row 1000"));
    EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("1000 rows."));
    EXPECT_TRUE(pane.table->active());

    // RETURNING and PRAGMA return rows too.
    run(form, QStringLiteral("DELETE FROM customers WHERE ID = 2 RETURNING NAME"));
    EXPECT_EQ(model->rowsRead(), 1);
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), QStringLiteral("O'Brien"));
    EXPECT_EQ(form.ResultLabel->text(), QStringLiteral("1 row."));
    run(form, QStringLiteral("PRAGMA table_info(customers)"));
    EXPECT_EQ(model->rowsRead(), 4);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

// A cell paints what fits on a screen: a one-line value of megabytes is cut
// before the view elides it (else opening the result takes seconds), and a
// value of several lines shows its first, whatever its line ends. A copy
// takes the whole value.
TEST_F(QueryWindowTest, AHugeValueShowsOnlyWhatACellCanHold)
{
    openShop();
    TExecuteQueryFrm form(*window, window.get());
    run(form, QStringLiteral("SELECT 'a' || replace(hex(zeroblob(1048576)), '00', 'bc') AS V,"
                             " 'first' || char(13, 10) || 'second' AS L"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    const QueryResultModel *model = form.resultModel();
    const QString whole = model->data(model->index(0, 0), Qt::EditRole).toString();
    ASSERT_EQ(whole.size(), 2 * 1048576 + 1);
    const QString shown = model->data(model->index(0, 0)).toString();
    EXPECT_GE(shown.size(), 1000) << "a cell wider than a screen still shows in full";
    EXPECT_LE(shown.size(), 10000);
    EXPECT_TRUE(whole.startsWith(shown));
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("first"));

    form.ResultGrid->setCurrentIndex(model->index(0, 0));
    QTest::keySequence(form.ResultGrid, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), whole);
}

TEST(QueryResultText, ValuesAreShownLocaleFree)
{
    EXPECT_EQ(resultValueText(QVariant()), QString());
    EXPECT_EQ(resultValueText(QVariant(QByteArray("\x00\x01\x02", 3))), QStringLiteral("(3 bytes)"));
    EXPECT_EQ(resultValueText(QVariant(0.1)), QStringLiteral("0.1"));
    EXPECT_EQ(resultValueText(QVariant(QDate(2026, 12, 7))), QStringLiteral("2026-12-07"));
}

TEST_F(QueryWindowTest, ReadOnlySqliteAliasIsNeverWritten)
{
    engine::AliasDef shop = *session().aliases().find(QStringLiteral("Shop"));
    shop.readOnly = true;
    session().aliases().add(shop);
    openShop();
    TExecuteQueryFrm form(*window, window.get());
    for (const QString &sql : {QStringLiteral("delete from customers"),
                               QStringLiteral("PRAGMA query_only = 0"),
                               QStringLiteral("delete from customers"),
                               QStringLiteral("BEGIN; DELETE FROM customers; COMMIT")}) {
        run(form, sql);
        run(form, QStringLiteral("SELECT count(*) FROM customers"));
        EXPECT_EQ(form.resultModel()->data(form.resultModel()->index(0, 0)).toString(), QStringLiteral("5")) << sql.toStdString();
    }
    // The engine's reasons: a read-only database, one statement at a time.
    ASSERT_EQ(errors().size(), 3) << errors().join('\n').toStdString();
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("readonly"))) << errors()[0].toStdString();
    EXPECT_FALSE(errors()[2].isEmpty());
}

// Where a statement ends, read as the server reads it: a ';' inside a literal,
// a quoted name, a dollar quote or a comment ends nothing.
TEST(SinglePostgresStatement, OnlyTextTheServerReadsAsOneStatementIsOne)
{
    for (const char *one : {"SELECT 1", "SELECT 1;", "SELECT 1 ;; -- done\n", "SELECT 1; /* c; */ ",
                            "SELECT 'a;b'", "SELECT 'it''s; x'", "SELECT E'a\\';b'", "SELECT e'\\\\'';'",
                            "SELECT $$;$$", "SELECT $tag$ $$ ; $ta $tag$", "SELECT \"a;\"\"b\"",
                            "SELECT 1 /* a /* nested; */ still; */",
                            // a literal goes on after a line break, escapes and all
                            "SELECT E'a'\n  -- c\n'\\'; still'",
                            "SELECT B'01', X'1F'", "SELECT U&'d\\0061t;'", "SELECT $1, 2$x$;$x$",
                            "SELECT 'a\\''; DELETE FROM t; --'", "-- only a comment; really"})
        EXPECT_TRUE(isSinglePostgresStatement(QString::fromUtf8(one), true)) << one;

    for (const char *more : {"SELECT 1; DELETE FROM t", "BEGIN READ WRITE; DELETE FROM t; COMMIT",
                             "COMMIT; DELETE FROM t", "SELECT 1 -- ;\n; DELETE FROM t",
                             // '$' inside a name starts no dollar quote
                             "SELECT a$x$; DELETE FROM t; $x$", "SELECT 1 AS \"x\"; DELETE FROM t",
                             // a backslash escapes nothing in a standard literal
                             "SELECT 'a\\'; DELETE FROM t; --'", "SELECT ee'\\'; DELETE FROM t; --'",
                             // E'' escapes; B'' and X'' end at the first quote
                             "SELECT E'\\''; DELETE FROM t", "SELECT x'1'; DELETE FROM t",
                             "SELECT 'a' 'b'; DELETE FROM t",
                             // not closed: the server would refuse it, and so does this check
                             "SELECT 'open", "SELECT 1 /* open /* */", "SELECT $x$ open $X$", "SELECT \"open"})
        EXPECT_FALSE(isSinglePostgresStatement(QString::fromUtf8(more), true)) << more;

    // Without standard strings a backslash escapes a quote in every literal,
    // except a bit string and its further parts.
    EXPECT_TRUE(isSinglePostgresStatement(QStringLiteral("SELECT 'a\\'; DELETE FROM t; --'"), false));
    EXPECT_FALSE(isSinglePostgresStatement(QStringLiteral("SELECT 'a\\''; DELETE FROM t; --'"), false));
    EXPECT_FALSE(isSinglePostgresStatement(QStringLiteral("SELECT B'1'\n'\\'; DELETE FROM t; --'"), false));
}

// A statement whose rows fail part way has failed: on its first page it is
// refused as a whole, on a later one the label says how far it came and why.
TEST_F(QueryWindowTest, RowsThatFailPartWayAreNeverShownAsTheWholeResult)
{
    openShop();
    TestSession::runSql(path(QStringLiteral("Shop.sqlite")),
                        {QStringLiteral("CREATE TABLE many (N INTEGER)"),
                         QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 1000)"
                                        " INSERT INTO many SELECT n FROM c")});
    TExecuteQueryFrm form(*window, window.get());
    QueryResultModel *model = form.resultModel();
    const QString failingAt = QStringLiteral("SELECT CASE WHEN N = %1 THEN abs(-9223372036854775807 - 1) ELSE N END FROM many");
    run(form, failingAt.arg(50));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("overflow"))) << errors().first().toStdString();
    EXPECT_EQ(model->rowsRead(), 0);
    EXPECT_TRUE(form.ResultLabel->text().isEmpty());

    fake.clear();
    run(form, failingAt.arg(450));
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    while (model->canFetchMore({}))
        model->fetchMore({});
    EXPECT_EQ(model->rowsRead(), 449);
    EXPECT_TRUE(form.ResultLabel->text().startsWith(QStringLiteral("449 rows read, then reading failed: ")))
        << form.ResultLabel->text().toStdString();
    EXPECT_TRUE(form.ResultLabel->text().contains(QStringLiteral("overflow")));
}
