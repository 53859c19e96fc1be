#pragma once

namespace pelldrake {

struct Pane;
class TPelldrakeCDSForm;

// The grid layout operations of a pane (files: grid_layout_file.h).

// Writes the column order of the pane's open table to its layout file; does
// nothing when no table is open. A file that cannot be written is skipped.
void saveGridLayout(Pane &pane);
// Puts the grid's columns into the order of the selected table's layout file,
// when there is one: the last step of opening a table.
void applyGridLayout(Pane &pane);
// "Default Column Order": deletes the selected table's layout file and opens
// the table again in the engine's column order.
void defaultColumnOrder(TPelldrakeCDSForm &form, Pane &pane);
// "Save" on the information listing: writes the listing's lines to a file
// the user chooses in the save dialog.
void saveTableLayout(Pane &pane);

} // namespace pelldrake
