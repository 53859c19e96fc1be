// Maintenance command timings through the real main window (offscreen), next
// to the sqlite3 command-line shell on the same data:
//   dump    Table Dump of the table / the shell's `.mode tabs` output of it
//   export  tab-delimited export / the same shell output
//   load    Table Load of the dump into the emptied table / the shell's
//           `.import` of the equivalent tab-separated file into an empty table
//   delete  Delete All Records (sizes up to 100,000)
//   fill    Fill ALL with unique keys on 2,000 records: time per record beyond
//           the 1 ms wait
// and for every command the longest gap between two ticks of a 10 ms timer
// (how long the window went without handling its events).
//
// Usage: maintenance_bench [WORK_DIR] [ROWS...]   (defaults: <temp>/pelldrake-bench-maint, 1000000)
// With PELLDRAKE_TEST_PG_HOST (and _PORT, _DB, _USER) set, and the first ROWS
// argument prefixed with pg: (pg:100000), dump, load and delete run on a
// PostgreSQL table of that size instead.
#include "maintenance/command_frame.h"
#include "maintenance/unique_keys.h"

#include "shell/application.h"
#include "shell/dialogs.h"
#include "engine/alias_registry.h"
#include "engine/session.h"
#include "engine/table.h"
#include "browser/mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace pelldrake;

namespace {

// Answers Yes to every question (overwrite, append, delete) and reports messages.
class BenchDialogs : public Dialogs {
public:
    void showMessage(const QString &text) override { report("message", text); }
    void showError(const QString &text) override
    {
        ++errors;
        report("error", text);
    }
    bool askYesNo(const QString &, const QString &) override { return true; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString inputBox(const QString &, const QString &, const QString &d) override { return d; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
    bool askLogin(const QString &, QString &, QString &) override { return false; }
    int errors = 0;
    bool quiet = false;

private:
    void report(const char *kind, const QString &text)
    {
        if (!quiet || std::string(kind) == "error")
            std::fprintf(stderr, "  (%s: %s)\n", kind, qPrintable(text.left(200)));
    }
};

// Runs `action` from the event loop and records the longest gap between the
// ticks of a 10 ms timer meanwhile; returns the action's own time in seconds.
double timedWithStall(const std::function<void()> &action, qint64 *longestGapMs)
{
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setInterval(10);
    qint64 last = 0;
    qint64 gap = 0;
    bool inside = false;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (inside)
            gap = std::max(gap, now - last);
        last = now;
    });
    double seconds = 0;
    bool done = false;
    clock.start();
    ticker.start();
    QTimer::singleShot(15, [&] {
        last = clock.elapsed();
        inside = true;
        QElapsedTimer t;
        t.start();
        action();
        seconds = t.nsecsElapsed() / 1e9;
        gap = std::max(gap, clock.elapsed() - last);
        inside = false;
        done = true;
    });
    while (!done)
        QTest::qWait(5);
    *longestGapMs = gap;
    return seconds;
}

double timeProcess(const QString &program, const QStringList &args, const QString &stdinText = {})
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!stdinText.isEmpty()) {
        p.write(stdinText.toUtf8());
        p.closeWriteChannel();
    }
    p.waitForFinished(-1);
    const double s = t.nsecsElapsed() / 1e9;
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
    return s;
}

bool execAll(QSqlDatabase db, const QStringList &statements)
{
    QSqlQuery q(db);
    for (const QString &sql : statements) {
        if (!q.exec(sql)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(sql.left(80)), qPrintable(q.lastError().text()));
            return false;
        }
    }
    return true;
}

// The table: a text, a number, a date and a memo column.
QString createItems(bool postgres)
{
    return postgres ? QStringLiteral("CREATE TABLE items (id integer PRIMARY KEY, name varchar(40), qty integer,"
                                     " day date, note text)")
                    : QStringLiteral("CREATE TABLE items (NAME VARCHAR(40), QTY INTEGER, DAY DATE, NOTE TEXT)");
}

QString fillItems(bool postgres, int rows)
{
    if (postgres)
        return QStringLiteral("INSERT INTO items SELECT x, 'Customer ' || x, x %% 1000,"
                              " DATE '2000-01-01' + (x %% 9000), 'Note for record ' || x || ' with some more text'"
                              " FROM generate_series(1, %1) AS x")
            .arg(rows)
            .replace(QStringLiteral("%%"), QStringLiteral("%"));
    return QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1)"
                          " INSERT INTO items SELECT 'Customer ' || x, x % 1000,"
                          " date('2000-01-01', '+' || (x % 9000) || ' days'),"
                          " 'Note for record ' || x || ' with some more text' FROM c")
        .arg(rows);
}

struct Bench {
    TPelldrakeCDSForm &window;
    Pane &pane;
    BenchDialogs &dialogs;

    void open(const QString &alias, const QString &table)
    {
        pane.aliasCombo->setCurrentIndex(pane.aliasCombo->findText(alias));
        window.AliasComboChange();
        QListWidgetItem *item = pane.tableList->findItems(table, Qt::MatchExactly).value(0);
        if (!item) {
            std::fprintf(stderr, "no table %s in %d entries\n", qPrintable(table), pane.tableList->count());
            return;
        }
        pane.tableList->setCurrentItem(item);
        window.ListBox1Click();
    }
    double run(const char *entry, qint64 *gap)
    {
        QAction *a = window.action(QString::fromLatin1(entry));
        return timedWithStall([a] { a->trigger(); }, gap);
    }
};

// Measures the time per filled record beyond the wait itself.
class MeasuringClock : public maintenance::KeyClock {
public:
    QDateTime now() override { return QDateTime::currentDateTime(); }
    void sleepMs(int ms) override
    {
        QElapsedTimer t;
        t.start();
        QThread::msleep(ulong(ms));
        slept += t.nsecsElapsed();
        ++calls;
    }
    qint64 slept = 0;
    int calls = 0;
};

void sqliteSize(Bench &b, const QDir &dir, const QString &dbPath, int rows, const QString &sqlite3)
{
    std::printf("\n== SQLite, %d rows ==\n", rows);
    const QString tsv = dir.filePath(QStringLiteral("shell.tsv"));
    qint64 gap = 0;

    // The shell's export, best of two.
    double shell = 1e9;
    for (int i = 0; i < 2; ++i)
        shell = std::min(shell, timeProcess(sqlite3, {QStringLiteral("-batch"), dbPath},
                                            QStringLiteral(".mode tabs\n.output %1\nSELECT * FROM items;\n").arg(tsv)));
    b.open(QStringLiteral("Bench"), QStringLiteral("items"));
    double dump = 1e9;
    qint64 dumpGap = 0;
    for (int i = 0; i < 2; ++i) {
        dump = std::min(dump, b.run("TableDump1", &gap));
        dumpGap = std::max(dumpGap, gap);
    }
    const QString dumpFile = dir.filePath(QStringLiteral("Table_Dump/Bench_items.txt"));
    std::printf("dump   %.3f s (%.1f MB), shell .mode tabs %.3f s: speed ratio %.2f (bar >= 0.5); longest gap %lld ms\n",
                dump, QFileInfo(dumpFile).size() / 1e6, shell, shell / dump, dumpGap);

    double exp = 1e9;
    qint64 expGap = 0;
    for (int i = 0; i < 2; ++i) {
        exp = std::min(exp, b.run("ExportTABDelimitedfieldswithHeaderRecord1", &gap));
        expGap = std::max(expGap, gap);
    }
    std::printf("export %.3f s, shell .mode tabs %.3f s: speed ratio %.2f (bar >= 0.5); longest gap %lld ms\n", exp,
                shell, shell / exp, expGap);

    // Load into the emptied table, against .import into an empty one.
    const QString importDb = dir.filePath(QStringLiteral("import.sqlite"));
    QFile::remove(importDb);
    timeProcess(sqlite3, {importDb, createItems(false)});
    const double import = timeProcess(sqlite3, {QStringLiteral("-batch"), importDb},
                                      QStringLiteral(".mode tabs\n.import %1 items\n").arg(tsv));
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench-setup"));
        execAll(db, {QStringLiteral("DELETE FROM items")});
    }
    b.pane.table->refresh();
    const double load = b.run("TableLoad1", &gap);
    const int loaded = b.pane.table->recordCount();
    std::printf("load   %.3f s (%d records), shell .import %.3f s: speed ratio %.2f (bar >= 0.25); longest gap %lld ms\n",
                load, loaded, import, import / load, gap);

    if (rows <= 100000) {
        const double del = b.run("DeleteAllRecords1", &gap);
        std::printf("delete all %.3f s (%d left) (bar < 2 s at 100,000); longest gap %lld ms\n", del,
                    b.pane.table->recordCount(), gap);
    }
}

void keyFill(Bench &b, QSqlDatabase db)
{
    constexpr int n = 2000;
    execAll(db, {QStringLiteral("DROP TABLE IF EXISTS keys"), QStringLiteral("CREATE TABLE keys (K VARCHAR(20), X INTEGER)"),
                 QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1)"
                                " INSERT INTO keys SELECT NULL, x FROM c").arg(n)});
    b.open(QStringLiteral("Bench"), QStringLiteral("keys"));
    b.pane.fieldNameCombo->setCurrentText(QStringLiteral("K"));
    MeasuringClock clock;
    maintenance::KeyClock *previous = maintenance::KeyClock::install(&clock);
    qint64 gap = 0;
    const double total = b.run("FillALLfieldsforcolumnwithUniqueDateTime20charvalue1", &gap);
    maintenance::KeyClock::install(previous);
    const double beyond = (total - clock.slept / 1e9) / clock.calls * 1000;
    std::printf("\n== key fill, %d records ==\nFill ALL %.3f s, waits %.3f s: %.3f ms per record beyond the wait"
                " (bar < 0.2 ms); longest gap %lld ms\n",
                clock.calls, total, clock.slept / 1e9, beyond, gap);
}

void postgresSize(Bench &b, const QDir &dir, int rows)
{
    std::printf("\n== PostgreSQL, %d rows ==\n", rows);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-pg"));
    db.setHostName(qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST"));
    db.setPort(qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT"));
    db.setDatabaseName(qEnvironmentVariable("PELLDRAKE_TEST_PG_DB"));
    db.setUserName(qEnvironmentVariable("PELLDRAKE_TEST_PG_USER"));
    if (!db.open() || !execAll(db, {QStringLiteral("DROP TABLE IF EXISTS items"), createItems(true), fillItems(true, rows)})) {
        std::fprintf(stderr, "cannot set up the PostgreSQL table: %s\n", qPrintable(db.lastError().text()));
        return;
    }
    b.open(QStringLiteral("Server"), QStringLiteral("items"));
    qint64 gap = 0;
    QFile::remove(dir.filePath(QStringLiteral("Table_Dump/Server_items.txt")));
    const double dump = b.run("TableDump1", &gap);
    std::printf("dump   %.3f s; longest gap %lld ms\n", dump, gap);
    const double exp = b.run("ExportTABDelimitedfieldswithHeaderRecord1", &gap);
    std::printf("export %.3f s; longest gap %lld ms\n", exp, gap);
    const double del = b.run("DeleteAllRecords1", &gap);
    std::printf("delete all %.3f s (%d left); longest gap %lld ms\n", del, b.pane.table->recordCount(), gap);
    const double load = b.run("TableLoad1", &gap);
    std::printf("load   %.3f s (%d records); longest gap %lld ms\n", load, b.pane.table->recordCount(), gap);
    b.pane.table->close();
    execAll(db, {QStringLiteral("DROP TABLE IF EXISTS items")});
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    const QString work = args.size() > 1 ? args.at(1) : QDir::temp().filePath(QStringLiteral("pelldrake-bench-maint"));
    QStringList sizes = args.mid(2);
    if (sizes.isEmpty())
        sizes << QStringLiteral("1000000");
    QDir().mkpath(work);
    const QDir dir(work);
    QDir::setCurrent(work);
    const QString sqlite3 = QStringLiteral("sqlite3");

    const QString ini = dir.filePath(QStringLiteral("aliases.ini"));
    const QString dbPath = dir.filePath(QStringLiteral("maint.sqlite"));
    QFile::remove(ini);
    {
        engine::AliasRegistry registry(ini);
        engine::AliasDef def;
        def.name = QStringLiteral("Bench");
        def.driver = QStringLiteral("SQLITE");
        def.path = dbPath;
        registry.add(def);
        if (!qEnvironmentVariableIsEmpty("PELLDRAKE_TEST_PG_HOST")) {
            engine::AliasDef pg;
            pg.name = QStringLiteral("Server");
            pg.driver = QStringLiteral("POSTGRES");
            pg.host = qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST");
            pg.port = qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT");
            pg.database = qEnvironmentVariable("PELLDRAKE_TEST_PG_DB");
            pg.user = qEnvironmentVariable("PELLDRAKE_TEST_PG_USER");
            registry.add(pg);
        }
    }
    QFile::remove(dir.filePath(QStringLiteral("Pelldrake.cfg")));
    QFile::remove(dir.filePath(QStringLiteral("Pelldrake2.cfg")));

    BenchDialogs dialogs;
    dialogs.quiet = true;
    Dialogs::install(&dialogs);
    {
        engine::Session session(QStringLiteral("Default"), ini);
        TPelldrakeCDSForm window(&session);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        Bench b{window, window.pane1(), dialogs};
        for (const QString &size : sizes) {
            if (size.startsWith(QStringLiteral("pg:"))) {
                postgresSize(b, dir, size.mid(3).toInt());
                continue;
            }
            const int rows = size.toInt();
            window.pane1().table->close();
            QFile::remove(dbPath);
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-setup"));
                db.setDatabaseName(dbPath);
                db.open();
                QElapsedTimer gen;
                gen.start();
                execAll(db, {createItems(false), fillItems(false, rows)});
                std::printf("\n(data: %d rows in %.1f s)", rows, gen.elapsed() / 1000.0);
                sqliteSize(b, dir, dbPath, rows, sqlite3);
                if (size == sizes.first())
                    keyFill(b, db);
                window.pane1().table->close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("bench-setup"));
        }
        window.close();
    }
    Dialogs::install(nullptr);
    std::printf("\n%d errors\n", dialogs.errors);
    return dialogs.errors == 0 ? 0 : 1;
}
