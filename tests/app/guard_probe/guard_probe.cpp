// Helper for the single-instance tests: runs the guard under a given name.
//   guard_probe NAME          exit 0 when first (guard released again), 3 when
//                             second, 4 when the guard could not be set up
//   guard_probe NAME crash    takes the guard and aborts while holding it
//   guard_probe NAME hold     takes the guard, prints "ready", exits 0 on the
//                             first restore request
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/single_instance.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const bool first = IsFirstInstance(QString::fromLocal8Bit(argv[1]));
    if (!first)
        return SingleInstanceFailures() ? 4 : 3;
    const char* mode = argc > 2 ? argv[2] : "";
    if (std::strcmp(mode, "crash") == 0)
        std::abort();
    if (std::strcmp(mode, "hold") == 0) {
        RestoreRequestHandler = [] { QCoreApplication::exit(0); };
        std::printf("ready\n");
        std::fflush(stdout);
        QTimer::singleShot(60000, [] { QCoreApplication::exit(5); });
        const int rc = app.exec();
        FinalizeSingleInstance();
        return rc;
    }
    FinalizeSingleInstance();
    return 0;
}
