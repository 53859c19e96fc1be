#include "engine/filter.h"

#include "engine/engine_error.h"
#include "engine/field.h"

namespace pelldrake::engine {

namespace {

struct Token {
    enum Type { End, Ident, String, Number, Op, LParen, RParen } type = End;
    QString text;
    int pos = 0;
    bool quoted = false; // a name in [] or "": never a keyword
};

class Lexer {
public:
    explicit Lexer(const QString &s) : m_s(s) {}

    Token next()
    {
        while (m_i < m_s.size() && m_s.at(m_i).isSpace())
            ++m_i;
        Token t;
        t.pos = m_i;
        if (m_i >= m_s.size())
            return t;
        const QChar c = m_s.at(m_i);
        if (c == QLatin1Char('\'')) {
            t.type = Token::String;
            ++m_i;
            for (;;) {
                if (m_i >= m_s.size())
                    fail(t.pos, QStringLiteral("unterminated quoted value"));
                const QChar d = m_s.at(m_i++);
                if (d == QLatin1Char('\'')) {
                    if (m_i < m_s.size() && m_s.at(m_i) == QLatin1Char('\'')) {
                        t.text += d;
                        ++m_i;
                        continue;
                    }
                    break;
                }
                t.text += d;
            }
            return t;
        }
        if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
            t.type = Token::Ident;
            t.quoted = true;
            ++m_i;
            for (;;) {
                if (m_i >= m_s.size())
                    fail(t.pos, QStringLiteral("unterminated field name"));
                const QChar d = m_s.at(m_i++);
                if (d == close) {
                    if (close == QLatin1Char('"') && m_i < m_s.size() && m_s.at(m_i) == close) {
                        t.text += d;
                        ++m_i;
                        continue;
                    }
                    break;
                }
                t.text += d;
            }
            return t;
        }
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            t.type = c == QLatin1Char('(') ? Token::LParen : Token::RParen;
            t.text = c;
            ++m_i;
            return t;
        }
        if (c == QLatin1Char('=') || c == QLatin1Char('<') || c == QLatin1Char('>')
            || c == QLatin1Char('!')) {
            t.type = Token::Op;
            t.text = c;
            ++m_i;
            if (m_i < m_s.size()) {
                const QChar d = m_s.at(m_i);
                if ((c == QLatin1Char('<') && (d == QLatin1Char('>') || d == QLatin1Char('=')))
                    || (c == QLatin1Char('>') && d == QLatin1Char('='))
                    || (c == QLatin1Char('!') && d == QLatin1Char('='))) {
                    t.text += d;
                    ++m_i;
                }
            }
            if (t.text == QLatin1String("!"))
                fail(t.pos, QStringLiteral("unexpected '!'"));
            if (t.text == QLatin1String("!="))
                t.text = QStringLiteral("<>");
            return t;
        }
        if (c.isDigit() || ((c == QLatin1Char('-') || c == QLatin1Char('+') || c == QLatin1Char('.'))
                            && m_i + 1 < m_s.size() && m_s.at(m_i + 1).isDigit())) {
            t.type = Token::Number;
            t.text += c;
            ++m_i;
            while (m_i < m_s.size()
                   && (m_s.at(m_i).isDigit() || m_s.at(m_i) == QLatin1Char('.')
                       || m_s.at(m_i) == QLatin1Char('e') || m_s.at(m_i) == QLatin1Char('E')))
                t.text += m_s.at(m_i++);
            return t;
        }
        if (c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$')) {
            t.type = Token::Ident;
            while (m_i < m_s.size()
                   && (m_s.at(m_i).isLetterOrNumber() || m_s.at(m_i) == QLatin1Char('_')
                       || m_s.at(m_i) == QLatin1Char('$') || m_s.at(m_i) == QLatin1Char('.')))
                t.text += m_s.at(m_i++);
            return t;
        }
        fail(m_i, QStringLiteral("unexpected character '%1'").arg(c));
    }

    [[noreturn]] void fail(int pos, const QString &what) const
    {
        throw EngineError(QStringLiteral("Invalid filter expression \"%1\": %2 at position %3.")
                              .arg(m_s, what)
                              .arg(pos + 1));
    }

private:
    const QString &m_s;
    int m_i = 0;
};

class Parser {
public:
    explicit Parser(const QString &s) : m_lex(s) { advance(); }

    std::unique_ptr<FilterNode> parse()
    {
        auto n = parseOr();
        if (m_tok.type != Token::End)
            m_lex.fail(m_tok.pos, QStringLiteral("unexpected '%1'").arg(m_tok.text));
        return n;
    }

private:
    void advance()
    {
        if (m_peeked) {
            m_tok = m_next;
            m_peeked = false;
        } else {
            m_tok = m_lex.next();
        }
    }
    const Token &peek()
    {
        if (!m_peeked) {
            m_next = m_lex.next();
            m_peeked = true;
        }
        return m_next;
    }
    static bool isKeyword(const Token &t, const char *kw)
    {
        return t.type == Token::Ident && !t.quoted
            && t.text.compare(QLatin1String(kw), Qt::CaseInsensitive) == 0;
    }
    bool isKeyword(const char *kw) const { return isKeyword(m_tok, kw); }

    std::unique_ptr<FilterNode> combine(FilterNode::Kind kind, std::unique_ptr<FilterNode> l,
                                        std::unique_ptr<FilterNode> r)
    {
        auto n = std::make_unique<FilterNode>();
        n->kind = kind;
        n->children.push_back(std::move(l));
        n->children.push_back(std::move(r));
        return n;
    }

    std::unique_ptr<FilterNode> parseOr()
    {
        auto l = parseAnd();
        while (isKeyword("OR")) {
            advance();
            l = combine(FilterNode::Kind::Or, std::move(l), parseAnd());
        }
        return l;
    }

    std::unique_ptr<FilterNode> parseAnd()
    {
        auto l = parseFactor();
        while (isKeyword("AND")) {
            advance();
            l = combine(FilterNode::Kind::And, std::move(l), parseFactor());
        }
        return l;
    }

    std::unique_ptr<FilterNode> parseFactor()
    {
        // NOT right before an operator is a field of that name ("Not = 'x*'"), not the negation.
        if (isKeyword("NOT") && peek().type != Token::Op) {
            advance();
            auto n = std::make_unique<FilterNode>();
            n->kind = FilterNode::Kind::Not;
            n->children.push_back(parseFactor());
            return n;
        }
        if (m_tok.type == Token::LParen) {
            advance();
            auto n = parseOr();
            if (m_tok.type != Token::RParen)
                m_lex.fail(m_tok.pos, QStringLiteral("')' expected"));
            advance();
            return n;
        }
        if (m_tok.type != Token::Ident)
            m_lex.fail(m_tok.pos, QStringLiteral("field name expected"));
        auto n = std::make_unique<FilterNode>();
        n->field = m_tok.text;
        advance();
        // A field name with blanks written without brackets, as a name typed into the browser's
        // field box arrives: the words up to the operator form the name.
        while (m_tok.type == Token::Ident && !isKeyword("IS")) {
            n->field += QLatin1Char(' ') + m_tok.text;
            advance();
        }
        if (isKeyword("IS")) {
            advance();
            n->kind = FilterNode::Kind::IsNull;
            if (isKeyword("NOT")) {
                advance();
                n->kind = FilterNode::Kind::IsNotNull;
            }
            if (!isKeyword("NULL"))
                m_lex.fail(m_tok.pos, QStringLiteral("NULL expected"));
            advance();
            return n;
        }
        if (m_tok.type != Token::Op)
            m_lex.fail(m_tok.pos, QStringLiteral("comparison operator expected"));
        n->op = m_tok.text;
        advance();
        if (m_tok.type == Token::String) {
            QString v = m_tok.text;
            if (n->op == QLatin1String("=") && v.endsWith(QLatin1Char('*'))) {
                n->prefix = true;
                v.chop(1);
            }
            n->value = v;
        } else if (m_tok.type == Token::Number) {
            bool ok = false;
            const qlonglong i = m_tok.text.toLongLong(&ok);
            if (ok) {
                n->value = i;
            } else {
                const double d = m_tok.text.toDouble(&ok);
                if (!ok)
                    m_lex.fail(m_tok.pos, QStringLiteral("invalid number"));
                n->value = d;
            }
        } else if (isKeyword("NULL")) {
            n->kind = n->op == QLatin1String("=") ? FilterNode::Kind::IsNull
                                                    : FilterNode::Kind::IsNotNull;
            if (n->op != QLatin1String("=") && n->op != QLatin1String("<>"))
                m_lex.fail(m_tok.pos, QStringLiteral("NULL can only be compared with = or <>"));
        } else {
            m_lex.fail(m_tok.pos, QStringLiteral("value expected"));
        }
        advance();
        return n;
    }

    Lexer m_lex;
    Token m_tok;
    Token m_next;
    bool m_peeked = false;
};

} // namespace

QString globPrefixPattern(const QString &prefix)
{
    QString out;
    out.reserve(prefix.size() + 8);
    for (const QChar c : prefix) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
            out += QLatin1Char('[') + c + QLatin1Char(']');
        else
            out += c;
    }
    return out + QLatin1Char('*');
}

QString likePrefixPattern(const QString &prefix)
{
    QString out;
    out.reserve(prefix.size() + 8);
    for (const QChar c : prefix) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('%');
}

QString codePointSuccessor(const QString &prefix)
{
    QList<uint> cps = prefix.toUcs4();
    while (!cps.isEmpty()) {
        uint &last = cps.last();
        if (last < 0x10FFFF) {
            last = last == 0xD7FF ? 0xE000 : last + 1; // surrogates are no characters
            return QString::fromUcs4(reinterpret_cast<const char32_t *>(cps.constData()), cps.size());
        }
        cps.removeLast();
    }
    return {};
}

namespace {

QString asText(const QString &col, Dialect d)
{
    return d == Dialect::Sqlite ? QStringLiteral("CAST(%1 AS TEXT)").arg(col)
                                : QStringLiteral("CAST(%1 AS text)").arg(col);
}

// A SQLite boolean column's value as the grid shows it: 1 (true), 0 (false), or null for null
// and for text that is no boolean. SQLite keeps no boolean type: 0/1 as this program writes
// them, or words other programs stored.
QString sqliteBoolean(const QString &col)
{
    return QStringLiteral("(CASE WHEN typeof(%1) IN ('integer', 'real') THEN %1 <> 0"
                          " WHEN lower(trim(%1)) IN ('true', 't', '1', 'yes', 'y') THEN 1"
                          " WHEN lower(trim(%1)) IN ('false', 'f', '0', 'no', 'n') THEN 0 END)")
        .arg(col);
}

struct Compiler {
    Dialect d;
    const std::function<QString(const QString &)> &column;
    const TextOrderOf &textOrder;
    const IsBooleanField &isBoolean;
    CompiledFilter out;

    void compile(const FilterNode &n)
    {
        using K = FilterNode::Kind;
        switch (n.kind) {
        case K::And:
        case K::Or:
            out.sql += QLatin1Char('(');
            compile(*n.children[0]);
            out.sql += n.kind == K::And ? QLatin1String(" AND ") : QLatin1String(" OR ");
            compile(*n.children[1]);
            out.sql += QLatin1Char(')');
            return;
        case K::Not:
            // A comparison with null is unknown; NOT keeps such rows out, as it should.
            out.sql += QLatin1String("(NOT ");
            compile(*n.children[0]);
            out.sql += QLatin1Char(')');
            return;
        case K::IsNull:
            out.sql += QStringLiteral("(%1 IS NULL)").arg(column(n.field));
            return;
        case K::IsNotNull:
            out.sql += QStringLiteral("(%1 IS NOT NULL)").arg(column(n.field));
            return;
        case K::Compare:
            break;
        }
        const QString col = column(n.field);
        const bool isString = n.value.metaType().id() == QMetaType::QString;
        if (isString && !n.value.toString().isEmpty() && isBoolean && isBoolean(n.field) && boolean(n, col))
            return;
        if (isString && n.prefix) {
            prefix(n, col);
            return;
        }
        if (isString && n.value.toString().isEmpty()
            && (n.op == QLatin1String("=") || n.op == QLatin1String("<>"))) {
            if (n.op == QLatin1String("="))
                out.sql += QStringLiteral("(%1 IS NULL OR %2 = '')").arg(col, asText(col, d));
            else
                out.sql += QStringLiteral("(%1 IS NOT NULL AND %2 <> '')").arg(col, asText(col, d));
            return;
        }
        out.sql += QStringLiteral("(%1 %2 ?)").arg(col, n.op);
        out.binds << n.value;
    }

    // A text compared with a boolean column means the text the grid shows, "true" or "false"
    // (the words a boolean field takes for = and the ordering operators). False when the
    // ordinary comparison already does that: PostgreSQL's text form of a boolean is the grid's.
    bool boolean(const FilterNode &n, const QString &col)
    {
        const QString text = n.value.toString();
        if (n.prefix) {
            if (d != Dialect::Sqlite)
                return false;
            // Text that is no boolean is shown as it is stored, and matched so; a stored number
            // still matches its digits ('1*').
            const QString shown = sqliteBoolean(col);
            const bool shownTrue = QStringLiteral("true").startsWith(text);
            if (shownTrue || QStringLiteral("false").startsWith(text)) {
                out.sql += QStringLiteral("(%1 = ? OR (%1 IS NULL AND %2 GLOB ?))").arg(shown, col);
                out.binds << QVariant(shownTrue ? 1 : 0);
            } else {
                out.sql += QStringLiteral("((typeof(%2) <> 'text' OR %1 IS NULL) AND %2 GLOB ?)").arg(shown, col);
            }
            out.binds << QVariant(globPrefixPattern(text));
            return true;
        }
        bool ok = false;
        const bool value = parseBool(text, ok);
        if (!ok)
            throw EngineError(QStringLiteral("'%1' is not a boolean value for field '%2': true or false.")
                                  .arg(shownValue(text), n.field));
        if (d == Dialect::Sqlite) {
            out.sql += QStringLiteral("(%1 %2 ?)").arg(sqliteBoolean(col), n.op);
            out.binds << QVariant(value ? 1 : 0);
        } else {
            out.sql += QStringLiteral("(%1 %2 ?)").arg(col, n.op);
            out.binds << QVariant(value);
        }
        return true;
    }

    // Case-sensitive, every character of the value literal, and searched through an index on
    // the column wherever the database can use one.
    void prefix(const FilterNode &n, const QString &col)
    {
        const QString p = n.value.toString();
        if (p.isEmpty()) {
            out.sql += QStringLiteral("(%1 IS NOT NULL)").arg(col);
            return;
        }
        if (d == Dialect::Sqlite) {
            // GLOB converts a number or date to text as CAST would; on a bare column SQLite turns
            // it into a range of an index on the column.
            out.sql += QStringLiteral("(%1 GLOB ?)").arg(col);
            out.binds << QVariant(globPrefixPattern(p));
            return;
        }
        const QString like = QStringLiteral("LIKE CAST(? AS text) ESCAPE E'\\\\'");
        switch (textOrder ? textOrder(n.field) : TextOrder::NotText) {
        case TextOrder::NotText:
            out.sql += QStringLiteral("(%1 %2)").arg(asText(col, d), like);
            out.binds << QVariant(likePrefixPattern(p));
            return;
        case TextOrder::Linguistic:
            // In "C" a case-sensitive LIKE gives the same rows (byte for byte) and works under
            // a collation that is not deterministic too.
            out.sql += QStringLiteral("(%1 COLLATE \"C\" %2)").arg(col, like);
            out.binds << QVariant(likePrefixPattern(p));
            return;
        case TextOrder::CodePoint: {
            // The range is all the planner needs to search an ordinary index; values are bound,
            // so it holds for a plan prepared once. LIKE keeps the result exact whatever the
            // range lets through.
            const QString upper = codePointSuccessor(p);
            out.sql += QStringLiteral("(%1 >= CAST(? AS text)").arg(col);
            out.binds << QVariant(p);
            if (!upper.isEmpty()) {
                out.sql += QStringLiteral(" AND %1 < CAST(? AS text)").arg(col);
                out.binds << QVariant(upper);
            }
            out.sql += QStringLiteral(" AND %1 %2)").arg(col, like);
            out.binds << QVariant(likePrefixPattern(p));
            return;
        }
        }
    }
};

} // namespace

std::unique_ptr<FilterNode> parseFilter(const QString &text)
{
    Parser p(text);
    return p.parse();
}

CompiledFilter compileFilter(const FilterNode &node, Dialect dialect,
                             const std::function<QString(const QString &)> &column,
                             const TextOrderOf &textOrder, const IsBooleanField &isBoolean)
{
    Compiler c{dialect, column, textOrder, isBoolean, {}};
    c.compile(node);
    return std::move(c.out);
}

} // namespace pelldrake::engine
