#include "shell/aboutbox.h"

#include "shell/program_icon.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace pelldrake {

namespace {

TAboutBox::UrlOpener &urlOpener()
{
    static TAboutBox::UrlOpener opener = [](const QUrl &url) {
        return QDesktopServices::openUrl(url);
    };
    return opener;
}

// Licence files are 8-bit text; take UTF-8 when it is valid, Latin-1 otherwise.
QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

ClickableLabel *linkLabel(const QString &text, const QString &name, QWidget *parent)
{
    auto *label = new ClickableLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setBold(true);
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(palette);
    label->setCursor(Qt::BusyCursor);
    return label;
}

} // namespace

ClickableLabel::ClickableLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

QString TAboutBox::emailAddress()
{
    return QStringLiteral("pelldrake@quenfold.example");
}

QString TAboutBox::webAddress()
{
    // Short enough to show whole in the fixed-size window.
    return QStringLiteral("https://quenfold.example");
}

TAboutBox::UrlOpener TAboutBox::setUrlOpener(UrlOpener opener)
{
    UrlOpener previous = urlOpener();
    urlOpener() = std::move(opener);
    return previous;
}

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(298, 352);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    auto *panelLayout = new QVBoxLayout(panel);

    auto *head = new QHBoxLayout;
    auto *icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(programIcon().pixmap(128));
    icon->setScaledContents(true); // stretched to 65 by 57
    icon->setFixedSize(65, 57);
    head->addWidget(icon, 0, Qt::AlignTop);
    auto *names = new QVBoxLayout;
    auto *product = new QLabel(QStringLiteral("Quenfold/Pelldrake"), panel);
    product->setObjectName(QStringLiteral("ProductName"));
    auto *version = new QLabel(QStringLiteral("Version 2.2"), panel);
    version->setObjectName(QStringLiteral("Version"));
    names->addWidget(product);
    names->addWidget(version);
    names->addStretch();
    head->addLayout(names, 1);
    panelLayout->addLayout(head);

    auto *notice = new QLabel(QStringLiteral("Copyright (c) 2026 the Pelldrake authors. MIT licence."), panel);
    notice->setObjectName(QStringLiteral("Copyright"));
    notice->setWordWrap(true);
    panelLayout->addWidget(notice);

    comments_ = new QPlainTextEdit(panel);
    comments_->setObjectName(QStringLiteral("Comments"));
    comments_->setReadOnly(true);
    comments_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    panelLayout->addWidget(comments_, 1);
    layout->addWidget(panel, 1);

    auto *links = new QGridLayout;
    links->addWidget(new QLabel(QStringLiteral("Email"), this), 0, 0);
    auto *email = linkLabel(emailAddress(), QStringLiteral("EmailLabel"), this);
    links->addWidget(email, 0, 1);
    links->addWidget(new QLabel(QStringLiteral("Web Page"), this), 1, 0);
    auto *web = linkLabel(webAddress(), QStringLiteral("WebLabel"), this);
    links->addWidget(web, 1, 1);
    links->setColumnStretch(1, 1);
    layout->addLayout(links);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    layout->addWidget(ok, 0, Qt::AlignHCenter);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(email, &ClickableLabel::clicked, this, &TAboutBox::emailClicked);
    connect(web, &ClickableLabel::clicked, this, &TAboutBox::webClicked);

    loadLicense();

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TAboutBox::loadLicense()
{
    QFile file(QDir::current().filePath(QStringLiteral("license.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return; // no licence file: the box stays empty
    QString text = decodeText(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    comments_->setPlainText(text);
}

void TAboutBox::open(const QUrl &url)
{
    const UrlOpener &opener = urlOpener();
    if (opener)
        (void)opener(url); // a failing request is ignored
}

void TAboutBox::emailClicked()
{
    open(QUrl(QStringLiteral("mailto:") + emailAddress()));
}

void TAboutBox::webClicked()
{
    open(QUrl(webAddress()));
}

} // namespace pelldrake
