#include "browser/query_result_model.h"

#include "engine/display_text.h"
#include "engine/engine_error.h"
#include "engine/sql_util.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>

namespace pelldrake {

QueryResultModel::QueryResultModel(QObject *parent) : QAbstractTableModel(parent) {}

QueryResultModel::~QueryResultModel() = default;

void QueryResultModel::clear()
{
    beginResetModel();
    query_.reset();
    endReadOnlyTransaction();
    columns_.clear();
    rows_.clear();
    executed_ = false;
    returnsRows_ = false;
    rowsAffected_ = 0;
    readError_.clear();
    endResetModel();
    emit rowsReadChanged();
}

namespace {

// SQLite reports the changes of the last INSERT, UPDATE or DELETE even after
// a statement that changed nothing (CREATE TABLE); its running total tells.
qint64 sqliteTotalChanges(const QSqlDatabase &connection)
{
    QSqlQuery q(connection);
    return q.exec(QStringLiteral("SELECT total_changes()")) && q.next() ? q.value(0).toLongLong() : -1;
}

} // namespace

void QueryResultModel::execute(const QSqlDatabase &connection, const QString &sql)
{
    clear();
    run(connection, sql);
}

void QueryResultModel::executeReadOnly(const QSqlDatabase &connection, const QString &sql)
{
    clear();
    if (connection.driverName() != QLatin1String("QPSQL")) {
        run(connection, sql);
        return;
    }
    QSqlQuery control(connection);
    const auto exec = [&control](const QString &statement) {
        if (!control.exec(statement))
            throw engine::EngineError(engine::errorText(control.lastError()));
    };
    // The session's own read-only mode is no guard: a statement may switch
    // it off. A read-only transaction with a savepoint is one no single
    // statement can make writable; ending it (COMMIT) is all a statement can
    // do, and nothing may follow in the same text.
    exec(QStringLiteral("BEGIN READ ONLY"));
    readOnlyTransaction_ = connection;
    try {
        exec(QStringLiteral("SHOW standard_conforming_strings"));
        const bool standardStrings = !control.next() || control.value(0).toString() != QLatin1String("off");
        if (!isSinglePostgresStatement(sql, standardStrings))
            throw engine::EngineError(QStringLiteral("A read-only alias runs one statement at a time: the text "
                                                     "holds more than one, or a quote or comment is not closed."));
        exec(QStringLiteral("SAVEPOINT pelldrake_query"));
        control = QSqlQuery();
        run(connection, sql);
    } catch (...) {
        endReadOnlyTransaction();
        throw;
    }
    if (!query_)
        endReadOnlyTransaction();
}

void QueryResultModel::endReadOnlyTransaction()
{
    if (!readOnlyTransaction_.isValid())
        return;
    // Nothing in it can be lost; a connection gone with it has rolled it back.
    QSqlQuery(readOnlyTransaction_).exec(QStringLiteral("ROLLBACK"));
    readOnlyTransaction_ = QSqlDatabase();
}

void QueryResultModel::run(const QSqlDatabase &connection, const QString &sql)
{
    const bool sqlite = connection.driverName() == QLatin1String("QSQLITE");
    const qint64 changesBefore = sqlite ? sqliteTotalChanges(connection) : -1;

    auto query = std::make_unique<QSqlQuery>(connection);
    query->setForwardOnly(true); // rows come from the cursor as they are asked for
    if (!query->exec(sql))
        throw engine::EngineError(engine::errorText(query->lastError()));

    beginResetModel();
    executed_ = true;
    if (query->isSelect()) {
        returnsRows_ = true;
        const QSqlRecord record = query->record();
        for (int i = 0; i < record.count(); ++i)
            columns_ << record.fieldName(i);
        query_ = std::move(query);
    } else {
        rowsAffected_ = std::max(0, query->numRowsAffected());
        if (sqlite && changesBefore >= 0 && sqliteTotalChanges(connection) == changesBefore)
            rowsAffected_ = 0;
    }
    endResetModel();
    if (query_)
        readPage();
    if (!readError_.isEmpty()) {
        // The statement failed on one of its first rows: it failed.
        const QString error = readError_;
        clear();
        throw engine::EngineError(error);
    }
    emit rowsReadChanged();
}

void QueryResultModel::readPage()
{
    QList<QVariantList> page;
    const int columns = int(columns_.size());
    while (page.size() < kPageSize && query_->next()) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << query_->value(c);
        page << row;
    }
    if (page.size() < kPageSize) {
        // The rows stop at the end of the result, and also where the server
        // failed to give more (an error in a later row, a lost connection).
        if (query_->lastError().isValid())
            readError_ = engine::errorText(query_->lastError());
        query_.reset(); // the cursor is released
        endReadOnlyTransaction();
    }
    if (!page.isEmpty()) {
        beginInsertRows(QModelIndex(), int(rows_.size()), int(rows_.size() + page.size() - 1));
        rows_ << page;
        endInsertRows();
    }
}

int QueryResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int QueryResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant QueryResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size() || index.column() >= columns_.size())
        return {};
    const QVariant &value = rows_.at(index.row()).at(index.column());
    // A cell paints the first line, and no more of it than fits a screen: laying
    // out a value of megabytes would stall the view. A copy takes the whole value.
    if (role == Qt::DisplayRole)
        return engine::cellText(resultValueText(value), true);
    if (role == Qt::EditRole)
        return resultValueText(value);
    if (role == Qt::ToolTipRole && value.typeId() == QMetaType::QString)
        return value.toString().left(2000);
    return {};
}

QVariant QueryResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return columns_.value(section);
    return section + 1;
}

bool QueryResultModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && query_ != nullptr;
}

void QueryResultModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    readPage();
    emit rowsReadChanged();
}

namespace {

// The characters as the server's lexer classes them. Every non-ASCII
// character counts as a letter: the server reads UTF-8 bytes above 0x7F so.
bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}
bool isNewline(QChar c) { return c == u'\n' || c == u'\r'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isLetter(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x80 || u == u'_' || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}
// A name goes on over digits and '$': "a$x$" is one name, not a dollar quote.
bool isNamePart(QChar c) { return isLetter(c) || isDigit(c) || c == u'$'; }

// Finds where the statements of a text end, reading it as the server's lexer
// does. Every "end" is an index just past the construct, or -1 when the text
// ends inside it. Where the server could read a literal as ending earlier
// than read here, a ';' would hide in it; so a literal is never read as
// going on further than the server reads it.
class StatementScanner {
public:
    StatementScanner(const QString &sql, bool standardStrings)
        : s_(sql), n_(sql.size()), standardStrings_(standardStrings)
    {
    }

    bool single() const
    {
        bool ended = false; // a ';' was seen: only blanks and comments may follow
        qsizetype i = 0;
        while (i < n_) {
            const QChar c = s_[i];
            if (isSpace(c)) {
                ++i;
            } else if (startsWith(i, u"--")) {
                i = endOfLine(i);
            } else if (startsWith(i, u"/*")) {
                i = endOfBlockComment(i + 2);
            } else if (c == u';') {
                ended = true;
                ++i;
            } else if (ended) {
                return false;
            } else if (c == u'\'') {
                i = endOfLiteral(i + 1, standardStrings_ ? Literal::Standard : Literal::Escaped);
            } else if (c == u'"') {
                i = endOfQuotedName(i + 1);
            } else if (c == u'$') {
                i = endOfDollar(i);
            } else if (isLetter(c)) {
                i = endOfWord(i);
            } else if (isDigit(c)) {
                // Digits alone: the server starts a new token at a letter or '$' after them.
                while (i < n_ && isDigit(s_[i]))
                    ++i;
            } else {
                ++i;
            }
            if (i < 0)
                return false;
        }
        return true;
    }

private:
    // Standard: '' is a quote. Escaped (E'', or any literal while the server
    // does not use standard strings): a backslash escapes the next character
    // too. Bits (B'', X''): the first quote ends it.
    enum class Literal { Standard, Escaped, Bits };

    bool startsWith(qsizetype i, QStringView what) const { return QStringView(s_).mid(i).startsWith(what); }

    qsizetype endOfLine(qsizetype i) const
    {
        while (i < n_ && !isNewline(s_[i]))
            ++i;
        return i;
    }

    // Block comments nest.
    qsizetype endOfBlockComment(qsizetype i) const
    {
        int depth = 0;
        while (i < n_) {
            if (startsWith(i, u"/*")) {
                ++depth;
                i += 2;
            } else if (s_[i] == u'*') {
                while (i < n_ && s_[i] == u'*')
                    ++i;
                if (i < n_ && s_[i] == u'/') {
                    ++i;
                    if (depth-- == 0)
                        return i;
                }
            } else {
                ++i;
            }
        }
        return -1;
    }

    // From just past the opening quote. A literal goes on in a further quoted
    // part after blanks and comments that hold a line break ('a'<newline>'b').
    qsizetype endOfLiteral(qsizetype i, Literal kind) const
    {
        for (;;) {
            for (;;) {
                if (i >= n_)
                    return -1;
                const QChar c = s_[i];
                if (kind == Literal::Escaped && c == u'\\') {
                    i += 2;
                } else if (c == u'\'') {
                    ++i;
                    if (kind == Literal::Bits || i >= n_ || s_[i] != u'\'')
                        break;
                    ++i;
                } else {
                    ++i;
                }
            }
            qsizetype j = i;
            bool lineBreak = false;
            while (j < n_) {
                if (isSpace(s_[j])) {
                    lineBreak = lineBreak || isNewline(s_[j]);
                    ++j;
                } else if (startsWith(j, u"--")) {
                    j = endOfLine(j);
                } else {
                    break;
                }
            }
            if (!lineBreak || j >= n_ || s_[j] != u'\'')
                return i;
            i = j + 1;
        }
    }

    qsizetype endOfQuotedName(qsizetype i) const
    {
        for (;;) {
            if (i >= n_)
                return -1;
            if (s_[i] == u'"') {
                if (i + 1 >= n_ || s_[i + 1] != u'"')
                    return i + 1;
                ++i;
            }
            ++i;
        }
    }

    // At a '$' that starts a token: a dollar quote $tag$...$tag$, a
    // parameter $1, or a lone '$' (which the server refuses).
    qsizetype endOfDollar(qsizetype i) const
    {
        qsizetype j = i + 1;
        if (j < n_ && isDigit(s_[j])) {
            while (j < n_ && isDigit(s_[j]))
                ++j;
            return j;
        }
        if (j < n_ && isLetter(s_[j])) {
            while (j < n_ && (isLetter(s_[j]) || isDigit(s_[j])))
                ++j;
        }
        if (j >= n_ || s_[j] != u'$')
            return i + 1;
        const QStringView delimiter = QStringView(s_).mid(i, j - i + 1);
        const qsizetype close = s_.indexOf(delimiter, j + 1);
        return close < 0 ? -1 : close + delimiter.size();
    }

    // A name or key word; one letter right before a quote is a literal's
    // prefix (E'', B'', X'', N'', U&'', U&"").
    qsizetype endOfWord(qsizetype i) const
    {
        qsizetype j = i;
        while (j < n_ && isNamePart(s_[j]))
            ++j;
        if (j - i != 1 || j >= n_)
            return j;
        const char16_t prefix = s_[i].unicode();
        if (s_[j] == u'\'') {
            if (prefix == u'e' || prefix == u'E')
                return endOfLiteral(j + 1, Literal::Escaped);
            if (prefix == u'b' || prefix == u'B' || prefix == u'x' || prefix == u'X')
                return endOfLiteral(j + 1, Literal::Bits);
            return j; // N'' and the like: the quote starts a plain literal
        }
        if ((prefix == u'u' || prefix == u'U') && s_[j] == u'&' && j + 1 < n_) {
            // Unicode escapes need standard strings (the server refuses them otherwise).
            if (s_[j + 1] == u'\'')
                return endOfLiteral(j + 2, Literal::Standard);
            if (s_[j + 1] == u'"')
                return endOfQuotedName(j + 2);
        }
        return j;
    }

    const QString &s_;
    const qsizetype n_;
    const bool standardStrings_;
};

} // namespace

bool isSinglePostgresStatement(const QString &sql, bool standardStrings)
{
    return StatementScanner(sql, standardStrings).single();
}

QString resultValueText(const QVariant &value)
{
    if (value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return QStringLiteral("(%1 bytes)").arg(value.toByteArray().size());
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODateWithMs);
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}

} // namespace pelldrake
