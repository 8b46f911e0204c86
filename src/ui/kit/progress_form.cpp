#include "ui/kit/progress_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>

#include "ui/kit/fonts.h"

namespace {
constexpr int SideMargin = 8;
constexpr int OuterMargin = 8;
constexpr int MemoHeight = 120;
const TPFExPart PartOrder[] = {pfpMemo, pfpLabel, pfpProgress, pfpProgress1, pfpCancel};
} // namespace

TProgressFormEx::TProgressFormEx(QWidget* AOwner)
    : QWidget(AOwner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setFont(WindowFont());
    resize(FormWidth, 260);

    infoMemo = new QPlainTextEdit(this);
    infoMemo->setReadOnly(true);
    InfoLabel = new QLabel(this);
    InfoLabel->setWordWrap(true);
    ProgressBar = new QProgressBar(this);
    ProgressBar1 = new QProgressBar(this);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    Controls = {infoMemo, InfoLabel, ProgressBar, ProgressBar1, btnCancel};
    for (QWidget* c : Controls) {
        c->hide();
        FMargins.append(Margins {});
    }
    connect(btnCancel, &QPushButton::clicked, this, [this] { Status = true; });
    // A session that is ending may close the window.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { AllowClose = true; });
    SetParts(pfpLabel | pfpProgress);
}

QWidget* TProgressFormEx::PartControl(TPFExPart Part) const
{
    switch (Part) {
    case pfpMemo:
        return infoMemo;
    case pfpLabel:
        return InfoLabel;
    case pfpProgress:
        return ProgressBar;
    case pfpProgress1:
        return ProgressBar1;
    case pfpCancel:
        return btnCancel;
    }
    return nullptr;
}

void TProgressFormEx::SetParts(TPFExParts Value)
{
    FParts = Value;
    int first = -1, last = -1;
    for (int i = 0; i < Controls.size(); ++i) {
        const bool on = (FParts & PartOrder[i]) != 0;
        Controls[i]->setVisible(on);
        FMargins[i] = Margins {};
        if (on) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first >= 0) {
        FMargins[first].Top = OuterMargin;
        FMargins[last].Bottom = OuterMargin;
    }
    Relayout();
    update();
    if (ShowedFrom)
        DoCenter(ShowedFrom);
}

void TProgressFormEx::Relayout()
{
    // Parts stack from the top in creation order, each as wide as the window
    // less the side margins; the window's height follows its visible parts
    // (an empty window keeps just its frame).
    const int innerWidth = FormWidth - 2 * FrameWidth - 2 * SideMargin;
    int y = FrameWidth;
    for (int i = 0; i < Controls.size(); ++i) {
        QWidget* c = Controls[i];
        if (!c->isVisibleTo(this))
            continue;
        y += FMargins[i].Top;
        const int h = c == infoMemo ? MemoHeight : c->sizeHint().height();
        c->setGeometry(FrameWidth + SideMargin, y, innerWidth, h);
        y += h + FMargins[i].Bottom;
    }
    setFixedSize(FormWidth, y + FrameWidth);
}

void TProgressFormEx::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setBrush(QColor(0, 0, 255));
    p.drawRect(r.adjusted(2, 2, -2, -2));
    p.setBrush(palette().window());
    p.drawRect(r.adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth));
}

void TProgressFormEx::closeEvent(QCloseEvent* e)
{
    if (AllowClose)
        e->accept();
    else
        e->ignore();
}

void TProgressFormEx::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (OnShow)
        OnShow();
}

void TProgressFormEx::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    if (OnHide)
        OnHide();
}

void TProgressFormEx::DoModalShow(QWidget* FromOwner)
{
    ShowedFrom = FromOwner;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    show();
    raise();
    activateWindow();
    // Every other visible, enabled window of the program is disabled until
    // DoModalHide gives it back.
    WindowList.clear();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible() || !w->isEnabled())
            continue;
        w->setEnabled(false);
        WindowList.append(w);
    }
    setEnabled(true);
    setFocus();
    DoCenter(FromOwner);
    repaint();
    Status = false;
}

void TProgressFormEx::DoModalHide()
{
    for (const QPointer<QWidget>& w : WindowList) {
        if (w)
            w->setEnabled(true);
    }
    WindowList.clear();
    hide();
    ShowedFrom = nullptr;
}

void TProgressFormEx::DoCenter(QWidget* FromOwner)
{
    QRect ref;
    if (FromOwner) {
        ref = FromOwner->frameGeometry();
    } else if (const QScreen* s = QGuiApplication::primaryScreen()) {
        ref = QRect(0, 0, s->geometry().width(), s->geometry().height());
    }
    QPoint pos = this->pos();
    const bool top = FAnchors.testFlag(Qt::TopEdge), bottom = FAnchors.testFlag(Qt::BottomEdge);
    const bool left = FAnchors.testFlag(Qt::LeftEdge), right = FAnchors.testFlag(Qt::RightEdge);
    if (top && bottom)
        pos.setY(ref.top() + (ref.height() - height()) / 2);
    else if (top)
        pos.setY(ref.top());
    else if (bottom)
        pos.setY(ref.top() + ref.height() - height());
    if (left && right)
        pos.setX(ref.left() + (ref.width() - width()) / 2);
    else if (left)
        pos.setX(ref.left());
    else if (right)
        pos.setX(ref.left() + ref.width() - width());
    move(pos);
}
