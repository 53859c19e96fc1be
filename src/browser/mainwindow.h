#pragma once

#include "browser/pane.h"

#include <QMainWindow>
#include <QMap>
#include <QString>

class QAction;
class QMenu;
class QSplitter;
class QSplitterHandle;

namespace pelldrake::engine {
class Session;
}

namespace pelldrake {

class CommandProgress;
class TacFormPlacementSaver;
enum class MaintenanceMenu;
struct MaintenanceEntry;

// The main window: two panes stacked vertically, "Alias #1" above and
// "Alias #2" below, the main menu and the pop-up menus.
class TPelldrakeCDSForm : public QMainWindow {
    Q_OBJECT
public:
    // The panes' connections belong to the given session (the application's
    // default session when none is given).
    explicit TPelldrakeCDSForm(engine::Session *session = nullptr, QWidget *parent = nullptr);
    ~TPelldrakeCDSForm() override;

    Pane &pane1() { return pane1_; }
    Pane &pane2() { return pane2_; }
    // The pane a control (or any object below a pane's frame) belongs to.
    Pane *paneOf(const QObject *control);
    engine::Session &session() { return *session_; }
    // The status bar's progress and Cancel of a long command.
    CommandProgress &commandProgress() { return *commandProgress_; }

    // Menu entries and menus by component name.
    QAction *action(const QString &name) const;
    QMenu *menu(const QString &name) const;

    // The pane controls lock.
    void disableControls(Pane &pane);
    void enableControls(Pane &pane);

    // The window's outer height (frame included) and the grid height that
    // pane 1 takes when pane 2 is hidden.
    int outerHeight() const;
    static int gridHeightForOuterHeight(int outerHeight) { return outerHeight / 2; }

    // Showing, hiding and resizing as functions of an outer height, so that
    // the arithmetic does not depend on the platform's window frame.
    void hideAlias2(int outerHeight);
    void showAlias2(int outerHeight);
    void formResize(int outerHeight);
    bool alias2Visible() const;

    // Opens a SQLite file in a pane under its alias (database_opening.h); false when refused.
    bool openDatabaseFile(Pane &pane, const QString &path);

    // Sets a pane's grid height; the information listing takes the rest.
    void setGridHeight(Pane &pane, int height);
    // Shows or hides a pane's memo viewer; shown, it takes its lines from the
    // listing before the grid (window_layout.cpp).
    void setMemoShown(Pane &pane, bool shown);
    // The first start, when no placement is stored: on a screen (its
    // available area) larger than the design size the window takes most of
    // it, and once shown its height goes to pane 1's grid.
    void applyFirstStartLayout(const QRect &available);

    QString startDirectory() const { return startDirectory_; }
    void setStartDirectory(const QString &dir) { startDirectory_ = dir; }

    QSplitter *paneSplitter() const { return paneSplitter_; }
    QSplitterHandle *splitter7() const { return splitter7_; }
    TacFormPlacementSaver *placementSaver() const { return acFormPlacementSaver1_; }

public slots:
    void Close1Click();
    // Opening a database file and managing the aliases (database_opening.cpp).
    void OpenDatabaseFile1Click();
    void ManageAliases1Click();
    void HideAlias21Click();
    void ShowAlias21Click();
    void About1Click();
    void FormResize();

    void GroupBox1Enter();
    void GroupBox1Exit();
    void GroupBox3Enter();
    void GroupBox3Exit();

    // Pane operations: alias connection, table opening, filtering, index choice,
    // navigation and the configuration files. Each calls one implementation
    // taking the pane (pane_operations.h); shared handlers find their pane from
    // the control that raised the event.
    void AliasComboChange();
    void AliasCombo2Change();
    void useExtensionsClick();
    void PasswordRequiredClick();
    void TypeComboBoxChange();
    void ListBox1Click();
    void ListBox2Click();
    void displayRecCount();
    void FilterValueEditChange();
    void FieldNameComboCloseUp();
    void IndexComboBoxChange();
    void DBGrid1CellClick(const QString &fieldName);
    void DBGrid2CellClick(const QString &fieldName);
    void DBGrid1ColExit();
    void Table1AfterScroll();
    void Table2AfterScroll();
    void FormCreate();
    void FormClose();

    // Grid layouts, the field view, the query window and the Maintenance
    // menu's enabling (browser_tools.cpp).
    void ListBox1Enter();
    void ListBox2Enter();
    void BitBtn1Click();
    void BitBtn2Click();
    void Save1Click();
    void FieldView1Click();
    void FieldView2Click();
    void lynEDIDBFieldView1DblClick();
    void lynEDIDBFieldView2DblClick();
    void ExecuteQuery1Click();
    void Alias21Click();
    void TableData1Click();
    void TableComparison1Click();

    // Maintenance commands (src/maintenance): each runs its entry of
    // maintenanceEntries() (maintenance_menu.h).
    void FillColumnwithUniqueDateTime20char1Click();
    void FillALLfieldsforcolumnwithUniqueDateTime20charvalue1Click();
    void ExportTABDelimitedfieldswithHeaderRecord1Click();
    void TableDump1Click();
    void TableLoad1Click();
    void TableLoadFromFile1Click();
    void LoadData1Click();
    void DeleteAllRecords1Click();
    void EmptyTable1Click();
    void FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1Click();
    void FillALLfieldsforcolumnwithUniqueDateTime20charvalue2Click();
    void ExportTABDelimitedfieldswithHeaderRecord2Click();
    void TableDump2Click();
    void TableLoad2Click();
    void TableLoadFromFile2Click();
    void DeleteAllRecords2Click();
    void CompareData2Click();
    void Fieldsizeonly1Click();
    void FieldnameandFieldsize1Click();
    // The CSV entries (csv_dialogs.h).
    void CSVExport1Click();
    void CSVImport1Click();
    void CSVExport2Click();
    void CSVImport2Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void focusChanged(QWidget *old, QWidget *now);

private:
    // The table list's pop-up: a right-click on an entry first chooses it as a left click does.
    void attachTableListPopup(Pane &pane);
    void wirePaneOperations(Pane &pane);
    void wireBrowserTools();
    void createPlacementSaver();
    // Adds the menu's maintenance entries, each connected to its command.
    void addMaintenanceEntries(QMenu *menu, MaintenanceMenu which);
    void runMaintenanceEntry(const char *name);
    void runMaintenanceCommand(const MaintenanceEntry &entry);
    // Posts what both panes have in edit before the window closes; false keeps
    // the window open on a record that cannot be posted.
    bool settlePendingEdits();
    Pane &paneOfSender();
    void buildPane(Pane &pane, int number);
    void buildTopStrip(Pane &pane);
    void buildRightArea(Pane &pane);
    void createEngineObjects(Pane &pane);
    void buildMenus();
    void buildPopupMenus();
    void setHighlight(Pane &pane, bool on);
    // Height shares (window_layout.cpp): growth goes to the grids, never to an
    // empty pane 2; the first start's share once the window has its size.
    void updateHeightShares();
    void shareOutFirstStartHeight();
    // The splitter positions read with the stored placement, applied at the first show.
    void applyStoredSplitterPositions();

    engine::Session *session_ = nullptr;
    Pane pane1_;
    Pane pane2_;
    QSplitter *paneSplitter_ = nullptr;
    CommandProgress *commandProgress_ = nullptr;
    QSplitterHandle *splitter7_ = nullptr;
    QString startDirectory_;
    TacFormPlacementSaver *acFormPlacementSaver1_ = nullptr;
    bool closeRefused_ = false; // a close was refused for a record that cannot be posted
    QMap<QString, int> storedSplitters_;
    bool shownOnce_ = false;
    bool firstStartLayoutPending_ = false;
};

// The main window of the running program, set while it exists.
extern TPelldrakeCDSForm *PelldrakeCDSForm;

} // namespace pelldrake
