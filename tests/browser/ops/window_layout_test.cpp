// How the window shares its height: the first start shows a screenful of
// records, and a larger window gives its height to the grids.
#include "browser_fixture.h"

#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "widgets/dbmemo.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QSplitter>
#include <QTest>

using namespace pelldrake;
using pelldrake::test::BrowserTest;

namespace {

int visibleGridRows(const Pane &pane)
{
    return pane.grid->viewport()->height() / pane.grid->verticalHeader()->defaultSectionSize();
}

class WindowLayoutTest : public BrowserTest {
protected:
    // A window built as at the first start on a screen whose free area is `available`.
    TPelldrakeCDSForm &firstStart(const QRect &available)
    {
        window = std::make_unique<TPelldrakeCDSForm>(&session());
        window->applyFirstStartLayout(available);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }
};

} // namespace

TEST_F(WindowLayoutTest, FirstStartOnALaptopScreenShowsFifteenRowsAndAMemoOfSeveralLines)
{
    TPelldrakeCDSForm &form = firstStart(QRect(0, 0, 1366, 768));
    Pane &pane = form.pane1();
    chooseAlias(pane, QStringLiteral("Shop"));
    clickTable(pane, QStringLiteral("customers")); // it has a memo
    QApplication::processEvents();
    ASSERT_TRUE(pane.table->active());
    ASSERT_FALSE(pane.memoGroup->isHidden());

    EXPECT_GE(visibleGridRows(pane), 15);
    EXPECT_GE(pane.memo->height(), pane.memo->fontMetrics().lineSpacing());
    EXPECT_GE(pane.infoListing->height(), pane.infoListing->fontMetrics().lineSpacing());
    // The empty pane 2 keeps only what its controls need.
    EXPECT_LT(form.pane2().frame->height(), form.pane1().frame->height() / 2);
    EXPECT_LE(form.frameGeometry().bottom(), 768);
}

TEST_F(WindowLayoutTest, OnALargerScreenTheMemoAndListingGetSeveralLinesBesideTheRecords)
{
    TPelldrakeCDSForm &form = firstStart(QRect(0, 0, 1920, 1040));
    Pane &pane = form.pane1();
    chooseAlias(pane, QStringLiteral("Shop"));
    clickTable(pane, QStringLiteral("customers"));
    QApplication::processEvents();
    EXPECT_LE(form.width(), 1280);
    EXPECT_GE(visibleGridRows(pane), 25);
    EXPECT_GE(pane.memo->height(), 3 * pane.memo->fontMetrics().lineSpacing());
    EXPECT_GE(pane.infoListing->height(), 3 * pane.infoListing->fontMetrics().lineSpacing());
}

TEST_F(WindowLayoutTest, GrowingTheWindowGivesTheHeightToTheGridsNotToAnEmptyPane2OrTheListing)
{
    TPelldrakeCDSForm &form = firstStart(QRect(0, 0, 1366, 768));
    Pane &pane1 = form.pane1();
    Pane &pane2 = form.pane2();
    chooseAlias(pane1, QStringLiteral("Shop"));
    clickTable(pane1, QStringLiteral("customers"));
    QApplication::processEvents();

    const int grid1 = pane1.grid->height();
    const int listing1 = pane1.infoListing->height();
    const int memo1 = pane1.memoGroup->height();
    const int pane2Height = pane2.frame->height();
    form.resize(form.width(), form.height() + 200);
    QApplication::processEvents();
    EXPECT_EQ(pane1.grid->height(), grid1 + 200);
    EXPECT_EQ(pane1.infoListing->height(), listing1);
    EXPECT_EQ(pane1.memoGroup->height(), memo1);
    EXPECT_EQ(pane2.frame->height(), pane2Height);

    // A table opening in the small pane 2 gets it half the height; then both grids grow.
    chooseAlias(pane2, QStringLiteral("Other"));
    clickTable(pane2, QStringLiteral("parts"));
    QApplication::processEvents();
    ASSERT_TRUE(pane2.table->active());
    EXPECT_GE(pane2.frame->height(), pane1.frame->height() - 1);
    EXPECT_GT(pane2.grid->height(), pane2.infoListing->height());
    const int grid1Before = pane1.grid->height();
    const int grid2Before = pane2.grid->height();
    form.resize(form.width(), form.height() + 200);
    QApplication::processEvents();
    EXPECT_GT(pane1.grid->height(), grid1Before);
    EXPECT_GT(pane2.grid->height(), grid2Before);
    EXPECT_EQ(pane1.grid->height() - grid1Before + pane2.grid->height() - grid2Before, 200);
}

TEST_F(WindowLayoutTest, ASmallScreenKeepsTheDesignSize)
{
    TPelldrakeCDSForm &form = firstStart(QRect(0, 0, 800, 600));
    EXPECT_EQ(form.size(), QSize(704, 626));
    EXPECT_EQ(form.pane1().frame->height(), 281);
}
