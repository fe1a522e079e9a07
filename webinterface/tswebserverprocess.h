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

protected:
    void setupChildProcess() override;
};
