// compare_bench [ROWS=1000000] [DIR]
//
// Makes a table of ROWS rows x 10 columns (id and three each of integers, reals and text) in
// DIR/left.sqlite, and the same table with 1,000 rows deleted, 1,000 updated and 1,000 inserted
// in DIR/right.sqlite and, when PELLDRAKE_TEST_PG_* name a server, in its table
// compare_bench_right. Then times each comparison as its own process (wall time, peak RSS of
// the process): pelldrake-db compare SQLite against SQLite and sqldiff on the same files, and
// pelldrake-db compare SQLite against PostgreSQL. Checks that exactly the planted rows are found.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr qint64 kPlanted = 1000;

void fail(const QString &what)
{
    std::fprintf(stderr, "compare_bench: %s\n", qPrintable(what));
    std::exit(1);
}

void run(QSqlQuery &q, const QString &sql)
{
    if (!q.exec(sql))
        fail(sql.left(80) + QStringLiteral(": ") + q.lastError().text());
}

// The columns, the same values on either engine (reals that are exact binary fractions).
QString selectRows(const QString &n)
{
    return QStringLiteral("SELECT %1, (%1 * 7) % 1000, %1 * 3, %1 % 97, %1 * 0.25, %1 / 8.0, (%1 % 1000) * 0.5, "
                          "'name ' || %1, 'city ' || (%1 % 1000), 'note ' || (%1 * 13)")
        .arg(n);
}

const char *const kColumns = "id %1 PRIMARY KEY, i1 %1, i2 %1, i3 %1, r1 %2, r2 %2, r3 %2, t1 TEXT, t2 TEXT, t3 TEXT";

// Every (rows / 1000)th row deleted, the one after it updated, 1,000 new rows at the end.
void plant(QSqlQuery &q, const QString &table, qint64 rows)
{
    const qint64 step = rows / kPlanted;
    run(q, QStringLiteral("DELETE FROM %1 WHERE id % %2 = 1 AND id <= %3").arg(table).arg(step).arg(rows));
    run(q, QStringLiteral("UPDATE %1 SET t1 = t1 || '!' WHERE id % %2 = 2 AND id <= %3").arg(table).arg(step).arg(rows));
}

void makeSqlite(const QString &path, qint64 rows, bool planted)
{
    QFile::remove(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(path);
        if (!db.open())
            fail(db.lastError().text());
        QSqlQuery q(db);
        run(q, QStringLiteral("PRAGMA journal_mode = OFF"));
        run(q, QStringLiteral("CREATE TABLE t (%1)").arg(QString::fromLatin1(kColumns).arg(QStringLiteral("INTEGER"), QStringLiteral("REAL"))));
        run(q, QStringLiteral("WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < %1) INSERT INTO t %2")
                   .arg(rows + (planted ? kPlanted : 0))
                   .arg(selectRows(QStringLiteral("n")) + QStringLiteral(" FROM g")));
        if (planted)
            plant(q, QStringLiteral("t"), rows);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

bool makePostgres(qint64 rows)
{
    const QString host = qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST");
    if (host.isEmpty())
        return false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("makepg"));
        db.setHostName(host);
        db.setPort(qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT"));
        db.setDatabaseName(qEnvironmentVariable("PELLDRAKE_TEST_PG_DB"));
        db.setUserName(qEnvironmentVariable("PELLDRAKE_TEST_PG_USER"));
        if (!db.open())
            fail(db.lastError().text());
        QSqlQuery q(db);
        run(q, QStringLiteral("DROP TABLE IF EXISTS compare_bench_right"));
        run(q, QStringLiteral("CREATE UNLOGGED TABLE compare_bench_right (%1)")
                   .arg(QString::fromLatin1(kColumns).arg(QStringLiteral("BIGINT"), QStringLiteral("DOUBLE PRECISION"))));
        run(q, QStringLiteral("INSERT INTO compare_bench_right %1 FROM generate_series(1, %2) AS g(n)")
                   .arg(selectRows(QStringLiteral("n::bigint")))
                   .arg(rows + kPlanted));
        plant(q, QStringLiteral("compare_bench_right"), rows);
        run(q, QStringLiteral("VACUUM ANALYZE compare_bench_right"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("makepg"));
    return true;
}

struct Measured {
    double seconds = 0;
    double peakMb = 0;
    double cpuSeconds = 0; // the process's own, user and system: the figure a busy machine bends least
    int exitCode = -1;
    QByteArray out;
};

// Runs a program with its standard output in a file; wall time and the child's own peak RSS.
Measured measure(const QStringList &command, const QString &outFile)
{
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(QFile::encodeName(outFile).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        std::vector<QByteArray> args;
        for (const QString &a : command)
            args.push_back(a.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    Measured m;
    m.seconds = double(clock.nsecsElapsed()) / 1e9;
    m.peakMb = double(usage.ru_maxrss) / 1024.0;
    m.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile f(outFile);
    if (f.open(QIODevice::ReadOnly))
        m.out = f.readAll();
    return m;
}

void check(const Measured &m, const char *what)
{
    const QJsonObject counts = QJsonDocument::fromJson(m.out).object().value(QStringLiteral("counts")).toObject();
    const bool exact = counts.value(QStringLiteral("only_left")).toInteger() == kPlanted
        && counts.value(QStringLiteral("only_right")).toInteger() == kPlanted
        && counts.value(QStringLiteral("changed")).toInteger() == kPlanted;
    std::printf("%-42s %8.2f s (CPU %6.2f s) %8.1f MB  exit %d  %s\n", what, m.seconds, m.cpuSeconds, m.peakMb, m.exitCode,
                exact ? "1000/1000/1000 found" : qPrintable(QStringLiteral("WRONG COUNTS: ") + QString::fromUtf8(QJsonDocument(counts).toJson(QJsonDocument::Compact))));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const QString dir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath() + QStringLiteral("/compare_bench");
    QDir().mkpath(dir);
    const QString left = dir + QStringLiteral("/left.sqlite"), right = dir + QStringLiteral("/right.sqlite");
    QElapsedTimer clock;
    clock.start();
    makeSqlite(left, rows, false);
    makeSqlite(right, rows, true);
    const bool pg = makePostgres(rows);
    std::printf("%lld rows x 10 columns, made in %.1f s%s\n", rows, double(clock.elapsed()) / 1000.0,
                pg ? " (SQLite files and the PostgreSQL table)" : " (no PostgreSQL: PELLDRAKE_TEST_PG_* unset)");

    const QString tool = QStringLiteral(PELLDRAKE_DB_TOOL);
    const QString out = dir + QStringLiteral("/out.txt");
    const QStringList common{QStringLiteral("--json"), QStringLiteral("--limit"), QStringLiteral("0")};
    check(measure(QStringList{tool, QStringLiteral("compare"), QStringLiteral("sqlite:") + left, QStringLiteral("t"),
                              QStringLiteral("sqlite:") + right, QStringLiteral("t"), QStringLiteral("--data-only")} + common, out),
          "pelldrake-db compare, SQLite vs SQLite");
    const QString sqldiff = QStandardPaths::findExecutable(QStringLiteral("sqldiff"));
    if (!sqldiff.isEmpty()) {
        const Measured m = measure({sqldiff, left, right}, out);
        std::printf("%-42s %8.2f s (CPU %6.2f s) %8.1f MB  exit %d  %lld lines\n", "sqldiff, the same files", m.seconds, m.cpuSeconds, m.peakMb, m.exitCode,
                    qint64(m.out.count('\n')));
    }
    if (pg) {
        const QString uri = QStringLiteral("postgresql://%1@%2:%3/%4")
                                .arg(qEnvironmentVariable("PELLDRAKE_TEST_PG_USER"), qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST"),
                                     qEnvironmentVariable("PELLDRAKE_TEST_PG_PORT"), qEnvironmentVariable("PELLDRAKE_TEST_PG_DB"));
        check(measure(QStringList{tool, QStringLiteral("compare"), QStringLiteral("sqlite:") + left, QStringLiteral("t"), uri,
                                  QStringLiteral("compare_bench_right"), QStringLiteral("--data-only")} + common, out),
              "pelldrake-db compare, SQLite vs PostgreSQL");
    }
    return 0;
}
