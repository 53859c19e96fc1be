#include "screenshot_driver.h"

#include "shell/application.h"
#include "engine/alias_registry.h"
#include "engine/session.h"
#include "engine/table.h"
#include "shell/login_prompt.h"
#include "browser/mainwindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QListWidget>
#include <QPixmap>
#include <QTest>

#include <cstdio>

namespace pelldrake::test {

int runWindowScreenshot(int argc, char **argv, QSize size,
                        const std::function<bool(TPelldrakeCDSForm &)> &arrange)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    Application app(argc, argv);
    engine::Session &session = engine::Session::defaultSession();
    session.aliases().ensureDefaults();
    DialogsLoginPrompt prompt;
    session.setLoginPrompt(&prompt);

    int result = 1;
    {
        TPelldrakeCDSForm window(&session);
        if (size.isValid())
            window.resize(size);
        window.show();
        if (QTest::qWaitForWindowExposed(&window) && arrange(window)) {
            QTest::qWait(200);
            if (window.grab().save(QString::fromLocal8Bit(argv[1])))
                result = 0;
            else
                std::fprintf(stderr, "cannot write %s\n", argv[1]);
        }
    }
    session.setLoginPrompt(nullptr);
    return result;
}

bool openDemoTable(Pane &pane, const QString &preferredTable)
{
    QComboBox *alias = pane.aliasCombo;
    const int demo = alias->findText(engine::AliasRegistry::demoAliasName());
    if (demo < 0) {
        std::fprintf(stderr, "the demo alias is not listed\n");
        return false;
    }
    alias->showPopup();
    QAbstractItemView *view = alias->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(alias->model()->index(demo, 0)).center());

    const QList<QListWidgetItem *> found = preferredTable.isEmpty()
                                               ? QList<QListWidgetItem *>()
                                               : pane.tableList->findItems(preferredTable, Qt::MatchExactly);
    QListWidgetItem *item = found.isEmpty() ? pane.tableList->item(0) : found.first();
    if (!item) {
        std::fprintf(stderr, "the demo alias lists no tables\n");
        return false;
    }
    QTest::mouseClick(pane.tableList->viewport(), Qt::LeftButton, {}, pane.tableList->visualItemRect(item).center());
    if (!pane.table->active()) {
        std::fprintf(stderr, "the table did not open\n");
        return false;
    }
    return true;
}

} // namespace pelldrake::test
