// pelldrake-db as a process: no display, the program's own alias registry, its exit codes and
// streams, and a server password from where libpq looks for it.
#include "db_tool_fixture.h"

#include <QDir>
#include <QFile>

using namespace pelldrake::db::tool::test;

namespace {

class Process : public DbToolTest {};

TEST_P(Process, RunsWithoutDisplayOnTheProgramsRegistry)
{
    const QString config = dir.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(config + QStringLiteral("/Pelldrake")));
    ASSERT_TRUE(QFile::copy(registry, config + QStringLiteral("/Pelldrake/aliases.ini")));
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("HOME"), dir.path());

    const ToolResult tables = runProcess({QStringLiteral("tables"), QStringLiteral("Shop")}, dir.path(), env);
    EXPECT_EQ(tables.code, 0) << tables.err.toStdString();
    EXPECT_TRUE(tables.out.split(QLatin1Char('\n')).contains(people)) << tables.out.toStdString();
    EXPECT_TRUE(tables.err.isEmpty()) << tables.err.toStdString();

    EXPECT_EQ(runProcess({QStringLiteral("dump"), QStringLiteral("Shop"), people}, dir.path(), env).code, 0);
    EXPECT_EQ(fileBytes(dumpFile(QStringLiteral("Shop"))), kPeopleDump);
    const ToolResult declined = runProcess({QStringLiteral("load"), QStringLiteral("Shop"), people}, dir.path(), env);
    EXPECT_EQ(declined.code, 1);
    EXPECT_TRUE(declined.out.isEmpty());
    EXPECT_TRUE(declined.err.startsWith(QLatin1String("pelldrake-db: answered No to"))) << declined.err.toStdString();

    const ToolResult usage = runProcess({QStringLiteral("dump"), QStringLiteral("Shop")}, dir.path(), env);
    EXPECT_EQ(usage.code, 2);
    EXPECT_TRUE(usage.out.isEmpty());
    EXPECT_EQ(firstLine(usage.err), QStringLiteral("pelldrake-db: dump wants SOURCE and TABLE"));
    // A report that does not reach its file is no success.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        const ToolResult full = runProcess({QStringLiteral("tables"), QStringLiteral("Shop")}, dir.path(), env,
                                           QStringLiteral("/dev/full"));
        EXPECT_EQ(full.code, 2);
        EXPECT_EQ(full.err, QStringLiteral("pelldrake-db: cannot write to standard output\n"));
    }
}

// The password user's logins: none, PGPASSWORD, ~/.pgpass. The driver passes no password, so
// libpq looks where it always does.
class ServerProcess : public DbToolTest {};

TEST_P(ServerProcess, PasswordComesFromTheEnvironmentOrPgpass)
{
    if (server.pwUser.isEmpty())
        GTEST_SKIP() << "PELLDRAKE_TEST_PG_PW_USER not set";
    const QStringList args{QStringLiteral("tables"), server.uri(server.pwUser)};
    QProcessEnvironment env;
    env.insert(QStringLiteral("HOME"), dir.path());

    const ToolResult none = runProcess(args, dir.path(), env);
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.startsWith(QStringLiteral("pelldrake-db: Cannot connect to alias '%1'").arg(server.db)))
        << none.err.toStdString();
    EXPECT_TRUE(none.err.contains(QLatin1String("give it in PGPASSWORD or ~/.pgpass")));

    QProcessEnvironment withVariable = env;
    withVariable.insert(QStringLiteral("PGPASSWORD"), server.password);
    const ToolResult variable = runProcess(args, dir.path(), withVariable);
    EXPECT_EQ(variable.code, 0) << variable.err.toStdString();
    EXPECT_TRUE(variable.out.split(QLatin1Char('\n')).contains(people));

    const QString pgpass = dir.filePath(QStringLiteral(".pgpass"));
    writeBytes(pgpass, QStringLiteral("%1:%2:%3:%4:%5\n").arg(server.host).arg(server.port).arg(server.db, server.pwUser,
                                                                                                 server.password).toUtf8());
    ASSERT_TRUE(QFile::setPermissions(pgpass, QFile::ReadOwner | QFile::WriteOwner)); // libpq ignores it otherwise
    const ToolResult file = runProcess(args, dir.path(), env);
    EXPECT_EQ(file.code, 0) << file.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, Process, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);
INSTANTIATE_TEST_SUITE_P(Engines, ServerProcess, ::testing::Values(Backend::Postgres), backendName);

} // namespace
