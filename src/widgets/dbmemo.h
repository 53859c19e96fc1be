#pragma once

#include <QPlainTextEdit>
#include <QPointer>

#include "engine/data_source.h"
#include "engine/table.h"

namespace pelldrake::engine {
class Field;
class Table;
} // namespace pelldrake::engine

namespace pelldrake {

// A memo bound to one field of a data source's table: shows the current
// record's value and writes what the user types into the record's edit buffer
// (the table enters edit mode at the first change; posting is the table's).
class DBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DBMemo(QWidget *parent = nullptr);

    void setDataSource(engine::DataSource *source);
    engine::DataSource *dataSource() const { return source_; }
    // The bound field's name; empty unbinds the memo.
    void setDataField(const QString &fieldName);
    QString dataField() const { return fieldName_; }

public slots:
    // Shows the current record's value of the bound field.
    void loadValue();

private slots:
    void userChanged();

private:
    void attach();
    engine::Field *boundField() const;

    QPointer<engine::DataSource> source_;
    QPointer<engine::Table> table_;
    QList<QMetaObject::Connection> connections_;
    QString fieldName_;
    bool loading_ = false;
    bool writing_ = false;
};

} // namespace pelldrake
