#include "engine/alias_registry.h"
#include "engine/engine_error.h"
#include "engine/sql_util.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

namespace pelldrake::engine {

namespace {

// Small deterministic generator: the demo data is the same on every machine.
struct Lcg {
    quint32 s = 20240305u;
    quint32 next() { return s = s * 1664525u + 1013904223u; }
    int below(int n) { return int((next() >> 8) % quint32(n)); }
};

const char *const kCities[] = {"London", "Lyon", "Los Angeles", "Lisbon", "Berlin", "Bergen",
                               "Madrid", "Munich", "Zürich", "Kraków", "São Paulo", "Oslo"};
const char *const kCountries[] = {"UK", "France", "USA", "Portugal", "Germany", "Norway",
                                  "Spain", "Germany", "Switzerland", "Poland", "Brazil", "Norway"};
const char *const kFirst[] = {"Anna", "Ben", "Clara", "David", "Eva", "Frank", "Greta", "Hugo",
                              "Ines", "Jonas", "Karin", "Lars", "Mia", "Nils", "Olga", "Paul"};
const char *const kLast[] = {"Adams", "Baker", "Clarke", "Dubois", "Evans", "Fischer", "García",
                             "Hansen", "Iversen", "Jensen", "Kowalski", "Lopez", "Müller",
                             "Nowak", "O'Brien", "Petersen", "Quinn", "Rossi", "Schmidt", "Weber"};

void run(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw EngineError(QStringLiteral("Cannot build the demo database: ") + errorText(q.lastError()));
}

void exec(QSqlQuery &q)
{
    if (!q.exec())
        throw EngineError(QStringLiteral("Cannot build the demo database: ") + errorText(q.lastError()));
}

void build(QSqlDatabase &db)
{
    Lcg rnd;
    run(db, QStringLiteral(
                "CREATE TABLE customers (id INTEGER PRIMARY KEY, name VARCHAR(40) NOT NULL, "
                "city VARCHAR(30), country VARCHAR(30), phone VARCHAR(20), notes TEXT, "
                "created DATE, credit_limit NUMERIC(10,2), active BOOLEAN NOT NULL DEFAULT 1)"));
    run(db, QStringLiteral("CREATE INDEX ByName ON customers (name)"));
    run(db, QStringLiteral("CREATE INDEX ByCountryCity ON customers (country, city)"));
    run(db, QStringLiteral(
                "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL, "
                "order_date DATE NOT NULL, ship_time TIME, entered DATETIME, amount NUMERIC(12,2), "
                "weight REAL, paid BOOLEAN, ref_key VARCHAR(24), memo TEXT, attachment BLOB)"));
    run(db, QStringLiteral("CREATE INDEX ByCustomer ON orders (customer_id)"));
    run(db, QStringLiteral("CREATE INDEX ByDateCustomer ON orders (order_date, customer_id)"));
    run(db, QStringLiteral(
                "CREATE TABLE employees (emp_no INTEGER PRIMARY KEY, last_name VARCHAR(30) NOT NULL, "
                "first_name VARCHAR(20) NOT NULL, hire_date DATE, start_time TIME, "
                "salary NUMERIC(9,2), badge BIGINT, remarks TEXT)"));
    run(db, QStringLiteral("CREATE UNIQUE INDEX ByLastFirst ON employees (last_name, first_name)"));
    // No key and no index at all: browsed by row identity.
    run(db, QStringLiteral(
                "CREATE TABLE parts (code VARCHAR(12) NOT NULL, description VARCHAR(60), "
                "qty SMALLINT, unit_price REAL, stock_value BIGINT, updated TIMESTAMP, "
                "in_stock BOOLEAN, picture BLOB)"));

    const int nCities = int(sizeof kCities / sizeof *kCities);
    QSqlQuery c(db);
    c.prepare(QStringLiteral("INSERT INTO customers (id, name, city, country, phone, notes, created, "
                             "credit_limit, active) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const int nCustomers = 250;
    for (int i = 1; i <= nCustomers; ++i) {
        const int ci = rnd.below(nCities);
        const QString name = QStringLiteral("%1 %2 %3")
                                 .arg(QString::fromUtf8(kLast[rnd.below(20)]),
                                      QString::fromUtf8(kFirst[rnd.below(16)]))
                                 .arg(i);
        c.bindValue(0, i);
        c.bindValue(1, name);
        c.bindValue(2, QString::fromUtf8(kCities[ci]));
        c.bindValue(3, QString::fromUtf8(kCountries[ci]));
        c.bindValue(4, i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("+44 20 %1").arg(7000000 + i * 37)));
        c.bindValue(5, i % 3 == 0 ? QVariant(QStringLiteral("Customer since %1.\nPrefers e-mail.").arg(2000 + i % 24))
                                  : QVariant());
        c.bindValue(6, QDate(2000, 1, 1).addDays(rnd.below(9000)).toString(Qt::ISODate));
        c.bindValue(7, QStringLiteral("%1.%2").arg(1000 + rnd.below(50000)).arg(rnd.below(100), 2, 10, QLatin1Char('0')));
        c.bindValue(8, i % 5 == 0 ? 0 : 1);
        exec(c);
    }

    QSqlQuery o(db);
    o.prepare(QStringLiteral("INSERT INTO orders (id, customer_id, order_date, ship_time, entered, "
                             "amount, weight, paid, ref_key, memo, attachment) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDate start(2015, 1, 1);
    for (int i = 1; i <= 12000; ++i) {
        const QDate day = start.addDays(rnd.below(3650));
        const QTime tm(8 + rnd.below(10), rnd.below(60), rnd.below(60));
        o.bindValue(0, i);
        o.bindValue(1, 1 + rnd.below(nCustomers));
        o.bindValue(2, day.toString(Qt::ISODate));
        o.bindValue(3, i % 11 == 0 ? QVariant() : QVariant(tm.toString(QStringLiteral("HH:mm:ss"))));
        o.bindValue(4, day.toString(Qt::ISODate) + QLatin1Char(' ') + tm.toString(QStringLiteral("HH:mm:ss")));
        o.bindValue(5, QStringLiteral("%1.%2").arg(rnd.below(5000)).arg(rnd.below(100), 2, 10, QLatin1Char('0')));
        o.bindValue(6, rnd.below(100000) / 100.0);
        o.bindValue(7, rnd.below(2));
        // Most reference keys are still to be filled: empty or null.
        QVariant ref;
        if (i % 4 == 0)
            ref = QStringLiteral("%1%2").arg(day.toString(QStringLiteral("yyyyMMdd"))).arg(i, 9, 10, QLatin1Char('0'));
        else if (i % 4 == 1)
            ref = QString(QLatin1String(""));
        o.bindValue(8, ref);
        o.bindValue(9, i % 9 == 0 ? QVariant(QStringLiteral("Deliver to the back door.\nCall ahead.")) : QVariant());
        o.bindValue(10, i % 500 == 0 ? QVariant(QByteArray::fromHex("89504e470d0a1a0a0000")) : QVariant());
        exec(o);
    }

    QSqlQuery e(db);
    e.prepare(QStringLiteral("INSERT INTO employees (emp_no, last_name, first_name, hire_date, start_time, "
                             "salary, badge, remarks) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    int emp = 1;
    for (int l = 0; l < 20; ++l) {
        for (int f = 0; f < 3; ++f, ++emp) {
            e.bindValue(0, emp);
            e.bindValue(1, QString::fromUtf8(kLast[l]));
            e.bindValue(2, QString::fromUtf8(kFirst[(l + f * 5) % 16]));
            e.bindValue(3, QDate(2005, 3, 1).addDays(rnd.below(6000)).toString(Qt::ISODate));
            e.bindValue(4, QStringLiteral("0%1:30:00").arg(7 + f));
            e.bindValue(5, QStringLiteral("%1.00").arg(30000 + rnd.below(60000)));
            e.bindValue(6, qlonglong(5000000000LL + emp));
            e.bindValue(7, emp % 4 == 0 ? QVariant(QStringLiteral("First aid trained")) : QVariant());
            exec(e);
        }
    }

    QSqlQuery p(db);
    p.prepare(QStringLiteral("INSERT INTO parts (code, description, qty, unit_price, stock_value, updated, "
                             "in_stock, picture) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int i = 1; i <= 60; ++i) {
        const int qty = rnd.below(500);
        const double price = (100 + rnd.below(99900)) / 100.0;
        p.bindValue(0, QStringLiteral("P-%1").arg(i, 5, 10, QLatin1Char('0')));
        p.bindValue(1, i % 6 == 0 ? QVariant() : QVariant(QStringLiteral("Part number %1, 100% steel_grade \\%2").arg(i).arg(i % 4)));
        p.bindValue(2, qty);
        p.bindValue(3, price);
        p.bindValue(4, qlonglong(qty * price * 1000));
        p.bindValue(5, QStringLiteral("2024-0%1-1%2 12:00:00.250").arg(1 + i % 9).arg(i % 10));
        p.bindValue(6, qty > 0 ? 1 : 0);
        p.bindValue(7, i % 10 == 0 ? QVariant(QByteArray("\x00\x01\x02\xff", 4)) : QVariant());
        exec(p);
    }
}

} // namespace

void createDemoDatabase(const QString &path)
{
    if (QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Cannot create the demo database: %1 exists already.").arg(path));
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Built under a temporary name, so an interrupted build never leaves a half demo behind.
    const QString tmp = path + QLatin1String(".building");
    QFile::remove(tmp);
    const QString conn = QStringLiteral("pelldrake_demo_%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn);
        db.setDatabaseName(tmp);
        try {
            if (!db.open())
                throw EngineError(QStringLiteral("Cannot create the demo database %1: %2")
                                      .arg(path, errorText(db.lastError())));
            db.transaction();
            build(db);
            if (!db.commit())
                throw EngineError(QStringLiteral("Cannot create the demo database: ") + errorText(db.lastError()));
            db.close();
        } catch (...) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(conn);
            QFile::remove(tmp);
            throw;
        }
    }
    QSqlDatabase::removeDatabase(conn);
    if (!QFile::rename(tmp, path)) {
        QFile::remove(tmp);
        throw EngineError(QStringLiteral("Cannot create the demo database %1.").arg(path));
    }
}

} // namespace pelldrake::engine
