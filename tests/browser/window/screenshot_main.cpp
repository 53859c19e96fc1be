// Renders the main window on the demo alias into a PNG, for the README.
// Usage: window_screenshot <output.png>  (run it with a throw-away HOME)
#include "app/application.h"
#include "app/engine/alias_registry.h"
#include "app/engine/database.h"
#include "app/engine/session.h"
#include "app/engine/table.h"
#include "browser/dbgrid.h"
#include "browser/mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
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

    TPelldrakeCDSForm window(&session);
    const QString alias = engine::AliasRegistry::demoAliasName();
    for (Pane *pane : {&window.pane1(), &window.pane2()})
        pane->aliasCombo->addItems(session.aliasNames());

    // Pane 1 on the demo alias with its first table open.
    Pane &pane = window.pane1();
    pane.aliasCombo->setCurrentText(alias);
    pane.database->setDatabaseName(alias);
    pane.database->open();
    pane.tableList->addItems(session.tableNames(alias, QString(), false, false));
    if (pane.tableList->count() > 0) {
        pane.tableList->setCurrentRow(0);
        pane.table->setDatabaseName(alias);
        pane.table->setTableName(pane.tableList->item(0)->text());
        pane.table->open();
    }
    pane.recordCountEdit->setText(QString::number(pane.table->active() ? pane.table->recordCount() : 0));
    pane.fieldCountEdit->setText(QString::number(pane.table->active() ? pane.table->fieldCount() : 0));
    pane.currentRecord->setText(QString::number(pane.table->active() ? pane.table->recNo() : 0));

    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(200);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
