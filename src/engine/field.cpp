#include "engine/field.h"

#include "engine/date_time_text.h"
#include "engine/engine_error.h"
#include "engine/table.h"
#include "engine/values.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <QTimeZone>

namespace pelldrake::engine {

namespace {

const char *const kTypeNames[] = {
    "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
    "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes",
    "ftAutoInc", "ftBlob", "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle",
    "ftTypedBinary", "ftCursor", "ftFixedChar", "ftWideString", "ftLargeint", "ftADT",
    "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob", "ftVariant",
    "ftInterface", "ftIDispatch", "ftGuid", "ftTimeStamp", "ftFMTBcd"};

// The last name is spelled the way stored listings have always shown it.
const char *const kKindNames[] = {"fkData", "fkCalculated", "fkLookup", "fkInternalCalc",
                                  "fkAggergate"};

QString timeText(const QTime &t)
{
    DateTimeParts p;
    p.hour = t.hour();
    p.minute = t.minute();
    p.second = t.second();
    p.fraction = millisecondsFraction(t.msec());
    return formatTime(p);
}

// A QDateTime in Qt::UTC or local time carries a wall-clock value (never converted); one with a
// zone or an offset carries that offset into the text.
QString dateTimeText(const QDateTime &dt)
{
    DateTimeParts p;
    p.date = dt.date();
    const QTime t = dt.time();
    p.hour = t.hour();
    p.minute = t.minute();
    p.second = t.second();
    p.fraction = millisecondsFraction(t.msec());
    p.zoned = dt.timeSpec() == Qt::TimeZone || dt.timeSpec() == Qt::OffsetFromUTC;
    p.offsetSeconds = p.zoned ? dt.offsetFromUtc() : 0;
    return formatDateTime(p);
}

QDateTime typedDateTime(const DateTimeParts &p)
{
    if (p.zoned)
        return QDateTime(p.date, p.time(), QTimeZone(p.offsetSeconds));
    return QDateTime(p.date, p.time(), Qt::UTC);
}

QString doubleText(double d)
{
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

[[noreturn]] void badText(const QString &text, const QString &what, const QString &field)
{
    throw EngineError(QStringLiteral("'%1' is not a valid %2 value for field '%3'.")
                          .arg(shownValue(text), what, field));
}

} // namespace

bool parseBool(const QString &s, bool &ok)
{
    const QString l = s.trimmed().toLower();
    ok = true;
    if (l == QLatin1String("true") || l == QLatin1String("t") || l == QLatin1String("1")
        || l == QLatin1String("yes") || l == QLatin1String("y"))
        return true;
    if (l == QLatin1String("false") || l == QLatin1String("f") || l == QLatin1String("0")
        || l == QLatin1String("no") || l == QLatin1String("n"))
        return false;
    ok = false;
    return false;
}

QString shownValue(const QString &text)
{
    constexpr int kShown = 40;
    if (text.size() <= kShown)
        return text;
    // Never half of a surrogate pair.
    const int cut = text.at(kShown - 1).isHighSurrogate() ? kShown - 1 : kShown;
    return text.left(cut) + QLatin1String("...");
}

bool isTextType(int type)
{
    switch (type) {
    case ftString: case ftMemo: case ftFmtMemo: case ftFixedChar: case ftWideString:
    case ftOraClob: case ftGuid: case ftUnknown: case ftVariant:
        return true;
    default:
        return false;
    }
}

bool isIntegerType(int type)
{
    return type == ftSmallint || type == ftInteger || type == ftWord || type == ftAutoInc
        || type == ftLargeint;
}

bool isBinaryType(int type)
{
    return type == ftBlob || type == ftBytes || type == ftVarBytes || type == ftGraphic
        || type == ftTypedBinary || type == ftOraBlob || type == ftParadoxOle
        || type == ftDBaseOle;
}

QString fieldTypeName(int code)
{
    if (code < 0 || code > 37)
        return {};
    return QLatin1String(kTypeNames[code]);
}

QString fieldKindName(int code)
{
    if (code < 0 || code > 4)
        return {};
    return QLatin1String(kKindNames[code]);
}

TypeInfo typeFromDeclaration(const QString &declaredType)
{
    const QString decl = declaredType.trimmed().toUpper();
    static const QRegularExpression argsRe(QStringLiteral("\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\)"));
    const auto m = argsRe.match(decl);
    const int a1 = m.hasMatch() ? m.captured(1).toInt() : -1;
    const int a2 = m.hasMatch() && !m.captured(2).isEmpty() ? m.captured(2).toInt() : 0;
    QString base = decl;
    if (m.hasMatch())
        base = decl.left(m.capturedStart()).trimmed() + decl.mid(m.capturedEnd());
    base = base.simplified();

    auto str = [](int type, int n) { return TypeInfo{type, n, n + 1}; };
    if (base.isEmpty())
        return {ftUnknown, 0, 0};
    if (base.endsWith(QLatin1String("[]")))
        return {ftArray, 0, 0};
    if (base == QLatin1String("VARCHAR") || base == QLatin1String("CHARACTER VARYING")
        || base == QLatin1String("NVARCHAR") || base == QLatin1String("VARYING CHARACTER")
        || base == QLatin1String("NATIVE CHARACTER") || base == QLatin1String("VARCHAR2"))
        return a1 >= 0 ? str(ftString, a1) : TypeInfo{ftMemo, 0, 0};
    if (base == QLatin1String("CHAR") || base == QLatin1String("CHARACTER")
        || base == QLatin1String("NCHAR") || base == QLatin1String("BPCHAR"))
        return str(ftFixedChar, a1 >= 0 ? a1 : 1);
    if (base == QLatin1String("TEXT") || base == QLatin1String("CLOB")
        || base == QLatin1String("MEMO") || base == QLatin1String("LONGTEXT")
        || base == QLatin1String("MEDIUMTEXT") || base == QLatin1String("JSON")
        || base == QLatin1String("JSONB") || base == QLatin1String("XML"))
        return {ftMemo, 0, 0};
    if (base == QLatin1String("SMALLINT") || base == QLatin1String("INT2")
        || base == QLatin1String("TINYINT") || base == QLatin1String("SMALLSERIAL"))
        return {ftSmallint, 0, 2};
    if (base == QLatin1String("BIGINT") || base == QLatin1String("INT8")
        || base == QLatin1String("BIGSERIAL") || base == QLatin1String("UNSIGNED BIG INT"))
        return {ftLargeint, 0, 8};
    if (base == QLatin1String("INTEGER") || base == QLatin1String("INT")
        || base == QLatin1String("INT4") || base == QLatin1String("MEDIUMINT")
        || base == QLatin1String("SERIAL"))
        return {ftInteger, 0, 4};
    if (base == QLatin1String("REAL") || base == QLatin1String("DOUBLE")
        || base == QLatin1String("DOUBLE PRECISION") || base == QLatin1String("FLOAT")
        || base == QLatin1String("FLOAT4") || base == QLatin1String("FLOAT8"))
        return {ftFloat, 0, 8};
    if (base == QLatin1String("MONEY") || base == QLatin1String("CURRENCY"))
        return {ftCurrency, 0, 8};
    if (base == QLatin1String("NUMERIC") || base == QLatin1String("DECIMAL")) {
        if (a1 > 18 || a1 < 0)
            return {ftFMTBcd, a2, 34};
        return {ftBCD, a2, 34};
    }
    if (base == QLatin1String("DATE"))
        return {ftDate, 0, 4};
    if (base == QLatin1String("TIME") || base == QLatin1String("TIME WITHOUT TIME ZONE")
        || base == QLatin1String("TIME WITH TIME ZONE") || base == QLatin1String("TIMETZ"))
        return {ftTime, 0, 4};
    if (base == QLatin1String("TIMESTAMP") || base == QLatin1String("DATETIME")
        || base == QLatin1String("TIMESTAMP WITHOUT TIME ZONE")
        || base == QLatin1String("TIMESTAMP WITH TIME ZONE")
        || base == QLatin1String("TIMESTAMPTZ"))
        return {ftDateTime, 0, 8};
    if (base == QLatin1String("BOOLEAN") || base == QLatin1String("BOOL"))
        return {ftBoolean, 0, 2};
    if (base == QLatin1String("BLOB") || base == QLatin1String("BYTEA")
        || base == QLatin1String("BINARY") || base == QLatin1String("VARBINARY"))
        return {ftBlob, 0, 0};
    if (base == QLatin1String("UUID") || base == QLatin1String("GUID"))
        return {ftGuid, 38, 39};

    // PostgreSQL types whose names would fall under the affinity rules below ("POINT" and
    // "INTERVAL" hold INT) but are no numbers: kept as their text.
    static const QStringList textual = {QStringLiteral("POINT"), QStringLiteral("LINE"), QStringLiteral("LSEG"),
                                        QStringLiteral("BOX"), QStringLiteral("PATH"), QStringLiteral("POLYGON"),
                                        QStringLiteral("CIRCLE"), QStringLiteral("INTERVAL"), QStringLiteral("INET"),
                                        QStringLiteral("CIDR")};
    if (textual.contains(base) || base.startsWith(QLatin1String("INTERVAL ")) || base.endsWith(QLatin1String("RANGE")))
        return {ftUnknown, 0, 0};

    // Anything else by SQLite's affinity rules, so odd declarations still behave.
    if (base.contains(QLatin1String("INT")))
        return {ftInteger, 0, 4};
    if (base.contains(QLatin1String("CHAR")))
        return a1 >= 0 ? str(ftString, a1) : TypeInfo{ftMemo, 0, 0};
    if (base.contains(QLatin1String("CLOB")) || base.contains(QLatin1String("TEXT")))
        return {ftMemo, 0, 0};
    if (base.contains(QLatin1String("BLOB")))
        return {ftBlob, 0, 0};
    if (base.contains(QLatin1String("REAL")) || base.contains(QLatin1String("FLOA"))
        || base.contains(QLatin1String("DOUB")))
        return {ftFloat, 0, 8};
    return {ftUnknown, 0, 0};
}

QVariant fromStorage(int type, const QVariant &raw)
{
    if (raw.isNull())
        return {};
    const int id = raw.metaType().id();
    switch (type) {
    case ftDate:
        if (id == QMetaType::QString) {
            QDate d;
            if (parseDateText(raw.toString(), d))
                return d;
            DateTimeParts p; // a date column holding a date-time text
            return parseDateTimeText(raw.toString(), p) ? QVariant(p.date) : raw;
        }
        if (id == QMetaType::QDateTime)
            return raw.toDateTime().date();
        return raw;
    case ftTime:
        if (id == QMetaType::QString) {
            DateTimeParts p;
            return parseTimeText(raw.toString(), p) ? QVariant(p.time()) : raw;
        }
        return raw;
    case ftDateTime:
    case ftTimeStamp:
        if (id == QMetaType::QString) {
            DateTimeParts p;
            return parseDateTimeText(raw.toString(), p) ? QVariant(typedDateTime(p)) : raw;
        }
        return raw;
    case ftBoolean:
        if (id == QMetaType::Bool)
            return raw;
        if (id == QMetaType::QString) {
            bool ok = false;
            const bool b = parseBool(raw.toString(), ok);
            return ok ? QVariant(b) : raw;
        }
        return QVariant(raw.toLongLong() != 0);
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        if (id == QMetaType::QString) {
            bool ok = false;
            const qlonglong v = raw.toString().toLongLong(&ok);
            return ok ? QVariant(v) : raw;
        }
        return raw;
    case ftFloat: case ftCurrency:
        if (id == QMetaType::QString) {
            bool ok = false;
            const double v = raw.toString().toDouble(&ok);
            return ok ? QVariant(v) : raw;
        }
        return raw;
    default:
        if (isTextType(type) && id == QMetaType::QByteArray)
            return QString::fromUtf8(raw.toByteArray());
        return raw;
    }
}

QVariant toStorage(int type, const QVariant &value, Dialect dialect)
{
    if (value.isNull())
        return {};
    const int id = value.metaType().id();
    switch (type) {
    case ftDate:
        if (id == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate);
        if (id == QMetaType::QDateTime)
            return value.toDateTime().date().toString(Qt::ISODate);
        return value;
    case ftTime:
        if (id == QMetaType::QTime)
            return timeText(value.toTime());
        if (id == QMetaType::QString) {
            const QString c = canonicalTime(value.toString());
            return c.isNull() ? value : QVariant(c);
        }
        return value;
    case ftDateTime: case ftTimeStamp:
        if (id == QMetaType::QDateTime)
            return dateTimeText(value.toDateTime());
        if (id == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate) + QLatin1String(" 00:00:00");
        if (id == QMetaType::QString) {
            const QString c = canonicalDateTime(value.toString());
            return c.isNull() ? value : QVariant(c);
        }
        return value;
    case ftBoolean:
        if (dialect == Dialect::Sqlite)
            return value.toBool() ? 1 : 0;
        return value.toBool();
    default:
        return value;
    }
}

QString valueToText(int type, const QVariant &v0)
{
    if (v0.isNull())
        return {};
    // The common cases first: they need no conversion of the stored value.
    const int rawId = v0.metaType().id();
    if (rawId == QMetaType::QString && isTextType(type))
        return *static_cast<const QString *>(v0.constData());
    if (rawId == QMetaType::LongLong && isIntegerType(type))
        return QString::number(v0.toLongLong());
    if (rawId == QMetaType::QString) {
        // Dates and times stored as text: their canonical form, without a typed detour.
        QString c;
        if (type == ftDate)
            c = canonicalDate(v0.toString());
        else if (type == ftTime)
            c = canonicalTime(v0.toString());
        else if (type == ftDateTime || type == ftTimeStamp)
            c = canonicalDateTime(v0.toString());
        if (!c.isNull())
            return c;
    }
    const QVariant v = fromStorage(type, v0);
    const int id = v.metaType().id();
    switch (id) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return timeText(v.toTime());
    case QMetaType::QDateTime:
        return dateTimeText(v.toDateTime());
    case QMetaType::Double:
    case QMetaType::Float:
        return doubleText(v.toDouble());
    case QMetaType::QByteArray:
        if (isTextType(type))
            return QString::fromUtf8(v.toByteArray());
        return QString::fromLatin1(v.toByteArray().toHex());
    default:
        return v.toString();
    }
}

QVariant textToValue(int type, const QString &text, const QString &fieldName)
{
    if (isTextType(type))
        return text;
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    if (isIntegerType(type)) {
        bool ok = false;
        const qlonglong v = t.toLongLong(&ok);
        if (!ok)
            badText(text, QStringLiteral("integer"), fieldName);
        return v;
    }
    if (isBinaryType(type)) {
        static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!hex.match(t).hasMatch())
            badText(text, QStringLiteral("hexadecimal"), fieldName);
        return QByteArray::fromHex(t.toLatin1());
    }
    switch (type) {
    case ftFloat: case ftCurrency: {
        bool ok = false;
        const double v = t.toDouble(&ok);
        if (!ok)
            badText(text, QStringLiteral("floating point"), fieldName);
        return v;
    }
    case ftBCD: case ftFMTBcd: {
        static const QRegularExpression num(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
        if (!num.match(t).hasMatch())
            badText(text, QStringLiteral("numeric"), fieldName);
        return t; // kept as text: no binary rounding on the way to the database
    }
    case ftBoolean: {
        bool ok = false;
        const bool b = parseBool(t, ok);
        if (!ok)
            badText(text, QStringLiteral("boolean"), fieldName);
        return b;
    }
    // Times and date-times stay text: every fraction digit and the offset as given, nothing
    // converted through a zone.
    case ftDate: {
        QDate d;
        if (!parseDateText(t, d))
            badText(text, QStringLiteral("date"), fieldName);
        return d;
    }
    case ftTime: {
        const QString c = canonicalTime(t);
        if (c.isNull())
            badText(text, QStringLiteral("time"), fieldName);
        return c;
    }
    case ftDateTime: case ftTimeStamp: {
        const QString c = canonicalDateTime(t);
        if (c.isNull())
            badText(text, QStringLiteral("date-time"), fieldName);
        return c;
    }
    default:
        return text;
    }
}

bool Field::canModify() const
{
    return !m_readOnly && m_table->canModify();
}

bool Field::isIndexField() const
{
    return m_table->isIndexField(m_index);
}

QString Field::asString() const
{
    return valueToText(m_type, m_table->currentValue(m_index));
}

void Field::setAsString(const QString &text)
{
    m_table->setCurrentValue(m_index, textToValue(m_type, text, m_name));
}

QVariant Field::value() const
{
    return fromStorage(m_type, m_table->currentValue(m_index));
}

void Field::setValue(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QString)
        setAsString(value.toString());
    else
        m_table->setCurrentValue(m_index, value);
}

} // namespace pelldrake::engine
