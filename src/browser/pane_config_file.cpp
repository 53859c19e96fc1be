#include "browser/pane_config_file.h"

#include "engine/save_file.h"

namespace pelldrake {

PaneConfigReader::PaneConfigReader(const QString &path) : file_(path)
{
    // Binary mode: line ends are handled here, so CR LF and LF read alike on
    // every platform.
    file_.open(QIODevice::ReadOnly);
}

PaneConfigReader::~PaneConfigReader() { close(); }

bool PaneConfigReader::isOpen() const { return file_.isOpen(); }

void PaneConfigReader::close()
{
    if (file_.isOpen())
        file_.close();
}

bool PaneConfigReader::next(PaneConfigEntry &entry)
{
    if (!file_.isOpen())
        return false;
    while (!file_.atEnd()) {
        QByteArray raw = file_.readLine(); // whole line, no length limit
        if (raw.endsWith('\n'))
            raw.chop(1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.isEmpty())
            continue;
        if (parsePaneConfigLine(QString::fromUtf8(raw), entry))
            return true;
    }
    return false;
}

bool parsePaneConfigLine(const QString &line, PaneConfigEntry &entry)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    entry.key = line.left(eq);
    entry.value = line.mid(eq + 1);
    return true;
}

bool writePaneConfig(const QString &path, const QList<PaneConfigEntry> &entries, FileWriteFailure *failure)
{
    QByteArray bytes;
    for (const PaneConfigEntry &e : entries) {
        bytes += e.key.toUtf8();
        bytes += '=';
        // A value can never carry a line break into the file: it would split
        // into a second line and be replayed as a key of its own.
        QString value = e.value;
        value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        bytes += value.toUtf8();
        bytes += "\r\n";
    }
    engine::SaveFile file(path);
    const bool opened = file.open();
    if (opened && file.write(bytes) && file.commit())
        return true;
    if (failure)
        *failure = {opened, file.errorString()};
    return false;
}

} // namespace pelldrake
