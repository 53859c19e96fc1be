// The CSV commands of pelldrake-db: see csv_commands.h.
#include "db_tool/csv_commands.h"

#include "db_tool/console_site.h"
#include "db_tool/source.h"
#include "db_tool/tool_error.h"
#include "engine/engine_error.h"
#include "engine/query.h"
#include "engine/session.h"
#include "engine/table.h"
#include "maintenance/csv.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace pelldrake::db::tool {

namespace {

bool tabFormat(const CsvCommandLine &line)
{
    const QString format = line.has("--format") ? line.value("--format") : QStringLiteral("csv");
    if (format != QLatin1String("csv") && format != QLatin1String("tab"))
        throw usageError(QStringLiteral("--format takes csv or tab, not '%1'").arg(format));
    return format == QLatin1String("tab");
}

char delimiterOf(const QString &text)
{
    if (text == QLatin1String("tab") || text == QLatin1String("TAB") || text == QLatin1String("\\t"))
        return '\t';
    if (text.size() != 1 || text[0].unicode() >= 0x80 || text[0] == QLatin1Char('"') || text[0] == QLatin1Char('\r')
        || text[0] == QLatin1Char('\n'))
        throw usageError(QStringLiteral("--delimiter takes one character (or tab), not '%1'").arg(text));
    return text[0].toLatin1();
}

// The file's form: what detection found, then what the command line says.
maintenance::CsvDetection formOf(const CsvCommandLine &line, const QString &path)
{
    maintenance::CsvDetection form;
    QString error;
    if (!maintenance::detectCsv(path, form, error))
        throw inputError(error);
    if (tabFormat(line)) {
        form.dialect = {'\t', '"', true}; // as the tab export writes
        if (!line.has("--no-header"))
            form.header = true;
    }
    if (line.has("--delimiter"))
        form.dialect.delimiter = delimiterOf(line.value("--delimiter"));
    if (line.has("--header") && line.has("--no-header"))
        throw usageError(QStringLiteral("--header and --no-header exclude each other"));
    if (line.has("--header"))
        form.header = true;
    if (line.has("--no-header"))
        form.header = false;
    if (line.has("--encoding") && !maintenance::encodingFromName(line.value("--encoding"), form.encoding))
        throw usageError(QStringLiteral("unknown encoding '%1' (%2)")
                             .arg(line.value("--encoding"), maintenance::encodingNames().join(QStringLiteral(", "))));
    return form;
}

// Creates TABLE from the file's columns and their types, read from every record.
void createTable(Connection &connection, const QString &table, const maintenance::CsvImportOptions &options)
{
    if (connection.tableNames(false).contains(table, Qt::CaseInsensitive))
        throw inputError(QStringLiteral("the table %1 exists already: import into it without --create").arg(table));
    const engine::Dialect dialect = connection.source().alias.driver == QLatin1String("POSTGRES")
        ? engine::Dialect::Postgres
        : engine::Dialect::Sqlite;
    maintenance::CsvLayout layout;
    QString error;
    if (!maintenance::inferLayout(options.path, options.form, dialect, layout, error))
        throw inputError(error);
    engine::Query create(connection.session());
    create.setDatabaseName(connection.aliasName());
    create.setSql(maintenance::createTableSql(table, layout.names, layout.types));
    create.execSql();
}

} // namespace

int importCsvCommand(const CsvCommandLine &line, QTextStream &out, QTextStream &err)
{
    maintenance::CsvImportOptions options;
    options.path = line.value("--in");
    if (options.path.isEmpty())
        throw usageError(QStringLiteral("import wants --in FILE"));
    const Source source = resolveSource(line.source, line.registryPath);
    options.form = formOf(line, options.path);
    options.nullMarker = line.value("--null-marker");
    options.stopAtFirstError = line.has("--stop-at-first-error");
    options.rejectsPath = line.value("--rejects");
    options.windowless = true; // no window reads meanwhile

    Connection connection(source, line.registryPath);
    if (line.has("--create"))
        createTable(connection, line.table, options);
    const std::unique_ptr<engine::Table> table = connection.openTable(line.table);
    ConsoleSite site(*table, source.aliasPart, line.table, false);
    maintenance::CsvImportReport report;
    const maintenance::CommandResult result = maintenance::importCsv(site, options, report);
    const bool listed = result == maintenance::CommandResult::Done
        || (result == maintenance::CommandResult::Failed && report.failure.isEmpty());
    if (!listed) { // nothing read, or an error that ended the import: said as the command said it
        site.report(result, out, err);
        return exitCode(result);
    }
    // For scripts: one line per rejected record, then the counts, on the standard output.
    for (const maintenance::CsvRejection &r : report.rejections)
        out << r.text() << '\n';
    if (report.rejected > report.rejections.size())
        out << QStringLiteral("(%1 more rejected records not listed)\n").arg(report.rejected - report.rejections.size());
    if (report.stoppedAtError)
        printError(err, QStringLiteral("stopped at the first rejected record (--stop-at-first-error)"));
    out << report.summary() << '\n';
    return exitCode(result);
}

int exportCsvCommand(const CsvCommandLine &line, QTextStream &out, QTextStream &err)
{
    maintenance::CsvExportOptions options;
    options.tabFormat = tabFormat(line);
    if (line.has("--quote")) {
        const QString q = line.value("--quote");
        if (q == QLatin1String("minimal"))
            options.quoting = maintenance::CsvQuoting::Minimal;
        else if (q == QLatin1String("all"))
            options.quoting = maintenance::CsvQuoting::All;
        else if (q == QLatin1String("text"))
            options.quoting = maintenance::CsvQuoting::Text;
        else
            throw usageError(QStringLiteral("--quote takes minimal, all or text, not '%1'").arg(q));
    }
    if (options.tabFormat && (line.has("--quote") || line.has("--bom")))
        throw usageError(QStringLiteral("--quote and --bom are options of --format csv"));
    options.byteOrderMark = line.has("--bom");
    options.header = !line.has("--no-header");
    options.windowless = true;
    const Source source = resolveSource(line.source, line.registryPath);
    QString path = line.value("--out");
    if (path.isEmpty()) {
        QString name = line.table;
        name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
        path = QDir::current().filePath(name + (options.tabFormat ? QStringLiteral(".txt") : QStringLiteral(".csv")));
    }
    Connection connection(source, line.registryPath);
    const std::unique_ptr<engine::Table> table = connection.openTable(line.table);
    ConsoleSite site(*table, source.aliasPart, line.table, false);
    const maintenance::CommandResult result = maintenance::exportCsv(site, path, options);
    site.report(result, out, err);
    return exitCode(result);
}

} // namespace pelldrake::db::tool
