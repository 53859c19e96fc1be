// Timing of the engine's forward-only row scan (what the dump and the export read through),
// writing every row as tab-delimited text, against the sqlite3 shell's ".mode tabs" output of
// the same table when the shell is installed.
//   row_scan_bench [rows ...]      default: 100000 1000000
// It also times the scan without output and a bare QSqlQuery read, to show where the time goes.
#include "engine/engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace pelldrake::engine;

namespace {

// One statement, so generating a million rows takes a second or two.
void generate(const QString &path, int rows)
{
    const QString conn = QStringLiteral("scan_bench_generate");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot create %s", qPrintable(path));
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE big (id INTEGER PRIMARY KEY, name VARCHAR(40), note TEXT, "
                              "amount REAL, born DATE)"));
        if (!q.exec(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO big SELECT i, 'Customer ' || (i * 7919 % 100000) || ' ' || i, "
                "'Note for record ' || i || ': some free text of moderate length, ' || hex(i * 2654435761 % 4294967296) || '.', "
                "(i % 100000) / 100.0, date('2000-01-01', '+' || (i % 9000) || ' days') FROM n")
                        .arg(rows)))
            qFatal("cannot fill: %s", qPrintable(q.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
}

// Every row as tab-delimited UTF-8, the way the export writes it.
double scanToFile(Table &table, RowScan::Reading reading, const QString &out, qint64 &rowsRead)
{
    QElapsedTimer t;
    t.start();
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(out));
    RowScan scan(table, reading);
    QByteArray buffer;
    const int n = scan.fieldCount();
    while (scan.next()) {
        for (int i = 0; i < n; ++i) {
            if (i)
                buffer += '\t';
            buffer += scan.utf8(i);
        }
        buffer += '\n';
        if (buffer.size() > (1 << 16)) {
            file.write(buffer);
            buffer.clear();
        }
    }
    file.write(buffer);
    file.close();
    rowsRead = scan.rowsRead();
    return t.nsecsElapsed() / 1e6;
}

// The engine's part alone: every field's text, nothing written.
double scanOnly(Table &table, RowScan::Reading reading)
{
    QElapsedTimer t;
    t.start();
    RowScan scan(table, reading);
    qint64 bytes = 0;
    const int n = scan.fieldCount();
    while (scan.next())
        for (int i = 0; i < n; ++i)
            bytes += scan.utf8(i).size();
    const double ms = t.nsecsElapsed() / 1e6;
    return bytes > 0 ? ms : ms;
}

// The driver's floor: a forward-only QSqlQuery reading every value, converting nothing.
double driverOnly(const QSqlDatabase &db)
{
    QElapsedTimer t;
    t.start();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT id, name, note, amount, born FROM big ORDER BY id"));
    qint64 valid = 0;
    while (q.next())
        for (int i = 0; i < 5; ++i)
            valid += q.value(i).isValid();
    return t.nsecsElapsed() / 1e6;
}

double shellToFile(const QString &shell, const QString &db, const QString &out)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setStandardOutputFile(out);
    p.start(shell, {QStringLiteral("-batch"), QStringLiteral("-cmd"), QStringLiteral(".mode tabs"), db,
                    QStringLiteral("SELECT * FROM big")});
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    QTemporaryDir dir;
    Session session(QStringLiteral("Bench"), dir.filePath(QStringLiteral("aliases.ini")));
    for (int rows : sizes) {
        const QString path = dir.filePath(QStringLiteral("scan_%1.sqlite").arg(rows));
        generate(path, rows);
        AliasDef def;
        def.name = QStringLiteral("scan%1").arg(rows);
        def.driver = QStringLiteral("SQLITE");
        def.path = path;
        session.aliases().add(def);
        Database db(session);
        db.setDatabaseName(def.name);
        db.open();
        Table table(session);
        table.setDatabaseName(def.name);
        table.setTableName(QStringLiteral("big"));
        table.open();

        // The machine may be busy: the best of three rounds counts for each side. Each value is
        // read directly through the SQLite handle (what the dump and the export do) and, for
        // comparison, through Qt SQL.
        double scanMs = 1e300, driverScanMs = 1e300, shellMs = 1e300, textMs = 1e300, driverTextMs = 1e300,
               driverMs = 1e300;
        qint64 read = 0;
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        for (int round = 0; round < 3; ++round) {
            scanMs = std::min(scanMs, scanToFile(table, RowScan::Reading::Direct, out, read));
            driverScanMs = std::min(driverScanMs, scanToFile(table, RowScan::Reading::ThroughDriver, out, read));
            textMs = std::min(textMs, scanOnly(table, RowScan::Reading::Direct));
            driverTextMs = std::min(driverTextMs, scanOnly(table, RowScan::Reading::ThroughDriver));
            driverMs = std::min(driverMs, driverOnly(db.sqlDatabase()));
            if (!shell.isEmpty())
                shellMs = std::min(shellMs, shellToFile(shell, path, out));
        }
        std::printf("%d rows: row scan to a tab-delimited file %.0f ms (%lld rows), through Qt SQL %.0f ms;"
                    " the scan and texts alone %.0f ms, through Qt SQL %.0f ms; a bare QSqlQuery reading the"
                    " values %.0f ms",
                    rows, scanMs, (long long)read, driverScanMs, textMs, driverTextMs, driverMs);
        if (!shell.isEmpty())
            std::printf("; sqlite3 .mode tabs %.0f ms; scan speed / shell speed %.2f (through Qt SQL %.2f)\n",
                        shellMs, shellMs / scanMs, shellMs / driverScanMs);
        else
            std::printf("; sqlite3 shell not installed\n");
        table.close();
        db.close();
        QFile::remove(path);
    }
    return 0;
}
