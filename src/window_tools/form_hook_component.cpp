#include "window_tools/form_hook_component.h"

#include <QEvent>

namespace pelldrake {

TacComponent::TacComponent(QObject *owner)
    : QObject(owner)
{
    parent_ = qobject_cast<QWidget *>(owner);
}

void TacComponent::SetParent(QWidget *parent)
{
    parent_ = parent;
}

QWidget *TacComponent::GetParentForm() const
{
    return parent_ && parent_->isWindow() ? parent_.data() : nullptr;
}

void TacComponent::SetParentForm(QWidget *form)
{
    SetParent(form);
}

namespace {

QObject *checkedOwner(QObject *owner)
{
    if (!qobject_cast<QWidget *>(owner))
        throw InvalidOperation("Owner must be TWinControl or its descendant!");
    return owner;
}

} // namespace

TacFormHookComponent::TacFormHookComponent(QObject *owner)
    : TacComponent(checkedOwner(owner))
{
    if (parent_) {
        parent_->installEventFilter(this);
        topmost_ = GetTopmost();
    }
}

TacFormHookComponent::~TacFormHookComponent()
{
    if (parent_)
        parent_->removeEventFilter(this);
}

void TacFormHookComponent::SetParent(QWidget *parent)
{
    if (parent_ == parent)
        return;
    if (parent_)
        parent_->removeEventFilter(this);
    TacComponent::SetParent(parent);
    if (parent_) {
        parent_->installEventFilter(this);
        topmost_ = GetTopmost();
    }
}

bool TacFormHookComponent::GetTopmost() const
{
    return parent_ && parent_->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void TacFormHookComponent::SetTopmost(bool topmost)
{
    topmost_ = topmost;
    QWidget *window = parent_;
    if (!window || GetTopmost() == topmost)
        return;
    // Changing a window's flags hides it; it comes back where it was,
    // without taking the activation.
    const bool visible = window->isVisible();
    const QRect geometry = window->geometry();
    const bool noActivation = window->testAttribute(Qt::WA_ShowWithoutActivating);
    window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    if (visible) {
        window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window->setGeometry(geometry);
        window->show();
        window->setAttribute(Qt::WA_ShowWithoutActivating, noActivation);
    }
}

void TacFormHookComponent::MessageBefore(QEvent *, bool &) {}

void TacFormHookComponent::MessageAfter(QEvent *) {}

void TacFormHookComponent::FormRecreate()
{
    SetTopmost(topmost_);
}

bool TacFormHookComponent::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != parent_)
        return QObject::eventFilter(watched, event);
    bool handled = false;
    MessageBefore(event, handled);
    if (handled)
        return true;
    if (event->type() == QEvent::WinIdChange && parent_->testAttribute(Qt::WA_WState_Created))
        FormRecreate();
    if (!wantsMessageAfter())
        return false;
    // The window handles the event now, so that MessageAfter sees its result.
    watched->event(event);
    MessageAfter(event);
    return true;
}

} // namespace pelldrake
