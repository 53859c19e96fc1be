// Aliases, the demo database, connecting with and without a login, and table listing.
#include "engine_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

using ::testing::HasSubstr;

class ScriptedLogin : public LoginPrompt {
public:
    bool askLogin(const QString &alias, QString &user, QString &password) override
    {
        ++calls;
        lastAlias = alias;
        lastUser = user;
        if (cancel)
            return false;
        if (!giveUser.isEmpty())
            user = giveUser;
        password = givePassword;
        return true;
    }
    int calls = 0;
    bool cancel = false;
    QString giveUser;
    QString givePassword;
    QString lastAlias;
    QString lastUser;
};

std::string msg(const EngineError &e) { return e.message().toStdString(); }

AliasDef sqliteAlias(const QString &name, const QString &path)
{
    AliasDef d;
    d.name = name;
    d.driver = QStringLiteral("SQLITE");
    d.path = path;
    return d;
}

AliasDef pgAlias(const QString &name, const QString &host, int port, const QString &database,
                 const QString &user)
{
    AliasDef d;
    d.name = name;
    d.driver = QStringLiteral("POSTGRES");
    d.host = host;
    d.port = port;
    d.database = database;
    d.user = user;
    return d;
}

TEST(AliasRegistryTest, FirstStartCreatesRegistryAndDemoDatabase)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("cfg/aliases.ini"));
    const QString demo = dir.filePath(QStringLiteral("data/demo.sqlite"));
    AliasRegistry reg(ini);
    reg.ensureDefaults(demo);
    ASSERT_TRUE(QFileInfo::exists(demo));
    EXPECT_EQ(reg.names(), QStringList{QStringLiteral("PelldrakeDemo")});
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("\r\n"));
    EXPECT_FALSE(text.contains("PASSWORD"));

    // What later commands rely on: every common type, a big table, a table without index,
    // a 20+ character string column with empty values.
    Session s(QStringLiteral("S"), ini);
    Database db(s);
    db.setDatabaseName(QStringLiteral("PelldrakeDemo"));
    db.open();
    const QStringList tables = s.tableNames(QStringLiteral("PelldrakeDemo"), QString(), false, false);
    EXPECT_GE(tables.size(), 3);
    QSet<int> types;
    bool bigTable = false, noIndex = false, emptyKeyColumn = false, multiFieldIndex = false;
    for (const QString &name : tables) {
        Table t(s);
        t.setDatabaseName(QStringLiteral("PelldrakeDemo"));
        t.setTableName(name);
        t.open();
        for (int i = 0; i < t.fieldCount(); ++i)
            types.insert(t.field(i)->dataType());
        bigTable = bigTable || t.recordCount() >= 10000;
        noIndex = noIndex || t.indexDefs().isEmpty();
        for (const IndexDef &d : t.indexDefs())
            multiFieldIndex = multiFieldIndex || d.fields.contains(QLatin1Char(';'));
        for (int i = 0; i < t.fieldCount(); ++i) {
            Field *f = t.field(i);
            if (f->dataType() == ftString && f->size() >= 20) {
                t.setFilter(f->fieldName() + QLatin1String(" = ''"));
                t.setFiltered(true);
                emptyKeyColumn = emptyKeyColumn || (t.rowCount() > 0 && t.rowCount() < t.recordCount());
                t.setFiltered(false);
            }
        }
    }
    for (int type : {ftString, ftMemo, ftInteger, ftFloat, ftBCD, ftDate, ftTime, ftDateTime, ftBoolean, ftBlob})
        EXPECT_TRUE(types.contains(type)) << fieldTypeName(type).toStdString();
    EXPECT_TRUE(bigTable);
    EXPECT_TRUE(noIndex);
    EXPECT_TRUE(multiFieldIndex);
    EXPECT_TRUE(emptyKeyColumn);

    // A second start keeps what the user has.
    reg.add(sqliteAlias(QStringLiteral("alpha"), demo));
    reg.ensureDefaults(demo);
    EXPECT_EQ(reg.names(), (QStringList{QStringLiteral("alpha"), QStringLiteral("PelldrakeDemo")}));
}

TEST(AliasRegistryTest, AddReplaceRemoveAndRejectBadNames)
{
    QTemporaryDir dir;
    AliasRegistry reg(dir.filePath(QStringLiteral("a.ini")));
    AliasDef pg = pgAlias(QStringLiteral("Sales"), QStringLiteral("db.example"), 5433,
                          QStringLiteral("sales"), QStringLiteral("clerk"));
    reg.add(pg);
    reg.add(sqliteAlias(QStringLiteral("archive"), QStringLiteral("/x/a b.sqlite")));
    pg.port = 6000;
    reg.add(pg);
    EXPECT_EQ(reg.names(), (QStringList{QStringLiteral("archive"), QStringLiteral("Sales")}));
    const auto found = reg.find(QStringLiteral("sales"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->port, 6000);
    EXPECT_EQ(found->user, QStringLiteral("clerk"));
    EXPECT_EQ(reg.find(QStringLiteral("archive"))->path, QStringLiteral("/x/a b.sqlite"));
    reg.remove(QStringLiteral("Sales"));
    EXPECT_EQ(reg.names(), QStringList{QStringLiteral("archive")});
    EXPECT_THROW(reg.add(sqliteAlias(QStringLiteral("bad]name"), QStringLiteral("x"))), EngineError);
    EXPECT_THROW(reg.add(sqliteAlias(QStringLiteral("x"), QStringLiteral("a\nb"))), EngineError);
}

TEST(AliasRegistryTest, RenameKeepsSettingsAndRefusesTakenInvalidOrUnknownNames)
{
    QTemporaryDir dir;
    AliasRegistry reg(dir.filePath(QStringLiteral("a.ini")));
    AliasDef a = sqliteAlias(QStringLiteral("archive"), QStringLiteral("/x/a.sqlite"));
    a.readOnly = true;
    reg.add(a);
    reg.add(sqliteAlias(QStringLiteral("Sales"), QStringLiteral("/x/s.sqlite")));
    reg.rename(QStringLiteral("archive"), QStringLiteral("Old"));
    EXPECT_EQ(reg.names(), (QStringList{QStringLiteral("Old"), QStringLiteral("Sales")}));
    EXPECT_EQ(reg.find(QStringLiteral("Old"))->path, QStringLiteral("/x/a.sqlite"));
    EXPECT_TRUE(reg.find(QStringLiteral("Old"))->readOnly);
    reg.rename(QStringLiteral("Old"), QStringLiteral("old")); // its own name in another case
    EXPECT_THROW(reg.rename(QStringLiteral("old"), QStringLiteral("SALES")), EngineError);
    EXPECT_THROW(reg.rename(QStringLiteral("old"), QStringLiteral(" x")), EngineError);
    EXPECT_THROW(reg.rename(QStringLiteral("gone"), QStringLiteral("y")), EngineError);
    EXPECT_EQ(reg.names(), (QStringList{QStringLiteral("old"), QStringLiteral("Sales")}));

    // Names made for files: free, valid, distinct whatever the case.
    EXPECT_EQ(reg.uniqueName(QStringLiteral("sales")), QStringLiteral("sales_2"));
    EXPECT_EQ(reg.uniqueName(QStringLiteral("[x]")), QStringLiteral("_x_"));
    EXPECT_EQ(reg.uniqueName(QStringLiteral("  ")), QStringLiteral("Database"));
}

TEST(ConnectionTest, UnknownAliasAndMissingFileFailClearlyWithoutAsking)
{
    QTemporaryDir dir;
    Session s(QStringLiteral("S"), dir.filePath(QStringLiteral("a.ini")));
    ScriptedLogin login;
    s.setLoginPrompt(&login);
    const QString missing = dir.filePath(QStringLiteral("gone.sqlite"));
    s.aliases().add(sqliteAlias(QStringLiteral("gone"), missing));

    Database db(s);
    db.setLoginPrompt(true);
    db.setDatabaseName(QStringLiteral("nosuch"));
    try {
        db.open();
        FAIL();
    } catch (const EngineError &e) {
        EXPECT_THAT(msg(e), HasSubstr("Unknown alias 'nosuch'"));
    }
    db.setDatabaseName(QStringLiteral("gone"));
    try {
        db.open();
        FAIL();
    } catch (const EngineError &e) {
        EXPECT_THAT(msg(e), HasSubstr("does not exist"));
    }
    EXPECT_FALSE(QFileInfo::exists(missing)) << "an empty database was created";
    EXPECT_FALSE(db.connected());
    EXPECT_EQ(login.calls, 0);
    EXPECT_THROW(s.tableNames(QStringLiteral("gone"), QString(), false, false), EngineError);
}

TEST(ConnectionTest, SqliteConnectionDescribesItselfAndListsTables)
{
    QTemporaryDir dir;
    Session s(QStringLiteral("S"), dir.filePath(QStringLiteral("a.ini")));
    s.aliases().ensureDefaults(dir.filePath(QStringLiteral("demo.sqlite")));
    Database db(s);
    db.setDatabaseName(QStringLiteral("PelldrakeDemo"));
    db.open();
    EXPECT_TRUE(db.connected());
    EXPECT_EQ(db.driverName(), QStringLiteral("SQLITE"));
    ASSERT_EQ(db.params().size(), 1);
    EXPECT_TRUE(db.params().first().startsWith(QLatin1String("PATH=")));
    EXPECT_FALSE(db.readOnly());
    const QStringList plain = s.tableNames(QStringLiteral("PelldrakeDemo"), QString(), false, false);
    const QStringList qualified = s.tableNames(QStringLiteral("PelldrakeDemo"), QString(), true, false);
    ASSERT_TRUE(plain.contains(QStringLiteral("orders")));
    EXPECT_TRUE(qualified.contains(QStringLiteral("main.orders")));
    EXPECT_EQ(plain.size(), qualified.size());
    EXPECT_EQ(s.tableNames(QStringLiteral("PelldrakeDemo"), QStringLiteral("ord*"), false, false),
              QStringList{QStringLiteral("orders")});
    for (const QString &name : {QStringLiteral("orders"), QStringLiteral("main.orders")}) {
        Table t(s);
        t.setDatabaseName(QStringLiteral("PelldrakeDemo"));
        t.setTableName(name);
        t.open();
        EXPECT_GE(t.recordCount(), 10000);
    }
    db.close();
    EXPECT_FALSE(db.connected());
    EXPECT_TRUE(db.params().isEmpty());
}

class PostgresLoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pgs = PgSettings::fromEnvironment();
        if (!pgs.available || pgs.pwUser.isEmpty())
            GTEST_SKIP() << "PELLDRAKE_TEST_PG_* not set";
        session = std::make_unique<Session>(QStringLiteral("S"), dir.filePath(QStringLiteral("a.ini")));
        session->aliases().add(pgAlias(QStringLiteral("secure"), pgs.host, pgs.port, pgs.db, pgs.pwUser));
        session->setLoginPrompt(&login);
    }
    QTemporaryDir dir;
    PgSettings pgs;
    ScriptedLogin login;
    std::unique_ptr<Session> session;
};

TEST_F(PostgresLoginTest, RefusedLoginsGiveClearMessages)
{
    Database db(*session);
    db.setDatabaseName(QStringLiteral("secure"));
    // Without the prompt flag nothing is asked and the server's refusal is reported.
    try {
        db.open();
        FAIL();
    } catch (const EngineError &e) {
        EXPECT_THAT(msg(e), HasSubstr("Cannot connect to alias 'secure'"));
    }
    EXPECT_EQ(login.calls, 0);

    db.setLoginPrompt(true);
    login.cancel = true;
    try {
        db.open();
        FAIL();
    } catch (const EngineError &e) {
        EXPECT_THAT(msg(e), HasSubstr("cancelled"));
    }
    EXPECT_EQ(login.calls, 1);
    EXPECT_EQ(login.lastAlias, QStringLiteral("secure"));
    EXPECT_EQ(login.lastUser, pgs.pwUser);

    login.cancel = false;
    login.givePassword = QStringLiteral("wrong-password");
    try {
        db.open();
        FAIL();
    } catch (const EngineError &e) {
        EXPECT_THAT(msg(e), HasSubstr("Cannot connect to alias 'secure'"));
        EXPECT_THAT(msg(e), HasSubstr("password"));
    }
    EXPECT_FALSE(db.connected());
}

TEST_F(PostgresLoginTest, PasswordIsHeldUntilForgotten)
{
    login.givePassword = pgs.password;
    Database db(*session);
    db.setDatabaseName(QStringLiteral("secure"));
    db.setLoginPrompt(true);
    db.open();
    ASSERT_TRUE(db.connected());
    EXPECT_EQ(login.calls, 1);
    EXPECT_EQ(db.driverName(), QStringLiteral("POSTGRES"));
    for (const QString &p : db.params())
        EXPECT_FALSE(p.contains(pgs.password)) << p.toStdString();
    EXPECT_TRUE(db.params().contains(QStringLiteral("USER NAME=") + pgs.pwUser));
    db.close();

    // Reconnecting, even without the prompt flag, uses the password given before.
    db.setLoginPrompt(false);
    db.open();
    EXPECT_TRUE(db.connected());
    EXPECT_EQ(login.calls, 1);
    db.close();

    session->forgetAllPasswords();
    EXPECT_THROW(db.open(), EngineError);
    db.setLoginPrompt(true);
    db.open();
    EXPECT_EQ(login.calls, 2);
    QFile ini(session->aliases().iniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains(pgs.password.toUtf8()));
}

TEST_F(PostgresLoginTest, PromptFlagAsksAtOnceAndAllowsAnotherUser)
{
    // The alias names a user the server lets in without a password; with the flag on the
    // dialog still comes first, and the user logs in as someone else.
    session->aliases().add(pgAlias(QStringLiteral("open"), pgs.host, pgs.port, pgs.db, pgs.user));
    Database db(*session);
    db.setDatabaseName(QStringLiteral("open"));
    db.setLoginPrompt(true);
    login.giveUser = pgs.pwUser;
    login.givePassword = pgs.password;
    db.open();
    EXPECT_EQ(login.calls, 1);
    EXPECT_EQ(login.lastUser, pgs.user);
    EXPECT_TRUE(db.params().contains(QStringLiteral("USER NAME=") + pgs.pwUser));
    db.close();

    // Without the flag the alias's own user connects silently.
    Database plain(*session);
    plain.setDatabaseName(QStringLiteral("open"));
    session->forgetAllPasswords();
    plain.open();
    EXPECT_EQ(login.calls, 1);
    EXPECT_TRUE(plain.params().contains(QStringLiteral("USER NAME=") + pgs.user));
}

} // namespace
} // namespace pelldrake::engine::test
