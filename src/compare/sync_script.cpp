#include "compare/sync_script.h"

#include "engine/engine_error.h"

#include <QSqlQuery>
#include <QStringBuilder>

namespace pelldrake::compare {

using engine::Dialect;
using engine::EngineError;
using engine::quoteIdent;

namespace {

bool textual(Family f) { return f == Family::Text || f == Family::Other; }
bool numeric(Family f) { return f == Family::Integer || f == Family::Real || f == Family::Numeric; }

QString quoted(const std::string &bytes)
{
    QString t = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    t.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

// Text as a string literal. The sqlite3 shell drops a CR before a line break inside a literal,
// so a CR is written as char(13) (chr(13) on PostgreSQL) between the pieces around it.
QString textLiteral(Dialect dialect, const std::string &text)
{
    if (text.find('\r') == std::string::npos)
        return quoted(text);
    const QString cr = dialect == Dialect::Sqlite ? QStringLiteral("char(13)") : QStringLiteral("chr(13)");
    QStringList parts;
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find('\r', from);
        const std::string piece = text.substr(from, at == std::string::npos ? std::string::npos : at - from);
        if (!piece.empty())
            parts << quoted(piece);
        if (at == std::string::npos)
            break;
        parts << cr;
        from = at + 1;
    }
    return QLatin1Char('(') + parts.join(QStringLiteral(" || ")) + QLatin1Char(')');
}

QString hex(const std::string &bytes) { return QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toHex()); }

QString sqliteReal(double d)
{
    if (std::isnan(d))
        return QStringLiteral("NULL"); // SQLite stores no NaN
    if (std::isinf(d))
        return d < 0 ? QStringLiteral("-9e999") : QStringLiteral("9e999");
    QString t = QString::fromStdString(realText(d));
    if (!t.contains(QLatin1Char('.')) && !t.contains(QLatin1Char('e')))
        t += QLatin1String(".0"); // stays a REAL in a column without a type
    return t;
}

// The value written for the target's column in the target's dialect.
QString literal(Dialect dialect, const Column &target, const Value &v)
{
    switch (v.kind) {
    case Kind::Null:
        return QStringLiteral("NULL");
    case Kind::Blob:
        return dialect == Dialect::Sqlite ? QStringLiteral("X'%1'").arg(hex(v.s)) : QStringLiteral("'\\x%1'::bytea").arg(hex(v.s));
    case Kind::Text:
        if (dialect == Dialect::Postgres && target.family == Family::Bool)
            if (const Value b = normalized(v, Mode::Bool); b.kind == Kind::Int)
                return b.i ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        return textLiteral(dialect, v.s);
    default:
        break;
    }
    // A number.
    if (dialect == Dialect::Postgres && target.family == Family::Bool && v.kind == Kind::Int)
        return v.i ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    QString text;
    if (v.kind == Kind::Int)
        text = QString::number(v.i);
    else if (v.kind == Kind::Decimal)
        text = QString::fromStdString(v.s);
    else if (dialect == Dialect::Sqlite)
        text = sqliteReal(v.d);
    else if (!std::isfinite(v.d))
        return QStringLiteral("'%1'::float8").arg(QString::fromStdString(realText(v.d)));
    else
        text = QString::fromStdString(realText(v.d));
    if (textual(target.family) || (dialect == Dialect::Postgres && !numeric(target.family)))
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    if (dialect == Dialect::Postgres && target.baseType == QLatin1String("real"))
        return QStringLiteral("'%1'::real").arg(text); // compared as float4, not as the nearest double
    return text;
}

// "<column> matches <value>" for finding a row again: IS NULL for a NULL, the bytes for text
// whatever the column's collation (SQLite's NOCASE would find 'ABC' for 'abc').
QString match(Dialect dialect, const Column &target, const Value &v)
{
    const QString name = quoteIdent(target.name);
    if (v.isNull())
        return name + QStringLiteral(" IS NULL");
    if (dialect == Dialect::Sqlite)
        return name % QStringLiteral(" = ") % literal(dialect, target, v) % (v.kind == Kind::Text ? QStringLiteral(" COLLATE BINARY") : QString());
    if (target.family == Family::Other)
        return name % QStringLiteral("::text = ") % literal(dialect, target, v);
    if (target.family == Family::ZonedDateTime && v.kind == Kind::Text)
        return name % QStringLiteral(" = ") % quoted(v.s + "+00");
    return name % QStringLiteral(" = ") % literal(dialect, target, v);
}

struct Plan {
    const Comparison &c;
    Direction direction;
    const Shape &target;
    Dialect dialect;
    bool sourceIsLeft;

    Plan(const Comparison &comparison, Direction d)
        : c(comparison), direction(d), target(d == Direction::RightLikeLeft ? comparison.rightShape() : comparison.leftShape()),
          dialect(target.dialect), sourceIsLeft(d == Direction::RightLikeLeft)
    {
    }

    const Column &targetColumn(int place) const
    {
        const PairedColumn &p = c.columns()[place];
        return target.columns[sourceIsLeft ? p.right : p.left];
    }
    DiffRow::Kind sourceOnly() const { return sourceIsLeft ? DiffRow::Kind::OnlyLeft : DiffRow::Kind::OnlyRight; }
    DiffRow::Kind targetOnly() const { return sourceIsLeft ? DiffRow::Kind::OnlyRight : DiffRow::Kind::OnlyLeft; }
    const std::vector<Value> &sourceRow(const DiffRow &d) const { return sourceIsLeft ? d.left : d.right; }
    const std::vector<Value> &targetRow(const DiffRow &d) const { return sourceIsLeft ? d.right : d.left; }
    // A value stored in the target that is the same to the comparison. Written in the target's
    // own form where it already holds one: its temporal and boolean columns compare by meaning.
    QString sourceLiteral(int place, const Value &v) const
    {
        const Column &t = targetColumn(place);
        if (dialect == Dialect::Postgres && t.family == Family::ZonedDateTime && v.kind == Kind::Text)
            return quoted(normalized(v, Mode::DateTime).s + "+00");
        return literal(dialect, t, v);
    }

    QString where(const std::vector<Value> &row, bool wholeRow) const
    {
        QStringList terms;
        if (wholeRow) {
            for (qsizetype p = 0; p < c.columns().size(); ++p)
                terms << match(dialect, targetColumn(int(p)), row[size_t(p)]);
        } else {
            for (int k : c.key())
                terms << match(dialect, targetColumn(k), row[size_t(k)]);
        }
        return terms.join(QStringLiteral(" AND "));
    }

    QString deleteRow(const DiffRow &d) const
    {
        const std::vector<Value> &row = targetRow(d);
        const bool wholeRow = d.nullKey || c.multiset();
        if (!wholeRow)
            return QStringLiteral("DELETE FROM %1 WHERE %2").arg(target.from, where(row, false));
        // One physical row at a time: copies that are equal in every column compared.
        QString address;
        if (dialect == Dialect::Postgres)
            address = QStringLiteral("ctid");
        else if (target.hasRowid)
            address = QStringLiteral("rowid");
        else {
            QStringList keys;
            for (const QString &k : target.primaryKey)
                keys << quoteIdent(k);
            address = QLatin1Char('(') + keys.join(QStringLiteral(", ")) + QLatin1Char(')');
        }
        return QStringLiteral("DELETE FROM %1 WHERE %2 IN (SELECT %2 FROM %1 WHERE %3 LIMIT %4)")
            .arg(target.from, address, where(row, true))
            .arg(d.copies);
    }

    QString update(const DiffRow &d) const
    {
        QStringList sets;
        const std::vector<Value> &source = sourceRow(d);
        for (size_t p = 0; p < d.changed.size(); ++p)
            if (d.changed[p])
                sets << quoteIdent(targetColumn(int(p)).name) + QStringLiteral(" = ") + sourceLiteral(int(p), source[p]);
        return QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(target.from, sets.join(QStringLiteral(", ")), where(targetRow(d), false));
    }

    QString insert(const DiffRow &d) const
    {
        QStringList names, values;
        const std::vector<Value> &source = sourceRow(d);
        for (qsizetype p = 0; p < c.columns().size(); ++p) {
            names << quoteIdent(targetColumn(int(p)).name);
            values << sourceLiteral(int(p), source[size_t(p)]);
        }
        return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(target.from, names.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")));
    }
};

} // namespace

const TableRef &targetOf(const Comparison &comparison, Direction direction)
{
    return direction == Direction::RightLikeLeft ? comparison.right() : comparison.left();
}

ScriptCounts scriptCounts(const Comparison &comparison, Direction direction)
{
    const Counts &n = comparison.counts();
    const bool rightLikeLeft = direction == Direction::RightLikeLeft;
    return {rightLikeLeft ? n.onlyRight : n.onlyLeft, n.changed, rightLikeLeft ? n.onlyLeft : n.onlyRight};
}

void forEachStatement(const Comparison &comparison, Direction direction, const std::function<void(const QString &)> &statement)
{
    const Plan plan(comparison, direction);
    const DiffStore &diffs = comparison.diffs();
    // Deletes first: an insert or an update may take a unique value a deleted row holds.
    for (int pass = 0; pass < 3; ++pass) {
        for (std::int64_t i = 0; i < diffs.size(); ++i) {
            const DiffRow d = diffs.at(i);
            if (pass == 0 && d.kind == plan.targetOnly()) {
                statement(plan.deleteRow(d));
            } else if (pass == 1 && d.kind == DiffRow::Kind::Changed) {
                statement(plan.update(d));
            } else if (pass == 2 && d.kind == plan.sourceOnly()) {
                const QString insert = plan.insert(d);
                for (std::int64_t copy = 0; copy < d.copies; ++copy)
                    statement(insert);
            }
        }
    }
}

void writeScript(const Comparison &comparison, Direction direction, QIODevice &out)
{
    const TableRef &target = targetOf(comparison, direction);
    const TableRef &source = direction == Direction::RightLikeLeft ? comparison.left() : comparison.right();
    const ScriptCounts n = scriptCounts(comparison, direction);
    QByteArray buffer;
    auto flush = [&](bool always) {
        if (!always && buffer.size() < (1 << 20))
            return;
        if (out.write(buffer) != buffer.size())
            throw EngineError(QStringLiteral("Cannot write the script: ") + out.errorString());
        buffer.clear();
    };
    buffer += QStringLiteral("-- Makes %1 equal to %2: %3 rows deleted, %4 updated, %5 inserted.\n")
                  .arg(target.label, source.label)
                  .arg(n.deletes)
                  .arg(n.updates)
                  .arg(n.inserts)
                  .toUtf8();
    // Without -bail the sqlite3 shell goes on after a failed statement and commits the rest.
    buffer += target.dialect == Dialect::Sqlite ? "-- Run it with: sqlite3 -bail DATABASE < SCRIPT\n"
                                                : "-- Run it with: psql -v ON_ERROR_STOP=1 -f SCRIPT\n";
    buffer += "BEGIN;\n";
    forEachStatement(comparison, direction, [&](const QString &s) {
        buffer += s.toUtf8();
        buffer += ";\n";
        flush(false);
    });
    buffer += "COMMIT;\n";
    flush(true);
}

ScriptCounts applyScript(const Comparison &comparison, Direction direction)
{
    QSqlDatabase db = targetOf(comparison, direction).db;
    const QString context = QStringLiteral("Cannot apply the changes (nothing was changed)");
    if (!db.transaction())
        throw EngineError(context + QStringLiteral(": ") + engine::errorText(db.lastError()));
    try {
        QSqlQuery query(db);
        forEachStatement(comparison, direction, [&](const QString &s) {
            if (!query.exec(s))
                throw EngineError(context + QStringLiteral(": ") + engine::errorText(query.lastError()));
        });
        query.finish();
        if (!db.commit())
            throw EngineError(context + QStringLiteral(": ") + engine::errorText(db.lastError()));
    } catch (...) {
        db.rollback();
        throw;
    }
    return scriptCounts(comparison, direction);
}

} // namespace pelldrake::compare
