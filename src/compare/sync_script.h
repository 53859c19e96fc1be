#pragma once

#include "compare/comparison.h"

#include <QIODevice>
#include <QString>

#include <functional>

namespace pelldrake::compare {

// Which table the script changes: the right to equal the left, or the reverse.
enum class Direction { RightLikeLeft, LeftLikeRight };

struct ScriptCounts {
    qint64 deletes = 0; // rows
    qint64 updates = 0;
    qint64 inserts = 0;
};

// What the script would do to the target table.
ScriptCounts scriptCounts(const Comparison &comparison, Direction direction);

// The statements that make the target equal to the source, in the target's dialect: deletes,
// then updates of the changed columns only, then inserts, each without its ';'. Literals are
// written for the target's engine and column (SQLite X'..', PostgreSQL '\x..'::bytea, a CR as
// char(13) / chr(13) so that a shell reading the script keeps it); a NULL in a key is matched
// with IS NULL; a row of a keyless table or of the NULL bucket is deleted as many times as it
// has extra copies, one physical row at a time. Throws EngineError when the differences
// cannot be read back.
void forEachStatement(const Comparison &comparison, Direction direction, const std::function<void(const QString &)> &statement);

// The whole script, in one transaction: BEGIN; ...; COMMIT; Throws EngineError when `out`
// refuses the text.
void writeScript(const Comparison &comparison, Direction direction, QIODevice &out);

// Runs the statements through the target's connection in one transaction: everything or,
// on an error (a lost connection, a refused row), nothing. Throws EngineError then.
ScriptCounts applyScript(const Comparison &comparison, Direction direction);

// "make RIGHT like LEFT": the table a direction changes.
const TableRef &targetOf(const Comparison &comparison, Direction direction);

} // namespace pelldrake::compare
