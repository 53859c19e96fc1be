#pragma once

#include <QStringList>

class QObject;

namespace pelldrake {

// The Maintenance menu entries that need pane 2: its six commands and the
// three comparison entries, by component name.
const QStringList &pane2MenuItems();

// Enables the pane-2 entries found among the owner's children when pane 2 is
// shown, disables them when it is hidden. Runs each time "Alias #2", "Table
// Data" or "Table Structure" opens; nothing else changes.
void enablePane2MenuItems(const QObject *menuOwner, bool pane2Shown);

} // namespace pelldrake
