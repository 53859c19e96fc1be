#include "shell/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace pelldrake {

Dialogs::~Dialogs() = default;

namespace {
Dialogs *installed = nullptr;

QtDialogs &qtDialogs()
{
    static QtDialogs real;
    return real;
}

QString applicationTitle()
{
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Pelldrake") : name;
}
} // namespace

Dialogs &Dialogs::instance()
{
    return installed ? *installed : static_cast<Dialogs &>(qtDialogs());
}

Dialogs *Dialogs::install(Dialogs *dialogs)
{
    Dialogs *previous = installed;
    installed = dialogs;
    return previous;
}

QWidget *QtDialogs::parentWindow()
{
    return QApplication::activeWindow();
}

void QtDialogs::showMessage(const QString &text)
{
    QMessageBox::information(parentWindow(), applicationTitle(), text);
}

void QtDialogs::showError(const QString &text)
{
    QMessageBox::critical(parentWindow(), applicationTitle(), text);
}

bool QtDialogs::askYesNo(const QString &text, const QString &caption)
{
    // Ownerless and without an icon, as the questions have always looked.
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::inputBox(const QString &caption, const QString &prompt,
                            const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parentWindow(), caption, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
    return ok ? text : defaultText;
}

QString QtDialogs::saveFileName(const QString &initialDir, const QString &proposedName,
                                const QString &filter)
{
    const QString start = QDir(initialDir.isEmpty() ? QDir::currentPath() : initialDir)
                              .filePath(proposedName);
    return QFileDialog::getSaveFileName(parentWindow(), QString(), start, filter);
}

QString QtDialogs::openFileName(const QString &caption, const QString &initialDir,
                                const QString &filter)
{
    return QFileDialog::getOpenFileName(parentWindow(), caption,
                                        initialDir.isEmpty() ? QDir::currentPath() : initialDir, filter);
}

bool QtDialogs::askLogin(const QString &alias, QString &user, QString &password)
{
    QDialog dialog(parentWindow());
    dialog.setWindowTitle(QStringLiteral("Database Login"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Database: %1").arg(alias), &dialog));
    auto *form = new QFormLayout;
    auto *userEdit = new QLineEdit(user, &dialog);
    auto *passwordEdit = new QLineEdit(&dialog);
    passwordEdit->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User Name:"), userEdit);
    form->addRow(QStringLiteral("Password:"), passwordEdit);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    (user.isEmpty() ? userEdit : passwordEdit)->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = userEdit->text();
    password = passwordEdit->text();
    return true;
}

} // namespace pelldrake
