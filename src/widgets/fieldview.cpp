#include "widgets/fieldview.h"

#include "engine/display_text.h"
#include "engine/field.h"
#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "edi/palette.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>

namespace pelldrake {

TlynEDIDBFieldView::TlynEDIDBFieldView(QWidget *parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Field Name"), QStringLiteral("Value")});
    header()->installEventFilter(this);
}

// The header is a widget of its own; its double-clicks count too.
bool TlynEDIDBFieldView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == header() && event->type() == QEvent::MouseButtonDblClick)
        emit dblClick();
    return QTreeWidget::eventFilter(watched, event);
}

void TlynEDIDBFieldView::load(engine::Table *table, int left, int top, int height)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    setPalette(palette);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);

    clear();
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Field Name"), QStringLiteral("Value")});
    setColumnWidth(0, 150);
    setColumnWidth(1, 150);

    if (table) {
        const bool hasRecord = table->active() && table->rowCount() > 0;
        for (int i = 0; i < table->fieldCount(); ++i) {
            engine::Field *field = table->field(i);
            auto *item = new QTreeWidgetItem(this);
            item->setText(0, field->fieldName());
            // Laying out a value of megabytes would stall the view; it paints what fits.
            const QString text = hasRecord ? field->text() : QString();
            const int type = field->dataType();
            item->setText(1, engine::cellText(text, type == engine::ftMemo || type == engine::ftFmtMemo));
            item->setData(1, kWholeValueRole, text);
        }
    }
    setGeometry(left, top, 310, height);
}

void TlynEDIDBFieldView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    emit dblClick();
}

// The value column paints a cut text; a copy of a value takes all of it.
void TlynEDIDBFieldView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex index = currentIndex();
    if (event->matches(QKeySequence::Copy) && index.isValid() && index.column() == 1) {
        QGuiApplication::clipboard()->setText(index.data(kWholeValueRole).toString());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TlynEDIDBFieldView::LoadGridFromTable(engine::Table *table, int left, int top, int height)
{
    load(table, left, top, height);
}

void TlynEDIDBFieldView::LoadGrid(DBGrid *grid)
{
    engine::Table *table = grid ? grid->table() : nullptr;
    if (!table || !table->active() || table->recordCount() <= 0)
        return;
    QPoint topLeft = grid->pos();
    if (parentWidget() && grid->parentWidget() != parentWidget())
        topLeft = parentWidget()->mapFromGlobal(grid->mapToGlobal(QPoint(0, 0)));
    load(table, topLeft.x(), topLeft.y(), grid->height());
}

namespace lynEDIDBFieldView {
void Register() { edi::registerComponent(edi::kPalettePage, "TlynEDIDBFieldView"); }
} // namespace lynEDIDBFieldView

} // namespace pelldrake
