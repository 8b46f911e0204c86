#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

const char* const SingleInstanceGuardName = "QUORLINETRELL_ONEINSTANCE";

namespace {

const QByteArray RestoreRequest = QByteArrayLiteral("RESTORE\n");

int GLockFd = -1;
QPointer<QLocalServer> GServer;
unsigned GFailures = 0;
int GRequests = 0;
bool GRequestSent = false;
qint64 GRunningPid = 0;

QString RuntimeFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

// The graphical session this copy shows its windows in: the Wayland socket
// when there is one, else the X display without its screen number. Copies on
// different displays of one user are different copies.
QString SessionKey()
{
    QString session = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!session.isEmpty()) {
        session.prepend(QStringLiteral("wayland-"));
    } else {
        session = qEnvironmentVariable("DISPLAY");
        const int colon = session.lastIndexOf(QLatin1Char(':'));
        const int dot = session.indexOf(QLatin1Char('.'), colon + 1);
        if (colon >= 0 && dot > colon)
            session.truncate(dot);
        session = session.isEmpty() ? QStringLiteral("nodisplay") : QStringLiteral("x11-") + session;
    }
    for (QChar& c : session) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    return session;
}

// Serves one connection: a restore request that arrives while the hook is set
// runs it from the event loop once this handler has returned (the hook may
// show windows and serve events, which must not happen while the socket is
// being read: its disconnection would free it under the reader). A request
// that arrives before the hook is set is ignored.
void ServeConnection(QLocalSocket* socket)
{
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
        while (socket->canReadLine()) {
            if (socket->readLine() != RestoreRequest)
                continue;
            ++GRequests;
            if (!RestoreRequestHandler)
                continue;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [] {
                    if (RestoreRequestHandler)
                        RestoreRequestHandler();
                },
                Qt::QueuedConnection);
        }
    });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0)
        emit socket->readyRead();
}

// Sends the restore request to the running copy: one attempt, each step
// bounded, so that a running copy that is hung or busy (its socket missing, or
// its queue of pending connections full) never holds this copy up. A copy
// still between taking the lock and listening is starting and shows its own
// window, so there is nothing to retry for.
bool SendRestoreRequest(const QString& socketPath)
{
    constexpr int StepMs = 100;
    QLocalSocket socket;
    socket.connectToServer(socketPath, QIODevice::WriteOnly);
    if (!socket.waitForConnected(StepMs))
        return false;
    socket.write(RestoreRequest);
    const bool written = socket.waitForBytesWritten(StepMs) || socket.bytesToWrite() == 0;
    // The request sits in the kernel's buffer; the peer reads it after we close.
    socket.abort();
    return written;
}

// The process id the running copy wrote into the lock file; 0 when unknown.
qint64 ReadRunningPid(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    bool ok = false;
    const qint64 pid = QByteArray(text, n).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

void WriteOwnPid(int fd)
{
    const QByteArray text = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, text.constData(), static_cast<size_t>(text.size()), 0);
}

} // namespace

QString SingleInstanceFileBase(const QString& GuardName)
{
    return RuntimeFolder() + QLatin1Char('/') + GuardName + QLatin1Char('-') + SessionKey();
}

bool IsFirstInstance()
{
    return IsFirstInstance(QString::fromLatin1(SingleInstanceGuardName));
}

bool IsFirstInstance(const QString& GuardName)
{
    if (GLockFd >= 0)
        return GFailures == 0; // already guarding
    GRequestSent = false;
    GRunningPid = 0;
    const QString base = SingleInstanceFileBase(GuardName);
    const QString socketPath = base + QStringLiteral(".sock");
    const QByteArray lockPath = QFile::encodeName(base + QStringLiteral(".lock"));

    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        GFailures |= sifLockFailed;
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK)
            GRunningPid = ReadRunningPid(fd);
        ::close(fd);
        if (err == EWOULDBLOCK) {
            GRequestSent = SendRestoreRequest(socketPath); // another copy runs
        } else {
            GFailures |= sifLockFailed;
        }
        return false;
    }
    GLockFd = fd;
    WriteOwnPid(fd);

    // The lock is ours, so any socket file left there belongs to a copy that
    // has ended.
    QLocalServer::removeServer(socketPath);
    auto* server = new QLocalServer();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath)) {
        delete server;
        GFailures |= sifListenFailed;
        return false;
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server] {
        while (QLocalSocket* s = server->nextPendingConnection())
            ServeConnection(s);
    });
    GServer = server;
    return GFailures == 0;
}

bool RestoreRequestSent()
{
    return GRequestSent;
}

qint64 RunningCopyPid()
{
    return GRunningPid;
}

int RestoreRequestsReceived()
{
    return GRequests;
}

unsigned SingleInstanceFailures()
{
    return GFailures;
}

void FinalizeSingleInstance()
{
    if (GServer) {
        GServer->close();
        delete GServer.data();
    }
    GServer = nullptr;
    if (GLockFd >= 0) {
        ::close(GLockFd); // closing the descriptor drops the lock
        GLockFd = -1;
    }
    GFailures = 0;
}
