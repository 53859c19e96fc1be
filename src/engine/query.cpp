#include "engine/query.h"

#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/session.h"
#include "engine/sql_util.h"

#include <QSqlQuery>

namespace pelldrake::engine {

Query::Query() : m_session(&Session::defaultSession()) {}
Query::Query(Session &session) : m_session(&session) {}

void Query::execSql()
{
    m_rowsAffected = -1;
    Database *db = m_session ? m_session->findDatabase(m_alias) : nullptr;
    if (!db)
        throw EngineError(QStringLiteral("Database '%1' is not connected.").arg(m_alias));
    if (m_sql.trimmed().isEmpty())
        throw EngineError(QStringLiteral("No SQL statement given."));
    QSqlQuery q(db->sqlDatabase());
    if (!q.exec(m_sql))
        throw EngineError(errorText(q.lastError()));
    m_rowsAffected = q.numRowsAffected();
}

} // namespace pelldrake::engine
