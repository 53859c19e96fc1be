// Appends the records of a table's dump file to the table.
#include "maintenance/command_frame.h"
#include "maintenance/dump_format.h"
#include "maintenance/line_io.h"
#include "maintenance/maintenance.h"
#include "maintenance/pane_steps.h"

#include "app/dialogs.h"
#include "app/engine/database.h"
#include "app/engine/session.h"
#include "app/engine/engine_error.h"
#include "app/engine/field.h"
#include "app/engine/table.h"
#include "app/engine/table_appender.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"

#include <QComboBox>
#include <QDir>
#include <QHash>

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
    // The line of the failing record, or `fallback` when the error names none.
    qint64 lineOf(qint64 record, qint64 fallback) const
    {
        return record >= 0 && record < count_ && count_ - record <= kKept ? lines_[size_t(record % kKept)] : fallback;
    }

private:
    static constexpr qint64 kKept = 4096;
    std::vector<qint64> lines_ = std::vector<qint64>(size_t(kKept));
    qint64 count_ = 0;
};

void addIfSet(engine::TableAppender &record, RecordLines &lines, qint64 line)
{
    if (!record.hasValues())
        return;
    lines.added(line);
    record.add();
}

} // namespace

void tableLoad(TPelldrakeCDSForm &form, Pane &pane)
{
    runPaneCommand(form, pane, [&](CommandFrame &frame) {
        engine::Table &table = *pane.table;
        const QString alias = pane.aliasCombo->currentText();
        if (alias.isEmpty()) {
            dialogs().showMessage(QStringLiteral("Please select Alias."));
            return;
        }
        const QString tableName = selectedTableName(pane);
        if (tableName.isEmpty()) {
            dialogs().showMessage(QStringLiteral("Please select Table."));
            return;
        }
        clearPaneFilter(pane);
        frame.lockPaneControls();

        const QString path = QDir::toNativeSeparators(dumpFilePath(alias, tableName));
        LineReader in(path);
        if (!in.open()) {
            dialogs().showMessage(QStringLiteral("No table dump file exist for selected table.\n") + path);
            displayRecCount(form);
            return;
        }
        if (table.recordCount() > 0
            && !dialogs().askYesNo(QStringLiteral("Table contains data. Append all records?"),
                                   QStringLiteral("Contains Data")))
            return;

        // The counters follow the growing table at the tick rate; the grid
        // catches up at the end (bringing it up to date costs a pass over its
        // rows, which per tick would make a long load quadratic).
        frame.suspendNotifications(false);
        frame.quietTable();
        frame.setProgress([&] { displayRecCount(form); });
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
        qint64 errorLine = 0; // what an error refers to
        RecordLines recordLines;
        std::optional<engine::TableAppender> appender;
        try {
            // The appender commits and brings the table up to date when it goes, on an error too,
            // so the records before a failing one stay and the counters show them.
            engine::TableAppender &record = appender.emplace(table);
            record.setBetweenSteps([&] { frame.keepResponsive(); });
            for (DumpReader::Item item = reader.next(); item != DumpReader::Item::End; item = reader.next()) {
                frame.keepResponsive();
                if (item == DumpReader::Item::Record) {
                    errorLine = blockLine;
                    addIfSet(record, recordLines, blockLine);
                    blockLine = errorLine = reader.lineNumber();
                    record.begin();
                    continue;
                }
                errorLine = reader.lineNumber();
                if (const int field = fieldOf(reader.name()); field >= 0)
                    assign(record, *table.field(field), reader);
            }
            // A last block that set no field adds no record.
            errorLine = blockLine;
            addIfSet(record, recordLines, blockLine);
            record.finish();
        } catch (const engine::EngineError &e) {
            errorLine = recordLines.lineOf(appender ? appender->failedRecord() : -1, errorLine);
            appender.reset();
            frame.unlock();
            displayRecCount(form);
            // The engine's message, and where in the file the load stopped.
            throw engine::EngineError(QStringLiteral("%1\n(%2, line %3)").arg(e.message(), path, QString::number(errorLine)));
        }
        appender.reset();
        if (in.failed())
            throw engine::EngineError(QStringLiteral("Cannot read %1: %2").arg(path, in.errorString()));
        frame.unlock();
        displayRecCount(form);
    });
}

} // namespace pelldrake::maintenance
