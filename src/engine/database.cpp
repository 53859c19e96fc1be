#include "engine/database.h"

#include "engine/engine_error.h"
#include "engine/login_prompt.h"
#include "engine/session.h"
#include "engine/sql_util.h"
#include "engine/sqlite_handle.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlQuery>

#include <sqlite3.h>

namespace pelldrake::engine {

namespace {

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("pelldrake_db_%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

} // namespace

Database::Database(QObject *parent) : Database(Session::defaultSession(), parent) {}

Database::Database(Session &session, QObject *parent) : QObject(parent), m_session(&session)
{
    m_session->registerDatabase(this);
}

Database::~Database()
{
    close();
    if (m_session)
        m_session->unregisterDatabase(this);
}

void Database::setDatabaseName(const QString &alias)
{
    if (alias == m_alias)
        return;
    close();
    m_alias = alias;
}

bool Database::isPostgres() const { return m_driver == QLatin1String("POSTGRES"); }
bool Database::isSqlite() const { return m_driver == QLatin1String("SQLITE"); }
QString Database::driverName() const { return m_connected ? m_driver : QString(); }
QStringList Database::params() const { return m_connected ? m_params : QStringList(); }
bool Database::readOnly() const { return m_readOnly; }

QSqlDatabase Database::sqlDatabase() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool Database::serverAlive() const
{
    if (!m_connected)
        return false;
    QSqlDatabase db = sqlDatabase();
    // Qt closes a server connection as soon as a statement finds the server gone; any other
    // failure (a transaction already aborted) leaves it open.
    if (isPostgres() && db.isOpen())
        QSqlQuery(db).exec(QStringLiteral("SELECT 1"));
    return db.isOpen();
}

void Database::open()
{
    if (m_connected)
        return;
    if (m_alias.isEmpty())
        throw EngineError(QStringLiteral("No alias given."));
    if (!m_session)
        throw EngineError(QStringLiteral("The session of database '%1' is gone.").arg(m_alias));
    const auto def = m_session->aliases().find(m_alias);
    if (!def)
        throw EngineError(QStringLiteral("Unknown alias '%1'.").arg(m_alias));

    const QString conn = nextConnectionName();
    QString error;
    bool ok = false;
    // Tries one login; on failure leaves `error` with the server's reason.
    auto attempt = [&](const QString &user, const QString &password) {
        QSqlDatabase db = QSqlDatabase::contains(conn) ? QSqlDatabase::database(conn, false)
                                                       : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conn);
        db.setHostName(def->host);
        db.setPort(def->port > 0 ? def->port : 5432);
        db.setDatabaseName(def->database);
        db.setUserName(user);
        db.setPassword(password);
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
        if (db.open())
            return true;
        error = errorText(db.lastError());
        return false;
    };

    bool readOnly = def->readOnly;
    ReadOnlyCause cause = readOnly ? ReadOnlyCause::Alias : ReadOnlyCause::None;
    if (def->driver == QLatin1String("SQLITE")) {
        const QString path = def->path;
        // A missing file would silently become a new empty database; refuse instead.
        if (path.isEmpty() || !QFileInfo(path).isFile())
            throw EngineError(QStringLiteral("Database file '%1' of alias '%2' does not exist.").arg(path, m_alias));
        // A file (or its folder, for the journal) the user cannot write opens read-only, so the
        // tables say so up front instead of failing at the first post.
        const QFileInfo file(path);
        if (!readOnly && (!file.isWritable() || !QFileInfo(file.absolutePath()).isWritable())) {
            readOnly = true;
            cause = ReadOnlyCause::File;
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn);
            db.setDatabaseName(path);
            QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
            if (readOnly)
                options += QLatin1String(";QSQLITE_OPEN_READONLY");
            db.setConnectOptions(options);
            if (db.open()) {
                QSqlQuery q(db);
                ok = q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
                if (!ok)
                    error = errorText(q.lastError());
            } else {
                error = errorText(db.lastError());
            }
            if (!ok)
                db.close();
        }
        if (!ok) {
            QSqlDatabase::removeDatabase(conn);
            throw EngineError(QStringLiteral("Cannot open database '%1' of alias '%2': %3").arg(path, m_alias, error));
        }
        m_driver = QStringLiteral("SQLITE");
        m_params = {QLatin1String("PATH=") + path};
    } else if (def->driver == QLatin1String("POSTGRES")) {
        Session::Credentials cred;
        const bool cached = m_session->cachedCredentials(m_alias, cred);
        if (!cached)
            cred.user = def->user;
        // With the login prompt on, the dialog comes at once (the user may also log in as
        // someone else), unless this session already holds a login for the alias.
        const bool askFirst = m_loginPrompt && !cached && m_session->loginPrompt();
        if (!askFirst)
            ok = attempt(cred.user, cred.password);
        if (!ok && m_loginPrompt) {
            LoginPrompt *prompt = m_session->loginPrompt();
            if (prompt) {
                QString user = cred.user;
                QString password;
                if (!prompt->askLogin(m_alias, user, password)) {
                    QSqlDatabase::removeDatabase(conn);
                    throw EngineError(QStringLiteral("Login to alias '%1' cancelled.").arg(m_alias));
                }
                ok = attempt(user, password);
                if (ok)
                    cred = {user, password};
            }
        }
        if (!ok) {
            QSqlDatabase::removeDatabase(conn);
            throw EngineError(QStringLiteral("Cannot connect to alias '%1': %2").arg(m_alias, error));
        }
        m_session->rememberCredentials(m_alias, cred);
        m_driver = QStringLiteral("POSTGRES");
        m_params = {QLatin1String("SERVER NAME=") + def->host,
                    QLatin1String("PORT=") + QString::number(def->port > 0 ? def->port : 5432),
                    QLatin1String("DATABASE NAME=") + def->database,
                    QLatin1String("USER NAME=") + cred.user};
        {
            // The cursor's pages are prepared statements whose best plan depends on the values
            // bound (a filter prefix most rows share, or almost none): a generic plan, which the
            // server may settle on after five runs, can scan the table for every page. Servers
            // older than 12 lack the setting and keep their own choice.
            QSqlQuery q(QSqlDatabase::database(conn, false));
            q.exec(QStringLiteral("SET plan_cache_mode = force_custom_plan"));
        }
        if (def->readOnly) {
            QSqlDatabase db = QSqlDatabase::database(conn, false);
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"))) {
                // Never hand out a writable connection for a read-only alias.
                const QString reason = errorText(q.lastError());
                q = QSqlQuery();
                db.close();
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(conn);
                throw EngineError(QStringLiteral("Cannot make the connection to alias '%1' read-only: %2").arg(m_alias, reason));
            }
        }
    } else {
        throw EngineError(QStringLiteral("Alias '%1' names an unknown driver '%2'.").arg(m_alias, def->driver));
    }
    m_connectionName = conn;
    m_readOnly = readOnly;
    m_readOnlyCause = cause;
    m_connected = true;
    m_inTransaction = false;
    emit connectedChanged(true);
}

void Database::close()
{
    if (!m_connected)
        return;
    // Tables and queries on this connection let go of their statements first.
    m_connected = false;
    emit connectedChanged(false);
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (m_inTransaction)
            db.rollback();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
    m_inTransaction = false;
    m_driver.clear();
    m_params.clear();
}

void Database::startTransaction()
{
    if (!m_connected)
        throw EngineError(QStringLiteral("Database '%1' is not connected.").arg(m_alias));
    if (m_inTransaction)
        throw EngineError(QStringLiteral("A transaction is already active."));
    QSqlDatabase db = sqlDatabase();
    if (!db.transaction())
        throw EngineError(QStringLiteral("Cannot start a transaction: ") + errorText(db.lastError()));
    m_inTransaction = true;
}

// False when the engine has no transaction open although one was started: SQLite rolls a
// transaction back on its own after some errors (a full disk, an I/O error). True where that
// cannot be asked.
bool Database::engineInTransaction() const
{
    sqlite3 *handle = isSqlite() ? sqliteHandle(sqlDatabase()) : nullptr;
    return !handle || !sqlite3_get_autocommit(handle);
}

void Database::commit()
{
    if (!m_inTransaction)
        return;
    if (!engineInTransaction()) {
        m_inTransaction = false;
        emit transactionRolledBack();
        throw EngineError(QStringLiteral("Cannot commit: the transaction was rolled back after an earlier error."));
    }
    QString reason;
    {
        QSqlDatabase db = sqlDatabase(); // let go of before a close() below
        if (db.commit()) {
            m_inTransaction = false;
            return;
        }
        reason = db.isOpen() ? errorText(db.lastError()) : lostConnectionText();
    }
    // A busy SQLite COMMIT keeps the transaction open, a failed PostgreSQL COMMIT has ended it;
    // nothing of it is stored either way, and no later write may go into it.
    endFailedTransaction(QStringLiteral("Cannot commit: ") + reason);
}

void Database::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    const QString reason = rollbackFailure();
    if (!reason.isNull()) {
        close(); // a transaction that cannot be ended would take every later write
        throw EngineError(QStringLiteral("Cannot roll back: %1. The connection to '%2' was closed.").arg(reason, m_alias));
    }
    emit transactionRolledBack();
}

QString Database::lostConnectionText() const
{
    return QStringLiteral("the connection to '%1' was lost; nothing of the transaction is stored").arg(m_alias);
}

// Rolls back what the engine still holds open; the engine's reason when it refuses, else null.
QString Database::rollbackFailure()
{
    if (!engineInTransaction())
        return QString();
    QSqlDatabase db = sqlDatabase();
    if (db.rollback())
        return QString();
    const QString reason = errorText(db.lastError());
    return reason.isEmpty() ? QStringLiteral("no reason given") : reason;
}

void Database::endFailedTransaction(const QString &message)
{
    m_inTransaction = false;
    // Qt closes a server connection that a statement found gone: the server has ended the
    // transaction with it, and there is nothing to roll back.
    if (!sqlDatabase().isOpen()) {
        close(); // its tables close with it
        throw EngineError(message);
    }
    // On PostgreSQL a failed COMMIT has ended the transaction: a ROLLBACK after it only warns.
    const QString reason = rollbackFailure();
    if (!reason.isNull()) {
        close();
        throw EngineError(QStringLiteral("%1. Cannot roll back: %2. The connection to '%3' was closed.")
                              .arg(message, reason, m_alias));
    }
    emit transactionRolledBack();
    throw EngineError(message);
}

TransactionBatch::TransactionBatch(Database &db, int batchSize)
    : m_db(&db), m_batchSize(batchSize > 0 ? batchSize : 1)
{
    if (!db.inTransaction()) {
        db.startTransaction();
        m_owner = true;
    }
}

TransactionBatch::~TransactionBatch()
{
    if (!m_owner)
        return;
    // Unwinding from an error, or finish() was not called: what was done is committed. Nothing
    // may leave here, whatever it is.
    try {
        finish();
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("TransactionBatch: the commit failed.");
    }
    try {
        m_db->rollback(); // a no-op unless finish() failed before reaching the commit
    } catch (...) {
    }
}

void TransactionBatch::step()
{
    if (!m_owner || ++m_count < m_batchSize)
        return;
    m_count = 0;
    m_owner = false; // until the next transaction runs: a failed commit ends the batch
    commitOwn();
    m_db->startTransaction();
    m_owner = true;
}

void TransactionBatch::finish()
{
    if (!m_owner)
        return;
    m_owner = false;
    commitOwn();
}

void TransactionBatch::commitOwn()
{
    // A closed connection or a rollback took the batch's transaction: nothing of it is stored.
    if (!m_db->connected())
        throw EngineError(QStringLiteral("Cannot commit: database '%1' is not connected.").arg(m_db->databaseName()));
    if (!m_db->inTransaction())
        throw EngineError(QStringLiteral("Cannot commit: the transaction was rolled back after an earlier error."));
    m_db->commit();
}

} // namespace pelldrake::engine
