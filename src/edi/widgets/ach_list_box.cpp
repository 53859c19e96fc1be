#include "edi/widgets/ach_list_box.h"

#include <QFile>

namespace pelldrake::edi {

TlynEDIFromACHListBox::TlynEDIFromACHListBox(QWidget *owner) : QListWidget(owner)
{
    // ACH records are fixed-width: a fixed-pitch font keeps their fields in columns.
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);
    setUniformItemSizes(true);
}

void TlynEDIFromACHListBox::loadACHFile(const QString &fileName)
{
    m_ach.loadACHFile(QFile::encodeName(fileName).toStdString());
    refresh();
}

void TlynEDIFromACHListBox::extractEDI()
{
    m_ach.extractEDI();
    refresh();
}

bool TlynEDIFromACHListBox::saveEDIData(const QString &fileName) const
{
    return m_ach.trySaveEDIData(QFile::encodeName(fileName).toStdString());
}

void TlynEDIFromACHListBox::refresh()
{
    QStringList items;
    items.reserve(static_cast<qsizetype>(m_ach.lines().size()));
    // Records are 8-bit text; Latin-1 shows every byte as one character.
    for (const std::string &line : m_ach.lines())
        items << QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    clear();
    addItems(items);
}

} // namespace pelldrake::edi
