// The table cursor against SQLite and, when configured, PostgreSQL.
#include "engine_fixture.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

using ::testing::HasSubstr;

class TableTest : public EngineTest {
protected:
    // id, name VARCHAR(40), city VARCHAR(30), ref VARCHAR(24), notes TEXT
    QString makePeople(const QStringList &names)
    {
        const QString t = tableName(QStringLiteral("people"));
        exec(QStringLiteral("CREATE TABLE %1 (id %2, name VARCHAR(40) NOT NULL, city VARCHAR(30), "
                            "ref VARCHAR(24), notes TEXT)")
                 .arg(t, autoKey()));
        db->startTransaction();
        QSqlQuery q(db->sqlDatabase());
        q.prepare(QStringLiteral("INSERT INTO %1 (name, city) VALUES (?, ?)").arg(t));
        for (int i = 0; i < names.size(); ++i) {
            q.bindValue(0, names.at(i));
            q.bindValue(1, i % 2 ? QStringLiteral("Oslo") : QStringLiteral("Bergen"));
            EXPECT_TRUE(q.exec());
        }
        db->commit();
        return t;
    }
    void filterBy(Table &t, const QString &expr)
    {
        t.setFilter(expr);
        t.setFiltered(true);
    }
};

TEST_P(TableTest, PrefixFilterTreatsSpecialCharactersLiterally)
{
    const QString t = makePeople({QStringLiteral("O'Brien"), QStringLiteral("O'Brian"), QStringLiteral("OBrien"),
                                  QStringLiteral("100% cotton"), QStringLiteral("1000 cotton"),
                                  QStringLiteral("a_b"), QStringLiteral("axb"), QStringLiteral("back\\slash"),
                                  QStringLiteral("backxslash"), QString::fromUtf8("Zürich"),
                                  QString::fromUtf8("zürich"), QStringLiteral("Zurich")});
    auto tab = openTable(t);
    struct Case {
        QString filter;
        QStringList expected;
    } cases[] = {
        // The browser doubles an apostrophe of the typed value inside the quotes.
        {QStringLiteral("NAME = 'O''Br*'"), {QStringLiteral("O'Brien"), QStringLiteral("O'Brian")}},
        {QStringLiteral("NAME = 'O''Brien'"), {QStringLiteral("O'Brien")}},
        {QStringLiteral("NAME = '100%*'"), {QStringLiteral("100% cotton")}},
        {QStringLiteral("NAME = 'a_*'"), {QStringLiteral("a_b")}},
        {QStringLiteral("NAME = 'back\\*'"), {QStringLiteral("back\\slash")}},
        {QString::fromUtf8("NAME = 'Zü*'"), {QString::fromUtf8("Zürich")}},
        {QStringLiteral("name = 'o*'"), {}},
    };
    for (const Case &c : cases) {
        filterBy(*tab, c.filter);
        EXPECT_THAT(columnValues(*tab, QStringLiteral("NAME")), ::testing::UnorderedElementsAreArray(c.expected))
            << c.filter.toStdString();
        EXPECT_EQ(tab->rowCount(), c.expected.size());
        EXPECT_EQ(tab->recordCount(), 12) << "filters do not change the record count";
    }
    tab->setFiltered(false);
    EXPECT_EQ(tab->rowCount(), 12);
    EXPECT_THROW(filterBy(*tab, QStringLiteral("NAME = 'O'Br*'")), EngineError);
    EXPECT_THROW(filterBy(*tab, QStringLiteral("NOSUCH = 'x*'")), EngineError);
}

TEST_P(TableTest, EmptyValueFilterSelectsEmptyAndNull)
{
    const QString t = makePeople({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    exec(QStringLiteral("UPDATE %1 SET ref = '' WHERE name = 'a'").arg(t));
    exec(QStringLiteral("UPDATE %1 SET ref = 'K1' WHERE name IN ('b', 'c')").arg(t));
    auto tab = openTable(t);
    filterBy(*tab, QStringLiteral("REF=''"));
    EXPECT_THAT(columnValues(*tab, QStringLiteral("name")), ::testing::UnorderedElementsAre("a", "d"));
    filterBy(*tab, QStringLiteral("ref <> ''"));
    EXPECT_THAT(columnValues(*tab, QStringLiteral("name")), ::testing::UnorderedElementsAre("b", "c"));
}

TEST_P(TableTest, MultiFieldIndexOrdersByAllItsFields)
{
    const QString t = tableName(QStringLiteral("idx"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, city VARCHAR(20), name VARCHAR(20))").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1,'Oslo','b'),(2,'Bergen','z'),(3,'Oslo','a'),(4,'Bergen','c')").arg(t));
    exec(QStringLiteral("CREATE INDEX %1_cn ON %1 (city, name)").arg(t));
    auto tab = openTable(t);
    ASSERT_EQ(tab->indexDefs().size(), pg() ? 2 : 1);
    const IndexDef idx = tab->indexDefs().last();
    EXPECT_EQ(idx.fields, QStringLiteral("city;name"));
    EXPECT_EQ(columnValues(*tab, QStringLiteral("id")), (QStringList{"1", "2", "3", "4"}));
    tab->setRecNo(3);
    tab->setIndexName(idx.name);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("id"))->asString(), QStringLiteral("3")) << "stays current";
    EXPECT_EQ(tab->recNo(), 3);
    EXPECT_EQ(columnValues(*tab, QStringLiteral("id")), (QStringList{"4", "2", "3", "1"}));
    EXPECT_TRUE(tab->fieldByName(QStringLiteral("city"))->isIndexField());
    EXPECT_FALSE(tab->fieldByName(QStringLiteral("id"))->isIndexField());
    EXPECT_THROW(tab->setIndexName(QStringLiteral("NoSuchIndex")), EngineError);
    EXPECT_EQ(tab->indexName(), idx.name);
    tab->setIndexName(QString());
    EXPECT_EQ(columnValues(*tab, QStringLiteral("id")), (QStringList{"1", "2", "3", "4"}));
}

TEST_P(TableTest, RecordNumbersFollowNavigationAndFilter)
{
    QStringList names;
    for (int i = 0; i < 1200; ++i)
        names << QStringLiteral("n%1").arg(i, 4, 10, QLatin1Char('0'));
    auto tab = openTable(makePeople(names));
    QSignalSpy scrolls(tab.get(), &Table::afterScroll);
    EXPECT_EQ(tab->recNo(), 1);
    EXPECT_TRUE(tab->bof());
    tab->next();
    tab->next();
    EXPECT_EQ(tab->recNo(), 3);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("NAME"))->asString(), QStringLiteral("n0002"));
    tab->last();
    EXPECT_EQ(tab->recNo(), 1200);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("NAME"))->asString(), QStringLiteral("n1199"));
    EXPECT_TRUE(tab->eof());
    tab->prior();
    EXPECT_EQ(tab->recNo(), 1199);
    EXPECT_FALSE(tab->eof());
    tab->setRecNo(700);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("NAME"))->asString(), QStringLiteral("n0699"));
    tab->first();
    tab->prior();
    EXPECT_TRUE(tab->bof());
    EXPECT_EQ(tab->recNo(), 1);
    EXPECT_GE(scrolls.count(), 6);

    filterBy(*tab, QStringLiteral("NAME = 'n05*'"));
    EXPECT_EQ(tab->recNo(), 1);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("NAME"))->asString(), QStringLiteral("n0500"));
    tab->last();
    EXPECT_EQ(tab->recNo(), 100);
    EXPECT_EQ(tab->rowCount(), 100) << "known in full once last() has read the filter's rows";
    EXPECT_EQ(tab->recordCount(), 1200);
    // Walking forward and backward over page boundaries sees every row once.
    int n = 0;
    for (tab->setFiltered(false), tab->first(); !tab->eof(); tab->next())
        ++n;
    EXPECT_EQ(n, 1200);
    n = 0;
    for (tab->last(); !tab->bof(); tab->prior())
        ++n;
    EXPECT_EQ(n, 1200);
}

TEST_P(TableTest, EditsAndDeletesDuringAWalkStayConsistent)
{
    QStringList names;
    for (int i = 0; i < 1200; ++i)
        names << QStringLiteral("w%1").arg(i, 4, 10, QLatin1Char('0'));
    auto tab = openTable(makePeople(names));
    tab->setRecNo(700);
    tab->edit();
    tab->fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Edited"));
    tab->next();
    EXPECT_EQ(tab->recNo(), 701);
    tab->deleteRecord(); // w0700 goes, w0701 takes its place
    EXPECT_EQ(tab->recNo(), 701);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("w0701"));
    tab->prior();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("Edited"));
    QStringList seen = columnValues(*tab, QStringLiteral("name"));
    EXPECT_EQ(seen.size(), 1199);
    EXPECT_FALSE(seen.contains(QStringLiteral("w0700")));
    EXPECT_EQ(seen.at(699), QStringLiteral("w0699"));
    EXPECT_EQ(seen.at(700), QStringLiteral("w0701"));
    // Backwards over the same rows.
    QStringList back;
    for (tab->last(); !tab->bof(); tab->prior())
        back.prepend(tab->fieldByName(QStringLiteral("name"))->asString());
    EXPECT_EQ(back, seen);
    // A grid reading far-away rows does not move the cursor or disturb the walk.
    tab->setRecNo(10);
    EXPECT_EQ(tab->textAt(1100, 1), QStringLiteral("w1101"));
    tab->next();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("w0010"));
}

TEST_P(TableTest, AppendEditPostCancelDelete)
{
    const QString t = makePeople({QStringLiteral("a"), QStringLiteral("b")});
    auto tab = openTable(t);
    QSignalSpy states(tab.get(), &Table::stateChanged);
    tab->append();
    EXPECT_EQ(tab->state(), TableState::Insert);
    EXPECT_FALSE(tab->modified());
    tab->fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Tromsø"));
    EXPECT_TRUE(tab->modified());
    try {
        tab->post();
        FAIL() << "a required field was left empty";
    } catch (const EngineError &e) {
        EXPECT_THAT(e.message().toStdString(), HasSubstr("'name' must have a value"));
    }
    tab->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("c"));
    tab->post();
    EXPECT_EQ(tab->state(), TableState::Browse);
    EXPECT_EQ(tab->recordCount(), 3);
    EXPECT_EQ(tab->rowCount(), 3);
    EXPECT_EQ(tab->recNo(), 3);
    EXPECT_FALSE(tab->fieldByName(QStringLiteral("id"))->isNull()) << "the new key is read back";

    tab->first();
    tab->edit();
    tab->fieldByName(QStringLiteral("notes"))->setAsString(QStringLiteral("line 1\nline 2"));
    tab->cancel();
    EXPECT_TRUE(tab->fieldByName(QStringLiteral("notes"))->isNull());
    tab->edit();
    tab->fieldByName(QStringLiteral("notes"))->setAsString(QStringLiteral("line 1\nline 2"));
    tab->next(); // moving on posts
    EXPECT_EQ(tab->state(), TableState::Browse);
    {
        QSqlQuery q(db->sqlDatabase());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT notes FROM %1 WHERE name = 'a'").arg(t)));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toString(), QStringLiteral("line 1\nline 2"));
    }
    // An unmodified edit is just left.
    tab->edit();
    tab->append();
    tab->cancel();
    EXPECT_EQ(tab->recordCount(), 3);

    tab->first();
    tab->deleteRecord();
    EXPECT_EQ(tab->recordCount(), 2);
    EXPECT_EQ(tab->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("b"));
    EXPECT_GE(states.count(), 4);
    EXPECT_THROW(tab->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("x")), EngineError)
        << "assignment outside edit mode";
    tab->refresh();
    EXPECT_EQ(tab->recordCount(), 2);
}

TEST_P(TableTest, UpdateOfRowChangedElsewhereFailsAndChangesNothing)
{
    const QString t = makePeople({QStringLiteral("a"), QStringLiteral("b")});
    auto tab = openTable(t);
    auto other = otherSession();
    Database otherDb(*other);
    otherDb.setDatabaseName(QStringLiteral("data"));
    otherDb.open();
    Query q(*other);
    q.setDatabaseName(QStringLiteral("data"));
    q.setSql(QStringLiteral("UPDATE %1 SET city = 'Narvik' WHERE name = 'a'").arg(t));

    tab->first();
    (void)tab->fieldByName(QStringLiteral("city"))->asString(); // the row is read before the change
    q.execSql();
    EXPECT_EQ(q.rowsAffected(), 1);
    tab->edit();
    tab->fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Bodø"));
    try {
        tab->post();
        FAIL() << "lost update";
    } catch (const EngineError &e) {
        EXPECT_THAT(e.message().toStdString(), HasSubstr("changed or deleted by another user"));
    }
    EXPECT_EQ(tab->state(), TableState::Edit);
    tab->cancel();
    tab->refresh();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("city"))->asString(), QStringLiteral("Narvik"));

    // A change to another field of the same row does not conflict.
    tab->edit();
    tab->fieldByName(QStringLiteral("ref"))->setAsString(QStringLiteral("R1"));
    q.setSql(QStringLiteral("UPDATE %1 SET notes = 'x' WHERE name = 'a'").arg(t));
    q.execSql();
    tab->post();
    tab->refresh();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("notes"))->asString(), QStringLiteral("x"));
    EXPECT_EQ(tab->fieldByName(QStringLiteral("ref"))->asString(), QStringLiteral("R1"));

    // A row deleted elsewhere cannot be updated either.
    q.setSql(QStringLiteral("DELETE FROM %1 WHERE name = 'a'").arg(t));
    q.execSql();
    tab->edit();
    tab->fieldByName(QStringLiteral("city"))->setAsString(QStringLiteral("Alta"));
    EXPECT_THROW(tab->post(), EngineError);
    tab->cancel();
}

TEST_P(TableTest, FieldMetadataAndTextForms)
{
    const QString t = tableName(QStringLiteral("types"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, s VARCHAR(25) NOT NULL, m TEXT, "
                        "i INTEGER, b BIGINT, sm SMALLINT, f REAL, d DOUBLE PRECISION, n NUMERIC(10,2), "
                        "dt DATE, tm TIME, ts %2, ok BOOLEAN, bl %3)")
             .arg(t, dateTimeType(), blobType()));
    auto tab = openTable(t);
    const int expected[] = {ftInteger, ftString, ftMemo, ftInteger, ftLargeint, ftSmallint, ftFloat,
                            ftFloat, ftBCD, ftDate, ftTime, ftDateTime, ftBoolean, ftBlob};
    ASSERT_EQ(tab->fieldCount(), 14);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(tab->field(i)->dataType(), expected[i]) << tab->field(i)->fieldName().toStdString();
        EXPECT_EQ(tab->field(i)->fieldNo(), i + 1);
        EXPECT_EQ(tab->field(i)->fieldKind(), fkData);
    }
    EXPECT_EQ(tab->fieldByName(QStringLiteral("S"))->size(), 25);
    EXPECT_TRUE(tab->fieldByName(QStringLiteral("s"))->required());
    EXPECT_FALSE(tab->fieldByName(QStringLiteral("m"))->required());
    EXPECT_EQ(tab->fieldByName(QStringLiteral("n"))->size(), 2);
    EXPECT_EQ(tab->findField(QStringLiteral("nosuch")), nullptr);
    EXPECT_THROW(tab->fieldByName(QStringLiteral("nosuch")), EngineError);
    EXPECT_TRUE(tab->canModify());

    // Every text form goes in and comes back unchanged.
    const std::pair<const char *, const char *> values[] = {
        {"id", "7"}, {"s", "Ærø, 'quoted'"}, {"m", "two\nlines"}, {"i", "-42"},
        {"b", "9007199254740993"}, {"sm", "12"}, {"f", "0.5"}, {"d", "3.141592653589793"},
        {"n", "1234.5"}, {"dt", "2024-02-29"}, {"tm", "23:59:58"}, {"ts", "2024-03-05 14:07:09.045"},
        {"ok", "true"}, {"bl", "00ff0a3d"}};
    tab->append();
    for (const auto &[name, text] : values)
        tab->fieldByName(QLatin1String(name))->setAsString(QString::fromUtf8(text));
    tab->post();
    tab->refresh();
    tab->first();
    for (const auto &[name, text] : values) {
        QString got = tab->fieldByName(QLatin1String(name))->asString();
        if (QLatin1String(name) == QLatin1String("n") && got == QLatin1String("1234.50"))
            got = QStringLiteral("1234.5");
        EXPECT_EQ(got, QString::fromUtf8(text)) << name;
    }
    EXPECT_EQ(tab->fieldByName(QStringLiteral("dt"))->value().toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(tab->fieldByName(QStringLiteral("ok"))->value().toBool(), true);
    tab->edit();
    EXPECT_THROW(tab->fieldByName(QStringLiteral("i"))->setAsString(QStringLiteral("4x")), EngineError);
    tab->fieldByName(QStringLiteral("i"))->setAsString(QString());
    tab->post();
    EXPECT_TRUE(tab->fieldByName(QStringLiteral("i"))->isNull());
}

TEST_P(TableTest, TimesFinerThanMillisecondsCanBeUpdated)
{
    const QString t = tableName(QStringLiteral("times"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, ts TIMESTAMP, tz %2, tm TIME)")
             .arg(t, pg() ? QStringLiteral("TIMESTAMP WITH TIME ZONE") : QStringLiteral("TIMESTAMP")));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, '2024-01-01 10:00:00.123456', '2024-01-01 10:00:00.999999+00', "
                        "'08:15:30.123756')")
             .arg(t));
    auto tab = openTable(t);
    tab->edit();
    tab->fieldByName(QStringLiteral("ts"))->setAsString(QStringLiteral("2025-06-30 23:59:59.5"));
    tab->fieldByName(QStringLiteral("tz"))->setAsString(QStringLiteral("2025-06-30 12:00:00"));
    tab->fieldByName(QStringLiteral("tm"))->setAsString(QStringLiteral("09:00:00"));
    tab->post();
    tab->refresh();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("ts"))->asString(), QStringLiteral("2025-06-30 23:59:59.500"));
    EXPECT_EQ(tab->fieldByName(QStringLiteral("tm"))->asString(), QStringLiteral("09:00:00"));
    // Posting the zoned value again as read must find the row too.
    tab->edit();
    tab->fieldByName(QStringLiteral("tz"))->setValue(tab->fieldByName(QStringLiteral("tz"))->value());
    tab->post();
}

TEST_P(TableTest, EditThatLeavesTheFilterMakesTheNextRecordCurrent)
{
    QStringList names;
    for (int i = 0; i < 30; ++i)
        names << QStringLiteral("r%1").arg(i);
    const QString t = makePeople(names);
    exec(QStringLiteral("UPDATE %1 SET ref = 'done' WHERE id - 3 * (id / 3) = 0").arg(t));
    auto tab = openTable(t);
    filterBy(*tab, QStringLiteral("ref = ''"));
    const int empty = tab->rowCount();
    ASSERT_EQ(empty, 20);
    // The key fill loop: fill while at most `max`, never moving explicitly after a post.
    int filled = 0;
    TransactionBatch batch(*db, 7);
    tab->first();
    while (!tab->eof() && filled < 15) {
        if (tab->fieldByName(QStringLiteral("ref"))->text().isEmpty()) {
            tab->edit();
            tab->fieldByName(QStringLiteral("ref"))->setValue(QStringLiteral("K%1").arg(filled, 3, 10, QLatin1Char('0')));
            tab->post();
            ++filled;
            batch.step();
        } else {
            tab->next();
        }
    }
    batch.finish();
    EXPECT_EQ(filled, 15);
    EXPECT_EQ(tab->rowCount(), 5);
    tab->refresh();
    EXPECT_EQ(tab->rowCount(), 5);
    tab->setFiltered(false);
    filterBy(*tab, QStringLiteral("REF = 'K*'"));
    EXPECT_EQ(tab->rowCount(), 15);
}

TEST_P(TableTest, DeleteLoopRemovesOnlyFilteredRecords)
{
    QStringList names;
    for (int i = 0; i < 1500; ++i)
        names << QStringLiteral("%1x%2").arg(i % 10).arg(i);
    auto tab = openTable(makePeople(names));
    filterBy(*tab, QStringLiteral("NAME = '3*'"));
    tab->last(); // a filter's rows are known page by page; last() reads them all
    ASSERT_EQ(tab->rowCount(), 150);
    {
        TransactionBatch batch(*db, 100);
        for (tab->first(); !tab->eof();) {
            tab->edit();
            tab->deleteRecord();
            batch.step();
        }
    }
    EXPECT_EQ(tab->rowCount(), 0);
    EXPECT_EQ(tab->recordCount(), 1350);
    tab->setFiltered(false);
    EXPECT_EQ(tab->rowCount(), 1350);
    // Emptying a whole table walks past the keys read at open.
    {
        TransactionBatch batch(*db, 500);
        for (tab->first(); !tab->eof(); batch.step())
            tab->deleteRecord();
    }
    EXPECT_EQ(tab->recordCount(), 0);
    tab->refresh();
    EXPECT_EQ(tab->recordCount(), 0);
    EXPECT_EQ(tab->recNo(), -1);
}

TEST_P(TableTest, LoadLoopAppendsInBatches)
{
    auto tab = openTable(makePeople({QStringLiteral("seed")}));
    {
        TransactionBatch batch(*db, 250);
        for (int i = 0; i < 1000; ++i) {
            tab->edit();
            tab->append();
            tab->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("L%1").arg(i));
            batch.step();
        }
        tab->post();
    }
    EXPECT_EQ(tab->recordCount(), 1001);
    tab->refresh();
    EXPECT_EQ(tab->recordCount(), 1001);
    tab->last();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("name"))->asString(), QStringLiteral("L999"));
}

TEST_P(TableTest, FailedWriteInBatchKeepsEarlierRecords)
{
    const QString t = makePeople({});
    exec(QStringLiteral("CREATE UNIQUE INDEX %1_name ON %1 (name)").arg(t));
    auto tab = openTable(t);
    {
        TransactionBatch batch(*db, 100);
        for (const char *name : {"x1", "x2", "x1"}) {
            tab->append();
            tab->fieldByName(QStringLiteral("name"))->setAsString(QLatin1String(name));
            try {
                tab->post();
            } catch (const EngineError &) {
                EXPECT_EQ(QLatin1String(name), QLatin1String("x1"));
                EXPECT_EQ(tab->state(), TableState::Insert);
                tab->cancel();
                break;
            }
            batch.step();
        }
    }
    EXPECT_EQ(tab->recordCount(), 2);
    tab->refresh();
    EXPECT_THAT(columnValues(*tab, QStringLiteral("name")), ::testing::ElementsAre("x1", "x2"));
    // The connection is usable afterwards.
    tab->append();
    tab->fieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("x3"));
    tab->post();
    EXPECT_EQ(tab->recordCount(), 3);
}

TEST_P(TableTest, ClosingTheConnectionClosesItsTables)
{
    auto tab = openTable(makePeople({QStringLiteral("a")}));
    QSignalSpy states(tab.get(), &Table::stateChanged);
    db->close();
    EXPECT_FALSE(tab->active());
    EXPECT_EQ(states.count(), 1);
    EXPECT_THROW(tab->open(), EngineError);
    db->open();
    tab->open();
    EXPECT_EQ(tab->recordCount(), 1);
    // A session that goes first takes its connections down cleanly.
    session.reset();
    EXPECT_FALSE(db->connected());
    EXPECT_FALSE(tab->active());
    db.reset();
}

TEST_P(TableTest, QueryRunsStatementsAndReportsTheServersMessage)
{
    const QString t = makePeople({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    Query q(*session);
    q.setDatabaseName(QStringLiteral("data"));
    q.setSql(QStringLiteral("UPDATE %1 SET city = 'X' WHERE name <> 'a'").arg(t));
    q.execSql();
    EXPECT_EQ(q.rowsAffected(), 2);
    q.setSql(QStringLiteral("SELEC nonsense"));
    try {
        q.execSql();
        FAIL();
    } catch (const EngineError &e) {
        EXPECT_THAT(e.message().toStdString(), HasSubstr("syntax error"));
    }
    Query other(*session);
    other.setDatabaseName(QStringLiteral("not_connected"));
    other.setSql(QStringLiteral("SELECT 1"));
    EXPECT_THROW(other.execSql(), EngineError);
}

TEST_P(TableTest, SchemaQualifiedNamesOpenTheSameTable)
{
    const QString t = makePeople({QStringLiteral("a")});
    const QString schema = pg() ? QStringLiteral("public") : QStringLiteral("main");
    const QStringList names = session->tableNames(QStringLiteral("data"), QString(), true, false);
    EXPECT_TRUE(names.contains(schema + QLatin1Char('.') + t));
    EXPECT_TRUE(session->tableNames(QStringLiteral("data"), QString(), false, false).contains(t));
    auto tab = openTable(schema + QLatin1Char('.') + t);
    EXPECT_EQ(tab->recordCount(), 1);
    auto missing = std::make_unique<Table>(*session);
    missing->setDatabaseName(QStringLiteral("data"));
    missing->setTableName(QStringLiteral("no_such_table"));
    EXPECT_THROW(missing->open(), EngineError);
    EXPECT_FALSE(missing->active());
}

TEST_P(TableTest, TablesWithoutPrimaryKey)
{
    const QString t = tableName(QStringLiteral("nokey"));
    exec(QStringLiteral("CREATE TABLE %1 (code VARCHAR(10), qty INTEGER)").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES ('a', 1), ('a', 1), ('b', 2)").arg(t));
    auto tab = openTable(t);
    EXPECT_TRUE(tab->indexDefs().isEmpty());
    EXPECT_EQ(columnValues(*tab, QStringLiteral("code")).size(), 3);
    if (pg()) {
        // Without a key an update cannot name its row: read-only.
        EXPECT_FALSE(tab->canModify());
        EXPECT_THROW(tab->edit(), EngineError);
        tab->close();
        exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN id SERIAL NOT NULL").arg(t));
        exec(QStringLiteral("CREATE UNIQUE INDEX %1_u ON %1 (id)").arg(t));
        tab = openTable(t);
    }
    // Duplicate rows are still told apart.
    ASSERT_TRUE(tab->canModify());
    tab->first();
    tab->edit();
    tab->fieldByName(QStringLiteral("qty"))->setAsString(QStringLiteral("5"));
    tab->post();
    tab->refresh();
    EXPECT_EQ(columnValues(*tab, QStringLiteral("qty")), (QStringList{"5", "1", "2"}));
}

TEST_P(TableTest, CompositeKeyTable)
{
    const QString t = tableName(QStringLiteral("comp"));
    exec(QStringLiteral("CREATE TABLE %1 (a VARCHAR(10) NOT NULL, b INTEGER NOT NULL, v VARCHAR(10), "
                        "PRIMARY KEY (a, b))%2")
             .arg(t, pg() ? QString() : QStringLiteral(" WITHOUT ROWID")));
    QSqlQuery q(db->sqlDatabase());
    db->startTransaction();
    for (int i = 0; i < 120; ++i)
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO %1 VALUES ('k%2', %3, 'v')").arg(t).arg(i % 7).arg(i)));
    db->commit();
    auto tab = openTable(t);
    EXPECT_EQ(tab->keyFieldNames(), (QStringList{"a", "b"}));
    EXPECT_EQ(columnValues(*tab, QStringLiteral("b")).size(), 120);
    tab->setRecNo(50);
    const QString a = tab->fieldByName(QStringLiteral("a"))->asString();
    const QString b = tab->fieldByName(QStringLiteral("b"))->asString();
    tab->edit();
    tab->fieldByName(QStringLiteral("v"))->setAsString(QStringLiteral("changed"));
    tab->post();
    tab->deleteRecord();
    EXPECT_EQ(tab->recordCount(), 119);
    QSqlQuery c(db->sqlDatabase());
    ASSERT_TRUE(c.exec(QStringLiteral("SELECT count(*) FROM %1 WHERE v = 'changed'").arg(t)));
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.value(0).toInt(), 0) << a.toStdString() << b.toStdString();
}

TEST_P(TableTest, BooleanFilterMatchesTheTextTheGridShows)
{
    const QString t = tableName(QStringLiteral("flags"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, done BOOLEAN)").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, true), (2, false), (3, NULL), (4, true)").arg(t));
    if (!pg()) // words other programs store in a SQLite BOOLEAN are shown as true or false too
        exec(QStringLiteral("INSERT INTO %1 VALUES (5, 'yes'), (6, 'no'), (7, 'tomato')").arg(t));
    auto tab = openTable(t);
    ASSERT_EQ(tab->fieldByName(QStringLiteral("done"))->dataType(), ftBoolean);
    const QStringList trues = pg() ? QStringList{"1", "4"} : QStringList{"1", "4", "5"};
    const QStringList falses = pg() ? QStringList{"2"} : QStringList{"2", "6"};
    const auto ids = [&](const QString &filter) {
        filterBy(*tab, filter);
        return columnValues(*tab, QStringLiteral("id"));
    };
    EXPECT_EQ(tab->fieldByName(QStringLiteral("done"))->asString(), QStringLiteral("true"));
    // Prefixes of the shown words, as the pane's filter box writes them.
    for (const char *prefix : {"tr", "true"})
        EXPECT_EQ(ids(QStringLiteral("done = '%1*'").arg(QLatin1String(prefix))), trues) << prefix;
    EXPECT_EQ(ids(QStringLiteral("done = 't*'")), pg() ? trues : (QStringList{"1", "4", "5", "7"}));
    EXPECT_EQ(ids(QStringLiteral("done = 'f*'")), falses);
    EXPECT_EQ(ids(QStringLiteral("done = 'fals*'")), falses);
    EXPECT_EQ(ids(QStringLiteral("done = 'T*'")), QStringList()) << "a prefix is case-sensitive, as the grid shows";
    EXPECT_EQ(ids(QStringLiteral("done = 'x*'")), QStringList());
    if (!pg()) {
        EXPECT_EQ(ids(QStringLiteral("done = '1*'")), (QStringList{"1", "4"})) << "the stored 1 still matches";
        EXPECT_EQ(ids(QStringLiteral("done = 'to*'")), QStringList{"7"}) << "text that is no boolean is shown as stored";
        EXPECT_EQ(ids(QStringLiteral("done = 'y*'")), QStringList()) << "'yes' is shown as true";
    }
    // Whole words compare as booleans, in any of the forms a boolean field takes.
    EXPECT_EQ(ids(QStringLiteral("done = 'true'")), trues);
    EXPECT_EQ(ids(QStringLiteral("done = 'F'")), falses);
    EXPECT_EQ(ids(QStringLiteral("done <> 'yes'")), falses);
    EXPECT_EQ(ids(QStringLiteral("done = ''")), QStringList{"3"});
    EXPECT_EQ(ids(QStringLiteral("done IS NULL")), QStringList{"3"});
    EXPECT_THROW(tab->setFilter(QStringLiteral("done = 'maybe'")), EngineError);
    EXPECT_EQ(tab->filter(), QStringLiteral("done IS NULL")) << "a refused filter keeps the one before";
}

TEST_P(TableTest, RefreshKeepsTheCurrentRecordByItsKey)
{
    const QStringList names{"Ada", "Brian", "Cleo", "Dora", "Emil", "Fay"};
    const QString t = makePeople(names);
    auto tab = openTable(t);
    tab->setRecNo(4); // Dora
    auto other = otherSession();
    Database otherDb(*other);
    otherDb.setDatabaseName(QStringLiteral("data"));
    otherDb.open();
    const auto run = [&](const QString &sql) {
        QSqlQuery q(otherDb.sqlDatabase());
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
    };
    const auto current = [&] { return tab->fieldByName(QStringLiteral("name"))->asString(); };
    // Another connection inserts before it and deletes its neighbours.
    run(QStringLiteral("INSERT INTO %1 (id, name) VALUES (0, 'Aaron')").arg(t));
    tab->refresh();
    EXPECT_EQ(current(), QStringLiteral("Dora"));
    EXPECT_EQ(tab->recNo(), 5);
    run(QStringLiteral("DELETE FROM %1 WHERE name IN ('Cleo', 'Emil', 'Brian')").arg(t));
    tab->refresh();
    EXPECT_EQ(current(), QStringLiteral("Dora"));
    EXPECT_EQ(tab->recNo(), 3);
    // Gone itself: the record that took its place.
    run(QStringLiteral("DELETE FROM %1 WHERE name = 'Dora'").arg(t));
    tab->refresh();
    EXPECT_EQ(current(), QStringLiteral("Fay"));
    EXPECT_EQ(tab->recNo(), 3);
    // The last one gone: the new last one.
    run(QStringLiteral("DELETE FROM %1 WHERE name = 'Fay'").arg(t));
    tab->refresh();
    EXPECT_EQ(current(), QStringLiteral("Ada"));
    EXPECT_EQ(tab->recNo(), 2);
}

TEST_P(TableTest, ARefreshedCompositeKeyRecordStaysCurrent)
{
    const QString t = tableName(QStringLiteral("compref"));
    exec(QStringLiteral("CREATE TABLE %1 (a VARCHAR(10) NOT NULL, b INTEGER NOT NULL, v VARCHAR(10), "
                        "PRIMARY KEY (a, b))%2")
             .arg(t, pg() ? QString() : QStringLiteral(" WITHOUT ROWID")));
    exec(QStringLiteral("INSERT INTO %1 VALUES ('k', 1, 'one'), ('k', 2, 'two'), ('k', 3, 'three')").arg(t));
    auto tab = openTable(t);
    tab->setRecNo(2);
    exec(QStringLiteral("INSERT INTO %1 VALUES ('a', 9, 'first')").arg(t));
    tab->refresh();
    EXPECT_EQ(tab->fieldByName(QStringLiteral("v"))->asString(), QStringLiteral("two"));
    EXPECT_EQ(tab->recNo(), 3);
}

TEST_P(TableTest, AReadOnlyTableSaysWhy)
{
    const QString t = makePeople({"Ada"});
    auto tab = openTable(t);
    EXPECT_EQ(tab->readOnlyReason(), QString());
    // The alias: the same database through a read-only alias.
    AliasDef def = *session->aliases().find(QStringLiteral("data"));
    def.name = QStringLiteral("archive");
    def.readOnly = true;
    session->aliases().add(def);
    Database archive(*session);
    archive.setDatabaseName(def.name);
    archive.open();
    Table viaArchive(*session);
    viaArchive.setDatabaseName(def.name);
    viaArchive.setTableName(t);
    viaArchive.open();
    EXPECT_FALSE(viaArchive.canModify());
    EXPECT_EQ(viaArchive.readOnlyReason(), QStringLiteral("Read-only: alias 'archive' is read-only"));
    viaArchive.close();
    EXPECT_EQ(viaArchive.readOnlyReason(), QString()) << "a closed table says nothing";
    // No key (the file case is in the read-only file test).
    if (pg()) {
        const QString nokey = tableName(QStringLiteral("nokey"));
        exec(QStringLiteral("CREATE TABLE %1 (code VARCHAR(10))").arg(nokey));
        auto keyless = openTable(nokey);
        EXPECT_EQ(keyless->readOnlyReason(),
                  QStringLiteral("Read-only: no primary key or unique index over NOT NULL columns"));
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, TableTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

} // namespace
} // namespace pelldrake::engine::test
