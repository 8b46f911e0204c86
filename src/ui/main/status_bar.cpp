#include "ui/main/status_bar.h"

#include <QPainter>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

QString FirstLine(const QString& Text)
{
    return Text.section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

QColor ToolkitColour(std::uint32_t Value)
{
    return QColor(
        static_cast<int>(Value & 0xFF), static_cast<int>((Value >> 8) & 0xFF), static_cast<int>((Value >> 16) & 0xFF));
}

TStatusBar::TStatusBar(QWidget* Parent) : QWidget(Parent), FFlashTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("StatusBar1"));
    FFlashTimer->setInterval(500);
    connect(FFlashTimer, &QTimer::timeout, this, &TStatusBar::FlashStep);
}

void TStatusBar::FlashStep()
{
    FInfo.Inverse = !FInfo.Inverse;
    update();
}

int TStatusBar::StatusRoom() const
{
    QFont Bold = font();
    Bold.setBold(true);
    const QFontMetrics Metrics(Bold);
    return std::max(Metrics.horizontalAdvance(QStringLiteral("ttyUSB0: Disconnected from Device")),
               Metrics.horizontalAdvance(FInfo.Text))
        + 12;
}

QRect TStatusBar::PanelRect(int Panel) const
{
    const int h = height();
    const int Room = width() - VersionWidth - 4;
    const int Hint = std::clamp(Room - StatusRoom(), std::clamp(Room, 0, HintMin), HintWidth);
    switch (Panel) {
    case 0:
        return QRect(0, 0, Hint, h);
    case 1:
        return QRect(Hint + 2, 0, VersionWidth, h);
    default: {
        const int x = Hint + 2 + VersionWidth + 2;
        return QRect(x, 0, std::max(50, width() - x), h);
    }
    }
}

void TStatusBar::SetInitialStatus(const QString& Text, std::uint32_t Fore, std::uint32_t Back)
{
    FInfo = {Text, Fore, Back, false, false};
    update();
}

void TStatusBar::ShowStatus(const QString& Word, std::uint32_t Fore, std::uint32_t Back, bool Flash)
{
    FFlashTimer->stop();
    FWord = Word;
    FInfo.Fore = Fore;
    FInfo.Back = Back;
    FInfo.Inverse = false;
    update(PanelRect(2));
    if (Flash)
        FFlashTimer->start();
}

void TStatusBar::SetNote(TStatusNote Which, const QString& Text)
{
    FNotes[Which] = Text;
}

QString TStatusBar::Note() const
{
    for (const QString& N : FNotes)
        if (!N.isEmpty())
            return FirstLine(N);
    return QString();
}

QString TStatusBar::Detail() const
{
    QStringList Parts;
    for (const QString& N : FNotes)
        if (!N.isEmpty())
            Parts << QString(N).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return Parts.join(QStringLiteral("\n\n"));
}

void TStatusBar::Render(const QString& Port, const TScriptProgress& Progress, const QString& Problem)
{
    QString Text = FWord.isEmpty() ? FInfo.Text : FWord;
    QString Short = Note();
    QString Full = Detail();
    if (!Problem.isEmpty()) {
        if (Short.isEmpty())
            Short = FirstLine(Problem);
        Full = Full.isEmpty() ? Problem : Full + QStringLiteral("\n\n") + Problem;
    }
    switch (Progress.Script) {
    case scRead:
        Text = Port + QStringLiteral(": Reading %1/%2").arg(Progress.Step).arg(Progress.Total);
        break;
    case scWrite:
        Text = Port + QStringLiteral(": Writing %1 of %2").arg(Progress.Step).arg(Progress.Total);
        break;
    case scFactoryReset:
        Text = Port + QStringLiteral(": Resetting");
        break;
    case scClockRefresh:
    case scNone:
        if (!Short.isEmpty())
            Text += QStringLiteral(" - ") + Short;
        break;
    }
    if (Text == FInfo.Text && Full == toolTip())
        return;
    FInfo.Text = Text;
    setToolTip(Full);
    // The panels' widths follow the text.
    update();
}

void TStatusBar::DrawStatus(QPainter& Canvas, const QRect& Rect) const
{
    QColor Fill = ToolkitColour(FInfo.Back);
    QColor Line = ToolkitColour(FInfo.Fore);
    if (FInfo.Inverse)
        std::swap(Fill, Line);
    Canvas.fillRect(Rect, Fill);
    Canvas.setPen(Line);
    Canvas.drawRect(Rect.adjusted(0, 0, -1, -1));
    const int TextHeight = Canvas.fontMetrics().height();
    Canvas.drawText(
        QPoint(Rect.left() + 5, Rect.top() + (Rect.height() - TextHeight) / 2 + Canvas.fontMetrics().ascent()),
        FInfo.Text);
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect hint = PanelRect(0);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(hint.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(hint.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, Hint);
    // The version and the status in bold.
    QFont Bold = p.font();
    Bold.setBold(true);
    p.setFont(Bold);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(PanelRect(1), Qt::AlignCenter, VersionText);
    DrawStatus(p, PanelRect(2));
}
