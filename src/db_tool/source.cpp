#include "db_tool/source.h"

#include "db_tool/tool_error.h"
#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/session.h"
#include "engine/table.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

namespace pelldrake::db::tool {

namespace {

const QLatin1String kSqlitePrefix("sqlite:");

Source sqliteSource(const QString &text)
{
    const QString path = text.mid(kSqlitePrefix.size());
    if (path.isEmpty())
        throw usageError(QStringLiteral("%1 names no database file").arg(text));
    // The engine refuses a missing file too; this says so as an input error, and never lets
    // Qt's driver create an empty database in its place.
    const QFileInfo file(path);
    if (!file.isFile())
        throw inputError(QStringLiteral("no SQLite database file '%1'").arg(path));
    Source s;
    s.alias.driver = QStringLiteral("SQLITE");
    s.alias.path = file.absoluteFilePath();
    s.aliasPart = file.completeBaseName().isEmpty() ? file.fileName() : file.completeBaseName();
    return s;
}

Source postgresSource(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        throw usageError(QStringLiteral("'%1' is not a valid URI: %2").arg(text, url.errorString()));
    if (!url.password().isNull() || url.userInfo().contains(QLatin1Char(':')))
        throw usageError(QStringLiteral("a password in the URI would show in the process list and the shell's "
                                        "history; give it in PGPASSWORD or ~/.pgpass"));
    if (url.hasQuery() || url.hasFragment())
        throw usageError(QStringLiteral("the URI takes no parameters: %1").arg(text));
    QString database = url.path(QUrl::FullyDecoded);
    if (database.startsWith(QLatin1Char('/')))
        database.remove(0, 1);
    if (database.isEmpty() || database.contains(QLatin1Char('/')))
        throw usageError(QStringLiteral("the URI names no database: %1 (postgresql://user@host:port/database)").arg(text));
    Source s;
    s.alias.driver = QStringLiteral("POSTGRES");
    s.alias.host = url.host(QUrl::FullyDecoded);
    s.alias.port = url.port(5432);
    s.alias.database = database;
    s.alias.user = url.userName(QUrl::FullyDecoded);
    s.aliasPart = database;
    return s;
}

Source registrySource(const QString &name, const QString &registryPath)
{
    if (!QFileInfo(registryPath).isFile())
        throw inputError(QStringLiteral("unknown alias '%1': there is no alias registry %2").arg(name, registryPath));
    const auto def = engine::AliasRegistry(registryPath).find(name);
    if (!def)
        throw inputError(QStringLiteral("unknown alias '%1' in %2").arg(name, registryPath));
    if (def->driver == QLatin1String("SQLITE") && !QFileInfo(def->path).isFile())
        throw inputError(QStringLiteral("Database file '%1' of alias '%2' does not exist.").arg(def->path, def->name));
    Source s;
    s.alias = *def;
    s.aliasPart = def->name; // as the alias chooser lists it, however it was typed here
    s.fromRegistry = true;
    return s;
}

} // namespace

Source resolveSource(const QString &text, const QString &registryPath)
{
    if (text.isEmpty())
        throw usageError(QStringLiteral("SOURCE is empty"));
    Source s;
    if (text.startsWith(kSqlitePrefix, Qt::CaseInsensitive))
        s = sqliteSource(text);
    else if (text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
             || text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        s = postgresSource(text);
    else
        s = registrySource(text, registryPath);
    s.text = text;
    return s;
}

Connection::Connection(const Source &source, const QString &registryPath) : source_(source)
{
    QString registry = registryPath;
    QString name = source.alias.name;
    if (!source.fromRegistry) {
        registryDir_ = std::make_unique<QTemporaryDir>();
        if (!registryDir_->isValid())
            throw ToolError(ToolError::Kind::Failed,
                            QStringLiteral("cannot create a temporary directory: %1").arg(registryDir_->errorString()));
        registry = registryDir_->filePath(QStringLiteral("aliases.ini"));
        engine::AliasRegistry made(registry);
        engine::AliasDef def = source.alias;
        // The engine's messages name the alias; a name the registry cannot hold gets a plain one.
        def.name = source.aliasPart;
        try {
            made.add(def);
        } catch (const engine::EngineError &) {
            def.name = QStringLiteral("source");
            made.add(def);
        }
        name = def.name;
    }
    session_ = std::make_unique<engine::Session>(QStringLiteral("pelldrake-db"), registry);
    database_ = std::make_unique<engine::Database>(*session_);
    database_->setDatabaseName(name);
    // No login dialog: a server password comes from PGPASSWORD or ~/.pgpass through libpq.
    database_->setLoginPrompt(false);
    try {
        database_->open();
    } catch (const engine::EngineError &e) {
        QString text = e.message();
        if (text.contains(QLatin1String("no password supplied")))
            text += QStringLiteral("\n(the tool asks for no password: give it in PGPASSWORD or ~/.pgpass)");
        throw ToolError(ToolError::Kind::Failed, text);
    }
}

Connection::~Connection() = default;

QString Connection::aliasName() const
{
    return database_->databaseName();
}

QStringList Connection::tableNames(bool extensions)
{
    return session_->tableNames(aliasName(), QString(), extensions, false);
}

bool Connection::hasTable(const QString &name)
{
    for (const bool extensions : {false, true})
        if (session_->tableNames(aliasName(), QString(), extensions, true).contains(name, Qt::CaseInsensitive))
            return true;
    return false;
}

std::unique_ptr<engine::Table> Connection::openTable(const QString &name)
{
    auto table = std::make_unique<engine::Table>(*session_);
    table->setDatabaseName(aliasName());
    table->setTableName(name);
    try {
        table->open();
    } catch (const engine::EngineError &e) {
        bool listed = true; // when the names cannot be read, the table's own error says more
        try {
            listed = hasTable(name);
        } catch (const engine::EngineError &) {
        }
        if (!listed)
            throw inputError(QStringLiteral("no table '%1' in %2").arg(name, source_.text));
        throw ToolError(ToolError::Kind::Failed, e.message());
    }
    return table;
}

} // namespace pelldrake::db::tool
