#include "browser/compare_window.h"

#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/session.h"
#include "engine/table.h"
#include "shell/dialogs.h"

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

namespace pelldrake {

using compare::DiffRow;

namespace {

QString valueText(const compare::Value &v)
{
    const QString t = QString::fromStdString(compare::displayText(v));
    // NULL and '' must look different: text is shown in quotes.
    return v.kind == compare::Kind::Text ? QLatin1Char('\'') + t + QLatin1Char('\'') : t;
}

QString kindText(const DiffRow &d)
{
    QString text = d.kind == DiffRow::Kind::OnlyLeft ? QStringLiteral("only in pane 1")
        : d.kind == DiffRow::Kind::OnlyRight          ? QStringLiteral("only in pane 2")
                                                      : QStringLiteral("changed");
    if (d.copies > 1)
        text += QStringLiteral(" (%1 copies)").arg(d.copies);
    if (d.nullKey)
        text += QStringLiteral(", NULL key");
    return text;
}

QString sideText(engine::Table &t) { return QStringLiteral("%1: %2").arg(t.databaseName(), t.tableName()); }

QString title(CompareKind kind)
{
    switch (kind) {
    case CompareKind::Data:
        return QStringLiteral("Compare Data");
    case CompareKind::FieldSize:
        return QStringLiteral("Field size only");
    default:
        return QStringLiteral("Fieldname and Field size");
    }
}

} // namespace

DiffRowsModel::DiffRowsModel(const compare::Comparison &comparison, QObject *parent)
    : QAbstractTableModel(parent), comparison_(comparison)
{
    shown_ = std::min<qint64>(kPage, comparison.diffs().size());
}

int DiffRowsModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(shown_); }

int DiffRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(comparison_.columns().size()) + 1;
}

bool DiffRowsModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && shown_ < comparison_.diffs().size();
}

void DiffRowsModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const qint64 more = std::min<qint64>(kPage, comparison_.diffs().size() - shown_);
    beginInsertRows({}, int(shown_), int(shown_ + more - 1));
    shown_ += more;
    endInsertRows();
}

const DiffRow &DiffRowsModel::row(int index) const
{
    // One page of rows at a time from the store: scrolling reads, the window never holds them all.
    const qint64 start = index / kPage * kPage;
    if (start != pageStart_) {
        page_.clear();
        const qint64 end = std::min<qint64>(start + kPage, comparison_.diffs().size());
        for (qint64 i = start; i < end; ++i)
            page_.push_back(comparison_.diffs().at(i));
        pageStart_ = start;
    }
    return page_[size_t(index - start)];
}

QVariant DiffRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::BackgroundRole && role != Qt::ToolTipRole))
        return {};
    const DiffRow &d = row(index.row());
    if (index.column() == 0)
        return role == Qt::DisplayRole ? QVariant(kindText(d)) : QVariant();
    const size_t p = size_t(index.column() - 1);
    const bool changed = d.kind == DiffRow::Kind::Changed && d.changed[p];
    if (role == Qt::BackgroundRole) {
        if (changed)
            return QBrush(QColor(255, 214, 153)); // the cells that differ
        if (d.kind != DiffRow::Kind::Changed)
            return QBrush(d.kind == DiffRow::Kind::OnlyLeft ? QColor(214, 234, 255) : QColor(226, 242, 214));
        return {};
    }
    const std::vector<compare::Value> &values = d.kind == DiffRow::Kind::OnlyRight ? d.right : d.left;
    if (changed)
        return QStringLiteral("%1 | %2").arg(valueText(d.left[p]), valueText(d.right[p]));
    return valueText(values[p]);
}

QVariant DiffRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section == 0)
        return QStringLiteral("Difference");
    const compare::PairedColumn &c = comparison_.columns()[section - 1];
    return comparison_.key().contains(section - 1) ? c.name + QStringLiteral(" (key)") : c.name;
}

CompareWindow::CompareWindow(engine::Table &pane1, engine::Table &pane2, CompareKind kind, QWidget *parent)
    : QWidget(parent, Qt::Window), pane1_(&pane1), pane2_(&pane2), kind_(kind)
{
    setObjectName(QStringLiteral("CompareWindow"));
    setWindowTitle(title(kind));
    auto *layout = new QVBoxLayout(this);
    sides_ = new QLabel(this);
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("CompareCounts"));
    structure_ = new QListWidget(this);
    structure_->setObjectName(QStringLiteral("CompareStructure"));
    rows_ = new QTableView(this);
    rows_->setObjectName(QStringLiteral("CompareRows"));
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(sides_);
    layout->addWidget(counts_);
    layout->addWidget(structure_, 1);
    layout->addWidget(rows_, 4);
    auto *buttons = new QHBoxLayout;
    save_ = new QPushButton(QStringLiteral("Save Script..."), this);
    apply1_ = new QPushButton(QStringLiteral("Apply to pane 1"), this);
    apply2_ = new QPushButton(QStringLiteral("Apply to pane 2"), this);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    for (QPushButton *b : {save_, apply1_, apply2_})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(save_, &QPushButton::clicked, this, &CompareWindow::saveScript);
    connect(apply1_, &QPushButton::clicked, this, &CompareWindow::applyToPane1);
    connect(apply2_, &QPushButton::clicked, this, &CompareWindow::applyToPane2);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    const bool data = kind == CompareKind::Data;
    rows_->setVisible(data);
    for (QPushButton *b : {save_, apply1_, apply2_})
        b->setVisible(data);
    resize(900, 560);
}

CompareWindow::~CompareWindow()
{
    rows_->setModel(nullptr);
}

bool CompareWindow::run()
{
    if (!pane1_ || !pane2_ || !pane1_->active() || !pane2_->active()) {
        dialogs().showMessage(QStringLiteral("Open a table in pane 1 and in pane 2 to compare them."));
        return false;
    }
    sides_->setText(QStringLiteral("Pane 1: %1\nPane 2: %2").arg(sideText(*pane1_), sideText(*pane2_)));
    compare::Options options;
    options.data = kind_ == CompareKind::Data;
    options.scope = kind_ == CompareKind::FieldSize       ? compare::StructureScope::FieldSize
        : kind_ == CompareKind::NamesAndSizes             ? compare::StructureScope::NamesAndSizes
                                                          : compare::StructureScope::Everything;
    QProgressDialog progress(QStringLiteral("Comparing %1 and %2...").arg(pane1_->tableName(), pane2_->tableName()),
                             QStringLiteral("Cancel"), 0, 1000, this);
    progress.setWindowTitle(title(kind_));
    progress.setWindowModality(Qt::ApplicationModal); // its setValue() lets the events through
    progress.setMinimumDuration(300);
    options.progress = [&progress](qint64 done, qint64 total) {
        progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
        return !progress.wasCanceled();
    };
    rows_->setModel(nullptr);
    model_.reset();
    // Until a result is there the window shows none, and offers nothing to save or apply.
    counts_->clear();
    structure_->clear();
    for (QPushButton *b : {save_, apply1_, apply2_})
        b->setEnabled(false);
    try {
        comparison_ = std::make_unique<compare::Comparison>(compare::tableRef(*pane1_, sideText(*pane1_)),
                                                            compare::tableRef(*pane2_, sideText(*pane2_)), options);
    } catch (const compare::Comparison::Cancelled &) {
        comparison_.reset();
        return false;
    } catch (const engine::EngineError &e) {
        comparison_.reset();
        dialogs().showError(e.message());
        return false;
    }
    showResult();
    return true;
}

QString CompareWindow::countsText() const
{
    if (!comparison_)
        return {};
    const compare::Counts &n = comparison_->counts();
    if (!comparison_->dataCompared())
        return QStringLiteral("Structure differences: %1").arg(n.structure);
    return QStringLiteral("Only in pane 1: %1   Only in pane 2: %2   Changed: %3   Unchanged: %4   NULL key: %5   "
                          "Structure differences: %6   (%7)")
        .arg(n.onlyLeft)
        .arg(n.onlyRight)
        .arg(n.changed)
        .arg(n.unchanged)
        .arg(n.nullKey)
        .arg(n.structure)
        .arg(comparison_->multiset() ? QStringLiteral("no key: rows paired as whole rows")
                                     : QStringLiteral("key: ") + comparison_->keyNames().join(QStringLiteral(", ")));
}

void CompareWindow::showResult()
{
    counts_->setText(countsText());
    structure_->clear();
    for (const compare::StructureDifference &d : comparison_->structure())
        structure_->addItem(d.text());
    if (comparison_->structure().isEmpty())
        structure_->addItem(QStringLiteral("No structure differences."));
    if (!comparison_->dataCompared())
        return;
    model_ = std::make_unique<DiffRowsModel>(*comparison_);
    rows_->setModel(model_.get());
    rows_->resizeColumnsToContents();
    const bool differs = comparison_->diffs().size() > 0;
    for (QPushButton *b : {save_, apply1_, apply2_})
        b->setEnabled(differs);
}

void CompareWindow::saveScript()
{
    if (!comparison_)
        return;
    // The script makes pane 2's table equal to pane 1's, the way the report reads.
    const QString path = dialogs().saveFileName(QDir::currentPath(), pane2_ ? pane2_->tableName() + QStringLiteral("_sync.sql") : QString(),
                                                QStringLiteral("SQL script (*.sql);;All files (*)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    try {
        if (!file.open(QIODevice::WriteOnly))
            throw engine::EngineError(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        compare::writeScript(*comparison_, compare::Direction::RightLikeLeft, file);
        if (!file.commit())
            throw engine::EngineError(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    } catch (const engine::EngineError &e) {
        dialogs().showError(e.message());
        return;
    }
    dialogs().showMessage(QStringLiteral("The script that makes pane 2's table equal to pane 1's was saved to %1.")
                              .arg(QDir::toNativeSeparators(path)));
}

void CompareWindow::apply(compare::Direction direction)
{
    engine::Table *target = direction == compare::Direction::RightLikeLeft ? pane2_.data() : pane1_.data();
    if (!comparison_ || !target || !target->active())
        return;
    const int pane = direction == compare::Direction::RightLikeLeft ? 2 : 1;
    if (target->database() && target->database()->readOnly()) {
        dialogs().showMessage(QStringLiteral("The database of pane %1 is read-only: nothing was changed.").arg(pane));
        return;
    }
    const compare::ScriptCounts n = compare::scriptCounts(*comparison_, direction);
    const QString question = QStringLiteral("Make table %1 of pane %2 equal to pane %3's?\n\n%4 rows deleted, %5 updated, %6 inserted, "
                                            "all in one transaction.")
                                 .arg(target->tableName())
                                 .arg(pane)
                                 .arg(3 - pane)
                                 .arg(n.deletes)
                                 .arg(n.updates)
                                 .arg(n.inserts);
    if (!dialogs().askYesNo(question, QStringLiteral("Apply to pane %1").arg(pane)))
        return;
    try {
        compare::applyScript(*comparison_, direction);
    } catch (const engine::EngineError &e) {
        dialogs().showError(e.message());
        return;
    }
    target->refresh();
    run(); // what is left to differ: nothing, or what the structure keeps apart
}

CompareWindow *compareOpenTables(QWidget *parent, engine::Table *pane1, engine::Table *pane2, CompareKind kind)
{
    for (auto [table, number] : {std::pair{pane1, 1}, std::pair{pane2, 2}}) {
        if (!table || !table->active()) {
            dialogs().showMessage(QStringLiteral("Pane %1 has no open table. Open a table in both panes to compare them.").arg(number));
            return nullptr;
        }
    }
    auto *window = new CompareWindow(*pane1, *pane2, kind, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->run()) {
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

} // namespace pelldrake
