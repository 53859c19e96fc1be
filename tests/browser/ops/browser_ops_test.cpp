#include "browser_fixture.h"

#include "engine/database.h"
#include "engine/table.h"
#include "engine/table_model.h"
#include "widgets/dbgrid.h"
#include "widgets/dbmemo.h"
#include "browser/pane_operations.h"

#include "engine/field.h"

#include <QAction>
#include <QCheckBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// One value as the database file holds it, read past the engine.
QString valueOnDisk(const QString &dbPath, const QString &sql)
{
    const QString connection = QUuid::createUuid().toString();
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(dbPath);
        db.open();
        QSqlQuery q(sql, db);
        if (q.next())
            value = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(connection);
    return value;
}

} // namespace

// ---------------------------------------------------------------- alias connection

TEST_F(BrowserTest, ChoosingAnAliasListsItsTablesInEitherPane)
{
    TPelldrakeCDSForm &form = openWindow();
    EXPECT_EQ(form.pane1().aliasCombo->findText("Shop"), form.pane2().aliasCombo->findText("Shop"));
    chooseAlias(form.pane1(), "Shop");
    chooseAlias(form.pane2(), "Other");
    EXPECT_EQ(listItems(form.pane1().tableList), QStringList({"customers", "plain", longTableName()}));
    EXPECT_EQ(listItems(form.pane2().tableList), QStringList({"odd", "parts"}));
    EXPECT_TRUE(form.pane1().database->connected());
    EXPECT_TRUE(form.pane2().database->connected());
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(errors().isEmpty());
    EXPECT_TRUE(logins().isEmpty()) << "a SQLite alias never asks for a login";
}

TEST_F(BrowserTest, DuplicateAliasIsRefusedAndKeepsTheOpenTable)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    Pane &p2 = form.pane2();
    chooseAlias(p2, "Shop");
    chooseAlias(p1, "Other");
    clickTable(p1, "parts");
    ASSERT_TRUE(p1.table->active());

    chooseAlias(p1, "Shop");
    EXPECT_EQ(messages(), QStringList({"Duplicate alias."}));
    EXPECT_EQ(p1.tableList->count(), 0);
    EXPECT_TRUE(p1.table->active()) << "the old table stays open";
    EXPECT_EQ(listItems(p2.tableList).size(), 3) << "the other pane is untouched";

    fake.clear();
    chooseAlias(p2, "Other");
    chooseAlias(p1, "Shop"); // now free
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(p1.tableList->count(), 3);
}

TEST_F(BrowserTest, TypedAliasConnectsOnAFullNameOrOnEnterOnly)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    typeAlias(p1, "Nowhere"); // no such alias: the engine's error, once, on Enter
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(p1.tableList->count(), 0);
    fake.clear();
    typeAlias(p1, "Shop");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
    EXPECT_EQ(p1.tableList->count(), 3);
}

TEST_F(BrowserTest, UseExtensionsReconnectsWithQualifiedNamesAndClosesTheTable)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    ASSERT_TRUE(p1.table->active());
    p1.useExtensions->click();
    EXPECT_FALSE(p1.table->active());
    EXPECT_TRUE(listItems(p1.tableList).contains("main.customers"));
    clickTable(p1, "main.customers");
    EXPECT_TRUE(p1.table->active());
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(BrowserTest, PasswordRequiredAndTableTypeResetThePane)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p2 = form.pane2();
    for (int round = 0; round < 2; ++round) {
        chooseAlias(p2, "Shop");
        clickTable(p2, "customers");
        chooseFieldName(p2, "NAME");
        typeFilter(p2, "Ka");
        ASSERT_TRUE(p2.table->filtered());
        const QStringList listing = listItems(p2.infoListing);

        if (round == 0)
            p2.passwordRequired->click();
        else
            chooseFromList(p2.typeComboBox, "ttParadox");

        EXPECT_TRUE(p2.aliasCombo->currentText().isEmpty());
        EXPECT_EQ(p2.tableList->count(), 0);
        EXPECT_TRUE(p2.fieldNameCombo->currentText().isEmpty());
        EXPECT_TRUE(p2.filterValueEdit->text().isEmpty());
        EXPECT_FALSE(p2.table->filtered());
        EXPECT_FALSE(p2.table->active());
        EXPECT_TRUE(p2.database->connected()) << "the connection is left alone";
        EXPECT_EQ(listItems(p2.infoListing), listing) << "the listing keeps its lines";
    }
}

TEST_F(BrowserTest, UnknownTableShowsTheOpeningMessageAndUnlocks)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    p1.tableList->addItem("customers.db");
    clickTable(p1, "customers.db");
    // The known text, then the engine's reason on a line of its own.
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().startsWith("Error opening table. Is the Use Extension box checked?\n"))
        << messages().first().toStdString();
    EXPECT_FALSE(messages().first().section('\n', 1).trimmed().isEmpty());
    EXPECT_FALSE(p1.table->active());
    EXPECT_TRUE(p1.tableList->isEnabled());
    EXPECT_TRUE(p1.aliasCombo->isEnabled());
    EXPECT_TRUE(p1.grid->isEnabled());
}

TEST_F(BrowserTest, PasswordProtectedServerConnectsThroughTheLoginDialog)
{
    if (!session().aliases().find("Secure"))
        GTEST_SKIP() << "PELLDRAKE_TEST_PG_HOST / PELLDRAKE_TEST_PG_PW_USER not set";
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Other");
    const QStringList before = listItems(p1.tableList);

    // Cancelled: the engine's error by the default display, the list as it was.
    chooseAlias(p1, "Secure");
    EXPECT_EQ(logins(), QStringList({"Secure"})) << "the quiet attempt asks nothing";
    EXPECT_EQ(errors().size(), 1);
    EXPECT_FALSE(p1.database->connected());
    EXPECT_EQ(listItems(p1.tableList), before);

    // Answered: connected on the second attempt, tables listed.
    fake.clear();
    fake.answerLogin(std::make_pair(qEnvironmentVariable("PELLDRAKE_TEST_PG_PW_USER"),
                                    qEnvironmentVariable("PELLDRAKE_TEST_PG_PASSWORD")));
    chooseAlias(p1, "Other");
    chooseAlias(p1, "Secure");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
    EXPECT_EQ(logins().size(), 1);
    EXPECT_TRUE(p1.database->connected());
    EXPECT_TRUE(p1.tableList->isEnabled());
}

// ---------------------------------------------------------------- table opening

TEST_F(BrowserTest, OpeningFillsChoosersCountersAndTheMemoGroup)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    EXPECT_FALSE(p1.memoGroup->isVisible());

    clickTable(p1, "customers");
    ASSERT_TRUE(p1.table->active());
    EXPECT_EQ(p1.recordCountEdit->text(), "5");
    EXPECT_EQ(p1.fieldCountEdit->text(), "4");
    EXPECT_EQ(p1.currentRecord->text(), "1");
    EXPECT_EQ(p1.indexComboBox->count(), 2);
    EXPECT_TRUE(p1.indexComboBox->currentText().isEmpty()) << "no index is chosen";
    EXPECT_TRUE(p1.table->indexName().isEmpty());
    QStringList fields;
    for (int i = 0; i < p1.fieldNameCombo->count(); ++i)
        fields << p1.fieldNameCombo->itemText(i);
    EXPECT_EQ(fields, QStringList({"ID", "NAME", "CITY", "NOTES"}));
    EXPECT_TRUE(p1.fieldNameCombo->currentText().isEmpty());
    EXPECT_TRUE(p1.memoGroup->isVisible()) << "NOTES is a memo";
    EXPECT_EQ(gridColumn(p1, "NAME").size(), 5);

    clickTable(p1, "plain"); // a blob only: no memo group
    EXPECT_FALSE(p1.memoGroup->isVisible());
    EXPECT_EQ(p1.indexComboBox->count(), 0);
    EXPECT_EQ(p1.fieldCountEdit->text(), "3");
}

TEST_F(BrowserTest, OpeningInPaneTwoRefreshesBothCountersAndLocksPaneTwoOnly)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    Pane &p2 = form.pane2();
    chooseAlias(p1, "Shop");
    chooseAlias(p2, "Other");
    clickTable(p1, "customers");
    p1.recordCountEdit->setText("stale");
    p1.fieldCountEdit->setText("stale");

    // Watch the controls while pane 2's table opens.
    bool pane1Usable = true;
    bool pane2Locked = false;
    QObject::connect(p2.table, &engine::Table::stateChanged, [&] {
        if (!p2.table->active())
            return;
        pane1Usable = pane1Usable && p1.aliasCombo->isEnabled() && p1.tableList->isEnabled()
                      && p1.grid->isEnabled() && p1.infoListing->isEnabled();
        pane2Locked = !p2.aliasCombo->isEnabled() && !p2.tableList->isEnabled()
                      && !p2.grid->isEnabled() && !p2.infoListing->isEnabled();
    });
    clickTable(p2, "parts");
    ASSERT_TRUE(p2.table->active());
    EXPECT_TRUE(pane1Usable);
    EXPECT_TRUE(pane2Locked);
    EXPECT_TRUE(p2.tableList->isEnabled()) << "unlocked afterwards";
    EXPECT_TRUE(p2.grid->isEnabled());

    EXPECT_EQ(p1.recordCountEdit->text(), "5");
    EXPECT_EQ(p1.fieldCountEdit->text(), "4");
    EXPECT_EQ(p2.recordCountEdit->text(), "1");
    EXPECT_EQ(p2.fieldCountEdit->text(), "2");
}

TEST_F(BrowserTest, AnEditNotYetPostedSurvivesLeavingTheTable)
{
    const QString shop = path("Shop.sqlite");
    const QString name2 = "SELECT NAME FROM customers WHERE ID = 2";
    {
        TPelldrakeCDSForm &form = openWindow();
        Pane &p1 = form.pane1();
        chooseAlias(p1, "Shop");
        clickTable(p1, "customers");
        p1.table->next();
        p1.table->edit();
        p1.table->fieldByName("NAME")->setAsString("Changed by a click");
        clickTable(p1, "plain");
        EXPECT_EQ(valueOnDisk(shop, name2), "Changed by a click");

        // Switching the alias, resetting the pane and closing the window post as well.
        clickTable(p1, "customers");
        p1.table->next();
        p1.table->edit();
        p1.table->fieldByName("NAME")->setAsString("Changed by a reset");
        p1.passwordRequired->click();
        EXPECT_EQ(valueOnDisk(shop, name2), "Changed by a reset");

        chooseAlias(p1, "Shop");
        clickTable(p1, "customers");
        p1.table->next();
        p1.table->edit();
        p1.table->fieldByName("NAME")->setAsString("Changed at close");
        closeWindow();
    }
    EXPECT_EQ(valueOnDisk(shop, name2), "Changed at close");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(BrowserTest, ARecordThatCannotBePostedKeepsItsTableOpenAndSelected)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    chooseFieldName(p1, "CITY");
    typeFilter(p1, "L");
    p1.table->insert();
    p1.table->fieldByName("CITY")->setAsString("Lund"); // NAME is required and stays empty
    clickTable(p1, "plain");
    EXPECT_EQ(errors().size(), 1) << errors().join('|').toStdString();
    ASSERT_TRUE(p1.table->active());
    EXPECT_EQ(p1.table->tableName(), "customers");
    EXPECT_EQ(p1.table->state(), engine::TableState::Insert) << "the typed record is still there to fix";
    EXPECT_EQ(p1.tableList->currentItem()->text(), "customers");
    EXPECT_EQ(p1.filterValueEdit->text(), "L");
    EXPECT_TRUE(p1.tableList->isEnabled());

    // Another alias: the same, and the chooser names the alias still connected.
    chooseAlias(p1, "Other");
    EXPECT_EQ(errors().size(), 2);
    EXPECT_EQ(p1.aliasCombo->currentText(), "Shop");
    EXPECT_EQ(p1.table->tableName(), "customers");
    EXPECT_EQ(p1.table->state(), engine::TableState::Insert);
    EXPECT_EQ(listItems(p1.tableList).size(), 3);
}

TEST_F(BrowserTest, TextTypedIntoACellIsPostedWhenTheWindowClosesFromTheMenu)
{
    // The menu takes no focus from the cell editor, so nothing but the close
    // itself can carry the typed text into the record.
    const QString shop = path("Shop.sqlite");
    {
        TPelldrakeCDSForm &form = openWindow();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        Pane &p1 = form.pane1();
        chooseAlias(p1, "Shop");
        clickTable(p1, "customers");
        const QModelIndex cell = p1.grid->model()->index(0, p1.grid->tableModel()->columnForField(
                                                                 p1.table->fieldByName("NAME")->index()));
        p1.grid->setFocus();
        p1.grid->setCurrentIndex(cell);
        QTest::keyClick(p1.grid, Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(p1.grid->indexWidget(cell));
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, "Typed, never entered");
        form.action(QStringLiteral("Close1"))->trigger();
        window.reset();
    }
    EXPECT_EQ(valueOnDisk(shop, "SELECT NAME FROM customers WHERE ID = 1"), "Typed, never entered");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(BrowserTest, ChoosingATableWithTheKeysOpensItAndTheFileKeepsIt)
{
    QString shown;
    {
        TPelldrakeCDSForm &form = openWindow();
        Pane &p1 = form.pane1();
        chooseAlias(p1, "Shop");
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        int opened = 0;
        QObject::connect(p1.table, &engine::Table::stateChanged, [&] {
            if (p1.table->active() && p1.table->state() == engine::TableState::Browse)
                ++opened;
        });
        // Entering the list makes an entry current but chooses nothing.
        p1.tableList->setFocus();
        QApplication::processEvents();
        EXPECT_FALSE(p1.table->active());

        clickTable(p1, "customers");
        EXPECT_EQ(opened, 1) << "a click opens the table once";
        QTest::keyClick(p1.tableList, Qt::Key_Down);
        ASSERT_TRUE(p1.table->active());
        EXPECT_EQ(p1.table->tableName(), p1.tableList->currentItem()->text());
        EXPECT_NE(p1.table->tableName(), QStringLiteral("customers"));
        EXPECT_EQ(opened, 2);
        shown = p1.table->tableName();
        closeWindow();
    }
    EXPECT_TRUE(readFile(path("Pelldrake.cfg")).contains("ListBox1=" + shown.toUtf8() + "\r\n"));
}

TEST_F(BrowserTest, OpeningATableLeavesTheKeyboardFocusOnTheTableList)
{
    // The lock disables the focused list; the focus must not wander off to the
    // other pane and stay there.
    TPelldrakeCDSForm &form = openWindow();
    chooseAlias(form.pane1(), "Shop");
    chooseAlias(form.pane2(), "Other");
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    for (Pane *pane : {&form.pane1(), &form.pane2()}) {
        SCOPED_TRACE(pane->number);
        pane->tableList->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), pane->tableList);
        clickTable(*pane, pane->number == 1 ? "plain" : "parts"); // no memo: the listing follows the grid
        ASSERT_TRUE(pane->table->active());
        EXPECT_EQ(QApplication::focusWidget(), pane->tableList);
        EXPECT_TRUE(pane->focusInside);
        EXPECT_FALSE(otherPane(form, *pane).focusInside);
    }
    // A lock inside a lock (a command that opens a table) still gives it back.
    Pane &p1 = form.pane1();
    p1.tableList->setFocus();
    form.disableControls(p1);
    form.disableControls(p1);
    form.enableControls(p1);
    form.enableControls(p1);
    EXPECT_EQ(QApplication::focusWidget(), p1.tableList);

    // Where the user has put the focus meanwhile, it stays.
    p1.tableList->setFocus();
    form.disableControls(p1);
    form.pane2().filterValueEdit->setFocus();
    form.enableControls(p1);
    EXPECT_EQ(QApplication::focusWidget(), form.pane2().filterValueEdit);
}

// ---------------------------------------------------------------- filter, index, navigation

TEST_F(BrowserTest, FilterKeepsRowsStartingWithTheTypedValue)
{
    TPelldrakeCDSForm &form = openWindow();
    for (Pane *pane : {&form.pane1(), &form.pane2()}) {
        SCOPED_TRACE(pane->number);
        typeFilter(*pane, "Ka"); // no table open: nothing happens
        EXPECT_FALSE(pane->table->filtered());

        if (pane->number == 2)
            chooseAlias(form.pane1(), "Other"); // frees "Shop" for pane 2
        chooseAlias(*pane, "Shop");
        clickTable(*pane, "customers");
        EXPECT_TRUE(pane->filterValueEdit->text().isEmpty()) << "opening clears the filter value";

        typeFilter(*pane, "Ka"); // no field name yet: still unfiltered
        EXPECT_FALSE(pane->table->filtered());

        chooseFieldName(*pane, "NAME");
        EXPECT_TRUE(pane->filterValueEdit->text().isEmpty());
        EXPECT_EQ(form.focusWidget(), pane->filterValueEdit) << "the filter value takes the focus";
        typeFilter(*pane, "Ka");
        EXPECT_EQ(pane->table->filter(), "NAME = 'Ka*'");
        EXPECT_EQ(gridColumn(*pane, "NAME"), QStringList({"Kara Ng", "Karl Marx"})) << "case-sensitive prefix";
        EXPECT_EQ(pane->recordCountEdit->text(), "5") << "filtering leaves the counters alone";

        typeFilter(*pane, "O'B");
        EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
        EXPECT_EQ(gridColumn(*pane, "NAME"), QStringList({"O'Brien"}));

        typeFilter(*pane, "");
        EXPECT_FALSE(pane->table->filtered());
        EXPECT_EQ(gridColumn(*pane, "NAME").size(), 5);

        // A typed field name is used as it stands, without moving the focus.
        pane->fieldNameCombo->setEditText("CITY");
        typeFilter(*pane, "L");
        EXPECT_EQ(gridColumn(*pane, "CITY"), QStringList({"Lyon", "Lima"}));

        // Choosing a field from the list clears the value and the filter.
        chooseFieldName(*pane, "CITY");
        EXPECT_FALSE(pane->table->filtered());
        EXPECT_EQ(gridColumn(*pane, "NAME").size(), 5);
    }
}

TEST_F(BrowserTest, FilterOnAFieldNameWithABlank)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Other");
    clickTable(p1, "odd");
    chooseFieldName(p1, "first name");
    typeFilter(p1, "Ann");
    EXPECT_EQ(gridColumn(p1, "first name"), QStringList({"Ann Lee"}));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(BrowserTest, IndexChoiceOrdersRowsAndAnUnknownIndexShowsTheEngineError)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    chooseFromList(p1.indexComboBox, "ByCity");
    EXPECT_EQ(p1.table->indexName(), "ByCity");
    EXPECT_EQ(gridColumn(p1, "CITY"), QStringList({"Amsterdam", "Berlin", "Cork", "Lima", "Lyon"}));
    EXPECT_TRUE(errors().isEmpty());

    // Typing a name the table lacks: the engine's error when the name is entered.
    QLineEdit *edit = p1.indexComboBox->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, "NoSuchIndex");
    EXPECT_TRUE(errors().isEmpty()) << "no error while typing";
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(errors().size(), 1);
    // The rows keep their order, and the chooser shows the index that gives it.
    EXPECT_EQ(p1.table->indexName(), "ByCity");
    EXPECT_EQ(p1.indexComboBox->currentText(), "ByCity");

    // Empty text: the natural order again.
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(p1.table->indexName().isEmpty());
    EXPECT_EQ(gridColumn(p1, "ID"), QStringList({"1", "2", "3", "4", "5"}));
}

TEST_F(BrowserTest, CurrentRecordFollowsEveryMove)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p2 = form.pane2();
    chooseAlias(p2, "Shop");
    clickTable(p2, "customers");
    EXPECT_EQ(p2.currentRecord->text(), "1");
    p2.table->next();
    p2.table->next();
    EXPECT_EQ(p2.currentRecord->text(), "3");
    p2.table->last();
    EXPECT_EQ(p2.currentRecord->text(), "5");
    p2.grid->setCurrentIndex(p2.grid->recordIndex(1, 0)); // a click in the grid
    EXPECT_EQ(p2.currentRecord->text(), "2");
    chooseFieldName(p2, "NAME");
    typeFilter(p2, "Br");
    EXPECT_EQ(p2.currentRecord->text(), "1");
}

TEST_F(BrowserTest, MemoFollowsTheClickedMemoCellAndOnlyPaneOneUnbindsOnColumnExit)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    Pane &p2 = form.pane2();
    chooseAlias(p1, "Shop");
    chooseAlias(p2, "Other");
    clickTable(p1, "customers");
    clickTable(p2, "parts");

    auto clickCell = [](Pane &pane, int row, int column) {
        const QModelIndex index = pane.grid->recordIndex(row, column);
        QTest::mouseClick(pane.grid->viewport(), Qt::LeftButton, {}, pane.grid->visualRect(index).center());
    };

    clickCell(p1, 1, 1); // NAME: not a memo
    EXPECT_TRUE(p1.memo->dataField().isEmpty());
    clickCell(p1, 1, 3); // NOTES
    EXPECT_EQ(p1.memo->dataField(), "NOTES");
    EXPECT_EQ(p1.memo->toPlainText(), "second note");
    clickCell(p1, 1, 2); // leaving the column unbinds pane 1's memo
    EXPECT_TRUE(p1.memo->dataField().isEmpty());

    clickCell(p2, 0, 1); // DESCR
    EXPECT_EQ(p2.memo->dataField(), "DESCR");
    EXPECT_EQ(p2.memo->toPlainText(), "bolt");
    clickCell(p2, 0, 0);
    EXPECT_EQ(p2.memo->dataField(), "DESCR") << "pane 2 keeps its memo bound";
}

// ---------------------------------------------------------------- configuration files

TEST_F(BrowserTest, ConfigurationIsWrittenAtCloseAndReplayedAtTheNextStart)
{
    {
        TPelldrakeCDSForm &form = openWindow();
        Pane &p1 = form.pane1();
        Pane &p2 = form.pane2();
        chooseAlias(p1, "Shop");
        p1.useExtensions->click();
        clickTable(p1, "main." + longTableName());
        ASSERT_TRUE(p1.table->active());
        chooseFieldName(p1, "X");
        p1.typeComboBox->blockSignals(true); // a stored type without the reset
        p1.typeComboBox->setEditText("ttDefault");
        p1.typeComboBox->blockSignals(false);

        chooseAlias(p2, "Other");
        clickTable(p2, "parts");
        p2.passwordRequired->click(); // resets pane 2, box stays checked
        chooseAlias(p2, "Other");
        closeWindow();
    }

    EXPECT_EQ(readFile(path("Pelldrake.cfg")),
              "AliasCombo=Shop\r\nuseExtensions=true\r\nListBox1=main." + longTableName().toUtf8()
                  + "\r\nFieldNameCombo=X\r\nTypeComboBox=ttDefault\r\n");
    EXPECT_EQ(readFile(path("Pelldrake2.cfg")),
              "AliasCombo2=Other\r\nPasswordRequired2=true\r\nFieldNameCombo2=\r\nTypeComboBox2=\r\n");

    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    Pane &p2 = form.pane2();
    EXPECT_EQ(p1.aliasCombo->currentText(), "Shop");
    EXPECT_TRUE(p1.useExtensions->isChecked());
    EXPECT_TRUE(p1.table->active());
    EXPECT_EQ(p1.table->tableName(), "main." + longTableName());
    EXPECT_EQ(p1.fieldNameCombo->currentText(), "X");
    EXPECT_EQ(p1.typeComboBox->currentText(), "ttDefault");
    EXPECT_EQ(p1.recordCountEdit->text(), "1");

    // The stored "Password Required" resets pane 2 after its alias line.
    EXPECT_TRUE(p2.passwordRequired->isChecked());
    EXPECT_TRUE(p2.aliasCombo->currentText().isEmpty());
    EXPECT_EQ(p2.tableList->count(), 0);
    EXPECT_FALSE(p2.table->active());
    EXPECT_TRUE(messages().isEmpty()) << messages().join('|').toStdString();
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(BrowserTest, ReplayGoesOnPastAGoneAliasAndAGoneTable)
{
    writeFile(path("Pelldrake.cfg"), "AliasCombo=Vanished\r\nFieldNameCombo=NAME\r\nbogus line\r\nTypeComboBox=ttASCII");
    writeFile(path("Pelldrake2.cfg"), "AliasCombo2=Shop\nListBox2=dropped_table\nListBox2=plain\nunknown=1\n");
    TPelldrakeCDSForm &form = openWindow();
    EXPECT_EQ(errors().size(), 1) << "the gone alias is reported once";
    EXPECT_EQ(form.pane1().fieldNameCombo->currentText(), "NAME");
    EXPECT_EQ(form.pane1().typeComboBox->currentText(), "ttASCII") << "a last line without a break is read";
    EXPECT_EQ(form.pane1().tableList->count(), 0);
    EXPECT_TRUE(form.pane2().table->active());
    EXPECT_EQ(form.pane2().table->tableName(), "plain");
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(BrowserTest, SameAliasInBothFilesShowsDuplicateForPaneTwo)
{
    writeFile(path("Pelldrake.cfg"), "AliasCombo=Shop\r\nListBox1=customers\r\n");
    writeFile(path("Pelldrake2.cfg"), "AliasCombo2=Shop\r\nListBox2=customers\r\n");
    TPelldrakeCDSForm &form = openWindow();
    EXPECT_EQ(messages(), QStringList({"Duplicate alias."}));
    EXPECT_TRUE(form.pane1().table->active());
    EXPECT_EQ(form.pane2().tableList->count(), 0);
    EXPECT_FALSE(form.pane2().table->active());
    closeWindow();
    // No table selected in pane 2: no table line.
    EXPECT_EQ(readFile(path("Pelldrake2.cfg")), "AliasCombo2=Shop\r\nFieldNameCombo2=\r\nTypeComboBox2=\r\n");
}
