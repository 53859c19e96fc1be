#include "browser/pane_operations.h"

#include "shell/application.h"
#include "shell/dialogs.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "browser/mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

namespace pelldrake {

void runHandler(const std::function<void()> &body)
{
    try {
        body();
    } catch (...) {
        Application::showException(std::current_exception());
    }
}

Pane &otherPane(TPelldrakeCDSForm &form, Pane &pane)
{
    return pane.number == 1 ? form.pane2() : form.pane1();
}

void setChooserText(QComboBox *combo, const QString &text)
{
    const QSignalBlocker block(combo);
    // The current entry follows the text, so that the chooser does not later
    // "activate" a stale entry when its edit box loses the focus.
    const int index = text.isEmpty() ? -1 : combo->findText(text, Qt::MatchExactly);
    combo->setCurrentIndex(index);
    if (combo->isEditable() && combo->currentText() != text)
        combo->setEditText(text);
}

void setChooserItems(QComboBox *combo, const QStringList &items)
{
    const QSignalBlocker block(combo);
    const QString text = combo->currentText();
    combo->clear();
    combo->addItems(items);
    // Adding the first entry would select it; the chooser keeps the text it had.
    combo->setCurrentIndex(-1);
    if (combo->isEditable())
        combo->setEditText(text);
}

void setEditText(QLineEdit *edit, const QString &text)
{
    edit->setText(text); // textChanged runs the box's change operation
}

void postPendingEdit(Pane &pane)
{
    pane.grid->finishEditing(true); // what is typed in a cell belongs to the record
    engine::Table &table = *pane.table;
    if (table.active() && table.state() != engine::TableState::Browse && table.modified())
        table.post();
}

void ensureConnected(Pane &pane)
{
    // A server connection that was lost (the server restarted, or ended the
    // session) is made again at the pane's next action, as if it had never
    // been made: nothing of the old session can be used, and the alias and
    // its login still hold. The user need not choose the alias again.
    if (pane.database->connected()) {
        if (pane.database->serverAlive())
            return;
        pane.database->close();
    }
    pane.database->setLoginPrompt(pane.passwordRequired->isChecked());
    try {
        pane.database->open();
        return;
    } catch (const std::exception &) {
        // Any failure of the quiet attempt leads to a second one that may ask for a login.
    }
    pane.database->setLoginPrompt(true);
    pane.database->open();
}

void connectAlias(TPelldrakeCDSForm &form, Pane &pane)
{
    const QString alias = pane.aliasCombo->currentText();
    if (alias.isEmpty())
        return;
    // Two connections of one session on one alias would share credentials and
    // table state in confusing ways; a pane refuses the other pane's alias.
    if (alias == otherPane(form, pane).aliasCombo->currentText()) {
        dialogs().showMessage(QStringLiteral("Duplicate alias."));
        pane.tableList->clear();
        return;
    }

    try {
        postPendingEdit(pane);
    } catch (...) {
        // The pane stays on its alias, with the record still there to fix.
        setChooserText(pane.aliasCombo, pane.database->databaseName());
        throw;
    }
    pane.table->close();
    pane.table->setIndexName(QString());
    setChooserText(pane.indexComboBox, QString());

    pane.database->close();
    pane.database->setDatabaseName(alias);
    ensureConnected(pane); // a failure of the second attempt ends the operation

    QStringList names;
    try {
        names = form.session().tableNames(alias, QString(), pane.useExtensions->isChecked(), false);
    } catch (const std::exception &) {
        pane.tableList->clear();
        dialogs().showMessage(QStringLiteral("Unable to connect to alias."));
        return;
    }
    pane.tableList->clear();
    pane.tableList->addItems(names);
}

void resetPane(Pane &pane)
{
    setChooserText(pane.aliasCombo, QString());
    pane.tableList->clear();
    setChooserText(pane.fieldNameCombo, QString());
    setEditText(pane.filterValueEdit, QString());
    pane.aliasCombo->setEnabled(true);
    postPendingEdit(pane);
    pane.table->close();
}

} // namespace pelldrake
