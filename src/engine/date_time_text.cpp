#include "engine/date_time_text.h"

namespace pelldrake::engine {

namespace {

// Reads `n` digits at `i`; -1 when they are not all digits.
int digits(QStringView s, qsizetype i, int n)
{
    if (i + n > s.size())
        return -1;
    int v = 0;
    for (int k = 0; k < n; ++k) {
        const char16_t c = s[i + k].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

// "[+-]HH[[:]MM[[:]SS]]" or "Z" from i to the end.
bool parseOffset(QStringView s, qsizetype i, int &seconds)
{
    if (i >= s.size())
        return false;
    if (s[i] == u'Z' || s[i] == u'z') {
        seconds = 0;
        return i + 1 == s.size();
    }
    const bool minus = s[i] == u'-';
    if (!minus && s[i] != u'+')
        return false;
    ++i;
    if (i >= s.size())
        return false;
    int parts[3] = {0, 0, 0};
    for (int p = 0; p < 3 && i < s.size(); ++p) {
        if (p > 0 && s[i] == u':')
            ++i;
        const int v = digits(s, i, 2);
        if (v < 0)
            return false;
        parts[p] = v;
        i += 2;
        if (p == 0 && i == s.size())
            break;
    }
    if (i != s.size() || parts[0] > 15 || parts[1] > 59 || parts[2] > 59)
        return false;
    seconds = (parts[0] * 3600 + parts[1] * 60 + parts[2]) * (minus ? -1 : 1);
    return true;
}

void appendTwo(QString &out, int v)
{
    out += QChar(u'0' + v / 10);
    out += QChar(u'0' + v % 10);
}

} // namespace

QTime DateTimeParts::time() const
{
    const int ms = fraction.isEmpty() ? 0 : (fraction + QLatin1String("00")).left(3).toInt();
    return QTime(hour, minute, second, ms);
}

bool parseDateText(QStringView s, QDate &date)
{
    if (s.size() != 10 || s[4] != u'-' || s[7] != u'-')
        return false;
    const int y = digits(s, 0, 4), m = digits(s, 5, 2), d = digits(s, 8, 2);
    if (y < 0 || m < 0 || d < 0 || !QDate::isValid(y, m, d))
        return false;
    date = QDate(y, m, d);
    return true;
}

bool parseTimeText(QStringView s, DateTimeParts &p)
{
    const int h = digits(s, 0, 2), mi = digits(s, 3, 2);
    if (h < 0 || mi < 0 || s[2] != u':' || h > 23 || mi > 59)
        return false;
    qsizetype i = 5;
    int sec = 0;
    if (i < s.size() && s[i] == u':') {
        sec = digits(s, i + 1, 2);
        if (sec < 0 || sec > 59)
            return false;
        i += 3;
    }
    QString fraction;
    if (i < s.size() && s[i] == u'.') {
        const qsizetype start = ++i;
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9')
            ++i;
        if (i == start || i - start > 9)
            return false;
        qsizetype end = i;
        while (end > start && s[end - 1] == u'0')
            --end;
        fraction = s.mid(start, end - start).toString();
    }
    p.hour = h;
    p.minute = mi;
    p.second = sec;
    p.fraction = fraction;
    p.zoned = false;
    p.offsetSeconds = 0;
    if (i < s.size()) {
        if (s[i] == u' ')
            ++i;
        if (!parseOffset(s, i, p.offsetSeconds))
            return false;
        p.zoned = true;
    }
    return true;
}

bool parseDateTimeText(QStringView s, DateTimeParts &p)
{
    if (!parseDateText(s.left(10), p.date))
        return false;
    if (s.size() == 10) {
        p.hour = p.minute = p.second = 0;
        p.fraction.clear();
        p.zoned = false;
        p.offsetSeconds = 0;
        return true;
    }
    if (s[10] != u' ' && s[10] != u'T' && s[10] != u't')
        return false;
    return parseTimeText(s.mid(11), p);
}

QString millisecondsFraction(int msec)
{
    if (msec <= 0)
        return {};
    QString f = QString::number(msec + 1000).mid(1);
    while (f.endsWith(QLatin1Char('0')))
        f.chop(1);
    return f;
}

QString formatTime(const DateTimeParts &p)
{
    QString out;
    out.reserve(22);
    appendTwo(out, p.hour);
    out += QLatin1Char(':');
    appendTwo(out, p.minute);
    out += QLatin1Char(':');
    appendTwo(out, p.second);
    if (!p.fraction.isEmpty()) {
        out += QLatin1Char('.');
        out += p.fraction;
        for (qsizetype k = p.fraction.size(); k < 3; ++k)
            out += QLatin1Char('0');
    }
    if (p.zoned) {
        const int a = p.offsetSeconds < 0 ? -p.offsetSeconds : p.offsetSeconds;
        out += QLatin1Char(p.offsetSeconds < 0 ? '-' : '+');
        appendTwo(out, a / 3600);
        out += QLatin1Char(':');
        appendTwo(out, a / 60 % 60);
        if (a % 60) {
            out += QLatin1Char(':');
            appendTwo(out, a % 60);
        }
    }
    return out;
}

QString formatDateTime(const DateTimeParts &p)
{
    return p.date.toString(Qt::ISODate) + QLatin1Char(' ') + formatTime(p);
}

QString canonicalDate(const QString &text)
{
    QDate d;
    if (!parseDateText(text, d))
        return {};
    return text; // the strict form is its own canonical form
}

QString canonicalTime(const QString &text)
{
    DateTimeParts p;
    if (!parseTimeText(text, p))
        return {};
    QString out = formatTime(p);
    return out == text ? text : out; // shares the stored string in the usual case
}

QString canonicalDateTime(const QString &text)
{
    DateTimeParts p;
    if (!parseDateTimeText(text, p))
        return {};
    QString out = formatDateTime(p);
    return out == text ? text : out;
}

} // namespace pelldrake::engine
