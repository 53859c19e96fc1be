#include "engine/save_file.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace pelldrake::engine {

SaveFile::SaveFile(const QString &path)
    : file_(path)
{
}

SaveFile::~SaveFile() { cancel(); }

bool SaveFile::open()
{
    // Unbuffered: every write reaches the system at once, so its failure is
    // seen here and not in a flush hidden inside QSaveFile::commit().
    errno = 0;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(file_.errorString(), errno);
        return false;
    }
    return true;
}

bool SaveFile::write(const char *bytes, qint64 n)
{
    if (failed_ || !file_.isOpen())
        return false;
    while (n > 0) {
        errno = 0;
        const qint64 written = file_.write(bytes, n);
        if (written <= 0) {
            fail(file_.errorString(), errno);
            return false;
        }
        // A short write (the disk filled up part-way) sets no error; the next
        // write of the rest fails with the system's reason.
        bytes += written;
        n -= written;
    }
    return true;
}

bool SaveFile::commit()
{
    if (!file_.isOpen()) {
        if (!failed_)
            fail(QStringLiteral("The file is not open"), 0);
        return false;
    }
    errno = 0;
    if (!failed_ && (!file_.flush() || file_.error() != QFileDevice::NoError))
        fail(file_.errorString(), errno);
#ifdef Q_OS_UNIX
    // Some file systems report a full disk only when the data is synced;
    // QSaveFile syncs too but ignores the result.
    if (!failed_ && ::fsync(file_.handle()) != 0 && errno != EINVAL)
        fail(QString(), errno);
#endif
    if (failed_) {
        cancel();
        return false;
    }
    if (!file_.commit()) {
        fail(file_.errorString(), errno);
        return false;
    }
    // Checked after the rename too: commit() does not look at a failed close.
    if (file_.error() != QFileDevice::NoError) {
        fail(file_.errorString(), 0);
        return false;
    }
    return true;
}

void SaveFile::cancel()
{
    if (!file_.isOpen())
        return;
    file_.cancelWriting();
    file_.commit(); // removes the temporary file; the earlier file stays
}

void SaveFile::fail(const QString &reason, int systemError)
{
    if (failed_)
        return; // the first failure is the cause
    failed_ = true;
    error_ = reason;
    // Qt leaves the reason empty or "Unknown error" when its engine kept none;
    // the system's own reason is then taken from errno.
    if (error_.isEmpty() || error_ == QLatin1String("Unknown error"))
        error_ = systemError != 0 ? qt_error_string(systemError) : QStringLiteral("Write failed");
}

bool saveWholeFile(const QString &path, QByteArrayView content, QString *error)
{
    SaveFile file(path);
    if (file.open() && file.write(content) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace pelldrake::engine
