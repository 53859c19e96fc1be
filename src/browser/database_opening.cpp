#include "browser/database_opening.h"

#include "browser/alias_manager_dialog.h"
#include "browser/mainwindow.h"
#include "browser/pane_operations.h"
#include "engine/alias_registry.h"
#include "engine/database.h"
#include "engine/session.h"
#include "maintenance/command_frame.h"
#include "shell/dialogs.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QGroupBox>
#include <QMimeData>
#include <QUrl>

namespace pelldrake {

namespace {

// The first local file among dropped URLs; empty when there is none.
QString droppedFile(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    for (const QUrl &url : mime->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return QString();
}

// Takes drags of local files over the pane's frame; children that take drops of their own (the
// edit boxes take text) keep them.
class FileDropFilter : public QObject {
public:
    FileDropFilter(TPelldrakeCDSForm &form, Pane &pane) : QObject(pane.frame), form_(form), pane_(pane) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDropEvent *>(event);
            if (droppedFile(drag->mimeData()).isEmpty())
                return false;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QString path = droppedFile(drop->mimeData());
            if (path.isEmpty())
                return false;
            drop->acceptProposedAction();
            runHandler([&] { openDatabaseFile(form_, pane_, path); });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    TPelldrakeCDSForm &form_;
    Pane &pane_;
};

} // namespace

void refreshAliasChoosers(TPelldrakeCDSForm &form)
{
    const QStringList aliases = form.session().aliasNames();
    for (Pane *pane : {&form.pane1(), &form.pane2()})
        setChooserItems(pane->aliasCombo, aliases);
}

bool openDatabaseFile(TPelldrakeCDSForm &form, Pane &pane, const QString &path)
{
    // Connecting closes the pane's table, which a running command may be working on.
    if (maintenance::CommandFrame::current()) {
        dialogs().showMessage(maintenance::commandRunningText());
        return false;
    }
    // Checked before anything is registered, so a wrong file leaves no alias behind.
    const QString problem = engine::sqliteFileProblem(path);
    if (!problem.isEmpty()) {
        dialogs().showMessage(problem);
        return false;
    }
    const QString alias = form.session().aliases().aliasForFile(path);
    refreshAliasChoosers(form);
    if (pane.database->connected() && pane.database->databaseName() == alias)
        return true; // already open here: the pane keeps its table and record
    setChooserText(pane.aliasCombo, alias);
    connectAlias(form, pane);
    return pane.database->connected() && pane.database->databaseName() == alias;
}

QString databaseFileArgument(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg.isEmpty() || arg.startsWith(QLatin1Char('-')))
            continue;
        const QUrl url(arg);
        return url.isLocalFile() ? url.toLocalFile() : arg;
    }
    return QString();
}

void acceptDatabaseFileDrops(TPelldrakeCDSForm &form, Pane &pane)
{
    pane.frame->setAcceptDrops(true);
    pane.frame->installEventFilter(new FileDropFilter(form, pane));
}

bool TPelldrakeCDSForm::openDatabaseFile(Pane &pane, const QString &path)
{
    bool opened = false;
    runHandler([&] { opened = pelldrake::openDatabaseFile(*this, pane, path); });
    return opened;
}

// File > Open Database File...: the chosen file opens in pane 1.
void TPelldrakeCDSForm::OpenDatabaseFile1Click()
{
    const QString path = dialogs().openFileName(
        QStringLiteral("Open Database File"), startDirectory(),
        QStringLiteral("SQLite databases (*.sqlite *.sqlite3 *.db *.db3);;All files (*)"));
    if (!path.isEmpty())
        openDatabaseFile(pane1_, path);
}

// Alias > Manage Aliases...: each change reaches both alias choosers at once.
void TPelldrakeCDSForm::ManageAliases1Click()
{
    AliasManagerDialog dialog(session(), this);
    connect(&dialog, &AliasManagerDialog::aliasesChanged, this, [this] { runHandler([this] { refreshAliasChoosers(*this); }); });
    dialog.exec();
}

} // namespace pelldrake
