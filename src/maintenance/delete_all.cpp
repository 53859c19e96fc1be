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
        engine::Table &table = site.table();
        // The question names what will go: the table, and the records its filter shows.
        const qint64 toDelete = table.shownRecordCount();
        const bool yes = site.askYesNo(QStringLiteral("Delete All Records?\n") + deleteScopeText(table, toDelete),
                                       QStringLiteral("Delete"));
        qint64 deleted = 0;
        if (yes) {
            // The records to go are those the pane showed when the user said
            // Yes: no other table, filter or order may take their place meanwhile.
            frame.lockPaneControls();
            frame.suspendNotifications(true);
            frame.quietTable();
            frame.setProgress([&] { site.showRecordCounts(); });
            const qint64 before = table.shownRecordCount();
            frame.measure(CommandSite::ProgressUnit::Records, before, [&] { return deleted; });
            try {
                table.first(); // no open table: the engine's error
                // A batch of records goes per statement, ten batches per commit (a commit syncs
                // the disk, which per batch would cost more than the deleting); the counters
                // and the grid follow between batches.
                engine::TransactionBatch batch(*table.database(), 10);
                const qint64 total = table.recordCount();
                table.deleteAll([&] {
                    batch.step();
                    deleted = total - table.recordCount();
                    frame.keepResponsive();
                    return !frame.stopRequested();
                });
                batch.finish(); // the last commit decides whether the records are gone
                deleted = total - table.recordCount();
            } catch (...) {
                // What was committed before the error stays deleted, the rest is rolled back;
                // the table is read again, so that the counters and the grid say what is left.
                frame.unlock();
                settleAfterFailure(site);
                throw;
            }
            if (frame.stopRequested()) {
                frame.unlock();
                site.showRecordCounts();
                site.showMessage(stoppedText(deleted, before,
                                             QStringLiteral("Those records are deleted; the others are kept.")));
                return CommandResult::Stopped;
            }
        }
        frame.unlock();
        site.showRecordCounts();
        return yes ? CommandResult::Done : CommandResult::Declined;
    });
}

} // namespace pelldrake::maintenance
