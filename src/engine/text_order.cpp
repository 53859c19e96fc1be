#include "engine/text_order.h"

#include "engine/sql_util.h"

#include <QRegularExpression>

namespace pelldrake::engine {

TextOrder textOrderOf(bool isText, const QString &provider, const QString &locale,
                      const QString &encoding)
{
    if (!isText)
        return TextOrder::NotText;
    // In another server encoding the bytes no longer sort as the code points, and a bound
    // counted up may not even exist in it.
    if (encoding.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) != 0
        && encoding.compare(QLatin1String("SQL_ASCII"), Qt::CaseInsensitive) != 0)
        return TextOrder::Linguistic;
    if (provider == QLatin1String("b")) // the builtin provider: C and C.UTF-8 only
        return TextOrder::CodePoint;
    if (provider != QLatin1String("c"))
        return TextOrder::Linguistic;
    static const QRegularExpression codePoint(QStringLiteral("^(C|POSIX|C\\.UTF-?8)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    return codePoint.match(locale).hasMatch() ? TextOrder::CodePoint : TextOrder::Linguistic;
}

QHash<QString, TextOrder> postgresTextOrders(const QSqlDatabase &db, const QString &table)
{
    // The default collation is the database's; jsonb reads the provider columns on servers
    // that have them (collprovider since 10, datlocprovider since 15) and gives null before.
    QSqlQuery q = runQuery(
        db,
        QStringLiteral(
            "SELECT a.attname, a.atttypid IN (25, 1043), "
            "CASE WHEN co.collname = 'default' OR co.oid IS NULL "
            "THEN coalesce(to_jsonb(d) ->> 'datlocprovider', 'c') "
            "ELSE coalesce(to_jsonb(co) ->> 'collprovider', 'c') END, "
            "CASE WHEN co.collname = 'default' OR co.oid IS NULL THEN d.datcollate "
            "ELSE co.collcollate END, "
            "pg_catalog.current_setting('server_encoding') "
            "FROM pg_catalog.pg_attribute a "
            "LEFT JOIN pg_catalog.pg_collation co ON co.oid = a.attcollation "
            "CROSS JOIN (SELECT * FROM pg_catalog.pg_database "
            "WHERE datname = pg_catalog.current_database()) d "
            "WHERE a.attrelid = CAST(CAST(? AS text) AS regclass) AND a.attnum > 0 "
            "AND NOT a.attisdropped"),
        {table}, QStringLiteral("Cannot read the collations"));
    QHash<QString, TextOrder> orders;
    while (q.next())
        orders.insert(q.value(0).toString(),
                      textOrderOf(q.value(1).toBool(), q.value(2).toString(), q.value(3).toString(),
                                  q.value(4).toString()));
    return orders;
}

} // namespace pelldrake::engine
