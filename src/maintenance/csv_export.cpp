// Writes the records a table shows as CSV: see csv.h.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/csv.h"
#include "maintenance/csv_pg_export.h"
#include "maintenance/line_io.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/query_shape.h"
#include "engine/row_scan.h"
#include "engine/table.h"
#include "engine/table_internals.h"

#include <optional>
#include <vector>

namespace pelldrake::maintenance {

namespace {

// On PostgreSQL the server writes the CSV (COPY), when the table's statement needs no bound
// values (COPY takes none) and the delimiter goes into its options as it is.
std::optional<PgCopyOut> serverCopy(engine::Table &table, const CsvExportOptions &options)
{
    engine::Database *db = table.database();
    // COPY takes neither these delimiters nor a byte that is no character of its own.
    const char d = options.delimiter;
    if (options.tabFormat || !db || !db->isPostgres() || d == '\\' || d == '"' || d == '\r' || d == '\n'
        || static_cast<unsigned char>(d) >= 0x80 || d == 0 || !PgCopyOut::available(*db))
        return std::nullopt;
    QString sql;
    QVariantList binds;
    engine::TableInternals(table).scanStatement(sql, binds);
    if (!binds.isEmpty())
        return std::nullopt;
    // A table without a key is shown in its storage order.
    const engine::QueryShape &shape = engine::TableInternals(table).shape();
    const QString byRowAddress = QStringLiteral(" ORDER BY ") + engine::rowAddressOrder();
    const QString inStorageOrder = shape.orderBy == engine::rowAddressOrder() && shape.where.isEmpty() && sql.endsWith(byRowAddress)
        ? sql.chopped(byRowAddress.size())
        : QString();
    return std::optional<PgCopyOut>(std::in_place, *db, sql, options.delimiter, inStorageOrder);
}

} // namespace

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

        std::optional<PgCopyOut> serverRows = serverCopy(table, options);
        std::optional<engine::RowScan> scan;
        if (!serverRows)
            scan.emplace(table);
        const int fields = table.fieldCount();
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
            if (!site.reportProgress(counter, table.filtered() || options.windowless ? -1 : table.recordCount(),
                                     CommandSite::ProgressUnit::Records))
                stop = true;
            site.showCurrentRecord(counter);
        });
        if (serverRows) {
            std::vector<int> types;
            for (int i = 0; i < fields; ++i)
                types.push_back(table.field(i)->dataType());
            PgCsvRecoder recoder(writer, types, delimiter, options.quoting);
            QByteArrayView row;
            while (!stop && serverRows->next(row)) {
                frame.keepResponsive();
                if (!recoder.record(row))
                    throw engine::EngineError(QStringLiteral("Cannot read the records: the server's record %1 is not "
                                                             "what was asked for").arg(counter + 1));
                ++counter;
            }
            serverRows.reset(); // a stop cancels the rest
        }
        while (scan && !stop && scan->next()) {
            frame.keepResponsive();
            for (int i = 0; i < fields; ++i) {
                if (options.tabFormat) {
                    if (i > 0)
                        out.write('\t');
                    if (!scan->isNull(i))
                        writeTabValue(out, scan->utf8(i));
                } else if (scan->isNull(i)) {
                    writer.null();
                } else {
                    writer.field(scan->utf8(i), text[size_t(i)]);
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
        if (!options.windowless)
            table.first();
        frame.unlock();
        site.showMessage(QStringLiteral("%1 records written to %2.").arg(counter).arg(path));
        return CommandResult::Done;
    });
}

} // namespace pelldrake::maintenance
