#include "maintenance/form_placement_saver.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

namespace pelldrake {

char windowStateByte(Qt::WindowStates state)
{
    if (state & Qt::WindowMinimized)
        return 1;
    if (state & Qt::WindowMaximized)
        return 2;
    return 0;
}

Qt::WindowStates windowStateFromByte(char state)
{
    switch (state) {
    case 1: return Qt::WindowMinimized;
    case 2: return Qt::WindowMaximized;
    default: return Qt::WindowNoState;
    }
}

TacFormPlacementSaver::TacFormPlacementSaver(QObject *owner)
    : TacFormHookComponent(owner)
{
    // The end of a move or resize: no further move or resize for a moment.
    moveResizeEnd_.setSingleShot(true);
    moveResizeEnd_.setInterval(400);
    connect(&moveResizeEnd_, &QTimer::timeout, this, [this] {
        if (Enabled && (Options & saveOnMoveResize))
            Save();
    });
    // The session ending (log-off, shut-down) counts as closing.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] {
        if (Enabled && (Options & saveOnClose))
            Save();
    });
}

void TacFormPlacementSaver::SetRegKey(const QString &key)
{
    QString k = key;
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    if (k.endsWith(QLatin1Char('\\')))
        k.chop(1);
    regKey_ = k;
}

QString TacFormPlacementSaver::storeFileName() const
{
    if (!storeFileName_.isEmpty())
        return storeFileName_;
    if (RegLocation == rlLocalMachine) {
        const QStringList system = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
        const QString dir = system.size() > 1 ? system.last() : QStringLiteral("/etc/xdg");
        return QDir(dir).filePath(QCoreApplication::applicationName() + QStringLiteral("/placement.ini"));
    }
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(QStringLiteral("placement.ini"));
}

std::unique_ptr<QSettings> TacFormPlacementSaver::openStore() const
{
#ifdef Q_OS_WIN
    if (storeFileName_.isEmpty()) {
        const QString root = RegLocation == rlLocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE\\")
                                                           : QStringLiteral("HKEY_CURRENT_USER\\");
        return std::make_unique<QSettings>(root + regKey_, QSettings::NativeFormat);
    }
#endif
    // INI files are replaced whole through a temporary file: never truncated.
    auto store = std::make_unique<QSettings>(storeFileName(), QSettings::IniFormat);
    store->setAtomicSyncRequired(true);
    QString group = regKey_;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!group.isEmpty())
        store->beginGroup(group);
    return store;
}

void TacFormPlacementSaver::Loaded()
{
    if (Enabled)
        Load();
}

void TacFormPlacementSaver::Save()
{
    QWidget *form = GetParentForm();
    if (!form || loading_)
        return;
    try {
        std::unique_ptr<QSettings> store = openStore();
        if (!store->isWritable())
            return;
        store->setValue(QStringLiteral("Left"), form->x());
        store->setValue(QStringLiteral("Top"), form->y());
        store->setValue(QStringLiteral("Width"), form->width());
        store->setValue(QStringLiteral("Height"), form->height());
        store->setValue(QStringLiteral("WindowState"), QByteArray(1, windowStateByte(form->windowState())));
        store->setValue(QStringLiteral("Topmost"), GetTopmost() ? 1 : 0);
        if (OnSaveSettings) {
            try {
                OnSaveSettings(this, *store);
            } catch (...) {
            }
        }
        store->sync();
    } catch (...) {
        // A placement that cannot be saved keeps the values saved before.
    }
}

namespace {

// A value that is missing or not a whole number ends the restore.
struct MissingValue {};

int integer(QSettings &store, const QString &name)
{
    bool ok = false;
    const int value = store.value(name).toInt(&ok);
    if (!ok)
        throw MissingValue{};
    return value;
}

} // namespace

bool TacFormPlacementSaver::restore(QSettings &store, QWidget *form)
{
    try {
        const QByteArray state = store.value(QStringLiteral("WindowState")).toByteArray();
        if (state.isEmpty())
            throw MissingValue{};
        const Qt::WindowStates windowState = windowStateFromByte(state.at(0));
        form->setWindowState(windowState);
        const bool maximized = windowState & Qt::WindowMaximized;
        if (!maximized) {
            const int left = integer(store, QStringLiteral("Left"));
            const int top = std::max(0, integer(store, QStringLiteral("Top")));
            QSize size = form->size();
            if (RestoreFormSize)
                size = QSize(integer(store, QStringLiteral("Width")), integer(store, QStringLiteral("Height")));
            form->move(left, top);
            form->resize(size);
        } else if (FlickerFreeMaximize && form->isVisible()) {
            form->hide();
            form->showMaximized();
        }
        SetTopmost(integer(store, QStringLiteral("Topmost")) != 0);
    } catch (const MissingValue &) {
        return false;
    }
    // The restored place is kept: the window centres itself only while it
    // is built, before this runs.
    if (OnLoadSettings) {
        try {
            OnLoadSettings(this, store);
        } catch (...) {
        }
    }
    return true;
}

bool TacFormPlacementSaver::Load()
{
    QWidget *form = GetParentForm();
    if (!form)
        return false;
    loading_ = true;
    bool restored = false;
    try {
        std::unique_ptr<QSettings> store = openStore();
        // A key that does not exist is not created by looking at it.
        if (store->status() == QSettings::NoError && !store->childKeys().isEmpty())
            restored = restore(*store, form);
    } catch (...) {
        restored = false;
    }
    loading_ = false;
    if (!restored) {
        if (MaximizeIfNoInfoFound)
            form->setWindowState(form->windowState() | Qt::WindowMaximized);
        if (OnRegKeyNotFound)
            OnRegKeyNotFound(this);
    }
    return restored;
}

void TacFormPlacementSaver::MessageBefore(QEvent *event, bool &)
{
    if (!Enabled)
        return;
    switch (event->type()) {
    case QEvent::Close:
        if (Options & saveOnClose)
            Save();
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // Only the user's moves and sizes: the program's own are not an end.
        if ((Options & saveOnMoveResize) && event->spontaneous())
            moveResizeEnd_.start();
        break;
    default:
        break;
    }
}

} // namespace pelldrake
