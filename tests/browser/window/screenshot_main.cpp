// Renders the main window on the demo alias into a PNG, for the README.
// Usage: window_screenshot <output.png>  (run it with a throw-away HOME)
#include "app/application.h"
#include "app/engine/alias_registry.h"
#include "app/engine/session.h"
#include "app/engine/table.h"
#include "app/login_prompt.h"
#include "browser/dbgrid.h"
#include "browser/mainwindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QListWidget>
#include <QPixmap>
#include <QTest>
#include <cstdio>

int main(int argc, char **argv)
{
    using namespace pelldrake;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    Application app(argc, argv);
    engine::Session &session = engine::Session::defaultSession();
    session.aliases().ensureDefaults();

    DialogsLoginPrompt prompt;
    session.setLoginPrompt(&prompt);

    // The window fills its alias choosers itself; choose the demo alias in
    // pane 1 and click its first table, as a user does.
    TPelldrakeCDSForm window(&session);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    Pane &pane = window.pane1();
    QComboBox *alias = pane.aliasCombo;
    const int demo = alias->findText(engine::AliasRegistry::demoAliasName());
    if (demo < 0) {
        std::fprintf(stderr, "the demo alias is not listed\n");
        return 1;
    }
    alias->showPopup();
    QAbstractItemView *view = alias->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(alias->model()->index(demo, 0)).center());
    if (QListWidgetItem *first = pane.tableList->item(0))
        QTest::mouseClick(pane.tableList->viewport(), Qt::LeftButton, {},
                          pane.tableList->visualItemRect(first).center());
    // Focus in pane 1 shows its highlight.
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    (void)QTest::qWaitForWindowActive(&window);
    pane.grid->setFocus();

    QTest::qWait(200);
    const bool saved = window.grab().save(QString::fromLocal8Bit(argv[1]));
    session.setLoginPrompt(nullptr);
    if (!saved) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
