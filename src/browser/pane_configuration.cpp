#include "browser/pane_operations.h"

#include "shell/dialogs.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"
#include "browser/mainwindow.h"
#include "browser/pane_config_file.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>

namespace pelldrake {


QString paneConfigFileName(const Pane &pane)
{
    return pane.number == 1 ? QStringLiteral("Pelldrake.cfg") : QStringLiteral("Pelldrake2.cfg");
}

void replayPaneConfig(TPelldrakeCDSForm &form, Pane &pane, const QString &path)
{
    PaneConfigReader reader(path);
    if (!reader.isOpen())
        return;
    const QString aliasKey = pane.name("AliasCombo", "AliasCombo2");
    const QString typeKey = pane.name("TypeComboBox", "TypeComboBox2");
    const QString extensionsKey = pane.name("useExtensions", "useExtensions2");
    const QString passwordKey = pane.name("PasswordRequired", "PasswordRequired2");
    const QString fieldKey = pane.name("FieldNameCombo", "FieldNameCombo2");
    const QString listKey = pane.name("ListBox1", "ListBox2");

    PaneConfigEntry entry;
    for (;;) {
        QCoreApplication::processEvents();
        if (!reader.next(entry))
            break;
        // Each line runs as its own handler: an alias that is gone or a login
        // the user cancels shows its error, and the remaining lines still replay.
        if (entry.key == aliasKey) {
            setChooserText(pane.aliasCombo, entry.value);
            runHandler([&] { connectAlias(form, pane); });
        } else if (entry.key == typeKey) {
            setChooserText(pane.typeComboBox, entry.value);
        } else if (entry.key == extensionsKey) {
            pane.useExtensions->setChecked(true); // a state change runs the box's click operation
        } else if (entry.key == passwordKey) {
            pane.passwordRequired->setChecked(true);
        } else if (entry.key == fieldKey) {
            setChooserText(pane.fieldNameCombo, entry.value);
        } else if (entry.key == listKey) {
            const QList<QListWidgetItem *> found = pane.tableList->findItems(entry.value, Qt::MatchExactly);
            // findItems keeps list order, so the first entry of that name is chosen.
            if (!found.isEmpty()) {
                pane.tableList->setCurrentItem(found.first());
                runHandler([&] { openSelectedTable(form, pane); });
            }
        }
    }
}

bool writePaneConfigFile(const Pane &pane, const QString &path, FileWriteFailure *failure)
{
    QList<PaneConfigEntry> entries;
    entries.append({pane.name("AliasCombo", "AliasCombo2"), pane.aliasCombo->currentText()});
    if (pane.useExtensions->isChecked())
        entries.append({pane.name("useExtensions", "useExtensions2"), QStringLiteral("true")});
    if (pane.passwordRequired->isChecked())
        entries.append({pane.name("PasswordRequired", "PasswordRequired2"), QStringLiteral("true")});
    if (QListWidgetItem *item = pane.tableList->currentItem(); item && item->isSelected())
        entries.append({pane.name("ListBox1", "ListBox2"), item->text()});
    entries.append({pane.name("FieldNameCombo", "FieldNameCombo2"), pane.fieldNameCombo->currentText()});
    entries.append({pane.name("TypeComboBox", "TypeComboBox2"), pane.typeComboBox->currentText()});
    return writePaneConfig(path, entries, failure);
}

void formCreate(TPelldrakeCDSForm &form)
{
    form.setStartDirectory(QDir::currentPath());
    form.pane1().memoGroup->hide();

    QStringList aliases;
    runHandler([&] { aliases = form.session().aliasNames(); });
    for (Pane *pane : {&form.pane1(), &form.pane2()})
        setChooserItems(pane->aliasCombo, aliases);

    const QDir start(form.startDirectory());
    for (Pane *pane : {&form.pane1(), &form.pane2()})
        replayPaneConfig(form, *pane, start.filePath(paneConfigFileName(*pane)));
}

void formClose(TPelldrakeCDSForm &form)
{
    for (Pane *pane : {&form.pane1(), &form.pane2()}) {
        // Closing must never stop the configuration from being written.
        runHandler([&] { postPendingEdit(*pane); }); // a failed post is shown, then the window closes
        runHandler([&] {
            if (pane->table->active())
                pane->table->close();
        });
        runHandler([&] { pane->database->close(); });
        runHandler([&] { form.session().forgetAllPasswords(); });
        QString path = paneConfigFileName(*pane);
        if (!form.startDirectory().isEmpty()) {
            QDir::setCurrent(form.startDirectory());
            path = QDir(form.startDirectory()).filePath(path);
        }
        // A file that cannot be created is skipped; one that fails part-way
        // (a full disk) keeps its earlier content, and the user hears why.
        FileWriteFailure failure;
        if (!writePaneConfigFile(*pane, path, &failure) && failure.opened)
            dialogs().showError(QStringLiteral("Cannot write %1: %2")
                                    .arg(QDir::toNativeSeparators(path), failure.reason));
    }
}

} // namespace pelldrake
