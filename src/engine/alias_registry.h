#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace pelldrake::engine {

// One named data source. Passwords are never part of it.
struct AliasDef {
    QString name;
    QString driver; // "SQLITE" or "POSTGRES"
    QString path;   // SQLite database file
    QString host;
    int port = 5432;
    QString database;
    QString user;
    bool readOnly = false;
};

// The per-user INI file of aliases: one section per alias, written atomically.
class AliasRegistry {
public:
    explicit AliasRegistry(QString iniPath);

    QString iniPath() const { return m_path; }
    QStringList names() const; // sorted, case-insensitively
    std::optional<AliasDef> find(const QString &name) const;
    void add(const AliasDef &def); // replaces an alias of the same name
    void remove(const QString &name);
    // Gives an alias a new name, keeping its place and settings. Throws when `from` is unknown or
    // `to` is taken by another alias or is not a valid name.
    void rename(const QString &from, const QString &to);

    // A name based on `base` that no alias has yet ("orders", "orders_2", ...), made valid.
    QString uniqueName(const QString &base) const;
    // The SQLite alias whose file is `path` (compared as absolute, canonical paths); empty when none.
    QString aliasOfFile(const QString &path) const;
    // The alias of a SQLite file: the one that has it already, or a new one named after the file's
    // base name. The file is checked first: throws, registering nothing, when it is not SQLite.
    QString aliasForFile(const QString &path);

    // <per-user configuration location>/aliases.ini
    static QString defaultPath();
    // <per-user data location>/demo.sqlite
    static QString defaultDemoDatabasePath();
    static QString demoAliasName() { return QStringLiteral("PelldrakeDemo"); }

    // When the registry file does not exist yet: creates it with the demo alias and builds the
    // demo database at `demoPath` (default: defaultDemoDatabasePath()).
    void ensureDefaults(const QString &demoPath = QString());

private:
    QString m_path;
};

// Empty when `path` is a readable SQLite database file, else why it is not (for the user).
QString sqliteFileProblem(const QString &path);

// Builds the demo SQLite database (several tables, every common column type, indexes, one table
// without index, one table of at least 10,000 rows). Overwrites nothing: throws if `path` exists.
void createDemoDatabase(const QString &path);

} // namespace pelldrake::engine
