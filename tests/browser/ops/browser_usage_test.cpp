// Things a user runs into on the real window: where a new filter starts, what a
// right-click in the table list does, an edit that cannot be posted at close,
// the listing's scroll position, window titles.
#include "browser_fixture.h"

#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "widgets/dbnavigator.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

int rowsOnDisk(const QString &dbPath, const QString &table)
{
    const QString connection = QUuid::createUuid().toString();
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(dbPath);
        db.open();
        QSqlQuery q(QStringLiteral("SELECT count(*) FROM %1").arg(table), db);
        if (q.next())
            rows = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

} // namespace

TEST_F(BrowserTest, ANewFilterStartsAtItsFirstRecord)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    p1.navigator->click(DBNavigator::Last);
    ASSERT_EQ(p1.currentRecord->text(), "5");

    chooseFieldName(p1, "NAME");
    typeFilter(p1, "K"); // two of the five rows
    EXPECT_EQ(p1.table->recNo(), 1);
    EXPECT_EQ(p1.currentRecord->text(), "1");
    EXPECT_EQ(p1.grid->currentIndex().row(), 0);

    // Clearing it brings every row back, again from the first.
    p1.navigator->click(DBNavigator::Last);
    typeFilter(p1, "");
    EXPECT_EQ(p1.table->recNo(), 1);
    EXPECT_EQ(p1.currentRecord->text(), "1");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

// The pop-up's commands (Delete All Records among them) act on the open table: a right-click
// on another entry opens that one first, so they never act on a table the user did not point at.
TEST_F(BrowserTest, ARightClickInTheTableListOpensTheEntryClickedThenShowsTheMenu)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    QListWidget *list = p1.tableList;
    auto rightClick = [&](const char *name) {
        QListWidgetItem *item = list->findItems(QString::fromLatin1(name), Qt::MatchExactly).value(0);
        EXPECT_NE(item, nullptr);
        if (!item)
            return;
        const QPoint at = list->visualItemRect(item).center();
        QTest::mousePress(list->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &menuEvent);
    };

    rightClick("plain");
    EXPECT_TRUE(p1.listPopup->isVisible());
    p1.listPopup->close();
    EXPECT_EQ(list->currentItem()->text(), "plain");
    EXPECT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().value(0), list->currentItem());
    EXPECT_EQ(p1.table->tableName(), "plain");

    // On the entry already open: the menu, and the table stays as it is.
    rightClick("plain");
    EXPECT_TRUE(p1.listPopup->isVisible());
    p1.listPopup->close();
    EXPECT_EQ(p1.table->tableName(), "plain");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();

    // What the configuration keeps is the open table.
    closeWindow();
    QFile cfg(path("Pelldrake.cfg"));
    ASSERT_TRUE(cfg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cfg.readAll().contains("ListBox1=plain\r\n"));
}

TEST_F(BrowserTest, ARecordThatCannotBePostedAtCloseKeepsTheWindowOpenUntilTheUserDropsIt)
{
    const QString shop = path("Shop.sqlite");
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    p1.table->insert();
    p1.table->fieldByName("CITY")->setAsString("Lund"); // NAME is required and stays empty

    form.action(QStringLiteral("Close1"))->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(form.isVisible()) << "the window stays open on the record";
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(p1.table->state(), engine::TableState::Insert);
    EXPECT_EQ(p1.table->fieldByName("CITY")->asString(), "Lund");

    // Closing again asks; No keeps everything as it is.
    fake.answerYesNo(false);
    form.action(QStringLiteral("Close1"))->trigger();
    QApplication::processEvents();
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 1);
    EXPECT_TRUE(fake.callsOf(FakeDialogs::Kind::YesNo)[0].text.contains("Alias #1"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(p1.table->state(), engine::TableState::Insert);

    // Yes drops the record and closes.
    fake.answerYesNo(true);
    form.action(QStringLiteral("Close1"))->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(rowsOnDisk(shop, "customers"), 5);
    EXPECT_TRUE(QFile::exists(path("Pelldrake.cfg"))) << "the configuration is still written";
}

TEST_F(BrowserTest, AFixedRecordIsPostedAtTheNextClose)
{
    const QString shop = path("Shop.sqlite");
    TPelldrakeCDSForm &form = openWindow();
    Pane &p2 = form.pane2();
    chooseAlias(p2, "Shop");
    clickTable(p2, "customers");
    p2.table->insert();
    p2.table->fieldByName("CITY")->setAsString("Lund");
    form.close();
    ASSERT_TRUE(form.isVisible());
    p2.table->fieldByName("NAME")->setAsString("Lena Lund");
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(rowsOnDisk(shop, "customers"), 6);
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 0);
}

TEST_F(BrowserTest, TheListingStartsAtItsFirstLineWheneverItIsRebuilt)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    QListWidget *listing = p1.infoListing;
    listing->setCurrentRow(listing->count() - 1);
    listing->scrollToBottom();
    QApplication::processEvents();
    ASSERT_GT(listing->verticalScrollBar()->value(), 0) << "the listing is longer than its box";

    clickTable(p1, "plain");
    QApplication::processEvents();
    EXPECT_EQ(listing->verticalScrollBar()->value(), 0);
    EXPECT_EQ(listing->item(0)->text(), "Database");
    EXPECT_GE(listing->visualItemRect(listing->item(0)).top(), 0);
}

// The windowing system appends an application's display name to every title
// it shows ("About - Pelldrake"). The program sets none, so titles are exactly
// the captions given: the display name follows the application name.
TEST(WindowTitles, NoDisplayNameIsAppendedToTitles)
{
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    const QString display = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(name);
    EXPECT_EQ(display, QStringLiteral("probe"));
}

