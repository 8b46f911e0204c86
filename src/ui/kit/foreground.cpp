#include "ui/kit/foreground.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QWindow>

std::function<void()> RestoreRequestHandler;
QPointer<QWidget> RestoreRequestWindow;

bool ForceForegroundWindow(QWidget* Window)
{
    if (!Window)
        return false;
    if (Window->isMinimized())
        Window->setWindowState(Window->windowState() & ~Qt::WindowMinimized);
    if (!Window->isVisible())
        Window->show();
    if (Window->isActiveWindow())
        return true;
    Window->raise();
    Window->activateWindow();
    // Activation goes through the window system; give it a short while to
    // answer before reporting the outcome.
    QDeadlineTimer deadline(200);
    while (!Window->isActiveWindow() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Window->isActiveWindow();
}
