#include "ui/kit/help_manager.h"

#include <QEvent>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>

#include "ui/kit/control_walk.h"

namespace {

// The Hide link: an underlined blue label with click and hover events.
class THideLabel : public QLabel {
public:
    explicit THideLabel(QWidget* Parent) : QLabel(Parent) { }
    TNotifyEvent OnClick, OnMouseEnter, OnMouseLeave;

protected:
    void mousePressEvent(QMouseEvent* Event) override { Event->accept(); }
    void mouseReleaseEvent(QMouseEvent* Event) override
    {
        Event->accept();
        if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()) && OnClick)
            OnClick(this);
    }
    void enterEvent(QEnterEvent* Event) override
    {
        QLabel::enterEvent(Event);
        if (OnMouseEnter)
            OnMouseEnter(this);
    }
    void leaveEvent(QEvent* Event) override
    {
        QLabel::leaveEvent(Event);
        if (OnMouseLeave)
            OnMouseLeave(this);
    }
};

QString StripControlChars(const QString& Text)
{
    QString out;
    out.reserve(Text.size());
    for (QChar c : Text)
        if (c.unicode() >= 32)
            out += c;
    return out;
}

} // namespace

THelpManager::THelpManager(QWidget* AOwner) : FOwner(AOwner)
{
    FHelpBalloon = new TBalloon(AOwner);
    FHelpBalloon->SetAlignControl(nullptr);
    FHelpBalloon->SetAlignV(blnMiddle);
    FHelpBalloon->SetAlignH(blnCenter);
    FHelpBalloon->SetCaption(QString());
    FHelpBalloon->LoadIcon(QStringLiteral("HELP"));
    FHelpBalloon->SetCaption(QStringLiteral("Help"));

    FImg = new TClickImage(FHelpBalloon);
    FImg->OnClick = [this](QObject* s) { HelpClick(s); };
    FImg->resize(0, 0);
    FHelpBalloon->Adopt(FImg);

    auto* hide = new THideLabel(FHelpBalloon);
    hide->setText(QStringLiteral("Hide"));
    QFont f = hide->font();
    f.setUnderline(true);
    hide->setFont(f);
    QPalette pal = hide->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    hide->setPalette(pal);
    hide->adjustSize();
    hide->OnClick = [this](QObject* s) { HelpClick(s); };
    hide->OnMouseEnter = [this](QObject* s) { HelpMouseEnter(s); };
    hide->OnMouseLeave = [this](QObject* s) { HelpMouseLeave(s); };
    FCloseLabel = hide;
    FHelpBalloon->Adopt(FCloseLabel);
}

THelpManager::~THelpManager()
{
    delete FHelpBalloon.data();
}

void THelpManager::Link()
{
    if (!FOwner)
        return;
    // The walk takes each level's children before visiting them, so marker
    // panels the host adds beside a control are not walked.
    ForEachControl(FOwner, [this](QWidget* w) { LinkControl(w); });
}

void THelpManager::LinkControl(QWidget* Control)
{
    if (!Control || GetHelpContext(Control) <= 0 || !OnAddImage)
        return;
    TClickImage* img = nullptr;
    OnAddImage(Control, img);
    if (!img)
        return;
    SetHelpContext(img, GetHelpContext(Control));
    img->OnClick = [this](QObject* s) { HelpClick(s); };
    img->OnMouseEnter = [this](QObject* s) { HelpMouseEnter(s); };
    img->OnMouseLeave = [this](QObject* s) { HelpMouseLeave(s); };
}

void THelpManager::LoadFromXML(const QDomDocument& XML, const QString& Root)
{
    QDomElement root;
    for (QDomNode n = XML.firstChild(); !n.isNull(); n = n.nextSibling())
        if (n.isElement() && n.nodeName() == Root) {
            root = n.toElement();
            break;
        }
    if (root.isNull())
        return;
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.nodeName() != QLatin1String("Context"))
            continue;
        bool ok = false;
        const int id = e.attribute(QStringLiteral("id")).trimmed().toInt(&ok);
        if (!ok)
            continue; // a context without a numeric id cannot be reached
        auto item = std::make_unique<THelpItem>();
        item->ID = id;
        item->Name = e.attribute(QStringLiteral("name"));
        const QDomNode first = e.firstChild();
        item->Text = StripControlChars(first.isNull() ? QString() : first.nodeValue());
        if (e.hasAttribute(QStringLiteral("width")))
            item->Width = e.attribute(QStringLiteral("width")).trimmed().toInt();
        FHelpItems.push_back(std::move(item));
    }
}

bool THelpManager::LoadFromResource(const QString& Path, const QString& Root)
{
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDomDocument doc;
    if (!doc.setContent(file.readAll()))
        return false;
    LoadFromXML(doc, Root);
    return true;
}

const THelpItem* THelpManager::Context2HI(int HC) const
{
    for (const auto& i : FHelpItems)
        if (i->ID == HC)
            return i.get();
    return nullptr;
}

const THelpItem* THelpManager::Item(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FHelpItems[Index].get();
}

void THelpManager::HelpClick(QObject* Sender)
{
    if (!FHelpBalloon)
        return;
    if (Sender == FCloseLabel || Sender == FImg) {
        FHelpBalloon->hide();
        return;
    }
    auto* marker = qobject_cast<TClickImage*>(Sender);
    if (!marker)
        return;
    FHelpBalloon->SetAlignControl(marker);
    if (const THelpItem* item = Context2HI(GetHelpContext(marker))) {
        FHTMLP.SetHTML(item->Text + QStringLiteral("<br>"));
        TRect r {0, 0, item->Width != 0 ? item->Width : 300, 0};
        const QFont font = FImg->font();
        {
            TQtCanvas measure(font);
            FHTMLP.Draw(measure, r, hpdoNoDraw | hpdoCalc);
        }
        QImage picture(std::max(1, r.Right), std::max(1, r.Bottom), QImage::Format_ARGB32);
        picture.fill(FHelpBalloon->palette().color(QPalette::Window));
        {
            QPainter p(&picture);
            TQtCanvas canvas(font, &p, FHelpBalloon->palette().color(QPalette::WindowText));
            FHTMLP.Draw(canvas, r, 0);
        }
        FImg->resize(r.Right, r.Bottom);
        FImg->SetPicture(picture);
    }
    // A balloon still showing for another marker is laid out anew around the
    // new picture; a hidden one does so on becoming visible.
    if (FHelpBalloon->isVisible())
        FHelpBalloon->UpdatePosition();
    else
        FHelpBalloon->show();
}

void THelpManager::HelpMouseEnter(QObject* Sender)
{
    if (Sender == FCloseLabel)
        FCloseLabel->setCursor(Qt::PointingHandCursor);
    else if (auto* img = qobject_cast<TClickImage*>(Sender))
        img->setCursor(Qt::WhatsThisCursor);
}

void THelpManager::HelpMouseLeave(QObject* Sender)
{
    if (auto* w = qobject_cast<QWidget*>(Sender))
        w->unsetCursor();
}
