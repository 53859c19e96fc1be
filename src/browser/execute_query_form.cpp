#include "browser/execute_query_form.h"

#include "shell/dialogs.h"
#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/session.h"
#include "engine/sql_util.h"
#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "browser/grid_layout_file.h"
#include "browser/mainwindow.h"
#include "browser/pane_operations.h"
#include "browser/query_result_model.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>

namespace pelldrake {

namespace {

constexpr int kMemoHeight = 237;
constexpr int kButtonTop = 260;
constexpr int kButtonWidth = 117;
constexpr int kButtonHeight = 25;
constexpr int kLabelTop = 292;
constexpr int kResultTop = 314;

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, int left)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setGeometry(left, kButtonTop, kButtonWidth, kButtonHeight);
    return b;
}

// Ctrl+C on a result cell copies the whole value (the model's edit text):
// the cell paints only what fits a screen.
class WholeValueCopy : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy))
            return false;
        const QModelIndex index = static_cast<QAbstractItemView *>(watched)->currentIndex();
        if (!index.isValid())
            return false;
        QGuiApplication::clipboard()->setText(index.data(Qt::EditRole).toString());
        return true;
    }
};

} // namespace

TExecuteQueryFrm::TExecuteQueryFrm(TPelldrakeCDSForm &mainWindow, QWidget *parent)
    : QDialog(parent)
    , main_(mainWindow)
    , result_(new QueryResultModel(this))
{
    setObjectName(QStringLiteral("ExecuteQueryFrm"));
    setWindowTitle(QStringLiteral("Execute Query"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    BitBtn1 = button(this, QStringLiteral("BitBtn1"), QStringLiteral("Close"), 192);
    BitBtn2 = button(this, QStringLiteral("BitBtn2"), QStringLiteral("Execute Query"), 320);
    BitBtn3 = button(this, QStringLiteral("BitBtn3"), QStringLiteral("Clear Query"), 448);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn2, &QPushButton::clicked, this, &TExecuteQueryFrm::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TExecuteQueryFrm::BitBtn3Click);

    ResultLabel = new QLabel(this);
    ResultLabel->setObjectName(QStringLiteral("ResultLabel"));
    ResultGrid = new QTableView(this);
    ResultGrid->setObjectName(QStringLiteral("ResultGrid"));
    ResultGrid->setModel(result_);
    ResultGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ResultGrid->setWordWrap(false);
    ResultGrid->installEventFilter(new WholeValueCopy(ResultGrid));
    ResultGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ResultGrid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    ResultGrid->hide();
    connect(result_, &QueryResultModel::rowsReadChanged, this, &TExecuteQueryFrm::showOutcome);

    resize(kWidth, kHeight);
    layoutControls();
    move(301, 279); // the design position, not centred
    FormCreate();
}

TExecuteQueryFrm::~TExecuteQueryFrm()
{
    dropConnection();
}

void TExecuteQueryFrm::FormCreate()
{
    // With no table selected there is nothing to prefill.
    const QListWidgetItem *selected = main_.pane1().tableList->currentItem();
    Memo1->setPlainText(selected ? QStringLiteral("delete from ") + selected->text() : QString());
}

void TExecuteQueryFrm::BitBtn2Click()
{
    runHandler([this] { executeQuery(); });
}

void TExecuteQueryFrm::BitBtn3Click()
{
    Memo1->clear();
}

void TExecuteQueryFrm::executeQuery()
{
    Pane &pane = main_.pane1();
    engine::Table &table = *pane.table;
    const bool wasOpen = table.active();
    result_->clear(); // the previous statement and its rows are gone
    if (!pane.database->connected()) {
        dialogs().showMessage(QStringLiteral("No database connection."));
        return;
    }
    const QString sql = Memo1->toPlainText();
    if (sql.trimmed().isEmpty())
        return;

    QStringList columnOrder;
    if (wasOpen) {
        postPendingEdit(pane); // closing must not drop what the user typed
        columnOrder = pane.grid->columnFieldNames();
        table.close();
    }

    // The statement runs on the window's own connection to the alias, so
    // its rows can stay on their cursor while the pane's table reads again.
    QSqlDatabase connection = ownConnection(pane);
    try {
        if (pane.database->readOnly())
            result_->executeReadOnly(connection, sql);
        else
            result_->execute(connection, sql);
    } catch (const engine::EngineError &e) {
        if (connection.isOpen())
            throw;
        throw engine::EngineError(e.message()
                                  + QStringLiteral("\nThe connection to the server was lost; the next run connects again."));
    }

    if (wasOpen) {
        ensureConnected(pane); // the pane's connection may have been lost too
        table.open();
        // The columns keep the order the user gave them.
        const QAbstractItemModel *model = pane.grid->model();
        QStringList names;
        for (int logical = 0; logical < model->columnCount(); ++logical)
            names << model->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
        applyLayoutToHeader(pane.grid->horizontalHeader(), names, columnOrder);
    }
}

void TExecuteQueryFrm::showOutcome()
{
    const bool rows = result_->executed() && result_->returnsRows();
    if (!rows) {
        ResultGrid->hide();
    } else if (ResultGrid->isHidden()) {
        ResultGrid->show();
        if (height() < kHeightWithRows)
            resize(width(), kHeightWithRows);
    }
    if (!result_->executed()) {
        ResultLabel->clear();
    } else if (rows) {
        const int n = result_->rowsRead();
        if (!result_->readError().isEmpty())
            ResultLabel->setText(QStringLiteral("%1 rows read, then reading failed: %2").arg(n).arg(result_->readError()));
        else if (result_->complete())
            ResultLabel->setText(n == 1 ? QStringLiteral("1 row.") : QStringLiteral("%1 rows.").arg(n));
        else
            ResultLabel->setText(QStringLiteral("%1 rows read so far; more are read as you scroll.").arg(n));
    } else {
        const int n = result_->rowsAffected();
        ResultLabel->setText(n == 1 ? QStringLiteral("1 row affected.") : QStringLiteral("%1 rows affected.").arg(n));
    }
}

namespace {

// Whether the server still answers on the connection. Qt closes a server
// connection once a statement finds the server gone.
bool answers(QSqlDatabase connection)
{
    if (connection.isOpen() && connection.driverName() == QLatin1String("QPSQL"))
        QSqlQuery(connection).exec(QStringLiteral("SELECT 1"));
    return connection.isOpen();
}

} // namespace

QSqlDatabase TExecuteQueryFrm::ownConnection(Pane &pane)
{
    const QString alias = pane.aliasCombo->currentText();
    bool lost = false;
    if (!connectionName_.isEmpty()) {
        if (connectedAlias_ == alias && answers(QSqlDatabase::database(connectionName_, false)))
            return QSqlDatabase::database(connectionName_, false);
        // A connection the server dropped is made again, once for each run.
        lost = connectedAlias_ == alias;
        dropConnection();
    }
    const QString name = QStringLiteral("pelldrake-query-%1").arg(quintptr(this));
    QString error;
    {
        QSqlDatabase connection = QSqlDatabase::cloneDatabase(pane.database->sqlDatabase(), name);
        if (connection.open() && pane.database->readOnly() && pane.database->isPostgres()) {
            // Each statement runs in a read-only transaction anyway; this keeps the session's
            // default the same as the pane's.
            QSqlQuery q(connection);
            if (!q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")))
                error = engine::errorText(q.lastError());
        } else if (!connection.isOpen()) {
            error = engine::errorText(connection.lastError());
        }
        if (!error.isEmpty())
            connection.close();
    }
    if (!error.isEmpty()) {
        QSqlDatabase::removeDatabase(name);
        if (lost)
            error = QStringLiteral("The connection to alias '%1' was lost and cannot be made again: %2").arg(alias, error);
        throw engine::EngineError(error);
    }
    connectionName_ = name;
    connectedAlias_ = alias;
    return QSqlDatabase::database(connectionName_, false);
}

void TExecuteQueryFrm::dropConnection()
{
    result_->clear();
    if (connectionName_.isEmpty())
        return;
    QSqlDatabase::database(connectionName_, false).close();
    QSqlDatabase::removeDatabase(connectionName_);
    connectionName_.clear();
    connectedAlias_.clear();
}

void TExecuteQueryFrm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    layoutControls();
}

void TExecuteQueryFrm::layoutControls()
{
    Memo1->setGeometry(0, 0, width(), kMemoHeight);
    ResultLabel->setGeometry(8, kLabelTop, width() - 16, kResultTop - kLabelTop - 2);
    ResultGrid->setGeometry(0, kResultTop, width(), std::max(0, height() - kResultTop));
}

} // namespace pelldrake
