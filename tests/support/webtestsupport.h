// For tests that run the real nginx: a free loopback port, and a copy of the installed web server
// folder where the test may change it and nginx's workers may read it.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>

namespace webtest {

// Free when asked; another process may take it before the caller listens, as with any such probe.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (it.fileInfo().isDir() ? !QDir().mkpath(target) : !QFile::copy(source, target))
            return false;
    }
    return true;
}

} // namespace webtest
