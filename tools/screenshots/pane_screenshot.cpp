// Renders a pane with an open table of the demo database (grid, memo and
// information listing) into a PNG, through the same clicks a user makes.
// Usage: pane_screenshot <output.png>  (run it with a throw-away HOME)
#include "screenshot_driver.h"

#include "engine/data_source.h"
#include "engine/field.h"
#include "engine/table.h"
#include "engine/table_model.h"
#include "widgets/dbgrid.h"
#include "browser/mainwindow.h"

#include <QApplication>
#include <QTest>

#include <algorithm>

namespace {

// Clicks the first memo cell that holds text, so that the memo viewer shows it.
void clickAMemo(pelldrake::Pane &pane)
{
    using namespace pelldrake;
    QAbstractItemModel *model = pane.grid->model();
    for (int column = 0; column < model->columnCount(); ++column) {
        const int field = pane.grid->tableModel()->fieldIndexForColumn(column);
        if (pane.table->field(field)->dataType() != engine::ftMemo)
            continue;
        for (int row = 0; row < std::min(20, pane.grid->recordRows()); ++row) {
            if (pane.table->textAt(row, field).isEmpty())
                continue;
            const QModelIndex cell = pane.grid->recordIndex(row, column);
            QTest::mouseClick(pane.grid->viewport(), Qt::LeftButton, {}, pane.grid->visualRect(cell).center());
            return;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    using namespace pelldrake;
    return test::runWindowScreenshot(argc, argv, QSize(900, 900), [](TPelldrakeCDSForm &window) {
        Pane &pane = window.pane1();
        if (!test::openDemoTable(pane, QStringLiteral("customers")))
            return false;
        // Pane 1 alone, so that grid, memo and listing all have room.
        window.HideAlias21Click();
        QApplication::processEvents();
        // Enough grid rows to see the data, and room for the listing's table and index lines.
        window.setGridHeight(pane, 260);
        QApplication::processEvents();
        clickAMemo(pane);
        return true;
    });
}
