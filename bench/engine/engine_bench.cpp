// Timing of the table cursor on a large SQLite table, against a plain forward-only scan.
//   engine_bench [rows] [database file]
// Without a file the table is generated in a temporary directory (and removed afterwards).
#include "app/engine/engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
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
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    QString path = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("bench.sqlite"));
    if (!QFile::exists(path)) {
        QElapsedTimer g;
        g.start();
        generate(path, rows);
        std::printf("generated %d rows in %.0f ms\n", rows, g.nsecsElapsed() / 1e6);
    }

    Session session(QStringLiteral("Bench"), dir.filePath(QStringLiteral("aliases.ini")));
    AliasDef def;
    def.name = QStringLiteral("bench");
    def.driver = QStringLiteral("SQLITE");
    def.path = path;
    session.aliases().add(def);
    Database db(session);
    db.setDatabaseName(QStringLiteral("bench"));
    db.open();

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
    walked = 0;
    for (table.first(); !table.eof(); table.next()) {
        for (int f = 0; f < table.fieldCount(); ++f)
            table.field(f)->asString();
        ++walked;
    }
    std::printf("walk first/next from a fresh open (keys read page by page), every field as text: %.0f ms"
                " for %d rows\n",
                t.nsecsElapsed() / 1e6, walked);

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
        q.prepare(QStringLiteral("SELECT id, name, note FROM big WHERE name GLOB ? ORDER BY id LIMIT 50"));
        q.addBindValue(prefix + QLatin1Char('*'));
        q.exec();
        while (q.next())
            for (int i = 0; i < 3; ++i)
                q.value(i).toString();
        rawMs = std::min(rawMs, t.nsecsElapsed() / 1e6);
    }
    std::printf("filter name = '%s*', first 50 rows: %.2f ms; raw SQL (GLOB, LIMIT 50): %.2f ms; ratio %.1f\n",
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
        q.prepare(QStringLiteral("SELECT id, name, note FROM big WHERE name GLOB ? ORDER BY id"));
        q.addBindValue(prefix + QLatin1Char('*'));
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
    std::printf("peak RSS over start of open: +%.1f MiB\n", rssMiB() - rssBefore);
    return 0;
}
