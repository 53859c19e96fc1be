// Writes the records a pane shows as tab-delimited text with a header line.
#include "maintenance/command_frame.h"
#include "maintenance/line_io.h"
#include "maintenance/maintenance.h"

#include "shell/dialogs.h"
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/row_scan.h"
#include "engine/table.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"

#include <QDir>
#include <QLineEdit>

namespace pelldrake::maintenance {

QString exportFilePath(const QString &tableName)
{
    // The table's name with its full stops: ORDERS.DB -> ORDERS.DB.txt. A path
    // separator in a name must not lead into another folder.
    QString name = tableName;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QDir::toNativeSeparators(QDir::current().filePath(name + QStringLiteral(".txt")));
}

void exportTabDelimited(TPelldrakeCDSForm &form, Pane &pane)
{
    runPaneCommand(form, pane, [&](CommandFrame &frame) {
        engine::Table &table = *pane.table;
        postPendingEdit(pane); // the file holds what the grid shows
        const QString path = exportFilePath(table.tableName());
        LineWriter out(path);
        if (!out.open()) {
            dialogs().showError(QStringLiteral("Cannot create the file %1: %2").arg(path, out.errorString()));
            return;
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
            out.write(table.field(i)->fieldName());
        }
        out.endLine();

        qint64 counter = 0;
        frame.setProgress([&] {
            pane.currentRecord->setText(QString::number(counter));
            pane.currentRecord->repaint();
        });
        while (scan.next()) {
            frame.keepResponsive();
            for (int i = 0; i < fields; ++i) {
                if (i > 0)
                    out.write('\t');
                if (!scan.isNull(i))
                    out.writeUtf8(scan.utf8(i));
            }
            out.endLine();
            ++counter;
        }
        frame.tick(); // the commit waits for the disk
        if (!out.commit())
            throw engine::EngineError(QStringLiteral("Cannot write the file %1: %2").arg(path, out.errorString()));
        pane.currentRecord->setText(QString::number(counter > 0 ? counter - 1 : 0));
        table.first();
        frame.unlock();
        dialogs().showMessage(QStringLiteral("Tab delimited file has been created."));
    });
}

} // namespace pelldrake::maintenance
