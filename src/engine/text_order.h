#pragma once

#include "engine/filter.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>

namespace pelldrake::engine {

// The order of each column of a PostgreSQL table (`table` as quoted "schema"."name"), by column
// name: how its collation sorts text and whether the server's encoding keeps that order in
// code points. Throws EngineError when the catalog cannot be read.
QHash<QString, TextOrder> postgresTextOrders(const QSqlDatabase &db, const QString &table);

// The rule behind it: a collation sorts by code point when it is the C or POSIX locale, a
// "C.UTF-8" locale of the C library, or the server's own code point provider; ICU collations
// and language locales never do.
TextOrder textOrderOf(bool isText, const QString &provider, const QString &locale,
                      const QString &encoding);

} // namespace pelldrake::engine
