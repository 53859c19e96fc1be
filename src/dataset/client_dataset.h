// In-memory table with field definitions, a cursor and a self-describing file.
//
// Records are kept in append order. Values are stored as text; a memo holds any
// bytes (line feeds, non-ASCII, invalid UTF-8 alike) and survives a save/load
// round trip unchanged. Reading a value returns a reference into the record, and
// appendText() extends a value in place, so growing a memo line by line is linear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelldrake {

class DataSetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class FieldType { String, Memo };

struct FieldDef {
    std::string name;
    FieldType type = FieldType::String;
    int size = 0; // maximum length in bytes of a String field; unused for a Memo
};

class ClientDataSet;

// A light handle to one field of the current record.
class Field {
public:
    const std::string &name() const;
    const FieldDef &def() const;
    // The value of the current record (empty on an empty dataset or at eof).
    const std::string &asString() const;
    // Assigning needs the dataset in edit or insert state. A String field keeps
    // at most its size in bytes, cut at a character boundary.
    void setAsString(std::string_view value);
    void appendText(std::string_view text);

private:
    friend class ClientDataSet;
    Field(ClientDataSet *owner, std::size_t index) : owner_(owner), index_(index) {}
    ClientDataSet *owner_;
    std::size_t index_;
};

class ClientDataSet {
public:
    enum class State { Inactive, Browse, Edit, Insert };

    ClientDataSet() = default;
    virtual ~ClientDataSet() = default;
    ClientDataSet(const ClientDataSet &) = delete;
    ClientDataSet &operator=(const ClientDataSet &) = delete;

    // Field definitions (take effect at createDataSet, or come from a loaded file).
    FieldDef &addFieldDef(const std::string &name, FieldType type, int size = 0);
    const std::vector<FieldDef> &fieldDefs() const { return fieldDefs_; }
    void clearFieldDefs();

    // An empty, open dataset with the current field definitions.
    void createDataSet();
    // Opens from fileName() when set and present, else the data created before.
    // Throws DataSetError when there is nothing to open.
    void open();
    // Saves to fileName() when one is set, then closes (the data stays available
    // to a later open()).
    void close();
    bool active() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    const std::string &fileName() const { return fileName_; }
    void setFileName(const std::string &fileName) { fileName_ = fileName; }
    void saveToFile(const std::string &path = {});
    void loadFromFile(const std::string &path = {});

    // Cursor.
    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    std::size_t recordCount() const { return records_.size(); }
    // 0-based index of the current record; recordCount() when past the end.
    std::size_t recordIndex() const { return current_; }
    // Makes record index (0-based) current; past the end gives eof.
    void moveTo(std::size_t index);
    // Grows with every change to the records (append, post, delete, load), so
    // callers can tell whether something they derived from them is still valid.
    std::uint64_t changeCount() const { return changes_; }

    // Editing.
    void edit();
    void append();
    void post();
    void cancel();
    void deleteRecord();
    // Deletes every record at once (what deleting from the first record until
    // the dataset is empty does, without the per-record cost).
    void emptyDataSet();

    Field fieldByName(std::string_view name);
    Field field(std::size_t index);
    int fieldIndex(std::string_view name) const; // -1 when absent
    std::size_t fieldCount() const { return fieldDefs_.size(); }
    // Direct read access by position, for loops that want no lookup.
    const std::string &value(std::size_t record, std::size_t field) const;

private:
    friend class Field;
    using Record = std::vector<std::string>;
    struct Undo {
        std::size_t field;
        bool replaced;        // true: old holds the whole old value
        std::string old;
        std::size_t oldSize;  // for appends: the length before
    };

    void requireActive() const;
    void requireBrowse(const char *what);
    void setValue(std::size_t field, std::string_view value);
    void appendValue(std::size_t field, std::string_view text);
    void rememberUndo(std::size_t field, bool replacing);
    std::string clipToField(std::size_t field, std::string_view value) const;
    void resetCursor();

    std::vector<FieldDef> fieldDefs_;
    std::vector<Record> records_;
    bool created_ = false;
    State state_ = State::Inactive;
    std::string fileName_;
    std::size_t current_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    std::vector<Undo> undo_;
    std::uint64_t changes_ = 0;
    static const std::string empty_;
};

} // namespace pelldrake
