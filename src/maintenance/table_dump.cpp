// Writes every record of a table to its dump file.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/command_steps.h"
#include "maintenance/dump_format.h"
#include "maintenance/line_io.h"
#include "maintenance/maintenance.h"

#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/row_scan.h"
#include "engine/table.h"

#include <QDir>
#include <QFileInfo>

namespace pelldrake::maintenance {

CommandResult tableDump(CommandSite &site, const QString &givenPath)
{
    return runCommand(site, [&](CommandFrame &frame) {
        engine::Table &table = site.table();
        if (givenPath.isEmpty())
            QDir().mkpath(dumpDirectory());
        if (table.recordCount() == 0) {
            site.showMessage(QStringLiteral("NO data to export."));
            return CommandResult::Declined;
        }
        frame.lockPaneControls();

        QString path = givenPath;
        if (path.isEmpty()) {
            QString tableName = site.selectedTableName();
            if (tableName.isEmpty())
                tableName = table.tableName();
            path = QDir::toNativeSeparators(dumpFilePath(site.aliasName(), tableName));
        }
        if (QFileInfo::exists(path) && !site.askYesNo(QStringLiteral("Overwrite file?"), QStringLiteral("Overwrite")))
            return CommandResult::Declined;
        // The dump always covers the whole table.
        clearFilter(site);

        LineWriter out(path);
        if (!out.open())
            throw engine::EngineError(QStringLiteral("Cannot create the dump file %1: %2").arg(path, out.errorString()));
        engine::RowScan scan(table);
        QStringList names;
        for (int i = 0; i < scan.fieldCount(); ++i)
            names << table.field(i)->fieldName();
        DumpWriter writer(out, names);
        const int fields = scan.fieldCount();
        qint64 written = 0;
        const qint64 total = table.recordCount();
        frame.measure(CommandSite::ProgressUnit::Records, total, [&] { return written; });
        while (scan.next()) {
            frame.keepResponsive();
            if (frame.stopRequested()) {
                // The file is not replaced: a dump is the whole table or nothing.
                frame.unlock();
                site.showMessage(stoppedText(written, total,
                                             QStringLiteral("The dump file was not written.")));
                return CommandResult::Stopped;
            }
            ++written;
            writer.beginRecord();
            for (int i = 0; i < fields; ++i) {
                if (scan.isNull(i))
                    writer.writeNull(i);
                else
                    writer.writeValue(i, scan.utf8(i));
            }
        }
        frame.tick(); // the commit waits for the disk
        if (!out.commit())
            throw engine::EngineError(QStringLiteral("Cannot write the dump file %1: %2").arg(path, out.errorString()));
        // The dump leaves the table at its last record.
        table.lastInSteps([&] { frame.keepResponsive(); });
        return CommandResult::Done;
    });
}

} // namespace pelldrake::maintenance
