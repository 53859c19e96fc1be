#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

namespace pelldrake::engine {

// Writes a file beside its final name and replaces the earlier file only when
// every byte is on the disk. Every file the program replaces goes through here.
//
// QSaveFile alone is not enough: Qt 6.4's commit() returns true, and renames a
// cut or empty file over the earlier one, when its last buffered write failed
// (a full disk). So writes go straight to the system, each one is checked,
// and the data is synced to the disk before the rename.
class SaveFile {
public:
    explicit SaveFile(const QString &path);
    ~SaveFile(); // without commit() the earlier file stays as it was
    SaveFile(const SaveFile &) = delete;
    SaveFile &operator=(const SaveFile &) = delete;

    bool open(); // false when the file cannot be created (see errorString())

    // False once any write has failed; later writes are skipped.
    bool write(const char *bytes, qint64 n);
    bool write(QByteArrayView bytes) { return write(bytes.data(), bytes.size()); }

    // Syncs the file to the disk and gives it its final name. False, with the
    // earlier file untouched, when any write, the sync or the rename failed.
    bool commit();
    // Drops what was written; the earlier file stays.
    void cancel();

    bool isOpen() const { return file_.isOpen(); }
    bool failed() const { return failed_; }
    // The system's reason for the first failure ("No space left on device").
    QString errorString() const { return error_; }
    QString fileName() const { return file_.fileName(); }
    int handle() const { return file_.handle(); }

private:
    void fail(const QString &reason, int systemError);

    QSaveFile file_;
    QString error_;
    bool failed_ = false;
};

// Replaces the file at path with content; false with the reason in *error.
bool saveWholeFile(const QString &path, QByteArrayView content, QString *error = nullptr);

} // namespace pelldrake::engine
