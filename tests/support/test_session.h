#pragma once

#include "temp_dirs.h"

#include "engine/session.h"

#include <QStringList>
#include <memory>

namespace pelldrake::test {

// An engine session named "Default" over an alias registry in a temp dir, with
// helpers that build SQLite databases there. Nothing touches the user's files.
class TestSession {
public:
    TestSession();
    ~TestSession();

    engine::Session &session() { return *session_; }
    TempDir &dir() { return dir_; }

    // Creates "<name>.sqlite" in the temp dir by running the statements and
    // registers it as alias `name`; returns the database path.
    QString addSqliteAlias(const QString &name, const QStringList &statements);
    // Runs statements on an existing SQLite file.
    static void runSql(const QString &path, const QStringList &statements);

private:
    TempDir dir_;
    std::unique_ptr<engine::Session> session_;
};

} // namespace pelldrake::test
