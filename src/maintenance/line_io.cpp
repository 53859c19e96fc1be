#include "maintenance/line_io.h"

#include <cstring>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace pelldrake::maintenance {

LineWriter::LineWriter(const QString &path)
    : file_(path)
{
}

bool LineWriter::open()
{
    if (!file_.open()) {
        error_ = file_.errorString();
        failed_ = true;
        return false;
    }
    return true;
}

void LineWriter::flush()
{
    writeOut(buffer_.get(), used_);
    used_ = 0;
}

void LineWriter::writeOut(const char *bytes, qsizetype n)
{
    if (n == 0)
        return;
    if (!failed_ && !file_.write(bytes, n)) {
        failed_ = true;
        error_ = file_.errorString();
    }
    written_ += n;
#ifdef Q_OS_LINUX
    // The commit waits until the file is on the disk; started as the file grows, that wait is
    // short instead of one long pause of the window at the end of a large file.
    if (!failed_ && written_ - writtenBack_ >= kWritebackSize && file_.handle() >= 0) {
        ::sync_file_range(file_.handle(), writtenBack_, written_ - writtenBack_, SYNC_FILE_RANGE_WRITE);
        writtenBack_ = written_;
    }
#endif
}

bool LineWriter::commit()
{
    if (!file_.isOpen())
        return false;
    flush();
    if (failed_) {
        file_.cancel();
        return false;
    }
    if (!file_.commit()) {
        error_ = file_.errorString();
        failed_ = true;
        return false;
    }
    return true;
}

LineReader::LineReader(const QString &path)
    : file_(path)
{
}

bool LineReader::open()
{
    return file_.open(QIODevice::ReadOnly);
}

bool LineReader::fill()
{
    if (eof_ || failed_)
        return false;
    // Keep the unread tail, then append the next block.
    if (pos_ > 0) {
        buffer_.remove(0, pos_);
        pos_ = 0;
    }
    constexpr qint64 block = 256 * 1024;
    const qsizetype old = buffer_.size();
    buffer_.resize(old + block);
    const qint64 got = file_.read(buffer_.data() + old, block);
    if (got < 0) {
        buffer_.resize(old);
        failed_ = true;
        return false;
    }
    buffer_.resize(old + got);
    if (got == 0)
        eof_ = true;
    return got > 0;
}

bool LineReader::readLine(QByteArray &line)
{
    qsizetype searchFrom = pos_;
    for (;;) {
        const char *start = buffer_.constData() + searchFrom;
        const void *nl = std::memchr(start, '\n', size_t(buffer_.size() - searchFrom));
        if (nl) {
            const qsizetype end = static_cast<const char *>(nl) - buffer_.constData();
            qsizetype len = end - pos_;
            if (len > 0 && buffer_.at(end - 1) == '\r')
                --len;
            line = buffer_.mid(pos_, len);
            pos_ = end + 1;
            ++lineNumber_;
            return true;
        }
        const qsizetype scanned = buffer_.size() - pos_;
        if (!fill()) {
            if (failed_ || pos_ >= buffer_.size())
                return false;
            // The last line has no line break.
            line = buffer_.mid(pos_);
            if (line.endsWith('\r'))
                line.chop(1);
            pos_ = buffer_.size();
            ++lineNumber_;
            unended_ = true;
            return true;
        }
        searchFrom = pos_ + scanned; // fill() moved the unread part to the front
    }
}

QString lineText(QByteArrayView line)
{
    QString text = QString::fromUtf8(line);
    // A replacement character that the bytes do not spell out themselves marks
    // bytes that are not UTF-8.
    if (text.contains(QChar::ReplacementCharacter) && !line.contains(QByteArrayView("\xEF\xBF\xBD")))
        return QString::fromLatin1(line);
    return text;
}

} // namespace pelldrake::maintenance
