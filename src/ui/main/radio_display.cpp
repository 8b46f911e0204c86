#include "ui/main/radio_display.h"

#include "rds/string_scroller.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

// The radio picture with its transparent colour, magenta, made fully transparent.
QImage LoadRadioPicture()
{
    QImage img(QStringLiteral(":/PNG_RADIO1"));
    if (img.isNull())
        return img;
    img = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0x00FFFFFFu) == 0x00FF00FFu)
                line[x] = 0;
    }
    return img;
}

} // namespace

TRadioDisplay::TRadioDisplay(QWidget* parent)
    : QWidget(parent), FBuffer(kWidth, kHeight, QImage::Format_ARGB32), radiobg(LoadRadioPicture()),
      CF(std::make_unique<TCustomFont>(6, 14, QImage(QStringLiteral(":/PNG_8X5")), 0x000000u, 0xFFFFFFu))
{
    FBuffer.fill(0xFFFFFFFFu);
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TRadioDisplay::~TRadioDisplay() = default;

void TRadioDisplay::Scroller(TStringScroller* Value)
{
    if (Value == FScroller)
        return;
    FScroller = Value;
    Invalidate();
}

bool TRadioDisplay::DPSTimerTimer(bool Connected)
{
    if (!FScroller || !Connected)
        return false;
    // Only a frame that differs from the one shown is drawn: a PS that does
    // not scroll costs no repaint at every tick.
    const std::string Before = FScroller->LastScrollStr();
    if (FScroller->ScrollStr() != Before || !FBufferValid)
        Invalidate();
    return true;
}

void TRadioDisplay::pb32radioPaintBuffer()
{
    FBuffer.fill(0xFFFFFFFFu);
    {
        QPainter p(&FBuffer);
        if (!radiobg.isNull())
            p.drawImage(0, 0, radiobg);
    }
    if (FScroller)
        CF->DrawString(kTextX, kTextY, FBuffer, FScroller->LastScrollStr(), 0xFFFFFFFFu);
    FBufferValid = true;
}

void TRadioDisplay::Invalidate()
{
    FBufferValid = false;
    update();
}

void TRadioDisplay::paintEvent(QPaintEvent* event)
{
    if (!FBufferValid)
        pb32radioPaintBuffer();
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(event->rect(), FBuffer, event->rect());
}
