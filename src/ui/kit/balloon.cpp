#include "ui/kit/balloon.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "ui/kit/fonts.h"

namespace {

// Rounded rectangle from (X1, Y1) to (X2, Y2), right and bottom exclusive,
// with corner ellipses of R x R.
QRegion RoundRectRegion(int X1, int Y1, int X2, int Y2, int R)
{
    const int w = X2 - X1, h = Y2 - Y1;
    if (w <= 0 || h <= 0)
        return {};
    R = std::min({R, w, h});
    if (R < 2)
        return QRegion(X1, Y1, w, h);
    QRegion r(X1 + R / 2, Y1, w - 2 * (R / 2), h);
    r += QRegion(X1, Y1 + R / 2, w, h - 2 * (R / 2));
    r += QRegion(X1, Y1, R, R, QRegion::Ellipse);
    r += QRegion(X2 - R, Y1, R, R, QRegion::Ellipse);
    r += QRegion(X1, Y2 - R, R, R, QRegion::Ellipse);
    r += QRegion(X2 - R, Y2 - R, R, R, QRegion::Ellipse);
    return r;
}

} // namespace

TBalloon::TBalloon(QWidget* AOwner) : QWidget(AOwner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(WindowFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ToolTipText));
    setPalette(pal);
    setAutoFillBackground(true);

    FTimer.setSingleShot(false);
    FTimer.setInterval(0);
    connect(&FTimer, &QTimer::timeout, this, [this] { HideByTimer(); });

    FlbTitle = new QLabel(this);
    QFont bold = FlbTitle->font();
    bold.setBold(true);
    FlbTitle->setFont(bold);
    FlbTitle->setAttribute(Qt::WA_TransparentForMouseEvents); // a click hides the balloon

    FimgIcon = new QLabel(this);
    FimgIcon->resize(16, 16);
    FimgIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void TBalloon::Adopt(QWidget* AControl)
{
    if (!AControl)
        return;
    FAdoptedControls.push_back(AControl);
    AControl->setParent(this);
    AControl->move(0, 0);
    AControl->show();
}

void TBalloon::LoadIcon(const QImage& AImage)
{
    if (AImage.isNull())
        return;
    // Pixels of the bottom-left pixel's colour are not drawn.
    QImage img = AImage.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = img.pixel(0, img.height() - 1);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == key)
                img.setPixel(x, y, qRgba(0, 0, 0, 0));
    FIcon = img;
    FimgIcon->resize(img.size());
    FimgIcon->setPixmap(QPixmap::fromImage(img));
}

void TBalloon::LoadIcon(const QString& AResourceName)
{
    QImage img(":/" + AResourceName);
    if (img.isNull())
        return;
    const QSize keep = FimgIcon->size();
    LoadIcon(img);
    FimgIcon->resize(keep);
}

void TBalloon::SetAlignControl(QWidget* Value)
{
    FAlignControl = Value;
    UpdatePosition();
}
void TBalloon::SetAlignH(TBalloonAlignH Value)
{
    FAlignH = Value;
    UpdatePosition();
}
void TBalloon::SetAlignV(TBalloonAlignV Value)
{
    FAlignV = Value;
    UpdatePosition();
}
void TBalloon::SetArrowPos(TBalloonArrowPosHV Value)
{
    FArrowPos = Value;
    UpdatePosition();
}
void TBalloon::SetControlPosX(int Value)
{
    if (Value == FControlPosX)
        return;
    FControlPosX = Value;
    UpdatePosition();
}
void TBalloon::SetControlPosY(int Value)
{
    if (Value == FControlPosY)
        return;
    FControlPosY = Value;
    UpdatePosition();
}
void TBalloon::SetArrowHeight(int Value)
{
    FArrowHeight = Value;
    UpdatePosition();
}
void TBalloon::SetArrowWidth(int Value)
{
    FArrowWidth = Value;
    UpdatePosition();
}
void TBalloon::SetArrowDisposition(int Value)
{
    FArrowDisposition = Value;
    UpdatePosition();
}
void TBalloon::SetPadding(int Value)
{
    FPadding = Value;
    UpdatePosition();
}
void TBalloon::SetRounding(int Value)
{
    FRounding = Value;
    UpdatePosition();
}

void TBalloon::ComputeControlPos()
{
    if (FAlignControl) {
        const QRect r(FAlignControl->mapToGlobal(QPoint(0, 0)), FAlignControl->rect().size());
        // Right and bottom edges are exclusive, as in a client rectangle.
        const int left = r.left(), top = r.top();
        const int right = left + r.width(), bottom = top + r.height();
        switch (FAlignV) {
        case blnTop:
            FControlPosY = top;
            break;
        case blnMiddle:
            FControlPosY = top + (bottom - top) / 2;
            break;
        case blnBottom:
            FControlPosY = bottom;
            break;
        }
        switch (FAlignH) {
        case blnLeft:
            FControlPosX = left;
            break;
        case blnCenter:
            FControlPosX = left + (right - left) / 2;
            break;
        case blnRight:
            FControlPosX = right;
            break;
        }
    }
    FArrowPos = {FAlignH, FAlignV};
}

void TBalloon::LayoutContent()
{
    const int P = FPadding, AH = FArrowHeight;
    const bool arrowOnTop = FArrowPos.V == blnBottom;

    FlbTitle->setText(Caption());
    FlbTitle->adjustSize();
    FimgIcon->move(P, P);
    QPoint titlePos(5 + FimgIcon->x() + FimgIcon->width(), P + (FimgIcon->height() - FlbTitle->height()) / 2);

    int CW, y;
    if (!Caption().isEmpty()) {
        CW = FlbTitle->width() + 5 + FimgIcon->width();
        y = titlePos.y() + FlbTitle->height();
        if (arrowOnTop) {
            FimgIcon->move(P, P + AH);
            titlePos.ry() += AH;
        }
        FlbTitle->move(titlePos);
        FimgIcon->show();
        FlbTitle->show();
    } else {
        FlbTitle->move(titlePos);
        FimgIcon->hide();
        FlbTitle->hide();
        CW = 0;
        y = 0;
    }
    for (QWidget* c : FAdoptedControls) {
        CW = std::max(CW, c->width());
        c->move(P, y + P + (arrowOnTop ? AH : 0));
        y += c->height() + 5;
    }
    y += 5;
    resize(2 * P + CW, y + AH + P);
}

void TBalloon::Place()
{
    const int W = width(), H = height();
    const int left = FArrowPos.H == blnRight ? FControlPosX - FArrowDisposition : FControlPosX + FArrowDisposition - W;
    const int top = FArrowPos.V == blnBottom ? FControlPosY : FControlPosY - H;
    move(left, top);
}

void TBalloon::UpdatePosition()
{
    ComputeControlPos();
    LayoutContent();
    Place();

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize scr = screen ? screen->geometry().size() : QSize(1 << 20, 1 << 20);
    const int left = x(), top = y(), W = width(), H = height();
    if (left < 0)
        FArrowPos.H = blnRight;
    if (top < 0)
        FArrowPos.V = blnBottom;
    if (left + W > scr.width())
        FArrowPos.H = blnLeft;
    if (top + H > scr.height())
        FArrowPos.V = blnTop;

    LayoutContent();
    Place();

    const int AD = FArrowDisposition, AW = FArrowWidth, AH = FArrowHeight, R = FRounding;
    const int w = width(), h = height();
    int x0, x1;
    if (FArrowPos.H == blnRight) {
        x0 = AD;
        x1 = AD + AW;
    } else {
        x0 = w - AD;
        x1 = x0 - AW;
    }
    QRegion body, arrow;
    if (FArrowPos.V == blnBottom) {
        body = RoundRectRegion(0, AH + 1, w, h, R);
        arrow = QRegion(QPolygon({QPoint(x0, AH + 1), QPoint(x1, AH + 1), QPoint(x0, 0)}), Qt::WindingFill);
    } else {
        body = RoundRectRegion(0, 0, w, h - AH + 1, R);
        arrow = QRegion(QPolygon({QPoint(x0, h - AH), QPoint(x1, h - AH), QPoint(x0, h)}), Qt::WindingFill);
    }
    FShape = body.united(arrow);
    setMask(FShape);

    if (FDuration > 0) {
        FTimer.setInterval(FDuration);
        FTimer.start();
    } else {
        FTimer.stop(); // a zero interval never hides
        FTimer.setInterval(0);
    }
    update();
}

void TBalloon::HideByTimer()
{
    FTimer.stop();
    FTimer.setInterval(0);
    hide();
}

void TBalloon::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (Event->spontaneous())
        return;
    UpdatePosition();
    raise();
}

void TBalloon::changeEvent(QEvent* Event)
{
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) {
            raise();
        } else if (FHideNoFocus && isVisible()) {
            FTimer.stop();
            FTimer.setInterval(0);
            hide();
        }
    } else if (Event->type() == QEvent::WindowStateChange && isMinimized()) {
        showNormal();
    }
}

void TBalloon::paintEvent(QPaintEvent* Event)
{
    QWidget::paintEvent(Event);
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // A one-pixel black outline along the window shape.
    const QRegion inner = FShape.intersected(FShape.translated(1, 0))
                              .intersected(FShape.translated(-1, 0))
                              .intersected(FShape.translated(0, 1))
                              .intersected(FShape.translated(0, -1));
    for (const QRect& r : FShape.subtracted(inner))
        p.fillRect(r, Qt::black);
}

void TBalloon::mousePressEvent(QMouseEvent* Event)
{
    Event->accept();
    hide();
}
