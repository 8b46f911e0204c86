#include "ui/kit/help_window.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QShortcut>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/kit/message_box.h"
#include "ui/kit/overlay.h"

QString HelpContextAnchor(int HelpContext)
{
    return QStringLiteral("ctx") + QString::number(HelpContext);
}

int HelpContextOf(const QObject* Control)
{
    for (const QObject* o = Control; o; o = o->parent()) {
        if (const int c = GetHelpContext(o); c > 0)
            return c;
    }
    return 0;
}

bool OpenExternalUrl(const QUrl& Url)
{
    if (QDesktopServices::openUrl(Url))
        return true;
    ShowMessageBox(QStringLiteral("Unable to open ") + Url.toDisplayString() + QStringLiteral("!\n")
            + QStringLiteral("No program to open it was found (xdg-open, from the package xdg-utils, "
                             "opens links on most desktops)."),
        mtError, mbOK);
    return false;
}

THelpWindow::THelpWindow(QWidget* Parent) : QWidget(Parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    const QString Program = QGuiApplication::applicationDisplayName();
    setWindowTitle(Program.isEmpty() ? QStringLiteral("Help") : QStringLiteral("Help - ") + Program);
    resize(760, 640);

    FBack = new QToolButton(this);
    FBack->setText(QStringLiteral("Back"));
    FBack->setEnabled(false);
    FContents = new QToolButton(this);
    FContents->setText(QStringLiteral("Contents"));
    FBrowser = new QTextBrowser(this);
    FBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    // Links are followed here: anchors and local pages in this window, the
    // rest by the desktop's launcher.
    FBrowser->setOpenLinks(false);
    FBrowser->setOpenExternalLinks(false);

    auto* Bar = new QHBoxLayout;
    Bar->addWidget(FBack);
    Bar->addWidget(FContents);
    Bar->addStretch();
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(4, 4, 4, 4);
    Layout->addLayout(Bar);
    Layout->addWidget(FBrowser);

    connect(FBrowser, &QTextBrowser::anchorClicked, this, &THelpWindow::LinkClicked);
    connect(FBrowser, &QTextBrowser::backwardAvailable, FBack, &QWidget::setEnabled);
    connect(FBack, &QToolButton::clicked, FBrowser, &QTextBrowser::backward);
    connect(FContents, &QToolButton::clicked, this, [this] {
        if (!FFile.isEmpty())
            ShowPage(FFile, QString());
    });
    auto* Close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(Close, &QShortcut::activated, this, &QWidget::close);
}

bool THelpWindow::ShowPage(const QString& File, const QString& Anchor)
{
    QFile F(File);
    if (!F.open(QIODevice::ReadOnly))
        return false;
    F.close();
    QUrl Url = QUrl::fromLocalFile(QFileInfo(File).absoluteFilePath());
    if (File != FFile) {
        FFile = File;
        FBrowser->clearHistory();
    }
    // The same page is not read again, only scrolled: to the anchor, or to
    // the top without one or when it is not on the page.
    if (!Anchor.isEmpty())
        Url.setFragment(Anchor);
    FBrowser->setSource(Url);
    return true;
}

void THelpWindow::LinkClicked(const QUrl& Url)
{
    const QUrl Target = FBrowser->source().resolved(Url);
    if (Target.isLocalFile() || Target.scheme().isEmpty())
        FBrowser->setSource(Target);
    else if (OnExternalLink)
        OnExternalLink(Target);
}
