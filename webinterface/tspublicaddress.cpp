#include "tspublicaddress.h"

#include <QSysInfo>
#include <QUrl>

const char TsPlaceholderPublicAddress[] = "http://tessaro.example.org/";

bool tsIsPlaceholderAddress(const QString &url)
{
    return QUrl(url.trimmed())
               .host()
               .compare(QUrl(QLatin1String(TsPlaceholderPublicAddress)).host(),
                        Qt::CaseInsensitive) == 0;
}

QString tsPublicAddress(const QString &publicUrl, quint16 httpPort, const QString &hostName)
{
    const QString set = publicUrl.trimmed();
    if (!set.isEmpty() && !tsIsPlaceholderAddress(set))
        return set;
    QString host = hostName.isEmpty() ? QSysInfo::machineHostName() : hostName;
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    QString address = QStringLiteral("http://") + host;
    if (httpPort != 80 && httpPort != 0)
        address += QLatin1Char(':') + QString::number(httpPort);
    return address + QLatin1Char('/');
}
