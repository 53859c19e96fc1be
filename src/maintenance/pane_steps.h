#pragma once

#include <QString>

namespace pelldrake {
struct Pane;
}

namespace pelldrake::maintenance {

// Steps several commands share.

// Clears the pane's filter: the filter value box emptied (its change operation
// runs), the table's filter text emptied and filtering switched off.
void clearPaneFilter(Pane &pane);
// The selected entry of the pane's table list; empty when none is selected.
QString selectedTableName(const Pane &pane);

} // namespace pelldrake::maintenance
