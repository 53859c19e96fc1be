// Timing of the table cursor on a large table, against a plain forward-only scan.
//   engine_bench [rows] [database file]       SQLite
//   engine_bench --postgres [rows]            PostgreSQL: the server PELLDRAKE_TEST_PG_HOST,
//                                             _PORT, _DB, _USER name (as scripts/pg.sh prints)
// Without a file the SQLite table is generated in a temporary directory (and removed
// afterwards). On PostgreSQL the table "big" is made on the server unless it has `rows` rows
// already, and kept; there its name is indexed too (big_name).
#include "engine/engine.h"
#include "engine/filter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

using namespace pelldrake::engine;

namespace {

// Resident set size in MiB (Linux); 0 where not available.
double rssMiB()
{
#if defined(__linux__)
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
#endif
    return 0.0;
}

void generate(const QString &path, int rows)
{
    const QString conn = QStringLiteral("bench_generate");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot create %s", qPrintable(path));
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE big (id INTEGER PRIMARY KEY, name VARCHAR(40), note TEXT)"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO big (id, name, note) VALUES (?, ?, ?)"));
        quint32 s = 12345;
        for (int i = 1; i <= rows; ++i) {
            s = s * 1664525u + 1013904223u;
            q.bindValue(0, i);
            q.bindValue(1, QStringLiteral("Customer %1 %2").arg(s % 100000).arg(i));
            q.bindValue(2, QStringLiteral("Note for record %1: some free text of moderate length, %2.")
                               .arg(i)
                               .arg(s, 8, 16, QLatin1Char('0')));
            q.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
}

// The same rows on the server, made there (a million in a few seconds), with names spread as the
// SQLite generator spreads them and an ordinary index on the name.
void generatePostgres(const QSqlDatabase &db, int rows)
{
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT count(*) FROM big")) && q.next() && q.value(0).toLongLong() == rows)
        return;
    QElapsedTimer g;
    g.start();
    const QStringList statements = {
        QStringLiteral("DROP TABLE IF EXISTS big"),
        QStringLiteral("CREATE TABLE big (id INTEGER PRIMARY KEY, name VARCHAR(40), note TEXT)"),
        QStringLiteral("INSERT INTO big SELECT i, 'Customer ' || (h % 100000) || ' ' || i, "
                       "'Note for record ' || i || ': some free text of moderate length, ' || "
                       "lpad(to_hex(h), 8, '0') || '.' "
                       "FROM (SELECT i, (i * 2654435761) % 4294967296 AS h "
                       "FROM generate_series(1, %1) AS i) AS s").arg(rows),
        QStringLiteral("CREATE INDEX big_name ON big (name)"),
        QStringLiteral("VACUUM ANALYZE big"),
    };
    for (const QString &sql : statements)
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    std::printf("generated %d rows on the server in %.0f ms\n", rows, g.nsecsElapsed() / 1e6);
}

double scan(const QSqlDatabase &db, qint64 &chars)
{
    QElapsedTimer t;
    t.start();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT id, name, note FROM big"));
    chars = 0;
    while (q.next())
        for (int i = 0; i < 3; ++i)
            chars += q.value(i).toString().size();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool postgres = args.removeAll(QStringLiteral("--postgres")) > 0;
    // --walk: only the walk from a fresh open, three times (for a profiler).
    const bool walkOnly = args.removeAll(QStringLiteral("--walk")) > 0;
    const int rows = !args.isEmpty() ? args.at(0).toInt() : 1000000;
    QTemporaryDir dir;
    Session session(QStringLiteral("Bench"), dir.filePath(QStringLiteral("aliases.ini")));
    AliasDef def;
    def.name = QStringLiteral("bench");
    if (postgres) {
        def.driver = QStringLiteral("POSTGRES");
        def.host = qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST", QStringLiteral("127.0.0.1"));
        def.port = qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT");
        if (def.port == 0)
            def.port = 5432;
        def.database = qEnvironmentVariable("PELLDRAKE_TEST_PG_DB", QStringLiteral("pelldrake"));
        def.user = qEnvironmentVariable("PELLDRAKE_TEST_PG_USER", QStringLiteral("pelldrake"));
    } else {
        def.driver = QStringLiteral("SQLITE");
        def.path = args.size() > 1 ? args.at(1) : dir.filePath(QStringLiteral("bench.sqlite"));
        if (!QFile::exists(def.path)) {
            QElapsedTimer g;
            g.start();
            generate(def.path, rows);
            std::printf("generated %d rows in %.0f ms\n", rows, g.nsecsElapsed() / 1e6);
        }
    }
    session.aliases().add(def);
    Database db(session);
    db.setDatabaseName(QStringLiteral("bench"));
    db.open();
    if (postgres)
        generatePostgres(db.sqlDatabase(), rows);
    // The prefix predicate as the engine writes it for each database, for the raw queries.
    const QString prefixPredicate = postgres
        ? QStringLiteral("name >= ? AND name < ? AND name LIKE ? ESCAPE '\\'")
        : QStringLiteral("name GLOB ?");
    const auto bindPrefix = [&](QSqlQuery &q, const QString &p) {
        if (postgres) {
            q.addBindValue(p);
            q.addBindValue(codePointSuccessor(p));
            q.addBindValue(likePrefixPattern(p));
        } else {
            q.addBindValue(globPrefixPattern(p));
        }
    };
    std::printf("%s, %d rows\n", postgres ? "PostgreSQL" : "SQLite", rows);

    // Open until the values of the first 50 rows are there.
    const double rssBefore = rssMiB();
    QElapsedTimer t;
    t.start();
    Table table(session);
    table.setDatabaseName(QStringLiteral("bench"));
    table.setTableName(QStringLiteral("big"));
    table.open();
    const double openOnlyMs = t.nsecsElapsed() / 1e6;
    qint64 chars = 0;
    for (int r = 0; r < 50; ++r)
        for (int f = 0; f < table.fieldCount(); ++f)
            chars += table.textAt(r, f).size();
    const double openMs = t.nsecsElapsed() / 1e6;
    const double rssOpen = rssMiB();
    std::printf("open + first 50 rows: %.1f ms (open() alone %.1f ms), RSS +%.1f MiB\n", openMs, openOnlyMs,
                rssOpen - rssBefore);
    if (walkOnly) {
        for (int round = 0; round < 3; ++round) {
            table.close();
            table.open();
            t.restart();
            const std::clock_t cpu0 = std::clock();
            int n = 0;
            for (table.first(); !table.eof(); table.next(), ++n)
                for (int f = 0; f < table.fieldCount(); ++f)
                    table.field(f)->asString();
            std::printf("walk from a fresh open: %.0f ms (CPU %.0f ms) for %d rows\n", t.nsecsElapsed() / 1e6,
                        double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC, n);
        }
        return 0;
    }
    t.restart();
    const int records = table.recordCount();
    std::printf("record count (counted on first request): %d in %.1f ms\n", records, t.nsecsElapsed() / 1e6);

    t.restart();
    table.last();
    const QString lastId = table.field(0)->asString();
    std::printf("last(): %.1f ms (recNo %d, id %s), RSS +%.1f MiB\n", t.nsecsElapsed() / 1e6, table.recNo(),
                qPrintable(lastId), rssMiB() - rssBefore);

    // The machine may be busy with other work: walk and scan alternate, the best of each counts.
    const int rounds = 3;
    double walkMs = 1e300, scanMs = 1e300;
    qint64 scanChars = 0, walkChars = 0;
    int walked = 0;
    for (int round = 0; round < rounds; ++round) {
        scanMs = std::min(scanMs, scan(db.sqlDatabase(), scanChars));
        t.restart();
        walkChars = 0;
        walked = 0;
        for (table.first(); !table.eof(); table.next()) {
            for (int f = 0; f < table.fieldCount(); ++f)
                walkChars += table.field(f)->asString().size();
            ++walked;
        }
        walkMs = std::min(walkMs, t.nsecsElapsed() / 1e6);
    }
    std::printf("walk first/next, every field as text: %.0f ms for %d rows (%lld chars), best of %d\n", walkMs,
                walked, (long long)walkChars, rounds);
    std::printf("forward-only QSqlQuery scan: %.0f ms (%lld chars), best of %d\n", scanMs, (long long)scanChars,
                rounds);
    std::printf("walk speed / scan speed: %.2f\n", scanMs / walkMs);

    // A walk from a fresh keyset: the keys come in growing pages as the walk needs them.
    table.close();
    table.open();
    t.restart();
    const std::clock_t cpu0 = std::clock();
    walked = 0;
    for (table.first(); !table.eof(); table.next()) {
        for (int f = 0; f < table.fieldCount(); ++f)
            table.field(f)->asString();
        ++walked;
    }
    // CPU time of this process: on PostgreSQL the rest of the wall time is spent waiting for the
    // server.
    std::printf("walk first/next from a fresh open (keys read page by page), every field as text: %.0f ms"
                " (CPU %.0f ms) for %d rows\n",
                t.nsecsElapsed() / 1e6, double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC, walked);

    // A prefix filter on the unindexed name: the first screen, a walk to the end, last().
    const QString prefix = QStringLiteral("Customer 1");
    double filterMs = 1e300, rawMs = 1e300;
    for (int round = 0; round < rounds; ++round) {
        table.setFiltered(false);
        t.restart();
        table.setFilter(QStringLiteral("name = '%1*'").arg(prefix));
        table.setFiltered(true);
        for (int r = 0; r < 50; ++r)
            for (int f = 0; f < table.fieldCount(); ++f)
                table.textAt(r, f);
        filterMs = std::min(filterMs, t.nsecsElapsed() / 1e6);
        t.restart();
        QSqlQuery q(db.sqlDatabase());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT id, name, note FROM big WHERE %1 ORDER BY id LIMIT 50").arg(prefixPredicate));
        bindPrefix(q, prefix);
        q.exec();
        while (q.next())
            for (int i = 0; i < 3; ++i)
                q.value(i).toString();
        rawMs = std::min(rawMs, t.nsecsElapsed() / 1e6);
    }
    std::printf("filter name = '%s*', first 50 rows: %.2f ms; raw SQL (same predicate, LIMIT 50): %.2f ms; ratio %.1f\n",
                qPrintable(prefix), filterMs, rawMs, filterMs / std::max(rawMs, 0.001));
    double fwalkMs = 1e300, fscanMs = 1e300;
    int fwalked = 0;
    for (int round = 0; round < rounds; ++round) {
        table.setFiltered(false);
        table.setFiltered(true);
        t.restart();
        fwalked = 0;
        for (table.first(); !table.eof(); table.next()) {
            for (int f = 0; f < table.fieldCount(); ++f)
                table.field(f)->asString();
            ++fwalked;
        }
        fwalkMs = std::min(fwalkMs, t.nsecsElapsed() / 1e6);
        t.restart();
        QSqlQuery q(db.sqlDatabase());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT id, name, note FROM big WHERE %1 ORDER BY id").arg(prefixPredicate));
        bindPrefix(q, prefix);
        q.exec();
        while (q.next())
            for (int i = 0; i < 3; ++i)
                q.value(i).toString();
        fscanMs = std::min(fscanMs, t.nsecsElapsed() / 1e6);
    }
    std::printf("filtered walk to the end, every field as text: %.0f ms for %d rows; forward-only scan %.0f ms;"
                " scan / walk %.2f\n",
                fwalkMs, fwalked, fscanMs, fscanMs / fwalkMs);
    table.setFiltered(false);
    table.setFiltered(true);
    t.restart();
    table.last();
    std::printf("filtered last(): %.1f ms (recNo %d)\n", t.nsecsElapsed() / 1e6, table.recNo());

    // Typing a name into the filter, one keystroke at a time: each sets the filter and reads the
    // text of the first 50 rows. In the key's order, and on PostgreSQL in the name index's order.
    const QString typed = QStringLiteral("Customer 4711");
    for (const QString &index : postgres ? QStringList{QString(), QStringLiteral("big_name")} : QStringList{QString()}) {
        table.setFiltered(false);
        table.setIndexName(index);
        table.setFiltered(true);
        double worst = 0, total = 0;
        QString worstPrefix;
        int matches = 0;
        for (int n = 1; n <= typed.size(); ++n) {
            const QString prefix = typed.left(n);
            double best = 1e300;
            for (int round = 0; round < rounds; ++round) {
                table.setFilter(QString());
                t.restart();
                table.setFilter(QStringLiteral("name = '%1*'").arg(prefix));
                for (int r = 0; r < 50 && r < table.rowCount(); ++r)
                    for (int f = 0; f < table.fieldCount(); ++f)
                        table.textAt(r, f);
                best = std::min(best, t.nsecsElapsed() / 1e6);
            }
            matches = table.rowCount();
            total += best;
            if (best > worst) {
                worst = best;
                worstPrefix = prefix;
            }
        }
        std::printf("typing '%s' into the filter (%s order): slowest keystroke %.2f ms ('%s*'), mean %.2f ms;"
                    " %d rows shown for the whole name\n",
                    qPrintable(typed), index.isEmpty() ? "key" : "name index", worst, qPrintable(worstPrefix),
                    total / typed.size(), matches);
    }
    std::printf("peak RSS over start of open: +%.1f MiB\n", rssMiB() - rssBefore);
    return 0;
}
