#include "engine_fixture.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlError>

namespace pelldrake::engine::test {

std::string backendName(const ::testing::TestParamInfo<Backend> &info)
{
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

PgSettings PgSettings::fromEnvironment()
{
    PgSettings s;
    s.host = qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST");
    s.db = qEnvironmentVariable("PELLDRAKE_TEST_PG_DB");
    s.user = qEnvironmentVariable("PELLDRAKE_TEST_PG_USER");
    s.pwUser = qEnvironmentVariable("PELLDRAKE_TEST_PG_PW_USER");
    s.password = qEnvironmentVariable("PELLDRAKE_TEST_PG_PASSWORD");
    s.port = qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT");
    if (s.port == 0)
        s.port = 5432;
    s.available = !s.host.isEmpty() && !s.db.isEmpty() && !s.user.isEmpty();
    return s;
}

void EngineTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    pgs = PgSettings::fromEnvironment();
    if (pg() && !pgs.available)
        GTEST_SKIP() << "PELLDRAKE_TEST_PG_* not set";
    session = std::make_unique<Session>(QStringLiteral("Test"), dir.filePath(QStringLiteral("aliases.ini")));
    AliasDef def;
    def.name = QStringLiteral("data");
    if (pg()) {
        def.driver = QStringLiteral("POSTGRES");
        def.host = pgs.host;
        def.port = pgs.port;
        def.database = pgs.db;
        def.user = pgs.user;
    } else {
        def.driver = QStringLiteral("SQLITE");
        def.path = dir.filePath(QStringLiteral("data.sqlite"));
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture_create"));
        c.setDatabaseName(def.path);
        ASSERT_TRUE(c.open());
        QSqlQuery(c).exec(QStringLiteral("CREATE TABLE fixture_marker (x INTEGER)"));
        QSqlQuery(c).exec(QStringLiteral("DROP TABLE fixture_marker"));
        c.close();
        c = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("fixture_create"));
    }
    session->aliases().add(def);
    db = std::make_unique<Database>(*session);
    db->setDatabaseName(QStringLiteral("data"));
    db->open();
}

void EngineTest::TearDown()
{
    db.reset();
    session.reset();
    if (!pg() || created.isEmpty())
        return;
    // Own connection: the test may have closed or dropped the one under test.
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("fixture_cleanup"));
        c.setHostName(pgs.host);
        c.setPort(pgs.port);
        c.setDatabaseName(pgs.db);
        c.setUserName(pgs.user);
        if (c.open()) {
            for (const QString &t : created)
                QSqlQuery(c).exec(QStringLiteral("DROP TABLE IF EXISTS \"%1\" CASCADE").arg(t));
            c.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture_cleanup"));
}

QString EngineTest::tableName(const QString &base)
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("%1_%2_%3")
                             .arg(base)
                             .arg(QCoreApplication::applicationPid())
                             .arg(counter.fetchAndAddRelaxed(1));
    created << name;
    return name;
}

void EngineTest::exec(const QString &sql)
{
    QSqlQuery q(db->sqlDatabase());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

std::unique_ptr<Table> EngineTest::openTable(const QString &name)
{
    auto t = std::make_unique<Table>(*session);
    t->setDatabaseName(QStringLiteral("data"));
    t->setTableName(name);
    t->open();
    return t;
}

std::unique_ptr<Session> EngineTest::otherSession()
{
    return std::make_unique<Session>(QStringLiteral("Other"), session->aliases().iniPath());
}

QStringList columnValues(Table &t, const QString &field)
{
    QStringList out;
    for (t.first(); !t.eof(); t.next())
        out << t.fieldByName(field)->asString();
    return out;
}

} // namespace pelldrake::engine::test
