// Filter parsing and compilation, type mapping and text forms: no database needed.
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/filter.h"
#include "engine/text_order.h"

#include <QDate>
#include <QDateTime>
#include <gtest/gtest.h>

namespace pelldrake::engine {
namespace {

QString col(const QString &n) { return QLatin1Char('"') + n + QLatin1Char('"'); }

TEST(FilterTest, PrefixValueIsBoundAsAnEscapedPattern)
{
    const auto node = parseFilter(QStringLiteral("NAME = 'O''Br%_\\*?[]*'"));
    ASSERT_EQ(node->kind, FilterNode::Kind::Compare);
    EXPECT_TRUE(node->prefix);
    EXPECT_EQ(node->value.toString(), QStringLiteral("O'Br%_\\*?[]"));
    // SQLite: GLOB on the bare column, so an index on it serves the range; GLOB's own
    // wildcards in brackets, LIKE's characters as they are.
    const auto c = compileFilter(*node, Dialect::Sqlite, col);
    EXPECT_EQ(c.sql, QStringLiteral("(\"NAME\" GLOB ?)"));
    ASSERT_EQ(c.binds.size(), 1);
    EXPECT_EQ(c.binds.at(0).toString(), QStringLiteral("O'Br%_\\[*][?][[]]*"));
    EXPECT_FALSE(c.sql.contains(QLatin1String("O'Br"))) << "the value never reaches the SQL text";
    // PostgreSQL: LIKE with % _ and the escape character itself escaped.
    const auto p = compileFilter(*node, Dialect::Postgres, col);
    EXPECT_EQ(p.sql, QStringLiteral("(CAST(\"NAME\" AS text) LIKE CAST(? AS text) ESCAPE E'\\\\')"));
    ASSERT_EQ(p.binds.size(), 1);
    EXPECT_EQ(p.binds.at(0).toString(), QStringLiteral("O'Br\\%\\_\\\\*?[]%"));
}

TEST(FilterTest, PostgresPrefixFollowsTheColumnsOrder)
{
    const auto node = parseFilter(QStringLiteral("NAME = 'a%_\\*'"));
    const auto compiled = [&](TextOrder order) {
        return compileFilter(*node, Dialect::Postgres, col, [order](const QString &) { return order; });
    };
    // Code point order: the range an ordinary index serves, bound as values, and LIKE for the
    // exact match.
    const auto range = compiled(TextOrder::CodePoint);
    EXPECT_EQ(range.sql, QStringLiteral("(\"NAME\" >= CAST(? AS text) AND \"NAME\" < CAST(? AS text) "
                                        "AND \"NAME\" LIKE CAST(? AS text) ESCAPE E'\\\\')"));
    ASSERT_EQ(range.binds.size(), 3);
    EXPECT_EQ(range.binds.at(0).toString(), QStringLiteral("a%_\\"));
    EXPECT_EQ(range.binds.at(1).toString(), QStringLiteral("a%_]"));
    EXPECT_EQ(range.binds.at(2).toString(), QStringLiteral("a\\%\\_\\\\%"));
    // A language's order holds no range of the prefix: LIKE in "C", which a pattern index serves.
    EXPECT_EQ(compiled(TextOrder::Linguistic).sql,
              QStringLiteral("(\"NAME\" COLLATE \"C\" LIKE CAST(? AS text) ESCAPE E'\\\\')"));
    EXPECT_EQ(compiled(TextOrder::NotText).sql,
              QStringLiteral("(CAST(\"NAME\" AS text) LIKE CAST(? AS text) ESCAPE E'\\\\')"));
    // No upper bound above the last code point.
    const auto top = compileFilter(*parseFilter(QString::fromUtf8("NAME = '\U0010FFFF*'")), Dialect::Postgres, col,
                                   [](const QString &) { return TextOrder::CodePoint; });
    EXPECT_EQ(top.sql, QStringLiteral("(\"NAME\" >= CAST(? AS text) AND \"NAME\" LIKE CAST(? AS text) ESCAPE E'\\\\')"));
}

TEST(FilterTest, CodePointSuccessorIsAboveEveryTextWithThePrefix)
{
    const auto succ = [](const char *utf8) { return codePointSuccessor(QString::fromUtf8(utf8)).toUcs4(); };
    EXPECT_EQ(succ("ab"), QString::fromUtf8("ac").toUcs4());
    EXPECT_EQ(succ("a\xF0\x9F\x98\x80"), (QList<uint>{'a', 0x1F601})); // beyond the first plane
    EXPECT_EQ(succ("a\xEF\xBF\xBF"), (QList<uint>{'a', 0x10000}));    // U+FFFF, no surrogate pair split
    EXPECT_EQ(succ("a\xED\x9F\xBF"), (QList<uint>{'a', 0xE000}));     // U+D7FF skips the surrogates
    EXPECT_EQ(succ("a\xF4\x8F\xBF\xBF"), (QList<uint>{'b'}));        // U+10FFFF carries over
    EXPECT_TRUE(codePointSuccessor(QString::fromUcs4(U"\U0010FFFF\U0010FFFF")).isEmpty());
}

TEST(TextOrderTest, OnlyCodePointCollationsGiveARange)
{
    struct Case {
        bool text;
        const char *provider, *locale, *encoding;
        TextOrder order;
    } cases[] = {
        {true, "c", "C", "UTF8", TextOrder::CodePoint},
        {true, "c", "POSIX", "SQL_ASCII", TextOrder::CodePoint},
        {true, "c", "C.UTF-8", "UTF8", TextOrder::CodePoint},
        {true, "c", "C.utf8", "UTF8", TextOrder::CodePoint},
        {true, "b", "", "UTF8", TextOrder::CodePoint},
        {true, "c", "en_US.UTF-8", "UTF8", TextOrder::Linguistic},
        {true, "c", "de_DE.utf8", "UTF8", TextOrder::Linguistic},
        {true, "i", "C", "UTF8", TextOrder::Linguistic}, // ICU keeps its own order
        {true, "c", "C", "LATIN1", TextOrder::Linguistic},
        {false, "c", "C", "UTF8", TextOrder::NotText},
    };
    for (const Case &c : cases)
        EXPECT_EQ(textOrderOf(c.text, QLatin1String(c.provider), QLatin1String(c.locale), QLatin1String(c.encoding)),
                  c.order)
            << c.provider << " " << c.locale << " " << c.encoding;
}

TEST(FilterTest, QuotedNamesAreNeverKeywords)
{
    for (const char *text : {"\"Not\" = 'x*'", "[not] = 'x*'", "Not = 'x*'", "\"AND\" = 'x*'"}) {
        const auto node = parseFilter(QLatin1String(text));
        ASSERT_EQ(node->kind, FilterNode::Kind::Compare) << text;
        EXPECT_TRUE(node->prefix) << text;
        EXPECT_EQ(node->value.toString(), QStringLiteral("x")) << text;
    }
    EXPECT_EQ(parseFilter(QStringLiteral("\"Not\" = 'x*'"))->field, QStringLiteral("Not"));
    // Side by side with the keywords themselves.
    const auto n = parseFilter(QStringLiteral("NOT \"Not\" = 'a' and \"Or\" IS NOT NULL OR \"Is\" = 1"));
    ASSERT_EQ(n->kind, FilterNode::Kind::Or);
    ASSERT_EQ(n->children[0]->kind, FilterNode::Kind::And);
    EXPECT_EQ(n->children[0]->children[0]->kind, FilterNode::Kind::Not);
    EXPECT_EQ(n->children[0]->children[0]->children[0]->field, QStringLiteral("Not"));
    EXPECT_EQ(n->children[0]->children[1]->kind, FilterNode::Kind::IsNotNull);
    EXPECT_EQ(n->children[0]->children[1]->field, QStringLiteral("Or"));
    EXPECT_EQ(n->children[1]->field, QStringLiteral("Is"));
    // A quoted NULL is a name, not a value.
    EXPECT_THROW(parseFilter(QStringLiteral("A = \"NULL\"")), EngineError);
}

TEST(FilterTest, EmptyValueMatchesNullAndEmpty)
{
    const auto c = compileFilter(*parseFilter(QStringLiteral("KEY=''")), Dialect::Sqlite, col);
    EXPECT_EQ(c.sql, QStringLiteral("(\"KEY\" IS NULL OR CAST(\"KEY\" AS TEXT) = '')"));
    EXPECT_TRUE(c.binds.isEmpty());
}

TEST(FilterTest, CombinationsAndFieldQuoting)
{
    const auto c = compileFilter(
        *parseFilter(QStringLiteral("(A >= 5 or [Last Name] <> 'x') AND NOT B IS NULL")),
        Dialect::Postgres, col);
    EXPECT_EQ(c.sql, QStringLiteral("(((\"A\" >= ?) OR (\"Last Name\" <> ?)) AND (NOT (\"B\" IS NULL)))"));
    ASSERT_EQ(c.binds.size(), 2);
    EXPECT_EQ(c.binds.at(0).toLongLong(), 5);
    EXPECT_EQ(parseFilter(QStringLiteral("Last Name = 'Sm*'"))->field, QStringLiteral("Last Name"));
    // An asterisk only means "begins with" for equality.
    const auto ne = parseFilter(QStringLiteral("A <> 'x*'"));
    EXPECT_FALSE(ne->prefix);
    EXPECT_EQ(ne->value.toString(), QStringLiteral("x*"));
}

TEST(FilterTest, MalformedExpressionsAreReportedWithPosition)
{
    for (const char *bad : {"NAME = 'abc", "NAME 'x'", "= 'x'", "NAME = 'x' AND", "(A = 1", "A = 1 B", "A B"}) {
        try {
            parseFilter(QLatin1String(bad));
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("position"))) << e.message().toStdString();
        }
    }
}

TEST(FieldTypesTest, DeclaredTypesMapToCodesAndSizes)
{
    struct Case {
        const char *decl;
        int type;
        int size;
    } cases[] = {
        {"VARCHAR(40)", ftString, 40},           {"character varying(25)", ftString, 25},
        {"TEXT", ftMemo, 0},                     {"INTEGER", ftInteger, 0},
        {"int4", ftInteger, 0},                  {"BIGINT", ftLargeint, 0},
        {"SMALLINT", ftSmallint, 0},             {"REAL", ftFloat, 0},
        {"double precision", ftFloat, 0},        {"NUMERIC(10,2)", ftBCD, 2},
        {"numeric(30,4)", ftFMTBcd, 4},          {"DATE", ftDate, 0},
        {"time without time zone", ftTime, 0},   {"TIMESTAMP", ftDateTime, 0},
        {"timestamp(3) without time zone", ftDateTime, 0}, {"DATETIME", ftDateTime, 0},
        {"BOOLEAN", ftBoolean, 0},               {"BLOB", ftBlob, 0},
        {"bytea", ftBlob, 0},                    {"", ftUnknown, 0},
    };
    for (const Case &c : cases) {
        const TypeInfo ti = typeFromDeclaration(QLatin1String(c.decl));
        EXPECT_EQ(ti.type, c.type) << c.decl;
        EXPECT_EQ(ti.size, c.size) << c.decl;
    }
    EXPECT_EQ(fieldTypeName(0), QStringLiteral("ftUnknown"));
    EXPECT_EQ(fieldTypeName(16), QStringLiteral("ftMemo"));
    EXPECT_EQ(fieldTypeName(37), QStringLiteral("ftFMTBcd"));
    EXPECT_TRUE(fieldTypeName(38).isEmpty());
    EXPECT_EQ(fieldKindName(4), QStringLiteral("fkAggergate"));
}

TEST(FieldTypesTest, TextFormsAreLocaleIndependentAndRoundTrip)
{
    EXPECT_EQ(valueToText(ftDate, QStringLiteral("2024-03-05")), QStringLiteral("2024-03-05"));
    EXPECT_EQ(valueToText(ftDateTime, QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 45))),
              QStringLiteral("2024-03-05 14:07:09.045"));
    EXPECT_EQ(valueToText(ftTime, QStringLiteral("08:30:00")), QStringLiteral("08:30:00"));
    EXPECT_EQ(valueToText(ftFloat, 0.1), QStringLiteral("0.1"));
    EXPECT_EQ(valueToText(ftFloat, 1234567.25), QStringLiteral("1234567.25"));
    EXPECT_EQ(valueToText(ftBoolean, 1), QStringLiteral("true"));
    EXPECT_EQ(valueToText(ftBoolean, QStringLiteral("f")), QStringLiteral("false"));
    const QByteArray bytes("\x00\x0a\xff\x3d", 4);
    EXPECT_EQ(valueToText(ftBlob, bytes), QStringLiteral("000aff3d"));
    EXPECT_EQ(textToValue(ftBlob, QStringLiteral("000aff3d"), QStringLiteral("B")).toByteArray(), bytes);
    EXPECT_EQ(textToValue(ftDateTime, QStringLiteral("2024-03-05 14:07:09.045"), QStringLiteral("D")).toDateTime(),
              QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 45)));
    EXPECT_EQ(textToValue(ftBCD, QStringLiteral("12.50"), QStringLiteral("N")).toString(), QStringLiteral("12.50"));
    EXPECT_TRUE(textToValue(ftInteger, QString(), QStringLiteral("I")).isNull());
    EXPECT_EQ(textToValue(ftString, QString(), QStringLiteral("S")).toString(), QString());
    // Text that is no value of the type is refused, naming the field.
    for (auto [type, text] : {std::pair{int(ftInteger), "12a"}, {int(ftFloat), "1,5"},
                              {int(ftDate), "05.03.2024"}, {int(ftBoolean), "maybe"},
                              {int(ftBlob), "abc"}, {int(ftBCD), "1.2.3"}}) {
        try {
            textToValue(type, QLatin1String(text), QStringLiteral("QTY"));
            ADD_FAILURE() << "accepted " << text;
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("QTY")));
        }
    }
}

TEST(FieldTypesTest, ARefusedValueIsShownCutShort)
{
    // A message box lays out the whole message: a value of megabytes froze the window.
    const QString huge = QStringLiteral("12x") + QString(5 * 1024 * 1024, QLatin1Char('9'));
    for (const int type : {int(ftInteger), int(ftFloat), int(ftDate), int(ftBoolean), int(ftBlob), int(ftBCD),
                           int(ftDateTime)}) {
        try {
            textToValue(type, huge, QStringLiteral("QTY"));
            ADD_FAILURE() << "accepted a bad value of type " << type;
        } catch (const EngineError &e) {
            EXPECT_LT(e.message().size(), 150) << type;
            EXPECT_TRUE(e.message().startsWith(QLatin1String("'12x999"))) << type;
            EXPECT_TRUE(e.message().contains(QLatin1String("...' is not a valid"))) << type;
            EXPECT_TRUE(e.message().contains(QLatin1String("QTY"))) << type;
        }
    }
    EXPECT_EQ(shownValue(QStringLiteral("short")), QStringLiteral("short"));
    // A pair of surrogates is never cut in half.
    const QString emoji = QString(39, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("tail");
    EXPECT_EQ(shownValue(emoji), QString(39, QLatin1Char('a')) + QStringLiteral("..."));
}

} // namespace
} // namespace pelldrake::engine
