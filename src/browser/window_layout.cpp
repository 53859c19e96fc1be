// How the main window shares out its height: the first start's size on a
// screen larger than the design size, growth going to the grids, and the memo
// viewer taking its room from the listing rather than from the grid.
#include "browser/mainwindow.h"

#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "widgets/dbmemo.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>

#include <algorithm>

namespace pelldrake {

namespace {

constexpr int kDesignWidth = 704;
constexpr int kDesignHeight = 626;
// Below this the design window already takes most of the screen.
constexpr QSize kLargeScreen(1000, 700);
// Wider than this, a window only spreads the same columns further apart.
constexpr int kFirstStartMaxWidth = 1280;
// The title bar and borders a window manager adds: unknown before the first
// show, so the first start leaves this much of the screen's height for them.
constexpr int kFrameAllowance = 28;
constexpr int kFirstStartGridRows = 15;
constexpr int kMemoLines = 4;
constexpr int kListingLines = 4;
constexpr int kListingLinesWhenTight = 1;

int linesHeight(const QWidget *w, int lines)
{
    return lines * w->fontMetrics().lineSpacing() + 2 * w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4;
}

// The height of a grid that shows `rows` records below its header.
int gridHeightForRows(const DBGrid *grid, int rows)
{
    return 2 * grid->frameWidth() + grid->horizontalHeader()->sizeHint().height()
        + rows * grid->verticalHeader()->defaultSectionSize() + grid->horizontalScrollBar()->sizeHint().height();
}

// The memo group's height for a few lines of text, never below its minimum.
int memoHeight(const Pane &pane)
{
    return std::max(pane.memoGroup->minimumHeight(),
                    linesHeight(pane.memo, kMemoLines) + pane.memoGroup->fontMetrics().height());
}

bool tableOpen(const Pane &pane)
{
    return pane.table && pane.table->active();
}

} // namespace

void TPelldrakeCDSForm::applyFirstStartLayout(const QRect &available)
{
    if (available.width() < kLargeScreen.width() || available.height() < kLargeScreen.height())
        return; // a small screen keeps the design size and place
    const int width = std::clamp(available.width() * 9 / 10, kDesignWidth, kFirstStartMaxWidth);
    const int height = std::max(kDesignHeight, available.height() - kFrameAllowance);
    resize(width, height);
    move(available.left() + (available.width() - width) / 2, available.top());
    firstStartLayoutPending_ = true;
}

void TPelldrakeCDSForm::shareOutFirstStartHeight()
{
    // An empty pane 2 keeps what its top strip and a sliver of its areas need.
    if (alias2Visible() && !tableOpen(pane2_)) {
        const int total = paneSplitter_->sizes().value(0) + paneSplitter_->sizes().value(1);
        const int pane2 = pane2_.frame->minimumSizeHint().height();
        paneSplitter_->setSizes({std::max(0, total - pane2), pane2});
        // What pane 2's areas now have becomes what they keep, or growth would
        // first give them back their old heights.
        pane2_.gridSplitter->setSizes(pane2_.gridSplitter->sizes());
    }

    // Inside pane 1: a few lines for the memo and the listing, the rest to the
    // grid; when that is not enough for a screenful of records the listing,
    // then the memo, give up lines first.
    QList<int> sizes = pane1_.gridSplitter->sizes();
    if (sizes.size() != 3)
        return;
    const int total = sizes[0] + sizes[1] + sizes[2];
    const int wanted = gridHeightForRows(pane1_.grid, kFirstStartGridRows);
    int memo = pane1_.memoGroup->isHidden() ? 0 : memoHeight(pane1_);
    int listing = linesHeight(pane1_.infoListing, kListingLines);
    const int tightListing = linesHeight(pane1_.infoListing, kListingLinesWhenTight);
    if (total - memo - listing < wanted)
        listing = std::max(tightListing, total - memo - wanted);
    if (memo > 0 && total - memo - listing < wanted)
        memo = std::max(pane1_.memoGroup->minimumHeight(), total - listing - wanted);
    pane1_.gridSplitter->setSizes({std::max(0, total - memo - listing), memo, listing});
}

void TPelldrakeCDSForm::updateHeightShares()
{
    // The splitters share out a change from the sizes last set on them, not
    // from what the areas have: what they have now becomes that.
    paneSplitter_->setSizes(paneSplitter_->sizes());
    for (Pane *pane : {&pane1_, &pane2_})
        pane->gridSplitter->setSizes(pane->gridSplitter->sizes());

    // A table opening in pane 2 while it is kept small gets half the height,
    // as showing pane 2 gives it, and lines for its listing.
    if (alias2Visible() && tableOpen(pane2_)
        && pane2_.frame->height() <= pane2_.frame->minimumSizeHint().height()) {
        const int total = paneSplitter_->sizes().value(0) + paneSplitter_->sizes().value(1);
        paneSplitter_->setSizes({total - total / 2, total / 2});
        QList<int> sizes = pane2_.gridSplitter->sizes();
        if (sizes.size() == 3) {
            const int listing = std::min(linesHeight(pane2_.infoListing, kListingLines), (sizes[0] + sizes[2]) / 3);
            sizes[0] = sizes[0] + sizes[2] - listing;
            sizes[2] = listing;
            pane2_.gridSplitter->setSizes(sizes);
        }
    }

    // Growth goes to the grids: never to an empty pane 2, a memo or a listing.
    paneSplitter_->setStretchFactor(0, 1);
    paneSplitter_->setStretchFactor(1, tableOpen(pane2_) ? 1 : 0);
    for (Pane *pane : {&pane1_, &pane2_}) {
        pane->gridSplitter->setStretchFactor(0, 1);
        pane->gridSplitter->setStretchFactor(1, 0);
        pane->gridSplitter->setStretchFactor(2, 0);
    }
}

void TPelldrakeCDSForm::setMemoShown(Pane &pane, bool shown)
{
    if (shown == !pane.memoGroup->isHidden())
        return;
    const QList<int> before = pane.gridSplitter->sizes();
    pane.memoGroup->setVisible(shown);
    if (!shown || before.size() != 3 || !isVisible())
        return;
    // The memo's lines come from the listing down to a few lines, then from
    // the grid down to a screenful of records, then from the listing down to
    // one line; past that the memo makes do with less.
    int grid = before[0];
    int listing = before[2];
    int memo = 0;
    const int wanted = memoHeight(pane);
    auto take = [&](int &from, int floor) {
        const int given = std::clamp(from - floor, 0, wanted - memo);
        from -= given;
        memo += given;
    };
    take(listing, linesHeight(pane.infoListing, kListingLines));
    take(grid, gridHeightForRows(pane.grid, kFirstStartGridRows));
    take(listing, linesHeight(pane.infoListing, kListingLinesWhenTight));
    const int minimum = pane.memoGroup->minimumHeight();
    if (memo < minimum) {
        grid -= minimum - memo;
        memo = minimum;
    }
    pane.gridSplitter->setSizes({std::max(0, grid), memo, listing});
}

} // namespace pelldrake
