// Tells the operator whether a newer release has been published: reads the update page, shows
// the release notes of a newer release and opens its download address on request.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QScopedPointer>
#include <QUrl>

namespace Ui {
class TsUpdateDialog;
}

class QNetworkAccessManager;
class QNetworkReply;

class TsUpdateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TsUpdateDialog(QWidget *parent = nullptr);
    ~TsUpdateDialog() override;

    QString publishedVersion() const;
    QString runningVersion() const;
    QUrl downloadUrl() const;
    QUrl releaseNotesUrl() const;

public slots:
    // Asks the update page (TsUpdateChecker::updatePageUrl) again; the answer comes later.
    void check();
    void downloadUpdate();

protected slots:
    void updateRequestFinished();
    void releaseNotesRequestFinished();

private:
    QScopedPointer<Ui::TsUpdateDialog> ui;
    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_updateReply;
    QPointer<QNetworkReply> m_releaseNotesReply;
    QString m_publishedVersion;
    QString m_runningVersion;
    QUrl m_downloadUrl;
    QUrl m_releaseNotesUrl;
};
