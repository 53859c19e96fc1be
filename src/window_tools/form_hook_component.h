#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <stdexcept>

class QEvent;

namespace pelldrake {

// Raised when a component is created with an owner it cannot work with.
class InvalidOperation : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// A non-visual component with a parent window, set to its owner (when the
// owner is a widget) on creation.
class TacComponent : public QObject {
    Q_OBJECT
public:
    explicit TacComponent(QObject *owner);

    QWidget *parentWindow() const { return parent_; }
    virtual void SetParent(QWidget *parent);
    // The parent when it is a form (a top-level window), else nullptr.
    virtual QWidget *GetParentForm() const;
    virtual void SetParentForm(QWidget *form);

protected:
    QPointer<QWidget> parent_;
};

// Sees every event of its parent window before the window does: an event
// filter on the window. Several hook components on one window form a chain
// (the one created last sees an event first). A new parent is hooked in place
// of the old one.
class TacFormHookComponent : public TacComponent {
    Q_OBJECT
public:
    // Throws InvalidOperation when the owner is not a widget.
    explicit TacFormHookComponent(QObject *owner);
    ~TacFormHookComponent() override;

    void SetParent(QWidget *parent) override;

    // Whether the window stays on top of other windows.
    bool GetTopmost() const;
    // Puts the window in or out of the topmost order without moving, sizing
    // or activating it; nothing when the state does not change.
    void SetTopmost(bool topmost);

    // The window's system menu; Qt offers none, so nullptr.
    virtual void *GetSystemMenuHandle() const { return nullptr; }

protected:
    // Before the window handles the event; setting `handled` stops it there.
    virtual void MessageBefore(QEvent *event, bool &handled);
    // After the window has handled the event. Only components that say they
    // want it (wantsMessageAfter) get it: the hook then hands the event to
    // the window itself.
    virtual void MessageAfter(QEvent *event);
    virtual bool wantsMessageAfter() const { return false; }
    // The window's native window was made again: the stored topmost state
    // applies to the new one.
    virtual void FormRecreate();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool topmost_ = false;
};

} // namespace pelldrake
