#include "window_tools/form_placement_saver.h"

#include "engine/save_file.h"

#include <QCloseEvent>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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

namespace {

// The registry key as the INI file's group path.
QString iniGroup(QString key)
{
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return key;
}

// A value as set and as read back from the file are the same when they are
// equal, or, of different types (a number set, its text read), when they
// read as the same text. Values of one type compare by their stored form, so
// types without a comparison compare too.
bool sameValue(const QVariant &meant, const QVariant &read)
{
    if (meant.metaType() != read.metaType())
        return meant.toString() == read.toString() && meant.canConvert<QString>();
    QByteArray a, b;
    QDataStream outA(&a, QIODevice::WriteOnly);
    QDataStream outB(&b, QIODevice::WriteOnly);
    outA << meant;
    outB << read;
    return a == b;
}

using Values = QMap<QString, QVariant>;

Values allValues(QSettings &settings)
{
    Values values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

bool sameValues(const Values &meant, const Values &read)
{
    if (meant.keys() != read.keys())
        return false;
    for (auto it = meant.begin(); it != meant.end(); ++it) {
        if (!sameValue(it.value(), read.value(it.key())))
            return false;
    }
    return true;
}

QByteArray readWhole(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        *error = file.errorString();
    return bytes;
}

// Why a draft came back short. The disk is asked with a file at least as long
// as the draft had to be: its failure gives the system's own reason.
QString whyShort(const QString &probePath, const Values &meant)
{
    qint64 least = 0;
    for (auto it = meant.begin(); it != meant.end(); ++it) {
        const QVariant &v = it.value();
        least += it.key().size() + 2; // "key=" and the line break
        least += v.metaType().id() == QMetaType::QByteArray ? v.toByteArray().size() : v.toString().size();
    }
    QString reason;
    if (!engine::saveWholeFile(probePath, QByteArray(least, ' '), &reason))
        return reason;
    QFile::remove(probePath);
    return QStringLiteral("The new file read back incomplete");
}

// Gives the draft the earlier store's content: a second name for the same
// file where the file system allows it (no space taken; QSettings replaces
// the draft, never writes into it), else a checked copy.
QString seedDraft(const QString &store, const QString &draft)
{
#ifdef Q_OS_UNIX
    QFile::remove(draft);
    if (::link(QFile::encodeName(store).constData(), QFile::encodeName(draft).constData()) == 0)
        return {};
#endif
    QString error;
    const QByteArray earlier = readWhole(store, &error);
    if (error.isEmpty())
        engine::saveWholeFile(draft, earlier, &error);
    return error;
}

// Replaces the INI store at path with its content plus what fill() sets in
// the group; returns the reason it could not, the earlier file then kept.
//
// QSettings writes through QSaveFile, whose commit() in Qt 6.4 reports
// success over a file cut short by a full disk. So QSettings only writes a
// draft beside the store; the draft is read back under a name QSettings has
// not cached, must hold every value meant, and only then are its bytes put in
// place by the checked writer.
QString replaceIniStore(const QString &path, const QString &group, const std::function<void(QSettings &)> &fill)
{
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    if (info.exists()) {
        // A store the user made read-only stays as it is.
        QFile writable(path);
        if (!writable.open(QIODevice::WriteOnly | QIODevice::Append))
            return writable.errorString();
    }
    QTemporaryFile reserved(path + QStringLiteral(".XXXXXX"));
    errno = 0;
    if (!reserved.open())
        return errno != 0 ? qt_error_string(errno) : reserved.errorString();
    reserved.close();
    const QString draftPath = reserved.fileName();
    // The draft starts as the earlier store, so other keys and groups and
    // their order are kept, as an in-place QSettings write keeps them.
    QString error;
    if (info.exists() && !(error = seedDraft(path, draftPath)).isEmpty())
        return error;

    // A store with lines QSettings cannot read is rewritten without them, as
    // an in-place write does; whether the draft is whole is read back below.
    Values meant;
    {
        QSettings draft(draftPath, QSettings::IniFormat);
        draft.setAtomicSyncRequired(true);
        if (!group.isEmpty())
            draft.beginGroup(group);
        fill(draft);
        if (!group.isEmpty())
            draft.endGroup();
        draft.sync();
        meant = allValues(draft);
    }
    const QString checkPath = draftPath + QStringLiteral(".check");
    if (QFile draft(draftPath); !draft.rename(checkPath))
        return draft.errorString();
    const QByteArray bytes = readWhole(checkPath, &error);
    Values read;
    {
        QSettings check(checkPath, QSettings::IniFormat);
        read = allValues(check);
    }
    // Every line QSettings writes ends in a line break; a file cut in its
    // last line does not. The disk is asked why while the short draft still
    // takes its room.
    if (error.isEmpty() && (!sameValues(meant, read) || (!bytes.isEmpty() && !bytes.endsWith('\n'))))
        error = whyShort(draftPath, meant);
    QFile::remove(checkPath);
    if (!error.isEmpty())
        return error;
    if (!engine::saveWholeFile(path, bytes, &error))
        return error;
    return {};
}

} // namespace

std::unique_ptr<QSettings> TacFormPlacementSaver::openStore() const
{
#ifdef Q_OS_WIN
    if (storeFileName_.isEmpty()) {
        const QString root = RegLocation == rlLocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE\\")
                                                           : QStringLiteral("HKEY_CURRENT_USER\\");
        return std::make_unique<QSettings>(root + regKey_, QSettings::NativeFormat);
    }
#endif
    auto store = std::make_unique<QSettings>(storeFileName(), QSettings::IniFormat);
    const QString group = iniGroup(regKey_);
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
    saveError_.clear();
    try {
#ifdef Q_OS_WIN
        if (storeFileName_.isEmpty()) {
            std::unique_ptr<QSettings> store = openStore();
            if (!store->isWritable())
                return;
            writeValues(*store, *form);
            store->sync();
            return;
        }
#endif
        saveError_ = replaceIniStore(storeFileName(), iniGroup(regKey_),
                                     [&](QSettings &store) { writeValues(store, *form); });
    } catch (const std::exception &e) {
        saveError_ = QString::fromLocal8Bit(e.what());
    } catch (...) {
        saveError_ = QStringLiteral("The placement could not be saved");
    }
    // A placement that cannot be saved keeps the values saved before.
    if (!saveError_.isEmpty())
        qWarning("Cannot save the window placement to %s: %s", qPrintable(storeFileName()), qPrintable(saveError_));
}

void TacFormPlacementSaver::writeValues(QSettings &store, QWidget &form)
{
    store.setValue(QStringLiteral("Left"), form.x());
    store.setValue(QStringLiteral("Top"), form.y());
    store.setValue(QStringLiteral("Width"), form.width());
    store.setValue(QStringLiteral("Height"), form.height());
    store.setValue(QStringLiteral("WindowState"), QByteArray(1, windowStateByte(form.windowState())));
    store.setValue(QStringLiteral("Topmost"), GetTopmost() ? 1 : 0);
    if (OnSaveSettings) {
        try {
            OnSaveSettings(this, store);
        } catch (...) {
        }
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
