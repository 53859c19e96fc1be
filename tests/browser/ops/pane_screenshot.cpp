// Renders a pane with an open table of the demo database (grid, memo and
// information listing) into a PNG, through the same clicks a user makes.
// Usage: pane_screenshot <output.png>  (run it with a throw-away HOME)
#include "app/application.h"
#include "app/engine/alias_registry.h"
#include "app/engine/data_source.h"
#include "app/engine/field.h"
#include "app/engine/session.h"
#include "app/engine/table.h"
#include "app/engine/table_model.h"
#include "app/login_prompt.h"
#include "browser/dbgrid.h"
#include "browser/mainwindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QListWidget>
#include <QPixmap>
#include <QTest>
#include <algorithm>
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

    TPelldrakeCDSForm window(&session);
    window.resize(900, 900);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    Pane &pane = window.pane1();
    QComboBox *alias = pane.aliasCombo;
    alias->showPopup();
    QAbstractItemView *view = alias->view();
    const QModelIndex entry = alias->model()->index(alias->findText(engine::AliasRegistry::demoAliasName()), 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(entry).center());

    const QList<QListWidgetItem *> tables = pane.tableList->findItems(QStringLiteral("customers"), Qt::MatchExactly);
    QListWidgetItem *item = tables.isEmpty() ? pane.tableList->item(0) : tables.first();
    if (!item) {
        std::fprintf(stderr, "the demo alias lists no tables\n");
        return 1;
    }
    QTest::mouseClick(pane.tableList->viewport(), Qt::LeftButton, {}, pane.tableList->visualItemRect(item).center());
    if (!pane.table->active()) {
        std::fprintf(stderr, "the table did not open\n");
        return 1;
    }
    // Pane 1 alone, so that grid, memo and listing all have room.
    window.HideAlias21Click();
    QApplication::processEvents();
    // Enough grid rows to see the data, and room for the listing's table and index lines.
    window.setGridHeight(pane, 260);
    QApplication::processEvents();
    // Show a memo: click the first memo cell that holds text.
    if (QAbstractItemModel *model = pane.grid->model()) {
        bool clicked = false;
        for (int column = 0; column < model->columnCount() && !clicked; ++column) {
            const int field = pane.grid->tableModel()->fieldIndexForColumn(column);
            if (pane.table->field(field)->dataType() != engine::ftMemo)
                continue;
            for (int row = 0; row < std::min(20, model->rowCount()) && !clicked; ++row) {
                if (pane.table->textAt(row, field).isEmpty())
                    continue;
                const QModelIndex cell = model->index(row, column);
                pane.grid->scrollTo(cell);
                QTest::mouseClick(pane.grid->viewport(), Qt::LeftButton, {}, pane.grid->visualRect(cell).center());
                clicked = true;
            }
        }
    }
    QTest::qWait(200);
    const bool saved = window.grab().save(QString::fromLocal8Bit(argv[1]));
    session.setLoginPrompt(nullptr);
    if (!saved) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
