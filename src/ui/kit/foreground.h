#pragma once
// Bringing the program's window to the front, and the hook the single-instance
// guard calls when a second copy asks the running one to come forward.
#include <QPointer>
#include <QWidget>
#include <functional>

// Restores Window when minimised and raises and asks the window system to
// activate it; true when it already is the active window (activation is
// answered later, from the event loop).
bool ForceForegroundWindow(QWidget* Window);

// Called on the user-interface thread when a restore request arrives; empty
// until the main window installs its action.
extern std::function<void()> RestoreRequestHandler;
// The window the hook belongs to (set together with the hook).
extern QPointer<QWidget> RestoreRequestWindow;
