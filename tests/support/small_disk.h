#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

namespace pelldrake::test {

// A tiny tmpfs, to see what the program does when the disk fills up. Mounting
// needs root; a test skips with skipReason() when it is not mounted.
class SmallDisk {
public:
    explicit SmallDisk(const char *options = "size=64k")
    {
        if (!dir_.isValid()) {
            reason_ = QStringLiteral("no temporary directory");
            return;
        }
#ifdef Q_OS_LINUX
        if (::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options) != 0) {
            reason_ = QStringLiteral("cannot mount a small tmpfs (needs root): %1")
                          .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        mounted_ = true;
#else
        reason_ = QStringLiteral("a small tmpfs needs Linux");
#endif
    }
    ~SmallDisk()
    {
#ifdef Q_OS_LINUX
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return mounted_; }
    std::string skipReason() const { return reason_.toStdString(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString &name) const { return dir_.filePath(name); }

    // Fills the disk with a filler file, then frees `leave` bytes of it (whole
    // pages), so a later write fails at once or part-way.
    void fill(qint64 leave = 0)
    {
        QFile filler(filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray page(4096, 'f');
        while (filler.write(page) == page.size()) {
        }
        if (leave > 0)
            filler.resize(qMax<qint64>(0, filler.size() - leave));
    }

private:
    QTemporaryDir dir_;
    QString reason_;
    bool mounted_ = false;
};

} // namespace pelldrake::test
