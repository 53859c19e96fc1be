#include "browse_data.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <array>
#include <cstdint>

namespace pelldrake::bench {
namespace {

// Small deterministic generator: the same file on every machine.
struct Lcg {
    std::uint64_t s;
    std::uint32_t next()
    {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(s >> 33);
    }
};

const std::array<const char *, 16> kFirst = {"Kara", "Lena", "Omar", "Bruno", "Ines", "Tariq", "Mira", "Jonas",
                                             "Aiko", "Pavel", "Nadia", "Felix", "Greta", "Hugo", "Yara", "Emil"};
const std::array<const char *, 12> kCity = {"London", "Lisbon", "Leeds", "Oslo", "Porto", "Lyon",
                                            "Bergen", "Malmo", "Ghent", "Turku", "Cork", "Lodz"};

bool exec(QSqlQuery &q, const QString &sql, QString *error)
{
    if (q.exec(sql))
        return true;
    *error = q.lastError().text();
    return false;
}

} // namespace

bool makeBrowseDatabase(const QString &path, int rows, QString *error)
{
    const QString conn = QStringLiteral("pelldrake-bench-gen");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn);
        db.setDatabaseName(path);
        if (!db.open()) {
            *error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            // Reuse a complete file from an earlier run.
            if (q.exec(QStringLiteral("SELECT COUNT(*) FROM customers")) && q.next() && q.value(0).toInt() == rows) {
                ok = true;
            } else {
                ok = exec(q, QStringLiteral("DROP TABLE IF EXISTS customers"), error)
                     && exec(q, QStringLiteral("PRAGMA journal_mode=OFF"), error)
                     && exec(q, QStringLiteral("PRAGMA synchronous=OFF"), error)
                     && exec(q, QStringLiteral("CREATE TABLE customers (ID INTEGER PRIMARY KEY, NAME VARCHAR(40) NOT NULL,"
                                               " CITY VARCHAR(30), BALANCE REAL, NOTES TEXT)"),
                             error);
                if (ok) {
                    db.transaction();
                    QSqlQuery ins(db);
                    ins.prepare(QStringLiteral("INSERT INTO customers (ID, NAME, CITY, BALANCE, NOTES) VALUES (?, ?, ?, ?, ?)"));
                    Lcg rng{20261207};
                    for (int i = 1; ok && i <= rows; ++i) {
                        const std::uint32_t r = rng.next();
                        const QString name = QString::fromLatin1(kFirst[r % kFirst.size()]) + QLatin1Char(' ')
                                             + QString::number(rng.next() % 1000000, 36).toUpper();
                        ins.addBindValue(i);
                        ins.addBindValue(name);
                        ins.addBindValue(QString::fromLatin1(kCity[(r >> 8) % kCity.size()]));
                        ins.addBindValue(double(rng.next() % 100000) / 100.0);
                        ins.addBindValue(QStringLiteral("Customer %1 note").arg(i));
                        if (!ins.exec()) {
                            *error = ins.lastError().text();
                            ok = false;
                        }
                    }
                    ok = ok && db.commit();
                    ok = ok && exec(q, QStringLiteral("CREATE INDEX ByName ON customers (NAME)"), error);
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(conn);
    return ok;
}

bool makeBrowseServerTable(const QString &table, int rows, QString *error)
{
    if (qEnvironmentVariableIsEmpty("PELLDRAKE_TEST_PG_HOST")) {
        *error = QStringLiteral("no server: PELLDRAKE_TEST_PG_HOST is not set");
        return false;
    }
    const QString conn = QStringLiteral("pelldrake-bench-gen-pg");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conn);
        db.setHostName(qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST"));
        db.setPort(qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT"));
        db.setDatabaseName(qEnvironmentVariable("PELLDRAKE_TEST_PG_DB"));
        db.setUserName(qEnvironmentVariable("PELLDRAKE_TEST_PG_USER"));
        if (!db.open()) {
            *error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)) && q.next() && q.value(0).toInt() == rows) {
                ok = true;
            } else {
                // Names, cities and balances spread as in the SQLite file, from the row number.
                const QString first = QStringLiteral("'{%1}'::text[]").arg(QStringList(kFirst.begin(), kFirst.end()).join(QLatin1Char(',')));
                const QString city = QStringLiteral("'{%1}'::text[]").arg(QStringList(kCity.begin(), kCity.end()).join(QLatin1Char(',')));
                ok = exec(q, QStringLiteral("DROP TABLE IF EXISTS %1").arg(table), error)
                     && exec(q, QStringLiteral("CREATE TABLE %1 (ID INTEGER PRIMARY KEY, NAME VARCHAR(40) NOT NULL,"
                                               " CITY VARCHAR(30), BALANCE DOUBLE PRECISION, NOTES TEXT)").arg(table), error)
                     && exec(q, QStringLiteral("INSERT INTO %1 SELECT g, (%2)[1 + (g * 7) %% 16] || ' ' || upper(to_hex((g::bigint * 2654435761) %% 1000000)),"
                                               " (%3)[1 + (g * 13) %% 12], ((g::bigint * 7919) %% 100000) / 100.0, 'Customer ' || g || ' note'"
                                               " FROM generate_series(1, %4) g").arg(table, first, city).arg(rows).replace(QStringLiteral("%%"), QStringLiteral("%")), error)
                     && exec(q, QStringLiteral("CREATE INDEX %1_ByName ON %1 (NAME)").arg(table), error)
                     && exec(q, QStringLiteral("ANALYZE %1").arg(table), error);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(conn);
    return ok;
}

} // namespace pelldrake::bench
