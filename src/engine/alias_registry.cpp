#include "engine/alias_registry.h"

#include "engine/engine_error.h"
#include "engine/save_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

namespace pelldrake::engine {

namespace {

// The registry is a small INI file we read and write ourselves: CR LF line ends on every
// platform, either line end accepted, replaced atomically.
QList<AliasDef> readAll(const QString &path)
{
    QList<AliasDef> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QString text = QString::fromUtf8(f.readAll());
    AliasDef *cur = nullptr;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
            continue;
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) {
            AliasDef d;
            d.name = t.mid(1, t.size() - 2);
            out << d;
            cur = &out.last();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!cur || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed().toUpper();
        const QString value = line.mid(eq + 1);
        if (key == QLatin1String("DRIVER"))
            cur->driver = value.trimmed().toUpper();
        else if (key == QLatin1String("PATH"))
            cur->path = value;
        else if (key == QLatin1String("HOST"))
            cur->host = value.trimmed();
        else if (key == QLatin1String("PORT"))
            cur->port = value.trimmed().toInt();
        else if (key == QLatin1String("DATABASE"))
            cur->database = value.trimmed();
        else if (key == QLatin1String("USER"))
            cur->user = value.trimmed();
        else if (key == QLatin1String("READONLY"))
            cur->readOnly = value.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }
    return out;
}

void writeAll(const QString &path, const QList<AliasDef> &defs)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString text;
    const QLatin1String nl("\r\n");
    for (const AliasDef &d : defs) {
        text += QLatin1Char('[') + d.name + QLatin1Char(']') + nl;
        text += QLatin1String("DRIVER=") + d.driver + nl;
        if (d.driver == QLatin1String("SQLITE")) {
            text += QLatin1String("PATH=") + d.path + nl;
        } else {
            text += QLatin1String("HOST=") + d.host + nl;
            text += QLatin1String("PORT=") + QString::number(d.port) + nl;
            text += QLatin1String("DATABASE=") + d.database + nl;
            text += QLatin1String("USER=") + d.user + nl;
        }
        if (d.readOnly)
            text += QLatin1String("READONLY=true") + nl;
        text += nl;
    }
    QString reason;
    if (!saveWholeFile(path, text.toUtf8(), &reason))
        throw EngineError(QStringLiteral("Cannot write the alias registry %1: %2").arg(path, reason));
}

bool badChars(const QString &s)
{
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x20; });
}

// A section name the file can hold and read back as it was.
bool validName(const QString &name)
{
    return !name.trimmed().isEmpty() && name == name.trimmed() && !badChars(name)
        && !name.contains(QLatin1Char('[')) && !name.contains(QLatin1Char(']'));
}

bool nameTaken(const QList<AliasDef> &all, const QString &name)
{
    // find() falls back to a case-insensitive match, so names differing only in case would
    // shadow each other.
    return std::any_of(all.begin(), all.end(),
                       [&](const AliasDef &d) { return d.name.compare(name, Qt::CaseInsensitive) == 0; });
}

QString canonicalPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

QString sqliteFileProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("The file %1 does not exist.").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 is not a file.").arg(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("The file %1 cannot be read: %2").arg(path, f.errorString());
    // Every SQLite database file starts with this header; anything else would be turned into
    // (or refused as) a database only at the first statement.
    static const QByteArray header("SQLite format 3\0", 16);
    if (f.read(header.size()) != header)
        return QStringLiteral("The file %1 is not a SQLite database.").arg(path);
    return QString();
}

AliasRegistry::AliasRegistry(QString iniPath) : m_path(std::move(iniPath)) {}

QStringList AliasRegistry::names() const
{
    QStringList out;
    for (const AliasDef &d : readAll(m_path))
        out << d.name;
    std::sort(out.begin(), out.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return out;
}

std::optional<AliasDef> AliasRegistry::find(const QString &name) const
{
    if (name.isEmpty())
        return std::nullopt;
    const QList<AliasDef> all = readAll(m_path);
    for (const AliasDef &d : all)
        if (d.name == name)
            return d;
    for (const AliasDef &d : all)
        if (d.name.compare(name, Qt::CaseInsensitive) == 0)
            return d;
    return std::nullopt;
}

void AliasRegistry::add(const AliasDef &def)
{
    if (!validName(def.name))
        throw EngineError(QStringLiteral("Invalid alias name '%1'.").arg(def.name));
    if (def.driver != QLatin1String("SQLITE") && def.driver != QLatin1String("POSTGRES"))
        throw EngineError(QStringLiteral("Unknown driver '%1' for alias '%2'.").arg(def.driver, def.name));
    for (const QString &v : {def.path, def.host, def.database, def.user})
        if (badChars(v))
            throw EngineError(QStringLiteral("Invalid characters in alias '%1'.").arg(def.name));
    QList<AliasDef> all = readAll(m_path);
    all.erase(std::remove_if(all.begin(), all.end(), [&](const AliasDef &d) { return d.name == def.name; }),
              all.end());
    all << def;
    writeAll(m_path, all);
}

void AliasRegistry::remove(const QString &name)
{
    QList<AliasDef> all = readAll(m_path);
    const auto n = all.size();
    all.erase(std::remove_if(all.begin(), all.end(), [&](const AliasDef &d) { return d.name == name; }),
              all.end());
    if (all.size() != n)
        writeAll(m_path, all);
}

void AliasRegistry::rename(const QString &from, const QString &to)
{
    if (!validName(to))
        throw EngineError(QStringLiteral("Invalid alias name '%1'.").arg(to));
    QList<AliasDef> all = readAll(m_path);
    const auto index = std::find_if(all.cbegin(), all.cend(), [&](const AliasDef &d) { return d.name == from; })
                       - all.cbegin();
    if (index == all.size())
        throw EngineError(QStringLiteral("Unknown alias '%1'.").arg(from));
    if (from == to)
        return;
    QList<AliasDef> others = all;
    others.removeAt(index);
    if (nameTaken(others, to))
        throw EngineError(QStringLiteral("An alias named '%1' exists already.").arg(to));
    all[index].name = to;
    writeAll(m_path, all);
}

QString AliasRegistry::uniqueName(const QString &base) const
{
    QString name = base.trimmed();
    for (QChar &c : name)
        if (c.unicode() < 0x20 || c == QLatin1Char('[') || c == QLatin1Char(']'))
            c = QLatin1Char('_');
    if (name.isEmpty())
        name = QStringLiteral("Database");
    const QList<AliasDef> all = readAll(m_path);
    QString candidate = name;
    for (int n = 2; nameTaken(all, candidate); ++n)
        candidate = name + QLatin1Char('_') + QString::number(n);
    return candidate;
}

QString AliasRegistry::aliasOfFile(const QString &path) const
{
    const QString wanted = canonicalPath(path);
    for (const AliasDef &d : readAll(m_path))
        if (d.driver == QLatin1String("SQLITE") && !d.path.isEmpty() && canonicalPath(d.path) == wanted)
            return d.name;
    return QString();
}

QString AliasRegistry::aliasForFile(const QString &path)
{
    const QString problem = sqliteFileProblem(path);
    if (!problem.isEmpty())
        throw EngineError(problem);
    const QString existing = aliasOfFile(path);
    if (!existing.isEmpty())
        return existing;
    AliasDef d;
    d.name = uniqueName(QFileInfo(path).completeBaseName());
    d.driver = QStringLiteral("SQLITE");
    d.path = QDir::toNativeSeparators(canonicalPath(path));
    add(d);
    return d.name;
}

QString AliasRegistry::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
        + QLatin1String("/aliases.ini");
}

QString AliasRegistry::defaultDemoDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
        + QLatin1String("/demo.sqlite");
}

void AliasRegistry::ensureDefaults(const QString &demoPath)
{
    if (QFileInfo::exists(m_path))
        return;
    const QString demo = demoPath.isEmpty() ? defaultDemoDatabasePath() : demoPath;
    if (!QFileInfo::exists(demo))
        createDemoDatabase(demo);
    AliasDef d;
    d.name = demoAliasName();
    d.driver = QStringLiteral("SQLITE");
    d.path = QDir::toNativeSeparators(QFileInfo(demo).absoluteFilePath());
    writeAll(m_path, {d});
}

} // namespace pelldrake::engine
