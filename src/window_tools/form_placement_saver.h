#pragma once

#include "window_tools/form_hook_component.h"

#include <QFlags>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QSettings;

namespace pelldrake {

enum TacRegLocation { rlCurrentUser, rlLocalMachine };

enum TacRegSaverOption { saveOnClose = 0x1, saveOnMoveResize = 0x2 };
Q_DECLARE_FLAGS(TacRegSaverOptions, TacRegSaverOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TacRegSaverOptions)

// Called with the sender and the store, opened at the key.
using TacFormPlacementSaverEvent = std::function<void(QObject *sender, QSettings &store)>;
using TNotifyEvent = std::function<void(QObject *sender)>;

// Keeps its form's position, size, state (normal, minimised, maximised) and
// topmost state between runs. The store is the registry under RegKey on
// Windows; elsewhere an INI file (storeFileName) holding the same key path
// and value names. Store errors never reach the user: a save that fails
// keeps the earlier store whole, and its reason is logged and kept in
// saveError().
class TacFormPlacementSaver : public TacFormHookComponent {
    Q_OBJECT
public:
    static QString defaultRegKey() { return QStringLiteral("Software\\CompanyName\\ProgramName\\Default"); }

    explicit TacFormPlacementSaver(QObject *owner);

    // Published properties, at their defaults.
    bool Enabled = true;
    bool FlickerFreeMaximize = false;
    TacRegLocation RegLocation = rlCurrentUser;
    bool RestoreFormSize = true;
    TacRegSaverOptions Options = saveOnClose;
    bool MaximizeIfNoInfoFound = false;
    TNotifyEvent OnRegKeyNotFound;
    TacFormPlacementSaverEvent OnLoadSettings;
    TacFormPlacementSaverEvent OnSaveSettings;

    QString RegKey() const { return regKey_; }
    // Leading backslashes and one trailing backslash are removed.
    void SetRegKey(const QString &key);
    // Whether the key differs from the default (and so is stored with the form).
    bool IsStoreRegKey() const { return regKey_ != defaultRegKey(); }

    // The INI file used where there is no registry; empty means the default:
    // placement.ini in the per-user configuration folder (rlCurrentUser) or
    // the system's (rlLocalMachine).
    QString storeFileName() const;
    void setStoreFileName(const QString &path) { storeFileName_ = path; }

    // Called once the owning form is built: loads when Enabled.
    void Loaded();
    void Save();
    // Why the last Save() stored nothing ("No space left on device"); empty
    // when it stored the placement.
    QString saveError() const { return saveError_; }
    // True when the placement was restored.
    bool Load();

protected:
    void MessageBefore(QEvent *event, bool &handled) override;

private:
    std::unique_ptr<QSettings> openStore() const;
    bool restore(QSettings &store, QWidget *form);
    void writeValues(QSettings &store, QWidget &form);

    QString regKey_ = defaultRegKey();
    QString storeFileName_;
    QString saveError_;
    bool loading_ = false;
    QTimer moveResizeEnd_;
};

// The one-byte window state of the store: 0 normal, 1 minimised, 2 maximised.
char windowStateByte(Qt::WindowStates state);
Qt::WindowStates windowStateFromByte(char state);

} // namespace pelldrake
