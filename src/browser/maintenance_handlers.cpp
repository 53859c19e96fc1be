// The main window's maintenance commands: each entry of maintenanceEntries()
// runs its command on its pane through a PaneCommandSite. The named slots are
// the entries' handlers, one line each.
#include "browser/compare_window.h"
#include "browser/maintenance_menu.h"
#include "browser/mainwindow.h"
#include "browser/pane_command_site.h"

#include "maintenance/maintenance.h"

namespace pelldrake {

void TPelldrakeCDSForm::FillColumnwithUniqueDateTime20char1Click() { runMaintenanceEntry("FillColumnwithUniqueDateTime20char1"); }
void TPelldrakeCDSForm::FillALLfieldsforcolumnwithUniqueDateTime20charvalue1Click() { runMaintenanceEntry("FillALLfieldsforcolumnwithUniqueDateTime20charvalue1"); }
void TPelldrakeCDSForm::ExportTABDelimitedfieldswithHeaderRecord1Click() { runMaintenanceEntry("ExportTABDelimitedfieldswithHeaderRecord1"); }
void TPelldrakeCDSForm::TableDump1Click() { runMaintenanceEntry("TableDump1"); }
void TPelldrakeCDSForm::TableLoad1Click() { runMaintenanceEntry("TableLoad1"); }
void TPelldrakeCDSForm::TableLoadFromFile1Click() { runMaintenanceEntry("TableLoadFromFile1"); }
void TPelldrakeCDSForm::LoadData1Click() { runMaintenanceEntry("LoadData1"); }
void TPelldrakeCDSForm::DeleteAllRecords1Click() { runMaintenanceEntry("DeleteAllRecords1"); }
void TPelldrakeCDSForm::EmptyTable1Click() { runMaintenanceEntry("EmptyTable1"); }

void TPelldrakeCDSForm::FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1Click() { runMaintenanceEntry("FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1"); }
void TPelldrakeCDSForm::FillALLfieldsforcolumnwithUniqueDateTime20charvalue2Click() { runMaintenanceEntry("FillALLfieldsforcolumnwithUniqueDateTime20charvalue2"); }
void TPelldrakeCDSForm::ExportTABDelimitedfieldswithHeaderRecord2Click() { runMaintenanceEntry("ExportTABDelimitedfieldswithHeaderRecord2"); }
void TPelldrakeCDSForm::TableDump2Click() { runMaintenanceEntry("TableDump2"); }
void TPelldrakeCDSForm::TableLoad2Click() { runMaintenanceEntry("TableLoad2"); }
void TPelldrakeCDSForm::TableLoadFromFile2Click() { runMaintenanceEntry("TableLoadFromFile2"); }
void TPelldrakeCDSForm::DeleteAllRecords2Click() { runMaintenanceEntry("DeleteAllRecords2"); }

// Pane 1's and pane 2's open tables, compared in a window of the result's own.
void TPelldrakeCDSForm::CompareData2Click() { compareOpenTables(this, pane1_.table, pane2_.table, CompareKind::Data); }
void TPelldrakeCDSForm::Fieldsizeonly1Click() { compareOpenTables(this, pane1_.table, pane2_.table, CompareKind::FieldSize); }
void TPelldrakeCDSForm::FieldnameandFieldsize1Click() { compareOpenTables(this, pane1_.table, pane2_.table, CompareKind::NamesAndSizes); }
void TPelldrakeCDSForm::CSVExport1Click() { runMaintenanceEntry("CSVExport1"); }
void TPelldrakeCDSForm::CSVImport1Click() { runMaintenanceEntry("CSVImport1"); }
void TPelldrakeCDSForm::CSVExport2Click() { runMaintenanceEntry("CSVExport2"); }
void TPelldrakeCDSForm::CSVImport2Click() { runMaintenanceEntry("CSVImport2"); }

void TPelldrakeCDSForm::runMaintenanceEntry(const char *name)
{
    if (const MaintenanceEntry *e = maintenanceEntry(name))
        runMaintenanceCommand(*e);
}

void TPelldrakeCDSForm::runMaintenanceCommand(const MaintenanceEntry &entry)
{
    // The command shows the user how it ended; the window has nothing to add.
    PaneCommandSite site(*this, entry.pane == 1 ? pane1_ : pane2_);
    entry.command(site);
}

} // namespace pelldrake
