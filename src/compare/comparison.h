#pragma once

#include "compare/diff_store.h"
#include "compare/shape.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace pelldrake::engine {
class Table;
}

namespace pelldrake::compare {

// A table to compare: a connection and a table list entry ("orders", "public.orders").
struct TableRef {
    QSqlDatabase db;
    engine::Dialect dialect = engine::Dialect::Sqlite;
    QString table;
    QString label; // how reports name the side ("sqlite:a.db orders")
};

// The open table of a pane or of the command line tool.
TableRef tableRef(engine::Table &table, const QString &label);

struct Counts {
    qint64 onlyLeft = 0;
    qint64 onlyRight = 0;
    qint64 changed = 0;
    qint64 unchanged = 0;
    qint64 nullKey = 0; // rows of either side with a NULL in the key (paired as whole rows)
    qint64 structure = 0;
    qint64 differences() const { return onlyLeft + onlyRight + changed + structure; }
};

// Told the rows read so far on both sides and the rows there are; false asks to stop.
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct Options {
    QStringList key; // the columns pairing the rows; empty: the tables' own key
    bool structure = true;
    bool data = true;
    StructureScope scope = StructureScope::Everything;
    Progress progress;
};

// The comparison of two tables. Rows are paired by key: the primary key, else the first
// unique index (of the left table, else the right), else the columns given; a table with none
// of these compares as a multiset of whole rows (a row and how many copies of it). Never by
// rowid. The differing rows go to a file as they are found, so memory stays the same whatever
// the size of the tables; only rows with a NULL in the key are held (they pair as whole rows).
class Comparison {
public:
    // Throws EngineError: a table that is not there, tables with no column in common, a key
    // column the other side lacks, a key that is not unique, a read that fails; Cancelled when
    // the progress asked to stop.
    Comparison(const TableRef &left, const TableRef &right, const Options &options);

    struct Cancelled {};

    const TableRef &left() const { return left_; }
    const TableRef &right() const { return right_; }
    const Shape &leftShape() const { return leftShape_; }
    const Shape &rightShape() const { return rightShape_; }
    const QList<StructureDifference> &structure() const { return structure_; }
    const Counts &counts() const { return counts_; }
    bool dataCompared() const { return dataCompared_; }
    bool multiset() const { return key_.isEmpty(); }
    // The columns both tables have, in the left table's order, and how each compares.
    const QList<PairedColumn> &columns() const { return columns_; }
    const QList<int> &key() const { return key_; } // places in columns()
    QStringList keyNames() const;
    const DiffStore &diffs() const { return *diffs_; }
    bool equal() const { return counts_.differences() == 0; }

private:
    void pairColumns();
    void chooseKey(const QStringList &given);
    void compareData(const Progress &progress);

    TableRef left_;
    TableRef right_;
    Shape leftShape_;
    Shape rightShape_;
    QList<StructureDifference> structure_;
    QList<PairedColumn> columns_;
    QList<int> key_;
    Counts counts_;
    bool dataCompared_ = false;
    std::unique_ptr<DiffStore> diffs_;
};

} // namespace pelldrake::compare
