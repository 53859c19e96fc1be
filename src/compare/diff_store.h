#pragma once

#include "compare/value.h"

#include <QString>
#include <QTemporaryFile>

#include <cstdint>
#include <vector>

namespace pelldrake::compare {

// A column both tables have.
struct PairedColumn {
    QString name;
    int left = -1;  // place in the left table's columns
    int right = -1; // and in the right's
    Mode mode = Mode::Typed;
};

// One differing row, its values in the order of the paired columns.
struct DiffRow {
    enum class Kind : std::uint8_t { OnlyLeft, OnlyRight, Changed };
    Kind kind = Kind::Changed;
    bool nullKey = false;      // paired as a whole row: its key has a NULL
    std::int64_t copies = 1;   // a multiset's row: how many more copies the one side has
    std::vector<Value> left;   // empty for OnlyRight
    std::vector<Value> right;  // empty for OnlyLeft
    std::vector<bool> changed; // Changed: per column
};

// The differing rows of a comparison, in a temporary file as they are found, read back one at
// a time by number (the result window's pages, the sync script, the report).
class DiffStore {
public:
    DiffStore(); // throws EngineError when no temporary file can be made
    void append(const DiffRow &row);
    std::int64_t size() const { return std::int64_t(offsets_.size()); }
    // Throws EngineError when the file cannot be read back.
    DiffRow at(std::int64_t index) const;

private:
    mutable QTemporaryFile file_;
    std::vector<std::int64_t> offsets_;
    mutable std::string buffer_; // appended rows not written yet
    mutable std::int64_t written_ = 0;
    void flush() const;
};

} // namespace pelldrake::compare
