#pragma once

#include <QString>

namespace pelldrake::bench {

// Builds (or reuses) the table browser's benchmark database: one SQLite table
// "customers" of `rows` rows with an index on the string column NAME and the
// unindexed string column CITY. Deterministic, so runs compare.
// Returns false with a message in `error` when the file cannot be built.
bool makeBrowseDatabase(const QString &path, int rows, QString *error);

// The same table, as `table`, on the PostgreSQL server the PELLDRAKE_TEST_PG_*
// variables name (built on the server by generate_series, reused while its
// row count matches). False with a message when there is no server or it fails.
bool makeBrowseServerTable(const QString &table, int rows, QString *error);

} // namespace pelldrake::bench
