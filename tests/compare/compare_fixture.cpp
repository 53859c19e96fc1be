#include "compare_fixture.h"

#include <QCoreApplication>

#include <QAtomicInt>
#include <QSqlError>
#include <QSqlQuery>

namespace pelldrake::compare::test {

namespace {
QAtomicInt counter;
}

std::string pairName(const ::testing::TestParamInfo<EnginePair> &info)
{
    auto name = [](Engine e) { return e == Engine::Sqlite ? std::string("Sqlite") : std::string("Postgres"); };
    return name(info.param.first) + "_" + name(info.param.second);
}

::testing::internal::ParamGenerator<EnginePair> allPairs()
{
    return ::testing::Values(EnginePair{Engine::Sqlite, Engine::Sqlite}, EnginePair{Engine::Sqlite, Engine::Postgres},
                             EnginePair{Engine::Postgres, Engine::Sqlite}, EnginePair{Engine::Postgres, Engine::Postgres});
}

bool pgAvailable() { return !qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST").isEmpty(); }

QSqlDatabase TestSide::db() const { return QSqlDatabase::database(connection); }

void TestSide::exec(const QString &sql) const
{
    QSqlQuery q(db());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QString TestSide::table(const QString &base)
{
    const QString name = prefix + base;
    created << name;
    return name;
}

TableRef TestSide::ref(const QString &table) const
{
    TableRef r;
    r.db = db();
    r.dialect = pg() ? engine::Dialect::Postgres : engine::Dialect::Sqlite;
    r.table = table;
    r.label = connection + QLatin1Char(' ') + table;
    return r;
}

void CompareTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    if ((GetParam().first == Engine::Postgres || GetParam().second == Engine::Postgres) && !pgAvailable())
        GTEST_SKIP() << "PELLDRAKE_TEST_PG_* not set";
    const int n = counter.fetchAndAddRelaxed(1);
    auto open = [&](TestSide &side, Engine engine, const char *which) {
        side.engine = engine;
        side.connection = QStringLiteral("compare_%1_%2").arg(QLatin1String(which)).arg(n);
        // ctest runs test processes side by side on one server: the process id keeps names apart.
        side.prefix = QStringLiteral("cmp%1_%2%3_").arg(QCoreApplication::applicationPid()).arg(n).arg(QLatin1String(which));
        QSqlDatabase db;
        if (engine == Engine::Postgres) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), side.connection);
            db.setHostName(qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST"));
            db.setPort(qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT"));
            db.setDatabaseName(qEnvironmentVariable("PELLDRAKE_TEST_PG_DB"));
            db.setUserName(qEnvironmentVariable("PELLDRAKE_TEST_PG_USER"));
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), side.connection);
            db.setDatabaseName(dir.filePath(QLatin1String(which) + QStringLiteral(".sqlite")));
        }
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
    };
    open(left, GetParam().first, "l");
    open(right, GetParam().second, "r");
}

void CompareTest::TearDown()
{
    for (TestSide *side : {&left, &right}) {
        if (side->connection.isEmpty())
            continue;
        {
            QSqlDatabase db = side->db();
            for (const QString &t : side->created)
                QSqlQuery(db).exec(QStringLiteral("DROP TABLE IF EXISTS \"%1\"").arg(t));
            db.close();
        }
        QSqlDatabase::removeDatabase(side->connection);
    }
}

void CompareTest::createBoth(const QString &base, const QString &columns, const QStringList &rows)
{
    leftTable = left.table(base);
    rightTable = right.table(base);
    for (auto [side, name] : {std::pair{&left, leftTable}, std::pair{&right, rightTable}}) {
        side->exec(QStringLiteral("CREATE TABLE \"%1\" (%2)").arg(name, columns));
        for (const QString &row : rows)
            side->exec(QStringLiteral("INSERT INTO \"%1\" VALUES (%2)").arg(name, row));
    }
}

} // namespace pelldrake::compare::test
