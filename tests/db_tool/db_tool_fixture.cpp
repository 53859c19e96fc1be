#include "db_tool_fixture.h"

#include "db_tool/db_tool.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

namespace pelldrake::db::tool::test {

ToolResult runTool(const QStringList &args)
{
    ToolResult r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.code = run(args, out, err);
    out.flush();
    err.flush();
    return r;
}

ToolResult runProcess(const QStringList &args, const QString &dir, const QProcessEnvironment &env,
                      const QString &outFile)
{
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PGPASSWORD", "PGPASSFILE"})
        all.remove(QLatin1String(name));
    all.insert(env);
    QProcess p;
    p.setProcessEnvironment(all);
    p.setWorkingDirectory(dir);
    if (!outFile.isEmpty())
        p.setStandardOutputFile(outFile);
    p.start(QStringLiteral(PELLDRAKE_DB_TOOL), args);
    ToolResult r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "pelldrake-db did not finish: " << p.errorString().toStdString();
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0);
}

PgServer PgServer::fromEnvironment()
{
    PgServer s;
    s.host = qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST");
    s.db = qEnvironmentVariable("PELLDRAKE_TEST_PG_DB");
    s.user = qEnvironmentVariable("PELLDRAKE_TEST_PG_USER");
    s.pwUser = qEnvironmentVariable("PELLDRAKE_TEST_PG_PW_USER");
    s.password = qEnvironmentVariable("PELLDRAKE_TEST_PG_PASSWORD");
    if (const int port = qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT"); port > 0)
        s.port = port;
    s.available = !s.host.isEmpty() && !s.db.isEmpty() && !s.user.isEmpty();
    return s;
}

QString PgServer::uri(const QString &role) const
{
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(role, host).arg(port).arg(db);
}

std::string backendName(const ::testing::TestParamInfo<Backend> &info)
{
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

void DbToolTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    server = PgServer::fromEnvironment();
    if (pg() && !server.available)
        GTEST_SKIP() << "PELLDRAKE_TEST_PG_* not set";
    cwd.emplace(dir.path());
    static QAtomicInt counter;
    connection = QStringLiteral("db_tool_fixture_%1").arg(counter.fetchAndAddRelaxed(1));
    QSqlDatabase db = QSqlDatabase::addDatabase(pg() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), connection);
    QString alias;
    if (pg()) {
        db.setHostName(server.host);
        db.setPort(server.port);
        db.setDatabaseName(server.db);
        db.setUserName(server.user);
        people = QStringLiteral("people_%1_%2").arg(QCoreApplication::applicationPid()).arg(counter.fetchAndAddRelaxed(1));
        alias = QStringLiteral("[Shop]\nDRIVER=POSTGRES\nHOST=%1\nPORT=%2\nDATABASE=%3\nUSER=%4\n")
                    .arg(server.host).arg(server.port).arg(server.db, server.user);
    } else {
        sqlitePath = dir.filePath(QStringLiteral("shop.sqlite"));
        db.setDatabaseName(sqlitePath);
        people = QStringLiteral("people");
        alias = QStringLiteral("[Shop]\nDRIVER=SQLITE\nPATH=%1\n").arg(sqlitePath);
    }
    ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
    created << people;
    exec(QStringLiteral("CREATE TABLE %1 (\"NAME\" VARCHAR(20) PRIMARY KEY, \"QTY\" INTEGER, \"NOTE\" VARCHAR(40))").arg(people));
    exec(QStringLiteral("INSERT INTO %1 VALUES ('Ann', 2, NULL), ('Bob', 5, NULL)").arg(people));
    registry = dir.filePath(QStringLiteral("aliases.ini"));
    writeBytes(registry, alias.toUtf8());
}

void DbToolTest::TearDown()
{
    if (connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (pg())
            for (const QString &t : created)
                QSqlQuery(db).exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(t));
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    cwd.reset();
}

void DbToolTest::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QStringList DbToolTest::rows(const QString &table)
{
    QStringList out;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    EXPECT_TRUE(q.exec(QStringLiteral("SELECT \"NAME\", \"QTY\", \"NOTE\" FROM %1 ORDER BY \"NAME\"").arg(table)));
    while (q.next())
        out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()}.join(QLatin1Char('|'));
    return out;
}

ToolResult DbToolTest::tool(QStringList args)
{
    args << QStringLiteral("--aliases") << registry;
    return runTool(args);
}

QString DbToolTest::directSource() const
{
    return pg() ? server.uri(server.user) : QStringLiteral("sqlite:shop.sqlite");
}

QString DbToolTest::dumpFile(const QString &alias) const
{
    return dir.filePath(QStringLiteral("Table_Dump/%1_%2.txt").arg(alias, people));
}

} // namespace pelldrake::db::tool::test
