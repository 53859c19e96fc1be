#pragma once

#include "compare/comparison.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <utility>

namespace pelldrake::compare::test {

enum class Engine { Sqlite, Postgres };
using EnginePair = std::pair<Engine, Engine>; // left, right

std::string pairName(const ::testing::TestParamInfo<EnginePair> &info);
// Every pairing: each engine against itself and against the other.
::testing::internal::ParamGenerator<EnginePair> allPairs();

// One side of a comparison test: a SQLite file of its own, or the PostgreSQL database of
// PELLDRAKE_TEST_PG_* with table names of the test's own (dropped afterwards).
struct TestSide {
    Engine engine = Engine::Sqlite;
    QString connection;
    QString prefix;
    QStringList created;
    bool pg() const { return engine == Engine::Postgres; }
    QSqlDatabase db() const;
    void exec(const QString &sql) const; // fails the test when the statement fails
    QString table(const QString &base);  // a name of the test's own; dropped in TearDown
    TableRef ref(const QString &table) const;
    // Types that mean the same on either engine.
    QString text() const { return QStringLiteral("TEXT"); }
    QString real() const { return pg() ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL"); }
    QString blob() const { return pg() ? QStringLiteral("BYTEA") : QStringLiteral("BLOB"); }
    QString blobLiteral(const char *hex) const
    {
        return pg() ? QStringLiteral("'\\x%1'::bytea").arg(QLatin1String(hex)) : QStringLiteral("X'%1'").arg(QLatin1String(hex));
    }
};

class CompareTest : public ::testing::TestWithParam<EnginePair> {
protected:
    void SetUp() override;
    void TearDown() override;
    // The same table made on both sides from one definition and one set of rows.
    void createBoth(const QString &base, const QString &columns, const QStringList &rows);
    Comparison compare(Options options = {}) const { return Comparison(left.ref(leftTable), right.ref(rightTable), options); }

    QTemporaryDir dir;
    TestSide left, right;
    QString leftTable, rightTable;
};

bool pgAvailable();

} // namespace pelldrake::compare::test
