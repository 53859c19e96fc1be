#pragma once

#include <QString>

namespace pelldrake {

// The prefix filter expression for a field and a typed value:
//   CITY = 'Lon*'
// An apostrophe in the value is doubled, so the value is always read as text
// by the filter parser instead of ending the quoted string early. A field name
// that is not a plain name ("first name", "Not") is written in double quotes.
QString prefixFilterText(const QString &fieldName, const QString &value);

} // namespace pelldrake
