// The grid's selection: a range of records and display columns kept by the
// grid itself (the view's rows are only a window on the table), and its copy
// as tab-separated text.
#include "widgets/dbgrid.h"

#include "engine/data_source.h"
#include "engine/field.h"
#include "engine/tab_text.h"
#include "engine/table.h"
#include "engine/table_model.h"
#include "shell/application.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLocale>
#include <QMainWindow>
#include <QStatusBar>

#include <algorithm>
#include <limits>

namespace pelldrake {

void DBGrid::setSelection(const QRect &, QItemSelectionModel::SelectionFlags)
{
}

void DBGrid::noteCurrentCell(int record, int displayColumn, bool restart)
{
    if (record == currentRecord_ && displayColumn == currentDisplayColumn_ && !restart) {
        syncSelection(); // the same cell on another row of the window
        return;
    }
    currentRecord_ = record;
    currentDisplayColumn_ = displayColumn;
    extentRecord_ = record;
    extentColumn_ = displayColumn;
    if (!extending_ || anchorRecord_ < 0) {
        anchorRecord_ = record;
        anchorColumn_ = displayColumn;
    }
    syncSelection();
}

DBGrid::Range DBGrid::selectedRange() const
{
    const int columns = model_->columnCount();
    if (anchorRecord_ < 0 || extentRecord_ < 0 || columns == 0)
        return {};
    Range r;
    r.firstRecord = std::min(anchorRecord_, extentRecord_);
    r.lastRecord = std::max(anchorRecord_, extentRecord_);
    r.firstColumn = std::clamp(std::min(anchorColumn_, extentColumn_), 0, columns - 1);
    r.lastColumn = std::clamp(std::max(anchorColumn_, extentColumn_), 0, columns - 1);
    return r;
}

void DBGrid::selectRange(int firstRecord, int lastRecord, int firstColumn, int lastColumn)
{
    anchorRecord_ = std::max(0, firstRecord);
    extentRecord_ = std::max(anchorRecord_, lastRecord);
    anchorColumn_ = std::max(0, firstColumn);
    extentColumn_ = std::max(anchorColumn_, lastColumn);
    syncSelection();
}

void DBGrid::selectAll()
{
    // To the last record, whether it is counted or read yet: the copy reads on to it.
    if (model_->columnCount() > 0)
        selectRange(0, std::numeric_limits<int>::max(), 0, model_->columnCount() - 1);
}

bool DBGrid::wholeRowsSelected() const
{
    const Range r = selectedRange();
    return r.firstRecord >= 0 && r.firstColumn == 0 && r.lastColumn == model_->columnCount() - 1
        && (r.firstColumn != r.lastColumn || r.firstRecord != r.lastRecord);
}

void DBGrid::syncSelection()
{
    QItemSelectionModel *selection = selectionModel();
    if (!selection)
        return;
    QItemSelection shown;
    const Range r = selectedRange();
    const int top = model_->windowTop();
    const int rows = model_->rowCount();
    if (r.firstRecord >= 0 && rows > 0) {
        const int first = std::max(r.firstRecord, top) - top;
        const int last = int(std::min<qint64>(r.lastRecord, qint64(top) + rows - 1) - top);
        for (int v = r.firstColumn; first <= last && v <= r.lastColumn; ++v) {
            const int logical = horizontalHeader()->logicalIndex(v);
            if (logical >= 0)
                shown.select(model_->index(first, logical), model_->index(last, logical));
        }
    }
    if (shown != selection->selection())
        selection->select(shown, QItemSelectionModel::ClearAndSelect);
}

QString DBGrid::selectionText(int *records, bool *complete)
{
    int done = 0;
    bool whole = true;
    QByteArray out;
    engine::Table *t = table();
    const Range r = selectedRange();
    if (t && t->active() && r.firstRecord >= 0) {
        // Display order, as the user sees the columns.
        QList<int> fields;
        QHeaderView *header = horizontalHeader();
        for (int v = r.firstColumn; v <= r.lastColumn; ++v) {
            const int logical = header->logicalIndex(v);
            if (logical >= 0 && !header->isSectionHidden(logical))
                fields << model_->fieldIndexForColumn(logical);
        }
        auto cell = [&](int record, int field) {
            const int type = t->field(field)->dataType();
            const QString text = t->textAt(record, field);
            if (type == engine::ftBlob || type == engine::ftGraphic) // the grid's marker: bytes are no text
                return text.isEmpty() ? QStringLiteral("(blob)") : QStringLiteral("(BLOB)");
            return text;
        };
        if (wholeRowsSelected()) {
            for (int i = 0; i < fields.size(); ++i) {
                if (i > 0)
                    out.append('\t');
                engine::appendTabValue(out, t->field(fields.at(i))->fieldName().toUtf8());
            }
        }
        for (qint64 record = r.firstRecord; record <= r.lastRecord; ++record) {
            if (record >= model_->recordRows())
                model_->fetchRowsUpTo(int(record)); // a filter's further pages, or the count
            if (record >= model_->recordRows())
                break;
            if (done == kMaxCopyRecords || out.size() >= kMaxCopyBytes) {
                whole = false;
                break;
            }
            if (!out.isEmpty() || done > 0)
                out.append('\n');
            for (int i = 0; i < fields.size(); ++i) {
                if (i > 0)
                    out.append('\t');
                engine::appendTabValue(out, cell(int(record), fields.at(i)).toUtf8());
            }
            ++done;
        }
    }
    if (records)
        *records = done;
    if (complete)
        *complete = whole;
    return QString::fromUtf8(out);
}

void DBGrid::copySelection()
{
    engine::Table *t = table();
    if (!t || !t->active() || selectedRange().firstRecord < 0)
        return;
    int records = 0;
    bool complete = true;
    QString text;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        text = selectionText(&records, &complete);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        Application::showException(std::current_exception());
        return;
    }
    QApplication::restoreOverrideCursor();
    QGuiApplication::clipboard()->setText(text);
    const QLocale locale;
    const QString message = complete
        ? QStringLiteral("Copied %1 %2.").arg(locale.toString(records), records == 1 ? QStringLiteral("record") : QStringLiteral("records"))
        : QStringLiteral("Copied the first %1 records of the selection: a copy holds at most %1 records or %2 MB.")
              .arg(locale.toString(records), locale.toString(kMaxCopyBytes >> 20));
    if (auto *window = qobject_cast<QMainWindow *>(this->window()))
        window->statusBar()->showMessage(message, complete ? 5000 : 15000);
}

} // namespace pelldrake
