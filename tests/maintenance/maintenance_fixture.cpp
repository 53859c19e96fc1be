#include "maintenance_fixture.h"

#include "browser/mainwindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace pelldrake::test {

namespace {

QStringList maintStatements()
{
    QStringList s{
        // The two-record example of the dump file.
        QStringLiteral("CREATE TABLE people (NAME VARCHAR(30), QTY INTEGER, NOTE TEXT)"),
        QStringLiteral("INSERT INTO people VALUES ('Ann', 2, NULL), ('Bob', 5, NULL)"),
        QStringLiteral("CREATE TABLE keyed (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))"),
        QStringLiteral("INSERT INTO keyed VALUES (1, 'one'), (2, 'two'), (3, 'three')"),
        QStringLiteral("CREATE TABLE ten (ID INTEGER PRIMARY KEY, CITY VARCHAR(20))"),
        QStringLiteral("CREATE TABLE keys (ID INTEGER PRIMARY KEY, K VARCHAR(20), SHORT VARCHAR(15), N INTEGER,"
                       " MEMO TEXT)"),
        QStringLiteral("INSERT INTO keys (ID, K) VALUES (1, 'x1'), (2, ''), (3, 'x3'), (4, NULL), (5, '')"),
        QStringLiteral("CREATE TABLE emptyt (A VARCHAR(10))"),
        QStringLiteral("CREATE TABLE idname (ID INTEGER, NAME VARCHAR(20))"),
        QStringLiteral("INSERT INTO idname VALUES (1, 'Smith'), (2, NULL)"),
    };
    const char *cities[] = {"London", "Paris", "Lon Nol", "Rome", "Oslo", "Lonsdale", "Bern", "Lima", "Kiev", "Riga"};
    for (int i = 0; i < 10; ++i)
        s << QStringLiteral("INSERT INTO ten VALUES (%1, '%2')").arg(i + 1).arg(QLatin1String(cities[i]));
    return s;
}

} // namespace

void MaintenanceTest::SetUp()
{
    BrowserTest::SetUp();
    maintPath = ts.addSqliteAlias(QStringLiteral("Maint"), maintStatements());
}

Pane &MaintenanceTest::openTable(int paneNumber, const QString &alias, const QString &table)
{
    if (!window)
        openWindow();
    Pane &pane = paneNumber == 1 ? window->pane1() : window->pane2();
    chooseAlias(pane, alias);
    clickTable(pane, table);
    return pane;
}

void MaintenanceTest::choose(const char *entryName)
{
    QAction *entry = window->action(QString::fromLatin1(entryName));
    ASSERT_NE(entry, nullptr) << entryName;
    ASSERT_TRUE(entry->isEnabled()) << entryName;
    entry->trigger();
}

QStringList MaintenanceTest::rows(const QString &sql)
{
    QStringList out;
    const QString name = QStringLiteral("maint-check-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(maintPath);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.isNull(i) ? QStringLiteral("NULL") : q.value(i).toString());
            out << values.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

void MaintenanceTest::exec(const QStringList &statements)
{
    TestSession::runSql(maintPath, statements);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

QString dumpPath(const QString &file)
{
    return QDir::current().filePath(QStringLiteral("Table_Dump/") + file);
}

void writeDump(const QString &file, const QByteArray &bytes)
{
    QDir().mkpath(QStringLiteral("Table_Dump"));
    QFile f(dumpPath(file));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace pelldrake::test
