#pragma once
// pelldrake-db compare: two tables' structure and data, headless, with the script that makes
// one equal to the other.

#include <QString>
#include <QStringList>

class QTextStream;

namespace pelldrake::db::tool {

struct CompareRequest {
    QString leftSource, leftTable, rightSource, rightTable;
    QString registryPath;
    QStringList key;       // --key
    bool structureOnly = false;
    bool dataOnly = false;
    QString sqlFile;       // --sql: the script making RIGHT equal to LEFT
    bool reverse = false;  // --reverse: LEFT equal to RIGHT instead
    bool json = false;
    qint64 limit = 100;    // differing rows reported
};

// Runs the comparison and reports it on `out` (text, or one JSON document). Exit codes as
// diff's: 0 equal, 1 different, 2 an error (the message on `err`; no script written).
int runCompare(const CompareRequest &request, QTextStream &out, QTextStream &err);

} // namespace pelldrake::db::tool
