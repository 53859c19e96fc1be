// The three Maintenance entries on pane 1's and pane 2's open tables, and their result window.
#include "browser_fixture.h"

#include "browser/compare_window.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

namespace pelldrake::test {
namespace {

class CompareWindowTest : public BrowserTest {
protected:
    // "Copy" holds Shop's customers with one row changed, one gone and one added.
    void SetUp() override
    {
        BrowserTest::SetUp();
        QStringList copy = shopStatements();
        copy[0].replace(QStringLiteral("NAME VARCHAR(30)"), QStringLiteral("NAME VARCHAR(40)"));
        copy << QStringLiteral("UPDATE customers SET CITY = 'Paris' WHERE ID = 1")
             << QStringLiteral("DELETE FROM customers WHERE ID = 5")
             << QStringLiteral("INSERT INTO customers VALUES (6, 'Ines', 'Porto', NULL)");
        ts.addSqliteAlias(QStringLiteral("Copy"), copy);
    }
    void openBoth()
    {
        TPelldrakeCDSForm &w = openWindow();
        w.ShowAlias21Click();
        chooseAlias(w.pane1(), QStringLiteral("Shop"));
        clickTable(w.pane1(), QStringLiteral("customers"));
        chooseAlias(w.pane2(), QStringLiteral("Copy"));
        clickTable(w.pane2(), QStringLiteral("customers"));
    }
    CompareWindow *resultWindow() const { return window->findChild<CompareWindow *>(); }
};

TEST_F(CompareWindowTest, APaneWithoutAnOpenTableIsSaidSo)
{
    TPelldrakeCDSForm &w = openWindow();
    chooseAlias(w.pane1(), QStringLiteral("Shop"));
    clickTable(w.pane1(), QStringLiteral("customers"));
    for (const char *entry : {"CompareData2", "Fieldsizeonly1", "FieldnameandFieldsize1"}) {
        fake.clear();
        w.action(QString::fromLatin1(entry))->trigger();
        EXPECT_EQ(messages(), QStringList{QStringLiteral("Pane 2 has no open table. Open a table in both panes to compare them.")});
        EXPECT_EQ(resultWindow(), nullptr);
    }
}

TEST_F(CompareWindowTest, CompareDataShowsTheDifferingRowsAndAppliesThemToAPane)
{
    openBoth();
    window->action(QStringLiteral("CompareData2"))->trigger();
    CompareWindow *result = resultWindow();
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->countsText().startsWith(QStringLiteral("Only in pane 1: 1   Only in pane 2: 1   Changed: 1   Unchanged: 3")))
        << result->countsText().toStdString();
    QAbstractItemModel *rows = result->rowsView()->model();
    ASSERT_EQ(rows->rowCount(), 3);
    // Row 1 is ID 1: its CITY cell is marked and shows both values.
    const int city = 3;
    EXPECT_EQ(rows->headerData(city, Qt::Horizontal).toString(), QStringLiteral("CITY"));
    EXPECT_EQ(rows->index(0, city).data().toString(), QStringLiteral("'Lyon' | 'Paris'"));
    EXPECT_TRUE(rows->index(0, city).data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(rows->index(0, city - 1).data(Qt::BackgroundRole).isValid());
    if (const QString shot = qEnvironmentVariable("PELLDRAKE_COMPARE_SCREENSHOT"); !shot.isEmpty())
        result->grab().save(shot);

    // Save Script...: pane 2 made like pane 1.
    const QString script = path(QStringLiteral("sync.sql"));
    fake.answerSave(script);
    result->saveScript();
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("DELETE FROM \"main\".\"customers\" WHERE \"ID\" = 6;"));

    // Apply to pane 2 asks first, naming the table and the counts; No changes nothing.
    fake.clear();
    fake.answerYesNo(false);
    result->applyToPane2();
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 1);
    EXPECT_TRUE(fake.callsOf(FakeDialogs::Kind::YesNo).first().text.startsWith(
        QStringLiteral("Make table customers of pane 2 equal to pane 1's?\n\n1 rows deleted, 1 updated, 1 inserted")));
    EXPECT_EQ(result->comparison()->counts().changed, 1);
    fake.answerYesNo(true);
    result->applyToPane2();
    EXPECT_TRUE(fake.errors().isEmpty()) << fake.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(result->countsText().startsWith(QStringLiteral("Only in pane 1: 0   Only in pane 2: 0   Changed: 0   Unchanged: 5")))
        << result->countsText().toStdString();
    EXPECT_EQ(gridColumn(window->pane2(), QStringLiteral("CITY")).value(0), QStringLiteral("Lyon"));
}

TEST_F(CompareWindowTest, TheStructureEntriesCompareTheColumns)
{
    openBoth();
    window->action(QStringLiteral("Fieldsizeonly1"))->trigger();
    CompareWindow *result = resultWindow();
    ASSERT_NE(result, nullptr);
    QListWidget *list = result->findChild<QListWidget *>(QStringLiteral("CompareStructure"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("column \"NAME\": size: 30 | 40"));
    EXPECT_FALSE(result->rowsView()->isVisibleTo(result));
    EXPECT_EQ(result->countsText(), QStringLiteral("Structure differences: 1"));
}

} // namespace
} // namespace pelldrake::test
