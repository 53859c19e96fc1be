// Writes the records a table shows as tab-delimited text with a header line.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/csv_format.h"
#include "maintenance/line_io.h"
#include "maintenance/maintenance.h"

#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/row_scan.h"
#include "engine/table.h"

#include <QDir>

namespace pelldrake::maintenance {

QString exportFilePath(const QString &tableName)
{
    // The table's name with its full stops: ORDERS.DB -> ORDERS.DB.txt. A path
    // separator in a name must not lead into another folder.
    QString name = tableName;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QDir::toNativeSeparators(QDir::current().filePath(name + QStringLiteral(".txt")));
}

CommandResult exportTabDelimited(CommandSite &site, const QString &givenPath)
{
    return runCommand(site, [&](CommandFrame &frame) {
        engine::Table &table = site.table();
        site.postPendingEdit(); // the file holds what the grid shows
        const QString path = givenPath.isEmpty() ? exportFilePath(table.tableName()) : givenPath;
        LineWriter out(path);
        if (!out.open()) {
            site.showError(QStringLiteral("Cannot create the file %1: %2").arg(path, out.errorString()));
            return CommandResult::Failed;
        }
        frame.lockCommandControls();
        // The scan reads the table's filter and order but not its cursor; the
        // grid and navigator wait meanwhile.
        frame.lockPaneControls(false);

        engine::RowScan scan(table);
        const int fields = scan.fieldCount();
        for (int i = 0; i < fields; ++i) {
            if (i > 0)
                out.write('\t');
            writeTabValue(out, table.field(i)->fieldName().toUtf8());
        }
        out.endLine();

        qint64 counter = 0;
        frame.setProgress([&] { site.showCurrentRecord(counter); });
        const qint64 total = table.shownRecordCount();
        frame.measure(CommandSite::ProgressUnit::Records, total, [&] { return counter; });
        while (scan.next()) {
            frame.keepResponsive();
            if (frame.stopRequested()) {
                frame.unlock();
                site.showMessage(stoppedText(counter, total,
                                             QStringLiteral("The file was not written.")));
                return CommandResult::Stopped;
            }
            for (int i = 0; i < fields; ++i) {
                if (i > 0)
                    out.write('\t');
                if (!scan.isNull(i))
                    writeTabValue(out, scan.utf8(i)); // quoted only when it would break the line
            }
            out.endLine();
            ++counter;
        }
        frame.tick(); // the commit waits for the disk
        if (!out.commit())
            throw engine::EngineError(QStringLiteral("Cannot write the file %1: %2").arg(path, out.errorString()));
        site.showCurrentRecord(counter > 0 ? counter - 1 : 0);
        table.first();
        frame.unlock();
        site.showMessage(QStringLiteral("Tab delimited file has been created."));
        return CommandResult::Done;
    });
}

} // namespace pelldrake::maintenance
