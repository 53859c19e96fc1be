// Writes that are not stored say so: a post or a COMMIT refused by the engine (SQLite: another
// connection reading; PostgreSQL: a deferred foreign key checked at the end) is reported, leaves
// no transaction open and no count of records that are not there.
#include "engine_fixture.h"

#include "app/engine/table_appender.h"

#include <QSqlError>
#include <QSqlQuery>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

using ::testing::HasSubstr;

class CommitFaultsTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // A write meeting a reader waits this long before SQLite says "database is locked".
        if (!pg())
            exec(QStringLiteral("PRAGMA busy_timeout = 100"));
    }
    void TearDown() override
    {
        release();
        EngineTest::TearDown();
    }

    // The engine's reason for the refused write of each test.
    std::string reason() const { return pg() ? "foreign key" : "database is locked"; }

    // SQLite: another connection reads inside a transaction, so its shared lock stays and no
    // write can commit. PostgreSQL needs no lock: its writes break a deferred foreign key.
    void holdReadLock()
    {
        if (pg())
            return;
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        c.setDatabaseName(dir.filePath(QStringLiteral("data.sqlite")));
        ASSERT_TRUE(c.open());
        QSqlQuery q(c);
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN")));
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")));
        ASSERT_TRUE(q.next());
        m_reading = true;
    }
    void release()
    {
        if (!m_reading)
            return;
        m_reading = false;
        {
            QSqlDatabase c = QSqlDatabase::database(QStringLiteral("reader"), false);
            QSqlQuery(c).exec(QStringLiteral("ROLLBACK"));
            c.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    }

    // Parents 1..parents; "child" rows refer to them through a key checked at COMMIT on PostgreSQL.
    void makeTables(int parents)
    {
        m_parent = tableName(QStringLiteral("parent"));
        m_child = tableName(QStringLiteral("child"));
        exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(20))").arg(m_parent));
        exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, parent_id INTEGER REFERENCES %2 (id) "
                            "DEFERRABLE INITIALLY DEFERRED, name VARCHAR(20))")
                 .arg(m_child, m_parent));
        db->startTransaction();
        QSqlQuery q(db->sqlDatabase());
        q.prepare(QStringLiteral("INSERT INTO %1 (id, name) VALUES (?, ?)").arg(m_parent));
        for (int i = 1; i <= parents; ++i) {
            q.bindValue(0, i);
            q.bindValue(1, QStringLiteral("p%1").arg(i));
            EXPECT_TRUE(q.exec());
        }
        db->commit();
        exec(QStringLiteral("INSERT INTO %1 VALUES (1, 1, 'old')").arg(m_child));
    }

    // What a second connection reads, so nothing of an open transaction of `db` is seen.
    QString stored(const QString &sql)
    {
        Session other(QStringLiteral("Other"), session->aliases().iniPath());
        Database o(other);
        o.setDatabaseName(QStringLiteral("data"));
        o.open();
        QSqlQuery q(o.sqlDatabase());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        return q.next() ? q.value(0).toString() : QString();
    }
    // Another program's change, on a connection of its own.
    void elsewhere(const QString &sql)
    {
        Session other(QStringLiteral("Other"), session->aliases().iniPath());
        Database o(other);
        o.setDatabaseName(QStringLiteral("data"));
        o.open();
        QSqlQuery q(o.sqlDatabase());
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QString childName() { return stored(QStringLiteral("SELECT name FROM %1 WHERE id = 1").arg(m_child)); }
    QString count(const QString &table) { return stored(QStringLiteral("SELECT count(*) FROM %1").arg(table)); }

    // A write of another connection goes through: no lock of an open transaction is left.
    void expectOthersCanWrite()
    {
        Session other(QStringLiteral("Other"), session->aliases().iniPath());
        Database o(other);
        o.setDatabaseName(QStringLiteral("data"));
        o.open();
        QSqlQuery q(o.sqlDatabase());
        if (!pg())
            q.exec(QStringLiteral("PRAGMA busy_timeout = 100"));
        EXPECT_TRUE(q.exec(QStringLiteral("UPDATE %1 SET name = name").arg(m_child))) << q.lastError().text().toStdString();
    }

    // The child's change that cannot be stored: its parent is missing (PostgreSQL) or a reader
    // holds the file (SQLite, after holdReadLock()).
    void breakingEdit(Table &t, const QString &name)
    {
        t.edit();
        t.fieldByName(QStringLiteral("name"))->setAsString(name);
        if (pg())
            t.fieldByName(QStringLiteral("parent_id"))->setAsString(QStringLiteral("999"));
    }

    QString m_parent, m_child;
    bool m_reading = false;
};

TEST_P(CommitFaultsTest, APostThatIsNotStoredSaysSoAndStaysInEditOrInsert)
{
    makeTables(1);
    auto t = openTable(m_child);
    holdReadLock();
    breakingEdit(*t, QStringLiteral("new"));
    try {
        t->post();
        FAIL() << "a post that was not stored reported success";
    } catch (const EngineError &e) {
        EXPECT_THAT(e.message().toStdString(), HasSubstr("Cannot update the record"));
        EXPECT_THAT(e.message().toStdString(), HasSubstr(reason()));
    }
    EXPECT_EQ(t->state(), TableState::Edit);
    EXPECT_EQ(t->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("new"));
    release();
    EXPECT_EQ(childName(), QStringLiteral("old"));
    // The user can post again once the cause is gone.
    t->fieldByName(QStringLiteral("parent_id"))->setAsString(QStringLiteral("1"));
    ASSERT_NO_THROW(t->post());
    EXPECT_EQ(childName(), QStringLiteral("new"));

    holdReadLock();
    t->append();
    t->fieldByName(QStringLiteral("id"))->setAsString(QStringLiteral("2"));
    breakingEdit(*t, QStringLiteral("added"));
    try {
        t->post();
        FAIL() << "an insert that was not stored reported success";
    } catch (const EngineError &e) {
        EXPECT_THAT(e.message().toStdString(), HasSubstr("Cannot insert the record"));
        EXPECT_THAT(e.message().toStdString(), HasSubstr(reason()));
    }
    EXPECT_EQ(t->state(), TableState::Insert);
    EXPECT_EQ(t->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("added"));
    release();
    EXPECT_EQ(count(m_child), QStringLiteral("1"));
    t->fieldByName(QStringLiteral("parent_id"))->setAsString(QStringLiteral("1"));
    ASSERT_NO_THROW(t->post());
    EXPECT_EQ(count(m_child), QStringLiteral("2"));
    EXPECT_EQ(t->recordCount(), 2);
}

TEST_P(CommitFaultsTest, AFailedCommitIsRolledBackReportedAndLeavesNoTransactionOpen)
{
    makeTables(1);
    auto t = openTable(m_child);
    for (const bool explicitFinish : {true, false}) {
        SCOPED_TRACE(explicitFinish ? "finish()" : "destructor");
        {
            TransactionBatch batch(*db);
            breakingEdit(*t, QStringLiteral("batched"));
            ASSERT_NO_THROW(t->post());
            holdReadLock();
            if (explicitFinish) {
                try {
                    batch.finish();
                    FAIL() << "a failed commit reported success";
                } catch (const EngineError &e) {
                    EXPECT_THAT(e.message().toStdString(), HasSubstr("Cannot commit"));
                    EXPECT_THAT(e.message().toStdString(), HasSubstr(reason()));
                }
            }
        } // the destructor commits, fails, rolls back and throws nothing
        EXPECT_FALSE(db->inTransaction());
        release();
        EXPECT_EQ(childName(), QStringLiteral("old"));
        // The table shows what is stored, not the edit that was rolled back.
        EXPECT_EQ(t->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("old"));
        expectOthersCanWrite();
        // A later edit is stored at once, not inside a transaction that is gone.
        t->edit();
        t->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("later"));
        ASSERT_NO_THROW(t->post());
        EXPECT_EQ(childName(), QStringLiteral("later"));
        exec(QStringLiteral("UPDATE %1 SET name = 'old', parent_id = 1").arg(m_child));
        t->refresh();
    }
}

TEST_P(CommitFaultsTest, DeleteAllWhoseCommitFailsKeepsEveryRowCounted)
{
    constexpr int kRows = 1300; // a few statement batches
    makeTables(kRows); // on PostgreSQL the child's parent is in the first statement batch
    auto t = openTable(m_parent);
    EXPECT_EQ(t->recordCount(), kRows);
    // The commit fails between two statement batches, or at the end.
    for (const int commitEvery : {1, 1000}) {
        SCOPED_TRACE(commitEvery);
        holdReadLock();
        {
            TransactionBatch batch(*db, commitEvery);
            try {
                t->deleteAll([&] { batch.step(); });
                batch.finish();
                FAIL() << "Delete All whose commit failed reported success";
            } catch (const EngineError &e) {
                EXPECT_THAT(e.message().toStdString(), HasSubstr("Cannot commit"));
                EXPECT_THAT(e.message().toStdString(), HasSubstr(reason()));
            }
        }
        EXPECT_FALSE(db->inTransaction());
        release();
        EXPECT_EQ(count(m_parent), QString::number(kRows));
        EXPECT_EQ(t->recordCount(), kRows);
        EXPECT_EQ(t->rowCount(), kRows);
        // Later posts work (no savepoint outside a transaction).
        t->first();
        t->edit();
        t->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("kept"));
        ASSERT_NO_THROW(t->post());
        EXPECT_EQ(stored(QStringLiteral("SELECT name FROM %1 WHERE id = 1").arg(m_parent)), QStringLiteral("kept"));
    }
}

TEST_P(CommitFaultsTest, AppenderWhoseCommitFailsSaysSoAndCountsOnlyWhatIsStored)
{
    makeTables(1);
    auto t = openTable(m_child);
    auto addThree = [&](TableAppender &a) {
        for (int id = 2; id <= 4; ++id) {
            a.begin();
            a.setText(t->fieldByName(QStringLiteral("id"))->index(), QString::number(id));
            a.setText(t->fieldByName(QStringLiteral("parent_id"))->index(), pg() ? QStringLiteral("999") : QStringLiteral("1"));
            a.add();
        }
    };
    for (const bool explicitFinish : {true, false}) {
        SCOPED_TRACE(explicitFinish ? "finish()" : "destructor");
        {
            TableAppender a(*t);
            addThree(a);
            holdReadLock();
            if (explicitFinish) {
                try {
                    a.finish();
                    FAIL() << "an appender whose commit failed reported success";
                } catch (const EngineError &e) {
                    EXPECT_THAT(e.message().toStdString(), HasSubstr("Cannot commit"));
                    EXPECT_THAT(e.message().toStdString(), HasSubstr(reason()));
                }
            }
        }
        EXPECT_FALSE(db->inTransaction());
        release();
        EXPECT_EQ(count(m_child), QStringLiteral("1"));
        EXPECT_EQ(t->recordCount(), 1);
        EXPECT_EQ(t->rowCount(), 1);
        expectOthersCanWrite();
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, CommitFaultsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
} // namespace pelldrake::engine::test
