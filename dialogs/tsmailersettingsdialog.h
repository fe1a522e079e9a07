// Edits how alert mails reach the mail server, and sends a test mail with the settings as they
// stand in the form, before anything is saved. The settings dialog shows it as its "Email" page.
#pragma once

#include "mailer/tsmailersettings.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class TsMailerSettingsDialog;
}

class TsMailerSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TsMailerSettingsDialog(QWidget *parent = nullptr);
    ~TsMailerSettingsDialog() override;

    // Fills the form. What the form does not show (the sender program's folder) is kept and
    // handed back by settings(): the mailer cannot send without it.
    void setSettings(const TsMailerSettings &settings);
    TsMailerSettings settings() const;

    // The port a server usually listens on for that encryption (TsMailerSettings::Encryption).
    static int usualPort(int encryption);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButtonTest_clicked();

private:
    void encryptionChosen(int index);

    QScopedPointer<Ui::TsMailerSettingsDialog> ui;
    TsMailerSettings m_settings;
};
