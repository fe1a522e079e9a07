// The update check: the version arithmetic and the page on their own, and the dialog against a
// real HTTP server on loopback for a newer release, the same release and a failed request.
#include "dialogtestsupport.h"

#include "dialogs/tsupdatechecker.h"
#include "dialogs/tsupdatedialog.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

constexpr int WaitMs = 10000;

TsUpdateChecker::Page read(const QByteArray &html)
{
    QBuffer buffer;
    buffer.setData(html);
    buffer.open(QIODevice::ReadOnly);
    return TsUpdateChecker::readPage(&buffer);
}

QByteArray page(const QByteArray &version, const QByteArray &download, const QByteArray &notes)
{
    return "<html>\n<head>\n<meta name=\"current-version\" content=\"" + version +
           "; url=" + download + "\">\n<meta http-equiv=\"Refresh\" content=\"0; url=" + notes +
           "\">\n</head>\n<body>Tessaro</body>\n</html>\n";
}

class HttpServer
{
public:
    HttpServer()
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(TESSARO_HTTP_SERVER_SCRIPT), QStringLiteral("--root"),
                         m_root.path(), QStringLiteral("--log"), logFile()});
        QByteArray output;
        while (m_process.waitForReadyRead(WaitMs)) {
            output += m_process.readAll();
            const auto ready = QRegularExpression(QStringLiteral("READY (\\d+)\\n"))
                                   .match(QString::fromUtf8(output));
            if (ready.hasMatch()) {
                m_port = ready.captured(1).toInt();
                return;
            }
        }
        m_failure = QString::fromUtf8(output);
    }
    ~HttpServer()
    {
        m_process.kill();
        m_process.waitForFinished(WaitMs);
    }

    bool isReady() const { return m_port > 0; }
    QString failure() const { return m_failure; }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(path);
    }
    void put(const QString &path, const QByteArray &content)
    {
        QFile file(m_root.path() + QLatin1Char('/') + path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // Every request so far: path and headers.
    QList<QJsonObject> requests() const
    {
        QList<QJsonObject> result;
        QFile log(logFile());
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : log.readAll().split('\n')) {
                if (!line.isEmpty())
                    result << QJsonDocument::fromJson(line).object();
            }
        }
        return result;
    }

private:
    QString logFile() const { return m_root.path() + QStringLiteral("/.requests"); }

    QTemporaryDir m_root;
    QProcess m_process;
    int m_port = 0;
    QString m_failure;
};

// Where the desktop was asked to go.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class UpdateDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
        QCoreApplication::setApplicationVersion(QStringLiteral("1.1.0.0"));
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QSettings().remove(QLatin1String(TsUpdateChecker::UpdatePageUrlKey));
    }

    void usePage(const QString &path)
    {
        QSettings().setValue(QLatin1String(TsUpdateChecker::UpdatePageUrlKey), server.url(path));
    }

    QString status() { return dialog.findChild<QLabel *>("labelStatus")->text(); }
    QString notes()
    {
        return dialog.findChild<QTextBrowser *>("textBrowserReleaseNotes")->toPlainText();
    }
    QWidget *downloadButton() { return dialog.findChild<QWidget *>("pushButtonDownload"); }

    void openAndCheck()
    {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialog.check();
    }

    AnsweringDialogs answering;
    HttpServer server;
    UrlCatcher catcher;
    TsUpdateDialog dialog;
};

} // namespace

TEST(UpdateChecker, VersionsCompareComponentByComponent)
{
    EXPECT_EQ(TsUpdateChecker::packVersion("1.2.3.4"), 0x01020304u);
    EXPECT_EQ(TsUpdateChecker::packVersion("1.2"), 0x01020000u) << "missing components are 0";
    EXPECT_EQ(TsUpdateChecker::packVersion(""), 0u);
    EXPECT_EQ(TsUpdateChecker::packVersion("2.x.1"), 0x02000100u) << "unreadable is 0";
    EXPECT_EQ(TsUpdateChecker::packVersion("1.2.3.4.5"), 0x01020304u);
    EXPECT_TRUE(TsUpdateChecker::isNewer("1.2", "1.1.0.0"));
    EXPECT_FALSE(TsUpdateChecker::isNewer("1.1.0.0", "1.1.0.0"));
    EXPECT_FALSE(TsUpdateChecker::isNewer("1.1", "1.1.0.0"));
    EXPECT_FALSE(TsUpdateChecker::isNewer("1.0.9.9", "1.1.0.0"));
    EXPECT_TRUE(TsUpdateChecker::isNewer("1.1.0.10", "1.1.0.9")) << "numbers, not text";
    EXPECT_FALSE(TsUpdateChecker::isNewer("", "0.0.0.0"));
    // Outside the byte of its place: a big component must not spill into the one above it.
    EXPECT_TRUE(TsUpdateChecker::isNewer("2.0", "1.300"));
    EXPECT_FALSE(TsUpdateChecker::isNewer("1.300", "2.0"));
    EXPECT_TRUE(TsUpdateChecker::isNewer("1.2.300", "1.2.254"));
}

TEST(UpdateChecker, PageYieldsVersionAndBothAddressesWhateverItsSpacing)
{
    TsUpdateChecker::Page read1 =
        read(page("1.2.0.0", "http://dl.example/setup.exe", "http://dl.example/notes.html"));
    EXPECT_EQ(read1.version, "1.2.0.0");
    EXPECT_EQ(read1.downloadUrl, "http://dl.example/setup.exe");
    EXPECT_EQ(read1.releaseNotesUrl, "http://dl.example/notes.html");

    const TsUpdateChecker::Page spaced =
        read("  <meta   name=\"current-version\"\tcontent=\"1.3;  url=setup.exe\"  />\n"
             "<meta  http-equiv=\"Refresh\"   content=\"0;  url=notes.html\"/>\n"
             "<meta name=\"current-version\" content=\"9.9; url=later.exe\">\n");
    EXPECT_EQ(spaced.version, "1.3");
    EXPECT_EQ(spaced.downloadUrl, "setup.exe");
    EXPECT_EQ(spaced.releaseNotesUrl, "notes.html");

    const TsUpdateChecker::Page none = read("<html><body>Moved</body></html>\n");
    EXPECT_TRUE(none.version.isEmpty());
    EXPECT_TRUE(none.downloadUrl.isEmpty());
    EXPECT_TRUE(none.releaseNotesUrl.isEmpty());
}

TEST(UpdateChecker, RequestDefeatsCachesAndThePageAddressIsASetting)
{
    const QNetworkRequest request = TsUpdateChecker::request(QUrl("http://dl.example/u.html"));
    EXPECT_EQ(request.rawHeader("Cache-Control"), "no-cache");
    EXPECT_EQ(request.rawHeader("Pragma"), "no-cache");
    EXPECT_EQ(request.rawHeader("If-Modified-Since"), "Sat, 1 Jan 2000 00:00:00 GMT");
    QSettings().remove(QLatin1String(TsUpdateChecker::UpdatePageUrlKey));
    EXPECT_EQ(TsUpdateChecker::updatePageUrl(),
              QUrl(QString::fromLatin1(TsUpdateChecker::DefaultUpdatePageUrl)));
    QSettings().setValue(QLatin1String(TsUpdateChecker::UpdatePageUrlKey),
                         " http://intranet.lab.example/tessaro.html ");
    EXPECT_EQ(TsUpdateChecker::updatePageUrl(), QUrl("http://intranet.lab.example/tessaro.html"));
    QSettings().remove(QLatin1String(TsUpdateChecker::UpdatePageUrlKey));
}

TEST_F(UpdateDialogTest, NewerReleaseShowsItsNotesAndOffersTheDownload)
{
    server.put("update.html", page("1.2", "files/setup-1.2.exe", "notes.html"));
    server.put("notes.html", "<html><body><h1>Tessaro 1.2</h1><p>Faster graphs.</p></body></html>");
    usePage("update.html");
    openAndCheck();

    ASSERT_TRUE(QTest::qWaitFor([this] { return notes().contains("Faster graphs."); }, WaitMs))
        << notes().toStdString();
    EXPECT_EQ(status(), "<b>1.2 (New version available)</b>");
    EXPECT_TRUE(downloadButton()->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.publishedVersion(), "1.2");
    EXPECT_EQ(dialog.runningVersion(), "1.1.0.0");

    const QList<QJsonObject> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests.at(0).value("path").toString(), "/update.html");
    EXPECT_EQ(requests.at(1).value("path").toString(), "/notes.html");
    for (const QJsonObject &request : requests) {
        const QJsonObject headers = request.value("headers").toObject();
        EXPECT_EQ(headers.value("Cache-Control").toString(), "no-cache");
        EXPECT_EQ(headers.value("Pragma").toString(), "no-cache");
        EXPECT_EQ(headers.value("If-Modified-Since").toString(), "Sat, 1 Jan 2000 00:00:00 GMT");
    }

    TsMessageBox::takeAsked();
    QTest::mouseClick(downloadButton(), Qt::LeftButton);
    const QList<TsMessageBox::Asked> answered = TsMessageBox::takeAsked();
    ASSERT_EQ(answered.size(), 1);
    EXPECT_EQ(answered.at(0).title, "Download update");
    EXPECT_EQ(answered.at(0).text, "Please close Tessaro before installing the update!");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.at(0), QUrl(server.url("files/setup-1.2.exe")))
        << "relative to the page";
}

// Clicks the text of a link in the release notes as a user would.
void clickLink(QTextBrowser *notes, const QString &text)
{
    const QTextCursor found = notes->document()->find(text);
    ASSERT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor middle(notes->document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    const QPoint at = notes->cursorRect(middle).center();
    QTest::mouseClick(notes->viewport(), Qt::LeftButton, {}, at);
}

TEST_F(UpdateDialogTest, OnlyWebLinksInTheReleaseNotesLeaveTheProgram)
{
    server.put("update.html", page("1.2", "setup.exe", "notes.html"));
    server.put("notes.html", "<html><body><p><a href=\"changes.html\">Changes</a></p>"
                             "<p><a href=\"file:///etc/passwd\">Local file</a></p>"
                             "<p><a href=\"smb://share/x.exe\">Share</a></p>"
                             "<p><a href=\"https://www.example.org/\">Web</a></p></body></html>");
    usePage("update.html");
    UrlCatcher others;
    for (const char *scheme : {"file", "smb", "https"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &others, "open");
    openAndCheck();
    ASSERT_TRUE(QTest::qWaitFor([this] { return notes().contains("Web"); }, WaitMs));

    auto *browser = dialog.findChild<QTextBrowser *>("textBrowserReleaseNotes");
    for (const char *text : {"Changes", "Local file", "Share", "Web"})
        clickLink(browser, QString::fromLatin1(text));
    for (const char *scheme : {"file", "smb", "https"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));

    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl(server.url("changes.html"))})
        << "relative to the notes";
    EXPECT_EQ(others.urls, QList<QUrl>{QUrl("https://www.example.org/")});
    EXPECT_TRUE(notes().contains("Local file")) << "the notes stay shown";
}

TEST_F(UpdateDialogTest, SameOrOlderReleaseSaysSoAndHidesTheDialog)
{
    for (const QByteArray &version : {QByteArray("1.1.0.0"), QByteArray("1.0.9")}) {
        SCOPED_TRACE(version.constData());
        server.put("update.html", page(version, "setup.exe", "notes.html"));
        usePage("update.html");
        QList<TsMessageBox::Asked> answered;
        openAndCheck();
        ASSERT_TRUE(QTest::qWaitFor(
            [&answered] {
                answered += TsMessageBox::takeAsked();
                return !answered.isEmpty();
            },
            WaitMs));
        EXPECT_EQ(answered.at(0).title, "Check for updates");
        EXPECT_EQ(answered.at(0).text, "You are using the most current version.");
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_FALSE(downloadButton()->isVisibleTo(&dialog));
    }
    EXPECT_EQ(server.requests().size(), 2) << "no release notes asked for";
}

TEST_F(UpdateDialogTest, FailedRequestShowsItsErrorText)
{
    usePage("missing.html");
    openAndCheck();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !notes().contains("Checking"); }, WaitMs));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !notes().isEmpty(); }, WaitMs));
    EXPECT_TRUE(notes().contains("not found", Qt::CaseInsensitive)) << notes().toStdString();
    EXPECT_TRUE(status().isEmpty());
    EXPECT_FALSE(downloadButton()->isVisible());
    EXPECT_TRUE(dialog.isVisible());

    // Nobody listening at all.
    quint16 closed;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closed = probe.serverPort();
    }
    QSettings().setValue(QLatin1String(TsUpdateChecker::UpdatePageUrlKey),
                         QStringLiteral("http://127.0.0.1:%1/update.html").arg(closed));
    dialog.check();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !notes().isEmpty(); }, WaitMs));
    EXPECT_TRUE(notes().contains("refused", Qt::CaseInsensitive)) << notes().toStdString();
    EXPECT_TRUE(dialog.isVisible());
}

// A page that names no version proves nothing, and an address the desktop would hand to another
// program than the browser is not offered.
TEST_F(UpdateDialogTest, PageWithoutVersionOrWithAForeignDownloadIsNotTrusted)
{
    server.put("moved.html", "<html><body>This page has moved.</body></html>\n");
    usePage("moved.html");
    openAndCheck();
    ASSERT_TRUE(QTest::qWaitFor([this] { return notes().contains("names no version"); }, WaitMs))
        << notes().toStdString();
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty()) << "not told that the version is current";
    EXPECT_TRUE(dialog.isVisible());

    server.put("update.html", page("2.0", "file:///bin/sh", "notes.html"));
    server.put("notes.html", "<p>2.0</p>");
    usePage("update.html");
    dialog.check();
    ASSERT_TRUE(QTest::qWaitFor([this] { return status().contains("2.0"); }, WaitMs));
    EXPECT_FALSE(downloadButton()->isVisible());
    dialog.downloadUpdate();
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty());
    EXPECT_TRUE(catcher.urls.isEmpty());
}

#include "tsupdatedialog_test.moc"
