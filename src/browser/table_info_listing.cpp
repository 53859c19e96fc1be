#include "browser/table_info_listing.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/field.h"
#include "engine/table.h"

namespace pelldrake {
namespace {

QString flag(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

} // namespace

QStringList tableInfoLines(const engine::Database &database, const QString &aliasText,
                           const QString &tableName, engine::Table &table)
{
    QStringList lines;
    lines << QStringLiteral("Database") << database.databaseName() << database.driverName();
    lines << database.params();
    lines << QStringLiteral("ReadOnly=") + flag(database.readOnly());
    lines << QString();
    lines << QStringLiteral("Alias=") + aliasText;
    lines << QStringLiteral("TableName=") + tableName;
    lines << QStringLiteral("  RecordCount=") + QString::number(table.recordCount());
    lines << QStringLiteral("  CanModify Table=") + flag(table.canModify());
    lines << QString();

    const QList<engine::IndexDef> indexes = table.indexDefs();
    lines << (indexes.isEmpty() ? QStringLiteral("  NO Indexes") : QStringLiteral("  Indexes"));
    for (const engine::IndexDef &idx : indexes)
        lines << QStringLiteral("    ") + idx.name + QLatin1Char('[') + idx.fields + QLatin1Char(']');

    const int count = table.fieldCount();
    for (int i = 0; i < count; ++i) {
        const engine::Field *f = table.field(i);
        const int type = f->dataType();
        lines << QString();
        lines << (f->required() ? QStringLiteral("*FieldName=") : QStringLiteral("FieldName=")) + f->fieldName();
        lines << QStringLiteral("  FieldNo=") + QString::number(f->fieldNo());
        lines << QStringLiteral("  DataType=") + (type >= 0 && type <= 37 ? engine::fieldTypeName(type) : QString());
        lines << QStringLiteral("  CanModify Field=") + flag(f->canModify());
        lines << QStringLiteral("  DataSize=") + QString::number(f->dataSize());
        lines << QStringLiteral("  FieldKind=") + engine::fieldKindName(f->fieldKind());
        lines << QStringLiteral("  HasConstraints=") + flag(f->hasConstraints());
        lines << QStringLiteral("  ImportedConstraint=") + f->importedConstraint();
        lines << QStringLiteral("  IsIndexField=") + flag(f->isIndexField());
        lines << QStringLiteral("  ReadOnly=") + flag(f->readOnly());
        lines << QStringLiteral("  Required=") + flag(f->required());
        lines << QStringLiteral("  Calculated=") + flag(f->calculated());
        lines << QStringLiteral("  Size=") + QString::number(f->size());
    }
    return lines;
}

} // namespace pelldrake
