#include "app/single_instance.h"

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

QString RuntimeFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

// Serves one connection: a restore request calls the hook when it is set and
// is otherwise ignored.
void ServeConnection(QLocalSocket* socket)
{
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
        while (socket->canReadLine()) {
            if (socket->readLine() != RestoreRequest)
                continue;
            ++GRequests;
            if (RestoreRequestHandler)
                RestoreRequestHandler();
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
void SendRestoreRequest(const QString& socketPath)
{
    constexpr int StepMs = 100;
    QLocalSocket socket;
    socket.connectToServer(socketPath, QIODevice::WriteOnly);
    if (!socket.waitForConnected(StepMs))
        return;
    socket.write(RestoreRequest);
    socket.waitForBytesWritten(StepMs);
    // The request sits in the kernel's buffer; the peer reads it after we close.
    socket.abort();
}

} // namespace

bool IsFirstInstance()
{
    return IsFirstInstance(QString::fromLatin1(SingleInstanceGuardName));
}

bool IsFirstInstance(const QString& GuardName)
{
    if (GLockFd >= 0)
        return GFailures == 0; // already guarding
    const QString base = RuntimeFolder() + QLatin1Char('/') + GuardName;
    const QString socketPath = base + QStringLiteral(".sock");
    const QByteArray lockPath = QFile::encodeName(base + QStringLiteral(".lock"));

    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        GFailures |= sifLockFailed;
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            SendRestoreRequest(socketPath); // another copy runs
        } else {
            GFailures |= sifLockFailed;
        }
        return false;
    }
    GLockFd = fd;

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
