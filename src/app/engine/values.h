#pragma once

#include "app/engine/sql_util.h"

#include <QVariant>

namespace pelldrake::engine {

// Values as the driver returned them -> typed values (QDate for a date column stored as text,
// bool for 0/1, ...). Text that does not parse is passed through unchanged, never lost.
QVariant fromStorage(int type, const QVariant &raw);
// Typed values -> what is bound for the database (ISO text for dates and times, 0/1 booleans
// in SQLite).
QVariant toStorage(int type, const QVariant &value, Dialect dialect);

} // namespace pelldrake::engine
