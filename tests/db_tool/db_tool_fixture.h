#pragma once

#include "file_bytes.h"
#include "temp_dirs.h"

#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <optional>

namespace pelldrake::db::tool::test {

using pelldrake::test::fileBytes;
using pelldrake::test::writeBytes;

struct ToolResult {
    int code = -1;
    QString out, err;
};

// The tool's library entry, in this process.
ToolResult runTool(const QStringList &args);
// The executable, in `dir`, with no display, no PostgreSQL password, and `env` on top; its
// standard output into `outFile` when one is given.
ToolResult runProcess(const QStringList &args, const QString &dir,
                      const QProcessEnvironment &env = QProcessEnvironment(), const QString &outFile = {});

// The first line of a text.
QString firstLine(const QString &text);

// The test server from PELLDRAKE_TEST_PG_*; `available` false when they are unset.
struct PgServer {
    bool available = false;
    QString host, db, user, pwUser, password;
    int port = 5432;
    static PgServer fromEnvironment();
    QString uri(const QString &role) const;
};

enum class Backend { Sqlite, Postgres };
std::string backendName(const ::testing::TestParamInfo<Backend> &info);

// Each test runs in a directory of its own (the current one) with a database holding the table
// `people` (NAME primary key, QTY, NOTE: Ann 2, Bob 5) and an alias registry whose alias "Shop"
// names it. On the server the table's name is unique and it is dropped afterwards.
class DbToolTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    void TearDown() override;

    bool pg() const { return GetParam() == Backend::Postgres; }
    void exec(const QString &sql);
    // "NAME|QTY|NOTE" per record, by NAME; a null is empty.
    QStringList rows(const QString &table);
    // The library entry with the test's registry.
    ToolResult tool(QStringList args);
    // The database as a SOURCE without alias: sqlite:PATH or a URI.
    QString directSource() const;
    // The dump file the menu command would use for `alias`.
    QString dumpFile(const QString &alias) const;

    pelldrake::test::TempDir dir;
    std::optional<pelldrake::test::ScopedCurrentDir> cwd;
    PgServer server;
    QString registry;
    QString sqlitePath;
    QString people; // the table's name
    QStringList created;
    QString connection;
};

// The dump of people as the menu command writes it.
inline const QByteArray kPeopleDump = "<<RECORD\r\nNAME=Ann\r\nQTY=2\r\nNOTE=\r\n"
                                      "<<RECORD\r\nNAME=Bob\r\nQTY=5\r\nNOTE=\r\n";

} // namespace pelldrake::db::tool::test
