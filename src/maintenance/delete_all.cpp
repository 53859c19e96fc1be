// Deletes every record the site's table shows.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/command_steps.h"
#include "maintenance/maintenance.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"

namespace pelldrake::maintenance {

CommandResult deleteAllRecords(CommandSite &site)
{
    return runCommand(site, [&](CommandFrame &frame) {
        const bool yes = site.askYesNo(QStringLiteral("Delete All Records?"), QStringLiteral("Delete"));
        if (yes) {
            engine::Table &table = site.table();
            // The records to go are those the pane showed when the user said
            // Yes: no other table, filter or order may take their place meanwhile.
            frame.lockPaneControls();
            frame.suspendNotifications(true);
            frame.quietTable();
            frame.setProgress([&] { site.showRecordCounts(); });
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
                settleAfterFailure(site);
                throw;
            }
        }
        frame.unlock();
        site.showRecordCounts();
        return yes ? CommandResult::Done : CommandResult::Declined;
    });
}

} // namespace pelldrake::maintenance
