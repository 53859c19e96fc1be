// The main window's handlers for grid layouts, the field view, the query
// window and the Maintenance menu's enabling, and their wiring.
#include "browser/mainwindow.h"

#include "browser/execute_query_form.h"
#include "browser/field_view_command.h"
#include "widgets/fieldview.h"
#include "browser/grid_layout.h"
#include "browser/pane_operations.h"
#include "window_tools/form_placement_saver.h"
#include "browser/maintenance_menu.h"

#include "engine/session.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTimer>

#include <algorithm>

namespace pelldrake {

namespace {

// The splitter positions kept with the window's placement: for each
// splitter, the size of the area before it. Splitter7: pane 1's height;
// Splitter1/4: the table list's width; Splitter2/5: the grid's height;
// Splitter3/6: the memo's height.
void saveSplitterPositions(TPelldrakeCDSForm &form, QSettings &store)
{
    if (form.alias2Visible())
        store.setValue(QStringLiteral("Splitter7"), form.paneSplitter()->sizes().value(0));
    for (Pane *pane : {&form.pane1(), &form.pane2()}) {
        const bool first = pane->number == 1;
        store.setValue(first ? QStringLiteral("Splitter1") : QStringLiteral("Splitter4"),
                       pane->listSplitter->sizes().value(0));
        const QList<int> sizes = pane->gridSplitter->sizes();
        store.setValue(first ? QStringLiteral("Splitter2") : QStringLiteral("Splitter5"), sizes.value(0));
        if (!pane->memoGroup->isHidden())
            store.setValue(first ? QStringLiteral("Splitter3") : QStringLiteral("Splitter6"), sizes.value(1));
    }
}

// A size that is missing, not a number or not positive is left alone.
int storedSize(QSettings &store, const QString &name)
{
    bool ok = false;
    const int size = store.value(name).toInt(&ok);
    return ok && size > 0 ? size : -1;
}

void applySplitterPositions(TPelldrakeCDSForm &form, const QMap<QString, int> &stored)
{
    if (const int height = stored.value(QStringLiteral("Splitter7"), -1); height > 0) {
        QSplitter *split = form.paneSplitter();
        const QList<int> sizes = split->sizes();
        const int total = std::max(sizes.value(0) + sizes.value(1), height + 1);
        split->setSizes({height, total - height});
    }
    for (Pane *pane : {&form.pane1(), &form.pane2()}) {
        const bool first = pane->number == 1;
        if (const int width = stored.value(first ? QStringLiteral("Splitter1") : QStringLiteral("Splitter4"), -1); width > 0) {
            const QList<int> sizes = pane->listSplitter->sizes();
            const int total = std::max(sizes.value(0) + sizes.value(1), width + 1);
            pane->listSplitter->setSizes({width, total - width});
        }
        if (const int memo = stored.value(first ? QStringLiteral("Splitter3") : QStringLiteral("Splitter6"), -1);
            memo > 0 && !pane->memoGroup->isHidden()) {
            QList<int> sizes = pane->gridSplitter->sizes();
            if (sizes.size() == 3) {
                sizes[2] = std::max(0, sizes[1] + sizes[2] - memo);
                sizes[1] = memo;
                pane->gridSplitter->setSizes(sizes);
            }
        }
        if (const int grid = stored.value(first ? QStringLiteral("Splitter2") : QStringLiteral("Splitter5"), -1); grid > 0)
            form.setGridHeight(*pane, grid);
    }
}

// The sizes are read with the placement, while the window is being built,
// and applied once it has been shown and laid out: splitters share out what
// they have.
QMap<QString, int> readSplitterPositions(QSettings &store)
{
    QMap<QString, int> stored;
    for (const char *name : {"Splitter1", "Splitter2", "Splitter3", "Splitter4", "Splitter5", "Splitter6", "Splitter7"}) {
        if (const int size = storedSize(store, QString::fromLatin1(name)); size > 0)
            stored.insert(QString::fromLatin1(name), size);
    }
    return stored;
}

} // namespace

void TPelldrakeCDSForm::createPlacementSaver()
{
    acFormPlacementSaver1_ = new TacFormPlacementSaver(this);
    acFormPlacementSaver1_->setObjectName(QStringLiteral("acFormPlacementSaver1"));
#ifndef Q_OS_WIN
    // Beside the alias registry: each user, and each test session, has its own.
    acFormPlacementSaver1_->setStoreFileName(
        QFileInfo(session_->aliases().iniPath()).dir().filePath(QStringLiteral("placement.ini")));
#endif
    acFormPlacementSaver1_->OnSaveSettings = [this](QObject *, QSettings &store) { saveSplitterPositions(*this, store); };
    acFormPlacementSaver1_->OnLoadSettings = [this](QObject *, QSettings &store) { storedSplitters_ = readSplitterPositions(store); };
    acFormPlacementSaver1_->OnRegKeyNotFound = [this](QObject *) {
        if (QScreen *s = screen())
            applyFirstStartLayout(s->availableGeometry());
    };
    acFormPlacementSaver1_->Loaded();
}

void TPelldrakeCDSForm::applyStoredSplitterPositions()
{
    if (!storedSplitters_.isEmpty())
        applySplitterPositions(*this, storedSplitters_);
    storedSplitters_.clear();
}

void TPelldrakeCDSForm::wireBrowserTools()
{
    for (Pane *pane : {&pane1_, &pane2_}) {
        const bool first = pane->number == 1;
        connect(pane->defaultColumnOrder, &QPushButton::clicked, this,
                first ? &TPelldrakeCDSForm::BitBtn1Click : &TPelldrakeCDSForm::BitBtn2Click);
        connect(pane->fieldView, &TlynEDIDBFieldView::dblClick, this,
                first ? &TPelldrakeCDSForm::lynEDIDBFieldView1DblClick
                      : &TPelldrakeCDSForm::lynEDIDBFieldView2DblClick);
    }
    // A submenu runs its handler when it is about to open.
    const std::pair<const char *, void (TPelldrakeCDSForm::*)()> submenus[] = {
        {"Alias21", &TPelldrakeCDSForm::Alias21Click},
        {"TableData1", &TPelldrakeCDSForm::TableData1Click},
        {"TableComparison1", &TPelldrakeCDSForm::TableComparison1Click},
    };
    for (const auto &[name, handler] : submenus) {
        if (QMenu *m = menu(QString::fromLatin1(name)))
            connect(m, &QMenu::aboutToShow, this, handler);
    }
}

void TPelldrakeCDSForm::ListBox1Enter()
{
    runHandler([this] { saveGridLayout(pane1_); });
    GroupBox1Enter();
}

void TPelldrakeCDSForm::ListBox2Enter()
{
    runHandler([this] { saveGridLayout(pane2_); });
    GroupBox3Enter();
}

void TPelldrakeCDSForm::BitBtn1Click() { runHandler([this] { defaultColumnOrder(*this, pane1_); }); }
void TPelldrakeCDSForm::BitBtn2Click() { runHandler([this] { defaultColumnOrder(*this, pane2_); }); }
void TPelldrakeCDSForm::Save1Click() { runHandler([this] { saveTableLayout(pane1_); }); }
void TPelldrakeCDSForm::FieldView1Click() { runHandler([this] { showFieldView(*this, pane1_); }); }
void TPelldrakeCDSForm::FieldView2Click() { runHandler([this] { showFieldView(*this, pane2_); }); }
void TPelldrakeCDSForm::lynEDIDBFieldView1DblClick() { pane1_.fieldView->hide(); }
void TPelldrakeCDSForm::lynEDIDBFieldView2DblClick() { pane2_.fieldView->hide(); }

void TPelldrakeCDSForm::ExecuteQuery1Click()
{
    TExecuteQueryFrm form(*this, this);
    form.exec();
}

// The three submenus share one operation: the entries that need pane 2
// follow its visibility.
void TPelldrakeCDSForm::Alias21Click() { enablePane2MenuItems(this, alias2Visible()); }
void TPelldrakeCDSForm::TableData1Click() { enablePane2MenuItems(this, alias2Visible()); }
void TPelldrakeCDSForm::TableComparison1Click() { enablePane2MenuItems(this, alias2Visible()); }

} // namespace pelldrake
