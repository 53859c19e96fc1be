#pragma once

#include <QString>
#include <QVariant>

namespace pelldrake::engine {

class Table;

// Field type codes 0-37 (fieldTypeName gives their names).
enum FieldType : int {
    ftUnknown = 0, ftString = 1, ftSmallint = 2, ftInteger = 3, ftWord = 4, ftBoolean = 5,
    ftFloat = 6, ftCurrency = 7, ftBCD = 8, ftDate = 9, ftTime = 10, ftDateTime = 11,
    ftBytes = 12, ftVarBytes = 13, ftAutoInc = 14, ftBlob = 15, ftMemo = 16, ftGraphic = 17,
    ftFmtMemo = 18, ftParadoxOle = 19, ftDBaseOle = 20, ftTypedBinary = 21, ftCursor = 22,
    ftFixedChar = 23, ftWideString = 24, ftLargeint = 25, ftADT = 26, ftArray = 27,
    ftReference = 28, ftDataSet = 29, ftOraBlob = 30, ftOraClob = 31, ftVariant = 32,
    ftInterface = 33, ftIDispatch = 34, ftGuid = 35, ftTimeStamp = 36, ftFMTBcd = 37
};

enum FieldKind : int { fkData = 0, fkCalculated = 1, fkLookup = 2, fkInternalCalc = 3, fkAggregate = 4 };

QString fieldTypeName(int code); // "ftUnknown" ... "ftFMTBcd"; empty outside 0-37
QString fieldKindName(int code); // "fkData" ... "fkAggergate"; empty outside 0-4

// Type code, size and value-buffer size for a declared column type ("VARCHAR(40)", "int8", ...).
struct TypeInfo {
    int type = ftUnknown;
    int size = 0;     // characters for strings, scale for BCD, else 0
    int dataSize = 0; // bytes of the value buffer
};
TypeInfo typeFromDeclaration(const QString &declaredType);

// Field types whose text form is the stored text itself, whole numbers, binary data.
bool isTextType(int type);
bool isIntegerType(int type);
bool isBinaryType(int type);

// Text forms, independent of the locale:
//   dates yyyy-MM-dd, times HH:mm:ss[.zzz], date-times yyyy-MM-dd HH:mm:ss[.zzz],
//   numbers with '.', booleans "true"/"false", blobs as lower-case hexadecimal digits.
QString valueToText(int type, const QVariant &value);
// Parses a text form back for the given type; throws EngineError on text that is not valid.
// An empty text is null for every type except strings and memos.
QVariant textToValue(int type, const QString &text, const QString &fieldName);
// A value as a message shows it: its first 40 characters, "..." marking the cut. A message box
// lays out all of its text, and a value can be megabytes long.
QString shownValue(const QString &text);
// The texts a boolean value is written as, case-insensitive: true, t, 1, yes, y and false, f,
// 0, no, n. `ok` false for any other text.
bool parseBool(const QString &s, bool &ok);

// One column of an open table. Values are those of the current record, or of the edit buffer
// while the table is editing or inserting.
class Field {
public:
    QString fieldName() const { return m_name; }
    int fieldNo() const { return m_index + 1; }
    int index() const { return m_index; }
    int dataType() const { return m_type; }
    int fieldKind() const { return fkData; }
    int dataSize() const { return m_dataSize; }
    int size() const { return m_size; }
    bool canModify() const;
    bool hasConstraints() const { return !m_constraint.isEmpty(); }
    QString importedConstraint() const { return m_constraint; }
    bool isIndexField() const;
    bool readOnly() const { return m_readOnly; }
    bool required() const { return m_required; }
    bool calculated() const { return false; }
    QString declaredType() const { return m_declaredType; }
    bool hasDefault() const { return m_hasDefault; }

    QString asString() const;                 // locale-independent text; empty for null
    QString text() const { return asString(); } // edit text; empty for null
    void setAsString(const QString &text);    // converts by the field's type; throws on bad text
    QVariant value() const;
    void setValue(const QVariant &value);     // a string is converted like setAsString
    bool isNull() const { return value().isNull(); }
    void clear() { setValue(QVariant()); }

private:
    friend class Table;
    Field(Table *table, int index) : m_table(table), m_index(index) {}

    Table *m_table;
    int m_index;
    QString m_name;
    QString m_declaredType;
    QString m_constraint;
    int m_type = ftUnknown;
    int m_size = 0;
    int m_dataSize = 0;
    bool m_required = false;
    bool m_readOnly = false;
    bool m_hasDefault = false;
};

} // namespace pelldrake::engine
