#include "engine/session.h"

#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/sql_util.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QtGlobal>
#include <algorithm>

namespace pelldrake::engine {

Session::Session(const QString &name, const QString &registryPath, QObject *parent)
    : QObject(parent), m_name(name), m_registry(registryPath)
{
}

Session::~Session()
{
    // Connections outlive nothing: close them while the session still exists.
    const auto dbs = m_databases;
    for (Database *db : dbs)
        db->close();
    m_databases.clear();
}

Session &Session::defaultSession()
{
    static Session *session = [] {
        auto *s = new Session(QStringLiteral("Default"), AliasRegistry::defaultPath());
        try {
            s->aliases().ensureDefaults();
        } catch (const EngineError &e) {
            // The program stays usable with the aliases it has; the reason is not lost.
            qWarning("%s", qPrintable(e.message()));
        }
        return s;
    }();
    return *session;
}

QStringList Session::aliasNames() const
{
    return m_registry.names();
}

QStringList Session::tableNames(const QString &alias, const QString &pattern, bool extensions,
                                bool systemTables)
{
    Database *db = findDatabase(alias);
    std::unique_ptr<Database> temporary;
    if (!db) {
        temporary = std::make_unique<Database>(*this);
        temporary->setDatabaseName(alias);
        temporary->open();
        db = temporary.get();
    }
    struct Entry {
        QString plain;
        QString qualified;
        bool system;
    };
    // Entries are read back by Table: "schema.table" names that table in that schema, so a name
    // that holds a dot itself (or starts with a quote) is written quoted, and always opens the
    // table of that literal name.
    auto part = [](const QString &n) {
        return n.contains(QLatin1Char('.')) || n.startsWith(QLatin1Char('"')) ? quoteIdent(n) : n;
    };
    QList<Entry> entries;
    if (db->isSqlite()) {
        QSqlQuery q = runQuery(db->sqlDatabase(),
                               QStringLiteral("SELECT name FROM main.sqlite_master WHERE type = 'table'"),
                               {}, QStringLiteral("Cannot list the tables"));
        while (q.next()) {
            const QString n = q.value(0).toString();
            entries << Entry{part(n), QStringLiteral("main.") + part(n), n.startsWith(QLatin1String("sqlite_"))};
        }
    } else {
        QSqlQuery q = runQuery(db->sqlDatabase(),
                               QStringLiteral("SELECT n.nspname, c.relname, pg_catalog.pg_table_is_visible(c.oid) "
                                              "FROM pg_catalog.pg_class c "
                                              "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                                              "WHERE c.relkind IN ('r', 'p') AND NOT c.relispartition"),
                               {}, QStringLiteral("Cannot list the tables"));
        while (q.next()) {
            const QString sch = q.value(0).toString();
            const QString n = q.value(1).toString();
            const bool visible = q.value(2).toBool();
            const bool system = sch == QLatin1String("pg_catalog")
                || sch == QLatin1String("information_schema") || sch.startsWith(QLatin1String("pg_toast"))
                || sch.startsWith(QLatin1String("pg_temp"));
            const QString qualified = part(sch) + QLatin1Char('.') + part(n);
            entries << Entry{visible ? part(n) : qualified, qualified, system};
        }
    }
    QRegularExpression re;
    if (!pattern.isEmpty())
        re = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (const Entry &e : entries) {
        if (e.system && !systemTables)
            continue;
        if (!pattern.isEmpty() && !re.match(e.plain).hasMatch() && !re.match(e.qualified).hasMatch())
            continue;
        out << (extensions ? e.qualified : e.plain);
    }
    std::sort(out.begin(), out.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return out;
}

void Session::forgetAllPasswords()
{
    m_credentials.clear();
}

Database *Session::findDatabase(const QString &alias) const
{
    for (Database *db : m_databases)
        if (db->connected() && db->databaseName() == alias)
            return db;
    for (Database *db : m_databases)
        if (db->connected() && db->databaseName().compare(alias, Qt::CaseInsensitive) == 0)
            return db;
    return nullptr;
}

void Session::rememberCredentials(const QString &alias, const Credentials &c)
{
    m_credentials.insert(alias.toLower(), c);
}

bool Session::cachedCredentials(const QString &alias, Credentials &out) const
{
    auto it = m_credentials.constFind(alias.toLower());
    if (it == m_credentials.constEnd())
        return false;
    out = *it;
    return true;
}

void Session::registerDatabase(Database *db)
{
    if (!m_databases.contains(db))
        m_databases << db;
}

void Session::unregisterDatabase(Database *db)
{
    m_databases.removeAll(db);
}

} // namespace pelldrake::engine
