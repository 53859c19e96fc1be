#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QSplitter;
class QSplitterHandle;
class QAction;

namespace pelldrake::engine {
class Database;
class Table;
class DataSource;
class TableModel;
} // namespace pelldrake::engine

namespace pelldrake {

class DBGrid;
class DBMemo;
class DBNavigator;
class TlynEDIDBFieldView;

// One half of the main window. Both panes are built from this one structure
// and every operation takes the pane it works on; the few differences between
// the panes are the flags at the end, never copies of code.
struct Pane {
    int number = 1; // 1 = "Alias #1" above, 2 = "Alias #2" below

    // Frame and top strip
    QGroupBox *frame = nullptr;         // GroupBox1 / GroupBox3
    QWidget *topStrip = nullptr;        // Panel1 / Panel2
    QComboBox *aliasCombo = nullptr;    // AliasCombo / AliasCombo2
    QCheckBox *passwordRequired = nullptr;
    QCheckBox *useExtensions = nullptr;
    QComboBox *typeComboBox = nullptr;
    QComboBox *fieldNameCombo = nullptr;
    QLineEdit *filterValueEdit = nullptr;
    QComboBox *indexComboBox = nullptr;
    DBNavigator *navigator = nullptr;   // DBNavigator1 / DBNavigator2
    QLineEdit *recordCountEdit = nullptr;
    QLineEdit *fieldCountEdit = nullptr;
    QLineEdit *currentRecord = nullptr;
    QPushButton *defaultColumnOrder = nullptr; // BitBtn1 / BitBtn2
    TlynEDIDBFieldView *fieldView = nullptr;

    // Table list and the right-hand area
    QListWidget *tableList = nullptr;   // ListBox1 / ListBox2
    QGroupBox *rightArea = nullptr;     // GroupBox2 / GroupBox4
    DBGrid *grid = nullptr;             // DBGrid1 / DBGrid2
    QGroupBox *memoGroup = nullptr;     // MemoFieldGroup / MemoFieldGroup2
    DBMemo *memo = nullptr;             // DBMemo1 / DBMemo2
    QListWidget *infoListing = nullptr; // TableInfoListBox / TableInfoListBox2

    // Splitters: list | right area, and grid / memo / listing inside the right area.
    QSplitter *listSplitter = nullptr;
    QSplitter *gridSplitter = nullptr;
    QSplitterHandle *listHandle = nullptr;  // Splitter1 / Splitter4
    QSplitterHandle *gridHandle = nullptr;  // Splitter2 / Splitter5
    QSplitterHandle *memoHandle = nullptr;  // Splitter3 / Splitter6

    // Engine objects
    engine::Database *database = nullptr;     // Database2 / Database3
    engine::Table *table = nullptr;           // Table1 / Table2
    engine::DataSource *dataSource = nullptr; // DataSource1 / DataSource2

    // Pop-up menus. Pane 2 has none on its table list and information listing.
    QMenu *gridPopup = nullptr;         // PopupMenu3 / PopupMenu4
    QAction *fieldViewEntry = nullptr;  // FieldView1 / FieldView2
    QMenu *listPopup = nullptr;         // PopupMenu2 (pane 1 only)
    QMenu *infoPopup = nullptr;         // PopupMenu1 (pane 1 only)

    // Differences between the panes
    bool hasListPopups = false;  // pop-ups on the table list and information listing
    bool handlesColumnExit = false; // the grid's column exit unbinds the memo

    // Focus highlight state: true while keyboard focus is inside the frame.
    bool focusInside = false;

    // The control that had the keyboard focus when the controls lock took it;
    // unlocking gives it back.
    QPointer<QWidget> focusBeforeLock;

    // Design-time height of the grid (58 in pane 1, 66 in pane 2).
    int designGridHeight = 58;

    // The name of a pane object: the pane-1 name with its pane-2 counterpart
    // substituted, e.g. name("ListBox1", "ListBox2").
    QString name(const char *pane1Name, const char *pane2Name) const
    {
        return QString::fromLatin1(number == 1 ? pane1Name : pane2Name);
    }
};

// The colours of the focus highlight.
QColor highlightColour();   // silver: red, green and blue 192
QColor buttonFaceColour();  // the system's button face

} // namespace pelldrake
