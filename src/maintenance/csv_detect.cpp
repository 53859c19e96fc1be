// Detection of a CSV file's form and the column types of a new table: see csv_detect.h.
#include "maintenance/csv_detect.h"

#include "engine/date_time_text.h"
#include "engine/field.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>

namespace pelldrake::maintenance {

namespace {

constexpr qsizetype kSample = 256 * 1024;
constexpr int kSampleRecords = 500;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The bytes of a sample cut at an arbitrary point: a UTF-8 sequence cut at the end is no fault.
bool validUtf8Sample(QByteArrayView bytes, bool whole)
{
    if (!whole) {
        qsizetype cut = bytes.size();
        for (int back = 0; back < 3 && cut > 0; ++back) {
            const auto b = static_cast<unsigned char>(bytes[cut - 1]);
            if (b < 0x80)
                break;
            --cut;
            if (b >= 0xC0)
                break; // the lead byte of the cut sequence
        }
        bytes = bytes.first(cut);
    }
    return bytes.isValidUtf8();
}

struct Shape {
    int fields = 0;     // the most frequent field count
    int consistent = 0; // records with it
    int records = 0;
    int bad = 0;
};

Shape shapeOf(const QString &path, const CsvDetection &d)
{
    CsvReader reader(path, d.dialect, d.encoding);
    Shape shape;
    if (!reader.open())
        return shape;
    std::map<int, int> counts;
    while (shape.records < kSampleRecords && reader.bytesRead() < kSample) {
        const CsvReader::Status s = reader.next();
        if (s == CsvReader::Status::End)
            break;
        ++shape.records;
        if (s == CsvReader::Status::BadRecord)
            ++shape.bad;
        else
            ++counts[reader.fieldCount()];
    }
    for (const auto &[fields, n] : counts) {
        if (n > shape.consistent || (n == shape.consistent && fields > shape.fields)) {
            shape.fields = fields;
            shape.consistent = n;
        }
    }
    return shape;
}

bool looksLikeValue(QByteArrayView v)
{
    if (v.isEmpty())
        return true;
    const QString text = QString::fromUtf8(v).trimmed();
    bool number = false;
    text.toDouble(&number);
    if (number)
        return true;
    QDate d;
    return engine::parseDateText(text, d);
}

// Canonical integer text: what an INTEGER column gives back.
bool integerText(QByteArrayView v, int &digits)
{
    qsizetype i = v.startsWith('-') ? 1 : 0;
    digits = int(v.size() - i);
    if (digits == 0 || digits > 18)
        return false;
    if (v[i] == '0')
        return digits == 1 && i == 0; // "0" only: "007" and "-0" keep their text
    for (; i < v.size(); ++i)
        if (!isDigit(v[i]))
            return false;
    return true;
}

// Digits, a point, digits: its scale and the digits before the point.
bool fixedText(QByteArrayView v, int &intDigits, int &scale)
{
    qsizetype i = v.startsWith('-') ? 1 : 0;
    const qsizetype point = v.indexOf('.');
    if (point < 0 || point == i || point + 1 >= v.size())
        return false;
    intDigits = int(point - i);
    scale = int(v.size() - point - 1);
    if (intDigits + scale > 18 || (v[i] == '0' && intDigits > 1))
        return false;
    for (qsizetype k = i; k < v.size(); ++k)
        if (k != point && !isDigit(v[k]))
            return false;
    return true;
}

bool readsBackAsDouble(QByteArrayView v)
{
    if (v.isEmpty() || !(isDigit(v.front()) || v.front() == '-' || v.front() == '.'))
        return false;
    bool ok = false;
    const double d = v.toByteArray().toDouble(&ok);
    return ok && engine::valueToText(engine::ftFloat, d) == QLatin1String(v.data(), v.size());
}

// yyyy-MM-dd of a day that exists: what a DATE column gives back. By hand: it runs for every
// value of a column while the column may still be one of dates.
bool dateText(QByteArrayView v)
{
    if (v.size() != 10 || v[4] != '-' || v[7] != '-')
        return false;
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!isDigit(v[i]))
            return false;
    const int y = (v[0] - '0') * 1000 + (v[1] - '0') * 100 + (v[2] - '0') * 10 + (v[3] - '0');
    const int m = (v[5] - '0') * 10 + (v[6] - '0');
    const int d = (v[8] - '0') * 10 + (v[9] - '0');
    return y >= 1 && QDate::isValid(y, m, d);
}

// yyyy-MM-dd HH:mm:ss[.fff], without a zone: what a TIMESTAMP column gives back unchanged.
bool timestampText(QByteArrayView v)
{
    if (v.size() < 19 || v.size() > 23 || v[10] != ' ')
        return false;
    for (qsizetype i = 19; i < v.size(); ++i)
        if (!(isDigit(v[i]) || (i == 19 && v[i] == '.')))
            return false;
    const QString text = QString::fromLatin1(v);
    return engine::canonicalDateTime(text) == text;
}

} // namespace

bool detectCsv(const QString &path, CsvDetection &detection, QString &error)
{
    const QFileInfo info(path);
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot read the file %1: %2")
                    .arg(path, info.isDir() ? QStringLiteral("Is a directory") : file.errorString());
        return false;
    }
    const QByteArray head = file.read(kSample);
    const bool whole = file.atEnd();
    CsvDetection d;
    const int bom = byteOrderMark(head, d.encoding);
    d.byteOrderMark = bom > 0;
    const QByteArrayView body = QByteArrayView(head).sliced(bom);
    if (body.trimmed().isEmpty()) {
        error = QStringLiteral("The file %1 is empty.").arg(path);
        return false;
    }
    if (!d.byteOrderMark || d.encoding == CsvEncoding::Utf8) {
        // A NUL byte is in no text of these encodings: an image, an archive, a database.
        if (body.contains('\0')) {
            error = QStringLiteral("The file %1 is not text (it holds NUL bytes).").arg(path);
            return false;
        }
        if (!validUtf8Sample(body, whole))
            d.encoding = CsvEncoding::Windows1252;
    }

    // The delimiter whose records agree best on a field count above one.
    const char candidates[] = {',', ';', '\t', '|'};
    Shape best;
    d.dialect.delimiter = ',';
    for (const char c : candidates) {
        CsvDetection trial = d;
        trial.dialect.delimiter = c;
        const Shape s = shapeOf(path, trial);
        if (s.fields < 2)
            continue;
        const auto score = [](const Shape &x) { return double(x.consistent) - 2.0 * x.bad; };
        if (best.fields < 2 || score(s) > score(best) || (score(s) == score(best) && s.fields > best.fields)) {
            best = s;
            d.dialect.delimiter = c;
        }
    }

    // A header: a first record of names (no empty field, no number, no date), all different.
    CsvReader reader(path, d.dialect, d.encoding);
    d.header = false;
    if (reader.open() && reader.next() == CsvReader::Status::Record) {
        QSet<QString> names;
        bool allNames = true;
        for (int i = 0; i < reader.fieldCount(); ++i) {
            const QByteArrayView v = reader.field(i);
            const QString name = QString::fromUtf8(v).trimmed().toLower();
            if (name.isEmpty() || looksLikeValue(v) || names.contains(name))
                allNames = false;
            names.insert(name);
        }
        d.header = allNames;
    }
    detection = d;
    return true;
}

void CsvColumnType::add(QByteArrayView v)
{
    // A column found to be text stays text: nothing to look at in its other values.
    if (any_ && !integer_ && !boolean_ && !fixed_ && !real_ && !date_ && !timestamp_)
        return;
    any_ = true;
    int digits = 0;
    const bool integer = integerText(v, digits);
    if (integer) {
        if (digits >= 10) {
            const qint64 n = v.toByteArray().toLongLong();
            wide_ = wide_ || n > 2147483647LL || n < -2147483648LL;
        }
    } else {
        integer_ = false;
    }
    if (boolean_)
        boolean_ = v == "true" || v == "false";
    if (fixed_) {
        int intDigits = 0;
        int scale = 0;
        fixed_ = fixedText(v, intDigits, scale) && (scale_ < 0 || scale == scale_);
        scale_ = scale; // one scale for every value: NUMERIC(p,s) pads the others
        intDigits_ = std::max(intDigits_, intDigits);
    }
    // An integer without trailing zeros of up to 15 digits reads back through a double as it
    // is; the others are asked (100000 may come back in exponent form).
    if (real_)
        real_ = integer && digits <= 15 && !v.endsWith('0') ? true : readsBackAsDouble(v);
    if (date_)
        date_ = dateText(v);
    if (timestamp_)
        timestamp_ = timestampText(v);
}

QString CsvColumnType::declaredType(engine::Dialect dialect) const
{
    const bool pg = dialect == engine::Dialect::Postgres;
    if (!any_)
        return QStringLiteral("TEXT");
    if (integer_)
        return pg && wide_ ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    if (boolean_)
        return QStringLiteral("BOOLEAN");
    // On SQLite a NUMERIC column stores its values as numbers: 1.10 would come back 1.1, so the
    // declared scale only holds when every value reads back unchanged through a double.
    if (fixed_ && (pg || real_))
        return QStringLiteral("NUMERIC(%1,%2)").arg(std::max(intDigits_ + scale_, 1)).arg(scale_);
    if (real_)
        return pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL");
    if (date_)
        return QStringLiteral("DATE");
    if (timestamp_)
        return QStringLiteral("TIMESTAMP");
    return QStringLiteral("TEXT");
}

QStringList columnNames(const QStringList &header, int count)
{
    QStringList names;
    QSet<QString> taken;
    for (int i = 0; i < count; ++i) {
        QString name = i < header.size() ? header[i].trimmed() : QString();
        for (QChar &c : name)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char('_');
        while (name.toUtf8().size() > 63)
            name.chop(1);
        if (name.isEmpty())
            name = QStringLiteral("field%1").arg(i + 1);
        const QString base = name;
        for (int n = 2; taken.contains(name.toLower()); ++n) {
            const QString suffix = QStringLiteral("_%1").arg(n);
            QString stem = base;
            while ((stem + suffix).toUtf8().size() > 63)
                stem.chop(1);
            name = stem + suffix;
        }
        taken.insert(name.toLower());
        names << name;
    }
    return names;
}

QString createTableSql(const QString &table, const QStringList &names, const QStringList &types)
{
    QStringList columns;
    for (qsizetype i = 0; i < names.size(); ++i)
        columns << engine::quoteIdent(names[i]) + QLatin1Char(' ') + types.value(i, QStringLiteral("TEXT"));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(engine::quoteIdent(table), columns.join(QStringLiteral(", ")));
}

bool inferLayout(const QString &path, const CsvDetection &detection, engine::Dialect dialect, CsvLayout &layout,
                 QString &error, const std::function<bool(qint64, qint64)> &progress)
{
    CsvReader reader(path, detection.dialect, detection.encoding);
    if (!reader.open()) {
        error = QStringLiteral("Cannot read the file %1: %2").arg(path, reader.errorString());
        return false;
    }
    QStringList header;
    std::vector<CsvColumnType> types;
    int width = -1; // the header's field count, else the first record's
    qint64 records = 0;
    for (CsvReader::Status s = reader.next(); s != CsvReader::Status::End; s = reader.next()) {
        if (progress && (records & 1023) == 0 && !progress(reader.bytesRead(), reader.fileSize())) {
            error = QStringLiteral("Stopped before the import began: nothing was written.");
            return false;
        }
        if (s == CsvReader::Status::BadRecord)
            continue;
        if (width < 0) {
            width = reader.fieldCount();
            types.resize(size_t(width));
            if (detection.header) {
                for (int i = 0; i < width; ++i)
                    header << QString::fromUtf8(reader.field(i));
                continue;
            }
        }
        if (reader.fieldCount() != width)
            continue; // rejected by the import
        ++records;
        for (int i = 0; i < width; ++i) {
            const QByteArrayView v = reader.field(i);
            if (!v.isEmpty())
                types[size_t(i)].add(v);
        }
    }
    if (reader.failed()) {
        error = QStringLiteral("Cannot read the file %1: %2").arg(path, reader.errorString());
        return false;
    }
    if (width < 0) {
        error = QStringLiteral("The file %1 holds no record.").arg(path);
        return false;
    }
    layout.names = columnNames(header, width);
    layout.types.clear();
    for (const CsvColumnType &t : types)
        layout.types << t.declaredType(dialect);
    layout.records = records;
    return true;
}

} // namespace pelldrake::maintenance
