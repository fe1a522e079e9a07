// A real, small file system for tests of what happens when a disk is full: a tmpfs of a few hundred
// kilobytes mounted over a folder, and ballast that takes its last free byte. Mounting needs root
// (the tests run as root in CI); elsewhere skipReason() says why the test cannot run.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class SmallTmpfs
{
public:
    // Mounts over folder, which must exist; what it holds is hidden until the unmount. Read-only,
    // nobody can write there, root included.
    enum Access
    {
        ReadWrite,
        ReadOnly
    };
    SmallTmpfs(const QString &folder, int kilobytes, Access access = ReadWrite)
        : m_path(QDir(folder).absolutePath())
    {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
        const unsigned long flags = MS_NOSUID | MS_NODEV | (access == ReadOnly ? MS_RDONLY : 0);
        if (::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", flags,
                    options.constData()) == 0) {
            m_mounted = true;
        } else {
            m_skipReason = QStringLiteral("mounting a small tmpfs is not allowed here (%1); run "
                                          "the test as root to check a full disk")
                               .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;

    bool isMounted() const { return m_mounted; }
    QString skipReason() const { return m_skipReason; }
    QString path() const { return m_path; }

    // Writes ballast until not one more byte fits; true when the file system is then full.
    bool fill()
    {
        const QByteArray name = QFile::encodeName(m_path + QStringLiteral("/.ballast"));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'b');
        for (int size = block.size(); size > 0; size /= 2) {
            while (::write(fd, block.constData(), size_t(size)) == size) {
            }
        }
        const bool full = ::write(fd, "b", 1) < 0 && errno == ENOSPC;
        ::close(fd);
        return full;
    }
    // Gives the space back.
    void release() { QFile::remove(m_path + QStringLiteral("/.ballast")); }

private:
    QString m_path;
    bool m_mounted = false;
    QString m_skipReason;
};
