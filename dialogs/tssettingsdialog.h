// The program-wide settings: the web interface (and starting or stopping its web server by hand)
// and, on its own page, the mail server of the alert mails.
#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class TsSettingsDialog;
}

class TsMailerManager;
class TsMailerSettingsDialog;
class TsWebInterfaceManager;

class TsSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // Edits the core's managers.
    explicit TsSettingsDialog(QWidget *parent = nullptr);
    // Edits these managers (not owned; they outlive the dialog).
    TsSettingsDialog(TsWebInterfaceManager *webInterface, TsMailerManager *mailers,
                     QWidget *parent = nullptr);
    ~TsSettingsDialog() override;

    TsMailerSettingsDialog *mailerPage() const;

public slots:
    // Applies the settings, then closes the dialog as accepted.
    void accept() override;

protected slots:
    // Applies the settings first, so that the web server starts on the ports shown.
    void on_pushButtonStart_clicked();
    void on_pushButtonStop_clicked();
    void updateWebServerButtons();

private:
    void fill();
    void apply();
    bool portsDiffer() const;

    QScopedPointer<Ui::TsSettingsDialog> ui;
    TsWebInterfaceManager *m_webInterface;
    TsMailerManager *m_mailers;
    TsMailerSettingsDialog *m_mailerPage;
    bool m_startFailed = false;
};
