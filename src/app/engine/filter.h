#pragma once

#include "app/engine/sql_util.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

namespace pelldrake::engine {

// A parsed filter expression:
//   expr    := term { OR term }
//   term    := factor { AND factor }
//   factor  := NOT factor | '(' expr ')' | field op value | field IS [NOT] NULL
//   op      := = | <> | != | < | <= | > | >=
//   value   := 'text' (a doubled '' is one apostrophe) | number | NULL
//   field   := name | [name with blanks] | "name"   (a name in brackets or quotes is never a
//              keyword: "Not" = 'x*' filters on a field named Not)
// `FIELD = 'abc*'` is a prefix match: case-sensitive, every other character literal.
// `FIELD = ''` selects empty and null values alike.
struct FilterNode {
    enum class Kind { And, Or, Not, Compare, IsNull, IsNotNull };
    Kind kind = Kind::Compare;
    std::vector<std::unique_ptr<FilterNode>> children;
    QString field;
    QString op;
    QVariant value; // QString, qlonglong, double or null
    bool prefix = false;
};

// Throws EngineError with the position of the problem.
std::unique_ptr<FilterNode> parseFilter(const QString &text);

struct CompiledFilter {
    QString sql; // with positional '?' placeholders
    QVariantList binds;
};

// The prefix as a GLOB (SQLite) / LIKE ... ESCAPE '\' (PostgreSQL) pattern: the value's own
// wildcards escaped, then the trailing wildcard.
QString globPrefixPattern(const QString &prefix);
QString likePrefixPattern(const QString &prefix);

// `column` maps a field name of the expression to its quoted SQL column (throws when unknown).
CompiledFilter compileFilter(const FilterNode &node, Dialect dialect,
                             const std::function<QString(const QString &)> &column);

} // namespace pelldrake::engine
