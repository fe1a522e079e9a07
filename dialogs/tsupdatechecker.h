// What the update check needs besides its window: where the update page is, how it is asked for,
// what it says, and whether its version is newer than the running one.
//
// The update page is an HTML page with two meta lines, each on a line of its own:
//     <meta name="current-version" content="1.2.0.0; url=DOWNLOAD-ADDRESS">
//     <meta http-equiv="Refresh" content="0; url=RELEASE-NOTES-ADDRESS">
// Addresses may be relative to the page.
#pragma once

#include <QString>
#include <QtGlobal>

class QIODevice;
class QNetworkRequest;
class QUrl;

class TsUpdateChecker
{
public:
    // Settings-store key of the update page's address; without it DefaultUpdatePageUrl.
    static constexpr char UpdatePageUrlKey[] = "updatePageUrl";
    static constexpr char DefaultUpdatePageUrl[] = "https://www.varon.example/tessaro/update.html";
    static constexpr int TransferTimeout = 30000; // ms without progress

    struct Page
    {
        QString version;         // empty when the page has no version line
        QString downloadUrl;     // from the version line
        QString releaseNotesUrl; // from the refresh line
    };

    static QUrl updatePageUrl();
    // A request that no cache between here and the maker's server answers.
    static QNetworkRequest request(const QUrl &url);
    // Reads the device to its end.
    static Page readPage(QIODevice *device);

    // The first four components of a dotted version, a byte each (component 0 the highest);
    // missing or unreadable components count as 0, and components above 255 as 255 so that they
    // cannot spill into their neighbours.
    static quint32 packVersion(const QString &version);
    static bool isNewer(const QString &published, const QString &running);
};
