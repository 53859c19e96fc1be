#include "edi/data_type.h"

#include <string>

namespace pelldrake::edi {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Reads a number of one or two digits, as the parts of a time are written;
// a third digit makes the text no time at all ("12:3045" has no minute).
bool scanNumber(std::string_view s, size_t &pos, int &out)
{
    const size_t start = pos;
    int n = 0;
    while (pos < s.size() && isDigit(s[pos])) {
        if (pos - start == 2)
            return false;
        n = n * 10 + (s[pos] - '0');
        ++pos;
    }
    out = n;
    return pos > start;
}

void skipBlanks(std::string_view s, size_t &pos)
{
    while (pos < s.size() && isBlank(s[pos]))
        ++pos;
}

bool startsWithNoCase(std::string_view s, std::string_view word)
{
    if (s.size() < word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        char c = s[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != word[i])
            return false;
    }
    return true;
}

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!isDigit(c))
            return false;
    return true;
}

int toInt(std::string_view digits)
{
    int n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

bool validTime(std::string_view value)
{
    // A ':' goes before the third character, or at the end of a shorter value.
    std::string text(value.substr(0, value.size() < 2 ? value.size() : 2));
    text += ':';
    if (value.size() > 2)
        text.append(value.substr(2));
    return isValidTimeText(text);
}

bool validDate(std::string_view value)
{
    int year = 0;
    std::string_view mm, dd;
    if (value.size() == 8) {
        if (!allDigits(value))
            return false;
        year = toInt(value.substr(0, 4));
        mm = value.substr(4, 2);
        dd = value.substr(6, 2);
    } else if (value.size() == 6) {
        if (!allDigits(value))
            return false;
        year = pivotTwoDigitYear(toInt(value.substr(0, 2)));
        mm = value.substr(2, 2);
        dd = value.substr(4, 2);
    } else {
        return false;
    }
    return isValidDate(year, toInt(mm), toInt(dd));
}

} // namespace

bool isNumericText(std::string_view value)
{
    for (char c : value)
        if (!isDigit(c) && c != '.')
            return false;
    return true;
}

bool isValidTimeText(std::string_view s)
{
    size_t pos = 0;
    int hour = 0, minute = 0, second = 0;
    skipBlanks(s, pos);
    if (!scanNumber(s, pos, hour))
        return false;
    if (pos >= s.size() || s[pos] != ':')
        return false;
    ++pos;
    if (!scanNumber(s, pos, minute))
        return false;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!scanNumber(s, pos, second))
            return false;
    }
    skipBlanks(s, pos);
    bool marker = false;
    if (startsWithNoCase(s.substr(pos), "AM") || startsWithNoCase(s.substr(pos), "PM")) {
        marker = true;
        pos += 2;
        skipBlanks(s, pos);
    }
    if (pos != s.size())
        return false;
    if (marker ? hour > 12 : hour > 23)
        return false;
    return minute <= 59 && second <= 59;
}

bool isValidDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = (month == 2 && leap) ? 29 : days[month - 1];
    return day <= last;
}

int pivotTwoDigitYear(int yy)
{
    return yy < 50 ? 2000 + yy : 1900 + yy;
}

bool validateDataType(std::string_view value, std::string_view typeCode)
{
    if (typeCode == "AN")
        return true;
    if (!typeCode.empty() && typeCode.front() == 'N')
        return isNumericText(value);
    if (typeCode == "R")
        return isNumericText(value);
    if (typeCode == "TM")
        return validTime(value);
    if (typeCode == "DT")
        return validDate(value);
    if (typeCode == "ID")
        return true;
    return false;
}

} // namespace pelldrake::edi
