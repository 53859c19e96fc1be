#include "browser/maintenance_menu.h"

#include <QAction>

namespace pelldrake {

const QStringList &pane2MenuItems()
{
    static const QStringList names = {
        QStringLiteral("FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1"),
        QStringLiteral("FillALLfieldsforcolumnwithUniqueDateTime20charvalue2"),
        QStringLiteral("ExportTABDelimitedfieldswithHeaderRecord2"),
        QStringLiteral("TableDump2"),
        QStringLiteral("TableLoad2"),
        QStringLiteral("DeleteAllRecords2"),
        QStringLiteral("CompareData2"),
        QStringLiteral("Fieldsizeonly1"),
        QStringLiteral("FieldnameandFieldsize1"),
    };
    return names;
}

void enablePane2MenuItems(const QObject *menuOwner, bool pane2Shown)
{
    for (const QString &name : pane2MenuItems()) {
        if (auto *action = menuOwner->findChild<QAction *>(name))
            action->setEnabled(pane2Shown);
    }
}

} // namespace pelldrake
