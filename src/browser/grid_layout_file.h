#pragma once

#include <QString>
#include <QStringList>

class QHeaderView;

namespace pelldrake {

// Grid layout files: one line per grid column, the column's field name, in
// the grid's left-to-right order. Kept per table name in the current
// directory, so both panes and tables of one name under different aliases
// share a layout.

// <directory>/<table name with "." and path separators as "_">.grd
QString gridLayoutFileName(const QString &directory, const QString &tableName);

// The name proposed for the table layout export: orders.db gives
// orders_db_TableLayout.txt.
QString tableLayoutExportName(const QString &tableName);

// The column order a layout gives. Each line moves the first column of that
// exact name to the line's position; a line naming no column (a field the
// table no longer has, an empty line) still uses up its position. Reading
// stops once every position has been given out.
QStringList layoutColumnOrder(const QStringList &columns, const QStringList &layoutLines);

// Moves the header's sections into the order a layout gives; `names` are the
// field names of the logical sections.
void applyLayoutToHeader(QHeaderView *header, const QStringList &names, const QStringList &layoutLines);

} // namespace pelldrake
