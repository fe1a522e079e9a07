#include "tsupdatechecker.h"

#include <QIODevice>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QUrl>

constexpr char TsUpdateChecker::UpdatePageUrlKey[];
constexpr char TsUpdateChecker::DefaultUpdatePageUrl[];

QUrl TsUpdateChecker::updatePageUrl()
{
    const QString stored =
        QSettings()
            .value(QLatin1String(UpdatePageUrlKey), QString::fromLatin1(DefaultUpdatePageUrl))
            .toString()
            .trimmed();
    return QUrl::fromUserInput(stored);
}

QNetworkRequest TsUpdateChecker::request(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    request.setRawHeader("If-Modified-Since", "Sat, 1 Jan 2000 00:00:00 GMT");
    // A moved page may move to https, never from it.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(TransferTimeout);
    return request;
}

TsUpdateChecker::Page TsUpdateChecker::readPage(QIODevice *device)
{
    QString versionLine;
    QString refreshLine;
    while (!device->atEnd()) {
        const QString line = QString::fromUtf8(device->readLine()).simplified();
        if (versionLine.isEmpty() && line.contains(QLatin1String("<meta name=\"current-version\"")))
            versionLine = line;
        if (refreshLine.isEmpty() && line.contains(QLatin1String("<meta http-equiv=\"Refresh\"")))
            refreshLine = line;
    }
    static const QRegularExpression versionPattern(
        QStringLiteral("content=\"([^\"]*); url=([^\"]*)\""));
    static const QRegularExpression urlPattern(QStringLiteral("url=([^\"]*)\""));
    Page page;
    const QRegularExpressionMatch version = versionPattern.match(versionLine);
    page.version = version.captured(1).trimmed();
    page.downloadUrl = version.captured(2).trimmed();
    page.releaseNotesUrl = urlPattern.match(refreshLine).captured(1).trimmed();
    return page;
}

quint32 TsUpdateChecker::packVersion(const QString &version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    quint32 packed = 0;
    for (int i = 0; i < 4; ++i) {
        const uint component = i < parts.size() ? parts.at(i).trimmed().toUInt() : 0;
        packed |= qMin(component, 255u) << (24 - 8 * i);
    }
    return packed;
}

bool TsUpdateChecker::isNewer(const QString &published, const QString &running)
{
    return packVersion(published) > packVersion(running);
}
