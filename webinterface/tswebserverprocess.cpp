#include "tswebserverprocess.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif
#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_LINUX
struct ProcessInfo
{
    qint64 pid = 0;
    qint64 group = 0;
    QByteArray commandLine;
};

// Every process with its group and command line, from /proc.
QList<ProcessInfo> processes()
{
    QList<ProcessInfo> list;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        ProcessInfo info;
        info.pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid pgrp ...": the name may hold spaces, so count from the last ')'.
        const QByteArray fields = stat.readAll();
        const QList<QByteArray> rest = fields.mid(fields.lastIndexOf(')') + 2).split(' ');
        if (rest.size() < 3 || rest.at(0) == "Z")
            continue;
        info.group = rest.at(2).toLongLong();
        info.commandLine = cmdline.readAll();
        info.commandLine.replace('\0', ' ');
        list << info;
    }
    return list;
}
#endif

} // namespace

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
#ifdef Q_OS_UNIX
    ::setpgid(0, 0);
#endif
}

int TsWebServerProcess::endGroup(qint64 masterPid)
{
#ifdef Q_OS_LINUX
    if (masterPid <= 0)
        return 0;
    // A group id is never handed out again while the group has a member, but once it is empty
    // the number may belong to anything: only a group of nginx processes is ended.
    int members = 0;
    for (const ProcessInfo &info : processes()) {
        if (info.group != masterPid)
            continue;
        if (!info.commandLine.startsWith("nginx") && !info.commandLine.contains("/nginx"))
            return 0;
        ++members;
    }
    if (members > 0)
        ::kill(pid_t(-masterPid), SIGKILL);
    return members;
#else
    Q_UNUSED(masterPid)
    return 0;
#endif
}

qint64 TsWebServerProcess::pidInFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 pid = file.read(32).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

bool TsWebServerProcess::processExists(qint64 pid)
{
#ifdef Q_OS_UNIX
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
#else
    Q_UNUSED(pid)
    return false;
#endif
}

QStringList TsWebServerProcess::removeStaleRuntimeFolders(const QString &parent,
                                                          const QString &pattern,
                                                          const QString &ownerFile,
                                                          const QString &pidFile)
{
    QStringList removed;
    const QFileInfoList folders =
        QDir(parent).entryInfoList({pattern}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &folder : folders) {
        const QString path = folder.absoluteFilePath();
        const qint64 owner = pidInFile(path + QLatin1Char('/') + ownerFile);
        const qint64 master = pidInFile(path + QLatin1Char('/') + pidFile);
        if (owner > 0) {
            if (processExists(owner))
                continue;
        } else if (processExists(master) ||
                   folder.lastModified().secsTo(QDateTime::currentDateTime()) < 60) {
            // Perhaps another program only now making its folder.
            continue;
        }
        // The pid file is only a hint: its number is taken for a group only when nginx
        // processes are in that group.
        endGroup(master);
        if (QDir(path).removeRecursively())
            removed << path;
    }
    return removed;
}
