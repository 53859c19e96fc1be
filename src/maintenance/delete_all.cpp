// Deletes every record the pane's table shows.
#include "maintenance/command_frame.h"
#include "maintenance/maintenance.h"
#include "maintenance/pane_steps.h"

#include "shell/dialogs.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"

namespace pelldrake::maintenance {

void deleteAllRecords(TPelldrakeCDSForm &form, Pane &pane)
{
    runPaneCommand(form, pane, [&](CommandFrame &frame) {
        if (dialogs().askYesNo(QStringLiteral("Delete All Records?"), QStringLiteral("Delete"))) {
            engine::Table &table = *pane.table;
            // The records to go are those the pane showed when the user said
            // Yes: no other table, filter or order may take their place meanwhile.
            frame.lockPaneControls();
            frame.suspendNotifications(true);
            frame.quietTable();
            frame.setProgress([&] { displayRecCount(form); });
            try {
                table.first(); // no open table: the engine's error
                // A batch of records goes per statement, ten batches per commit (a commit syncs
                // the disk, which per batch would cost more than the deleting); the counters
                // and the grid follow between batches.
                engine::TransactionBatch batch(*table.database(), 10);
                table.deleteAll([&] {
                    batch.step();
                    frame.keepResponsive();
                });
                batch.finish(); // the last commit decides whether the records are gone
            } catch (...) {
                // What was committed before the error stays deleted, the rest is rolled back;
                // the table is read again, so that the counters and the grid say what is left.
                frame.unlock();
                settleAfterFailure(form, pane);
                throw;
            }
        }
        frame.unlock();
        displayRecCount(form);
    });
}

} // namespace pelldrake::maintenance
