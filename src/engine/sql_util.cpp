#include "engine/sql_util.h"

#include "engine/engine_error.h"

namespace pelldrake::engine {

QString quoteIdent(const QString &name)
{
    QString s = name;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString errorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    // PostgreSQL prefixes its messages with the severity; the user needs the sentence.
    if (text.startsWith(QLatin1String("ERROR:")))
        text = text.mid(6).trimmed();
    if (text.startsWith(QLatin1String("FATAL:")))
        text = text.mid(6).trimmed();
    const int paren = text.lastIndexOf(QLatin1String("\n(")); // "(PQexec ...)" style tails
    if (paren > 0)
        text = text.left(paren).trimmed();
    // The PostgreSQL driver reports a statement on a connection the server dropped with no text
    // at all; a message must never end in an empty reason.
    if (text.isEmpty())
        text = error.type() == QSqlError::ConnectionError
            ? QStringLiteral("the connection to the database was lost")
            : QStringLiteral("the database gave no reason (its connection may have been lost)");
    return text;
}

void prepareOrThrow(QSqlQuery &query, const QString &sql, const QString &context)
{
    if (!query.prepare(sql))
        throw EngineError(context + QLatin1String(": ") + errorText(query.lastError()));
}

void execOrThrow(QSqlQuery &query, const QString &context)
{
    if (!query.exec())
        throw EngineError(context + QLatin1String(": ") + errorText(query.lastError()));
}

void checkLastStep(const QSqlQuery &query, const QString &context)
{
    if (query.lastError().isValid())
        throw EngineError(context + QLatin1String(": ") + errorText(query.lastError()));
}

QSqlQuery runQuery(const QSqlDatabase &db, const QString &sql, const QVariantList &binds,
                   const QString &context)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    prepareOrThrow(q, sql, context);
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds.at(i));
    execOrThrow(q, context);
    return q;
}

} // namespace pelldrake::engine
