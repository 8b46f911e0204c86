#include "ui/kit/splash.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "ui/kit/fonts.h"

TSplash::TSplash(QWidget* AOwner) : TBaseForm(AOwner), FTimer(new QTimer(this))
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool);
    // Shown as a splash it must not take the focus from the window being built.
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    FTimer->setSingleShot(true);
    connect(FTimer, &QTimer::timeout, this, [this] {
        FTimer->stop();
        hide();
    });
    // The text line's face; the window's own font stays the program's, so
    // controls placed on the window do not inherit the bold one.
    FCanvasFont = WindowFont();
    FCanvasFont.setBold(true);
    FCanvasFont.setPixelSize(13);
    setFont(WindowFont());
}

TSplash::~TSplash()
{
    FTimer->stop();
    hide();
}

void TSplash::CreateSplash(const QImage& AImage)
{
    FImageContainer = AImage.convertToFormat(QImage::Format_ARGB32);
    if (!FImageContainer.isNull())
        setFixedSize(FImageContainer.size());
    Centre();
    Invalidate();
}

void TSplash::Centre()
{
    // Centred on the primary screen; a picture larger than the screen gives
    // negative coordinates and stays centred on the screen's middle.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect s = screen->geometry();
    const int w = FImageContainer.isNull() ? width() : FImageContainer.width();
    const int h = FImageContainer.isNull() ? height() : FImageContainer.height();
    move(s.x() + (s.width() - w) / 2, s.y() + (s.height() - h) / 2);
}

void TSplash::Invalidate()
{
    ++FRepaintRequests;
    update();
}

void TSplash::ShowSplash()
{
    Centre();
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    show();
    raise();
    repaint();
}

void TSplash::HideSplash(int ADelay)
{
    if (ADelay <= 0) {
        FTimer->stop();
        raise();
        hide();
        return;
    }
    FTimer->start(ADelay); // restarts a pending delay
}

bool TSplash::HidePending() const
{
    return FTimer->isActive();
}

int TSplash::ShowModal()
{
    Invalidate();
    Centre();
    // The about box takes the keyboard: Enter and Esc close it.
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    return TBaseForm::ShowModal();
}

void TSplash::showEvent(QShowEvent* e)
{
    TBaseForm::showEvent(e);
    raise();
    if (!testAttribute(Qt::WA_ShowWithoutActivating))
        activateWindow();
}

void TSplash::DoProgress(int Step)
{
    FProgressVisible = true;
    FProgress += Step;
    if (FProgress >= 100)
        FProgress = 0;
    Invalidate();
}

void TSplash::StopProgress()
{
    FProgressVisible = false;
    FProgress = 0;
    Invalidate();
}

void TSplash::SetText(const QString& Value)
{
    if (Value == FText)
        return;
    FText = Value;
    Invalidate();
}

void TSplash::SetY(int Value)
{
    FY = Value;
    Invalidate();
}

void TSplash::SetColor(const QColor& Value)
{
    FColor = Value;
    Invalidate();
}

void TSplash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!FImageContainer.isNull())
        p.drawImage(0, 0, FImageContainer);
    if (FText.isEmpty())
        return;
    const QFontMetrics fm(FCanvasFont);
    const int tw = fm.horizontalAdvance(FText);
    const int th = fm.height();
    const int x = (width() - tw) / 2;
    p.setFont(FCanvasFont);
    p.setPen(FColor);
    // The text's top edge sits at Y.
    p.drawText(QRect(x, FY, tw, th), Qt::AlignLeft | Qt::AlignTop, FText);
    if (FProgressVisible) {
        // Whole hundredths of the text width: a text narrower than 100 px
        // shows no line, and the full line is (TW / 100) * 99 long.
        const int len = (tw / 100) * FProgress;
        if (len > 0)
            p.fillRect(QRect(x, FY + th + 5, len, 1), FColor);
    }
}

void TSplash::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        if (QWindow* w = windowHandle())
            w->startSystemMove();
        e->accept();
        return;
    }
    TBaseForm::mousePressEvent(e);
}
