// Not a test: runs the maintenance commands on the demo database through the
// menus, with the real dialogs, and saves what a user sees into the folder
// given as argv[1]: the Alias #1 menu, each dialog as it comes up (answered
// Yes / OK, "3" for the input box), and the window in the middle of a long
// Delete All Records. Run it with a throw-away HOME and working
// directory.
#include "screenshot_driver.h"

#include "shell/application.h"
#include "engine/alias_registry.h"
#include "engine/session.h"
#include "engine/table.h"
#include "shell/login_prompt.h"
#include "browser/mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace pelldrake;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output-folder>\n", argv[0]);
        return 2;
    }
    Application app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    engine::Session &session = engine::Session::defaultSession();
    session.aliases().ensureDefaults();
    DialogsLoginPrompt prompt;
    session.setLoginPrompt(&prompt);

    int shots = 0;
    auto save = [&](QWidget *w, const QString &name) {
        if (w && w->grab().save(out.filePath(name)))
            ++shots;
        else
            std::fprintf(stderr, "cannot save %s\n", qPrintable(name));
    };

    // Each dialog is photographed, then answered.
    int dialogNo = 0;
    QTimer answer;
    answer.setInterval(30);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        QTest::qWait(50);
        save(modal, QStringLiteral("dialog-%1.png").arg(++dialogNo));
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            QAbstractButton *yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
        } else if (auto *input = qobject_cast<QInputDialog *>(modal)) {
            input->setTextValue(QStringLiteral("3"));
            input->accept();
        }
    });
    answer.start();

    {
        TPelldrakeCDSForm window;
        window.resize(900, 700);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        if (!test::openDemoTable(window.pane1(), QStringLiteral("customers")))
            return 1;

        QMenu *alias1 = window.menu(QStringLiteral("Alias11"));
        alias1->popup(window.mapToGlobal(QPoint(100, 40)));
        QTest::qWait(100);
        save(alias1, QStringLiteral("menu-alias1.png"));
        alias1->hide();

        auto run = [&](const char *entry) {
            window.action(QString::fromLatin1(entry))->trigger();
            QTest::qWait(100);
        };
        run("TableDump1");
        run("TableDump1"); // "Overwrite file?"
        run("ExportTABDelimitedfieldswithHeaderRecord1");
        window.pane1().fieldNameCombo->setCurrentText(QStringLiteral("phone"));
        run("FillColumnwithUniqueDateTime20char1"); // too short: the message
        // The orders table in the same pane.
        Pane &pane = window.pane1();
        pane.tableList->setCurrentItem(pane.tableList->findItems(QStringLiteral("orders"), Qt::MatchExactly).value(0));
        window.ListBox1Click();
        run("TableLoad1"); // no dump of orders yet: the message with the path

        // Half-way through deleting 12,000 orders: the pane locked, the counters following.
        QTimer::singleShot(150, [&] { save(&window, QStringLiteral("delete-all-running.png")); });
        QTimer::singleShot(170, [&] { window.close(); }); // refused: the message
        run("DeleteAllRecords1");
        QTest::qWait(200);
        save(&window, QStringLiteral("after.png"));
    }
    session.setLoginPrompt(nullptr);
    std::printf("%d pictures in %s\n", shots, qPrintable(out.path()));
    return 0;
}
