// Writes every record of a pane's table to its dump file.
#include "maintenance/command_frame.h"
#include "maintenance/dump_format.h"
#include "maintenance/line_io.h"
#include "maintenance/maintenance.h"
#include "maintenance/pane_steps.h"

#include "shell/dialogs.h"
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/row_scan.h"
#include "engine/table.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>

namespace pelldrake::maintenance {

void tableDump(TPelldrakeCDSForm &form, Pane &pane)
{
    runPaneCommand(form, pane, [&](CommandFrame &frame) {
        engine::Table &table = *pane.table;
        QDir().mkpath(dumpDirectory());
        if (table.recordCount() == 0) {
            dialogs().showMessage(QStringLiteral("NO data to export."));
            return;
        }
        frame.lockPaneControls();

        QString tableName = selectedTableName(pane);
        if (tableName.isEmpty())
            tableName = table.tableName();
        const QString path = QDir::toNativeSeparators(dumpFilePath(pane.aliasCombo->currentText(), tableName));
        if (QFileInfo::exists(path)
            && !dialogs().askYesNo(QStringLiteral("Overwrite file?"), QStringLiteral("Overwrite")))
            return;
        // The dump always covers the whole table.
        clearPaneFilter(pane);

        LineWriter out(path);
        if (!out.open())
            throw engine::EngineError(QStringLiteral("Cannot create the dump file %1: %2").arg(path, out.errorString()));
        engine::RowScan scan(table);
        QStringList names;
        for (int i = 0; i < scan.fieldCount(); ++i)
            names << table.field(i)->fieldName();
        DumpWriter writer(out, names);
        const int fields = scan.fieldCount();
        while (scan.next()) {
            frame.keepResponsive();
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
    });
}

} // namespace pelldrake::maintenance
