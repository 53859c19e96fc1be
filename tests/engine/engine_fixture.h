#pragma once

#include "engine/engine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace pelldrake::engine::test {

enum class Backend { Sqlite, Postgres };

std::string backendName(const ::testing::TestParamInfo<Backend> &info);

// PostgreSQL settings from PELLDRAKE_TEST_PG_*; `available` is false when they are unset.
struct PgSettings {
    bool available = false;
    QString host, db, user, pwUser, password;
    int port = 5432;
    static PgSettings fromEnvironment();
};

// Each test gets its own registry, its own SQLite file or PostgreSQL tables with unique names
// (dropped afterwards), and one connected Database named "data".
class EngineTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    void TearDown() override;

    bool pg() const { return GetParam() == Backend::Postgres; }
    // Unique table name for this test; dropped in TearDown.
    QString tableName(const QString &base);
    void exec(const QString &sql);
    // "INTEGER PRIMARY KEY" that numbers itself on both databases.
    QString autoKey() const { return pg() ? QStringLiteral("SERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY"); }
    QString blobType() const { return pg() ? QStringLiteral("BYTEA") : QStringLiteral("BLOB"); }
    QString dateTimeType() const { return pg() ? QStringLiteral("TIMESTAMP(3)") : QStringLiteral("DATETIME"); }
    std::unique_ptr<Table> openTable(const QString &name);
    // A second session on the same registry, as another program would connect.
    std::unique_ptr<Session> otherSession();

    QTemporaryDir dir;
    std::unique_ptr<Session> session;
    std::unique_ptr<Database> db;
    PgSettings pgs;
    QStringList created;
};

QStringList columnValues(Table &t, const QString &field);

} // namespace pelldrake::engine::test
