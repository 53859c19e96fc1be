#include "compare_fixture.h"

#include "compare/sync_script.h"
#include "engine/engine_error.h"

#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>

namespace pelldrake::compare::test {

namespace {

// Rows that test the literals: quotes, a CR alone and before a line break, non-ASCII text,
// blobs with a NUL and a backslash, reals at full precision, NULL next to ''.
QStringList leftRows(const TestSide &s)
{
    return {QStringLiteral("1, 'it''s', 0.1, %1").arg(s.blobLiteral("005c41")),
            QStringLiteral("2, 'a' || char(13) || char(10) || 'b' || char(13), 0.30000000000000004, NULL").replace(
                QStringLiteral("char("), s.pg() ? QStringLiteral("chr(") : QStringLiteral("char(")),
            QStringLiteral("3, '\u00e9t\u00e9 \u2603', -1e-300, %1").arg(s.blobLiteral("ff")),
            QStringLiteral("4, '', NULL, NULL"),
            QStringLiteral("5, 'same', 2.5, NULL")};
}

QStringList rightRows(const TestSide &s)
{
    return {QStringLiteral("1, 'its', 0.1, %1").arg(s.blobLiteral("005c")),
            QStringLiteral("3, '\u00e9t\u00e9 \u2603', -1e-300, %1").arg(s.blobLiteral("ff")),
            QStringLiteral("4, NULL, NULL, NULL"),
            QStringLiteral("5, 'same', 2.5, NULL"),
            QStringLiteral("6, 'gone', 1, NULL")};
}

} // namespace

class SyncScript : public CompareTest {
protected:
    void makeTables()
    {
        leftTable = left.table(QStringLiteral("sync"));
        rightTable = right.table(QStringLiteral("sync"));
        for (auto [side, name] : {std::pair{&left, leftTable}, std::pair{&right, rightTable}}) {
            side->exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
            side->exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, t TEXT, r %2, b %3)").arg(name, side->real(), side->blob()));
            for (const QString &row : side == &left ? leftRows(*side) : rightRows(*side))
                side->exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(name, row));
        }
    }

    qint64 rowCount(const TestSide &side, const QString &table)
    {
        QSqlQuery q(side.db());
        q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table));
        return q.next() ? q.value(0).toLongLong() : -1;
    }
};
INSTANTIATE_TEST_SUITE_P(Engines, SyncScript, allPairs(), pairName);

TEST_P(SyncScript, ApplyingTheScriptLeavesNoDifferenceEitherWay)
{
    for (Direction direction : {Direction::RightLikeLeft, Direction::LeftLikeRight}) {
        makeTables();
        const Comparison before = compare();
        EXPECT_EQ(before.counts().onlyLeft, 1);
        EXPECT_EQ(before.counts().onlyRight, 1);
        EXPECT_EQ(before.counts().changed, 2);
        EXPECT_EQ(before.counts().unchanged, 2);
        const ScriptCounts done = applyScript(before, direction);
        EXPECT_EQ(done.deletes + done.updates + done.inserts, 4);
        const Comparison after = compare();
        EXPECT_TRUE(after.equal()) << "direction " << int(direction) << ": " << after.counts().changed << " changed";
        EXPECT_EQ(after.counts().unchanged, 5);
    }
}

TEST_P(SyncScript, BooleansDatesAndNumericsSurviveTheScript)
{
    auto columns = [](const TestSide &s) {
        return QStringLiteral("id INTEGER PRIMARY KEY, b BOOLEAN, ts %1, d DATE, n NUMERIC(10,2)")
            .arg(s.pg() ? QStringLiteral("TIMESTAMP(3)") : QStringLiteral("DATETIME"));
    };
    auto yes = [](const TestSide &s) { return s.pg() ? QStringLiteral("true") : QStringLiteral("1"); };
    for (Direction direction : {Direction::RightLikeLeft, Direction::LeftLikeRight}) {
        leftTable = left.table(QStringLiteral("typed"));
        rightTable = right.table(QStringLiteral("typed"));
        for (auto [side, name] : {std::pair{&left, leftTable}, std::pair{&right, rightTable}}) {
            side->exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
            side->exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(name, columns(*side)));
        }
        left.exec(QStringLiteral("INSERT INTO %1 VALUES (1, %2, '2020-01-01 10:00:00.250', '2020-02-29', 1.50), "
                                 "(2, NULL, NULL, NULL, -0.05)")
                      .arg(leftTable, yes(left)));
        right.exec(QStringLiteral("INSERT INTO %1 VALUES (1, %2, '2021-06-30 23:59:59', '2020-03-01', 2), "
                                  "(3, %2, '1999-12-31 00:00:00', '1999-12-31', 0)")
                       .arg(rightTable, yes(right)));
        const Comparison before = compare(Options{});
        EXPECT_EQ(before.counts().changed, 1);
        applyScript(before, direction);
        const Comparison after = compare(Options{});
        EXPECT_TRUE(after.equal()) << "direction " << int(direction) << ": " << after.counts().changed << " changed, "
                                   << after.counts().onlyLeft << "/" << after.counts().onlyRight << " only";
    }
}

TEST_P(SyncScript, AFailingStatementLeavesTheTargetAsItWas)
{
    makeTables();
    // The right table refuses one of the rows to insert: nothing of the script may stay.
    right.exec(QStringLiteral("DELETE FROM %1 WHERE id = 6").arg(rightTable));
    right.exec(QStringLiteral("CREATE UNIQUE INDEX %1_t ON %1 (t)").arg(rightTable));
    left.exec(QStringLiteral("UPDATE %1 SET t = 'same' WHERE id = 2").arg(leftTable));
    const Comparison c = compare();
    EXPECT_THROW(applyScript(c, Direction::RightLikeLeft), engine::EngineError);
    EXPECT_EQ(rowCount(right, rightTable), 4);
    const Comparison again = compare();
    EXPECT_EQ(again.counts().changed, c.counts().changed);
    EXPECT_EQ(again.counts().onlyLeft, c.counts().onlyLeft);
}

TEST_P(SyncScript, TheSavedScriptRunsInTheEnginesOwnShell)
{
    const QString tool = QStandardPaths::findExecutable(right.pg() ? QStringLiteral("psql") : QStringLiteral("sqlite3"));
    if (tool.isEmpty())
        GTEST_SKIP() << "no shell for the right engine";
    makeTables();
    const QString path = dir.filePath(QStringLiteral("sync.sql"));
    {
        const Comparison c = compare();
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        writeScript(c, Direction::RightLikeLeft, out);
    }
    QStringList args;
    if (right.pg())
        args << QStringLiteral("-X") << QStringLiteral("-q") << QStringLiteral("-v") << QStringLiteral("ON_ERROR_STOP=1")
             << QStringLiteral("-h") << qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST") << QStringLiteral("-p")
             << qEnvironmentVariable("PELLDRAKE_TEST_PG_PORT") << QStringLiteral("-U") << qEnvironmentVariable("PELLDRAKE_TEST_PG_USER")
             << QStringLiteral("-d") << qEnvironmentVariable("PELLDRAKE_TEST_PG_DB") << QStringLiteral("-f") << path;
    else
        args << QStringLiteral("-bail") << right.db().databaseName() << QStringLiteral(".read ") + path;
    QProcess shell;
    shell.start(tool, args);
    ASSERT_TRUE(shell.waitForFinished(30000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_TRUE(compare().equal());
}

} // namespace pelldrake::compare::test
