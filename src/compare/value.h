#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelldrake::compare {

// One value as read from either engine, kept in the form it was stored in (so a statement can
// find the row again), compared by type through normalized().
enum class Kind : std::uint8_t { Null, Int, Real, Decimal, Text, Blob };

struct Value {
    Kind kind = Kind::Null;
    std::int64_t i = 0; // Int
    double d = 0;       // Real
    std::string s;      // Decimal (its digits as text), Text and Blob (the bytes)

    bool isNull() const { return kind == Kind::Null; }
    bool isNumber() const { return kind == Kind::Int || kind == Kind::Real || kind == Kind::Decimal; }
    void setNull() { kind = Kind::Null; }
    void setInt(std::int64_t v) { kind = Kind::Int; i = v; }
    void setReal(double v) { kind = Kind::Real; d = v; }
    void setBytes(Kind k, const char *data, std::size_t n) { kind = k; s.assign(data, n); }
};

// How a pair of columns compares: by the values' own types, or as the date/time or boolean both
// columns hold in their engine's way (text with 'T' or ' ' on SQLite, typed on PostgreSQL), or,
// for a text column facing a number column (a type change the structure reports), by the
// values' text, so 1 and '1' are not a second, data difference.
enum class Mode : std::uint8_t { Typed, DateTime, Bool, AsText };

// The value as the comparison sees it: date/time text with ' ' between date and time, no
// trailing fraction zeros and an offset folded into UTC; booleans 't'/'true'/'1' as 1.
Value normalized(const Value &v, Mode mode);

// Equality by type: integers as integers, reals bit for bit, numbers of different kinds as
// decimals (1.50 = 1.5 = 1.5 REAL, 3.0 = 3), text and blobs byte for byte. NULL equals only
// NULL (never '').
bool sameValue(const Value &a, const Value &b, Mode mode);

// The order both reads are sorted in: NULL, then numbers by value, then text, then blobs, both
// by their bytes. 0 exactly when sameValue() holds, but for reals that differ only in their
// bits (0.0 and -0.0).
int orderValues(const Value &a, const Value &b, Mode mode);

// A real at round-trip precision ("0.30000000000000004", "1e-07").
std::string realText(double d);
// The value for a reader: NULL, numbers as digits, text with its control characters escaped
// (\r, \n, \t, \xNN), blobs as X'..'.
std::string displayText(const Value &v);

// Parses the text an engine gives for an integer or a real; false when it is not one.
bool parseInt(std::string_view text, std::int64_t &out);
bool parseReal(std::string_view text, double &out);

} // namespace pelldrake::compare
