// Renders the main window at its first start on the demo alias into a PNG, for the README.
// Usage: window_screenshot <output.png>  (run it with a throw-away HOME)
#include "screenshot_driver.h"

#include "widgets/dbgrid.h"
#include "browser/mainwindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

int main(int argc, char **argv)
{
    using namespace pelldrake;
    return test::runWindowScreenshot(argc, argv, QSize(), [](TPelldrakeCDSForm &window) {
        // The demo alias in pane 1 with its first table open, as a user leaves it.
        Pane &pane = window.pane1();
        if (!test::openDemoTable(pane))
            return false;
        // Sorted by city (a header click) with a range of cells selected, as a user leaves it.
        const int city = pane.grid->columnFieldNames().indexOf(QStringLiteral("city"));
        if (city >= 0)
            pane.grid->cycleSort(pane.grid->horizontalHeader()->logicalIndex(city));
        pane.grid->selectRange(1, 4, 1, 3);
        // Focus in pane 1 shows its highlight.
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        (void)QTest::qWaitForWindowActive(&window);
        pane.grid->setFocus();
        return true;
    });
}
