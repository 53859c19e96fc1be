// Appends the records of a table's dump file to the table.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/command_steps.h"
#include "maintenance/dump_format.h"
#include "maintenance/line_io.h"
#include "maintenance/maintenance.h"

#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/table.h"
#include "engine/table_appender.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <optional>
#include <vector>

namespace pelldrake::maintenance {

namespace {

// Field names upper-cased -> field index; the first field of a name wins.
QHash<QString, int> fieldsByName(engine::Table &table)
{
    QHash<QString, int> byName;
    for (int i = 0; i < table.fieldCount(); ++i) {
        const QString key = table.field(i)->fieldName().toUpper();
        if (!byName.contains(key))
            byName.insert(key, i);
    }
    return byName;
}

void assign(engine::TableAppender &record, const engine::Field &field, const DumpReader &reader)
{
    if (reader.isNull()) {
        record.clear(field.index());
    } else if (reader.value().isEmpty() && engine::isBinaryType(field.dataType())) {
        record.setValue(field.index(), QByteArray("")); // a value of no bytes, which is not null
    } else {
        record.setText(field.index(), reader.value());
    }
}

// Where each record of the file began, for the last few records: the engine may report a
// record's failure a little after it was added.
class RecordLines {
public:
    void added(qint64 line) { lines_[size_t(count_++ % kKept)] = line; }
    // The line of the failing record; nothing when the error names no record of those kept.
    std::optional<qint64> lineOf(qint64 record) const
    {
        if (record >= 0 && record < count_ && count_ - record <= kKept)
            return lines_[size_t(record % kKept)];
        return std::nullopt;
    }

private:
    static constexpr qint64 kKept = 4096;
    std::vector<qint64> lines_ = std::vector<qint64>(size_t(kKept));
    qint64 count_ = 0;
};

// Adds the record that began at `line`, when it set a field. `errorLine` is the line an error
// refers to: this record's, unless the record went in and the commit of its batch failed,
// which is no one record's error.
void addIfSet(engine::TableAppender &record, RecordLines &lines, qint64 line, std::optional<qint64> &errorLine)
{
    if (!record.hasValues())
        return;
    lines.added(line);
    errorLine = line;
    const qint64 before = record.added();
    try {
        record.add();
    } catch (...) {
        if (record.added() != before)
            errorLine.reset();
        throw;
    }
}

QString countText(qint64 n, const char *one, const char *many)
{
    return n == 1 ? QString::fromLatin1(one) : QString::fromLatin1(many).arg(n);
}

// The end of a load: how many records were stored, and what of the file was not.
QString loadReport(qint64 loaded, const DumpReader &reader, qint64 cutRecordLine)
{
    QString text = countText(loaded, "1 record loaded.", "%1 records loaded.");
    if (const qint64 skipped = reader.skippedLines(); skipped > 0) {
        text += QLatin1Char('\n')
            + countText(skipped, "1 line names no field of the table and was skipped",
                        "%1 lines name no field of the table and were skipped")
            + QStringLiteral(" (the first is line %1).").arg(reader.firstSkippedLine());
        if (reader.skippedCarriageReturn())
            text += QStringLiteral("\nThe file's lines seem to end in CR alone; a line must end in LF or CR LF.");
    }
    if (cutRecordLine > 0)
        text += QStringLiteral("\nThe last record (line %1) has no line end, so the file may be cut there: "
                               "it was not loaded.")
                    .arg(cutRecordLine);
    return text;
}

// A load that an error stopped: the engine's message, where in the file, and what of the file
// is in the table as read again (or that this is unknown).
QString loadFailure(const QString &reason, const QString &path, std::optional<qint64> line,
                    std::optional<qint64> stored)
{
    QString text = line ? QStringLiteral("%1\n(%2, line %3)").arg(reason, path, QString::number(*line))
                        : QStringLiteral("%1\n(%2)").arg(reason, path);
    if (stored)
        text += QLatin1Char('\n') + countText(*stored, "1 record of the file is in the table.",
                                              "%1 records of the file are in the table.");
    else
        text += QStringLiteral("\nThe table cannot be read again: how many records of the file it holds is unknown.");
    return text;
}

} // namespace

CommandResult tableLoad(CommandSite &site, const QString &givenPath)
{
    return runCommand(site, [&](CommandFrame &frame) {
        engine::Table &table = site.table();
        const QString alias = site.aliasName();
        if (alias.isEmpty()) {
            site.showMessage(QStringLiteral("Please select Alias."));
            return CommandResult::BadInput;
        }
        const QString tableName = site.selectedTableName();
        if (tableName.isEmpty()) {
            site.showMessage(QStringLiteral("Please select Table."));
            return CommandResult::BadInput;
        }
        clearFilter(site);
        frame.lockPaneControls();

        const QString path = givenPath.isEmpty() ? QDir::toNativeSeparators(dumpFilePath(alias, tableName)) : givenPath;
        LineReader in(path);
        if (!in.open()) {
            // A file that is there but cannot be read is not missing: the system says why.
            const bool exists = QFileInfo::exists(path);
            if (!exists)
                site.showMessage(QStringLiteral("No table dump file exist for selected table.\n") + path);
            site.showRecordCounts();
            if (exists)
                throw engine::EngineError(QStringLiteral("Cannot read the dump file %1: %2").arg(path, in.errorString()));
            return CommandResult::BadInput;
        }
        const qint64 before = table.recordCount();
        if (before > 0
            && !site.askYesNo(QStringLiteral("Table contains data. Append all records?"),
                              QStringLiteral("Contains Data")))
            return CommandResult::Declined;

        // The counters follow the growing table at the tick rate; the grid
        // catches up at the end (bringing it up to date costs a pass over its
        // rows, which per tick would make a long load quadratic).
        frame.suspendNotifications(false);
        frame.quietTable();
        frame.setProgress([&] { site.showRecordCounts(); });
        frame.measure(CommandSite::ProgressUnit::Bytes, in.size(), [&] { return in.bytesRead(); });
        const QHash<QString, int> byName = fieldsByName(table);
        QHash<QString, int> seen; // the names as the file spells them: one look-up each
        auto fieldOf = [&](const QString &name) {
            if (const auto known = seen.constFind(name); known != seen.constEnd())
                return known.value();
            const int field = byName.value(name.toUpper(), -1);
            if (seen.size() < 1000) // a damaged file's stray names are not all kept
                seen.insert(name, field);
            return field;
        };
        DumpReader reader(in);
        qint64 blockLine = 0; // where the record being built began
        std::optional<qint64> errorLine; // the line an error refers to, when it is one record's
        qint64 cutRecordLine = 0; // the last record, when the file ends inside it
        qint64 loaded = 0;
        qint64 stoppedAtLine = 0; // the line of the first record not loaded when the user stopped
        RecordLines recordLines;
        std::optional<engine::TableAppender> appender;
        try {
            engine::TableAppender &record = appender.emplace(table);
            record.setBetweenSteps([&] { frame.keepResponsive(); });
            for (DumpReader::Item item = reader.next(); item != DumpReader::Item::End; item = reader.next()) {
                frame.keepResponsive();
                if (item == DumpReader::Item::Record) {
                    addIfSet(record, recordLines, blockLine, errorLine);
                    if (frame.stopRequested()) {
                        stoppedAtLine = reader.lineNumber();
                        break;
                    }
                    blockLine = reader.lineNumber();
                    errorLine = blockLine;
                    record.begin();
                    continue;
                }
                errorLine = reader.lineNumber();
                if (const int field = fieldOf(reader.name()); field >= 0)
                    assign(record, *table.field(field), reader);
                else
                    reader.skip();
            }
            // A last block that set no field adds no record; one that the file ends in without
            // a line end may have lost the rest of its last value, and is not stored.
            if (stoppedAtLine > 0)
                ; // the record begun at the stop is not read
            else if (reader.endsUnended() && record.hasValues())
                cutRecordLine = blockLine;
            else
                addIfSet(record, recordLines, blockLine, errorLine);
            errorLine.reset(); // the last commit is no one record's
            loaded = record.added();
            record.finish();
        } catch (const engine::EngineError &e) {
            if (appender && appender->failedRecord() >= 0)
                errorLine = recordLines.lineOf(appender->failedRecord());
            appender.reset(); // commits the records before a failing one
            frame.unlock();
            const std::optional<qint64> count = settleAfterFailure(site);
            const std::optional<qint64> stored = count ? std::optional<qint64>(std::max<qint64>(0, *count - before))
                                                       : std::nullopt;
            throw engine::EngineError(loadFailure(e.message(), path, errorLine, stored));
        }
        appender.reset();
        if (in.failed())
            throw engine::EngineError(QStringLiteral("Cannot read %1: %2").arg(path, in.errorString()));
        frame.unlock();
        site.showRecordCounts();
        if (stoppedAtLine > 0) {
            site.showMessage(QStringLiteral("Stopped by the user: %1 loaded; the records from line %L2 of the file on "
                                            "were not loaded.")
                                 .arg(recordsText(loaded))
                                 .arg(stoppedAtLine));
            return CommandResult::Stopped;
        }
        site.showMessage(loadReport(loaded, reader, cutRecordLine));
        return CommandResult::Done;
    });
}

} // namespace pelldrake::maintenance
