#include "browser/mainwindow.h"

#include "browser/command_progress.h"
#include "browser/database_opening.h"

#include "shell/aboutbox.h"
#include "widgets/dbgrid.h"
#include "widgets/dbmemo.h"
#include "widgets/dbnavigator.h"
#include "widgets/fieldview.h"
#include "browser/maintenance_menu.h"
#include "maintenance/command_frame.h"

#include "engine/database.h"
#include "engine/data_source.h"
#include "engine/session.h"
#include "engine/table.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace pelldrake {

TPelldrakeCDSForm *PelldrakeCDSForm = nullptr;

QColor highlightColour()
{
    return QColor(192, 192, 192);
}

QColor buttonFaceColour()
{
    return QApplication::palette().color(QPalette::Button);
}

namespace {

constexpr int kPaneHeight = 281;
constexpr int kTopStripHeight = 105;
constexpr int kListWidth = 207;
constexpr int kMemoHeight = 45;
constexpr int kPaneSplitterWidth = 8;
constexpr int kInnerSplitterWidth = 5;
constexpr int kComboHeight = 21;
constexpr int kCheckHeight = 17;
constexpr int kMinimumAreaHeight = 16;

// The listing's fixed-pitch font at 10 point: the platform's own, else Courier.
QFont listingFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFont(QStringLiteral("Courier"));
        font.setStyleHint(QFont::TypeWriter);
    }
    if (!QFontInfo(font).fixedPitch()) {
        font = QFont(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
    }
    font.setPointSize(10);
    return font;
}

template <typename W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, width, height);
}

// The design places were measured for a narrower face than most platforms
// have. A caption that needs more room than its design width gets it, so that
// no caption is ever clipped.
constexpr int kLabelGap = 4;

template <typename W>
W *widenToCaption(W *widget)
{
    widget->ensurePolished(); // the style's margins count
    const int needed = widget->sizeHint().width();
    if (needed > widget->width())
        widget->resize(needed, widget->height());
    return widget;
}

// Captions and chosen entries of a top strip; measured again once the window
// is shown, when the style has had its last word on margins.
void fitCaptions(QWidget *strip)
{
    for (QWidget *w : strip->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QAbstractButton *>(w))
            widenToCaption(w);
        else if (auto *combo = qobject_cast<QComboBox *>(w); combo && combo->count() > 0)
            widenToCaption(combo);
    }
}

// A label stays at its design place unless its text would run into the
// control it names; then it moves left to keep clear of it.
QLabel *label(QWidget *parent, const QString &text, const QString &name, int left, int top, int controlLeft)
{
    auto *l = named(new QLabel(text, parent), name);
    l->ensurePolished();
    l->adjustSize();
    const int room = controlLeft - kLabelGap - left;
    l->move(l->width() > room ? std::max(0, controlLeft - kLabelGap - l->width()) : left, top);
    return l;
}

QComboBox *chooser(QWidget *parent, const QString &name)
{
    auto *combo = named(new QComboBox(parent), name);
    // Drop-down choosers with editable text; typing never adds entries.
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(16);
    return combo;
}

QLineEdit *counter(QWidget *parent, const QString &name)
{
    auto *edit = named(new QLineEdit(QStringLiteral("0"), parent), name);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}

// Shows a pop-up menu at the position a control reports; scroll areas report
// positions in their viewport's coordinates.
void attachPopup(QWidget *control, QMenu *popup)
{
    control->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(control, &QWidget::customContextMenuRequested, popup,
                     [control, popup](const QPoint &pos) {
                         QWidget *origin = control;
                         if (auto *area = qobject_cast<QAbstractScrollArea *>(control))
                             origin = area->viewport();
                         popup->popup(origin->mapToGlobal(pos));
                     });
}

// A menu entry. `handler` names the slot that runs the entry (the caller
// connects it).
QAction *entry(QMenu *menu, const QString &name, const QString &caption, const char *handler,
               bool enabled)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    if (handler)
        action->setProperty("handler", QString::fromLatin1(handler));
    action->setEnabled(enabled);
    return action;
}

template <typename Container>
QMenu *submenu(QWidget *owner, Container *parentMenu, const QString &name, const QString &caption,
               const char *handler = nullptr)
{
    auto *menu = named(new QMenu(caption, owner), name);
    QAction *action = parentMenu->addMenu(menu);
    action->setObjectName(name);
    if (handler) {
        action->setProperty("handler", QString::fromLatin1(handler));
        menu->setProperty("handler", QString::fromLatin1(handler));
    }
    return menu;
}

} // namespace

TPelldrakeCDSForm::TPelldrakeCDSForm(engine::Session *session, QWidget *parent)
    : QMainWindow(parent)
    , session_(session ? session : &engine::Session::defaultSession())
{
    setObjectName(QStringLiteral("PelldrakeCDSForm"));
    setWindowTitle(QStringLiteral("Quenfold/Pelldrake"));
    startDirectory_ = QDir::currentPath();
    // The controls were laid out for a narrow 8-point face. The system's own
    // face at 8 points, narrowed where the platform has a condensed cut, keeps
    // every caption inside its control and stays legible.
    QFont windowFont = QApplication::font();
    windowFont.setPointSize(8);
    windowFont.setStretch(QFont::SemiCondensed);
    setFont(windowFont);

    auto *central = named(new QWidget(this), QStringLiteral("ClientArea"));
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    paneSplitter_ = named(new QSplitter(Qt::Vertical, central), QStringLiteral("PaneSplitter"));
    paneSplitter_->setHandleWidth(kPaneSplitterWidth);
    paneSplitter_->setChildrenCollapsible(false);
    layout->addWidget(paneSplitter_);
    setCentralWidget(central);

    buildPane(pane1_, 1);
    buildPane(pane2_, 2);
    paneSplitter_->addWidget(pane1_.frame);
    paneSplitter_->addWidget(pane2_.frame);
    // Pane 1 keeps its height when the window grows; pane 2 takes the rest.
    paneSplitter_->setStretchFactor(0, 0);
    paneSplitter_->setStretchFactor(1, 1);
    splitter7_ = named(paneSplitter_->handle(1), QStringLiteral("Splitter7"));

    buildMenus();
    buildPopupMenus();
    acceptDatabaseFileDrops(*this, pane1_);
    acceptDatabaseFileDrops(*this, pane2_);
    commandProgress_ = new CommandProgress(statusBar());

    // The memo viewer of pane 1 stays hidden until a table with a memo opens.
    pane1_.memoGroup->hide();

    connect(qApp, &QApplication::focusChanged, this, &TPelldrakeCDSForm::focusChanged);

    resize(704, 626);
    paneSplitter_->setSizes({kPaneHeight, 626 - kPaneHeight});
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(704 / 2, 626 / 2));

    // The saved placement, when there is one, replaces the centred design place.
    createPlacementSaver();

    PelldrakeCDSForm = this;

    wirePaneOperations(pane1_);
    wirePaneOperations(pane2_);
    wireBrowserTools();
    FormCreate();
}

TPelldrakeCDSForm::~TPelldrakeCDSForm()
{
    disconnect(qApp, &QApplication::focusChanged, this, &TPelldrakeCDSForm::focusChanged);
    // The children (tables, connections, widgets) die in ~QWidget, after this class is gone:
    // a signal they emit on the way (a table closing with its connection) must not reach us.
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
    if (PelldrakeCDSForm == this)
        PelldrakeCDSForm = nullptr;
}

void TPelldrakeCDSForm::buildPane(Pane &pane, int number)
{
    pane.number = number;
    pane.hasListPopups = number == 1;
    pane.handlesColumnExit = number == 1;
    pane.designGridHeight = number == 1 ? 58 : 66;

    // Built inside the window from the start, so that every control measures
    // its caption in the window's own font.
    pane.frame = named(new QGroupBox(number == 1 ? QStringLiteral("Alias #1")
                                                 : QStringLiteral("Alias #2"),
                                     paneSplitter_),
                       pane.name("GroupBox1", "GroupBox3"));
    auto *layout = new QVBoxLayout(pane.frame);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(0);

    buildTopStrip(pane);
    layout->addWidget(pane.topStrip);

    pane.listSplitter = named(new QSplitter(Qt::Horizontal, pane.frame),
                              pane.name("ListSplitter1", "ListSplitter2"));
    pane.listSplitter->setHandleWidth(kInnerSplitterWidth);
    pane.listSplitter->setChildrenCollapsible(false);
    pane.tableList = named(new QListWidget, pane.name("ListBox1", "ListBox2"));
    pane.tableList->setMinimumHeight(kMinimumAreaHeight);
    pane.listSplitter->addWidget(pane.tableList);
    buildRightArea(pane);
    pane.listSplitter->addWidget(pane.rightArea);
    pane.listSplitter->setStretchFactor(0, 0);
    pane.listSplitter->setStretchFactor(1, 1);
    pane.listSplitter->setSizes({kListWidth, 704 - kListWidth});
    pane.listHandle = named(pane.listSplitter->handle(1), pane.name("Splitter1", "Splitter4"));
    layout->addWidget(pane.listSplitter, 1);

    // The field view floats over the pane when shown; it starts hidden.
    pane.fieldView = named(new TlynEDIDBFieldView(pane.frame),
                           pane.name("lynEDIDBFieldView1", "lynEDIDBFieldView2"));
    pane.fieldView->hide();

    createEngineObjects(pane);
    pane.grid->setDataSource(pane.dataSource);
    pane.navigator->setDataSource(pane.dataSource);
    pane.memo->setDataSource(pane.dataSource);
}

void TPelldrakeCDSForm::buildTopStrip(Pane &pane)
{
    auto *strip = named(new QWidget(pane.frame), pane.name("Panel1", "Panel2"));
    pane.topStrip = strip;
    strip->setFixedHeight(kTopStripHeight);
    strip->setMinimumWidth(690);
    strip->setAutoFillBackground(true);
    setHighlight(pane, false);

    const QString suffix = pane.number == 1 ? QString() : QStringLiteral("2");
    pane.aliasCombo = chooser(strip, pane.name("AliasCombo", "AliasCombo2"));
    place(pane.aliasCombo, 40, 4, 173, kComboHeight);
    label(strip, QStringLiteral("Alias"), QStringLiteral("AliasLabel") + suffix, 16, 8, 40);

    pane.passwordRequired = named(new QCheckBox(QStringLiteral("Password Required"), strip),
                                  pane.name("PasswordRequired", "PasswordRequired2"));
    place(pane.passwordRequired, 40, 28, 113, kCheckHeight);
    pane.useExtensions = named(new QCheckBox(QStringLiteral("Use Extensions"), strip),
                               pane.name("useExtensions", "useExtensions2"));
    place(pane.useExtensions, 40, 44, 93, kCheckHeight);

    pane.typeComboBox = chooser(strip, pane.name("TypeComboBox", "TypeComboBox2"));
    pane.typeComboBox->addItems({QStringLiteral("ttASCII"), QStringLiteral("ttDBase"),
                                 QStringLiteral("ttDefault"), QStringLiteral("ttFoxPro"),
                                 QStringLiteral("ttParadox"), QString()});
    pane.typeComboBox->setCurrentIndex(-1);
    place(pane.typeComboBox, 40, 60, 61, kComboHeight);
    label(strip, QStringLiteral("Type"), QStringLiteral("TypeLabel") + suffix, 8, 64, 40);

    pane.fieldNameCombo = chooser(strip, pane.name("FieldNameCombo", "FieldNameCombo2"));
    place(pane.fieldNameCombo, 280, 4, 177, kComboHeight);
    label(strip, QStringLiteral("Field Names"), QStringLiteral("FieldNamesLabel") + suffix, 220, 8, 280);

    pane.filterValueEdit = named(new QLineEdit(strip), pane.name("FilterValueEdit", "FilterValueEdit2"));
    place(pane.filterValueEdit, 280, 28, 177, kComboHeight);
    label(strip, QStringLiteral("Filter Value"), QStringLiteral("FilterValueLabel") + suffix, 224, 32, 280);

    pane.indexComboBox = chooser(strip, pane.name("IndexComboBox", "IndexComboBox2"));
    place(pane.indexComboBox, 280, 52, 177, kComboHeight);
    label(strip, QStringLiteral("Index"), QStringLiteral("IndexLabel") + suffix, 248, 56, 280);

    pane.navigator = named(new DBNavigator(strip), pane.name("DBNavigator1", "DBNavigator2"));
    place(pane.navigator, 284, 76, 240, 25);

    pane.recordCountEdit = counter(strip, pane.name("RecordCountEdit", "RecordCountEdit2"));
    place(pane.recordCountEdit, 620, 4, 61, kComboHeight);
    label(strip, QStringLiteral("Record Count"), QStringLiteral("RecordCountLabel") + suffix, 548, 8, 620);
    pane.fieldCountEdit = counter(strip, pane.name("FieldCountEdit", "FieldCountEdit2"));
    place(pane.fieldCountEdit, 620, 24, 61, kComboHeight);
    label(strip, QStringLiteral("Field Count"), QStringLiteral("FieldCountLabel") + suffix, 560, 28, 620);
    pane.currentRecord = counter(strip, pane.name("CurrentRecord", "CurrentRecord2"));
    place(pane.currentRecord, 620, 44, 61, kComboHeight);
    label(strip, QStringLiteral("Current Record"), QStringLiteral("CurrentRecordLabel") + suffix, 540, 48, 620);

    pane.defaultColumnOrder = named(new QPushButton(QStringLiteral("Default Column Order"), strip),
                                    pane.name("BitBtn1", "BitBtn2"));
    place(pane.defaultColumnOrder, 560, 76, 119, 25);
    fitCaptions(strip);
}

void TPelldrakeCDSForm::buildRightArea(Pane &pane)
{
    pane.rightArea = named(new QGroupBox(pane.listSplitter), pane.name("GroupBox2", "GroupBox4"));
    auto *layout = new QVBoxLayout(pane.rightArea);
    layout->setContentsMargins(0, 0, 0, 0);

    pane.gridSplitter = named(new QSplitter(Qt::Vertical, pane.rightArea),
                              pane.name("GridSplitter1", "GridSplitter2"));
    pane.gridSplitter->setHandleWidth(kInnerSplitterWidth);
    pane.gridSplitter->setChildrenCollapsible(false);
    layout->addWidget(pane.gridSplitter);

    pane.grid = named(new DBGrid(pane.gridSplitter), pane.name("DBGrid1", "DBGrid2"));
    // Small minimums, so the splitters can give the grid any height asked for.
    pane.grid->setMinimumHeight(kMinimumAreaHeight);
    pane.gridSplitter->addWidget(pane.grid);

    pane.memoGroup = named(new QGroupBox(QStringLiteral("Click on a memo field in the table to view the data")),
                           pane.name("MemoFieldGroup", "MemoFieldGroup2"));
    pane.memoGroup->setMinimumHeight(kMemoHeight);
    auto *memoLayout = new QVBoxLayout(pane.memoGroup);
    memoLayout->setContentsMargins(2, 2, 2, 2);
    pane.memo = named(new DBMemo(pane.memoGroup), pane.name("DBMemo1", "DBMemo2"));
    memoLayout->addWidget(pane.memo);
    pane.gridSplitter->addWidget(pane.memoGroup);

    pane.infoListing = named(new QListWidget, pane.name("TableInfoListBox", "TableInfoListBox2"));
    pane.infoListing->setFont(listingFont());
    pane.infoListing->setMinimumHeight(1); // the listing takes what the grid leaves
    pane.gridSplitter->addWidget(pane.infoListing);

    // Grid and memo keep their heights; the listing takes what is left.
    pane.gridSplitter->setStretchFactor(0, 0);
    pane.gridSplitter->setStretchFactor(1, 0);
    pane.gridSplitter->setStretchFactor(2, 1);
    pane.gridSplitter->setSizes({pane.designGridHeight, kMemoHeight, 100});
    pane.gridHandle = named(pane.gridSplitter->handle(1), pane.name("Splitter2", "Splitter5"));
    pane.memoHandle = named(pane.gridSplitter->handle(2), pane.name("Splitter3", "Splitter6"));
}

void TPelldrakeCDSForm::createEngineObjects(Pane &pane)
{
    pane.database = new engine::Database(*session_, this);
    pane.database->setObjectName(pane.name("Database2", "Database3"));
    pane.database->setLoginPrompt(false);
    pane.table = new engine::Table(*session_, this);
    pane.table->setObjectName(pane.name("Table1", "Table2"));
    pane.dataSource = new engine::DataSource(this);
    pane.dataSource->setObjectName(pane.name("DataSource1", "DataSource2"));
    pane.dataSource->setDataSet(pane.table);
}

void TPelldrakeCDSForm::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *file = submenu(this, bar, QStringLiteral("File1"), QStringLiteral("File"));
    connect(entry(file, QStringLiteral("OpenDatabaseFile1"), QStringLiteral("Open Database File..."),
                  "OpenDatabaseFile1Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::OpenDatabaseFile1Click);
    connect(entry(file, QStringLiteral("Close1"), QStringLiteral("Close"), "Close1Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::Close1Click);

    QMenu *alias = submenu(this, bar, QStringLiteral("Alias1"), QStringLiteral("Alias"));
    connect(entry(alias, QStringLiteral("HideAlias21"), QStringLiteral("Hide Alias #2"),
                  "HideAlias21Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::HideAlias21Click);
    connect(entry(alias, QStringLiteral("ShowAlias21"), QStringLiteral("Show Alias #2"),
                  "ShowAlias21Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::ShowAlias21Click);
    connect(entry(alias, QStringLiteral("ManageAliases1"), QStringLiteral("Manage Aliases..."),
                  "ManageAliases1Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::ManageAliases1Click);

    QMenu *maintenance = submenu(this, bar, QStringLiteral("Maintenance1"), QStringLiteral("Maintenance"));
    addMaintenanceEntries(submenu(this, maintenance, QStringLiteral("Alias11"), QStringLiteral("Alias #1")),
                          MaintenanceMenu::Alias1);
    addMaintenanceEntries(submenu(this, maintenance, QStringLiteral("Alias21"), QStringLiteral("Alias #2"),
                                  "Alias21Click"),
                          MaintenanceMenu::Alias2);

    // A row of twenty hyphens: an ordinary entry that does nothing, not a separator.
    entry(maintenance, QStringLiteral("N1"), QString(20, QLatin1Char('-')), nullptr, true);

    QMenu *tableData = submenu(this, maintenance, QStringLiteral("TableData1"),
                               QStringLiteral("Table Data"), "TableData1Click");
    connect(entry(tableData, QStringLiteral("CompareData2"), QStringLiteral("Compare Data"), "CompareData2Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::CompareData2Click);
    QMenu *structure = submenu(this, maintenance, QStringLiteral("TableComparison1"),
                               QStringLiteral("Table Structure"), "TableComparison1Click");
    connect(entry(structure, QStringLiteral("Fieldsizeonly1"), QStringLiteral("Field size only"), "Fieldsizeonly1Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::Fieldsizeonly1Click);
    connect(entry(structure, QStringLiteral("FieldnameandFieldsize1"), QStringLiteral("Fieldname and Field size"),
                  "FieldnameandFieldsize1Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::FieldnameandFieldsize1Click);

    QMenu *help = submenu(this, bar, QStringLiteral("Help1"), QStringLiteral("Help"));
    connect(entry(help, QStringLiteral("About1"), QStringLiteral("About"), "About1Click", true),
            &QAction::triggered, this, &TPelldrakeCDSForm::About1Click);
}

void TPelldrakeCDSForm::buildPopupMenus()
{
    // Each pop-up menu is a child of the control it belongs to.
    for (Pane *pane : {&pane1_, &pane2_}) {
        pane->gridPopup = named(new QMenu(pane->grid), pane->name("PopupMenu3", "PopupMenu4"));
        const bool first = pane->number == 1;
        pane->fieldViewEntry = entry(pane->gridPopup, pane->name("FieldView1", "FieldView2"),
                                     QStringLiteral("Field View"), first ? "FieldView1Click" : "FieldView2Click",
                                     true);
        connect(pane->fieldViewEntry, &QAction::triggered, this,
                first ? &TPelldrakeCDSForm::FieldView1Click : &TPelldrakeCDSForm::FieldView2Click);
        attachPopup(pane->grid, pane->gridPopup);
        if (!pane->hasListPopups)
            continue;
        pane->infoPopup = named(new QMenu(pane->infoListing), QStringLiteral("PopupMenu1"));
        connect(entry(pane->infoPopup, QStringLiteral("Save1"), QStringLiteral("Save"), "Save1Click", true),
                &QAction::triggered, this, &TPelldrakeCDSForm::Save1Click);
        attachPopup(pane->infoListing, pane->infoPopup);
        pane->listPopup = named(new QMenu(pane->tableList), QStringLiteral("PopupMenu2"));
        addMaintenanceEntries(pane->listPopup, MaintenanceMenu::TableListPopup);
        connect(entry(pane->listPopup, QStringLiteral("ExecuteQuery1"), QStringLiteral("Execute Query"),
                      "ExecuteQuery1Click", true),
                &QAction::triggered, this, &TPelldrakeCDSForm::ExecuteQuery1Click);
        attachTableListPopup(*pane);
    }
}

Pane *TPelldrakeCDSForm::paneOf(const QObject *control)
{
    for (const QObject *o = control; o; o = o->parent()) {
        if (o == pane1_.frame || o == pane1_.table || o == pane1_.database || o == pane1_.dataSource)
            return &pane1_;
        if (o == pane2_.frame || o == pane2_.table || o == pane2_.database || o == pane2_.dataSource)
            return &pane2_;
    }
    return nullptr;
}

void TPelldrakeCDSForm::addMaintenanceEntries(QMenu *menu, MaintenanceMenu which)
{
    for (const MaintenanceEntry &e : maintenanceEntries()) {
        if (e.menu != which)
            continue;
        connect(entry(menu, QString::fromLatin1(e.name), QString::fromLatin1(e.caption), e.handler, true),
                &QAction::triggered, this, [this, &e] { runMaintenanceCommand(e); });
    }
}

QAction *TPelldrakeCDSForm::action(const QString &name) const
{
    return findChild<QAction *>(name);
}

QMenu *TPelldrakeCDSForm::menu(const QString &name) const
{
    return findChild<QMenu *>(name);
}

void TPelldrakeCDSForm::disableControls(Pane &pane)
{
    QWidget *focus = QApplication::focusWidget();
    const QWidget *const locked[] = {pane.aliasCombo, pane.tableList, pane.infoListing, pane.grid,
                                     pane.navigator};
    const bool focusOnLocked = focus && std::any_of(std::begin(locked), std::end(locked), [focus](const QWidget *w) {
        return w == focus || w->isAncestorOf(focus);
    });
    // Left to itself, the focus would jump to the next enabled control, often
    // in the other pane; it waits on the pane's own top strip instead.
    if (focusOnLocked) {
        pane.focusBeforeLock = focus;
        pane.topStrip->setFocus(Qt::OtherFocusReason);
    } else if (focus != pane.topStrip) {
        pane.focusBeforeLock = nullptr; // a lock inside a lock keeps what the outer one saved
    }
    pane.aliasCombo->setEnabled(false);
    pane.tableList->setEnabled(false);
    pane.infoListing->setEnabled(false);
    pane.grid->setEnabled(false);
    pane.navigator->setEnabled(false);
}

void TPelldrakeCDSForm::enableControls(Pane &pane)
{
    pane.aliasCombo->setEnabled(true);
    pane.tableList->setEnabled(true);
    pane.infoListing->setEnabled(true);
    pane.grid->setEnabled(true);
    if (pane.grid->isVisible())
        pane.grid->viewport()->repaint();
    pane.navigator->setEnabled(true);
    // Give the focus back to the control that had it, unless the user has put
    // it somewhere else meanwhile.
    QWidget *back = pane.focusBeforeLock;
    pane.focusBeforeLock = nullptr;
    if (back && QApplication::focusWidget() == pane.topStrip && back->isEnabled() && back->isVisible())
        back->setFocus(Qt::OtherFocusReason);
}

int TPelldrakeCDSForm::outerHeight() const
{
    return frameGeometry().height();
}

bool TPelldrakeCDSForm::alias2Visible() const
{
    return !pane2_.frame->isHidden();
}

void TPelldrakeCDSForm::setGridHeight(Pane &pane, int height)
{
    // The pane takes its new height first (after pane 2 was hidden or shown):
    // what came later would go to the grid, which grows with the window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QList<int> sizes = pane.gridSplitter->sizes();
    if (sizes.size() != 3)
        return;
    const int total = sizes[0] + sizes[1] + sizes[2];
    height = std::max(0, height);
    const int memo = pane.memoGroup->isHidden() ? 0 : sizes[1];
    sizes[0] = height;
    sizes[1] = memo;
    sizes[2] = std::max(0, total - height - memo);
    pane.gridSplitter->setSizes(sizes);
}

void TPelldrakeCDSForm::hideAlias2(int outer)
{
    // Pane 2 keeps its connection, table and controls; it is only hidden.
    splitter7_->hide();
    pane2_.frame->hide();
    setGridHeight(pane1_, gridHeightForOuterHeight(outer));
}

void TPelldrakeCDSForm::showAlias2(int outer)
{
    const int pane1Height = outer / 2;
    pane2_.frame->show();
    splitter7_->show();
    const int total = paneSplitter_->height() - paneSplitter_->handleWidth();
    paneSplitter_->setSizes({pane1Height, std::max(0, total - pane1Height)});
    setGridHeight(pane1_, pane1Height / 2);
}

void TPelldrakeCDSForm::formResize(int outer)
{
    if (!alias2Visible())
        setGridHeight(pane1_, gridHeightForOuterHeight(outer));
}

void TPelldrakeCDSForm::Close1Click()
{
    close();
}

void TPelldrakeCDSForm::HideAlias21Click()
{
    hideAlias2(outerHeight());
}

void TPelldrakeCDSForm::ShowAlias21Click()
{
    showAlias2(outerHeight());
}

void TPelldrakeCDSForm::About1Click()
{
    TAboutBox box(this);
    box.exec();
}

void TPelldrakeCDSForm::FormResize()
{
    formResize(outerHeight());
}

void TPelldrakeCDSForm::closeEvent(QCloseEvent *event)
{
    // A long command still running refuses first; then what is in edit is posted.
    if (maintenance::refuseClose() || !settlePendingEdits()) {
        event->ignore();
        return;
    }
    FormClose();
    QMainWindow::closeEvent(event);
}

void TPelldrakeCDSForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    for (Pane *pane : {&pane1_, &pane2_})
        fitCaptions(pane->topStrip);
    // The design sizes hold at the first show; from then on growth follows the shares.
    // Once the first show's layout has settled, that is; the stored splitter
    // positions too, or the window's own layout would take from them.
    if (!shownOnce_) {
        shownOnce_ = true;
        QTimer::singleShot(0, this, [this] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            applyStoredSplitterPositions();
            updateHeightShares();
            if (firstStartLayoutPending_)
                shareOutFirstStartHeight();
            firstStartLayoutPending_ = false;
            connect(pane2_.table, &engine::Table::stateChanged, this, &TPelldrakeCDSForm::updateHeightShares);
        });
    }
}

void TPelldrakeCDSForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TPelldrakeCDSForm::setHighlight(Pane &pane, bool on)
{
    QPalette palette = pane.topStrip->palette();
    palette.setColor(QPalette::Window, on ? highlightColour() : buttonFaceColour());
    pane.topStrip->setPalette(palette);
}

void TPelldrakeCDSForm::GroupBox1Enter()
{
    setHighlight(pane1_, true);
}

void TPelldrakeCDSForm::GroupBox1Exit()
{
    setHighlight(pane1_, false);
}

void TPelldrakeCDSForm::GroupBox3Enter()
{
    setHighlight(pane2_, true);
}

void TPelldrakeCDSForm::GroupBox3Exit()
{
    setHighlight(pane2_, false);
}

void TPelldrakeCDSForm::focusChanged(QWidget *old, QWidget *now)
{
    // Entering a table list saves the grid layout. The focus coming back
    // after the controls lock (it waited on the top strip) or with the window
    // becoming active again is no entry.
    for (Pane *pane : {&pane1_, &pane2_}) {
        if (now == pane->tableList && old && old != pane->topStrip && old != pane->tableList)
            pane->number == 1 ? ListBox1Enter() : ListBox2Enter();
    }
    for (Pane *pane : {&pane1_, &pane2_}) {
        // Parent by parent, so that a chooser's open drop-down list (a window of
        // its own) still counts as inside the pane.
        bool inside = false;
        for (QWidget *w = now; w && !inside; w = w->parentWidget())
            inside = w == pane->frame;
        if (inside == pane->focusInside)
            continue;
        pane->focusInside = inside;
        if (pane->number == 1)
            inside ? GroupBox1Enter() : GroupBox1Exit();
        else
            inside ? GroupBox3Enter() : GroupBox3Exit();
    }
}

} // namespace pelldrake
