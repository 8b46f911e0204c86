#include "ui/kit/about_box.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "platform/version.h"
#include "ui/kit/base_form.h"
#include "ui/kit/help_window.h"
#include "ui/kit/splash.h"

const QString TBaseFormMain::MakerEmail = QStringLiteral("support@trell-broadcast.example");
const QString TBaseFormMain::MakerWeb = QStringLiteral("https://www.trell-broadcast.example/");
const QString TBaseFormMain::MakerPhone = QStringLiteral("Tel.: +00 100 555 0100    Fax: +00 100 555 0199");
const QString TBaseFormMain::MakerAddress
    = QStringLiteral("TRELL Broadcast Ltd., 1 Transmitter Way, Exampleton EX1 0RD");

void TBaseFormMain::_ac_AboutExecute(QObject*)
{
    CreateAbout();
    FAbout->ShowModal();
}

void TBaseFormMain::CreateAbout()
{
    if (FAbout)
        return;
    const QImage picture(QStringLiteral(":/PNG_ABOUT"));
    FAbout = new TSplash(this);
    FAbout->CreateSplash(picture);
    BuildAbout();
}

void TBaseFormMain::BuildAbout()
{
    auto label = [this](const QString& text, unsigned flags, bool link) {
        auto* l = new QLabel(text, FAbout);
        l->setProperty(AboutFlagsProperty, flags);
        if (link) {
            l->setProperty("kvxLink", true);
            QFont f = l->font();
            f.setUnderline(true);
            l->setFont(f);
            QPalette pal = l->palette();
            pal.setColor(QPalette::WindowText, QColor(0x00, 0xFF, 0xFF)); // aqua
            l->setPalette(pal);
            l->installEventFilter(this);
        }
        return TAboutItem {l, flags};
    };

    const QString version = QString::fromStdString(GetVersionString("%d.%d.%d.%d"));
    QList<TAboutItem> items;
    items << label(QStringLiteral("Software Version") + QStringLiteral(": ") + version, afNewLine, false);
    items << label(QStringLiteral("E-mail:"), afNewLine, false);
    items << label(MakerEmail, afOwnColor | afSameLine, true);
    items << label(QStringLiteral("Web:"), afNewLine, false);
    items << label(MakerWeb, afOwnColor | afSameLine, true);
    items << label(MakerPhone, afNewLine, false);
    items << label(MakerAddress, afNewLine, false);

    auto* ok = new QPushButton(QStringLiteral("OK"), FAbout);
    ok->setFont(font());
    ok->adjustSize();
    FAbout->SetDefaultButton(ok);
    FAbout->SetCancelButton(ok);
    FAbout->SetButtonModalResult(ok, mrOk);
    ok->move(FAbout->width() - ok->width() - 15, FAbout->height() - ok->height() - 15);
    items << TAboutItem {ok, afOwnAnchors | afNoPosition};

    ArrangeAbout(items);
}

void TBaseFormMain::ArrangeAbout(const QList<TAboutItem>& Items)
{
    int y = FAbout->height();
    int x = 15;
    for (int i = 0; i < Items.size(); ++i) {
        QWidget* c = Items[i].Control;
        const unsigned flags = Items[i].Flags;
        c->setParent(FAbout);
        if (auto* l = qobject_cast<QLabel*>(c)) {
            // The main window's face with the label's own style (underline).
            QFont f = font();
            f.setUnderline(l->font().underline());
            f.setBold(l->font().bold());
            f.setItalic(l->font().italic());
            l->setFont(f);
            QPalette pal = l->palette();
            if (!(flags & afOwnColor))
                pal.setColor(QPalette::WindowText, Qt::white);
            l->setPalette(pal);
            l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            l->setAutoFillBackground(false);
            l->setAttribute(Qt::WA_TranslucentBackground, true);
            l->adjustSize();
        }
        if (!(flags & afNoPosition)) {
            if (flags & afNewLine)
                c->move(15, y - c->height() - (i == 0 ? 15 : 5));
            else if (flags & afSameLine)
                c->move(x, y);
            y = c->y();
            x = c->x() + c->width() + 5;
        }
        c->show();
    }
}

void TBaseFormMain::LabelWebClick(QObject*)
{
    OpenExternalUrl(QUrl(MakerWeb));
    if (FAbout)
        FAbout->SetModalResult(mrCancel);
}

void TBaseFormMain::LabelMouseEnter(QObject*)
{
    if (!FHandCursor) {
        QApplication::setOverrideCursor(Qt::PointingHandCursor);
        FHandCursor = true;
    }
}

void TBaseFormMain::LabelMouseLeave(QObject*)
{
    if (FHandCursor) {
        QApplication::restoreOverrideCursor();
        FHandCursor = false;
    }
}
