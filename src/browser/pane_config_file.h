#pragma once

#include <QFile>
#include <QList>
#include <QString>

namespace pelldrake {

// One "key=value" line of a pane configuration file ("Pelldrake.cfg",
// "Pelldrake2.cfg"). Keys are control names; values are stored verbatim.
struct PaneConfigEntry {
    QString key;
    QString value;
};

// Reads a pane configuration file one entry at a time, so the caller can replay
// each line (and let the event loop run) before the next one is read.
// Lines may be of any length; CR LF and LF both end a line and a last line
// without a line break counts too. Empty lines and lines without "=" are skipped.
class PaneConfigReader {
public:
    explicit PaneConfigReader(const QString &path);
    ~PaneConfigReader();

    PaneConfigReader(const PaneConfigReader &) = delete;
    PaneConfigReader &operator=(const PaneConfigReader &) = delete;

    // False when the file could not be opened for reading.
    bool isOpen() const;
    // The next entry; false at the end of the file.
    bool next(PaneConfigEntry &entry);
    void close();

private:
    QFile file_;
};

// Splits one line at its first "="; false when there is none.
bool parsePaneConfigLine(const QString &line, PaneConfigEntry &entry);

// Why a file was not written: `opened` false when it could not even be created
// (the closing handler skips that one silently), else the write failed part-way.
struct FileWriteFailure {
    bool opened = false;
    QString reason; // the system's, e.g. "No space left on device"
};

// Writes the entries as "key=value" lines ended by CR LF. The file is replaced
// atomically: a failed or interrupted write (a full disk) leaves the previous
// file intact. Returns false when the file could not be written.
bool writePaneConfig(const QString &path, const QList<PaneConfigEntry> &entries,
                     FileWriteFailure *failure = nullptr);

} // namespace pelldrake
