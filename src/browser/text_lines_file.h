#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pelldrake {

// Small text files of the browser (grid layouts, the table layout export):
// lines end with CR LF on every platform, so files move between machines.

// Reads every line, however long; CR LF and bare LF both end a line, and a
// last line without a line break counts too. Nothing when the file cannot be read.
std::optional<QStringList> readTextLines(const QString &path);

// Writes the lines, each followed by CR LF, through a temporary file renamed
// over the old one, so a failed write (a full disk) never leaves a truncated
// file. False with the system's reason in *error when it cannot be written.
bool writeTextLines(const QString &path, const QStringList &lines, QString *error = nullptr);

} // namespace pelldrake
