#include "support/qt_wait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

bool WaitFor(const std::function<bool()>& Cond, int TimeoutMs)
{
    QDeadlineTimer Deadline(TimeoutMs);
    while (!Cond()) {
        if (Deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
