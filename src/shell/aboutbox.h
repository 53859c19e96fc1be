#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

class QPlainTextEdit;

namespace pelldrake {

// A label that reports clicks; the about window's e-mail and web links.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString &text, QWidget *parent = nullptr);
signals:
    void clicked();
protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The about window: product, version, maker, the licence text from
// "license.txt" in the current directory, and the maker's addresses.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

    static QString emailAddress();
    static QString webAddress();

    // How the window asks the system to open an address. Replaceable so that
    // tests do not launch a mail program or a browser; a failure is ignored.
    using UrlOpener = std::function<bool(const QUrl &)>;
    static UrlOpener setUrlOpener(UrlOpener opener); // returns the previous one

    QPlainTextEdit *licenseText() const { return comments_; }

private slots:
    void emailClicked();
    void webClicked();

private:
    void loadLicense();
    static void open(const QUrl &url);

    QPlainTextEdit *comments_ = nullptr;
};

} // namespace pelldrake
