#include "compare/comparison.h"

#include "compare/row_reader.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/engine_error.h"
#include "engine/table.h"

#include <algorithm>
#include <numeric>

namespace pelldrake::compare {

using engine::EngineError;

namespace {

constexpr qint64 kProgressEvery = 8192;

using Row = std::vector<Value>;

// The merge's view of one side: the reader, the rows read, and the check that they come in
// the order the other side is merged in (a mixed column a server sorts otherwise would pair
// rows wrongly without it).
struct Side {
    std::unique_ptr<RowReader> reader;
    QString name;
    bool has = false;
    qint64 rows = 0;
    void advance()
    {
        has = reader->next();
        rows += has;
    }
    const Row &row() const { return reader->row(); }
};

[[noreturn]] void outOfOrder(const Side &side)
{
    throw EngineError(QStringLiteral("The rows of %1 do not come in one order by their values (a column holds mixed kinds "
                                     "of values, or dates in more than one form); pick other key columns.")
                          .arg(side.name));
}

} // namespace

TableRef tableRef(engine::Table &table, const QString &label)
{
    if (!table.active() || !table.database())
        throw EngineError(QStringLiteral("Table is not open."));
    TableRef ref;
    ref.db = table.database()->sqlDatabase();
    ref.dialect = table.database()->isPostgres() ? engine::Dialect::Postgres : engine::Dialect::Sqlite;
    ref.table = table.tableName();
    ref.label = label;
    return ref;
}

Comparison::Comparison(const TableRef &left, const TableRef &right, const Options &options)
    : left_(left), right_(right), diffs_(std::make_unique<DiffStore>())
{
    leftShape_ = readShape(left.db, left.dialect, left.table);
    rightShape_ = readShape(right.db, right.dialect, right.table);
    pairColumns();
    if (options.structure) {
        structure_ = compareStructure(leftShape_, rightShape_, options.scope);
        counts_.structure = structure_.size();
    }
    if (!options.data)
        return;
    chooseKey(options.key);
    compareData(options.progress);
    dataCompared_ = true;
}

QStringList Comparison::keyNames() const
{
    QStringList names;
    for (int k : key_)
        names << columns_[k].name;
    return names;
}

void Comparison::pairColumns()
{
    for (qsizetype l = 0; l < leftShape_.columns.size(); ++l) {
        const Column &lc = leftShape_.columns[l];
        const int r = rightShape_.column(lc.name);
        if (r >= 0)
            columns_ << PairedColumn{lc.name, int(l), r, modeFor(lc.family, rightShape_.columns[r].family)};
    }
    if (columns_.isEmpty())
        throw EngineError(QStringLiteral("The tables %1 and %2 have no column in common.").arg(leftShape_.name, rightShape_.name));
}

void Comparison::chooseKey(const QStringList &given)
{
    auto placeOf = [&](const QString &name) {
        for (qsizetype i = 0; i < columns_.size(); ++i)
            if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    };
    if (!given.isEmpty()) {
        for (const QString &name : given) {
            if (leftShape_.column(name) < 0 || rightShape_.column(name) < 0) {
                const bool leftLacks = leftShape_.column(name) < 0;
                throw EngineError(QStringLiteral("The key column \"%1\" is not in the %2 table %3.")
                                      .arg(name, leftLacks ? QStringLiteral("left") : QStringLiteral("right"),
                                           leftLacks ? leftShape_.name : rightShape_.name));
            }
            if (!key_.contains(placeOf(name)))
                key_ << placeOf(name);
        }
        return;
    }
    QList<QStringList> candidates{leftShape_.primaryKey, rightShape_.primaryKey};
    candidates << leftShape_.uniqueIndexes << rightShape_.uniqueIndexes;
    for (const QStringList &candidate : candidates) {
        if (candidate.isEmpty())
            continue;
        QList<int> places;
        for (const QString &name : candidate)
            if (const int p = placeOf(name); p >= 0)
                places << p;
        if (places.size() == candidate.size()) {
            key_ = places;
            return;
        }
    }
    // No key both sides have: the tables compare as multisets of whole rows.
}

void Comparison::compareData(const Progress &progress)
{
    QList<int> leftColumns, rightColumns, order;
    std::vector<Mode> modes;
    for (qsizetype i = 0; i < columns_.size(); ++i) {
        leftColumns << columns_[i].left;
        rightColumns << columns_[i].right;
        modes.push_back(columns_[i].mode);
    }
    order = key_;
    if (order.isEmpty())
        for (qsizetype i = 0; i < columns_.size(); ++i)
            order << int(i);
    const qint64 total = progress ? countRows(left_.db, leftShape_) + countRows(right_.db, rightShape_) : 0;

    Side l{RowReader::open(left_.db, leftShape_, leftColumns, order), QStringLiteral("the left table ") + leftShape_.name};
    Side r{RowReader::open(right_.db, rightShape_, rightColumns, order), QStringLiteral("the right table ") + rightShape_.name};
    const std::vector<int> key(key_.begin(), key_.end());
    std::vector<int> all(size_t(columns_.size()));
    std::iota(all.begin(), all.end(), 0);

    auto compareBy = [&](const Row &a, const Row &b, const std::vector<int> &places) {
        for (int p : places)
            if (const int c = orderValues(a[size_t(p)], b[size_t(p)], modes[size_t(p)]))
                return c;
        return 0;
    };
    qint64 nextReport = kProgressEvery;
    auto report = [&] {
        if (!progress || l.rows + r.rows < nextReport)
            return;
        nextReport = l.rows + r.rows + kProgressEvery;
        if (!progress(l.rows + r.rows, std::max(total, l.rows + r.rows)))
            throw Cancelled{};
    };
    auto store = [&](DiffRow::Kind kind, const Row &row, std::int64_t copies, bool nullKey) {
        DiffRow d;
        d.kind = kind;
        d.copies = copies;
        d.nullKey = nullKey;
        (kind == DiffRow::Kind::OnlyLeft ? d.left : d.right) = row;
        diffs_->append(d);
        (kind == DiffRow::Kind::OnlyLeft ? counts_.onlyLeft : counts_.onlyRight) += copies;
    };
    // Rows equal to `first` on one side, counted and passed; the next must sort after them.
    auto run = [&](Side &side, const Row &first, const std::vector<int> &places) {
        std::int64_t n = 0;
        while (side.has && compareBy(side.row(), first, places) == 0) {
            ++n;
            side.advance();
            report();
        }
        if (side.has && compareBy(side.row(), first, places) < 0)
            outOfOrder(side);
        return n;
    };
    // Pairs whole rows as multisets (a keyless table, a key's NULL bucket): `a` and `b` sorted.
    auto mergeMultisets = [&](Side &a, Side &b, bool nullKey) {
        while (a.has || b.has) {
            const int c = !a.has ? 1 : (!b.has ? -1 : compareBy(a.row(), b.row(), all));
            const Row first = c <= 0 ? a.row() : b.row();
            const std::int64_t na = c <= 0 ? run(a, first, all) : 0;
            const std::int64_t nb = c >= 0 ? run(b, first, all) : 0;
            counts_.unchanged += std::min(na, nb);
            if (na > nb)
                store(DiffRow::Kind::OnlyLeft, first, na - nb, nullKey);
            else if (nb > na)
                store(DiffRow::Kind::OnlyRight, first, nb - na, nullKey);
        }
    };

    l.advance();
    r.advance();
    if (key.empty()) {
        mergeMultisets(l, r, false);
        return;
    }

    auto keyHasNull = [&](const Row &row) {
        return std::any_of(key.begin(), key.end(), [&](int p) { return row[size_t(p)].isNull(); });
    };
    std::vector<Row> nullLeft, nullRight;
    Row lastLeft, lastRight; // the previous row's key values, for the order check
    // Takes the side's rows with a NULL in the key aside; checks the next keyed row's order.
    auto settle = [&](Side &side, std::vector<Row> &nulls, Row &last) {
        while (side.has && keyHasNull(side.row())) {
            nulls.push_back(side.row());
            side.advance();
            report();
        }
        if (!side.has)
            return;
        const Row &row = side.row();
        if (!last.empty()) {
            int c = 0;
            for (size_t k = 0; k < key.size() && c == 0; ++k)
                c = orderValues(row[size_t(key[k])], last[k], modes[size_t(key[k])]);
            if (c < 0)
                outOfOrder(side);
            if (c == 0)
                throw EngineError(QStringLiteral("The key (%1) is not unique in %2; pick other key columns.")
                                      .arg(keyNames().join(QStringLiteral(", ")), side.name));
        }
        last.resize(key.size()); // the key's values only: the check needs no more
        for (size_t k = 0; k < key.size(); ++k)
            last[k] = row[size_t(key[k])];
    };
    settle(l, nullLeft, lastLeft);
    settle(r, nullRight, lastRight);
    while (l.has || r.has) {
        const int c = !l.has ? 1 : (!r.has ? -1 : compareBy(l.row(), r.row(), key));
        if (c < 0) {
            store(DiffRow::Kind::OnlyLeft, l.row(), 1, false);
        } else if (c > 0) {
            store(DiffRow::Kind::OnlyRight, r.row(), 1, false);
        } else {
            DiffRow d;
            d.changed.assign(size_t(columns_.size()), false);
            bool any = false;
            for (size_t p = 0; p < d.changed.size(); ++p) {
                if (!sameValue(l.row()[p], r.row()[p], modes[p])) {
                    d.changed[p] = true;
                    any = true;
                }
            }
            if (any) {
                d.left = l.row();
                d.right = r.row();
                diffs_->append(d);
                ++counts_.changed;
            } else {
                ++counts_.unchanged;
            }
        }
        if (c <= 0) {
            l.advance();
            settle(l, nullLeft, lastLeft);
        }
        if (c >= 0) {
            r.advance();
            settle(r, nullRight, lastRight);
        }
        report();
    }
    counts_.nullKey = qint64(nullLeft.size() + nullRight.size());
    if (nullLeft.empty() && nullRight.empty())
        return;
    // The NULL bucket: few rows, held and paired as whole rows.
    auto byRow = [&](const Row &a, const Row &b) { return compareBy(a, b, all) < 0; };
    std::sort(nullLeft.begin(), nullLeft.end(), byRow);
    std::sort(nullRight.begin(), nullRight.end(), byRow);
    struct Held final : RowReader {
        std::vector<Row> rows;
        size_t at = 0;
        bool next() override
        {
            if (at >= rows.size())
                return false;
            row_ = std::move(rows[at++]);
            return true;
        }
    };
    auto held = [](std::vector<Row> &rows) {
        auto h = std::make_unique<Held>();
        h->rows = std::move(rows);
        return h;
    };
    Side nl{held(nullLeft), l.name};
    Side nr{held(nullRight), r.name};
    nl.advance();
    nr.advance();
    mergeMultisets(nl, nr, true);
}

} // namespace pelldrake::compare
