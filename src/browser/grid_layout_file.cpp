#include "browser/grid_layout_file.h"

#include <QDir>
#include <QHeaderView>

namespace pelldrake {

QString gridLayoutFileName(const QString &directory, const QString &tableName)
{
    // Only the table name is rewritten: the layout lives in the current
    // directory itself, whatever dots its path has (~/.local/share/...).
    QString base = tableName;
    base.replace(QLatin1Char('.'), QLatin1Char('_'))
        .replace(QLatin1Char('/'), QLatin1Char('_'))
        .replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QDir(directory).filePath(base + QStringLiteral(".grd"));
}

QString tableLayoutExportName(const QString &tableName)
{
    QString base = tableName;
    base.replace(QLatin1Char('.'), QLatin1Char('_'));
    return base + QStringLiteral("_TableLayout.txt");
}

QStringList layoutColumnOrder(const QStringList &columns, const QStringList &layoutLines)
{
    QStringList order = columns;
    int target = 0;
    for (const QString &line : layoutLines) {
        if (target >= order.size())
            break;
        if (!line.isEmpty()) {
            const qsizetype from = order.indexOf(line); // exact, case-sensitive
            if (from >= 0)
                order.move(from, target);
        }
        ++target;
    }
    return order;
}

void applyLayoutToHeader(QHeaderView *header, const QStringList &names, const QStringList &layoutLines)
{
    QStringList current;
    for (int visual = 0; visual < header->count(); ++visual)
        current << names.value(header->logicalIndex(visual));
    const QStringList wanted = layoutColumnOrder(current, layoutLines);
    for (int target = 0; target < wanted.size(); ++target) {
        if (current.at(target) == wanted.at(target))
            continue;
        const qsizetype from = current.indexOf(wanted.at(target), target);
        header->moveSection(int(from), target);
        current.move(from, target);
    }
}

} // namespace pelldrake
