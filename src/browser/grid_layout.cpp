#include "browser/grid_layout.h"

#include "shell/dialogs.h"
#include "engine/engine_error.h"
#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "browser/grid_layout_file.h"
#include "browser/mainwindow.h"
#include "browser/pane_operations.h"
#include "browser/text_lines_file.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>

namespace pelldrake {

namespace {

QString selectedTableName(const Pane &pane)
{
    const QListWidgetItem *item = pane.tableList->currentItem();
    return item ? item->text() : QString();
}

QString layoutFileOf(const Pane &pane)
{
    return gridLayoutFileName(QDir::currentPath(), selectedTableName(pane));
}

} // namespace

void saveGridLayout(Pane &pane)
{
    if (!pane.table->active() || !pane.tableList->currentItem())
        return;
    // The list still shows the open table: its selection changes only after
    // it has the focus.
    writeTextLines(layoutFileOf(pane), pane.grid->columnFieldNames());
}

void applyGridLayout(Pane &pane)
{
    if (!pane.tableList->currentItem())
        return;
    const std::optional<QStringList> lines = readTextLines(layoutFileOf(pane));
    if (!lines)
        return; // no layout yet: the engine's column order
    const QAbstractItemModel *model = pane.grid->model();
    QStringList names;
    for (int logical = 0; logical < model->columnCount(); ++logical)
        names << model->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
    applyLayoutToHeader(pane.grid->horizontalHeader(), names, *lines);
}

void defaultColumnOrder(TPelldrakeCDSForm &form, Pane &pane)
{
    if (!pane.tableList->currentItem())
        return;
    QFile::remove(layoutFileOf(pane));
    openSelectedTable(form, pane);
}

void saveTableLayout(Pane &pane)
{
    const QString table = selectedTableName(pane);
    // With no table selected there is no name to propose but the listing.
    const QString proposed = table.isEmpty() ? QStringLiteral("TableLayout.txt") : tableLayoutExportName(table);
    const QString chosen = dialogs().saveFileName(QDir::currentPath(), proposed,
                                                  QStringLiteral("Text files (*.txt);;All files (*)"));
    if (chosen.isEmpty())
        return;
    QStringList lines;
    for (int i = 0; i < pane.infoListing->count(); ++i)
        lines << pane.infoListing->item(i)->text();
    // The chosen file is replaced whole, or left as it was when it cannot be.
    QString reason;
    if (!writeTextLines(chosen, lines, &reason))
        throw engine::EngineError(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(chosen), reason));
}

} // namespace pelldrake
