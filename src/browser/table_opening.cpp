#include "browser/pane_operations.h"

#include "shell/dialogs.h"
#include "engine/data_source.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/field.h"
#include "engine/table.h"
#include "widgets/dbmemo.h"
#include "browser/grid_layout.h"
#include "browser/mainwindow.h"
#include "browser/table_info_listing.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTimer>

namespace pelldrake {

void displayRecCount(TPelldrakeCDSForm &form)
{
    for (Pane *pane : {&form.pane1(), &form.pane2()}) {
        if (!pane->table->active())
            continue;
        pane->recordCountEdit->setText(QString::number(pane->table->recordCount()));
        pane->recordCountEdit->repaint();
        pane->fieldCountEdit->setText(QString::number(pane->table->fieldCount()));
    }
}

namespace {

// Selects the open table's entry again, without running the list's operations.
void reselectOpenTable(Pane &pane)
{
    const QList<QListWidgetItem *> found = pane.tableList->findItems(pane.table->tableName(), Qt::MatchExactly);
    const QSignalBlocker block(pane.tableList);
    if (!found.isEmpty())
        pane.tableList->setCurrentItem(found.first());
}

} // namespace

void openSelectedTable(TPelldrakeCDSForm &form, Pane &pane)
{
    engine::Table &table = *pane.table;

    // The record being edited is posted before anything changes. When it
    // cannot be, the pane stays as it is, its list on the table still open.
    if (table.active()) {
        try {
            postPendingEdit(pane);
        } catch (...) {
            reselectOpenTable(pane);
            throw;
        }
    }

    setChooserText(pane.fieldNameCombo, QString());
    setEditText(pane.filterValueEdit, QString()); // removes the filter
    unbindMemo(pane);

    if (table.active())
        table.close();
    table.setIndexName(QString());
    setChooserText(pane.indexComboBox, QString());
    // A new table always starts unfiltered, even when the filter value was
    // empty already and so ran nothing above.
    table.setFiltered(false);
    table.setFilter(QString());

    ensureConnected(pane); // also when the server has dropped the connection

    form.disableControls(pane);
    QListWidgetItem *selected = pane.tableList->currentItem();
    const QString tableName = selected ? selected->text() : QString();
    table.setDatabaseName(pane.aliasCombo->currentText());
    table.setTableName(tableName);
    try {
        table.open();
    } catch (const std::exception &e) {
        table.close();
        // The known text first; the engine's reason tells what really failed.
        QString message = QStringLiteral("Error opening table. Is the Use Extension box checked?");
        if (const QString reason = QString::fromUtf8(e.what()).trimmed(); !reason.isEmpty())
            message += QLatin1Char('\n') + reason;
        dialogs().showMessage(message);
        form.enableControls(pane);
        return;
    }

    // From here on the controls are unlocked whatever happens.
    struct Unlock {
        TPelldrakeCDSForm &form;
        Pane &pane;
        ~Unlock() { form.enableControls(pane); }
    } unlock{form, pane};

    QStringList indexNames;
    for (const engine::IndexDef &idx : table.indexDefs())
        indexNames << idx.name;
    setChooserItems(pane.indexComboBox, indexNames);

    // The listing and the counters need the record count. A big table is
    // counted once its first rows show, from the event loop; until then the
    // listing is empty and the counters keep their text.
    pane.infoListing->clear();
    const QString aliasText = pane.aliasCombo->currentText();
    auto describe = [&form, &pane, aliasText, tableName] {
        engine::Table &t = *pane.table;
        if (!t.active() || t.tableName() != tableName || pane.infoListing->count() > 0)
            return;
        pane.infoListing->addItems(tableInfoLines(*pane.database, aliasText, tableName, t));
        // The list lays itself out later and would keep the old scroll position.
        pane.infoListing->scrollToTop();
        displayRecCount(form);
    };
    if (table.rowCountKnown())
        describe();
    else
        QTimer::singleShot(0, pane.infoListing, [describe] { runHandler(describe); });

    bool hasMemo = false;
    QStringList fieldNames;
    for (int i = 0; i < table.fieldCount(); ++i) {
        const engine::Field *f = table.field(i);
        hasMemo = hasMemo || f->dataType() == engine::ftMemo;
        fieldNames << f->fieldName();
    }
    // The splitter shows or hides the memo's handle with the memo group, so
    // one handle always separates the grid from the listing.
    form.setMemoShown(pane, hasMemo);

    setChooserItems(pane.fieldNameCombo, fieldNames);

    applyGridLayout(pane);
}

} // namespace pelldrake
