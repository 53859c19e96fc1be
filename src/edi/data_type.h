#pragma once
// X12 element data type validation.
//
// validateDataType(value, code) knows six type codes, compared exactly:
//   "AN", "ID"          always valid, the value is not examined
//   "R", any "N..."     only the characters 0-9 and '.' (an empty value is valid;
//                        signs, blanks and thousands separators are not)
//   "TM"                HHMM: a ':' goes before the third character and the result
//                        must read as a time of day, hour 0-23 and minute 0-59
//                        (optionally ":SS" and an AM/PM marker, as a typed time;
//                        each part one or two digits, so HHMMSS is never valid)
//   "DT"                CCYYMMDD or YYMMDD, month/day/year checked with the
//                        Gregorian leap-year rule
// Every other code is not valid.
//
// Two-digit years (YYMMDD) use a fixed pivot: 00-49 are 2000-2049 and 50-99 are
// 1950-1999. It only decides 29 February of year 00, which is therefore valid.
//
// The conversions are our own: no locale, no process-wide date format, so the
// result is the same on every machine and from every thread.
#include <string_view>

namespace pelldrake::edi {

bool validateDataType(std::string_view value, std::string_view typeCode);

// The pieces, usable on their own.
bool isNumericText(std::string_view value);
bool isValidTimeText(std::string_view timeText);   // "H:M[:S][ AM|PM]"
bool isValidDate(int year, int month, int day);
int  pivotTwoDigitYear(int yy);                   // 0-99 -> 1950-2049

} // namespace pelldrake::edi
