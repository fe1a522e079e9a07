// For tests that run the real nginx: a free loopback port, a copy of the installed web server
// folder where the test may change it and nginx's workers may read it, and a page fetch that waits
// on the event loop.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QString>
#include <QTcpServer>
#include <QTest>

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

struct Reply
{
    bool finished = false; // within the wait; an unfinished request is aborted
    int status = 0;        // the HTTP status; 0 without an answer
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body; // what arrived, also with an error
};

inline Reply get(QNetworkAccessManager &network, const QString &url, int waitMs)
{
    QNetworkReply *reply = network.get(QNetworkRequest(QUrl(url)));
    Reply result;
    result.finished = QTest::qWaitFor([reply] { return reply->isFinished(); }, waitMs);
    if (!result.finished)
        reply->abort();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.error = reply->error();
    result.body = reply->readAll();
    delete reply;
    return result;
}

} // namespace webtest
