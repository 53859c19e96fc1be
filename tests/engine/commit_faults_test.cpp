// Writes that are not stored say so: a post or a COMMIT refused by the engine (SQLite: another
// connection reading; PostgreSQL: a deferred foreign key checked at the end) is reported, leaves
// no transaction open and no count of records that are not there.
#include "engine_fixture.h"

#include "engine/table_appender.h"

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
                t->deleteAll([&] {
                    batch.step();
                    return true;
                });
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

// SQLite tables without an INTEGER PRIMARY KEY are addressed by a rowid that VACUUM renumbers and
// a new row can take over; the row as read must still be there for an edit or a delete to land.
// (On PostgreSQL the same steps meet a key that never moves.)
TEST_P(CommitFaultsTest, ARecordWhoseRowIdentityMovedIsNeitherEditedNorDeleted)
{
    struct Shape {
        const char *name;
        QString columns;
    };
    const Shape shapes[] = {
        {"no key", QStringLiteral("name VARCHAR(10), note VARCHAR(20), r REAL, b %1, memo TEXT")},
        {"text key", QStringLiteral("name VARCHAR(10) PRIMARY KEY, note VARCHAR(20), r REAL, b %1, memo TEXT")},
    };
    const QString memo = QString(5000, QLatin1Char('m'));
    for (const Shape &shape : shapes) {
        for (const bool vacuum : {true, false}) {
            SCOPED_TRACE(std::string(shape.name) + (vacuum ? ", vacuum" : ", rowid taken over"));
            if (pg() && (vacuum || std::string(shape.name) == "no key"))
                continue; // nothing moves there; a table without a key is read-only
            const QString t = tableName(QStringLiteral("moved"));
            exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(t, shape.columns.arg(blobType())));
            // Alike in every column the check covered before: note, r, b and memo.
            for (const char *n : {"A", "B", "C"})
                exec(QStringLiteral("INSERT INTO %1 VALUES ('%2', NULL, 0.1, NULL, '%3')").arg(t, QLatin1String(n), memo));
            auto tab = openTable(t);
            tab->setRecNo(vacuum ? 2 : 3); // B, or C
            const QString mine = tab->fieldByName(QStringLiteral("name"))->asString();
            ASSERT_EQ(mine, vacuum ? QStringLiteral("B") : QStringLiteral("C"));
            // Where the record is now: its rowid on SQLite, whether it is there at all on PostgreSQL.
            auto whereIsMine = [&] {
                return stored(QStringLiteral("SELECT %1 FROM %2 WHERE name = '%3'")
                                  .arg(pg() ? QStringLiteral("count(*)") : QStringLiteral("rowid"), t, mine));
            };
            const QString before = whereIsMine();
            if (vacuum) {
                elsewhere(QStringLiteral("DELETE FROM %1 WHERE name = 'A'").arg(t));
                elsewhere(QStringLiteral("VACUUM"));
            } else {
                elsewhere(QStringLiteral("DELETE FROM %1 WHERE name = 'C'").arg(t));
                elsewhere(QStringLiteral("INSERT INTO %1 VALUES ('D', NULL, 0.1, NULL, '%2')").arg(t, memo));
            }
            const bool moved = whereIsMine() != before;
            EXPECT_TRUE(moved || std::string(shape.name) == "text key"); // the scenario holds
            auto others = [&] { return stored(QStringLiteral("SELECT count(*) FROM %1 WHERE name <> '%2'").arg(t, mine)); };
            const QString rows = count(t);
            const QString otherRows = others();

            tab->edit();
            tab->fieldByName(QStringLiteral("note"))->setAsString(QStringLiteral("note for ") + mine);
            try {
                tab->post();
                EXPECT_FALSE(moved) << "an edit landed on another record";
            } catch (const EngineError &e) {
                EXPECT_TRUE(moved) << e.what();
                EXPECT_THAT(e.message().toStdString(), HasSubstr("changed or deleted by another user"));
                tab->cancel();
            }
            // A note is only ever on the record it was written for.
            EXPECT_EQ(stored(QStringLiteral("SELECT count(*) FROM %1 WHERE note IS NOT NULL AND name <> '%2'").arg(t, mine)),
                      QStringLiteral("0"));
            try {
                tab->deleteRecord();
                EXPECT_FALSE(moved) << "a delete removed another record";
            } catch (const EngineError &e) {
                EXPECT_TRUE(moved) << e.what();
                EXPECT_THAT(e.message().toStdString(), HasSubstr("by another user"));
            }
            EXPECT_EQ(count(t).toInt(), rows.toInt() - (moved ? 0 : 1));
            EXPECT_EQ(others(), otherRows);
        }
    }
}

// The check of the whole row matches a row nobody else changed, whatever its values hold.
TEST_P(CommitFaultsTest, AnUnchangedRowWithoutAStableKeyIsEditedAndDeleted)
{
    const QString t = tableName(QStringLiteral("whole"));
    exec(QStringLiteral("CREATE TABLE %1 (%2 name VARCHAR(10), note VARCHAR(20), r %5, i %3, b %4, memo TEXT)")
             .arg(t, pg() ? QStringLiteral("id SERIAL PRIMARY KEY,") : QString(),
                  pg() ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER"), blobType(),
                  pg() ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL")));
    const QString blob = pg() ? QStringLiteral("'\\x00ff00'::bytea") : QStringLiteral("x'00ff00'");
    exec(QStringLiteral("INSERT INTO %1 (name, note, r, i, b, memo) VALUES ('A', NULL, 0.1, 9007199254740993, %2, '%3')")
             .arg(t, blob, QString(100000, QLatin1Char('x'))));
    exec(QStringLiteral("INSERT INTO %1 (name, note, r, i, b, memo) VALUES ('B', '', 1e300, NULL, NULL, NULL)").arg(t));
    auto tab = openTable(t);
    for (int row = 1; row <= 2; ++row) {
        tab->setRecNo(row);
        tab->edit();
        tab->fieldByName(QStringLiteral("note"))->setAsString(QStringLiteral("edited"));
        ASSERT_NO_THROW(tab->post()) << row;
    }
    EXPECT_EQ(stored(QStringLiteral("SELECT count(*) FROM %1 WHERE note = 'edited'").arg(t)), QStringLiteral("2"));
    tab->first();
    ASSERT_NO_THROW(tab->deleteRecord());
    ASSERT_NO_THROW(tab->deleteRecord());
    EXPECT_EQ(count(t), QStringLiteral("0"));
}

// A filtered Delete All deletes what matches the filter when it runs: rows another program changed
// since the keys were read, and SQLite rowids that a VACUUM gave to other rows, are left alone.
TEST_P(CommitFaultsTest, AFilteredDeleteAllLeavesRowsThatNoLongerMatch)
{
    const QString t = tableName(QStringLiteral("filtered"));
    exec(QStringLiteral("CREATE TABLE %1 (%2 city VARCHAR(20), name VARCHAR(10))")
             .arg(t, pg() ? QStringLiteral("id SERIAL PRIMARY KEY,") : QString()));
    for (const char *row : {"'Paris', 'A'", "'London', 'B'", "'Lyon', 'C'", "'Leeds', 'D'", "'Lille', 'E'"})
        exec(QStringLiteral("INSERT INTO %1 (city, name) VALUES (%2)").arg(t, QLatin1String(row)));
    auto tab = openTable(t);
    tab->setFilter(QStringLiteral("city = 'L*'"));
    tab->setFiltered(true);
    tab->last(); // every key of the filter is read now
    ASSERT_EQ(tab->rowCount(), 4);
    // Meanwhile: D moves away from the filter, and on SQLite Paris leaves and VACUUM renumbers the
    // rows, so the keys read for London.. now name Lyon.., Paris' old rowid names London.
    elsewhere(QStringLiteral("UPDATE %1 SET city = 'Dover' WHERE name = 'D'").arg(t));
    if (!pg()) {
        elsewhere(QStringLiteral("DELETE FROM %1 WHERE name = 'A'").arg(t));
        elsewhere(QStringLiteral("INSERT INTO %1 (city, name) VALUES ('Paris', 'F')").arg(t));
        elsewhere(QStringLiteral("VACUUM"));
    }
    tab->deleteAll({});
    // Paris and Dover never matched the filter when it ran; on SQLite London's renumbered row was
    // not among the keys read and stays too (less deleted is never data lost).
    EXPECT_EQ(stored(QStringLiteral("SELECT count(*) FROM %1 WHERE city IN ('Paris', 'Dover')").arg(t)),
              QStringLiteral("2"));
    EXPECT_EQ(stored(QStringLiteral("SELECT count(*) FROM %1 WHERE city IN ('Lyon', 'Lille')").arg(t)),
              QStringLiteral("0"));
}

INSTANTIATE_TEST_SUITE_P(Engines, CommitFaultsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
} // namespace pelldrake::engine::test
