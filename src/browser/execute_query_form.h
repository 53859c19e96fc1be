#pragma once

#include <QDialog>
#include <QSqlDatabase>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace pelldrake {

class QueryResultModel;
class TPelldrakeCDSForm;
struct Pane;

// The query window: one SQL statement run against pane 1's alias. A statement
// that returns rows (SELECT, RETURNING, PRAGMA) shows them read-only below,
// read page by page as the view scrolls; any other statement shows how many
// rows it changed. The window stays open for the next statement. On a
// read-only alias no statement can write. The window runs on a connection
// of its own, made again at the next run when the server dropped it.
class TExecuteQueryFrm : public QDialog {
    Q_OBJECT
public:
    explicit TExecuteQueryFrm(TPelldrakeCDSForm &mainWindow, QWidget *parent = nullptr);
    ~TExecuteQueryFrm() override;

    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // Close
    QPushButton *BitBtn2 = nullptr; // Execute Query
    QPushButton *BitBtn3 = nullptr; // Clear Query
    QLabel *ResultLabel = nullptr;   // rows returned or changed
    QTableView *ResultGrid = nullptr;
    QueryResultModel *resultModel() const { return result_; }

    // The size the window has while no rows are shown, and the height it
    // grows to when a statement returns rows.
    static constexpr int kWidth = 765;
    static constexpr int kHeight = 337;
    static constexpr int kHeightWithRows = 600;

public slots:
    void FormCreate();
    void BitBtn2Click(); // Execute Query
    void BitBtn3Click(); // Clear Query

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutControls();
    void executeQuery();
    void showOutcome();
    // The window's connection to pane 1's alias, made when there is none,
    // the alias changed or the server no longer answers on it.
    QSqlDatabase ownConnection(Pane &pane);
    void dropConnection();

    TPelldrakeCDSForm &main_;
    QueryResultModel *result_ = nullptr;
    QString connectionName_; // the window's own connection to pane 1's alias
    QString connectedAlias_;
};

} // namespace pelldrake
