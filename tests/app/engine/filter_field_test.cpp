// Filter parsing and compilation, type mapping and text forms: no database needed.
#include "app/engine/engine_error.h"
#include "app/engine/field.h"
#include "app/engine/filter.h"

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

} // namespace
} // namespace pelldrake::engine
