// The field view through the main window: the grid pop-up's "Field View",
// its place, the snapshot it shows, and the double-click that hides it.
#include "browser_fixture.h"

#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "widgets/fieldview.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QGroupBox>
#include <QTest>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

QStringList column(const TlynEDIDBFieldView *view, int c)
{
    QStringList out;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        out << view->topLevelItem(i)->text(c);
    return out;
}

} // namespace

using FieldViewTest = BrowserTest;

TEST_F(FieldViewTest, ShowsASnapshotOfTheCurrentRecordOverThePane)
{
    TPelldrakeCDSForm &w = openWindow();
    Pane &pane = w.pane1();
    chooseAlias(pane, QStringLiteral("Shop"));
    clickTable(pane, QStringLiteral("customers"));
    pane.table->setRecNo(3); // Karl Marx, whose notes are null

    ASSERT_TRUE(pane.fieldViewEntry->isEnabled());
    pane.fieldViewEntry->trigger();
    TlynEDIDBFieldView *view = pane.fieldView;
    ASSERT_TRUE(view->isVisible());
    EXPECT_EQ(view->parentWidget(), &w);
    EXPECT_EQ(column(view, 0), (QStringList{"ID", "NAME", "CITY", "NOTES"}));
    EXPECT_EQ(column(view, 1), (QStringList{"3", "Karl Marx", "Berlin", ""}));
    EXPECT_EQ(view->headerItem()->text(0), QStringLiteral("Field Name"));
    EXPECT_EQ(view->headerItem()->text(1), QStringLiteral("Value"));

    // Left and top 5 pixels inside the pane's frame, 310 wide.
    const QPoint frame = pane.frame->mapTo(&w, QPoint(0, 0));
    EXPECT_EQ(view->geometry().topLeft(), frame + QPoint(5, 5));
    EXPECT_EQ(view->width(), 310);
    const int formula = pane.frame->height() + pane.rightArea->height() - 10;
    EXPECT_EQ(view->height(), std::min(formula, w.height() - view->y() - 5));

    // Moving on leaves the snapshot; choosing "Field View" again reloads it.
    pane.table->first();
    EXPECT_EQ(column(view, 1).at(1), QStringLiteral("Karl Marx"));
    pane.fieldViewEntry->trigger();
    EXPECT_EQ(column(view, 1).at(1), QStringLiteral("Kara Ng"));

    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(view->isVisible());
}

TEST_F(FieldViewTest, EmptyAndClosedTables)
{
    TPelldrakeCDSForm &w = openWindow();
    // No table open: the headers and no rows.
    w.pane2().fieldViewEntry->trigger();
    EXPECT_TRUE(w.pane2().fieldView->isVisible());
    EXPECT_EQ(w.pane2().fieldView->topLevelItemCount(), 0);
    w.lynEDIDBFieldView2DblClick();
    EXPECT_FALSE(w.pane2().fieldView->isVisible());

    // An empty table: one row per field, no values.
    Pane &pane = w.pane1();
    chooseAlias(pane, QStringLiteral("Shop"));
    clickTable(pane, QStringLiteral("plain"));
    pane.table->first();
    pane.table->deleteRecord();
    ASSERT_EQ(pane.table->recordCount(), 0);
    w.FieldView1Click();
    EXPECT_EQ(column(pane.fieldView, 0), (QStringList{"A", "B", "PIC"}));
    EXPECT_EQ(column(pane.fieldView, 1), (QStringList{"", "", ""}));

    // LoadGrid on an empty table changes nothing at all.
    const QRect before = pane.fieldView->geometry();
    pane.fieldView->LoadGrid(pane.grid);
    EXPECT_EQ(pane.fieldView->geometry(), before);
    EXPECT_EQ(pane.fieldView->topLevelItemCount(), 3);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

// The value column paints what fits on a screen: a one-line value of
// megabytes is cut before the view lays it out (else showing the view takes
// seconds), a memo shows its first line. Ctrl+C on a value copies it whole.
TEST_F(FieldViewTest, AHugeValueShowsOnlyWhatTheViewCanHold)
{
    TPelldrakeCDSForm &w = openWindow();
    TestSession::runSql(path(QStringLiteral("Shop.sqlite")),
                        {QStringLiteral("UPDATE customers SET NOTES = 'a' || replace(hex(zeroblob(1048576)), '00', 'bc')"
                                        " WHERE ID = 1"),
                         QStringLiteral("UPDATE customers SET NOTES = 'first' || char(13, 10) || 'second' WHERE ID = 2")});
    Pane &pane = w.pane1();
    chooseAlias(pane, QStringLiteral("Shop"));
    clickTable(pane, QStringLiteral("customers"));
    pane.table->setRecNo(1);
    const QString whole = pane.table->field(3)->text();
    ASSERT_EQ(whole.size(), 2 * 1048576 + 1);

    w.FieldView1Click();
    TlynEDIDBFieldView *view = pane.fieldView;
    const QString shown = column(view, 1).at(3);
    EXPECT_GE(shown.size(), 1000) << "a value wider than a screen still shows in full";
    EXPECT_LE(shown.size(), 10000);
    EXPECT_TRUE(whole.startsWith(shown));
    EXPECT_EQ(column(view, 1).at(1), QStringLiteral("Kara Ng"));

    view->setCurrentItem(view->topLevelItem(3), 1);
    QTest::keySequence(view, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), whole);
    view->setCurrentItem(view->topLevelItem(3), 0);
    QTest::keySequence(view, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("NOTES"));

    pane.table->setRecNo(2);
    w.FieldView1Click();
    EXPECT_EQ(column(view, 1).at(3), QStringLiteral("first"));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}
