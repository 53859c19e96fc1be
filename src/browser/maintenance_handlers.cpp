// The main window's maintenance menu handlers: one-line slots that run one
// implementation with pane 1 or pane 2.
#include "maintenance/maintenance.h"

#include "browser/mainwindow.h"

#include <QAction>

namespace pelldrake {

using namespace maintenance;

void TPelldrakeCDSForm::FillColumnwithUniqueDateTime20char1Click() { fillEmptyWithUniqueKeys(*this, pane1_); }
void TPelldrakeCDSForm::FillALLfieldsforcolumnwithUniqueDateTime20charvalue1Click() { fillAllWithUniqueKeys(*this, pane1_); }
void TPelldrakeCDSForm::ExportTABDelimitedfieldswithHeaderRecord1Click() { exportTabDelimited(*this, pane1_); }
void TPelldrakeCDSForm::TableDump1Click() { tableDump(*this, pane1_); }
void TPelldrakeCDSForm::TableLoad1Click() { tableLoad(*this, pane1_); }
void TPelldrakeCDSForm::LoadData1Click() { TableLoad1Click(); }
void TPelldrakeCDSForm::DeleteAllRecords1Click() { deleteAllRecords(*this, pane1_); }
void TPelldrakeCDSForm::EmptyTable1Click() { DeleteAllRecords1Click(); }

void TPelldrakeCDSForm::FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1Click() { fillEmptyWithUniqueKeys(*this, pane2_); }
void TPelldrakeCDSForm::FillALLfieldsforcolumnwithUniqueDateTime20charvalue2Click() { fillAllWithUniqueKeys(*this, pane2_); }
void TPelldrakeCDSForm::ExportTABDelimitedfieldswithHeaderRecord2Click() { exportTabDelimited(*this, pane2_); }
void TPelldrakeCDSForm::TableDump2Click() { tableDump(*this, pane2_); }
void TPelldrakeCDSForm::TableLoad2Click() { tableLoad(*this, pane2_); }
void TPelldrakeCDSForm::DeleteAllRecords2Click() { deleteAllRecords(*this, pane2_); }

void TPelldrakeCDSForm::wireMaintenanceCommands()
{
    using Slot = void (TPelldrakeCDSForm::*)();
    const std::pair<const char *, Slot> commands[] = {
        {"FillColumnwithUniqueDateTime20char1", &TPelldrakeCDSForm::FillColumnwithUniqueDateTime20char1Click},
        {"FillALLfieldsforcolumnwithUniqueDateTime20charvalue1",
         &TPelldrakeCDSForm::FillALLfieldsforcolumnwithUniqueDateTime20charvalue1Click},
        {"ExportTABDelimitedfieldswithHeaderRecord1", &TPelldrakeCDSForm::ExportTABDelimitedfieldswithHeaderRecord1Click},
        {"TableDump1", &TPelldrakeCDSForm::TableDump1Click},
        {"TableLoad1", &TPelldrakeCDSForm::TableLoad1Click},
        {"DeleteAllRecords1", &TPelldrakeCDSForm::DeleteAllRecords1Click},
        {"LoadData1", &TPelldrakeCDSForm::LoadData1Click},
        {"EmptyTable1", &TPelldrakeCDSForm::EmptyTable1Click},
        {"FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1",
         &TPelldrakeCDSForm::FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1Click},
        {"FillALLfieldsforcolumnwithUniqueDateTime20charvalue2",
         &TPelldrakeCDSForm::FillALLfieldsforcolumnwithUniqueDateTime20charvalue2Click},
        {"ExportTABDelimitedfieldswithHeaderRecord2", &TPelldrakeCDSForm::ExportTABDelimitedfieldswithHeaderRecord2Click},
        {"TableDump2", &TPelldrakeCDSForm::TableDump2Click},
        {"TableLoad2", &TPelldrakeCDSForm::TableLoad2Click},
        {"DeleteAllRecords2", &TPelldrakeCDSForm::DeleteAllRecords2Click},
    };
    for (const auto &[name, slot] : commands) {
        if (QAction *entry = action(QString::fromLatin1(name))) {
            entry->setEnabled(true);
            connect(entry, &QAction::triggered, this, slot);
        }
    }
}

} // namespace pelldrake
