#include "ui/kit/control_walk.h"

#include <QPointer>
#include <QWidget>

namespace {

QList<QPointer<QWidget>> ChildWidgets(QWidget* w)
{
    QList<QPointer<QWidget>> out;
    for (QObject* o : w->children()) {
        if (o->isWidgetType())
            out.append(static_cast<QWidget*>(o));
    }
    return out;
}

void Walk(QWidget* Root, const std::function<void(QWidget*)>& Callback)
{
    // Guarded pointers: a callback that deletes a control must not leave the
    // walk holding a dangling one.
    const QList<QPointer<QWidget>> kids = ChildWidgets(Root);
    for (const QPointer<QWidget>& child : kids) {
        if (!child)
            continue;
        Walk(child, Callback);
        if (child)
            Callback(child);
    }
}

} // namespace

void SetControlsEnabled(QWidget* AControl, bool AEnabled, bool IncludeSelf)
{
    if (!AControl)
        return;
    // setEnabled on each widget, not only on the container: every child keeps
    // the state given here as its own, so a child disabled here stays disabled
    // when its container alone is enabled again.
    Walk(AControl, [AEnabled](QWidget* w) { w->setEnabled(AEnabled); });
    if (IncludeSelf)
        AControl->setEnabled(AEnabled);
}

void ForEachControl(QWidget* Root, const std::function<void(QWidget*)>& Callback)
{
    if (!Root || !Callback)
        return;
    if (ChildWidgets(Root).isEmpty()) {
        Callback(Root);
        return;
    }
    Walk(Root, Callback);
}
