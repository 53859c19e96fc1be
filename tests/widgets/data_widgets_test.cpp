// The grid, navigator and memo of a pane on a small SQLite table.
#include "window_fixture.h"

#include "engine/alias_registry.h"
#include "engine/database.h"
#include "engine/table.h"
#include "engine/table_model.h"
#include "widgets/dbgrid.h"
#include "widgets/dbmemo.h"
#include "widgets/dbnavigator.h"
#include "widgets/fieldview.h"
#include "edi/palette.h"

#include <algorithm>

#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QScrollBar>
#include <QSqlDatabase>
#include <cstdio>
#include <QSqlQuery>
#include <QToolButton>
#include <QUuid>

using namespace pelldrake;
using pelldrake::test::WindowTest;
using Button = pelldrake::DBNavigator::Button;

namespace {

class DataWidgetsTest : public WindowTest {
protected:
    void SetUp() override
    {
        dbPath_ = session_.addSqliteAlias(
            QStringLiteral("People"),
            {"CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(30), notes TEXT)",
             "INSERT INTO people VALUES (1, 'Ada', 'first line\nsecond line')",
             "INSERT INTO people VALUES (2, 'Brian', NULL)",
             "INSERT INTO people VALUES (3, 'Cleo', 'short')"});
        WindowTest::SetUp();
    }

    // Opens the table in a pane directly through the engine objects.
    void openPeople(Pane &pane)
    {
        pane.database->setDatabaseName(QStringLiteral("People"));
        pane.database->open();
        pane.table->setDatabaseName(QStringLiteral("People"));
        pane.table->setTableName(QStringLiteral("people"));
        pane.table->open();
        QApplication::processEvents();
    }

    // What the file holds, read past the engine.
    QStringList namesOnDisk() const
    {
        QStringList names;
        const QString connection = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(dbPath_);
            db.open();
            QSqlQuery q(QStringLiteral("SELECT name FROM people ORDER BY id"), db);
            while (q.next())
                names << q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(connection);
        return names;
    }

    static QList<bool> enabledButtons(DBNavigator *nav)
    {
        QList<bool> states;
        for (int i = 0; i < DBNavigator::ButtonCount; ++i)
            states << nav->button(static_cast<Button>(i))->isEnabled();
        return states;
    }

    QString dbPath_;
};

constexpr bool T = true;
constexpr bool F = false;

} // namespace

TEST_F(DataWidgetsTest, NavigatorButtonsFollowTheTableState)
{
    Pane &pane = window().pane1();
    // Closed table: nothing to do.
    EXPECT_EQ(enabledButtons(pane.navigator), (QList<bool>{F, F, F, F, F, F, F, F, F, F}));
    QStringList names;
    for (int i = 0; i < DBNavigator::ButtonCount; ++i)
        names << pane.navigator->button(static_cast<Button>(i))->objectName();
    EXPECT_EQ(names, (QStringList{"nbFirst", "nbPrior", "nbNext", "nbLast", "nbInsert", "nbDelete",
                                  "nbEdit", "nbPost", "nbCancel", "nbRefresh"}));

    openPeople(pane);
    //                                                   first prior next last ins del edit post cancel refresh
    EXPECT_EQ(enabledButtons(pane.navigator), (QList<bool>{F, F, T, T, T, T, T, F, F, T}));
    pane.navigator->click(DBNavigator::Last);
    EXPECT_EQ(pane.table->recNo(), 3);
    EXPECT_EQ(enabledButtons(pane.navigator), (QList<bool>{T, T, F, F, T, T, T, F, F, T}));
    pane.navigator->click(DBNavigator::Edit);
    EXPECT_EQ(pane.table->state(), engine::TableState::Edit);
    EXPECT_EQ(enabledButtons(pane.navigator), (QList<bool>{T, T, F, F, T, T, F, T, T, T}));
    pane.navigator->click(DBNavigator::Cancel);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    pane.table->close();
    QApplication::processEvents();
    EXPECT_EQ(enabledButtons(pane.navigator), (QList<bool>{F, F, F, F, F, F, F, F, F, F}));
}

TEST_F(DataWidgetsTest, GridAndTableCursorFollowEachOther)
{
    showWindow();
    Pane &pane = window().pane2();
    openPeople(pane);
    DBGrid *grid = pane.grid;
    EXPECT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->columnFieldNames(), (QStringList{"id", "name", "notes"}));
    EXPECT_EQ(grid->currentRecordRow(), 0);

    pane.navigator->click(DBNavigator::Next);
    EXPECT_EQ(pane.table->recNo(), 2);
    EXPECT_EQ(grid->currentRecordRow(), 1);
    pane.navigator->click(DBNavigator::Last);
    EXPECT_EQ(grid->currentRecordRow(), 2);

    // Choosing a cell moves the table.
    grid->setCurrentIndex(grid->recordIndex(0, 1));
    EXPECT_EQ(pane.table->recNo(), 1);
    EXPECT_EQ(pane.table->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("Ada"));

    // Clicks and column changes are reported with their fields.
    QStringList clicked, exited;
    QObject::connect(grid, &DBGrid::cellClick, [&](const QString &f) { clicked << f; });
    QObject::connect(grid, &DBGrid::colExit, [&](const QString &f) { exited << f; });
    const QRect cell = grid->visualRect(grid->recordIndex(1, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(clicked, QStringList{"notes"});
    EXPECT_EQ(exited, QStringList{"name"});
    EXPECT_EQ(pane.table->recNo(), 2);

    // Columns keep their display order.
    EXPECT_TRUE(grid->moveColumn(QStringLiteral("notes"), 0));
    EXPECT_FALSE(grid->moveColumn(QStringLiteral("missing"), 0));
    EXPECT_EQ(grid->columnFieldNames(), (QStringList{"notes", "id", "name"}));
    EXPECT_EQ(grid->fieldIndexAt(0), 2);
    grid->resetColumnOrder();
    EXPECT_EQ(grid->columnFieldNames(), (QStringList{"id", "name", "notes"}));
}

TEST_F(DataWidgetsTest, EditingThroughTheGridAndPostingWithTheNavigator)
{
    showWindow();
    Pane &pane = window().pane1();
    openPeople(pane);
    QAbstractItemModel *model = pane.grid->model();

    pane.grid->setCurrentIndex(pane.grid->recordIndex(1, 2));
    ASSERT_TRUE(model->setData(pane.grid->recordIndex(1, 1), QStringLiteral("Bernard")));
    EXPECT_EQ(pane.table->state(), engine::TableState::Edit);
    // Entering edit mode keeps the grid's place.
    EXPECT_EQ(pane.grid->currentIndex(), pane.grid->recordIndex(1, 2));
    EXPECT_TRUE(pane.navigator->button(DBNavigator::Post)->isEnabled());
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Brian", "Cleo"})); // not posted yet
    pane.navigator->click(DBNavigator::Post);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Bernard", "Cleo"}));
    EXPECT_EQ(model->data(pane.grid->recordIndex(1, 1)).toString(), QStringLiteral("Bernard"));

    // Cancel throws the change away.
    ASSERT_TRUE(model->setData(pane.grid->recordIndex(2, 1), QStringLiteral("Zoe")));
    pane.navigator->click(DBNavigator::Cancel);
    EXPECT_EQ(model->data(pane.grid->recordIndex(2, 1)).toString(), QStringLiteral("Cleo"));
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Bernard", "Cleo"}));

    // Insert, fill in, post.
    pane.navigator->click(DBNavigator::Insert);
    EXPECT_EQ(pane.table->state(), engine::TableState::Insert);
    pane.table->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("Dora"));
    pane.navigator->click(DBNavigator::Post);
    EXPECT_EQ(pane.table->rowCount(), 4);
    EXPECT_TRUE(namesOnDisk().contains(QStringLiteral("Dora")));
    EXPECT_TRUE(dialogs_.errors().isEmpty()) << dialogs_.errors().join('|').toStdString();
}

TEST_F(DataWidgetsTest, TypingIntoACellEditsTheRecordAndTheNavigatorFinishesTheCell)
{
    // The navigator's buttons take no focus, so the cell editor is still open
    // when Post or Cancel is clicked.
    showWindow();
    QApplication::setActiveWindow(&window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    Pane &pane = window().pane1();
    openPeople(pane);
    QAbstractItemModel *model = pane.grid->model();
    auto typeInto = [&](int row, const QString &text) -> bool {
        const QModelIndex cell = pane.grid->recordIndex(row, 1);
        pane.grid->setFocus();
        pane.grid->setCurrentIndex(cell);
        QTest::keyClick(pane.grid, Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(pane.grid->indexWidget(cell));
        if (!editor)
            return false;
        editor->selectAll();
        QTest::keyClicks(editor, text);
        return true;
    };

    ASSERT_TRUE(typeInto(1, QStringLiteral("Bernard")));
    EXPECT_EQ(pane.table->state(), engine::TableState::Edit);
    EXPECT_TRUE(pane.navigator->button(DBNavigator::Post)->isEnabled());
    EXPECT_TRUE(pane.navigator->button(DBNavigator::Cancel)->isEnabled());
    pane.navigator->click(DBNavigator::Post);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Bernard", "Cleo"}));
    EXPECT_EQ(pane.grid->indexWidget(pane.grid->recordIndex(1, 1)), nullptr) << "the editor is closed";

    ASSERT_TRUE(typeInto(2, QStringLiteral("Zoe")));
    pane.navigator->click(DBNavigator::Cancel);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    EXPECT_EQ(pane.grid->indexWidget(pane.grid->recordIndex(2, 1)), nullptr);
    EXPECT_EQ(model->data(pane.grid->recordIndex(2, 1)).toString(), QStringLiteral("Cleo"));
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Bernard", "Cleo"}));

    // Moving on with the navigator posts the typed cell with the record.
    ASSERT_TRUE(typeInto(0, QStringLiteral("Adele")));
    pane.navigator->click(DBNavigator::Last);
    EXPECT_EQ(namesOnDisk(), (QStringList{"Adele", "Bernard", "Cleo"}));
    EXPECT_TRUE(dialogs_.errors().isEmpty()) << dialogs_.errors().join('|').toStdString();
}

TEST_F(DataWidgetsTest, DeletingAsksFirstAndNoKeepsTheRecord)
{
    Pane &pane = window().pane1();
    openPeople(pane);
    pane.navigator->click(DBNavigator::Next);

    dialogs_.answerYesNo(false);
    pane.navigator->click(DBNavigator::Delete);
    ASSERT_EQ(dialogs_.callsOf(test::FakeDialogs::Kind::YesNo).size(), 1);
    EXPECT_EQ(dialogs_.callsOf(test::FakeDialogs::Kind::YesNo)[0].text, QStringLiteral("Delete record?"));
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Brian", "Cleo"}));

    dialogs_.answerYesNo(true);
    pane.navigator->click(DBNavigator::Delete);
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Cleo"}));
    EXPECT_EQ(pane.table->rowCount(), 2);
    EXPECT_EQ(pane.grid->recordRows(), 2);
    EXPECT_EQ(dialogs_.unanswered(), 0);

    // Ctrl+Delete in the grid asks the same question.
    dialogs_.answerYesNo(false);
    QTest::keyClick(pane.grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(dialogs_.callsOf(test::FakeDialogs::Kind::YesNo).size(), 3);
    EXPECT_EQ(pane.table->rowCount(), 2);
    dialogs_.answerYesNo(true);
    QTest::keyClick(pane.grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(namesOnDisk().size(), 1);

    // Insert in the grid starts a new record.
    QTest::keyClick(pane.grid, Qt::Key_Insert);
    EXPECT_EQ(pane.table->state(), engine::TableState::Insert);
    pane.table->cancel();
}

TEST_F(DataWidgetsTest, MemoShowsTheCurrentValueAndWritesThroughTheTable)
{
    Pane &pane = window().pane2();
    openPeople(pane);
    DBMemo *memo = pane.memo;
    memo->setDataField(QStringLiteral("notes"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("first line\nsecond line"));
    pane.table->next();
    EXPECT_TRUE(memo->toPlainText().isEmpty()); // null value
    pane.table->next();
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("short"));

    memo->selectAll();
    QTest::keyClicks(memo, QStringLiteral("longer now"));
    EXPECT_EQ(pane.table->state(), engine::TableState::Edit);
    pane.navigator->click(DBNavigator::Post);
    pane.table->first();
    pane.table->last();
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("longer now"));

    // Unbinding empties the memo.
    memo->setDataField(QString());
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_TRUE(memo->isReadOnly());
}

// A value of one very long line is shown and edited whole; wrapping it would
// keep the window busy for minutes.
TEST_F(DataWidgetsTest, MemoShowsAHugeOneLineValueWholeWithoutWrappingIt)
{
    test::TestSession::runSql(dbPath_, {"INSERT INTO people VALUES (4, 'Huge', replace(hex(zeroblob(100000)), '0', 'x'))"});
    showWindow();
    Pane &pane = window().pane2();
    openPeople(pane);
    DBMemo *memo = pane.memo;
    memo->setDataField(QStringLiteral("notes"));
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    pane.table->last();
    QApplication::processEvents();
    EXPECT_EQ(memo->toPlainText(), QString(200000, QLatin1Char('x')));
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    pane.table->first();
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("first line\nsecond line"));
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth) << "ordinary values wrap again";
}

TEST_F(DataWidgetsTest, LockedControlsAreRefreshedOnceWhenUnlocked)
{
    Pane &pane = window().pane1();
    openPeople(pane);
    pane.memo->setDataField(QStringLiteral("name"));
    pane.table->disableControls();
    pane.table->last();
    EXPECT_EQ(pane.memo->toPlainText(), QStringLiteral("Ada")); // not refreshed while locked
    pane.table->enableControls();
    QApplication::processEvents();
    EXPECT_EQ(pane.memo->toPlainText(), QStringLiteral("Cleo"));
    EXPECT_FALSE(pane.navigator->button(DBNavigator::Next)->isEnabled());
}

TEST_F(DataWidgetsTest, FieldViewListsTheCurrentRecord)
{
    Pane &pane = window().pane1();
    TlynEDIDBFieldView *view = pane.fieldView;
    // Closed table: headers and no rows.
    view->LoadGridFromTable(pane.table, 5, 5, 200);
    EXPECT_EQ(view->headerItem()->text(0), QStringLiteral("Field Name"));
    EXPECT_EQ(view->headerItem()->text(1), QStringLiteral("Value"));
    EXPECT_EQ(view->topLevelItemCount(), 0);

    openPeople(pane);
    pane.table->next();
    view->LoadGridFromTable(pane.table, 5, 6, 200);
    ASSERT_EQ(view->topLevelItemCount(), 3);
    EXPECT_EQ(view->topLevelItem(1)->text(0), QStringLiteral("name"));
    EXPECT_EQ(view->topLevelItem(1)->text(1), QStringLiteral("Brian"));
    EXPECT_TRUE(view->topLevelItem(2)->text(1).isEmpty()); // null
    EXPECT_EQ(view->geometry(), QRect(5, 6, 310, 200));
    EXPECT_EQ(view->columnWidth(0), 150);

    lynEDIDBFieldView::Register();
    const auto onPage = edi::registeredComponents(edi::kPalettePage);
    EXPECT_NE(std::find(onPage.begin(), onPage.end(), "TlynEDIDBFieldView"), onPage.end());
}

TEST_F(DataWidgetsTest, EscapeInTheGridCancelsAndAFailedPostKeepsTheGridOnTheRecord)
{
    test::TestSession::runSql(dbPath_, {"CREATE TABLE codes (id INTEGER PRIMARY KEY, "
                                        "code VARCHAR(5) CHECK (length(code) >= 2))",
                                        "INSERT INTO codes VALUES (1, 'AA')", "INSERT INTO codes VALUES (2, 'BB')"});
    showWindow();
    Pane &pane = window().pane1();
    pane.database->setDatabaseName(QStringLiteral("People"));
    pane.database->open();
    pane.table->setDatabaseName(QStringLiteral("People"));
    pane.table->setTableName(QStringLiteral("codes"));
    pane.table->open();
    QApplication::processEvents();
    DBGrid *grid = pane.grid;
    QAbstractItemModel *model = grid->model();

    ASSERT_TRUE(model->setData(model->index(0, 1), QStringLiteral("CC")));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Escape);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("AA"));

    // A value the database refuses: moving on reports the error and stays put.
    ASSERT_TRUE(model->setData(model->index(0, 1), QStringLiteral("X")));
    grid->setCurrentIndex(model->index(1, 1));
    ASSERT_EQ(dialogs_.errors().size(), 1);
    EXPECT_EQ(pane.table->recNo(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_NE(pane.table->state(), engine::TableState::Browse); // the edit is not lost
    // Posting with the navigator reports the same refusal and keeps Post and Cancel.
    pane.navigator->click(DBNavigator::Post);
    EXPECT_EQ(dialogs_.errors().size(), 2);
    EXPECT_TRUE(pane.navigator->button(DBNavigator::Post)->isEnabled());
    pane.navigator->click(DBNavigator::Cancel);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("AA"));
}

// A million rows: the view's own bookkeeping is a screenful of rows whatever
// the table's size (a view with a row per record spends its time creating them
// at every open and every filter), while the scroll bar, Last and the record
// counter stay exact.
TEST_F(DataWidgetsTest, AMillionRowTableKeepsTheViewToAScreenfulAndScrollsExactly)
{
    constexpr int kRows = 1000000;
    test::TestSession::runSql(
        dbPath_, {"CREATE TABLE big (id INTEGER PRIMARY KEY, name VARCHAR(20), amount REAL)",
                  "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000) "
                  "INSERT INTO big SELECT x, 'name ' || x, x * 0.5 FROM c"});
    window().resize(704, 900);
    window().hideAlias2(900);
    showWindow();
    Pane &pane = window().pane1();
    DBGrid *grid = pane.grid;
    QAbstractItemModel *model = grid->model();
    pane.database->setDatabaseName(QStringLiteral("People"));
    pane.database->open();
    pane.table->setDatabaseName(QStringLiteral("People"));
    pane.table->setTableName(QStringLiteral("big"));
    pane.table->open();
    grid->viewport()->repaint();
    EXPECT_LE(pane.table->rowsRead(), 500) << "the first screen reads the first page only";
    EXPECT_LE(model->rowCount(), 100);
    EXPECT_LE(grid->verticalHeader()->count(), 100);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("name 1"));
    QApplication::processEvents(); // the count follows the first rows
    ASSERT_EQ(grid->recordRows(), kRows);

    QScrollBar *bar = grid->verticalScrollBar();
    const int screen = bar->pageStep();
    ASSERT_GT(screen, 5);
    EXPECT_EQ(bar->maximum() + screen, kRows) << "the bar spans every record";

    // A jump to the middle shows the rows there; the cursor stays where it was.
    bar->setValue(500000);
    grid->viewport()->repaint();
    EXPECT_EQ(grid->topRecord(), 500000);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("name 500001"));
    EXPECT_EQ(pane.table->recNo(), 1);
    EXPECT_FALSE(grid->currentIndex().isValid()) << "the current record is not on screen";
    EXPECT_LE(model->rowCount(), 100);

    grid->scrollToBottom();
    EXPECT_EQ(model->data(model->index(screen - 1, 1)).toString(), QStringLiteral("name 1000000"));

    // Last, First and the keys move the cursor and the counter exactly.
    grid->scrollToTop();
    pane.navigator->click(DBNavigator::Last);
    EXPECT_EQ(pane.table->recNo(), kRows);
    EXPECT_EQ(pane.currentRecord->text(), QStringLiteral("1000000"));
    ASSERT_TRUE(grid->currentIndex().isValid());
    EXPECT_EQ(grid->topRecord() + grid->currentIndex().row(), kRows - 1);
    EXPECT_EQ(grid->currentIndex().siblingAtColumn(1).data().toString(), QStringLiteral("name 1000000"));
    pane.navigator->click(DBNavigator::First);
    EXPECT_EQ(grid->topRecord(), 0);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_PageDown);
    EXPECT_EQ(pane.table->recNo(), 1 + screen);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(pane.currentRecord->text(), QString::number(2 + screen));
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(pane.table->recNo(), kRows);
    EXPECT_EQ(grid->topRecord(), kRows - screen);
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(pane.table->recNo(), 1);
    EXPECT_LE(grid->verticalHeader()->count(), 100);
    EXPECT_TRUE(dialogs_.errors().isEmpty()) << dialogs_.errors().join('|').toStdString();
}

// Text the field refuses, then Down: the row stays current with the typed
// text in its editor, to be corrected or cancelled.
TEST_F(DataWidgetsTest, LeavingACellWhoseTextTheFieldRefusesKeepsTheRowAndTheText)
{
    test::TestSession::runSql(dbPath_, {"CREATE TABLE counts (id INTEGER PRIMARY KEY, qty INTEGER)",
                                        "INSERT INTO counts VALUES (1, 10)", "INSERT INTO counts VALUES (2, 20)",
                                        "INSERT INTO counts VALUES (3, 30)"});
    showWindow();
    QApplication::setActiveWindow(&window());
    Pane &pane = window().pane1();
    pane.database->setDatabaseName(QStringLiteral("People"));
    pane.database->open();
    pane.table->setDatabaseName(QStringLiteral("People"));
    pane.table->setTableName(QStringLiteral("counts"));
    pane.table->open();
    QApplication::processEvents();
    DBGrid *grid = pane.grid;
    QAbstractItemModel *model = grid->model();
    const QModelIndex cell = model->index(0, 1);
    grid->setFocus();
    grid->setCurrentIndex(cell);
    QTest::keyClick(grid, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(grid->indexWidget(cell));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("abc"));

    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Tab, Qt::Key_Return}) {
        SCOPED_TRACE(key);
        const int before = dialogs_.errors().size();
        QTest::keyClick(QApplication::focusWidget(), key);
        QApplication::processEvents();
        ASSERT_EQ(dialogs_.errors().size(), before + 1);
        EXPECT_EQ(dialogs_.errors().last(), QStringLiteral("'abc' is not a valid integer value for field 'qty'."));
        EXPECT_EQ(pane.table->recNo(), 1);
        EXPECT_EQ(grid->currentIndex(), cell);
        ASSERT_EQ(grid->indexWidget(cell), editor) << "the editor stays open";
        EXPECT_EQ(editor->text(), QStringLiteral("abc"));
        EXPECT_EQ(pane.table->state(), engine::TableState::Edit);
    }
    // The navigator does not move past it either.
    pane.navigator->click(DBNavigator::Next);
    EXPECT_EQ(pane.table->recNo(), 1);
    EXPECT_EQ(grid->indexWidget(cell), editor);

    // Corrected, the value goes in and the move goes on (posting the record).
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("7"));
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(pane.table->recNo(), 2);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("7"));

    // Escape drops the typed text; a second Escape cancels the record's edit.
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(pane.table->recNo(), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTest::keyClick(grid, Qt::Key_Escape);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    EXPECT_EQ(model->data(model->index(1, 1)).toString(), QStringLiteral("20"));
    EXPECT_EQ(dialogs_.errors().size(), 5);
}

TEST_F(DataWidgetsTest, MemoCellsShowTheirFirstLineAndColumnsFitTheirFields)
{
    test::TestSession::runSql(dbPath_, {"CREATE TABLE wide (big BIGINT, tag VARCHAR(4), title VARCHAR(200), body TEXT)",
                                        "INSERT INTO wide VALUES (-9223372036854775807, 'ab', 'x', 'one\r\ntwo')"});
    showWindow();
    Pane &pane = window().pane1();
    openPeople(pane);
    QAbstractItemModel *model = pane.grid->model();
    EXPECT_EQ(model->data(model->index(0, 2)).toString(), QStringLiteral("first line"));
    EXPECT_EQ(model->data(model->index(1, 2)).toString(), QString()) << "null";
    EXPECT_EQ(model->data(model->index(2, 2)).toString(), QStringLiteral("short"));
    EXPECT_EQ(model->data(model->index(0, 2), Qt::EditRole).toString(), QStringLiteral("first line\nsecond line"));

    pane.table->close();
    pane.table->setTableName(QStringLiteral("wide"));
    pane.table->open();
    QApplication::processEvents();
    DBGrid *grid = pane.grid;
    EXPECT_EQ(model->data(model->index(0, 3)).toString(), QStringLiteral("one"));
    const QFontMetrics fm = grid->fontMetrics();
    EXPECT_GE(grid->columnWidth(0), fm.horizontalAdvance(QStringLiteral("-9223372036854775807"))) << "a long integer fits";
    EXPECT_LT(grid->columnWidth(1), grid->columnWidth(0)) << "a short string is narrow";
    EXPECT_GE(grid->columnWidth(1), fm.horizontalAdvance(QStringLiteral("tag"))) << "the title still fits";
    EXPECT_LE(grid->columnWidth(2), fm.horizontalAdvance(QString(60, QLatin1Char('0')))) << "a long string is capped";
    EXPECT_GT(grid->columnWidth(2), grid->columnWidth(0));
}

TEST_F(DataWidgetsTest, TypingAValueTheFieldRefusesIsReportedAndTheGridGoesOn)
{
    showWindow();
    QApplication::setActiveWindow(&window());
    Pane &pane = window().pane1();
    openPeople(pane);
    DBGrid *grid = pane.grid;
    const QModelIndex idCell = grid->model()->index(0, 0);
    grid->setFocus();
    grid->setCurrentIndex(idCell);
    grid->edit(idCell);
    QWidget *editor = QApplication::focusWidget();
    ASSERT_NE(editor, grid);
    QTest::keyClicks(editor, QStringLiteral("abc"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(dialogs_.errors().size(), 1);
    pane.table->cancel();
    EXPECT_EQ(grid->model()->data(grid->model()->index(0, 0)).toString(), QStringLiteral("1"));

    // The grid still edits.
    grid->edit(grid->model()->index(0, 1));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Augusta"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents(); // the delegate commits through a queued call
    EXPECT_EQ(pane.table->state(), engine::TableState::Edit);
    pane.navigator->click(DBNavigator::Post);
    EXPECT_EQ(namesOnDisk().first(), QStringLiteral("Augusta"));
}

// A filter's rows are read page by page: the grid grows as it scrolls to its
// end, and the navigator's Next and Last reach the rows not read yet.
TEST_F(DataWidgetsTest, AFilteredGridGrowsAsItScrollsAndTheNavigatorReachesItsEnd)
{
    test::TestSession::runSql(
        dbPath_, {"CREATE TABLE many (id INTEGER PRIMARY KEY, name VARCHAR(20))",
                  "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) "
                  "INSERT INTO many SELECT x, CASE WHEN x % 2 = 1 THEN 'odd ' ELSE 'even ' END || x FROM c"});
    showWindow();
    Pane &pane = window().pane1();
    pane.database->setDatabaseName(QStringLiteral("People"));
    pane.database->open();
    pane.table->setDatabaseName(QStringLiteral("People"));
    pane.table->setTableName(QStringLiteral("many"));
    pane.table->open();
    pane.table->setFilter(QStringLiteral("name = 'odd*'"));
    pane.table->setFiltered(true);
    QApplication::processEvents();
    QAbstractItemModel *model = pane.grid->model();
    const int firstPage = model->rowCount();
    ASSERT_GT(firstPage, 0);
    ASSERT_LT(firstPage, 1500);

    // The navigator alone (a grid reads on by itself when its cursor reaches its last row).
    pane.grid->setDataSource(nullptr);
    pane.table->setRecNo(firstPage);
    ASSERT_TRUE(pane.table->hasMoreRows());
    EXPECT_TRUE(pane.navigator->button(DBNavigator::Next)->isEnabled()) << "more rows follow the last one read";
    EXPECT_TRUE(pane.navigator->button(DBNavigator::Last)->isEnabled());
    pane.navigator->click(DBNavigator::Next);
    EXPECT_EQ(pane.table->recNo(), firstPage + 1);
    pane.grid->setDataSource(pane.dataSource);
    QApplication::processEvents();
    DBGrid *grid = pane.grid;
    EXPECT_EQ(grid->topRecord() + grid->currentIndex().row(), firstPage) << "the grid follows onto the row just read";

    grid->scrollToBottom();
    QApplication::processEvents();
    EXPECT_GT(grid->recordRows(), firstPage + 1) << "scrolling to the end reads on";

    pane.navigator->click(DBNavigator::Last);
    EXPECT_EQ(pane.table->recNo(), 1500);
    EXPECT_EQ(grid->recordRows(), 1500);
    EXPECT_EQ(grid->verticalScrollBar()->maximum() + grid->verticalScrollBar()->pageStep(), 1500);
    EXPECT_EQ(grid->topRecord() + grid->currentIndex().row(), 1499);
    EXPECT_EQ(grid->currentIndex().siblingAtColumn(1).data().toString(), QStringLiteral("odd 2999"));
    EXPECT_FALSE(pane.navigator->button(DBNavigator::Next)->isEnabled());
}

namespace {

// Selects from the current cell with Shift and the moving keys, as a user does.
void shiftKeys(DBGrid *grid, std::initializer_list<Qt::Key> keys)
{
    for (const Qt::Key key : keys)
        QTest::keyClick(grid, key, Qt::ShiftModifier);
}

} // namespace

TEST_F(DataWidgetsTest, ARangeIsCopiedAsTabSeparatedTextWithFieldNamesForWholeRows)
{
    test::TestSession::runSql(dbPath_, {"UPDATE people SET name = 'Tab\there' WHERE id = 2",
                                        "INSERT INTO people VALUES (4, '\"quoted\" start', 'say \"hi\"')"});
    window().resize(704, 900);
    window().hideAlias2(900);
    showWindow();
    Pane &pane = window().pane1();
    openPeople(pane);
    DBGrid *grid = pane.grid;
    grid->setFocus();
    QClipboard *clipboard = QGuiApplication::clipboard();

    // Cells: from name of the first record, two down and one right; a memo goes whole, a value
    // with a tab or line end in quotes, a quote inside one doubled, a NULL empty.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->recordIndex(0, 1)).center());
    shiftKeys(grid, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Right});
    EXPECT_EQ(pane.table->recNo(), 3) << "the current record follows the range's end";
    EXPECT_FALSE(grid->wholeRowsSelected());
    EXPECT_EQ(grid->selectionModel()->selectedIndexes().size(), 6);
    grid->copyAction()->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("Ada\t\"first line\nsecond line\"\n"
                                                "\"Tab\there\"\t\n"
                                                "Cleo\tshort"));
    EXPECT_EQ(window().statusBar()->currentMessage(), QStringLiteral("Copied 3 records."));

    // A column moved: the copy follows the display order. Shift+Space widens to whole rows.
    grid->moveColumn(QStringLiteral("notes"), 0);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->recordIndex(3, 2)).center());
    QTest::keyClick(grid, Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse) << "no editor opened for the space";
    ASSERT_TRUE(grid->wholeRowsSelected());
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("notes\tid\tname\nsay \"hi\"\t4\t\"\"\"quoted\"\" start\""));
    grid->resetColumnOrder();

    // A single cell is its value alone; a plain click after a range starts anew.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->recordIndex(2, 1)).center());
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("Cleo"));

    // Ctrl+A: every record with the header; a right-click inside keeps the range for the pop-up's
    // Copy.
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    const QRect inside = grid->visualRect(grid->recordIndex(1, 0));
    QTest::mousePress(grid->viewport(), Qt::RightButton, {}, inside.center());
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, {}, inside.center());
    EXPECT_TRUE(pane.gridPopup->actions().contains(grid->copyAction()));
    grid->copyAction()->trigger();
    const QStringList lines = clipboard->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6); // the header, four records, the memo's second line
    EXPECT_EQ(lines.first(), QStringLiteral("id\tname\tnotes"));
    EXPECT_EQ(lines.at(1), QStringLiteral("1\tAda\t\"first line"));
    EXPECT_TRUE(dialogs_.errors().isEmpty()) << dialogs_.errors().join('|').toStdString();
}

TEST_F(DataWidgetsTest, ARangeOutlivesScrollingAndAHugeCopyStopsAtItsLimit)
{
    constexpr int kRows = DBGrid::kMaxCopyRecords + 50;
    test::TestSession::runSql(
        dbPath_, {"CREATE TABLE big (id INTEGER PRIMARY KEY, name VARCHAR(20))",
                  QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
                                 "INSERT INTO big SELECT x, 'name ' || x FROM c").arg(kRows)});
    showWindow();
    Pane &pane = window().pane1();
    DBGrid *grid = pane.grid;
    pane.database->setDatabaseName(QStringLiteral("People"));
    pane.database->open();
    pane.table->setDatabaseName(QStringLiteral("People"));
    pane.table->setTableName(QStringLiteral("big"));
    pane.table->open();
    QApplication::processEvents();
    grid->setFocus();

    // Rows 2-4 selected, then scrolled far away and back: the same records stay selected.
    grid->setCurrentIndex(grid->recordIndex(1, 1));
    shiftKeys(grid, {Qt::Key_Down, Qt::Key_Down});
    grid->verticalScrollBar()->setValue(50000);
    EXPECT_TRUE(grid->selectionModel()->selectedIndexes().isEmpty());
    grid->verticalScrollBar()->setValue(0);
    QModelIndexList shown = grid->selectionModel()->selectedIndexes();
    ASSERT_EQ(shown.size(), 3);
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown.first().data().toString(), QStringLiteral("name 2"));
    EXPECT_EQ(shown.last().data().toString(), QStringLiteral("name 4"));
    grid->copySelection();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("name 2\nname 3\nname 4"));

    // Everything: the first records up to the limit, and the status bar says so.
    grid->selectAll();
    grid->copySelection();
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_EQ(text.count(QLatin1Char('\n')), DBGrid::kMaxCopyRecords) << "the header and the records";
    EXPECT_TRUE(text.endsWith(QStringLiteral("\n100000\tname 100000")));
    EXPECT_EQ(window().statusBar()->currentMessage(),
              QStringLiteral("Copied the first 100,000 records of the selection: a copy holds at most 100,000 records "
                             "or 64 MB."));
    EXPECT_EQ(pane.table->recNo(), 4) << "copying moves no cursor";
}

TEST_F(DataWidgetsTest, NavigatorKeysMoveTheFocusedPanesTableAndTheTipsNameThem)
{
    showWindow();
    Pane &one = window().pane1();
    Pane &two = window().pane2();
    openPeople(one);
    openPeople(two);
    EXPECT_EQ(one.navigator->button(DBNavigator::Next)->toolTip(), QStringLiteral("Next record (Ctrl+Down)"));
    EXPECT_EQ(one.navigator->button(DBNavigator::Refresh)->toolTip(), QStringLiteral("Refresh data (F5)"));
    EXPECT_EQ(one.navigator->button(DBNavigator::Insert)->toolTip(), QStringLiteral("Insert record"));
    // Every key is free: no two buttons, and no menu entry, share one.
    QList<QKeySequence> keys;
    for (QAction *action : window().findChildren<QAction *>())
        if (!action->shortcut().isEmpty() && action->objectName() != QLatin1String("GridCopy"))
            keys << action->shortcut();
    for (int i = 0; i < DBNavigator::ButtonCount; ++i) {
        const QKeySequence key = DBNavigator::shortcut(static_cast<Button>(i));
        if (key.isEmpty())
            continue;
        EXPECT_FALSE(keys.contains(key)) << key.toString().toStdString();
        keys << key;
    }

    two.grid->setFocus();
    QTest::keyClick(two.grid, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(two.grid, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(two.table->recNo(), 3);
    EXPECT_EQ(one.table->recNo(), 1) << "the other pane's table stays";
    QTest::keyClick(two.grid, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(two.table->recNo(), 1);

    // From the filter box too, and Ctrl+S posts what the grid's cell editor holds.
    one.filterValueEdit->setFocus();
    QTest::keyClick(one.filterValueEdit, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(one.filterValueEdit, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(one.table->recNo(), 3);
    one.grid->setFocus();
    one.grid->setCurrentIndex(one.grid->recordIndex(2, 1));
    QTest::keyClick(one.grid, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("Clio"));
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(one.table->state(), engine::TableState::Browse);
    EXPECT_EQ(namesOnDisk(), (QStringList{"Ada", "Brian", "Clio"}));
    // Ctrl+Z cancels a record's changes, F5 reads the table again.
    one.table->edit();
    one.table->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("Cleo"));
    QTest::keyClick(one.grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(one.table->state(), engine::TableState::Browse);
    test::TestSession::runSql(dbPath_, {"INSERT INTO people VALUES (0, 'Aaron', NULL)"});
    QTest::keyClick(one.grid, Qt::Key_F5);
    EXPECT_EQ(one.table->recordCount(), 4);
    EXPECT_EQ(one.table->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("Clio"))
        << "the refresh keeps the record";
    EXPECT_TRUE(dialogs_.errors().isEmpty()) << dialogs_.errors().join('|').toStdString();
}

TEST_F(DataWidgetsTest, AReadOnlyTableSaysWhyUnderItsCells)
{
    engine::AliasDef def = *session_.session().aliases().find(QStringLiteral("People"));
    def.name = QStringLiteral("Archive");
    def.readOnly = true;
    session_.session().aliases().add(def);
    showWindow();
    Pane &pane = window().pane1();
    openPeople(pane);
    auto *note = pane.grid->findChild<QLabel *>(QStringLiteral("ReadOnlyNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(pane.grid->readOnlyNote(), QString());
    EXPECT_FALSE(note->isVisible());

    pane.table->close();
    pane.database->close();
    pane.database->setDatabaseName(def.name);
    pane.database->open();
    pane.table->setDatabaseName(def.name);
    pane.table->open();
    QApplication::processEvents();
    EXPECT_EQ(pane.grid->readOnlyNote(), QStringLiteral("Read-only: alias 'Archive' is read-only"));
    EXPECT_TRUE(note->isVisible());
    EXPECT_GT(note->width(), 0);
    EXPECT_TRUE(pane.grid->viewport()->geometry().bottom() < note->mapTo(pane.grid, QPoint(0, 0)).y())
        << "the note is under the cells, not over them";
    pane.table->close();
    QApplication::processEvents();
    EXPECT_FALSE(note->isVisible());
}
