#pragma once
// pelldrake-db import and export --format csv|tab: the CSV commands of the command line.
//
//   pelldrake-db import SOURCE TABLE --in FILE [--create] [--format csv|tab] [--delimiter C]
//       [--header | --no-header] [--encoding NAME] [--null-marker TEXT] [--stop-at-first-error]
//       [--rejects FILE]
//   pelldrake-db export SOURCE TABLE [--out FILE] --format csv|tab [--quote minimal|all|text]
//       [--bom] [--no-header]
#include <QHash>
#include <QString>

class QTextStream;

namespace pelldrake::db::tool {

// A command line as the parser left it: the operands and the options given (a flag's value is
// empty), by their names with the dashes.
struct CsvCommandLine {
    QString source;
    QString table;
    QString registryPath;
    QHash<QString, QString> options;
    bool has(const char *name) const { return options.contains(QLatin1String(name)); }
    QString value(const char *name) const { return options.value(QLatin1String(name)); }
};

// Exit codes as every command's: 0 every record loaded (written), 1 some rejected or the first
// error stopped it, 2 usage or input errors (nothing written). Throws ToolError.
int importCsvCommand(const CsvCommandLine &line, QTextStream &out, QTextStream &err);
int exportCsvCommand(const CsvCommandLine &line, QTextStream &out, QTextStream &err);

} // namespace pelldrake::db::tool
