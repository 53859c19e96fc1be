#include "browser/command_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

namespace pelldrake {

namespace {

QString amountText(qint64 n, bool bytes)
{
    if (bytes)
        return QLocale().formattedDataSize(n, 1);
    return n == 1 ? QStringLiteral("1 record") : QStringLiteral("%L1 records").arg(n);
}

} // namespace

CommandProgress::CommandProgress(QStatusBar *bar)
    : QWidget(bar)
    , bar_(bar)
    , label_(new QLabel(this))
    , progress_(new QProgressBar(this))
    , cancel_(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("CommandProgress"));
    progress_->setObjectName(QStringLiteral("CommandProgressBar"));
    cancel_->setObjectName(QStringLiteral("CommandCancel"));
    cancel_->setToolTip(QStringLiteral("Stop the command at the next record; what is stored stays"));
    progress_->setMaximumWidth(220);
    progress_->setTextVisible(false);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_, 1);
    layout->addWidget(progress_);
    layout->addWidget(cancel_);
    bar_->addPermanentWidget(this, 1);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        cancel_->setEnabled(false);
        label_->setText(label_->text() + QStringLiteral(" - stopping"));
    });
    bar_->hide();
}

bool CommandProgress::report(int pane, qint64 done, qint64 total, bool bytes)
{
    if (!bar_->isVisible())
        bar_->show();
    if (!cancelled_) {
        const QString of = total >= 0 ? QStringLiteral(" of %1").arg(amountText(total, bytes)) : QString();
        label_->setText(QStringLiteral("Alias #%1: %2%3").arg(pane).arg(amountText(done, bytes), of));
    }
    if (total > 0) {
        // The bar counts in thousandths: a range of int cannot hold every byte count.
        progress_->setRange(0, 1000);
        progress_->setValue(int(std::min<qint64>(1000, done * 1000 / total)));
    } else {
        progress_->setRange(0, 0); // busy, amount unknown
    }
    return !cancelled_;
}

void CommandProgress::finish()
{
    cancelled_ = false;
    cancel_->setEnabled(true);
    label_->clear();
    bar_->clearMessage();
    bar_->hide();
}

void CommandProgress::notice(const QString &text)
{
    bar_->show();
    bar_->showMessage(text, 10000);
}

QString CommandProgress::text() const
{
    return label_->text();
}

} // namespace pelldrake
