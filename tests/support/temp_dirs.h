#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace pelldrake::test {

// A temporary directory that is removed with everything in it at the end.
class TempDir {
public:
    TempDir() : dir_(QDir::temp().filePath(QStringLiteral("pelldrake-test-XXXXXX"))) {}
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString &name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

// Makes a directory the current one for its lifetime.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const QString &dir) : previous_(QDir::currentPath())
    {
        QDir::setCurrent(dir);
    }
    ~ScopedCurrentDir() { QDir::setCurrent(previous_); }
    ScopedCurrentDir(const ScopedCurrentDir &) = delete;
    ScopedCurrentDir &operator=(const ScopedCurrentDir &) = delete;

private:
    QString previous_;
};

} // namespace pelldrake::test
