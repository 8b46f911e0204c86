#pragma once
// One running copy per user and graphical session: the first copy holds an
// exclusive lock on a file in the user's runtime folder, named after the
// session (the Wayland socket, else the X display), writes its process id
// into it and listens on a local socket beside it; a second copy in the same
// session finds the lock taken, asks the first copy to restore and raise its
// window, and ends. The kernel drops the lock with the process, so a copy that
// crashed never blocks the next start.
//
// Call after the QApplication exists (the socket is served by its event loop).
#include <QString>
#include <QtGlobal>

#include "ui/kit/foreground.h" // ForceForegroundWindow, RestoreRequestHandler

extern const char* const SingleInstanceGuardName; // "QUORLINETRELL_ONEINSTANCE"

// Failure bits of the guard's set-up.
enum : unsigned {
    sifListenFailed = 1, // the restore socket could not be served
    sifLockFailed = 2    // the lock file could not be opened or locked
};

// True when this copy is the first one and the guard is fully in place; false
// when another copy runs (after the restore request was sent to it) or when
// setting up the guard failed (then nothing is sent).
bool IsFirstInstance();
bool IsFirstInstance(const QString& GuardName);

unsigned SingleInstanceFailures();

// The lock file and the socket of a guard are this path + ".lock" and ".sock".
QString SingleInstanceFileBase(const QString& GuardName);

// For a second copy: whether the restore request reached the running copy's
// socket, and the running copy's process id (0 when unknown).
bool RestoreRequestSent();
qint64 RunningCopyPid();

// Restore requests this copy has received, served or not.
int RestoreRequestsReceived();

// Releases the lock and stops serving restore requests.
void FinalizeSingleInstance();
