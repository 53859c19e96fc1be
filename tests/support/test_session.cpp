#include "test_session.h"

#include "engine/alias_registry.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <stdexcept>

namespace pelldrake::test {

TestSession::TestSession()
    : session_(std::make_unique<engine::Session>(QStringLiteral("Default"),
                                                 dir_.filePath(QStringLiteral("aliases.ini"))))
{
}

TestSession::~TestSession() = default;

void TestSession::runSql(const QString &path, const QStringList &statements)
{
    const QString connection = QStringLiteral("test-setup-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open())
            throw std::runtime_error(db.lastError().text().toStdString());
        QSqlQuery query(db);
        db.transaction();
        for (const QString &sql : statements) {
            if (!query.exec(sql))
                throw std::runtime_error((sql + QStringLiteral(": ") + query.lastError().text()).toStdString());
        }
        db.commit();
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

QString TestSession::addSqliteAlias(const QString &name, const QStringList &statements)
{
    const QString path = dir_.filePath(name + QStringLiteral(".sqlite"));
    runSql(path, statements);
    engine::AliasDef def;
    def.name = name;
    def.driver = QStringLiteral("SQLITE");
    def.path = path;
    session_->aliases().add(def);
    return path;
}

} // namespace pelldrake::test
