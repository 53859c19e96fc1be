#include "engine/table_model.h"

#include "engine/data_source.h"
#include "engine/display_text.h"
#include "engine/engine_error.h"
#include "engine/table.h"

#include <algorithm>
#include <exception>

namespace pelldrake::engine {

TableModel::TableModel(QObject *parent) : QAbstractTableModel(parent) {}

void TableModel::setDataSource(DataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source)
        connect(m_source, &DataSource::dataSetChanged, this, &TableModel::attach);
    attach();
}

Table *TableModel::table() const
{
    return m_table;
}

void TableModel::attach()
{
    for (const auto &c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_table = m_source ? m_source->dataSet() : nullptr;
    if (m_table) {
        m_connections << connect(m_table, &Table::dataChanged, this, [this] { sync(); });
        m_connections << connect(m_table, &Table::stateChanged, this, [this] {
            if (m_table && m_table->state() != TableState::Edit && m_table->state() != TableState::Insert)
                emit editingEnded();
            sync();
        });
        m_connections << connect(m_table, &Table::fieldChanged, this, [this](int field) {
            if (!m_table || m_table->controlsDisabled())
                return;
            const int row = rowOfRecord(m_table->currentRow());
            if (row >= 0)
                emit dataChanged(index(row, columnForField(field)), index(row, columnForField(field)));
        });
        m_connections << connect(m_table, &Table::afterScroll, this, [this] {
            if (m_table && !m_table->controlsDisabled()) {
                growRows(); // a move may have read further rows of a filtered view
                emit currentRowChanged(m_table->currentRow());
            }
        });
        m_connections << connect(m_table, &QObject::destroyed, this, [this] { sync(true); });
    }
    sync(true);
}

void TableModel::sync(bool force)
{
    // While a loop holds the controls, one update follows when they are enabled again.
    if (!force && m_table && m_table->controlsDisabled()) {
        m_pending = true;
        return;
    }
    m_pending = false;
    const bool active = m_table && m_table->active();
    const int cols = active ? m_table->fieldCount() : 0;
    const int total = active ? tableRows() : 0;
    if (force || active != m_active || cols != m_cols) {
        beginResetModel();
        m_active = active;
        m_cols = cols;
        m_total = total;
        m_top = 0;
        m_rows = windowRows();
        endResetModel();
        emit recordRowsChanged();
        return;
    }
    const bool totalChanged = total != m_total;
    m_total = total;
    m_top = std::max(0, std::min(m_top, m_total - 1));
    resizeWindow();
    if (m_rows > 0 && m_cols > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
    if (totalChanged)
        emit recordRowsChanged();
}

void TableModel::resizeWindow()
{
    const int rows = windowRows();
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows(QModelIndex(), rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
}

int TableModel::windowRows() const
{
    const int rows = std::max(0, m_total - m_top);
    return m_windowSize > 0 ? std::min(rows, m_windowSize) : rows;
}

int TableModel::tableRows() const
{
    // A windowed view shows its first rows before the table is counted; the count follows as
    // soon as the event loop runs again, after those rows have been painted.
    int rows = 0;
    if (m_windowSize > 0 && !m_table->rowCountKnown()) {
        rows = m_table->rowsRead();
        if (!m_countScheduled) {
            m_countScheduled = true;
            QMetaObject::invokeMethod(const_cast<TableModel *>(this), &TableModel::countRows, Qt::QueuedConnection);
        }
    } else {
        rows = m_table->rowCount();
    }
    return rows + (m_table->state() == TableState::Insert ? 1 : 0);
}

void TableModel::countRows()
{
    m_countScheduled = false;
    if (!m_table || !m_active || !m_table->active() || m_table->controlsDisabled())
        return; // the unlock brings another sync, which schedules the count again
    try {
        m_table->rowCount();
    } catch (const EngineError &) {
        return; // the next navigation reports it
    }
    growRows();
}

bool TableModel::recordRowsFinal() const
{
    return !m_table || !m_active || !m_table->active() || (m_table->rowCountKnown() && !m_table->hasMoreRows());
}

void TableModel::growRows()
{
    if (!m_table || !m_active || !m_table->active())
        return;
    const int total = tableRows();
    if (total == m_total)
        return;
    m_total = total;
    resizeWindow();
    emit recordRowsChanged();
}

void TableModel::fetchRowsUpTo(int record)
{
    if (!m_table || !m_active || !m_table->active() || m_table->controlsDisabled())
        return;
    while (record >= m_total && !recordRowsFinal()) {
        const int before = m_total;
        if (!m_table->rowCountKnown())
            m_table->rowCount();
        else
            m_table->fetchMoreRows();
        growRows();
        if (m_total == before && m_table->rowCountKnown() && !m_table->hasMoreRows())
            break;
    }
}

void TableModel::setWindow(int top, int size)
{
    m_windowSize = std::max(0, size);
    top = m_windowSize > 0 ? std::max(0, std::min(top, m_total - 1)) : 0;
    const bool moved = top != m_top;
    m_top = top;
    resizeWindow();
    if (moved && m_rows > 0 && m_cols > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
}

int TableModel::rowOfRecord(int record) const
{
    const int row = record - m_top;
    return record >= 0 && row >= 0 && row < m_rows ? row : -1;
}

bool TableModel::canFetchMore(const QModelIndex &parent) const
{
    // Only a window that reaches the last row known asks for more.
    return !parent.isValid() && m_table && m_active && m_table->active() && !m_table->controlsDisabled()
        && m_table->hasMoreRows() && m_top + m_rows >= m_total;
}

void TableModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    try {
        m_table->fetchMoreRows();
    } catch (const EngineError &) {
        return; // called while painting or scrolling; the next navigation reports the error
    }
    growRows();
}

int TableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant TableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_table || !m_table->active() || index.column() >= m_table->fieldCount())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    try {
        const int field = fieldIndexForColumn(index.column());
        const int type = m_table->field(field)->dataType();
        QString text = m_table->textAt(m_top + index.row(), field);
        if (role == Qt::EditRole)
            return text; // the cell's editor takes the whole value
        // A blob in a grid cell shows a marker; a memo its first line, which the view elides
        // to the column. The memo viewer shows and edits the whole value.
        if (type == ftBlob || type == ftGraphic)
            return text.isEmpty() ? QStringLiteral("(blob)") : QStringLiteral("(BLOB)");
        return cellText(text, type == ftMemo || type == ftFmtMemo);
    } catch (const EngineError &) {
        return {}; // painting must not throw; the next navigation reports the error
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_table || !m_table->active())
        return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_table->fieldCount())
            return {};
        return m_table->field(fieldIndexForColumn(section))->fieldName();
    }
    return m_top + section + 1;
}

Qt::ItemFlags TableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !m_table || !m_table->active() || index.column() >= m_table->fieldCount())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const int type = m_table->field(fieldIndexForColumn(index.column()))->dataType();
    if (m_table->field(fieldIndexForColumn(index.column()))->canModify() && type != ftBlob && type != ftGraphic)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    m_lastError.clear();
    if (!index.isValid() || role != Qt::EditRole || !m_table || !m_table->active())
        return false;
    const int record = m_top + index.row();
    // The engine's refusal (a value the field cannot take, a record that cannot be edited, a
    // failed post of the record left) is the answer, not an exception through the view.
    try {
        if (m_table->state() != TableState::Insert || record != m_table->currentRow()) {
            if (record >= m_table->rowCount())
                return false;
            if (m_table->recNo() != record + 1)
                m_table->setRecNo(record + 1);
        }
        m_table->edit();
        m_table->field(fieldIndexForColumn(index.column()))->setAsString(value.toString());
    } catch (const std::exception &e) {
        m_lastError = QString::fromUtf8(e.what());
        return false;
    } catch (...) {
        m_lastError = QStringLiteral("The value cannot be stored in the field.");
        return false;
    }
    const int row = rowOfRecord(record);
    if (row >= 0)
        emit dataChanged(this->index(row, index.column()), this->index(row, index.column()));
    return true;
}

} // namespace pelldrake::engine
