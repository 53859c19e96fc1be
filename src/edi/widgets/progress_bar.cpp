#include "edi/widgets/progress_bar.h"

namespace pelldrake::edi {

void ProgressBarAdapter::setMaximum(int maximum)
{
    if (m_bar)
        m_bar->setMaximum(maximum);
}

void ProgressBarAdapter::setPosition(int position)
{
    if (!m_bar)
        return;
    m_bar->setValue(position);
    m_bar->repaint();   // no event loop runs while loading: paint now
}

} // namespace pelldrake::edi
