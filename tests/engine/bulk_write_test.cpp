// The bulk write paths: the appender behind a load and deleteAll() behind Delete All, on SQLite
// and PostgreSQL.
#include "engine_fixture.h"

#include "engine/table_appender.h"

#include <QSqlQuery>
#include <gmock/gmock.h>

namespace pelldrake::engine::test {
namespace {

using ::testing::HasSubstr;

class BulkWriteTest : public EngineTest {
protected:
    QStringList ids(const QString &table)
    {
        QStringList out;
        QSqlQuery q(db->sqlDatabase());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT id FROM %1 ORDER BY id").arg(table)));
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    void addRecord(TableAppender &a, Table &t, int id, const QString &name)
    {
        a.begin();
        a.setText(t.fieldByName(QStringLiteral("id"))->index(), QString::number(id));
        a.setText(t.fieldByName(QStringLiteral("name"))->index(), name);
        a.add();
    }
};

TEST_P(BulkWriteTest, DuplicateKeyInTheMiddleOfABatchKeepsTheRecordsBeforeIt)
{
    const QString table = tableName(QStringLiteral("bulk"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL)").arg(table));
    exec(QStringLiteral("INSERT INTO %1 VALUES (5, 'five')").arg(table));
    auto t = openTable(table);
    {
        TableAppender a(*t, 4);
        for (int id : {1, 2, 3, 4, 6, 7}) // one batch committed, the second half full
            addRecord(a, *t, id, QStringLiteral("n"));
        // PostgreSQL sends records in groups: the error may come with a later call.
        try {
            addRecord(a, *t, 5, QStringLiteral("dup"));
            a.finish();
            FAIL() << "a duplicate key was accepted";
        } catch (const EngineError &e) {
            EXPECT_THAT(e.message().toStdString(), HasSubstr("Cannot insert the record"));
            EXPECT_EQ(a.failedRecord(), 6);
        }
        EXPECT_EQ(t->recordCount(), 7);
        addRecord(a, *t, 8, QStringLiteral("after")); // the batch goes on after the failure
        a.finish();
    }
    EXPECT_EQ(ids(table), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(t->recordCount(), 8);
    EXPECT_EQ(t->rowCount(), 8);
    EXPECT_EQ(t->fieldByName(QStringLiteral("id"))->asString(), QStringLiteral("8"));

    // An error ending the caller's loop: the appender going away commits what came before.
    try {
        TableAppender a(*t, 100);
        addRecord(a, *t, 9, QStringLiteral("kept"));
        addRecord(a, *t, 1, QStringLiteral("dup"));
    } catch (const EngineError &) {
    }
    EXPECT_EQ(ids(table).size(), 9);
    EXPECT_EQ(t->recordCount(), 9);
}

TEST_P(BulkWriteTest, ValuesAreCheckedAsTheCursorChecksThem)
{
    const QString table = tableName(QStringLiteral("checks"));
    exec(QStringLiteral("CREATE TABLE %1 (id %2, name VARCHAR(20) NOT NULL, qty INTEGER, day DATE)").arg(table, autoKey()));
    auto t = openTable(table);
    auto cursorError = [&](const char *field, const QString &text) {
        t->append();
        QString message;
        try {
            t->fieldByName(QLatin1String(field))->setAsString(text);
        } catch (const EngineError &e) {
            message = e.message();
        }
        t->cancel();
        return message;
    };
    auto appenderError = [&](const char *field, const QString &text) {
        TableAppender a(*t);
        a.begin();
        try {
            a.setText(t->fieldByName(QLatin1String(field))->index(), text);
        } catch (const EngineError &e) {
            return e.message();
        }
        return QString();
    };
    for (const auto &[field, text] : {std::pair{"qty", QStringLiteral("many")}, std::pair{"day", QStringLiteral("2024-02-30")}}) {
        const QString expected = cursorError(field, text);
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(appenderError(field, text), expected);
    }

    TableAppender a(*t);
    a.begin();
    a.setText(t->fieldByName(QStringLiteral("qty"))->index(), QStringLiteral("3"));
    try {
        a.add();
        FAIL() << "a required field was left empty";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Field 'name' must have a value."));
    }
    a.begin();
    a.setText(t->fieldByName(QStringLiteral("name"))->index(), QStringLiteral("x"));
    a.setText(t->fieldByName(QStringLiteral("day"))->index(), QStringLiteral("2024-02-29"));
    a.add();
    a.finish();
    EXPECT_EQ(t->fieldByName(QStringLiteral("day"))->asString(), QStringLiteral("2024-02-29"));
}

// The appender binds its values itself on SQLite and writes dates' text itself: what it stores,
// and how it reports a failing record, must be what the cursor stores and reports.
TEST_P(BulkWriteTest, AppenderStoresAndFailsAsTheCursorDoes)
{
    const QString byCursor = tableName(QStringLiteral("cursor"));
    const QString byAppender = tableName(QStringLiteral("appender"));
    for (const QString &t : {byCursor, byAppender})
        exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, s VARCHAR(20), day DATE, r REAL, ok BOOLEAN, b %2)")
                 .arg(t, blobType()));
    const QList<QStringList> records = {
        {"1", "caf\u00e9 \u4e2d", "0001-01-01", "0.1", "true", "00ff"},
        {"2", "", "9999-12-31", "-1e30", "no", ""},
        {"3", "a\nb", " 2024-02-29 ", "3", "1", "41"},
        {"4", QString(QChar(0xD83D)), "", "", "", ""}}; // a lone surrogate
    // The cursor first: the appender's transaction would hold its writes too.
    auto c = openTable(byCursor);
    for (const QStringList &record : records) {
        c->append();
        for (int i = 0; i < record.size(); ++i)
            c->field(i)->setAsString(record.at(i));
        c->post();
    }
    QString cursorError;
    c->append();
    c->field(0)->setAsString(QStringLiteral("1"));
    try {
        c->post();
    } catch (const EngineError &e) {
        cursorError = e.message();
        c->cancel();
    }
    EXPECT_FALSE(cursorError.isEmpty());

    auto a = openTable(byAppender);
    TableAppender appender(*a);
    for (const QStringList &record : records) {
        appender.begin();
        for (int i = 0; i < record.size(); ++i)
            appender.setText(i, record.at(i));
        appender.add();
    }
    appender.begin();
    appender.setText(0, QStringLiteral("1"));
    try {
        appender.add();
        appender.finish();
        FAIL() << "a duplicate key was accepted";
    } catch (const EngineError &e) {
        // The same message, naming its own table.
        EXPECT_EQ(e.message().toStdString(), cursorError.replace(byCursor, byAppender).toStdString());
    }
    appender.finish();
    auto stored = [&](const QString &t) {
        QStringList out;
        QSqlQuery q(db->sqlDatabase());
        const QString text = pg() ? QStringLiteral("CAST(%1 AS text)") : QStringLiteral("typeof(%1) || ':' || quote(%1)");
        QStringList cols;
        for (const char *col : {"id", "s", "day", "r", "ok", "b"})
            cols << text.arg(QLatin1String(col));
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(cols.join(','), t)));
        while (q.next())
            for (int i = 0; i < cols.size(); ++i)
                out << q.value(i).toString();
        return out;
    };
    EXPECT_EQ(stored(byAppender), stored(byCursor));
    EXPECT_EQ(stored(byAppender).size(), 24);
}

TEST_P(BulkWriteTest, DeleteAllRemovesExactlyTheFilteredRows)
{
    // More rows than a batch, a filter matching rows in every batch, and on PostgreSQL a key of
    // two columns besides the integer one.
    for (const bool composite : {false, true}) {
        SCOPED_TRACE(composite ? "composite key" : "integer key");
        const QString table = tableName(composite ? QStringLiteral("delc") : QStringLiteral("deli"));
        exec(composite ? QStringLiteral("CREATE TABLE %1 (id INTEGER NOT NULL, part VARCHAR(5) NOT NULL, city VARCHAR(20), "
                                        "PRIMARY KEY (part, id))").arg(table)
                       : QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, part VARCHAR(5), city VARCHAR(20))").arg(table));
        db->startTransaction();
        QSqlQuery q(db->sqlDatabase());
        q.prepare(QStringLiteral("INSERT INTO %1 (id, part, city) VALUES (?, ?, ?)").arg(table));
        constexpr int kRows = 1300;
        int keep = 0;
        for (int i = 1; i <= kRows; ++i) {
            q.bindValue(0, i);
            q.bindValue(1, QStringLiteral("p%1").arg(i % 3));
            q.bindValue(2, i % 4 == 0 ? QStringLiteral("Oslo") : QStringLiteral("London"));
            ASSERT_TRUE(q.exec());
            keep += i % 4 == 0 ? 1 : 0;
        }
        db->commit();
        auto t = openTable(table);
        t->setFilter(QStringLiteral("city = 'Lon*'"));
        t->setFiltered(true);
        int batches = 0;
        t->deleteAll([&] {
            ++batches;
            return true;
        });
        EXPECT_GT(batches, 1);
        EXPECT_TRUE(t->eof());
        EXPECT_EQ(t->rowCount(), 0);
        EXPECT_EQ(t->recordCount(), keep);
        QSqlQuery c(db->sqlDatabase());
        ASSERT_TRUE(c.exec(QStringLiteral("SELECT COUNT(*), SUM(CASE WHEN city = 'Oslo' THEN 1 ELSE 0 END) FROM %1").arg(table)));
        ASSERT_TRUE(c.next());
        EXPECT_EQ(c.value(0).toInt(), keep);
        EXPECT_EQ(c.value(1).toInt(), keep);
        t->setFiltered(false);
        EXPECT_EQ(t->rowCount(), keep);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, BulkWriteTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
} // namespace pelldrake::engine::test
