#include "engine/table_statements.h"

#include <QSqlError>

namespace pelldrake::engine {

void TableStatements::attach(Database *db, Dialect dialect)
{
    m_statements.clear();
    m_db = db;
    m_dialect = dialect;
}

void TableStatements::detach()
{
    m_statements.clear();
    m_db = nullptr;
}

QSqlQuery &TableStatements::statement(const QString &sqlText, const QString &context)
{
    const std::string k = sqlText.toStdString();
    auto it = m_statements.find(k);
    if (it != m_statements.end())
        return *it->second;
    auto query = std::make_unique<QSqlQuery>(sql());
    // The prepared statements read pages of at most a few thousand rows. On PostgreSQL such a page
    // comes whole in one result; forward-only would make the driver take it row by row (one
    // result object per row, about twice the client's cost).
    query->setForwardOnly(m_dialect != Dialect::Postgres);
    query->setNumericalPrecisionPolicy(QSql::HighPrecision);
    prepareOrThrow(*query, sqlText, context);
    QSqlQuery &ref = *query;
    m_statements.emplace(k, std::move(query));
    return ref;
}

QSqlQuery TableStatements::exec(const QString &sqlText, const QVariantList &binds, const QString &context)
{
    return runQuery(sql(), sqlText, binds, context);
}

void TableStatements::plain(const QString &text)
{
    QSqlQuery qq(sql());
    if (!qq.exec(text))
        throw EngineError(errorText(qq.lastError()));
}

} // namespace pelldrake::engine
