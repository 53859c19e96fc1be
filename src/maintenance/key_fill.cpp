// Fills a string column with unique date-time keys.
#include "maintenance/command_frame.h"
#include "maintenance/maintenance.h"
#include "maintenance/pane_steps.h"
#include "maintenance/unique_keys.h"

#include "app/dialogs.h"
#include "app/engine/database.h"
#include "app/engine/session.h"
#include "app/engine/field.h"
#include "app/engine/table.h"
#include "browser/mainwindow.h"
#include "browser/pane.h"
#include "browser/pane_operations.h"

#include <QComboBox>
#include <QLineEdit>

namespace pelldrake::maintenance {

namespace {

constexpr int kKeyColumnSize = 20;

QString noColumnText()
{
    return QStringLiteral("Please select (String) field that is at least 20 char for fill value.");
}

QString tooShortText()
{
    return QStringLiteral("The field is not long enought to hold UNIQUE DataTime value as string (20 char).");
}

QString doneText()
{
    return QStringLiteral("Unique string key values have been loaded.");
}

// The column named in the field name box, when it can hold a key; otherwise
// the user is told why and the result is -1. A name that is no field of the
// table raises the engine's error.
int keyColumn(Pane &pane)
{
    const QString name = pane.fieldNameCombo->currentText();
    if (name.isEmpty()) {
        dialogs().showMessage(noColumnText());
        return -1;
    }
    const engine::Field *field = pane.table->fieldByName(name);
    const int type = field->dataType();
    const bool isString = type == engine::ftString || type == engine::ftFixedChar
        || type == engine::ftWideString;
    // A number column would take the digits as a number, and a memo has no
    // declared size: only a string column of at least 20 characters is taken.
    if (!isString || field->size() < kKeyColumnSize) {
        dialogs().showMessage(tooShortText());
        return -1;
    }
    return field->index();
}

// `NAME = ''`: the records whose value in the column is empty or null. The
// name is quoted, so that any column name reads as one name.
QString emptyValueFilter(const QString &fieldName)
{
    QString quoted = fieldName;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1String("\" = ''");
}

// The grid and navigator must not move the cursor under the loop either.
void lockForFill(CommandFrame &frame)
{
    frame.lockCommandControls();
    frame.lockPaneControls(false);
}

} // namespace

void fillEmptyWithUniqueKeys(TPelldrakeCDSForm &form, Pane &pane)
{
    runPaneCommand(form, pane, [&](CommandFrame &frame) {
        engine::Table &table = *pane.table;
        clearPaneFilter(pane);
        frame.suspendNotifications(false);

        const QString answer = dialogs().inputBox(QStringLiteral("Max Records"),
                                                  QStringLiteral("Maximum records to change"),
                                                  QStringLiteral("0"));
        bool ok = false;
        const int maximum = answer.trimmed().toInt(&ok);
        if (!ok) {
            dialogs().showMessage(QStringLiteral("Error occurred, please re-enter value."));
            return;
        }
        const int column = keyColumn(pane);
        if (column < 0)
            return;
        lockForFill(frame);

        table.setFilter(emptyValueFilter(table.field(column)->fieldName()));
        table.setFiltered(true);
        table.first();
        int filled = 0;
        frame.setProgress([&] { pane.currentRecord->setText(QString::number(filled)); });
        if (maximum > 0) {
            UniqueKeys keys;
            engine::TransactionBatch batch(*table.database());
            while (!table.eof() && filled < maximum) {
                frame.keepResponsive();
                if (table.field(column)->text().isEmpty()) {
                    ++filled;
                    const QString key = keys.next();
                    table.edit();
                    table.field(column)->setValue(key);
                    table.post();
                    batch.step();
                    // A filled record leaves the filtered view; the next one is current.
                } else {
                    table.next();
                }
            }
        }
        pane.currentRecord->setText(QString::number(filled));
        pane.currentRecord->repaint();

        setChooserText(pane.fieldNameCombo, QString());
        table.setFilter(QString());
        table.setFiltered(false);
        table.first();
        pane.recordCountEdit->setText(QString::number(table.recordCount()));
        pane.recordCountEdit->repaint();
        frame.unlock();
        dialogs().showMessage(doneText());
    });
}

void fillAllWithUniqueKeys(TPelldrakeCDSForm &form, Pane &pane)
{
    runPaneCommand(form, pane, [&](CommandFrame &frame) {
        engine::Table &table = *pane.table;
        clearPaneFilter(pane);
        const int column = keyColumn(pane);
        if (column < 0)
            return;
        frame.suspendNotifications(false);
        lockForFill(frame);

        UniqueKeys keys;
        table.first();
        {
            engine::TransactionBatch batch(*table.database());
            while (!table.eof()) {
                frame.keepResponsive();
                const QString key = keys.next();
                table.edit();
                table.field(column)->setValue(key);
                table.post();
                batch.step();
                table.next();
            }
        }
        setChooserText(pane.fieldNameCombo, QString());
        table.first();
        frame.unlock();
        dialogs().showMessage(doneText());
    });
}

} // namespace pelldrake::maintenance
