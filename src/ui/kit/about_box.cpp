#include "ui/kit/about_box.h"

#include <QLabel>

#include "ui/kit/splash.h"

void ArrangeAboutItems(TSplash& About, const QFont& Face, const QList<TAboutItem>& Items)
{
    int y = About.height();
    int x = 15;
    for (int i = 0; i < Items.size(); ++i) {
        QWidget* c = Items[i].Control;
        const unsigned flags = Items[i].Flags;
        c->setParent(&About);
        if (auto* l = qobject_cast<QLabel*>(c)) {
            // The main window's face with the label's own style (underline).
            QFont f = Face;
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
