#include "browser/maintenance_menu.h"

#include "browser/csv_dialogs.h"
#include "maintenance/command_site.h"
#include "maintenance/maintenance.h"
#include "shell/dialogs.h"

#include <QAction>
#include <QDir>

#include <cstring>

namespace pelldrake {

namespace {

using namespace maintenance;

// The commands as entries run them: on the file the menu command uses.
CommandResult dump(CommandSite &site) { return tableDump(site); }
CommandResult load(CommandSite &site) { return tableLoad(site); }
CommandResult exportTab(CommandSite &site) { return exportTabDelimited(site); }

// Table Load on a file the user chooses. Without an alias or table there is nothing to load
// into: the load itself says so, before any file is asked for.
CommandResult loadFromFile(CommandSite &site)
{
    if (site.aliasName().isEmpty() || site.selectedTableName().isEmpty())
        return tableLoad(site);
    const QDir dumps(QDir::current().filePath(QStringLiteral("Table_Dump")));
    const QString path = dialogs().openFileName(QStringLiteral("Table Load from File"),
                                                 dumps.exists() ? dumps.path() : QDir::currentPath(),
                                                 QStringLiteral("Table dumps (*.txt);;All files (*)"));
    if (path.isEmpty())
        return CommandResult::Declined;
    return tableLoad(site, QDir::toNativeSeparators(path));
}

constexpr const char *kFillEmpty = "Fill empty fields for column with Unique DateTime (20) char value";
constexpr const char *kFillAll = "Fill ALL fields for column with Unique DateTime (20) char value";
constexpr const char *kExportTab = "Export TAB Delimited fields with Header Record";
constexpr const char *kDump = "Table Dump";
constexpr const char *kLoad = "Table Load";
constexpr const char *kDeleteAll = "Delete All Records";
constexpr const char *kCsvExport = "CSV Export...";
constexpr const char *kCsvImport = "CSV Import...";
constexpr const char *kLoadFromFile = "Table Load from File...";

using enum MaintenanceMenu;
constexpr MaintenanceEntry kEntries[] = {
    {Alias1, "FillColumnwithUniqueDateTime20char1", "FillColumnwithUniqueDateTime20char1Click", kFillEmpty, 1,
     fillEmptyWithUniqueKeys},
    {Alias1, "FillALLfieldsforcolumnwithUniqueDateTime20charvalue1",
     "FillALLfieldsforcolumnwithUniqueDateTime20charvalue1Click", kFillAll, 1, fillAllWithUniqueKeys},
    {Alias1, "ExportTABDelimitedfieldswithHeaderRecord1", "ExportTABDelimitedfieldswithHeaderRecord1Click",
     kExportTab, 1, exportTab},
    {Alias1, "CSVExport1", "CSVExport1Click", kCsvExport, 1, csvExportEntry},
    {Alias1, "CSVImport1", "CSVImport1Click", kCsvImport, 1, csvImportEntry},
    {Alias1, "TableDump1", "TableDump1Click", kDump, 1, dump},
    {Alias1, "TableLoad1", "TableLoad1Click", kLoad, 1, load},
    {Alias1, "TableLoadFromFile1", "TableLoadFromFile1Click", kLoadFromFile, 1, loadFromFile},
    {Alias1, "DeleteAllRecords1", "DeleteAllRecords1Click", kDeleteAll, 1, deleteAllRecords},

    {Alias2, "FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1",
     "FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1Click", kFillEmpty, 2, fillEmptyWithUniqueKeys},
    {Alias2, "FillALLfieldsforcolumnwithUniqueDateTime20charvalue2",
     "FillALLfieldsforcolumnwithUniqueDateTime20charvalue2Click", kFillAll, 2, fillAllWithUniqueKeys},
    {Alias2, "ExportTABDelimitedfieldswithHeaderRecord2", "ExportTABDelimitedfieldswithHeaderRecord2Click",
     kExportTab, 2, exportTab},
    {Alias2, "CSVExport2", "CSVExport2Click", kCsvExport, 2, csvExportEntry},
    {Alias2, "CSVImport2", "CSVImport2Click", kCsvImport, 2, csvImportEntry},
    {Alias2, "TableDump2", "TableDump2Click", kDump, 2, dump},
    {Alias2, "TableLoad2", "TableLoad2Click", kLoad, 2, load},
    {Alias2, "TableLoadFromFile2", "TableLoadFromFile2Click", kLoadFromFile, 2, loadFromFile},
    {Alias2, "DeleteAllRecords2", "DeleteAllRecords2Click", kDeleteAll, 2, deleteAllRecords},

    {TableListPopup, "EmptyTable1", "EmptyTable1Click", kDeleteAll, 1, deleteAllRecords},
    {TableListPopup, "LoadData1", "LoadData1Click", kLoad, 1, load},
};

} // namespace

std::span<const MaintenanceEntry> maintenanceEntries()
{
    return kEntries;
}

const MaintenanceEntry *maintenanceEntry(const char *name)
{
    for (const MaintenanceEntry &e : kEntries)
        if (std::strcmp(e.name, name) == 0)
            return &e;
    return nullptr;
}

const QStringList &pane2MenuItems()
{
    static const QStringList names = {
        QStringLiteral("FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1"),
        QStringLiteral("FillALLfieldsforcolumnwithUniqueDateTime20charvalue2"),
        QStringLiteral("ExportTABDelimitedfieldswithHeaderRecord2"),
        QStringLiteral("TableDump2"),
        QStringLiteral("TableLoad2"),
        QStringLiteral("TableLoadFromFile2"),
        QStringLiteral("DeleteAllRecords2"),
        QStringLiteral("CompareData2"),
        QStringLiteral("Fieldsizeonly1"),
        QStringLiteral("FieldnameandFieldsize1"),
        QStringLiteral("CSVExport2"),
        QStringLiteral("CSVImport2"),
    };
    return names;
}

void enablePane2MenuItems(const QObject *menuOwner, bool pane2Shown)
{
    for (const QString &name : pane2MenuItems()) {
        if (auto *action = menuOwner->findChild<QAction *>(name))
            action->setEnabled(pane2Shown);
    }
}

} // namespace pelldrake
