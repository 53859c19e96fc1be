#pragma once

// The record being edited or inserted: its values as the user set them, which of them were set,
// the record as it was read when the edit began, and where a new record goes.

#include "engine/table.h"

#include <QVariantList>
#include <QVector>

namespace pelldrake::engine {

class EditBuffer {
public:
    TableState state = TableState::Inactive;
    QVariantList values;
    QVariantList original; // the edited record as read when the edit began
    QVector<bool> changed;
    bool modified = false;
    bool appending = true; // the new record goes at the end, else before insertPos
    int insertPos = 0;
    int savedPos = -1; // the current row before the insert began

    bool editing() const { return state == TableState::Edit || state == TableState::Insert; }
    void startEdit(const QVariantList &row);
    void startInsert(int fieldCount);
    void set(int fieldIndex, const QVariant &value);
    void drop(); // the values go; the state is the caller's
};

} // namespace pelldrake::engine
