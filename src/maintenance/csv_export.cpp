// Writes the records a table shows as CSV: see csv.h.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/csv.h"
#include "maintenance/line_io.h"

#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/row_scan.h"
#include "engine/table.h"

#include <vector>

namespace pelldrake::maintenance {

CommandResult exportCsv(CommandSite &site, const QString &path, const CsvExportOptions &options)
{
    return runCommand(site, [&](CommandFrame &frame) {
        engine::Table &table = site.table();
        site.postPendingEdit(); // the file holds what the grid shows
        LineWriter out(path);
        if (!out.open()) {
            site.showError(QStringLiteral("Cannot create the file %1: %2").arg(path, out.errorString()));
            return CommandResult::BadInput;
        }
        frame.lockCommandControls();
        frame.lockPaneControls(false); // the scan reads the table's filter and order, not its cursor

        engine::RowScan scan(table);
        const int fields = scan.fieldCount();
        const char delimiter = options.tabFormat ? '\t' : options.delimiter;
        CsvWriter writer(out, delimiter, options.quoting, options.crlf);
        std::vector<bool> text(static_cast<size_t>(fields));
        for (int i = 0; i < fields; ++i)
            text[size_t(i)] = engine::isTextType(table.field(i)->dataType());
        if (options.byteOrderMark)
            writer.byteOrderMark();
        if (options.header) {
            for (int i = 0; i < fields; ++i) {
                const QByteArray name = table.field(i)->fieldName().toUtf8();
                if (options.tabFormat) {
                    if (i > 0)
                        out.write('\t');
                    writeTabValue(out, name);
                } else {
                    writer.field(name, true);
                }
            }
            writer.endRecord();
        }

        qint64 counter = 0;
        bool stop = false;
        frame.setProgress([&] {
            // The records of a filtered view are not known ahead; the table's count is.
            if (!site.reportProgress(counter, table.filtered() ? -1 : table.recordCount(),
                                     CommandSite::ProgressUnit::Records))
                stop = true;
            site.showCurrentRecord(counter);
        });
        while (!stop && scan.next()) {
            frame.keepResponsive();
            for (int i = 0; i < fields; ++i) {
                if (options.tabFormat) {
                    if (i > 0)
                        out.write('\t');
                    if (!scan.isNull(i))
                        writeTabValue(out, scan.utf8(i));
                } else if (scan.isNull(i)) {
                    writer.null();
                } else {
                    writer.field(scan.utf8(i), text[size_t(i)]);
                }
            }
            writer.endRecord();
            ++counter;
        }
        if (stop) { // nothing replaces the earlier file: a half export is no export
            frame.unlock();
            site.showMessage(QStringLiteral("Export stopped at your request after %1 records; no file was written.").arg(counter));
            return CommandResult::Declined;
        }
        frame.tick(); // the commit waits for the disk
        if (!out.commit())
            throw engine::EngineError(QStringLiteral("Cannot write the file %1: %2").arg(path, out.errorString()));
        site.showCurrentRecord(counter > 0 ? counter - 1 : 0);
        table.first();
        frame.unlock();
        site.showMessage(QStringLiteral("%1 records written to %2.").arg(counter).arg(path));
        return CommandResult::Done;
    });
}

} // namespace pelldrake::maintenance
