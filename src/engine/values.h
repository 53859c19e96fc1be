#pragma once

#include "engine/sql_util.h"

#include <QVariant>

namespace pelldrake::engine {

// Values as the driver returned them -> typed values (QDate for a date column stored as text,
// bool for 0/1, ...). Text that does not parse is passed through unchanged, never lost.
// A date-time without a zone becomes a QDateTime in Qt::UTC that stands for the wall-clock value
// (it is never converted); one with a zone keeps its offset (a QTimeZone of that offset). Typed
// times hold milliseconds: the stored text keeps every digit.
QVariant fromStorage(int type, const QVariant &raw);
// Typed values -> what is bound for the database (ISO text for dates and times, with the
// offset when the value has one; 0/1 booleans in SQLite).
QVariant toStorage(int type, const QVariant &value, Dialect dialect);

} // namespace pelldrake::engine
