// The web server as a child process, and what differs between platforms about running it: it goes
// down with the program even when the program is killed, and whether its workers run as a user
// other than the program's (nginx started by root hands its connections to an unprivileged user).
#pragma once

#include <QProcess>

class TsWebServerProcess : public QProcess
{
    Q_OBJECT

public:
    explicit TsWebServerProcess(QObject *parent = nullptr);

    // True when the server's workers will not run as the program's own user, so that the pages
    // must be readable by anyone.
    static bool workersRunAsOtherUser();
    // True when a user without any privilege can reach and read every file below path.
    static bool readableByAnyone(const QString &path);

    // The master leads a process group of its own that its workers share: a worker whose master
    // was killed still holds the port, and is found and ended through the group. Ends every
    // process left in the group of a master with that pid (only nginx processes are taken for
    // one); returns how many were there.
    static int endGroup(qint64 masterPid);
    // The pid a pid file names; 0 when there is none or it is no number.
    static qint64 pidInFile(const QString &path);
    static bool processExists(qint64 pid);

    // Runtime folders (pattern in parent, e.g. "tessaro-web-*") of earlier runs whose program no
    // longer runs: the nginx left in one is ended, then the folder is removed. The program's pid
    // is in ownerFile of each folder; a folder without one counts as stale once its nginx is gone
    // and it is older than a minute. Returns the folders removed.
    static QStringList removeStaleRuntimeFolders(const QString &parent, const QString &pattern,
                                                 const QString &ownerFile, const QString &pidFile);

protected:
    void setupChildProcess() override;
};
