#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <QTime>

#include <algorithm>
#include <iterator>

namespace pelldrake::engine {

// The text forms of dates and times, read and written by hand: no locale, and no conversion
// through the machine's zone. A value without a zone is a wall-clock value and stays one; a value
// with a zone keeps its offset.
//   date       yyyy-MM-dd
//   time       HH:mm:ss[.fff...][+HH:MM]
//   date-time  yyyy-MM-dd HH:mm:ss[.fff...][+HH:MM]
// Input may also use a 'T' separator, minutes without seconds, 'Z', "+HH" or "+HHMM" offsets.
// A fraction keeps every digit given (PostgreSQL keeps microseconds) without trailing zeros,
// at least milliseconds when there is one.
struct DateTimeParts {
    QDate date;
    int hour = 0, minute = 0, second = 0;
    QString fraction;      // digits after the point, trailing zeros removed
    bool zoned = false;
    int offsetSeconds = 0; // east of UTC
    QTime time() const;    // to the millisecond
};

// False when `text` is not such a value (an impossible date or time included).
bool parseDateText(QStringView text, QDate &date);
bool parseTimeText(QStringView text, DateTimeParts &parts);
bool parseDateTimeText(QStringView text, DateTimeParts &parts); // a lone date is midnight

// The canonical forms; a null QString when the text is not such a value.
QString canonicalDate(const QString &text);
QString canonicalTime(const QString &text);
QString canonicalDateTime(const QString &text);

QString formatTime(const DateTimeParts &parts);     // without the date
QString formatDateTime(const DateTimeParts &parts);
QString millisecondsFraction(int msec);             // "045" -> "045", 0 -> ""

// yyyy-MM-dd into `out`, by hand (QDate::toString costs more than a whole bulk record); false,
// with nothing written, for a date outside the years 1 to 9999.
inline bool writeIsoDate(const QDate &date, char (&out)[10])
{
    int y = 0, m = 0, d = 0;
    date.getDate(&y, &m, &d);
    if (y < 1 || y > 9999)
        return false;
    const char text[10] = {char('0' + y / 1000), char('0' + y / 100 % 10), char('0' + y / 10 % 10), char('0' + y % 10),
                           '-', char('0' + m / 10), char('0' + m % 10), '-', char('0' + d / 10), char('0' + d % 10)};
    std::copy(std::begin(text), std::end(text), out);
    return true;
}

} // namespace pelldrake::engine
