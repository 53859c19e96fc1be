#include "maintenance/pane_steps.h"

#include "app/engine/table.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"

#include <QLineEdit>
#include <QListWidget>

namespace pelldrake::maintenance {

void clearPaneFilter(Pane &pane)
{
    setEditText(pane.filterValueEdit, QString());
    pane.table->setFilter(QString());
    pane.table->setFiltered(false);
}

QString selectedTableName(const Pane &pane)
{
    const QList<QListWidgetItem *> selected = pane.tableList->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

} // namespace pelldrake::maintenance
