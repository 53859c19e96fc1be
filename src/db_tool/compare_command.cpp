#include "db_tool/compare_command.h"

#include "compare/comparison.h"
#include "compare/sync_script.h"
#include "db_tool/console_site.h"
#include "db_tool/source.h"
#include "db_tool/tool_error.h"
#include "engine/engine_error.h"
#include "engine/table.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextStream>

#include <unistd.h>

namespace pelldrake::db::tool {

namespace {

using compare::DiffRow;
using compare::Kind;
using compare::Value;

enum CompareExit { Equal = 0, Different = 1, Error = 2 };

QString valueText(const Value &v)
{
    const QString t = QString::fromStdString(compare::displayText(v));
    return v.kind == Kind::Text ? QLatin1Char('\'') + QString(t).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'') : t;
}

QJsonValue valueJson(const Value &v)
{
    switch (v.kind) {
    case Kind::Null:
        return QJsonValue::Null;
    case Kind::Int:
        return QJsonValue(qint64(v.i));
    case Kind::Real:
        return std::isfinite(v.d) ? QJsonValue(v.d) : QJsonValue(QString::fromStdString(compare::realText(v.d)));
    case Kind::Blob:
        return QJsonObject{{QStringLiteral("blob"), QString::fromLatin1(QByteArray(v.s.data(), qsizetype(v.s.size())).toHex())}};
    default:
        return QString::fromStdString(v.s); // text, and a numeric's exact digits
    }
}

const std::vector<Value> &presentRow(const DiffRow &d) { return d.kind == DiffRow::Kind::OnlyRight ? d.right : d.left; }

QString kindName(DiffRow::Kind k)
{
    switch (k) {
    case DiffRow::Kind::OnlyLeft:
        return QStringLiteral("only_left");
    case DiffRow::Kind::OnlyRight:
        return QStringLiteral("only_right");
    default:
        return QStringLiteral("changed");
    }
}

// "id=5" for a keyed row; the whole row for a keyless table's or a NULL key's.
QString rowLabel(const compare::Comparison &c, const DiffRow &d)
{
    const std::vector<Value> &row = presentRow(d);
    QStringList parts;
    const bool whole = c.multiset() || d.nullKey;
    for (qsizetype p = 0; p < c.columns().size(); ++p)
        if (whole || c.key().contains(int(p)))
            parts << c.columns()[p].name + QLatin1Char('=') + valueText(row[size_t(p)]);
    QString text = parts.join(QStringLiteral(", "));
    if (d.copies > 1)
        text += QStringLiteral(" (%1 copies)").arg(d.copies);
    return text;
}

QString countsText(const compare::Counts &n)
{
    return QStringLiteral("only left: %1, only right: %2, changed: %3, unchanged: %4, NULL key: %5")
        .arg(n.onlyLeft)
        .arg(n.onlyRight)
        .arg(n.changed)
        .arg(n.unchanged)
        .arg(n.nullKey);
}

void reportText(const compare::Comparison &c, qint64 limit, QTextStream &out)
{
    out << "left:  " << c.left().label << '\n' << "right: " << c.right().label << '\n';
    out << "structure differences: " << c.structure().size() << '\n';
    for (const compare::StructureDifference &s : c.structure())
        out << "  " << s.text() << '\n';
    if (!c.dataCompared())
        return;
    out << (c.multiset() ? QStringLiteral("rows paired as whole rows (no key)") : QStringLiteral("key: ") + c.keyNames().join(QStringLiteral(", ")))
        << '\n';
    out << countsText(c.counts()) << '\n';
    const qint64 shown = std::min<qint64>(limit, c.diffs().size());
    if (shown == 0)
        return;
    out << QStringLiteral("differing rows (%1 of %2):\n").arg(shown).arg(c.diffs().size());
    for (qint64 i = 0; i < shown; ++i) {
        const DiffRow d = c.diffs().at(i);
        out << "  " << QStringLiteral("%1").arg(kindName(d.kind), -10) << ' ' << rowLabel(c, d);
        for (size_t p = 0; p < d.changed.size(); ++p)
            if (d.changed[p])
                out << "; " << c.columns()[qsizetype(p)].name << ": " << valueText(d.left[p]) << " | " << valueText(d.right[p]);
        out << '\n';
    }
}

void reportJson(const compare::Comparison &c, qint64 limit, QTextStream &out)
{
    const compare::Counts &n = c.counts();
    QJsonObject doc;
    doc.insert(QStringLiteral("left"), c.left().label);
    doc.insert(QStringLiteral("right"), c.right().label);
    doc.insert(QStringLiteral("equal"), c.equal());
    QJsonObject counts{{QStringLiteral("structure"), n.structure}};
    if (c.dataCompared()) {
        counts.insert(QStringLiteral("only_left"), n.onlyLeft);
        counts.insert(QStringLiteral("only_right"), n.onlyRight);
        counts.insert(QStringLiteral("changed"), n.changed);
        counts.insert(QStringLiteral("unchanged"), n.unchanged);
        counts.insert(QStringLiteral("null_key"), n.nullKey);
        doc.insert(QStringLiteral("key"), QJsonArray::fromStringList(c.keyNames()));
    }
    doc.insert(QStringLiteral("counts"), counts);
    QJsonArray structure;
    for (const compare::StructureDifference &s : c.structure())
        structure.append(QJsonObject{{QStringLiteral("column"), s.column.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s.column)},
                                     {QStringLiteral("aspect"), s.aspect},
                                     {QStringLiteral("left"), s.left},
                                     {QStringLiteral("right"), s.right}});
    doc.insert(QStringLiteral("structure"), structure);
    QJsonArray rows;
    const qint64 shown = c.dataCompared() ? std::min<qint64>(limit, c.diffs().size()) : 0;
    for (qint64 i = 0; i < shown; ++i) {
        const DiffRow d = c.diffs().at(i);
        QJsonObject row{{QStringLiteral("kind"), kindName(d.kind)}};
        QJsonObject key, cells;
        const std::vector<Value> &present = presentRow(d);
        for (qsizetype p = 0; p < c.columns().size(); ++p) {
            const QString &name = c.columns()[p].name;
            if (!c.multiset() && !d.nullKey && c.key().contains(int(p)))
                key.insert(name, valueJson(present[size_t(p)]));
            else if (d.kind == DiffRow::Kind::Changed && d.changed[size_t(p)])
                cells.insert(name, QJsonObject{{QStringLiteral("left"), valueJson(d.left[size_t(p)])},
                                               {QStringLiteral("right"), valueJson(d.right[size_t(p)])}});
            else if (d.kind != DiffRow::Kind::Changed)
                cells.insert(name, valueJson(present[size_t(p)]));
        }
        if (!key.isEmpty())
            row.insert(QStringLiteral("key"), key);
        row.insert(d.kind == DiffRow::Kind::Changed ? QStringLiteral("cells") : QStringLiteral("values"), cells);
        if (d.copies > 1)
            row.insert(QStringLiteral("copies"), qint64(d.copies));
        rows.append(row);
    }
    doc.insert(QStringLiteral("rows"), rows);
    doc.insert(QStringLiteral("rows_left_off"), c.dataCompared() ? c.diffs().size() - shown : 0);
    out << QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

void saveScript(const compare::Comparison &c, const QString &path, bool reverse)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw engine::EngineError(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    compare::writeScript(c, reverse ? compare::Direction::LeftLikeRight : compare::Direction::RightLikeLeft, file);
    if (!file.commit())
        throw engine::EngineError(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace

int runCompare(const CompareRequest &request, QTextStream &out, QTextStream &err)
{
    try {
        const Source leftSource = resolveSource(request.leftSource, request.registryPath);
        const Source rightSource = resolveSource(request.rightSource, request.registryPath);
        Connection leftConnection(leftSource, request.registryPath);
        Connection rightConnection(rightSource, request.registryPath);
        const std::unique_ptr<engine::Table> leftTable = leftConnection.openTable(request.leftTable);
        const std::unique_ptr<engine::Table> rightTable = rightConnection.openTable(request.rightTable);
        compare::Options options;
        options.key = request.key;
        options.structure = !request.dataOnly;
        options.data = !request.structureOnly;
        if (isatty(STDERR_FILENO)) { // a terminal watching a long compare sees it move
            options.progress = [&err](qint64 done, qint64 total) {
                err << QStringLiteral("\r%1 of %2 rows read").arg(done).arg(total) << Qt::flush;
                return true;
            };
        }
        const compare::Comparison comparison(compare::tableRef(*leftTable, request.leftSource + QLatin1Char(' ') + request.leftTable),
                                             compare::tableRef(*rightTable, request.rightSource + QLatin1Char(' ') + request.rightTable),
                                             options);
        if (options.progress)
            err << "\r\033[K" << Qt::flush;
        if (!request.sqlFile.isEmpty())
            saveScript(comparison, request.sqlFile, request.reverse);
        if (request.json)
            reportJson(comparison, request.limit, out);
        else
            reportText(comparison, request.limit, out);
        return comparison.equal() ? Equal : Different;
    } catch (const ToolError &e) {
        printError(err, e.message());
    } catch (const engine::EngineError &e) {
        printError(err, e.message());
    }
    return Error;
}

} // namespace pelldrake::db::tool
