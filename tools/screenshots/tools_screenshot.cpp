// Renders the field view over pane 1 and the query window with the rows of
// a SELECT, on the demo database, for the README.
// Usage: tools_screenshot <field-view.png> <query-window.png>  (run it with a throw-away HOME)
#include "screenshot_driver.h"

#include "shell/application.h"
#include "engine/alias_registry.h"
#include "engine/session.h"
#include "engine/table.h"
#include "shell/login_prompt.h"
#include "browser/execute_query_form.h"
#include "browser/mainwindow.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv)
{
    using namespace pelldrake;
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <field-view.png> <query-window.png>\n", argv[0]);
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
        window.show();
        if (QTest::qWaitForWindowExposed(&window) && test::openDemoTable(window.pane1(), QStringLiteral("customers"))) {
            window.pane1().table->moveBy(2);
            window.FieldView1Click();
            QTest::qWait(200);
            const bool fieldView = window.grab().save(QString::fromLocal8Bit(argv[1]));

            TExecuteQueryFrm query(window, &window);
            query.show();
            (void)QTest::qWaitForWindowExposed(&query);
            query.Memo1->setPlainText(QStringLiteral("SELECT id, name, city, country, created, credit_limit\nFROM customers\nWHERE city IN ('Berlin', 'Lyon')\nORDER BY name"));
            QTest::mouseClick(query.BitBtn2, Qt::LeftButton);
            QTest::qWait(200);
            const bool queryWindow = query.grab().save(QString::fromLocal8Bit(argv[2]));
            result = fieldView && queryWindow ? 0 : 1;
        }
    }
    session.setLoginPrompt(nullptr);
    return result;
}
