#pragma once

#include "engine/alias_registry.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace pelldrake::engine {

class Database;
class LoginPrompt;

// A set of connections sharing one alias registry, one login prompt and the passwords given in
// this run (held in memory only, until forgetAllPasswords()).
class Session : public QObject {
    Q_OBJECT
public:
    Session(const QString &name, const QString &registryPath, QObject *parent = nullptr);
    ~Session() override;

    // "Default", registry at AliasRegistry::defaultPath(); created on first use, which also
    // creates the registry with the demo alias when it does not exist yet.
    static Session &defaultSession();

    QString name() const { return m_name; }
    AliasRegistry &aliases() { return m_registry; }
    const AliasRegistry &aliases() const { return m_registry; }

    QStringList aliasNames() const; // sorted
    // Table names of an alias, sorted. `pattern` is empty (all) or a wildcard pattern ('*', '?').
    // `extensions`: names qualified by their schema ("main.orders", "public.orders").
    // Uses a connected Database of this alias when there is one, else a short-lived connection.
    QStringList tableNames(const QString &alias, const QString &pattern, bool extensions,
                           bool systemTables);

    void forgetAllPasswords();
    void setLoginPrompt(LoginPrompt *prompt) { m_prompt = prompt; }
    LoginPrompt *loginPrompt() const { return m_prompt; }

    // Connected database of this session whose database name is `alias`, or nullptr.
    Database *findDatabase(const QString &alias) const;

    // Used by Database.
    struct Credentials {
        QString user;
        QString password;
    };
    void rememberCredentials(const QString &alias, const Credentials &c);
    bool cachedCredentials(const QString &alias, Credentials &out) const;
    void registerDatabase(Database *db);
    void unregisterDatabase(Database *db);

private:
    QString m_name;
    AliasRegistry m_registry;
    LoginPrompt *m_prompt = nullptr;
    QHash<QString, Credentials> m_credentials;
    QList<Database *> m_databases;
};

} // namespace pelldrake::engine
