#include "ui/kit/overlay.h"

#include <QEnterEvent>
#include <QGroupBox>
#include <QMouseEvent>
#include <QVariant>
#include <algorithm>

int GetHelpContext(const QObject* Control)
{
    return Control ? Control->property(kHelpContextProperty).toInt() : 0;
}

void SetHelpContext(QObject* Control, int Value)
{
    if (Control)
        Control->setProperty(kHelpContextProperty, Value);
}

// ---- TClickImage --------------------------------------------------------------

TClickImage::TClickImage(QWidget* Parent) : QLabel(Parent)
{
}

void TClickImage::SetPicture(const QImage& Image)
{
    FPicture = Image;
    setPixmap(QPixmap::fromImage(Image));
}

void TClickImage::mousePressEvent(QMouseEvent* Event)
{
    FPressed = Event->button() == Qt::LeftButton;
    Event->accept();
}

void TClickImage::mouseReleaseEvent(QMouseEvent* Event)
{
    const bool click = FPressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
    FPressed = false;
    Event->accept();
    if (click && OnClick)
        OnClick(this);
}

void TClickImage::enterEvent(QEnterEvent* Event)
{
    QLabel::enterEvent(Event);
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TClickImage::leaveEvent(QEvent* Event)
{
    QLabel::leaveEvent(Event);
    if (OnMouseLeave)
        OnMouseLeave(this);
}

QImage TImageList::Picture(int Index) const
{
    if (Index < 0 || Index >= Count())
        return {};
    return Sheet.copy(Index * Width, 0, Width, Height);
}

// ---- TOverlayPanel --------------------------------------------------------------

namespace {

// The y of a group box's top frame line under a marker at column X: the
// box's own "FrameLine" when it reports one, else the first row its style
// paints in that column (styles differ widely in where they put the frame).
int GroupBoxFrameLine(QGroupBox* Box, int X)
{
    const QVariant own = Box->property(kFrameLineProperty);
    if (own.isValid())
        return own.toInt();
    if (Box->width() <= 0 || Box->height() <= 0 || X < 0 || X >= Box->width())
        return 0;
    QImage img(Box->size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    Box->render(&img, QPoint(), QRegion(), QWidget::RenderFlags());
    for (int y = 0; y < img.height(); ++y)
        if (qAlpha(img.pixel(X, y)) > 0)
            return y;
    return 0;
}

} // namespace

TOverlayPanel::TOverlayPanel(QWidget* Parent, QWidget* RefControl) : QWidget(Parent), FRefControl(RefControl)
{
    // Paints nothing of its own: the control below shows through.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    UpdateHitArea();
}

TOverlayPanel::~TOverlayPanel() = default;

POverlayImageInfo TOverlayPanel::AddImage(
    int ID, const TImageList& Src, int SrcIdx, TNotifyEvent OnClick, TNotifyEvent OnME, TNotifyEvent OnML)
{
    POverlayImageInfo info = FindImageByID(ID);
    if (!info) {
        Imgs.push_back(std::make_unique<TOverlayImageInfo>());
        info = Imgs.back().get();
        info->ID = ID;
        info->Img = new TClickImage(this);
        info->Img->installEventFilter(this);
        info->Img->show();
    }
    info->Img->resize(Src.Width, Src.Height);
    info->Src = &Src;
    info->SrcIdx = SrcIdx;
    info->Img->SetPicture(Src.Picture(SrcIdx));
    info->Img->OnClick = std::move(OnClick);
    info->Img->OnMouseEnter = std::move(OnME);
    info->Img->OnMouseLeave = std::move(OnML);
    ArrangeImages();
    return info;
}

POverlayImageInfo TOverlayPanel::FindImageByID(int ID) const
{
    for (const auto& i : Imgs)
        if (i->ID == ID)
            return i.get();
    return nullptr;
}

POverlayImageInfo TOverlayPanel::FindHitImage() const
{
    for (const auto& i : Imgs)
        if (i->ID == 1 && i->Img->isVisibleTo(const_cast<TOverlayPanel*>(this)))
            return i.get();
    return nullptr;
}

POverlayImageInfo TOverlayPanel::Image(int Index) const
{
    if (Index < 0 || Index >= ImageCount())
        return nullptr;
    return Imgs[Index].get();
}

void TOverlayPanel::ArrangeImages()
{
    int x = width() - 5;
    // On a group box the markers sit centred on the frame's top line.
    auto* box = qobject_cast<QGroupBox*>(FRefControl);
    const int line = box ? GroupBoxFrameLine(box, box->width() - 9) : 0;
    for (const auto& i : Imgs) {
        if (!i->Img->isVisibleTo(this))
            continue;
        x -= i->Img->width();
        i->Img->move(x, box ? std::max(0, line - (i->Img->height() - 1) / 2) : 0);
        x -= 2;
    }
    UpdateHitArea();
    update();
}

void TOverlayPanel::SetEnabled(bool Value)
{
    setEnabled(Value);
    for (const auto& i : Imgs)
        i->Img->setEnabled(Value);
    UpdateHitArea();
}

void TOverlayPanel::UpdateHitArea()
{
    if (FindHitImage()) {
        setAttribute(Qt::WA_TransparentForMouseEvents, false);
        clearMask();
        return;
    }
    QRegion area;
    for (const auto& i : Imgs)
        if (i->Img->isVisibleTo(this) && i->Img->isEnabled())
            area += i->Img->geometry();
    // An empty mask would mean no mask at all, i.e. the whole panel.
    setAttribute(Qt::WA_TransparentForMouseEvents, area.isEmpty());
    if (area.isEmpty())
        clearMask();
    else
        setMask(area);
}

bool TOverlayPanel::eventFilter(QObject* Watched, QEvent* Event)
{
    switch (Event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::EnabledChange:
        UpdateHitArea();
        if (OnDisabled && AnyDisabled())
            OnDisabled();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(Watched, Event);
}

void TOverlayPanel::changeEvent(QEvent* Event)
{
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::EnabledChange && OnDisabled && AnyDisabled())
        OnDisabled();
}

bool TOverlayPanel::AnyDisabled() const
{
    if (testAttribute(Qt::WA_ForceDisabled))
        return true;
    for (const auto& i : Imgs)
        if (i->Img->testAttribute(Qt::WA_ForceDisabled))
            return true;
    return false;
}

void TOverlayPanel::paintEvent(QPaintEvent*)
{
}

// The panel itself receives the mouse only while it holds a hit image; it
// passes the action on to that image's own handler.
void TOverlayPanel::mousePressEvent(QMouseEvent* Event)
{
    FPressed = Event->button() == Qt::LeftButton;
    Event->accept();
}

void TOverlayPanel::mouseReleaseEvent(QMouseEvent* Event)
{
    const bool click = FPressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
    FPressed = false;
    Event->accept();
    if (!click)
        return;
    if (POverlayImageInfo hit = FindHitImage(); hit && hit->Img->OnClick)
        hit->Img->OnClick(hit->Img);
}

void TOverlayPanel::enterEvent(QEnterEvent* Event)
{
    QWidget::enterEvent(Event);
    if (POverlayImageInfo hit = FindHitImage(); hit && hit->Img->OnMouseEnter)
        hit->Img->OnMouseEnter(hit->Img);
}

void TOverlayPanel::leaveEvent(QEvent* Event)
{
    QWidget::leaveEvent(Event);
    if (POverlayImageInfo hit = FindHitImage(); hit && hit->Img->OnMouseLeave)
        hit->Img->OnMouseLeave(hit->Img);
}

// ---- TOverlayManager ----------------------------------------------------------

TOverlayManager::TOverlayManager()
{
    FRefresh.setInterval(500);
    QObject::connect(&FRefresh, &QTimer::timeout, [this] { Refresh(); });
}

TOverlayManager::~TOverlayManager()
{
    FRefresh.stop();
    for (auto& p : FPanels)
        delete p.second.data();
    FPanels.clear();
}

TOverlayPanel* TOverlayManager::FindPanel(QWidget* AControl) const
{
    for (const auto& p : FPanels)
        if (p.first == AControl)
            return p.second;
    return nullptr;
}

TOverlayPanel* TOverlayManager::AddPanel(QWidget* AControl)
{
    if (!AControl)
        return nullptr;
    TOverlayPanel* panel = FindPanel(AControl);
    if (!panel) {
        // A top-level control has no sibling to lie over: the panel goes inside it.
        QWidget* parent = AControl->parentWidget() ? AControl->parentWidget() : AControl;
        panel = new TOverlayPanel(parent, AControl);
        panel->OnDisabled = [this] {
            if (!FRefresh.isActive())
                FRefresh.start();
        };
        FPanels.emplace_back(AControl, panel);
    }
    const bool inside = panel->parentWidget() == AControl;
    panel->setGeometry(inside ? 0 : AControl->x(), inside ? 0 : AControl->y(), AControl->width(), AControl->height());
    panel->show();
    panel->raise();
    panel->ArrangeImages();
    return panel;
}

TOverlayPanel* TOverlayManager::GetPanel(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FPanels[Index].second;
}

void TOverlayManager::Refresh()
{
    // Markers that something disabled are enabled and drawn again. Markers
    // as they should be need nothing: the window system draws a panel over
    // its control whenever the control is drawn, so redrawing them here would
    // only repaint every group box twice a second for nothing.
    for (const auto& p : FPanels) {
        TOverlayPanel* panel = p.second;
        if (!panel || !panel->isVisible())
            continue;
        // Disabled by a call (not by a disabled parent, which this cannot undo).
        if (!panel->AnyDisabled())
            continue;
        panel->SetEnabled(true);
        panel->update();
    }
    FRefresh.stop();
}
