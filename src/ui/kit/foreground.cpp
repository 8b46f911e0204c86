#include "ui/kit/foreground.h"

#include <QApplication>
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
    // Activation goes through the window system and is answered later. No
    // event loop runs here to wait for it: whoever asked (a socket handler,
    // a timer) would be re-entered, and could be freed under itself.
    return Window->isActiveWindow();
}
