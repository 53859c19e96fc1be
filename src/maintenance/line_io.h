#pragma once

#include "engine/save_file.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <cstring>
#include <memory>

namespace pelldrake::maintenance {

// Writes a text file line by line, every line ending in CR LF whatever the
// platform. Text is written as UTF-8. The file is written beside its final
// name and only replaces an earlier file when commit() succeeds, so a run that
// fails half-way (a full disk) never leaves a truncated file behind.
class LineWriter {
public:
    explicit LineWriter(const QString &path);
    ~LineWriter() = default; // without commit() nothing is replaced
    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;

    bool open(); // false when the file cannot be created (see errorString())

    void write(QStringView text)
    {
        const qsizetype most = encoder_.requiredSpace(text.size());
        if (used_ + most > kCapacity)
            flush();
        if (most > kCapacity) { // a value larger than the buffer goes alone
            QByteArray bytes(most, Qt::Uninitialized);
            bytes.truncate(encoder_.appendToBuffer(bytes.data(), text) - bytes.constData());
            writeOut(bytes.constData(), bytes.size());
            return;
        }
        used_ = encoder_.appendToBuffer(buffer_.get() + used_, text) - buffer_.get();
        if (used_ >= kFlushSize)
            flush();
    }
    void write(char c) { put(&c, 1); }
    void writeAscii(QLatin1StringView ascii) { put(ascii.data(), ascii.size()); }
    void writeUtf8(QByteArrayView bytes)
    {
        put(bytes.data(), bytes.size());
        if (used_ >= kFlushSize)
            flush();
    }
    void endLine()
    {
        put("\r\n", 2);
        if (used_ >= kFlushSize)
            flush();
    }
    void writeLine(QStringView text)
    {
        write(text);
        endLine();
    }

    // Writes what is buffered and makes the file take its final name. False
    // when any write failed or the file could not be renamed.
    bool commit();
    QString errorString() const { return error_; }
    QString path() const { return file_.fileName(); }

private:
    static constexpr qsizetype kFlushSize = 256 * 1024;
    static constexpr qsizetype kCapacity = kFlushSize + 64 * 1024;
    static constexpr qint64 kWritebackSize = 1024 * 1024;
    // Into the buffer: a plain copy, as this runs for every value of a large table.
    void put(const char *bytes, qsizetype n)
    {
        if (n <= 0)
            return; // an empty value may come without any bytes behind it
        if (used_ + n > kCapacity) {
            flush();
            if (n > kCapacity) {
                writeOut(bytes, n);
                return;
            }
        }
        std::memcpy(buffer_.get() + used_, bytes, size_t(n));
        used_ += n;
    }
    void flush();
    void writeOut(const char *bytes, qsizetype n);

    engine::SaveFile file_;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(size_t(kCapacity));
    qsizetype used_ = 0;
    QStringEncoder encoder_{QStringEncoder::Utf8};
    QString error_;
    bool failed_ = false;
    qint64 written_ = 0;   // bytes handed to the file
    qint64 writtenBack_ = 0; // bytes whose write to the disk was started
};

// Reads a text file line by line: lines of any length, CR LF or bare LF line
// ends, and a last line without a line break.
class LineReader {
public:
    explicit LineReader(const QString &path);
    bool open(); // false when the file cannot be opened (see errorString())

    // The next line without its line break; false at the end of the file or
    // on a read error (see failed()).
    bool readLine(QByteArray &line);
    bool failed() const { return failed_; }
    QString errorString() const { return file_.errorString(); }
    qint64 lineNumber() const { return lineNumber_; }
    // Bytes of the file read so far as lines, and the file's size: the progress of a load.
    qint64 bytesRead() const { return file_.pos() - (buffer_.size() - pos_); }
    qint64 size() const { return file_.size(); }
    // True once the last line was read and had no line feed: the file may have
    // been cut in that line.
    bool lastLineUnended() const { return unended_; }

private:
    bool fill();

    QFile file_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    bool unended_ = false;
    qint64 lineNumber_ = 0;
};

// The text of a line read from a file: UTF-8, or, for a line that is not valid
// UTF-8 (a file written by an 8-bit program), its bytes as Latin-1.
QString lineText(QByteArrayView line);

} // namespace pelldrake::maintenance
