#include "browser/pane_operations.h"

#include "engine/data_source.h"
#include "engine/field.h"
#include "engine/table.h"
#include "widgets/dbmemo.h"
#include "browser/filter_expression.h"
#include "browser/mainwindow.h"

#include <QComboBox>
#include <QLineEdit>

namespace pelldrake {

void applyFilter(Pane &pane)
{
    engine::Table &table = *pane.table;
    const QString field = pane.fieldNameCombo->currentText();
    const QString value = pane.filterValueEdit->text();
    if (!table.active() || field.isEmpty() || value.isEmpty()) {
        // Switching off first spares re-reading the rows for an empty filter text.
        table.setFiltered(false);
        table.setFilter(QString());
        return;
    }
    table.setFilter(prefixFilterText(field, value)); // re-filters at once when filtering is on
    if (!table.filtered())
        table.setFiltered(true);
}

void fieldNameChosen(Pane &pane)
{
    setEditText(pane.filterValueEdit, QString());
    if (!pane.fieldNameCombo->currentText().isEmpty())
        pane.filterValueEdit->setFocus();
}

void chooseIndex(Pane &pane)
{
    try {
        pane.table->setIndexName(pane.indexComboBox->currentText());
    } catch (...) {
        // The table keeps its order; the chooser says which one that is.
        setChooserText(pane.indexComboBox, pane.table->indexName());
        throw;
    }
}

void bindMemoToField(Pane &pane, const QString &fieldName)
{
    engine::Table &table = *pane.table;
    if (!table.active())
        return;
    for (int i = 0; i < table.fieldCount(); ++i) {
        const engine::Field *f = table.field(i);
        if (f->fieldName() == fieldName && f->dataType() == engine::ftMemo)
            pane.memo->setDataField(f->fieldName());
    }
}

void unbindMemo(Pane &pane)
{
    pane.memo->setDataField(QString());
}

void showCurrentRecord(Pane &pane)
{
    pane.currentRecord->setText(QString::number(pane.table->recNo()));
}

} // namespace pelldrake
