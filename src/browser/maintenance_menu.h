#pragma once

#include <QStringList>

#include <span>

class QObject;

namespace pelldrake::maintenance {
class CommandSite;
enum class CommandResult;
} // namespace pelldrake::maintenance

namespace pelldrake {

// The menus that hold maintenance commands.
enum class MaintenanceMenu {
    Alias1,         // Maintenance > Alias #1
    Alias2,         // Maintenance > Alias #2
    TableListPopup, // the pop-up menu of pane 1's table list
};

// One entry that runs a maintenance command: where it is shown and under which
// caption, its component name and its handler's name (users' files, scripts
// and tests find it by them; the handler is the main window's slot of that
// name), and the command it runs on which pane.
struct MaintenanceEntry {
    MaintenanceMenu menu;
    const char *name;
    const char *handler;
    const char *caption;
    int pane; // 1 or 2
    maintenance::CommandResult (*command)(maintenance::CommandSite &);
};

// Every maintenance entry, each menu's in its order.
std::span<const MaintenanceEntry> maintenanceEntries();
// The entry of that component name; nullptr when there is none.
const MaintenanceEntry *maintenanceEntry(const char *name);

// The Maintenance menu entries that need pane 2: its commands and the three
// comparison entries, by component name.
const QStringList &pane2MenuItems();

// Enables the pane-2 entries found among the owner's children when pane 2 is
// shown, disables them when it is hidden. Runs each time "Alias #2", "Table
// Data" or "Table Structure" opens; nothing else changes.
void enablePane2MenuItems(const QObject *menuOwner, bool pane2Shown);

} // namespace pelldrake
