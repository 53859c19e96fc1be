#pragma once

#include "engine/field.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace pelldrake::engine {

class Database;
class Session;

struct IndexDef {
    QString name;
    QString fields; // "A;B"
    bool unique = false;
    bool primary = false;
};

enum class TableState { Inactive, Browse, Edit, Insert };

// A cursor over one table: a keyset of the row identities (SQLite rowid, or the primary key /
// a unique index on PostgreSQL) of the current filter and order, with the row values fetched in
// pages as they are needed. Nothing loads a whole table. The keyset itself is read page by page
// (the first page of an open or a filter with its rows, in one query), so a filter shows its
// first rows at about the cost of the plain query; last() reads the rest of the keys.
//
// Navigation, filter and order changes post a modified edit buffer first (and cancel an
// unmodified one), like the data-aware controls expect.
//
// After a post the keyset is adjusted, not re-read: a record that no longer passes the filter
// leaves the view (the next one becomes current); a new record stays where it was appended or
// inserted, and a record whose index fields changed stays in place, until refresh(). A PostgreSQL
// table with neither a primary key nor a unique index over NOT NULL columns is browsed by its
// physical row address and cannot be modified (canModify() false).
//
// Long loops: wrap them in a TransactionBatch (database.h), so SQLite does not sync per record.
class Table : public QObject {
    Q_OBJECT
public:
    explicit Table(QObject *parent = nullptr); // in Session::defaultSession()
    explicit Table(Session &session, QObject *parent = nullptr);
    ~Table() override;

    void setDatabaseName(const QString &alias);
    QString databaseName() const;
    // "orders" or schema-qualified "main.orders" / "public.orders".
    void setTableName(const QString &name);
    QString tableName() const;
    // Orders the rows by all fields of the named index; empty = the table's natural order. The
    // current record stays current. Throws for an unknown index (on an open table; a closed
    // table checks at open()).
    void setIndexName(const QString &name);
    QString indexName() const;
    // Sorts the rows by one field (a click on a grid's header), done by the database in the
    // table's keyset: the field's own collation, NULLs first ascending. An empty name ends the
    // sort (back to the index's order); choosing an index ends it too, a filter keeps it. The
    // first record of the new order becomes current. Throws on an unknown field.
    void setSortField(const QString &fieldName, bool descending = false);
    QString sortField() const;
    bool sortDescending() const;

    // Finds the connected Database of that name in the session; throws when it cannot open.
    void open();
    void close();
    bool active() const;

    // The whole table; filters do not change it. Counted when first asked for (so opening a big
    // table costs no count), then kept up to date on append and delete; 0 when closed. Not const:
    // the first call runs the count.
    int recordCount();
    // The records the current filter shows, counted by the database when not all are read yet
    // (a question naming how many records a command will touch); recordCount() unfiltered.
    qint64 shownRecordCount();
    bool canModify() const;
    // Why an open table cannot be modified, in a few words for the user ("Read-only: ..."); empty
    // when it can, or when it is closed.
    QString readOnlyReason() const;
    QList<IndexDef> indexDefs() const;
    int fieldCount() const;
    Field *field(int index);                    // 0-based
    Field *fieldByName(const QString &name);    // throws when absent (case-insensitive)
    Field *findField(const QString &name);      // nullptr when absent (case-insensitive)
    QStringList keyFieldNames() const;          // the row identity's columns; empty when hidden

    // Filter expressions: FIELD = 'value', FIELD = 'prefix*', FIELD = '', comparisons
    // (= <> < <= > >=), AND, OR, NOT and parentheses. Inside a quoted value '' is one apostrophe.
    QString filter() const;
    void setFilter(const QString &filter); // throws on a text it cannot parse (when filtered)
    bool filtered() const;
    void setFiltered(bool on);

    void first();
    void prior();
    void next();
    void last();
    // last() for the end of a pass over a whole table (the dump, the load): the keys not read yet
    // are read in steps, with `between` called after each, so a window goes on handling its
    // events while a large table is read to its end.
    void lastInSteps(const std::function<void()> &between);
    void moveBy(int distance);
    bool bof() const;
    bool eof() const;
    bool isEmpty(); // may read the first page of keys
    int recNo() const; // 1-based in the current filter and order; -1 when there is no record
    void setRecNo(int recNo);
    // Rows of the current filter and order as far as they are known. Unfiltered: all rows (the
    // record count). Filtered: the rows read so far, which grows as moves and views read further
    // (next(), setRecNo(), fetchMoreRows()) and is the whole number once hasMoreRows() is false,
    // e.g. after last(). A filter's first screen so costs one page, not all its rows. Not const:
    // an unfiltered table is counted the first time (see rowCountKnown()).
    int rowCount();
    bool hasMoreRows() const; // a filtered view whose rows are not all read yet
    // Whether rowCount() answers without asking the database: true for a filtered view, a view
    // whose rows are all read, or a table counted already. Until then rowsRead() is what is known
    // (the first page after an open), so a view can show its first rows before the count.
    bool rowCountKnown() const;
    int rowsRead() const;
    void fetchMoreRows();     // reads the next page of a filtered view (emits nothing)

    void edit();
    void append();
    void insert();
    void post();
    void cancel();
    void deleteRecord();
    // Deletes every record of the current filter, in batches by key (one statement per batch),
    // calling afterBatch between them; the keyset and counts follow each batch. Throws the
    // cursor's errors (closed or read-only table); what was deleted before an error stays deleted
    // when the caller commits. Ends on no record, the filter unchanged.
    // Deletes the records the filter shows, a batch per statement; `afterBatch` runs after each
    // and ends the deleting early by returning false.
    void deleteAll(const std::function<bool()> &afterBatch = {});
    // Re-reads the keyset, the record count and the values. The current record stays current,
    // found by its key wherever others' inserts and deletes moved it; when it is gone, the record
    // now at its position (or the last one).
    void refresh();
    TableState state() const;
    bool modified() const;

    void disableControls();
    void enableControls(); // emits dataChanged() when the last lock goes
    bool controlsDisabled() const;

    // Read access for grids: the value / text of any row without moving the cursor. The row
    // being edited or inserted shows its edit buffer. Row `rowCount()` is the appended record
    // while inserting at the end.
    QVariant valueAt(int row, int fieldIndex);
    QString textAt(int row, int fieldIndex);
    // The row the grid shows for the current record (the insert row while inserting).
    int currentRow() const;

    // Used by Field. The reference stays valid until the cursor moves or the table changes. Not
    // const: reads the current row's page when it is not cached.
    const QVariant &currentValue(int fieldIndex);
    void setCurrentValue(int fieldIndex, const QVariant &value);
    bool isIndexField(int fieldIndex) const;
    Database *database() const;

signals:
    void afterScroll();
    void dataChanged();
    void fieldChanged(int fieldIndex); // a value of the edit buffer changed
    void stateChanged();

private:
    friend class TableInternals; // the engine's bulk readers and writers, table_internals.h

    struct Private;
    // Const through the pointer too, unlike a plain unique_ptr: a const function of the table
    // sees its state as const and so cannot read from the database.
    struct Owned {
        std::unique_ptr<Private> p;
        Private *operator->() { return p.get(); }
        const Private *operator->() const { return p.get(); }
    };
    Owned d;
};

} // namespace pelldrake::engine
