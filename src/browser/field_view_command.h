#pragma once

namespace pelldrake {

struct Pane;
class TPelldrakeCDSForm;

// "Field View" from a pane grid's pop-up: the pane's field view, floated over
// the pane with a snapshot of the current record. Moving to another record
// leaves the snapshot as it is; choosing "Field View" again reloads it.
void showFieldView(TPelldrakeCDSForm &form, Pane &pane);

} // namespace pelldrake
