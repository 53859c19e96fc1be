// Delete All Records through the main window's menus.
#include "maintenance_fixture.h"

#include "engine/table.h"

#include <QLineEdit>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

using DeleteAllTest = MaintenanceTest;

TEST_F(DeleteAllTest, AnsweringNoDeletesNothing)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("ten"));
    choose("DeleteAllRecords1");
    const auto questions = fake.callsOf(FakeDialogs::Kind::YesNo);
    ASSERT_EQ(questions.size(), 1);
    // The question keeps its text and names the table and how many records go.
    EXPECT_EQ(questions[0].text, QStringLiteral("Delete All Records?\nTable ten: 10 records will be deleted."));
    EXPECT_EQ(questions[0].caption, QStringLiteral("Delete"));
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM ten")), QStringList{QStringLiteral("10")});
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("10"));
}

TEST_F(DeleteAllTest, OnlyTheFilteredRecordsGo)
{
    Pane &pane = openTable(2, QStringLiteral("Maint"), QStringLiteral("ten"));
    chooseFieldName(pane, QStringLiteral("CITY"));
    typeFilter(pane, QStringLiteral("Lon"));
    fake.answerYesNo(true);
    choose("DeleteAllRecords2");
    // With a filter in force the question counts the records it shows.
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 1);
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo)[0].text,
              QStringLiteral("Delete All Records?\nTable ten: 3 records (those the filter CITY = 'Lon*' shows, of 10 in "
                             "all) will be deleted."));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM ten WHERE CITY LIKE 'Lon%'")), QStringList{QStringLiteral("0")});
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM ten")), QStringList{QStringLiteral("7")});
    EXPECT_EQ(pane.filterValueEdit->text(), QStringLiteral("Lon"));
    typeFilter(pane, QString());
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("7"));
    EXPECT_EQ(pane.table->recordCount(), 7);
    EXPECT_TRUE(pane.tableList->isEnabled() && pane.filterValueEdit->isEnabled());
}

TEST_F(DeleteAllTest, ThePopupEntryEmptiesTheTableAndAnEmptyTableIsFine)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keyed"));
    fake.answerYesNo(true);
    choose("EmptyTable1");
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM keyed")), QStringList{QStringLiteral("0")});
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("0"));
    fake.answerYesNo(true);
    choose("DeleteAllRecords1");
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 2);
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(DeleteAllTest, NoOpenTableGivesTheEngineError)
{
    openWindow();
    fake.answerYesNo(true);
    choose("DeleteAllRecords1");
    EXPECT_EQ(errors().size(), 1);
    EXPECT_TRUE(window->pane1().tableList->isEnabled());
}

} // namespace
