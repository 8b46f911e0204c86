#include "ui/main/group_box.h"

#include <QEvent>
#include <QPainter>

TGroupBox::TGroupBox(const QString& Caption, QWidget* Parent) : QGroupBox(Caption, Parent)
{
}

void TGroupBox::SetEnabled(bool Value)
{
    update();
    setEnabled(Value);
}

QRect TGroupBox::CaptionRect() const
{
    const QFontMetrics fm = fontMetrics();
    const int w = title().isEmpty() ? 0 : fm.horizontalAdvance(title());
    const int x = layoutDirection() == Qt::RightToLeft ? width() - 8 - w : 8;
    return {x, 0, w, fm.height()};
}

int TGroupBox::FrameLine() const
{
    return fontMetrics().height() / 2;
}

void TGroupBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect caption = CaptionRect();

    // The frame: an etched rounded rectangle, its top line through the
    // caption's middle, left out where the caption sits (with a little air).
    p.save();
    if (!caption.isEmpty())
        p.setClipRegion(QRegion(rect()).subtracted(caption.adjusted(-2, 0, 2, 0)));
    const QColor window = palette().color(QPalette::Active, QPalette::Window);
    const QRectF frame(0.5, FrameLine() + 0.5, width() - 1, height() - FrameLine() - 1);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(isEnabled() ? window.darker(150) : window.darker(125), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame, 2, 2);
    p.setPen(QPen(window.lighter(115), 1));
    p.drawLine(QPointF(1.5, FrameLine() + 1.5), QPointF(width() - 2.5, FrameLine() + 1.5));
    p.restore();

    if (caption.isEmpty())
        return;
    // The disabled caption takes the button-shadow colour.
    p.setPen(isEnabled() ? palette().color(QPalette::Active, QPalette::WindowText)
                         : palette().color(QPalette::Active, QPalette::Dark));
    p.setFont(font());
    p.drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title());
}

void TGroupBox::changeEvent(QEvent* Event)
{
    QGroupBox::changeEvent(Event);
    if (Event->type() == QEvent::EnabledChange || Event->type() == QEvent::FontChange)
        update();
}
