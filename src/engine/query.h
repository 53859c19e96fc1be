#pragma once

#include <QPointer>
#include <QString>

namespace pelldrake::engine {

class Session;

// Runs one statement that returns no result set on a connected Database of the session.
class Query {
public:
    Query(); // in Session::defaultSession()
    explicit Query(Session &session);

    void setDatabaseName(const QString &alias) { m_alias = alias; }
    QString databaseName() const { return m_alias; }
    void setSql(const QString &sql) { m_sql = sql; }
    QString sql() const { return m_sql; }
    void execSql(); // throws EngineError with the server's message
    int rowsAffected() const { return m_rowsAffected; }

private:
    QPointer<Session> m_session;
    QString m_alias;
    QString m_sql;
    int m_rowsAffected = -1;
};

} // namespace pelldrake::engine
