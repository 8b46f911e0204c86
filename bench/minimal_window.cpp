// The yardstick of the window's idle cost: a Qt window of the main window's
// size in the same style, with nothing in it, running its event loop until it
// is told to end (SIGTERM). bench/startup.py measures it beside kvxc.
#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int GPipe[2] = {-1, -1};

extern "C" void OnTerm(int)
{
    const char Byte = 1;
    (void)!::write(GPipe[0], &Byte, 1);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, GPipe) != 0)
        return 1;
    QSocketNotifier Term(GPipe[1], QSocketNotifier::Read);
    QObject::connect(&Term, &QSocketNotifier::activated, &app, &QApplication::quit);
    std::signal(SIGTERM, OnTerm);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.resize(873, 584);
    window.show();
    return QApplication::exec();
}
