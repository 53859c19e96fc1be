#include "browser/text_lines_file.h"

#include "engine/save_file.h"

#include <QFile>

namespace pelldrake {

std::optional<QStringList> readTextLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // UTF-8, as the pane configuration files: field names need not be ASCII.
    const QByteArray content = file.readAll();
    QStringList lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        const bool lastWithoutBreak = end < 0;
        if (lastWithoutBreak)
            end = content.size();
        QByteArray line = content.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << QString::fromUtf8(line);
        start = end + 1;
    }
    return lines;
}

bool writeTextLines(const QString &path, const QStringList &lines, QString *error)
{
    QByteArray bytes;
    for (QString line : lines) {
        // A line break inside a line would split it in two when read back.
        line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    return engine::saveWholeFile(path, bytes, error);
}

} // namespace pelldrake
