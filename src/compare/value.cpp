#include "compare/value.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace pelldrake::compare {

namespace {

// A number as sign, significant digits and exponent: value = 0.DIGITS x 10^exp. Zero has no
// digits. Two equal numbers have equal parts whatever text they were written in.
struct Decimal {
    bool negative = false;
    std::string digits;
    long exp = 0;
};

Decimal parseDecimal(std::string_view t)
{
    Decimal d;
    std::size_t p = 0;
    if (p < t.size() && (t[p] == '-' || t[p] == '+'))
        d.negative = t[p++] == '-';
    long pointAt = -1;
    long count = 0;
    for (; p < t.size(); ++p) {
        const char c = t[p];
        if (c == '.') {
            pointAt = count;
        } else if (c >= '0' && c <= '9') {
            d.digits += c;
            ++count;
        } else {
            break;
        }
    }
    long exp = 0;
    if (p + 1 < t.size() && (t[p] == 'e' || t[p] == 'E'))
        std::from_chars(t.data() + p + 1 + (t[p + 1] == '+' ? 1 : 0), t.data() + t.size(), exp);
    d.exp = (pointAt < 0 ? count : pointAt) + exp;
    const auto first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        d = Decimal();
        return d;
    }
    d.exp -= long(first);
    d.digits.erase(0, first);
    d.digits.erase(d.digits.find_last_not_of('0') + 1);
    return d;
}

Decimal toDecimal(const Value &v)
{
    if (v.kind == Kind::Int)
        return parseDecimal(std::to_string(v.i));
    if (v.kind == Kind::Real)
        return parseDecimal(realText(v.d));
    return parseDecimal(v.s);
}

int compareDecimal(const Decimal &a, const Decimal &b)
{
    const bool az = a.digits.empty(), bz = b.digits.empty();
    const int as = az ? 0 : (a.negative ? -1 : 1);
    const int bs = bz ? 0 : (b.negative ? -1 : 1);
    if (as != bs)
        return as < bs ? -1 : 1;
    if (as == 0)
        return 0;
    int magnitude = 0;
    if (a.exp != b.exp)
        magnitude = a.exp < b.exp ? -1 : 1;
    else if (const int c = a.digits.compare(b.digits))
        magnitude = c < 0 ? -1 : 1;
    return as * magnitude;
}

// Infinities and NaN have no decimal form; they order by value as reals do.
bool finiteNumber(const Value &v) { return v.kind != Kind::Real || std::isfinite(v.d); }

int compareNumbers(const Value &a, const Value &b)
{
    if (a.kind == Kind::Int && b.kind == Kind::Int)
        return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
    if (a.kind == Kind::Real && b.kind == Kind::Real)
        return a.d < b.d ? -1 : (a.d > b.d ? 1 : 0);
    if (!finiteNumber(a) || !finiteNumber(b)) {
        const double x = a.kind == Kind::Real ? a.d : (a.kind == Kind::Int ? double(a.i) : 0.0);
        const double y = b.kind == Kind::Real ? b.d : (b.kind == Kind::Int ? double(b.i) : 0.0);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return compareDecimal(toDecimal(a), toDecimal(b));
}

int rank(Kind k)
{
    switch (k) {
    case Kind::Null:
        return 0;
    case Kind::Int:
    case Kind::Real:
    case Kind::Decimal:
        return 1;
    case Kind::Text:
        return 2;
    case Kind::Blob:
        return 3;
    }
    return 4;
}

int compareBytes(const std::string &a, const std::string &b)
{
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c)
        return c < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "+02:00", "-0530", "+02", "Z" at the end of a date and time; minutes east of UTC.
bool splitOffset(std::string &text, int &minutes)
{
    if (text.size() > 19 && text.back() == 'Z') {
        text.pop_back();
        minutes = 0;
        return true;
    }
    std::size_t sign = text.find_last_of("+-");
    if (sign == std::string::npos || sign < 19)
        return false;
    std::string zone = text.substr(sign + 1);
    zone.erase(std::remove(zone.begin(), zone.end(), ':'), zone.end());
    if (zone.empty() || zone.size() > 4 || !std::all_of(zone.begin(), zone.end(), isDigit))
        return false;
    const int hours = std::stoi(zone.substr(0, 2));
    const int mins = zone.size() > 2 ? std::stoi(zone.substr(2)) : 0;
    minutes = (hours * 60 + mins) * (text[sign] == '-' ? -1 : 1);
    text.erase(sign);
    return true;
}

std::string normalizedDateTime(std::string text)
{
    if (text.size() > 10 && text[10] == 'T' && text[4] == '-')
        text[10] = ' ';
    int offset = 0;
    const bool zoned = text.size() > 19 && text[4] == '-' && splitOffset(text, offset);
    const std::size_t point = text.find('.');
    if (point != std::string::npos) {
        std::size_t end = point + 1;
        while (end < text.size() && isDigit(text[end]))
            ++end;
        std::size_t last = end;
        while (last > point + 1 && text[last - 1] == '0')
            --last;
        text.erase(last == point + 1 ? point : last, end - (last == point + 1 ? point : last));
    }
    if (!zoned || offset == 0)
        return text;
    const std::string fraction = text.size() > 19 ? text.substr(19) : std::string();
    QDateTime at = QDateTime::fromString(QString::fromLatin1(text.substr(0, 19)), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!at.isValid())
        return text;
    at.setTimeSpec(Qt::UTC);
    return at.addSecs(-offset * 60).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString() + fraction;
}

int boolOf(const std::string &text)
{
    std::string t = text;
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (t == "t" || t == "true" || t == "1" || t == "y" || t == "yes")
        return 1;
    if (t == "f" || t == "false" || t == "0" || t == "n" || t == "no")
        return 0;
    return -1;
}

} // namespace

Value normalized(const Value &v, Mode mode)
{
    if (mode == Mode::DateTime && v.kind == Kind::Text) {
        Value n;
        n.kind = Kind::Text;
        n.s = normalizedDateTime(v.s);
        return n;
    }
    if (mode == Mode::AsText && v.isNumber()) {
        Value n;
        n.kind = Kind::Text;
        n.s = displayText(v);
        return n;
    }
    if (mode == Mode::Bool && v.kind == Kind::Text) {
        const int b = boolOf(v.s);
        if (b >= 0) {
            Value n;
            n.setInt(b);
            return n;
        }
    }
    return v;
}

int orderValues(const Value &a, const Value &b, Mode mode)
{
    if (mode == Mode::AsText ? (a.isNumber() || b.isNumber()) : (mode != Mode::Typed && (a.kind == Kind::Text || b.kind == Kind::Text)))
        return orderValues(normalized(a, mode), normalized(b, mode), Mode::Typed);
    const int ra = rank(a.kind), rb = rank(b.kind);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 0:
        return 0;
    case 1:
        return compareNumbers(a, b);
    default:
        return compareBytes(a.s, b.s);
    }
}

bool sameValue(const Value &a, const Value &b, Mode mode)
{
    if (a.kind == Kind::Real && b.kind == Kind::Real)
        return std::bit_cast<std::uint64_t>(a.d) == std::bit_cast<std::uint64_t>(b.d);
    if (a.kind != b.kind && (a.kind == Kind::Text || a.kind == Kind::Blob) && (b.kind == Kind::Text || b.kind == Kind::Blob))
        return false; // text is never equal to a blob of the same bytes
    return orderValues(a, b, mode) == 0;
}

std::string realText(double d)
{
    if (std::isnan(d))
        return "NaN";
    if (std::isinf(d))
        return d < 0 ? "-Infinity" : "Infinity";
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
    return std::string(buffer, end);
}

std::string displayText(const Value &v)
{
    static const char hex[] = "0123456789ABCDEF";
    switch (v.kind) {
    case Kind::Null:
        return "NULL";
    case Kind::Int:
        return std::to_string(v.i);
    case Kind::Real:
        return realText(v.d);
    case Kind::Decimal:
        return v.s;
    case Kind::Text: {
        // Control characters shown, not obeyed: a CR would overwrite the report's line.
        std::string out;
        out.reserve(v.s.size());
        for (unsigned char c : v.s) {
            if (c >= 0x20 && c != 0x7f)
                out += char(c);
            else if (c == '\r')
                out += "\\r";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\t')
                out += "\\t";
            else
                (out += "\\x") += std::string{hex[c >> 4], hex[c & 15]};
        }
        return out;
    }
    case Kind::Blob: {
        std::string out = "X'";
        for (unsigned char c : v.s) {
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        return out + "'";
    }
    }
    return {};
}

bool parseInt(std::string_view text, std::int64_t &out)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool parseReal(std::string_view text, double &out)
{
    if (text == "NaN") {
        out = std::nan("");
        return true;
    }
    if (text == "Infinity" || text == "-Infinity") {
        out = text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

} // namespace pelldrake::compare
