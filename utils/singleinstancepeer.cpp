#include "utils/singleinstancepeer.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QThread>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Messages are a 32-bit big-endian length and that many UTF-8 bytes; the receiver answers with
// one byte once it has the whole message.
constexpr quint32 MaxMessageSize = 64 * 1024;
constexpr char Ack = 'A';

QString userIdentity()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user + QLatin1Char('|') + QDir::homePath();
}

#ifdef Q_OS_UNIX
// A socket's path must fit into the address the system passes it in (108 bytes on Linux, 104 on
// others), with the name of ours appended.
constexpr int MaxFolderLength = 50;

// The user's own folder that no one else may enter: the rules of the runtime folder.
bool isPrivate(const QString &folder)
{
    const QFileInfo info(folder);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    return info.isDir() && info.ownerId() == uint(geteuid()) && !(info.permissions() & others) &&
           folder.toLocal8Bit().size() <= MaxFolderLength;
}

// Made with the owner's rights only, unless it is there already (then it must be private).
QString ownFolder(const QString &path)
{
    if (!QFileInfo::exists(path) && QDir().mkpath(path))
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
    return isPrivate(path) ? path : QString();
}
#endif

} // namespace

QString SingleInstancePeer::privateFolder()
{
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivate(runtime))
        return runtime;
    // Another user may have made this name first; the cache folder below the home is then ours.
    const QString own = ownFolder(
        QDir::temp().absoluteFilePath(QStringLiteral("tessaro-runtime-%1").arg(geteuid())));
    if (!own.isEmpty())
        return own;
    // Not through the standard paths, which tests move: every instance must find the same one.
    QString cacheHome = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cacheHome))
        cacheHome = QDir::homePath() + QStringLiteral("/.cache");
    const QString cache = ownFolder(cacheHome + QStringLiteral("/tessaro-runtime"));
    if (!cache.isEmpty())
        return cache;
    qWarning("SingleInstancePeer: no folder of the user's own for the instance lock");
    return QDir::tempPath();
#else
    return QDir::tempPath();
#endif
}

class SingleInstancePeer::Private
{
public:
    QString name;
    QString folder;
    QScopedPointer<QLockFile> lock;
    QLocalServer *server = nullptr;
    enum
    {
        Undecided,
        Server,
        Client
    } role = Undecided;
};

SingleInstancePeer::SingleInstancePeer(const QString &id, QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    // Local socket names are global on some platforms, and the id may hold any characters: a hash
    // keeps the name short, valid and different for every user.
    const QByteArray hash =
        QCryptographicHash::hash((id + QLatin1Char('|') + userIdentity()).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    QString prefix = id;
    prefix.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    d->name = prefix.left(32) + QLatin1Char('-') + QString::fromLatin1(hash);
    d->folder = privateFolder();
#ifdef Q_OS_UNIX
    // A path: the socket lives in the private folder too, not in the shared temporary folder.
    d->name = d->folder + QLatin1Char('/') + d->name;
#endif
}

SingleInstancePeer::~SingleInstancePeer()
{
    if (d->server)
        d->server->close();
    if (d->lock)
        d->lock->unlock();
}

QString SingleInstancePeer::serverName() const
{
    return d->name;
}

QString SingleInstancePeer::lockFileName() const
{
    return d->folder + QLatin1Char('/') + QFileInfo(d->name).fileName() + QStringLiteral(".lock");
}

bool SingleInstancePeer::isClient()
{
    if (d->role != Private::Undecided)
        return d->role == Private::Client;

    d->lock.reset(new QLockFile(lockFileName()));
    // A running instance keeps its lock for days; only a lock whose owner has died may be taken
    // over, never one that is merely old.
    d->lock->setStaleLockTime(0);
    if (!d->lock->tryLock(0)) {
        d->role = Private::Client;
        return true;
    }

    d->role = Private::Server;
    // We own the lock, so a socket left behind can only be a crashed instance's.
    QLocalServer::removeServer(d->name);
    d->server = new QLocalServer(this);
    d->server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!d->server->listen(d->name)) {
        qWarning("SingleInstancePeer::isClient: cannot listen on %s: %s", qPrintable(d->name),
                 qPrintable(d->server->errorString()));
        return false;
    }
    connect(d->server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = d->server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->bytesAvailable() < 4)
                    return;
                uchar header[4];
                socket->peek(reinterpret_cast<char *>(header), 4);
                const quint32 size = qFromBigEndian<quint32>(header);
                if (size > MaxMessageSize) {
                    qWarning("SingleInstancePeer: message of %u bytes refused", size);
                    socket->abort();
                    return;
                }
                if (socket->bytesAvailable() < qint64(4 + size))
                    return;
                socket->read(4);
                const QString message = QString::fromUtf8(socket->read(size));
                socket->write(&Ack, 1);
                socket->flush();
                emit messageReceived(message);
            });
        }
    });
    return false;
}

bool SingleInstancePeer::sendMessage(const QString &message, int timeout)
{
    if (!isClient())
        return false;

    const QByteArray payload = message.toUtf8();
    if (quint32(payload.size()) > MaxMessageSize)
        return false;

    QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    // The running instance may be between taking the lock and listening: try until the deadline.
    forever
    {
        socket.connectToServer(d->name);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }

    uchar header[4];
    qToBigEndian<quint32>(quint32(payload.size()), header);
    socket.write(reinterpret_cast<const char *>(header), 4);
    socket.write(payload);
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() ||
            !socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    char answer = 0;
    socket.read(&answer, 1);
    socket.disconnectFromServer();
    return answer == Ack;
}
