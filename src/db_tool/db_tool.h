#pragma once
// The pelldrake-db command line: the maintenance commands on a table, without a window.
//
//   pelldrake-db tables SOURCE [--extensions]
//   pelldrake-db dump SOURCE TABLE [--out FILE] [--yes]
//   pelldrake-db load SOURCE TABLE [--in FILE] [--yes]
//   pelldrake-db export SOURCE TABLE [--out FILE]
//
// SOURCE is an alias of the alias registry (--aliases FILE for another registry), sqlite:PATH
// or postgresql://user@host:port/database (source.h). Files, defaults and messages are the
// Maintenance menu's. Exit codes: 0 done, 1 the work failed or a question was answered No,
// 2 usage or input error.
#include <QStringList>

class QTextStream;

namespace pelldrake::db::tool {

// Runs one command line (without the program's name). Reports go to `out`, errors to `err`,
// prefixed "pelldrake-db: ". The default registry is AliasRegistry::defaultPath(), so the
// application's name must be the program's ("Pelldrake").
int run(const QStringList &args, QTextStream &out, QTextStream &err);

// The usage text: every command, or one command's with its options.
QString usage();
QString usage(const QString &command);

} // namespace pelldrake::db::tool
