#include "tsupdatedialog.h"
#include "ui_tsupdatedialog.h"

#include "dialogs/tsmessagebox.h"
#include "dialogs/tsupdatechecker.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QTextBrowser>

namespace {

// Only a web address may be handed to the desktop: the page must not make it open a local file
// or start a program through another scheme.
QUrl webAddress(const QUrl &page, const QString &address)
{
    if (address.isEmpty())
        return QUrl();
    const QUrl url = page.resolved(QUrl(address));
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QUrl();
    return url;
}

} // namespace

TsUpdateDialog::TsUpdateDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsUpdateDialog)
    , m_network(new QNetworkAccessManager(this))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->pushButtonDownload->hide();
    connect(ui->pushButtonDownload, &QPushButton::clicked, this, &TsUpdateDialog::downloadUpdate);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &TsUpdateDialog::reject);
    // The notes come from the network like the page: their links leave the program by the same
    // rule as the download address.
    connect(ui->textBrowserReleaseNotes, &QTextBrowser::anchorClicked, this,
            [this](const QUrl &link) {
                const QUrl url = webAddress(m_releaseNotesUrl, link.toString());
                if (url.isValid())
                    QDesktopServices::openUrl(url);
                else
                    qDebug("TsUpdateDialog: link '%s' in the release notes not opened",
                           qUtf8Printable(link.toString()));
            });
}

TsUpdateDialog::~TsUpdateDialog()
{
    // A reply still running must not report to a dialog that is going.
    if (m_updateReply)
        m_updateReply->disconnect(this);
    if (m_releaseNotesReply)
        m_releaseNotesReply->disconnect(this);
}

QString TsUpdateDialog::publishedVersion() const
{
    return m_publishedVersion;
}

QString TsUpdateDialog::runningVersion() const
{
    return m_runningVersion;
}

QUrl TsUpdateDialog::downloadUrl() const
{
    return m_downloadUrl;
}

QUrl TsUpdateDialog::releaseNotesUrl() const
{
    return m_releaseNotesUrl;
}

void TsUpdateDialog::check()
{
    m_publishedVersion.clear();
    m_downloadUrl.clear();
    m_releaseNotesUrl.clear();
    m_runningVersion = QCoreApplication::applicationVersion();
    if (m_updateReply)
        m_updateReply->abort();
    ui->pushButtonDownload->hide();
    ui->textBrowserReleaseNotes->clear();
    ui->labelStatus->setText(tr("Checking for updates ..."));

    const QUrl page = TsUpdateChecker::updatePageUrl();
    qDebug("TsUpdateDialog::check: '%s'", qUtf8Printable(page.toString()));
    m_updateReply = m_network->get(TsUpdateChecker::request(page));
    connect(m_updateReply, &QNetworkReply::finished, this, &TsUpdateDialog::updateRequestFinished);
}

void TsUpdateDialog::updateRequestFinished()
{
    QNetworkReply *reply = m_updateReply;
    if (!reply || reply != sender())
        return;
    reply->deleteLater();
    m_updateReply = nullptr;

    if (reply->error() != QNetworkReply::NoError) {
        ui->textBrowserReleaseNotes->setPlainText(reply->errorString());
        ui->labelStatus->clear();
        return;
    }
    const TsUpdateChecker::Page page = TsUpdateChecker::readPage(reply);
    m_publishedVersion = page.version;
    m_downloadUrl = webAddress(reply->url(), page.downloadUrl);
    m_releaseNotesUrl = webAddress(reply->url(), page.releaseNotesUrl);
    // A page that names no version (a moved page, a proxy's login page) proves nothing: saying
    // "most current" would be a guess.
    if (m_publishedVersion.isEmpty()) {
        ui->textBrowserReleaseNotes->setPlainText(
            tr("The update page %1 names no version.").arg(reply->url().toString()));
        ui->labelStatus->clear();
        return;
    }

    if (!TsUpdateChecker::isNewer(m_publishedVersion, m_runningVersion)) {
        ui->labelStatus->clear();
        TsMessageBox::information(this, tr("Check for updates"),
                                  tr("You are using the most current version."));
        hide();
        return;
    }

    ui->pushButtonDownload->setVisible(m_downloadUrl.isValid());
    ui->labelStatus->setText(
        tr("<b>%1 (New version available)</b>").arg(m_publishedVersion.toHtmlEscaped()));
    if (m_releaseNotesUrl.isEmpty())
        return;
    m_releaseNotesReply = m_network->get(TsUpdateChecker::request(m_releaseNotesUrl));
    connect(m_releaseNotesReply, &QNetworkReply::finished, this,
            &TsUpdateDialog::releaseNotesRequestFinished);
}

void TsUpdateDialog::releaseNotesRequestFinished()
{
    QNetworkReply *reply = m_releaseNotesReply;
    if (!reply || reply != sender())
        return;
    reply->deleteLater();
    m_releaseNotesReply = nullptr;
    if (reply->error() != QNetworkReply::NoError)
        ui->textBrowserReleaseNotes->setPlainText(reply->errorString());
    else
        ui->textBrowserReleaseNotes->setHtml(QString::fromUtf8(reply->readAll()));
}

void TsUpdateDialog::downloadUpdate()
{
    if (!m_downloadUrl.isValid())
        return;
    TsMessageBox::information(this, tr("Download update"),
                              tr("Please close Tessaro before installing the update!"));
    QDesktopServices::openUrl(m_downloadUrl);
}
