#pragma once
// Shows an EDI operation's progress on a QProgressBar.
#include "edi/progress.h"

#include <QPointer>
#include <QProgressBar>

namespace pelldrake::edi {

class ProgressBarAdapter final : public Progress {
public:
    explicit ProgressBarAdapter(QProgressBar *bar) : m_bar(bar) {}
    void setMaximum(int maximum) override;
    void setPosition(int position) override;

private:
    QPointer<QProgressBar> m_bar;   // the bar may go away before the adapter
};

} // namespace pelldrake::edi
