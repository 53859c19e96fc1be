// CSV import and export of a million rows (about 85 MB: quoted fields, line breaks inside
// fields, empty fields and empty strings), pelldrake-db beside the reference tools in the same
// run: `sqlite3 .import --csv` (which types nothing) and `sqlite3 -csv`, `psql \copy` into the
// same typed table and `\copy ... TO` with csv. Each command runs as a process of its own, so its
// time and peak memory are its own (wait4).
//
//   csv_bench [ROWS=1000000] [WORK_DIR]
// PostgreSQL runs too when PELLDRAKE_TEST_PG_HOST/PORT/DB/USER are set.
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct Run {
    double seconds = 0;
    double cpuSeconds = 0; // user and system time of the process (not a server's)
    long peakKb = 0;
    int code = -1;
    QByteArray out;
};

// Runs argv with its standard output into `outFile` (or captured when empty).
Run run(const QStringList &args, const QString &outFile = {})
{
    const QString captured = QDir::temp().filePath(QStringLiteral("csv_bench_out.%1").arg(getpid()));
    const QByteArray target = (outFile.isEmpty() ? captured : outFile).toLocal8Bit();
    std::vector<QByteArray> bytes;
    for (const QString &a : args)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run r;
    r.seconds = double(timer.nsecsElapsed()) / 1e9;
    r.peakKb = usage.ru_maxrss;
    r.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (outFile.isEmpty()) {
        QFile f(captured);
        if (f.open(QIODevice::ReadOnly))
            r.out = f.readAll();
        QFile::remove(captured);
    }
    return r;
}

// A deterministic generator: the same file for the same row count.
struct Lcg {
    quint64 s = 0x2545F4914F6CDD1DULL;
    quint32 next()
    {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(s >> 33);
    }
};

// id,code,name,amount,day,note,flag; `bad`: every (rows/50)th record is spoiled one way or another.
void generate(const QString &path, int rows, bool bad)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        std::exit(2);
    Lcg rng;
    QByteArray buf = "id,code,name,amount,day,note,flag\r\n";
    const int every = rows / 50;
    static const char *words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"};
    for (int i = 1; i <= rows; ++i) {
        const quint32 r = rng.next();
        if (bad && i % every == every / 2) {
            switch ((i / every) % 3) {
            case 0: buf += QByteArray::number(i) + ",0001,short\r\n"; break;                            // fields missing
            case 1: buf += QByteArray::number(i) + "a,0001,x,12.05,2020-01-01,n,true\r\n"; break;       // not a number
            default: buf += QByteArray::number(i) + ",0001,x,1.00,2020-13-45,n,true\r\n"; break;        // no such date
            }
            continue;
        }
        char line[256];
        const int day = int(r % 9000);
        const int y = 2000 + day / 360, m = day / 30 % 12 + 1, d = day % 28 + 1;
        const char *name = (r >> 4) % 5 == 0 ? "\"Smith, John %u\"" : "Customer no %u";
        char nameText[64];
        std::snprintf(nameText, sizeof nameText, name, (r >> 3) % 100000);
        int n = std::snprintf(line, sizeof line, "%d,%04u,%s,%u.%02u,%04d-%02d-%02d,", i, (r >> 8) % 10000, nameText,
                              (r >> 12) % 100000, (r >> 20) % 100, y, m, d);
        buf.append(line, n);
        switch ((r >> 24) % 20) {
        case 0: case 1: break;                                   // NULL: nothing
        case 2: buf += "\"\""; break;                            // '' : an empty string
        case 3: case 4: buf += "\"the first line\r\nthe second, line\""; break; // a line break inside
        case 5: buf += "\"say \"\"hello\"\"\""; break;           // quotes inside
        default:
            buf += words[r % 8];
            buf += ' ';
            buf += words[(r >> 3) % 8];
            buf += " and a few more words to read";
        }
        buf += (r & 1) ? ",true\r\n" : ",false\r\n";
        if (buf.size() > (1 << 20)) {
            f.write(buf);
            buf.clear();
        }
    }
    f.write(buf);
}

void report(const char *what, const Run &r)
{
    std::printf("  %-58s %7.2f s  cpu %5.2f s  peak %6.1f MB  exit %d\n", what, r.seconds, r.cpuSeconds,
                r.peakKb / 1024.0, r.code);
}

} // namespace

// The better of two runs of one command: the shorter time; the larger peak, the same exit code
// being expected.
Run better(const Run &a, const Run &b)
{
    if (a.code < 0)
        return b;
    Run r = b.seconds < a.seconds ? b : a;
    r.peakKb = std::max(a.peakKb, b.peakKb);
    if (a.code != b.code)
        r.code = std::max(a.code, b.code);
    return r;
}

int main(int argc, char **argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir temp;
    const QString work = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
    // Each pair runs this many rounds, ours and the reference taking turns to go first; each
    // command's best time counts (the server's and the disk's own work move single runs a lot).
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    QDir().mkpath(work);
    // PELLDRAKE_DB_TOOL in the environment runs another build of the tool (a before-and-after run).
    const QString tool = qEnvironmentVariableIsSet("PELLDRAKE_DB_TOOL") ? qEnvironmentVariable("PELLDRAKE_DB_TOOL")
                                                                       : QStringLiteral(PELLDRAKE_DB_TOOL);
    const QString file = work + QStringLiteral("/rows.csv");
    const QString badFile = work + QStringLiteral("/bad_rows.csv");
    if (!QFile::exists(file))
        generate(file, rows, false);
    if (!QFile::exists(badFile))
        generate(badFile, rows, true);
    std::printf("%d rows, %.1f MB, best of %d rounds each\n", rows, QFile(file).size() / 1048576.0, rounds);

    // Runs `ours` and `reference` `rounds` times, taking turns to go first.
    auto pair = [&](const std::function<Run()> &ours, const std::function<Run()> &reference) {
        Run bestOurs, bestReference;
        for (int round = 0; round < rounds; ++round) {
            if (round % 2 == 0) {
                bestOurs = better(bestOurs, ours());
                bestReference = better(bestReference, reference());
            } else {
                bestReference = better(bestReference, reference());
                bestOurs = better(bestOurs, ours());
            }
        }
        return std::make_pair(bestOurs, bestReference);
    };

    // SQLite: a new table from the file.
    std::printf("SQLite\n");
    const QString shellDb = work + QStringLiteral("/shell.sqlite");
    const QString ourDb = work + QStringLiteral("/ours.sqlite");
    const auto [ourImport, shellImport] = pair(
        [&] {
            QFile::remove(ourDb);
            QFile(ourDb).open(QIODevice::WriteOnly); // an empty file is an empty database
            return run({tool, QStringLiteral("import"), QStringLiteral("sqlite:") + ourDb, QStringLiteral("t"),
                        QStringLiteral("--in"), file, QStringLiteral("--create")});
        },
        [&] {
            QFile::remove(shellDb);
            return run({QStringLiteral("sqlite3"), shellDb, QStringLiteral(".import --csv %1 t").arg(file)});
        });
    report("sqlite3 .import --csv (untyped)", shellImport);
    report("pelldrake-db import --create (types from every value)", ourImport);
    std::printf("    %s", ourImport.out.right(60).constData());
    // On a shared machine the wall time moves with the load; the processor time of the two
    // programs (both do all their work in the process) moves less.
    std::printf("    ratio %.2f (target <= 1.15), processor time %.2f\n", ourImport.seconds / shellImport.seconds,
                ourImport.cpuSeconds / shellImport.cpuSeconds);
    const auto [ourExport, shellExport] = pair(
        [&] {
            return run({tool, QStringLiteral("export"), QStringLiteral("sqlite:") + ourDb, QStringLiteral("t"),
                        QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--out"),
                        work + QStringLiteral("/our_out.csv")});
        },
        [&] {
            return run({QStringLiteral("sqlite3"), QStringLiteral("-csv"), QStringLiteral("-header"), ourDb,
                        QStringLiteral("SELECT * FROM t")},
                       work + QStringLiteral("/shell_out.csv"));
        });
    report("sqlite3 -csv", shellExport);
    report("pelldrake-db export --format csv", ourExport);
    std::printf("    ratio %.2f (target <= 1.1), processor time %.2f\n", ourExport.seconds / shellExport.seconds,
                ourExport.cpuSeconds / shellExport.cpuSeconds);

    // 50 bad records among the million, into the table made above (emptied).
    run({QStringLiteral("sqlite3"), ourDb, QStringLiteral("DELETE FROM t")});
    const Run bad = run({tool, QStringLiteral("import"), QStringLiteral("sqlite:") + ourDb, QStringLiteral("t"),
                         QStringLiteral("--in"), badFile});
    report("pelldrake-db import, 50 bad records planted", bad);
    std::printf("    %lld lines naming a line and a column; last: %s", bad.out.count("line ") * 1LL,
                bad.out.right(int(bad.out.size() - bad.out.lastIndexOf('\n', -2) - 1)).constData());

    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("PELLDRAKE_TEST_PG_HOST")))
        return 0;
    const QString host = env.value(QStringLiteral("PELLDRAKE_TEST_PG_HOST"));
    const QString port = env.value(QStringLiteral("PELLDRAKE_TEST_PG_PORT"));
    const QString db = env.value(QStringLiteral("PELLDRAKE_TEST_PG_DB"));
    const QString user = env.value(QStringLiteral("PELLDRAKE_TEST_PG_USER"));
    const QString uri = QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, host, port, db);
    auto psql = [&](const QString &command, const QString &out = {}) {
        return run({QStringLiteral("psql"), QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-h"), host,
                    QStringLiteral("-p"), port, QStringLiteral("-U"), user, QStringLiteral("-d"), db, QStringLiteral("-c"),
                    command},
                   out);
    };
    std::printf("PostgreSQL\n");
    psql(QStringLiteral("DROP TABLE IF EXISTS csv_bench_ours; DROP TABLE IF EXISTS csv_bench_copy"));
    const auto [pgOurs, pgCopy] = pair(
        [&] {
            psql(QStringLiteral("DROP TABLE IF EXISTS csv_bench_ours"));
            return run({tool, QStringLiteral("import"), uri, QStringLiteral("csv_bench_ours"), QStringLiteral("--in"),
                        file, QStringLiteral("--create")});
        },
        [&] {
            // Into a table typed as ours made it (made LIKE it, after our first round).
            psql(QStringLiteral("DROP TABLE IF EXISTS csv_bench_copy"));
            if (psql(QStringLiteral("CREATE TABLE csv_bench_copy (LIKE csv_bench_ours)")).code != 0)
                return Run{};
            return psql(QStringLiteral("\\copy csv_bench_copy FROM '%1' WITH (FORMAT csv, HEADER)").arg(file));
        });
    report("pelldrake-db import --create (types from every value)", pgOurs);
    std::printf("    %s", pgOurs.out.right(60).constData());
    report("psql \\copy into the same typed table", pgCopy);
    std::printf("    ratio %.2f (target <= 1.1)\n", pgOurs.seconds / pgCopy.seconds);
    const auto [pgExport, pgCopyOut] = pair(
        [&] {
            return run({tool, QStringLiteral("export"), uri, QStringLiteral("csv_bench_ours"), QStringLiteral("--format"),
                        QStringLiteral("csv"), QStringLiteral("--out"), work + QStringLiteral("/pg_our_out.csv")});
        },
        [&] {
            return psql(QStringLiteral("\\copy (SELECT * FROM csv_bench_ours) TO '%1' WITH (FORMAT csv, HEADER)")
                            .arg(work + QStringLiteral("/pg_copy_out.csv")));
        });
    report("psql \\copy ... TO csv", pgCopyOut);
    report("pelldrake-db export --format csv", pgExport);
    std::printf("    ratio %.2f (target <= 1.1)\n", pgExport.seconds / pgCopyOut.seconds);
    psql(QStringLiteral("DROP TABLE csv_bench_ours; DROP TABLE csv_bench_copy"));
    return 0;
}
