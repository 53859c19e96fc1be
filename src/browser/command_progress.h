#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace pelldrake {

// The status bar's part that follows a long command: which pane and how far (records or bytes
// done, of how many), a bar, and Cancel, which asks the command to stop at its next record.
// The status bar shows only while a command runs, so the window keeps its look otherwise.
class CommandProgress : public QWidget {
    Q_OBJECT
public:
    explicit CommandProgress(QStatusBar *bar);

    // Shows how far the running command on pane `pane` got (total < 0: not known ahead).
    // False once Cancel was pressed.
    bool report(int pane, qint64 done, qint64 total, bool bytes);
    // The command ended: the status bar hides and Cancel is ready for the next one.
    void finish();
    // A message that does not wait for the user, shown beside the progress.
    void notice(const QString &text);

    bool cancelRequested() const { return cancelled_; }
    QPushButton *cancelButton() const { return cancel_; }
    QString text() const;

private:
    QStatusBar *bar_;
    QLabel *label_;
    QProgressBar *progress_;
    QPushButton *cancel_;
    bool cancelled_ = false;
};

} // namespace pelldrake
