#include "db_tool/db_tool.h"

#include "db_tool/compare_command.h"
#include "db_tool/console_site.h"
#include "db_tool/csv_commands.h"
#include "db_tool/source.h"
#include "db_tool/tool_error.h"
#include "engine/alias_registry.h"
#include "engine/engine_error.h"
#include "engine/table.h"
#include "maintenance/dump_format.h"
#include "maintenance/maintenance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <vector>

namespace pelldrake::db::tool {

namespace {

// The command table. A command is a name, its operands, the options it takes, a line of help
// and a handler; the parser, the usage texts and the checks of the command line come from it.
struct Option {
    QLatin1StringView name;
    QLatin1StringView value; // what the value stands for; empty for a flag
    const char *help;
};

const Option kAliases{QLatin1StringView("--aliases"), QLatin1StringView("FILE"),
                      "the alias registry to read (default: Pelldrake's own, ~/.config/Pelldrake/aliases.ini)"};
const Option kExtensions{QLatin1StringView("--extensions"), {},
                         "schema-qualified names (main.orders), as with \"Use Extensions\" checked"};
const Option kYes{QLatin1StringView("--yes"), {},
                  "answer Yes to the command's question (without it: No, and exit code 1)"};
const Option kDumpOut{QLatin1StringView("--out"), QLatin1StringView("FILE"),
                      "write FILE instead of Table_Dump/<alias>_<table>.txt"};
const Option kLoadIn{QLatin1StringView("--in"), QLatin1StringView("FILE"),
                     "read FILE instead of Table_Dump/<alias>_<table>.txt"};
const Option kExportOut{QLatin1StringView("--out"), QLatin1StringView("FILE"), "write FILE instead of <table>.txt"};
const Option kCompareKey{QLatin1StringView("--key"), QLatin1StringView("COL,..."),
                         "pair the rows by these columns (default: the primary key, else the first unique index,\n"
                         "                  else whole rows)"};
const Option kStructureOnly{QLatin1StringView("--structure-only"), {}, "compare the columns, keys and indexes only"};
const Option kDataOnly{QLatin1StringView("--data-only"), {}, "compare the rows only"};
const Option kCompareSql{QLatin1StringView("--sql"), QLatin1StringView("FILE"),
                         "write the script that makes RIGHT_TABLE equal to LEFT_TABLE (one transaction)"};
const Option kReverse{QLatin1StringView("--reverse"), {}, "with --sql: the script makes LEFT_TABLE equal to RIGHT_TABLE"};
const Option kJson{QLatin1StringView("--json"), {}, "report as one JSON document"};
const Option kLimit{QLatin1StringView("--limit"), QLatin1StringView("N"), "report at most N differing rows (default 100)"};

// The CSV options (csv_commands.h).
const Option kFormat{QLatin1StringView("--format"), QLatin1StringView("csv|tab"),
                     "csv, or the tab-delimited form (values quoted only when they would break the line)"};
const Option kQuote{QLatin1StringView("--quote"), QLatin1StringView("minimal|all|text"),
                    "which fields are quoted (default minimal: those that need it)"};
const Option kBom{QLatin1StringView("--bom"), {}, "begin with a UTF-8 byte-order mark, for spreadsheet programs"};
const Option kNoHeader{QLatin1StringView("--no-header"), {}, "no header line (import: the first line is a record)"};
const Option kHeader{QLatin1StringView("--header"), {}, "the first line names the columns (default: detected)"};
const Option kImportIn{QLatin1StringView("--in"), QLatin1StringView("FILE"), "the CSV file to read"};
const Option kCreate{QLatin1StringView("--create"), {},
                     "create TABLE from the file: its header's names, types from every value"};
const Option kDelimiter{QLatin1StringView("--delimiter"), QLatin1StringView("C"),
                        "the field delimiter, one character or tab (default: detected)"};
const Option kEncoding{QLatin1StringView("--encoding"), QLatin1StringView("NAME"),
                       "UTF-8, UTF-16LE, UTF-16BE, Windows-1252, ISO-8859-1 (default: detected)"};
const Option kNullMarker{QLatin1StringView("--null-marker"), QLatin1StringView("TEXT"),
                         "an unquoted TEXT is NULL (a quoted one is the text)"};
const Option kStopAtFirst{QLatin1StringView("--stop-at-first-error"), {}, "stop at the first rejected record"};
const Option kRejects{QLatin1StringView("--rejects"), QLatin1StringView("FILE"),
                      "write the rejected records to FILE, as read"};

// Options every command takes.
const Option *const kCommonOptions[] = {&kAliases};

struct Invocation {
    QStringList operands;
    QHash<QString, QString> options; // a flag's value is empty

    bool has(const Option &o) const { return options.contains(o.name); }
    QString value(const Option &o) const { return options.value(o.name); }
    QString registryPath() const
    {
        return has(kAliases) ? value(kAliases) : engine::AliasRegistry::defaultPath();
    }
};

using Handler = int (*)(const Invocation &, QTextStream &out, QTextStream &err);

struct Command {
    const char *name;
    std::vector<const char *> operands;
    std::vector<const Option *> options;
    const char *help;
    Handler run;
};

int listTables(const Invocation &inv, QTextStream &out, QTextStream &)
{
    Connection connection(resolveSource(inv.operands[0], inv.registryPath()), inv.registryPath());
    for (const QString &name : connection.tableNames(inv.has(kExtensions)))
        out << name << '\n';
    return Done;
}

using SiteCommand = maintenance::CommandResult (*)(maintenance::CommandSite &, const QString &);

// A file that is there but cannot be read is an input error before anything is connected; a
// missing one is left to the command, which says so in the menu's words.
void checkReadable(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return;
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw inputError(QStringLiteral("Cannot read the dump file %1: %2")
                             .arg(QDir::toNativeSeparators(path),
                                  info.isDir() ? QStringLiteral("Is a directory") : file.errorString()));
}

// Runs a maintenance command on the table TABLE of SOURCE; `path` empty: the command's own file.
int runOnTable(const Invocation &inv, QTextStream &out, QTextStream &err, SiteCommand command,
               const QString &path, bool readsPath)
{
    const QString registry = inv.registryPath();
    const Source source = resolveSource(inv.operands[0], registry);
    const QString tableName = inv.operands[1];
    if (readsPath)
        checkReadable(path.isEmpty() ? maintenance::dumpFilePath(source.aliasPart, tableName) : path);
    Connection connection(source, registry);
    const std::unique_ptr<engine::Table> table = connection.openTable(tableName);
    ConsoleSite site(*table, source.aliasPart, tableName, inv.has(kYes));
    const maintenance::CommandResult result = command(site, path);
    site.report(result, out, err);
    return exitCode(result);
}

int dump(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    return runOnTable(inv, out, err, &maintenance::tableDump, inv.value(kDumpOut), false);
}

int load(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    return runOnTable(inv, out, err, &maintenance::tableLoad, inv.value(kLoadIn), true);
}

CsvCommandLine csvLine(const Invocation &inv)
{
    return {inv.operands[0], inv.operands[1], inv.registryPath(), inv.options};
}

int importCsv(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    return importCsvCommand(csvLine(inv), out, err);
}

int exportTab(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    if (inv.has(kFormat) || inv.has(kQuote) || inv.has(kBom) || inv.has(kNoHeader))
        return exportCsvCommand(csvLine(inv), out, err);
    return runOnTable(inv, out, err, &maintenance::exportTabDelimited, inv.value(kExportOut), false);
}

int compareTables(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    CompareRequest request;
    request.leftSource = inv.operands[0];
    request.leftTable = inv.operands[1];
    request.rightSource = inv.operands[2];
    request.rightTable = inv.operands[3];
    request.registryPath = inv.registryPath();
    request.structureOnly = inv.has(kStructureOnly);
    request.dataOnly = inv.has(kDataOnly);
    request.sqlFile = inv.value(kCompareSql);
    request.reverse = inv.has(kReverse);
    request.json = inv.has(kJson);
    if (request.structureOnly && request.dataOnly)
        throw usageError(QStringLiteral("--structure-only and --data-only exclude each other"));
    if (request.structureOnly && !request.sqlFile.isEmpty())
        throw usageError(QStringLiteral("--sql writes the rows' changes: not with --structure-only"));
    if (request.reverse && request.sqlFile.isEmpty())
        throw usageError(QStringLiteral("--reverse goes with --sql"));
    if (inv.has(kCompareKey)) {
        for (const QString &name : inv.value(kCompareKey).split(QLatin1Char(',')))
            if (!name.trimmed().isEmpty())
                request.key << name.trimmed();
        if (request.key.isEmpty())
            throw usageError(QStringLiteral("--key wants column names (COL,...)"));
    }
    if (inv.has(kLimit)) {
        bool ok = false;
        request.limit = inv.value(kLimit).toLongLong(&ok);
        if (!ok || request.limit < 0)
            throw usageError(QStringLiteral("--limit wants a number of rows, not '%1'").arg(inv.value(kLimit)));
    }
    return runCompare(request, out, err);
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> table{
        {"tables", {"SOURCE"}, {&kExtensions},
         "list the tables of SOURCE, one a line, as the pane's table list shows them", &listTables},
        {"dump", {"SOURCE", "TABLE"}, {&kDumpOut, &kYes},
         "write every record of TABLE to its dump file (Table Dump)", &dump},
        {"load", {"SOURCE", "TABLE"}, {&kLoadIn, &kYes},
         "append the records of TABLE's dump file to TABLE (Table Load)", &load},
        {"export", {"SOURCE", "TABLE"}, {&kExportOut, &kFormat, &kQuote, &kBom, &kNoHeader},
         "write the records of TABLE tab-delimited, with a header line of field names\n"
         "      (Export TAB Delimited fields with Header Record); --format csv writes CSV (<table>.csv)",
         &exportTab},
        {"compare", {"LEFT_SOURCE", "LEFT_TABLE", "RIGHT_SOURCE", "RIGHT_TABLE"},
         {&kCompareKey, &kStructureOnly, &kDataOnly, &kCompareSql, &kReverse, &kJson, &kLimit},
         "compare two tables' structure and data, on either engine\n"
         "      (exit codes as diff's: 0 equal, 1 different, 2 an error)",
         &compareTables},
        {"import", {"SOURCE", "TABLE"},
         {&kImportIn, &kCreate, &kFormat, &kDelimiter, &kHeader, &kNoHeader, &kEncoding, &kNullMarker, &kStopAtFirst,
          &kRejects},
         "append the records of a CSV file to TABLE; each rejected record is listed by its line",
         &importCsv},
    };
    return table;
}

const Command *findCommand(const QString &name)
{
    for (const Command &c : commands())
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

const Option *findOption(const Command &command, const QString &name)
{
    for (const Option *o : command.options)
        if (name == o->name)
            return o;
    for (const Option *o : kCommonOptions)
        if (name == o->name)
            return o;
    return nullptr;
}

bool anyCommandTakes(const QString &name)
{
    for (const Command &c : commands())
        if (findOption(c, name))
            return true;
    return false;
}

QString synopsis(const Command &command)
{
    QString text = QStringLiteral("pelldrake-db ") + QLatin1String(command.name);
    for (const char *operand : command.operands)
        text += QLatin1Char(' ') + QLatin1String(operand);
    for (const Option *o : command.options)
        text += o->value.isEmpty() ? QStringLiteral(" [%1]").arg(o->name) : QStringLiteral(" [%1 %2]").arg(o->name, o->value);
    return text;
}

QString optionLine(const Option &o)
{
    const QString head = o.value.isEmpty() ? QString(o.name) : QStringLiteral("%1 %2").arg(o.name, o.value);
    return QStringLiteral("  %1  %2\n").arg(head, -14).arg(QLatin1String(o.help));
}

const char *const kSourceText =
    "SOURCE: an alias of the alias registry, sqlite:PATH, or postgresql://user@host:port/database\n"
    "  (a server password comes from PGPASSWORD or ~/.pgpass, never from the command line)\n";
const char *const kExitText = "exit codes: 0 done, 1 the work failed or a question was answered No,\n"
                              "  2 usage or input error\n";

QString operandsText(const Command &command)
{
    QStringList names;
    for (const char *operand : command.operands)
        names << QLatin1String(operand);
    return names.size() > 1 ? names.sliced(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last()
                            : names.join(QString());
}

Invocation parse(const Command &command, const QStringList &args)
{
    Invocation inv;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            inv.operands << a;
            continue;
        }
        if (a == QLatin1String("--")) { // what follows is operands, a table named "-x" too
            optionsEnded = true;
            continue;
        }
        QString name = a;
        QString value;
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const bool inlineValue = a.startsWith(QLatin1String("--")) && eq > 2;
        if (inlineValue) {
            name = a.left(eq);
            value = a.mid(eq + 1);
        }
        const Option *option = findOption(command, name);
        if (!option)
            throw usageError(anyCommandTakes(name) ? QStringLiteral("%1 is not an option of %2").arg(name, QLatin1String(command.name))
                                                   : QStringLiteral("unknown option %1").arg(name));
        if (inv.options.contains(option->name))
            throw usageError(QStringLiteral("%1 is given twice").arg(name));
        if (option->value.isEmpty()) {
            if (inlineValue)
                throw usageError(QStringLiteral("%1 takes no value").arg(name));
            inv.options.insert(option->name, QString());
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size())
                throw usageError(QStringLiteral("%1 wants a value (%2)").arg(name, option->value));
            value = args[++i];
        }
        if (value.isEmpty())
            throw usageError(QStringLiteral("%1 wants a value (%2)").arg(name, option->value));
        inv.options.insert(option->name, value);
    }
    const auto wanted = qsizetype(command.operands.size());
    if (inv.operands.size() < wanted)
        throw usageError(QStringLiteral("%1 wants %2").arg(QLatin1String(command.name), operandsText(command)));
    if (inv.operands.size() > wanted)
        throw usageError(QStringLiteral("%1 takes %2 only, not '%3'")
                             .arg(QLatin1String(command.name), operandsText(command), inv.operands[wanted]));
    return inv;
}

bool asksForHelp(const QStringList &args)
{
    for (const QString &a : args) {
        if (a == QLatin1String("--"))
            return false;
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return true;
    }
    return false;
}

} // namespace

QString usage()
{
    QString text = QStringLiteral("usage:\n");
    for (const Command &c : commands())
        text += QStringLiteral("  %1\n      %2\n").arg(synopsis(c), QLatin1String(c.help));
    text += QStringLiteral("options every command takes:\n");
    for (const Option *o : kCommonOptions)
        text += optionLine(*o);
    text += QStringLiteral("  pelldrake-db COMMAND --help describes the command's options\n");
    text += QLatin1String(kSourceText);
    text += QLatin1String(kExitText);
    return text;
}

QString usage(const QString &name)
{
    const Command *command = findCommand(name);
    if (!command)
        return usage();
    QString text = QStringLiteral("usage: %1 [--aliases FILE]\n  %2\n").arg(synopsis(*command), QLatin1String(command->help));
    text += QStringLiteral("options:\n");
    for (const Option *o : command->options)
        text += optionLine(*o);
    for (const Option *o : kCommonOptions)
        text += optionLine(*o);
    text += QLatin1String(kSourceText);
    text += QLatin1String(kExitText);
    return text;
}

int run(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.isEmpty()) {
        err << usage();
        return UsageOrInput;
    }
    const QString &name = args[0];
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        out << (args.size() > 1 ? usage(args[1]) : usage());
        return Done;
    }
    const Command *command = findCommand(name);
    try {
        if (!command)
            throw usageError(name.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option %1 (the command comes first)").arg(name)
                                                               : QStringLiteral("unknown command \"%1\"").arg(name));
        const QStringList rest = args.mid(1);
        if (asksForHelp(rest)) {
            out << usage(name);
            return Done;
        }
        return command->run(parse(*command, rest), out, err);
    } catch (const ToolError &e) {
        printError(err, e.message());
        if (e.kind() == ToolError::Kind::Usage)
            err << (command ? usage(name) : usage());
        return e.exitCode();
    } catch (const engine::EngineError &e) {
        printError(err, e.message());
        return Failed;
    } catch (const std::exception &e) {
        printError(err, QString::fromLocal8Bit(e.what()));
        return Failed;
    }
}

} // namespace pelldrake::db::tool
