// The main window's handlers of the pane operations: one-line slots that find
// their pane and call the one implementation, and the wiring of the pane
// controls to them.
#include "browser/mainwindow.h"
#include "browser/pane_operations.h"

#include "shell/application.h"
#include "shell/dialogs.h"
#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "widgets/dbnavigator.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace pelldrake {

namespace {

// Runs a chooser's change operation when the user commits a text: choosing an
// entry from its list, or pressing Enter / leaving the box after typing.
// Running it at every keystroke would connect to (or order by) every partial
// name typed on the way, each failing with a message or a login dialog.
void onChooserCommit(QComboBox *combo, QObject *context, const std::function<void()> &handler)
{
    QObject::connect(combo, &QComboBox::textActivated, context, [combo, handler] {
        if (combo->lineEdit())
            combo->lineEdit()->setModified(false);
        handler();
    });
    if (QLineEdit *edit = combo->lineEdit()) {
        QObject::connect(edit, &QLineEdit::editingFinished, context, [edit, handler] {
            // Typed text only, and only once: Enter and the focus leaving both finish an edit.
            if (!edit->isModified())
                return;
            edit->setModified(false);
            handler();
        });
    }
}

// Reports when a chooser's drop-down list has closed, once the chosen entry
// (if any) is in the chooser: the list hides before the choice is applied.
class CloseUpWatcher : public QObject {
    Q_OBJECT
public:
    explicit CloseUpWatcher(QComboBox *combo) : QObject(combo)
    {
        combo->view()->window()->installEventFilter(this);
    }

signals:
    void closeUp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            QMetaObject::invokeMethod(this, &CloseUpWatcher::closeUp, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }
};

// Keeps the right mouse button from choosing a table list entry: a
// right-click opens the pop-up menu only, so the highlighted entry stays the
// open table, the one the configuration file keeps.
class RightClickKeepsSelection : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            if (static_cast<QMouseEvent *>(event)->buttons() & Qt::RightButton
                || static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
                return true;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void TPelldrakeCDSForm::attachTableListPopup(Pane &pane)
{
    // The pop-up's commands act on the pane's open table, so the entry right-clicked must be
    // that table: it is opened as a click opens it, and the menu shows only when it is open.
    QListWidget *list = pane.tableList;
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, &pane, list](const QPoint &pos) {
        QListWidgetItem *item = list->itemAt(pos);
        if (item && !item->isSelected()) {
            bool opened = false;
            {
                // The key-choice handler must not open it a second time.
                const QSignalBlocker quiet(list);
                list->setCurrentItem(item);
                item->setSelected(true);
            }
            list->viewport()->update();
            runHandler([&] {
                openSelectedTable(*this, pane);
                opened = true;
            });
            if (!opened)
                return;
        }
        pane.listPopup->popup(list->viewport()->mapToGlobal(pos));
    });
}

Pane &TPelldrakeCDSForm::paneOfSender()
{
    Pane *pane = paneOf(sender());
    return pane ? *pane : pane1_;
}

void TPelldrakeCDSForm::wirePaneOperations(Pane &pane)
{
    // Handlers shared by both panes find their pane from the control that raised the event.
    const bool first = pane.number == 1;
    onChooserCommit(pane.aliasCombo, this, [this, first] { first ? AliasComboChange() : AliasCombo2Change(); });
    // A state change, by a click or from code, runs the box's click operation.
    connect(pane.useExtensions, &QCheckBox::toggled, this, &TPelldrakeCDSForm::useExtensionsClick);
    connect(pane.passwordRequired, &QCheckBox::toggled, this, &TPelldrakeCDSForm::PasswordRequiredClick);
    onChooserCommit(pane.typeComboBox, this, [this] { TypeComboBoxChange(); });
    connect(pane.tableList, &QListWidget::itemClicked, this,
            first ? &TPelldrakeCDSForm::ListBox1Click : &TPelldrakeCDSForm::ListBox2Click);
    // Choosing a table with the keys (arrows, typing its first letters) opens
    // it as a click does, so that the open table is always the one selected,
    // the one the configuration file keeps. A mouse press waits for its click;
    // the list's own focus handling makes an entry current without selecting it.
    QListWidget *list = pane.tableList;
    list->viewport()->installEventFilter(new RightClickKeepsSelection(list));
    connect(list, &QListWidget::currentRowChanged, this, [this, list, first](int row) {
        if (row < 0 || !list->hasFocus() || QApplication::mouseButtons() != Qt::NoButton
            || !list->currentItem()->isSelected())
            return;
        first ? ListBox1Click() : ListBox2Click();
    });
    // Setting the text from code runs the filter operation too.
    connect(pane.filterValueEdit, &QLineEdit::textChanged, this, &TPelldrakeCDSForm::FilterValueEditChange);
    connect(new CloseUpWatcher(pane.fieldNameCombo), &CloseUpWatcher::closeUp, this,
            &TPelldrakeCDSForm::FieldNameComboCloseUp);
    onChooserCommit(pane.indexComboBox, this, [this] { IndexComboBoxChange(); });
    connect(pane.grid, &DBGrid::cellClick, this,
            first ? &TPelldrakeCDSForm::DBGrid1CellClick : &TPelldrakeCDSForm::DBGrid2CellClick);
    if (pane.handlesColumnExit)
        connect(pane.grid, &DBGrid::colExit, this, &TPelldrakeCDSForm::DBGrid1ColExit);
    connect(pane.table, &engine::Table::afterScroll, this,
            first ? &TPelldrakeCDSForm::Table1AfterScroll : &TPelldrakeCDSForm::Table2AfterScroll);
    // The navigator's keys move this pane's table while the focus is anywhere in the pane.
    pane.navigator->setShortcutScope(pane.frame);
    if (pane.gridPopup)
        pane.gridPopup->addAction(pane.grid->copyAction());
    // A record posted or cancelled since a refused close: the next close starts afresh.
    connect(pane.table, &engine::Table::stateChanged, this, [this, table = pane.table] {
        if (table->state() != engine::TableState::Edit && table->state() != engine::TableState::Insert)
            closeRefused_ = false;
    });
}

bool TPelldrakeCDSForm::settlePendingEdits()
{
    for (Pane *pane : {&pane1_, &pane2_}) {
        // Text typed into a cell goes into the record first; a refusal has
        // been shown by the grid, a failed post is shown here.
        QString failure;
        if (!pane->grid->finishEditing(true)) {
            failure = pane->grid->refusal();
        } else {
            try {
                postPendingEdit(*pane);
                continue;
            } catch (...) {
                failure = Application::messageOf(std::current_exception());
                if (!closeRefused_)
                    Application::showException(std::current_exception());
            }
        }
        // The first time the window stays open on the record, so the user can
        // correct it or cancel the edit; closing again offers to drop it.
        if (!closeRefused_) {
            closeRefused_ = true;
            return false;
        }
        const QString question = QStringLiteral("The record being edited in %1 cannot be posted:\n%2\n\n"
                                                "Discard the changes and close?")
                                     .arg(pane->frame->title(), failure);
        if (!dialogs().askYesNo(question, QStringLiteral("Close")))
            return false;
        pane->grid->finishEditing(false);
        runHandler([pane] { pane->table->cancel(); });
    }
    closeRefused_ = false;
    return true;
}

void TPelldrakeCDSForm::AliasComboChange() { runHandler([this] { connectAlias(*this, pane1_); }); }
void TPelldrakeCDSForm::AliasCombo2Change() { runHandler([this] { connectAlias(*this, pane2_); }); }
void TPelldrakeCDSForm::useExtensionsClick() { runHandler([this] { connectAlias(*this, paneOfSender()); }); }
void TPelldrakeCDSForm::PasswordRequiredClick() { runHandler([this] { resetPane(paneOfSender()); }); }
void TPelldrakeCDSForm::TypeComboBoxChange() { runHandler([this] { resetPane(paneOfSender()); }); }
void TPelldrakeCDSForm::ListBox1Click() { runHandler([this] { openSelectedTable(*this, pane1_); }); }
void TPelldrakeCDSForm::ListBox2Click() { runHandler([this] { openSelectedTable(*this, pane2_); }); }
void TPelldrakeCDSForm::displayRecCount() { pelldrake::displayRecCount(*this); }
void TPelldrakeCDSForm::FilterValueEditChange() { runHandler([this] { applyFilter(paneOfSender()); }); }
void TPelldrakeCDSForm::FieldNameComboCloseUp() { runHandler([this] { fieldNameChosen(paneOfSender()); }); }
void TPelldrakeCDSForm::IndexComboBoxChange() { runHandler([this] { chooseIndex(paneOfSender()); }); }
void TPelldrakeCDSForm::DBGrid1CellClick(const QString &field) { runHandler([&] { bindMemoToField(pane1_, field); }); }
void TPelldrakeCDSForm::DBGrid2CellClick(const QString &field) { runHandler([&] { bindMemoToField(pane2_, field); }); }
void TPelldrakeCDSForm::DBGrid1ColExit() { runHandler([this] { unbindMemo(pane1_); }); }
void TPelldrakeCDSForm::Table1AfterScroll() { runHandler([this] { showCurrentRecord(pane1_); }); }
void TPelldrakeCDSForm::Table2AfterScroll() { runHandler([this] { showCurrentRecord(pane2_); }); }
void TPelldrakeCDSForm::FormCreate() { formCreate(*this); }
void TPelldrakeCDSForm::FormClose() { formClose(*this); }

} // namespace pelldrake

#include "pane_handlers.moc"
