#pragma once

#include "compare/comparison.h"
#include "compare/sync_script.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QListWidget;
class QPushButton;
class QTableView;

namespace pelldrake {

namespace engine {
class Table;
}

// What the three Maintenance entries compare: the data (Table Data > Compare Data) or the
// columns (Table Structure > Field size only / Fieldname and Field size).
enum class CompareKind { Data, FieldSize, NamesAndSizes };

// The differing rows, read from the comparison's store a page at a time as the view scrolls.
// Column 0 says how the row differs; the others hold the paired columns' values, a changed
// cell as "left | right" and marked.
class DiffRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DiffRowsModel(const compare::Comparison &comparison, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    static constexpr int kPage = 200;

private:
    const compare::DiffRow &row(int index) const;

    const compare::Comparison &comparison_;
    qint64 shown_ = 0;
    mutable qint64 pageStart_ = -1;
    mutable std::vector<compare::DiffRow> page_;
};

// The result window of a comparison of pane 1's and pane 2's open tables: the counts, the
// structure differences, the differing rows, and the script that makes one pane's table equal
// to the other's (saved, or applied through that pane's connection after a confirmation).
class CompareWindow : public QWidget {
    Q_OBJECT
public:
    CompareWindow(engine::Table &pane1, engine::Table &pane2, CompareKind kind, QWidget *parent = nullptr);
    ~CompareWindow() override;

    // Compares with progress and Cancel (the window's events go on meanwhile). False when it
    // was cancelled or failed; the reason has been shown.
    bool run();

    const compare::Comparison *comparison() const { return comparison_.get(); }
    QString countsText() const;
    QTableView *rowsView() const { return rows_; }

public slots:
    void saveScript();
    void applyToPane1() { apply(compare::Direction::LeftLikeRight); }
    void applyToPane2() { apply(compare::Direction::RightLikeLeft); }

private:
    void apply(compare::Direction direction);
    void showResult();

    QPointer<engine::Table> pane1_;
    QPointer<engine::Table> pane2_;
    CompareKind kind_;
    std::unique_ptr<compare::Comparison> comparison_;
    std::unique_ptr<DiffRowsModel> model_;
    QLabel *sides_ = nullptr;
    QLabel *counts_ = nullptr;
    QListWidget *structure_ = nullptr;
    QTableView *rows_ = nullptr;
    QPushButton *save_ = nullptr;
    QPushButton *apply1_ = nullptr;
    QPushButton *apply2_ = nullptr;
};

// The entries' work: a clear message when a pane has no open table, else the result window
// (deleted when closed). Returns the window, or nullptr.
CompareWindow *compareOpenTables(QWidget *parent, engine::Table *pane1, engine::Table *pane2, CompareKind kind);

} // namespace pelldrake
