// One side of the conversation between instances of a program run by the same user: the first
// instance takes a lock file and listens on a local socket; a later one finds the lock taken and
// sends its message to the socket.
#pragma once

#include <QObject>
#include <QScopedPointer>

class SingleInstancePeer : public QObject
{
    Q_OBJECT

public:
    // Instances with the same id and user meet; the id is any text.
    explicit SingleInstancePeer(const QString &id, QObject *parent = nullptr);
    ~SingleInstancePeer() override;

    // Whether another instance holds the lock. The first call decides: an instance that gets the
    // lock keeps it for its lifetime and starts listening.
    bool isClient();

    // Sends message to the instance holding the lock and waits up to timeout ms for its receipt.
    bool sendMessage(const QString &message, int timeout);

    // The local socket's name, unique per id and user; on Unix a path in privateFolder().
    QString serverName() const;
    // The lock file, in privateFolder().
    QString lockFileName() const;

    // Where the lock and the socket live: a folder no other local user may enter, so that no one
    // can take the names first and keep the program from starting. On Unix the user's runtime
    // folder (XDG_RUNTIME_DIR) when it is the user's own with mode 0700, else a folder of the
    // program's own in the temporary folder made so, else one in the user's cache folder; on
    // Windows the temporary folder, which is the user's own there.
    static QString privateFolder();

signals:
    void messageReceived(const QString &message);

private:
    class Private;
    QScopedPointer<Private> d;
};
