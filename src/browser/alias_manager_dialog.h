#pragma once

#include "engine/alias_registry.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace pelldrake::engine {
class Session;
}

namespace pelldrake {

// Alias > Manage Aliases...: lists the session's aliases and adds, edits, renames and removes
// SQLite and PostgreSQL ones. A password is asked only by Test Connection, for that test, and is
// kept nowhere. Every change is written to the registry at once and announced by aliasesChanged().
class AliasManagerDialog : public QDialog {
    Q_OBJECT
public:
    explicit AliasManagerDialog(engine::Session &session, QWidget *parent = nullptr);

    // Shows the alias's settings (an empty name: a new alias).
    void selectAlias(const QString &name);
    // The settings as the form holds them.
    engine::AliasDef formAlias() const;

public slots:
    void newAlias();
    void saveAlias();
    void renameAlias();
    void removeAlias();
    void testConnection();
    void browseForFile();

signals:
    void aliasesChanged();

private:
    void fillList(const QString &current);
    void showDriverFields();
    // The alias a pane or the query window has open can be edited but not renamed or removed
    // under it; true (with a message) when that is so.
    bool refusedWhileOpen(const QString &name, const QString &what);
    QString selectedName() const;

    engine::Session &session_;
    QListWidget *list_ = nullptr;
    QLineEdit *name_ = nullptr;
    QComboBox *driver_ = nullptr;
    QLineEdit *path_ = nullptr;
    QPushButton *browse_ = nullptr;
    QCheckBox *readOnly_ = nullptr;
    QLineEdit *host_ = nullptr;
    QSpinBox *port_ = nullptr;
    QLineEdit *database_ = nullptr;
    QLineEdit *user_ = nullptr;
    QList<QWidget *> sqliteFields_;
    QList<QWidget *> serverFields_;
};

// Tries the alias's connection as given (a password, when not empty, for this attempt only):
// empty when it works, else what failed and the driver's reason.
QString aliasConnectionProblem(const engine::AliasDef &def, const QString &password = QString());

} // namespace pelldrake
