#include "widgets/dbnavigator.h"

#include "shell/application.h"
#include "shell/dialogs.h"
#include "engine/data_source.h"
#include "engine/table.h"
#include "widgets/dbgrid.h"

#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QToolButton>

namespace pelldrake {

namespace {

struct ButtonInfo {
    const char *name;
    const char *hint;
};

constexpr ButtonInfo kButtons[DBNavigator::ButtonCount] = {
    {"nbFirst", "First record"},   {"nbPrior", "Prior record"}, {"nbNext", "Next record"},
    {"nbLast", "Last record"},     {"nbInsert", "Insert record"}, {"nbDelete", "Delete record"},
    {"nbEdit", "Edit record"},     {"nbPost", "Post edit"},     {"nbCancel", "Cancel edit"},
    {"nbRefresh", "Refresh data"},
};

// Small drawn glyphs, so the buttons look alike on every platform.
QIcon glyph(DBNavigator::Button which)
{
    QIcon icon;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor ink = mode == QIcon::Normal ? QColor(0, 0, 0) : QColor(160, 160, 160);
        const QColor accent = mode == QIcon::Normal ? QColor(0, 96, 0) : ink;
        const QColor stop = mode == QIcon::Normal ? QColor(176, 0, 0) : ink;
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        auto triangle = [&p](QPointF a, QPointF b, QPointF c) {
            QPainterPath path;
            path.moveTo(a);
            path.lineTo(b);
            path.lineTo(c);
            path.closeSubpath();
            p.drawPath(path);
        };
        switch (which) {
        case DBNavigator::First:
            p.drawRect(QRectF(3, 3, 2, 10));
            triangle({12, 3}, {12, 13}, {6, 8});
            break;
        case DBNavigator::Prior:
            triangle({11, 3}, {11, 13}, {5, 8});
            break;
        case DBNavigator::Next:
            triangle({5, 3}, {5, 13}, {11, 8});
            break;
        case DBNavigator::Last:
            triangle({4, 3}, {4, 13}, {10, 8});
            p.drawRect(QRectF(11, 3, 2, 10));
            break;
        case DBNavigator::Insert:
            p.drawRect(QRectF(7, 3, 2, 10));
            p.drawRect(QRectF(3, 7, 10, 2));
            break;
        case DBNavigator::Delete:
            p.drawRect(QRectF(3, 7, 10, 2));
            break;
        case DBNavigator::Edit:
            triangle({3, 11}, {13, 11}, {8, 4});
            break;
        case DBNavigator::Post: {
            QPen pen(accent, 2.2);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({{3, 8}, {6.5, 12}, {13, 4}}));
            break;
        }
        case DBNavigator::Cancel: {
            QPen pen(stop, 2.2);
            p.setPen(pen);
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        }
        case DBNavigator::Refresh: {
            QPen pen(ink, 1.8);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            triangle({8, 0.5}, {8, 5.5}, {11.5, 3});
            break;
        }
        }
        p.end();
        icon.addPixmap(pixmap, mode);
    }
    return icon;
}

} // namespace

DBNavigator::DBNavigator(QWidget *parent)
    : QWidget(parent)
{
    for (int i = 0; i < ButtonCount; ++i) {
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(kButtons[i].name));
        button->setToolTip(QString::fromLatin1(kButtons[i].hint));
        button->setIcon(glyph(static_cast<Button>(i)));
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(false);
        connect(button, &QToolButton::clicked, this, [this, i] { click(static_cast<Button>(i)); });
        buttons_[i] = button;
    }
    layoutButtons();
    updateButtons();
}

engine::Table *DBNavigator::table() const
{
    return table_;
}

void DBNavigator::setDataSource(engine::DataSource *source)
{
    if (source_)
        disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source_)
        connect(source_, &engine::DataSource::dataSetChanged, this, &DBNavigator::attach);
    attach();
}

void DBNavigator::attach()
{
    for (const auto &c : connections_)
        disconnect(c);
    connections_.clear();
    table_ = source_ ? source_->dataSet() : nullptr;
    if (table_) {
        connections_ << connect(table_, &engine::Table::afterScroll, this, &DBNavigator::updateButtons)
                     << connect(table_, &engine::Table::dataChanged, this, &DBNavigator::updateButtons)
                     << connect(table_, &engine::Table::stateChanged, this, &DBNavigator::updateButtons);
    }
    updateButtons();
}

void DBNavigator::updateButtons()
{
    engine::Table *t = table_;
    const bool active = t && t->active();
    if (active && t->controlsDisabled())
        return; // refreshed once the controls are enabled again
    const engine::TableState state = active ? t->state() : engine::TableState::Inactive;
    const bool editing = state == engine::TableState::Edit || state == engine::TableState::Insert;
    // A table just opened is counted after its first rows show, and a filtered
    // one knows its rows page by page: more may follow the last one read.
    const bool known = active && t->rowCountKnown();
    const int rows = !active ? 0 : known ? t->rowCount() : t->rowsRead();
    const bool more = active && (!known || t->hasMoreRows());
    const int recNo = active ? t->recNo() : -1;
    const bool canModify = active && t->canModify();
    // While inserting, moving anywhere is allowed (it posts the new record first).
    const bool back = active && rows > 0 && (state == engine::TableState::Insert || recNo > 1);
    const bool forward = active && rows > 0
        && (state == engine::TableState::Insert || (recNo > 0 && (recNo < rows || more)));

    buttons_[First]->setEnabled(back);
    buttons_[Prior]->setEnabled(back);
    buttons_[Next]->setEnabled(forward);
    buttons_[Last]->setEnabled(forward);
    buttons_[Insert]->setEnabled(canModify);
    buttons_[Delete]->setEnabled(canModify && rows > 0 && !(state == engine::TableState::Insert));
    buttons_[Edit]->setEnabled(canModify && rows > 0 && !editing);
    buttons_[Post]->setEnabled(canModify && editing);
    buttons_[Cancel]->setEnabled(canModify && editing);
    buttons_[Refresh]->setEnabled(active);
}

void DBNavigator::click(Button which)
{
    engine::Table *t = table_;
    if (!t || !t->active() || !buttons_[which]->isEnabled())
        return;
    // Errors are shown here rather than thrown through the button's own
    // click handling.
    try {
        // A cell still being typed into belongs to the record first; Cancel
        // drops it with the record's other changes. Text the field refuses
        // keeps the record where it is (the refusal has been shown).
        if (DBGrid::finishEditingOf(t, which != Cancel))
            run(t, which);
    } catch (...) {
        Application::showException(std::current_exception());
    }
    updateButtons();
}

void DBNavigator::run(engine::Table *t, Button which)
{
    switch (which) {
    case First: t->first(); break;
    case Prior: t->prior(); break;
    case Next: t->next(); break;
    case Last: t->last(); break;
    case Insert: t->insert(); break;
    case Delete: deleteWithConfirmation(*t); break;
    case Edit: t->edit(); break;
    case Post: t->post(); break;
    case Cancel: t->cancel(); break;
    case Refresh: t->refresh(); break;
    }
}

bool DBNavigator::deleteWithConfirmation(engine::Table &table)
{
    if (!dialogs().askYesNo(QStringLiteral("Delete record?"), QStringLiteral("Confirm")))
        return false;
    table.deleteRecord();
    return true;
}

QKeySequence DBNavigator::shortcut(Button which)
{
    // Ctrl with the grid's own moving keys (which move the record alike), and keys no menu and
    // no grid key has: a grid takes Shift with the moving keys to select.
    switch (which) {
    case First: return QKeySequence(Qt::CTRL | Qt::Key_Home);
    case Prior: return QKeySequence(Qt::CTRL | Qt::Key_Up);
    case Next: return QKeySequence(Qt::CTRL | Qt::Key_Down);
    case Last: return QKeySequence(Qt::CTRL | Qt::Key_End);
    case Post: return QKeySequence(Qt::CTRL | Qt::Key_S);
    case Cancel: return QKeySequence(Qt::CTRL | Qt::Key_Z);
    case Refresh: return QKeySequence(Qt::Key_F5);
    case Insert: case Delete: case Edit: break;
    }
    return {};
}

void DBNavigator::setShortcutScope(QWidget *scope)
{
    for (const QPointer<QShortcut> &key : std::as_const(shortcuts_))
        delete key.data();
    shortcuts_.clear();
    for (int i = 0; i < ButtonCount; ++i) {
        const auto which = static_cast<Button>(i);
        const QKeySequence keys = shortcut(which);
        QString tip = QString::fromLatin1(kButtons[i].hint);
        if (scope && !keys.isEmpty()) {
            auto *key = new QShortcut(keys, scope);
            key->setContext(Qt::WidgetWithChildrenShortcut);
            connect(key, &QShortcut::activated, this, [this, which] { click(which); });
            shortcuts_ << key;
            tip += QStringLiteral(" (%1)").arg(keys.toString(QKeySequence::NativeText));
        }
        buttons_[i]->setToolTip(tip);
    }
}

void DBNavigator::layoutButtons()
{
    // Ten equal buttons across the whole width, as the classic navigator.
    const int w = width();
    const int h = height();
    for (int i = 0; i < ButtonCount; ++i) {
        const int left = w * i / ButtonCount;
        const int right = w * (i + 1) / ButtonCount;
        buttons_[i]->setGeometry(left, 0, right - left, h);
    }
}

void DBNavigator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

} // namespace pelldrake
