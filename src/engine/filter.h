#pragma once

#include "engine/sql_util.h"

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

// How PostgreSQL orders the values of a column, as far as a prefix filter on it cares.
enum class TextOrder {
    // Not a text column (or not known): the prefix is matched against the value's text form.
    NotText,
    // text or varchar under a collation that sorts by code point (C, POSIX, C.UTF-8): the values
    // with a prefix are one range of that order, which an ordinary index on the column serves.
    CodePoint,
    // text or varchar under a language's collation: it weighs letters before accents, case and
    // punctuation, so the values with one prefix lie scattered through its order and no range of
    // it holds them all. LIKE on the column in "C", which an index in "C" or with the
    // text_pattern_ops class serves.
    Linguistic,
};
using TextOrderOf = std::function<TextOrder(const QString &field)>;

// The prefix as a GLOB (SQLite) / LIKE ... ESCAPE '\' (PostgreSQL) pattern: the value's own
// wildcards escaped, then the trailing wildcard.
QString globPrefixPattern(const QString &prefix);
QString likePrefixPattern(const QString &prefix);
// The least text above every text that starts with `prefix`, in code point order: the prefix
// with its last code point counted up. Empty when there is none (the prefix is all U+10FFFF).
QString codePointSuccessor(const QString &prefix);

// Whether a field of the expression is a boolean column: a text compared with it stands for the
// text a grid shows, "true" or "false" ('t*' finds the true records, on SQLite too).
using IsBooleanField = std::function<bool(const QString &field)>;

// `column` maps a field name of the expression to its quoted SQL column (throws when unknown);
// `textOrder` tells how PostgreSQL orders a field's values (every field NotText without it).
CompiledFilter compileFilter(const FilterNode &node, Dialect dialect,
                             const std::function<QString(const QString &)> &column,
                             const TextOrderOf &textOrder = {}, const IsBooleanField &isBoolean = {});

} // namespace pelldrake::engine
