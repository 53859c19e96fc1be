// Opens a database file the way a newcomer does, with the real dialogs: (1) the File menu,
// (2) Open Database File..., (3) the file chosen and Open. Renders the chooser and the window.
// Usage: open_file_screenshot <window.png> <chooser.png> <database file> [<aliases.png>]
// (a throw-away HOME); the last renders Manage Aliases on the file's new alias.
#include "screenshot_driver.h"

#include "browser/alias_manager_dialog.h"
#include "browser/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    using namespace pelldrake;
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <window.png> <chooser.png> <database file>\n", argv[0]);
        return 2;
    }
    const QString chooserShot = QString::fromLocal8Bit(argv[2]);
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath();
    const QString aliasesShot = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    return test::runWindowScreenshot(2, argv, QSize(1100, 760), [&](TPelldrakeCDSForm &window) {
        // Action 1: the File menu; action 2: its entry.
        QMenu *fileMenu = window.menu(QStringLiteral("File1"));
        QAction *entry = window.action(QStringLiteral("OpenDatabaseFile1"));
        if (!fileMenu || !entry || fileMenu->actions().value(0) != entry) {
            std::fprintf(stderr, "File > Open Database File... is not the first entry\n");
            return false;
        }
        bool chosen = false;
        // Action 3: the file chosen in the chooser, which is modal while it runs.
        QTimer::singleShot(300, &window, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->resize(760, 480);
            dialog->setDirectory(QFileInfo(file).absolutePath());
            QTest::qWait(300); // the folder is listed in the background; a selection waits for it
            // The user types the file's name and clicks Open.
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
            if (!name || !buttons) {
                std::fprintf(stderr, "the chooser has no file name box or Open button\n");
                dialog->reject();
                return;
            }
            QTest::keyClicks(name, QFileInfo(file).fileName());
            QTest::qWait(200);
            dialog->grab().save(chooserShot);
            chosen = true;
            buttons->button(QDialogButtonBox::Open)->click();
        });
        entry->trigger();
        if (!chosen || window.pane1().tableList->count() == 0)
            return false;
        if (!aliasesShot.isEmpty()) {
            AliasManagerDialog aliases(window.session(), &window);
            aliases.selectAlias(window.pane1().aliasCombo->currentText());
            aliases.show();
            QTest::qWait(200);
            aliases.grab().save(aliasesShot);
        }
        return true;
    });
}
