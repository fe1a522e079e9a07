#include "tswebserverprocess.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

TsWebServerProcess::TsWebServerProcess(QObject *parent)
    : QProcess(parent)
{}

bool TsWebServerProcess::workersRunAsOtherUser()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

bool TsWebServerProcess::readableByAnyone(const QString &path)
{
    // Every folder on the way must let others pass.
    for (QDir dir(QFileInfo(path).absoluteFilePath()); !dir.isRoot(); dir.cdUp()) {
        if (!(QFileInfo(dir.path()).permissions() & QFile::ExeOther))
            return false;
    }
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFile::Permissions permissions = it.fileInfo().permissions();
        if (!(permissions & QFile::ReadOther) ||
            (it.fileInfo().isDir() && !(permissions & QFile::ExeOther)))
            return false;
    }
    return true;
}

void TsWebServerProcess::setupChildProcess()
{
#ifdef Q_OS_LINUX
    // The master goes down with the program, even when the program is killed; it takes its
    // workers with it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
}
