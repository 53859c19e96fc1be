#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QSqlDatabase>

namespace pelldrake::engine {

class Session;

// A named connection of a session to one alias.
class Database : public QObject {
    Q_OBJECT
public:
    explicit Database(QObject *parent = nullptr); // in Session::defaultSession()
    explicit Database(Session &session, QObject *parent = nullptr);
    ~Database() override;

    void setDatabaseName(const QString &alias); // disconnects first when connected
    QString databaseName() const { return m_alias; }
    void setLoginPrompt(bool on) { m_loginPrompt = on; }
    bool loginPrompt() const { return m_loginPrompt; }

    // Connects. An unknown alias or a missing SQLite file throws without asking anything. With the
    // login-prompt flag on, a server alias asks the session's LoginPrompt at once for user name and
    // password, unless the session already holds a login for the alias (then that is tried first and
    // the prompt comes only if the server refuses it); a cancel throws. A login given here is kept
    // by the session until it forgets all passwords. SQLite has no logins and never asks.
    void open();
    void close();
    bool connected() const { return m_connected; }

    QString driverName() const;    // "SQLITE" / "POSTGRES" (empty when not connected)
    QStringList params() const;    // "NAME=value" lines; never a password
    bool readOnly() const;
    // Why a connected database takes no writes: its alias says so, or the SQLite file (or its
    // folder, for the journal) cannot be written by this user.
    enum class ReadOnlyCause { None, Alias, File };
    ReadOnlyCause readOnlyCause() const { return m_readOnlyCause; }
    Session &session() { return *m_session; }
    bool isPostgres() const;
    bool isSqlite() const;

    // Transactions for long loops. A batch helper: see TransactionBatch below.
    // commit() that fails rolls the transaction back (SQLite would keep it open after a busy
    // COMMIT, holding its lock and taking every later write), then throws "Cannot commit: " and
    // the engine's reason. When the transaction cannot be ended at all, the connection is
    // closed, which ends it. Either way inTransaction() is false afterwards.
    void startTransaction();
    void commit();
    void rollback(); // throws when the engine refuses (the connection is then closed)
    bool inTransaction() const { return m_inTransaction; }

    // The underlying Qt connection (valid while connected).
    QSqlDatabase sqlDatabase() const;
    QString connectionName() const { return m_connectionName; }
    // Whether the server still answers on the connection (a round trip): false once the server
    // restarted or ended this session. An embedded database answers while it is connected.
    bool serverAlive() const;

signals:
    void connectedChanged(bool connected);
    // A transaction ended without its changes (a failed commit, a rollback): what the tables on
    // this connection counted or cached since it began may be gone.
    void transactionRolledBack();

private:
    bool engineInTransaction() const;
    QString lostConnectionText() const;
    QString rollbackFailure();
    [[noreturn]] void endFailedTransaction(const QString &message);

    QPointer<Session> m_session; // a session closes its databases when it goes
    QString m_alias;
    QString m_connectionName;
    QString m_driver;
    QStringList m_params;
    bool m_loginPrompt = false;
    bool m_connected = false;
    bool m_readOnly = false;
    ReadOnlyCause m_readOnlyCause = ReadOnlyCause::None;
    bool m_inTransaction = false;
};

// Commits every `batchSize` steps; commits what was done when it goes out of scope, so records
// posted before an error stay posted. Does nothing when a transaction is already running.
class TransactionBatch {
public:
    explicit TransactionBatch(Database &db, int batchSize = 500);
    ~TransactionBatch();
    TransactionBatch(const TransactionBatch &) = delete;
    TransactionBatch &operator=(const TransactionBatch &) = delete;
    void step();   // call once per record
    void finish(); // commit now and stop batching

private:
    void commitOwn();
    Database *m_db;
    int m_batchSize;
    int m_count = 0;
    bool m_owner = false;
};

} // namespace pelldrake::engine
