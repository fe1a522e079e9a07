// Turns an alarm of the running experiment into one alert mail to the current user: owns the
// mailer, keeps the mail-server settings in the settings store, and holds the one-shot alert
// switch that the operator arms and the experiment disarms after an alarm.
#pragma once

#include "experiment/tsexperiment.h"
#include "mailer/tsmailersettings.h"

#include <QList>
#include <QObject>
#include <QScopedPointer>
#include <QString>

#include <functional>

class TsExperimentChannel;
class TsExperimentManager;
class TsMail;
class TsMailer;

class TsMailerManager : public QObject, public TsEmailAlertSwitch
{
    Q_OBJECT

public:
    // What the alert mail says about the operator's situation besides the channel.
    struct AlertContext
    {
        QString userName;
        QString userEmail; // the recipient; no mail without one
        QString profileName;
        QString httpPublicUrl; // where the web page is reached; the link to acknowledge too
        QString httpServerName;
    };
    using AlertContextProvider = std::function<AlertContext()>;

    // Scrambling key of the stored password. Changing it makes stored passwords unreadable.
    static constexpr quint64 PasswordKey = Q_UINT64_C(0x5a17c3e9b2d4f081);

    // Follows the experiments' current experiment (may be null): its channelsInstable reaches
    // onChannelsInstable, and it asks this manager's alert switch. Loads the settings.
    explicit TsMailerManager(TsExperimentManager *experiments, QObject *parent = nullptr);
    ~TsMailerManager() override;

    // Asked at every alarm; without one no alert mail can be addressed.
    void setAlertContextProvider(const AlertContextProvider &provider);

    // The program's folder + "/mailer" unless set otherwise; it holds the sender program and
    // "Email Alert.tmpl". Setting it passes it on to the mailer.
    QString mailerDir() const;
    void setMailerDir(const QString &dir);

    TsMailer *mailer() const;

    // Group "MailerSettings" of the settings store. Loading applies them as setMailerSettings.
    void loadSettings();
    void saveSettings();

    TsMailerSettings mailerSettings() const;
    // Rebuilds the mailer's command and hands the alarm settings to the followed experiment's
    // alarm monitor; does not save.
    void setMailerSettings(const TsMailerSettings &settings);

    bool isEmailAlertOn() const;
    // Emits emailAlertStatusChanged only on a change.
    void setEmailAlert(bool on);

    // Alert mails whose send attempt has ended, by outcome, since the manager was made.
    qint64 alertMailsSent() const;
    qint64 alertMailsFailed() const;

    bool emailAlertStatus() const override { return isEmailAlertOn(); }
    void setEmailAlertStatus(bool on) override { setEmailAlert(on); }
    // Until acknowledged, the switch stays armed after an alarm.
    bool staysArmed() const override;

    // Waits after the first, second... failed attempt of an alarm mail; the last one repeats.
    static const QList<int> &retryDelays();
    // Mails whose last attempt failed and that are retried, and why the last one failed, with
    // "Alert mail not sent: " before the mail server's words; empty when none is pending.
    int mailsAwaitingRetry() const;
    QString mailFailure() const;
    // The link in a mail that acknowledges the alarm of that token.
    static QString acknowledgeUrl(const QString &publicUrl, const QString &token);

signals:
    void emailAlertStatusChanged(bool on);

public slots:
    // Sends one mail about the first channel while the alert is on; every reason not to send
    // (alert off, no recipient, no template) ends here quietly.
    void onChannelsInstable(const QList<TsExperimentChannel *> &channels);

private:
    enum class MailKind
    {
        Alarm,
        Reminder,
        Recovery
    };
    void followExperiment(TsExperiment *experiment);
    // The controller-lost time to the alarm monitor of the followed experiment.
    void applyAlarmSettings();
    // One mail to every recipient, naming every channel of the list.
    void sendAlarmMail(MailKind kind, const QList<TsExperimentChannel *> &channels);
    void send(const TsMail &mail);
    void onSendStatus(const TsMail &mail);
    // Every tick: reminders and retries that are due.
    void onAlarmTick();
    void onReturnedToNormal(const QList<TsExperimentChannel *> &channels);
    void dropAcknowledgedRetries();
    void updateMailFailure();
    void journalMail(const char *event, const QStringList &channelIds, const QString &details);

    struct Private;
    QScopedPointer<Private> d;
};
