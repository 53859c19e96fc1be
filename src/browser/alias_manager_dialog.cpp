#include "browser/alias_manager_dialog.h"

#include "engine/session.h"
#include "shell/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVBoxLayout>

namespace pelldrake {

namespace {

const QString kSqlite = QStringLiteral("SQLITE");
const QString kPostgres = QStringLiteral("POSTGRES");

QString driverError(const QSqlError &e)
{
    const QString text = e.text().trimmed();
    return text.isEmpty() ? QStringLiteral("(no reason given)") : text;
}

// Opens a throw-away connection and reads the catalog once, as a pane's connection would.
QString tryConnection(const engine::AliasDef &def, const QString &password)
{
    const QString conn = QStringLiteral("aliasTest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString problem;
    {
        const bool sqlite = def.driver == kSqlite;
        QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), conn);
        if (sqlite) {
            db.setDatabaseName(def.path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        } else {
            db.setHostName(def.host);
            db.setPort(def.port > 0 ? def.port : 5432);
            db.setDatabaseName(def.database);
            db.setUserName(def.user);
            db.setPassword(password);
            db.setConnectOptions(QStringLiteral("connect_timeout=10"));
        }
        if (!db.open()) {
            problem = driverError(db.lastError());
        } else {
            QSqlQuery q(db);
            const QString probe = sqlite ? QStringLiteral("SELECT count(*) FROM sqlite_master") : QStringLiteral("SELECT 1");
            if (!q.exec(probe))
                problem = driverError(q.lastError());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
    return problem;
}

// Whether a server refused the login for want of a (right) password.
bool wantsPassword(const QString &problem)
{
    return problem.contains(QLatin1String("password"), Qt::CaseInsensitive)
        || problem.contains(QLatin1String("authentication"), Qt::CaseInsensitive);
}

} // namespace

QString aliasConnectionProblem(const engine::AliasDef &def, const QString &password)
{
    if (def.driver == kSqlite) {
        if (def.path.isEmpty())
            return QStringLiteral("No database file given.");
        const QString problem = engine::sqliteFileProblem(def.path);
        if (!problem.isEmpty())
            return problem;
        const QString failure = tryConnection(def, password);
        return failure.isEmpty() ? QString()
                                 : QStringLiteral("The file %1 cannot be opened as a database: %2").arg(def.path, failure);
    }
    if (def.database.isEmpty())
        return QStringLiteral("No database name given.");
    const QString failure = tryConnection(def, password);
    if (failure.isEmpty())
        return QString();
    const QString where = QStringLiteral("database %1 on %2, port %3, as user %4")
                              .arg(def.database, def.host.isEmpty() ? QStringLiteral("the local server") : def.host,
                                   QString::number(def.port), def.user.isEmpty() ? QStringLiteral("(none)") : def.user);
    return QStringLiteral("Cannot connect to %1:\n%2").arg(where, failure);
}

AliasManagerDialog::AliasManagerDialog(engine::Session &session, QWidget *parent)
    : QDialog(parent)
    , session_(session)
{
    setObjectName(QStringLiteral("AliasManagerDialog"));
    setWindowTitle(QStringLiteral("Manage Aliases"));

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("AliasList"));
    list_->setMinimumWidth(160);
    list_->setMaximumWidth(220); // the settings, a path above all, take the width

    auto named = [this](auto *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    name_ = named(new QLineEdit(this), "AliasName");
    driver_ = named(new QComboBox(this), "AliasDriver");
    driver_->addItem(QStringLiteral("SQLite"), kSqlite);
    driver_->addItem(QStringLiteral("PostgreSQL"), kPostgres);
    path_ = named(new QLineEdit(this), "AliasPath");
    browse_ = named(new QPushButton(QStringLiteral("Browse..."), this), "AliasBrowse");
    readOnly_ = named(new QCheckBox(QStringLiteral("Read-only"), this), "AliasReadOnly");
    host_ = named(new QLineEdit(this), "AliasHost");
    port_ = named(new QSpinBox(this), "AliasPort");
    port_->setRange(1, 65535);
    port_->setValue(5432);
    database_ = named(new QLineEdit(this), "AliasDatabase");
    user_ = named(new QLineEdit(this), "AliasUser");

    auto *pathRow = new QWidget(this);
    auto *pathLayout = new QHBoxLayout(pathRow);
    pathLayout->setContentsMargins(0, 0, 0, 0);
    pathLayout->addWidget(path_);
    pathLayout->addWidget(browse_);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), name_);
    form->addRow(QStringLiteral("Driver:"), driver_);
    auto *pathLabel = new QLabel(QStringLiteral("Database file:"), this);
    form->addRow(pathLabel, pathRow);
    auto *hostLabel = new QLabel(QStringLiteral("Host:"), this);
    form->addRow(hostLabel, host_);
    auto *portLabel = new QLabel(QStringLiteral("Port:"), this);
    form->addRow(portLabel, port_);
    auto *databaseLabel = new QLabel(QStringLiteral("Database:"), this);
    form->addRow(databaseLabel, database_);
    auto *userLabel = new QLabel(QStringLiteral("User:"), this);
    form->addRow(userLabel, user_);
    form->addRow(QString(), readOnly_);
    auto *note = new QLabel(QStringLiteral("Passwords are asked when connecting and never stored."), this);
    note->setWordWrap(true);
    form->addRow(note);
    sqliteFields_ = {pathLabel, pathRow};
    serverFields_ = {hostLabel, host_, portLabel, port_, databaseLabel, database_, userLabel, user_};

    auto button = [this](const QString &caption, const char *name, void (AliasManagerDialog::*slot)()) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(button(QStringLiteral("New"), "AliasNew", &AliasManagerDialog::newAlias));
    buttons->addWidget(button(QStringLiteral("Save"), "AliasSave", &AliasManagerDialog::saveAlias));
    buttons->addWidget(button(QStringLiteral("Rename..."), "AliasRename", &AliasManagerDialog::renameAlias));
    buttons->addWidget(button(QStringLiteral("Remove"), "AliasRemove", &AliasManagerDialog::removeAlias));
    buttons->addWidget(button(QStringLiteral("Test Connection"), "AliasTest", &AliasManagerDialog::testConnection));
    auto *close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *right = new QVBoxLayout;
    right->addLayout(form);
    right->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addWidget(list_);
    top->addLayout(right, 1);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top, 1);
    outer->addLayout(buttons);
    outer->addWidget(close);

    connect(list_, &QListWidget::currentTextChanged, this, [this](const QString &name) {
        if (!name.isEmpty())
            selectAlias(name);
    });
    connect(driver_, &QComboBox::currentIndexChanged, this, [this] { showDriverFields(); });
    connect(browse_, &QPushButton::clicked, this, &AliasManagerDialog::browseForFile);

    fillList(QString());
    if (list_->count() > 0)
        list_->setCurrentRow(0);
    else
        newAlias();
    resize(640, 360);
}

void AliasManagerDialog::fillList(const QString &current)
{
    const QSignalBlocker quiet(list_);
    list_->clear();
    list_->addItems(session_.aliasNames());
    const auto found = list_->findItems(current, Qt::MatchExactly);
    list_->setCurrentItem(found.isEmpty() ? nullptr : found.first());
}

QString AliasManagerDialog::selectedName() const
{
    const QListWidgetItem *item = list_->currentItem();
    return item ? item->text() : QString();
}

void AliasManagerDialog::showDriverFields()
{
    const bool sqlite = driver_->currentData().toString() == kSqlite;
    for (QWidget *w : sqliteFields_)
        w->setVisible(sqlite);
    for (QWidget *w : serverFields_)
        w->setVisible(!sqlite);
}

void AliasManagerDialog::selectAlias(const QString &name)
{
    const auto def = name.isEmpty() ? std::nullopt : session_.aliases().find(name);
    engine::AliasDef blank;
    blank.driver = kSqlite;
    const engine::AliasDef d = def.value_or(blank);
    if (def) {
        const auto found = list_->findItems(d.name, Qt::MatchExactly);
        const QSignalBlocker quiet(list_);
        list_->setCurrentItem(found.isEmpty() ? nullptr : found.first());
    }
    name_->setText(d.name);
    // An alias's name changes only through Rename, so that Save never makes a second one.
    name_->setReadOnly(def.has_value());
    driver_->setCurrentIndex(qMax(0, driver_->findData(d.driver)));
    path_->setText(d.path);
    readOnly_->setChecked(d.readOnly);
    host_->setText(d.host);
    port_->setValue(d.port > 0 ? d.port : 5432);
    database_->setText(d.database);
    user_->setText(d.user);
    showDriverFields();
}

engine::AliasDef AliasManagerDialog::formAlias() const
{
    engine::AliasDef d;
    d.name = name_->text().trimmed();
    d.driver = driver_->currentData().toString();
    d.readOnly = readOnly_->isChecked();
    if (d.driver == kSqlite) {
        d.path = path_->text().trimmed();
    } else {
        d.host = host_->text().trimmed();
        d.port = port_->value();
        d.database = database_->text().trimmed();
        d.user = user_->text().trimmed();
    }
    return d;
}

void AliasManagerDialog::newAlias()
{
    {
        const QSignalBlocker quiet(list_);
        list_->setCurrentItem(nullptr);
    }
    selectAlias(QString());
    name_->setFocus();
}

void AliasManagerDialog::saveAlias()
{
    const engine::AliasDef d = formAlias();
    const bool isNew = !name_->isReadOnly();
    if (d.name.isEmpty()) {
        dialogs().showMessage(QStringLiteral("Please enter a name for the alias."));
        return;
    }
    if (isNew && session_.aliases().find(d.name)) {
        dialogs().showMessage(QStringLiteral("An alias named '%1' exists already.").arg(d.name));
        return;
    }
    if (d.driver == kSqlite && d.path.isEmpty()) {
        dialogs().showMessage(QStringLiteral("Please choose the database file."));
        return;
    }
    if (d.driver == kPostgres && d.database.isEmpty()) {
        dialogs().showMessage(QStringLiteral("Please enter the database name."));
        return;
    }
    try {
        session_.aliases().add(d);
    } catch (const std::exception &e) {
        dialogs().showMessage(QString::fromUtf8(e.what()));
        return;
    }
    fillList(d.name);
    selectAlias(d.name);
    emit aliasesChanged();
}

bool AliasManagerDialog::refusedWhileOpen(const QString &name, const QString &what)
{
    if (!session_.findDatabase(name))
        return false;
    dialogs().showMessage(QStringLiteral("The alias '%1' is connected. Choose another alias in the pane first, then %2 it.")
                              .arg(name, what));
    return true;
}

void AliasManagerDialog::renameAlias()
{
    const QString from = selectedName();
    if (from.isEmpty() || refusedWhileOpen(from, QStringLiteral("rename")))
        return;
    const QString to = dialogs().inputBox(QStringLiteral("Rename Alias"), QStringLiteral("New name for '%1':").arg(from), from).trimmed();
    if (to.isEmpty() || to == from)
        return;
    try {
        session_.aliases().rename(from, to);
    } catch (const std::exception &e) {
        dialogs().showMessage(QString::fromUtf8(e.what()));
        return;
    }
    fillList(to);
    selectAlias(to);
    emit aliasesChanged();
}

void AliasManagerDialog::removeAlias()
{
    const QString name = selectedName();
    if (name.isEmpty() || refusedWhileOpen(name, QStringLiteral("remove")))
        return;
    if (!dialogs().askYesNo(QStringLiteral("Remove the alias '%1'?\nThe database itself is not changed.").arg(name),
                            QStringLiteral("Remove Alias")))
        return;
    session_.aliases().remove(name);
    fillList(QString());
    if (list_->count() > 0) {
        list_->setCurrentRow(0);
        selectAlias(list_->currentItem()->text());
    } else {
        newAlias();
    }
    emit aliasesChanged();
}

void AliasManagerDialog::testConnection()
{
    const engine::AliasDef d = formAlias();
    QString problem = aliasConnectionProblem(d);
    if (!problem.isEmpty() && d.driver == kPostgres && wantsPassword(problem)) {
        // The password serves this attempt only: it is dropped when the function returns.
        QString user = d.user;
        QString password;
        if (!dialogs().askLogin(d.name.isEmpty() ? d.database : d.name, user, password))
            return;
        engine::AliasDef withUser = d;
        withUser.user = user;
        problem = aliasConnectionProblem(withUser, password);
    }
    dialogs().showMessage(problem.isEmpty() ? QStringLiteral("Connection succeeded.")
                                            : QStringLiteral("Connection failed.\n") + problem);
}

void AliasManagerDialog::browseForFile()
{
    const QString start = path_->text().isEmpty() ? QString() : QFileInfo(path_->text()).absolutePath();
    const QString chosen = dialogs().openFileName(QStringLiteral("Database File"), start,
                                                  QStringLiteral("SQLite databases (*.sqlite *.sqlite3 *.db *.db3);;All files (*)"));
    if (chosen.isEmpty())
        return;
    path_->setText(chosen);
    if (name_->text().isEmpty())
        name_->setText(session_.aliases().uniqueName(QFileInfo(chosen).completeBaseName()));
}

} // namespace pelldrake
