// The query window on a PostgreSQL alias: the rows of a large result stay on
// their cursor, a page read at a time, while pane 1's table reads again on
// the pane's own connection.
#include "browser_fixture.h"

#include "app/engine/alias_registry.h"
#include "app/engine/session.h"
#include "app/engine/table.h"
#include "browser/execute_query_form.h"
#include "browser/query_result_model.h"

#include <QCoreApplication>
#include <QLabel>
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
    void run(TExecuteQueryFrm &form, const QString &sql)
    {
        form.Memo1->setPlainText(sql);
        QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    }
    QString table;
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
