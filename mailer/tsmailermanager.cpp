#include "tsmailermanager.h"

#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "mailer/tsmail.h"
#include "mailer/tsmailer.h"
#include "utils/emailvalidator.h"
#include "utils/simplecrypt.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QPointer>
#include <QSettings>

namespace {

const char Group[] = "MailerSettings";
// The stored key names carry a historical misspelling; stored settings depend on it.
const char ServerKey[] = "smptServer";
const char PortKey[] = "smptPort";
const char UserKey[] = "smptUser";
const char PassKey[] = "smptPass";
const char EncryptionKey[] = "smptEncryption";
const char SenderNameKey[] = "senderName";
const char SenderEmailKey[] = "senderEMail";
const char NotifyModeKey[] = "notifyMode";
const char ReminderKey[] = "reminderMinutes";
const char RecoveryKey[] = "recoveryNotice";
const char ControllerLostKey[] = "controllerLostSeconds";

const char TemplateFile[] = "/Email Alert.tmpl";

struct AlarmText
{
    QString cause;  // of the first channel
    QString ackUrl; // of the first channel
    QString list;   // every channel in alarm, one entry each
    QString note;   // what happens next
};

QString fillPlaceholders(QString body, const TsExperimentChannel *channel,
                         const TsMailerManager::AlertContext &context, const AlarmText &alarm)
{
    // In this order: a value that happens to look like a later placeholder is replaced too.
    const QPair<const char *, QString> values[] = {
        {"%TS_DEVICE_ID%", channel->deviceId()},
        {"%TS_DEVICE_NAME%", channel->deviceName()},
        {"%TS_CHANNEL_NAME%", channel->name()},
        {"%TS_CHANNEL_ID%", channel->id()},
        {"%TS_CHANNEL_SETPOINT_VALUE%",
         channel->valueText(TsExperimentChannel::SetpointValue, true)},
        {"%TS_CHANNEL_ACTUAL_VALUE%", channel->valueText(TsExperimentChannel::ActualValue, true)},
        {"%TS_CHANNEL_UNIT%", channel->unit()},
        {"%TS_CHANNEL_STATUS_TEXT%", channel->statusText()},
        {"%TS_HTTP_PUBLIC_URL%", context.httpPublicUrl},
        {"%TS_HTTP_SERVERNAME%", context.httpServerName},
        {"%TS_CURRENT_DATETIME%", QDateTime::currentDateTime().toString(Qt::TextDate)},
        {"%TS_USER_NAME%", context.userName},
        {"%TS_USER_EMAIL%", context.userEmail},
        {"%TS_PROFILE_NAME%", context.profileName},
        {"%TS_ALARM_CAUSE%", alarm.cause},
        {"%TS_ACK_URL%", alarm.ackUrl},
        {"%TS_ALARM_LIST%", alarm.list},
        {"%TS_ALERT_NOTE%", alarm.note},
    };
    for (const auto &value : values)
        body.replace(QLatin1String(value.first), value.second, Qt::CaseSensitive);
    return body;
}

QString timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// One channel of a mail's list, with the link that acknowledges its alarm when there is one. An
// alarm that is over says when it began and when it ended.
QString alarmListEntry(const TsExperimentChannel *channel, const TsAlarm &alarm,
                       const QString &ackUrl)
{
    const QString actual = channel->valueText(TsExperimentChannel::ActualValue, true);
    const QString setpoint = channel->valueText(TsExperimentChannel::SetpointValue, true);
    QString entry;
    if (alarm.returnedAt.isValid()) {
        entry =
            TsMailerManager::tr("- %1 (%2): alarm at %3 (%4), back to normal at %5; now %6, "
                                "setpoint %7; %8\n")
                .arg(channel->name(), channel->id(), timeText(alarm.raisedAt), alarm.causeText,
                     timeText(alarm.returnedAt), actual, setpoint, tsAlarmStateText(alarm.state));
    } else {
        entry = TsMailerManager::tr("- %1 (%2): %3; actual %4, setpoint %5; %6\n")
                    .arg(channel->name(), channel->id(), alarm.causeText, actual, setpoint,
                         tsAlarmStateText(alarm.state));
    }
    if (!ackUrl.isEmpty())
        entry += TsMailerManager::tr("  Acknowledge: %1\n").arg(ackUrl);
    return entry;
}

} // namespace

struct TsMailerManager::Private
{
    bool emailAlert = false;
    TsMailer *mailer = nullptr;
    QString mailerDir;
    AlertContextProvider contextProvider;
    QPointer<TsExperiment> experiment;
    // Alert mails handed to the mailer and not reported back yet; test mails of the settings go
    // through the same mailer and are not alerts.
    QList<TsMail> alertsInFlight;
    qint64 alertsSent = 0;
    qint64 alertsFailed = 0;

    // Alarm mails, reminders and notices until they went or their alarms were acknowledged.
    struct Pending
    {
        TsMail mail;
        MailKind kind = MailKind::Alarm;
        QStringList channelIds;
        int failures = 0;
        qint64 retryAt = -1; // -1 while an attempt runs
        QString failure;
    };
    QList<Pending> pending;
    qint64 lastAlarmMailAt = -1;

    TsAlarmMonitor *monitor() const { return experiment ? experiment->alarmMonitor() : nullptr; }
    qint64 now() const
    {
        if (TsAlarmMonitor *alarms = monitor())
            return alarms->now();
        return QDateTime::currentMSecsSinceEpoch();
    }
};

TsMailerManager::TsMailerManager(TsExperimentManager *experiments, QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->mailer = new TsMailer(this);
    d->mailerDir = QCoreApplication::applicationDirPath() + QStringLiteral("/mailer");
    // Reported from the sending thread; counted here, on ours.
    connect(d->mailer, &TsMailer::sendStatus, this, &TsMailerManager::onSendStatus);
    if (experiments) {
        followExperiment(experiments->currentExperiment());
        connect(experiments, &TsExperimentManager::currentExperimentChanged, this,
                &TsMailerManager::followExperiment);
    }
    loadSettings();
}

TsMailerManager::~TsMailerManager()
{
    // The experiment may outlive us; it must not ask a switch that is gone.
    if (d->experiment && d->experiment->emailAlertSwitch() == this)
        d->experiment->setEmailAlertSwitch(nullptr);
}

void TsMailerManager::followExperiment(TsExperiment *experiment)
{
    if (d->experiment) {
        disconnect(d->experiment, &TsExperiment::channelsInstable, this,
                   &TsMailerManager::onChannelsInstable);
        disconnect(d->experiment->alarmMonitor(), nullptr, this, nullptr);
        if (d->experiment->emailAlertSwitch() == this)
            d->experiment->setEmailAlertSwitch(nullptr);
    }
    d->experiment = experiment;
    if (experiment) {
        connect(experiment, &TsExperiment::channelsInstable, this,
                &TsMailerManager::onChannelsInstable);
        experiment->setEmailAlertSwitch(this);
        TsAlarmMonitor *alarms = experiment->alarmMonitor();
        connect(alarms, &TsAlarmMonitor::checked, this, &TsMailerManager::onAlarmTick);
        connect(alarms, &TsAlarmMonitor::returnedToNormal, this,
                &TsMailerManager::onReturnedToNormal);
        connect(alarms, &TsAlarmMonitor::acknowledged, this,
                &TsMailerManager::dropAcknowledgedRetries);
        applyAlarmSettings();
    }
}

void TsMailerManager::setAlertContextProvider(const AlertContextProvider &provider)
{
    d->contextProvider = provider;
}

QString TsMailerManager::mailerDir() const
{
    return d->mailerDir;
}

void TsMailerManager::setMailerDir(const QString &dir)
{
    d->mailerDir = dir;
    TsMailerSettings settings = d->mailer->settings();
    settings.setMailerDir(dir);
    d->mailer->setSettings(settings);
}

TsMailer *TsMailerManager::mailer() const
{
    return d->mailer;
}

void TsMailerManager::loadSettings()
{
    QSettings store;
    store.beginGroup(QLatin1String(Group));
    TsMailerSettings settings;
    settings.setSmtpServer(store.value(QLatin1String(ServerKey)).toString());
    settings.setSmtpPort(store.value(QLatin1String(PortKey), 0).toInt());
    settings.setSmtpUser(store.value(QLatin1String(UserKey)).toString());
    const QString scrambled = store.value(QLatin1String(PassKey)).toString();
    if (!scrambled.isEmpty()) {
        SimpleCrypt crypt(PasswordKey);
        settings.setSmtpPassword(crypt.decryptToString(scrambled));
        if (crypt.lastError() != SimpleCrypt::ErrorNoError)
            qWarning("TsMailerManager::loadSettings: the stored password cannot be read (error "
                     "%d); it must be entered again",
                     int(crypt.lastError()));
    }
    settings.setEncryption(store.value(QLatin1String(EncryptionKey), 0).toInt());
    settings.setSenderName(store.value(QLatin1String(SenderNameKey)).toString());
    settings.setSenderEmail(store.value(QLatin1String(SenderEmailKey)).toString());
    settings.setNotifyMode(
        store.value(QLatin1String(NotifyModeKey), int(TsMailerSettings::NotifyOnce)).toInt());
    settings.setReminderMinutes(
        store.value(QLatin1String(ReminderKey), TsMailerSettings::DefaultReminderMinutes).toInt());
    settings.setRecoveryNotice(store.value(QLatin1String(RecoveryKey), true).toBool());
    // A value that is no number takes the default; one out of range is held within it.
    bool isNumber = false;
    const int lostSeconds = store.value(QLatin1String(ControllerLostKey)).toInt(&isNumber);
    settings.setControllerLostSeconds(isNumber ? lostSeconds
                                               : TsMailerSettings::DefaultControllerLostSeconds);
    settings.setMailerDir(d->mailerDir);
    setMailerSettings(settings);
}

void TsMailerManager::saveSettings()
{
    const TsMailerSettings settings = d->mailer->settings();
    SimpleCrypt crypt(PasswordKey);
    QSettings store;
    store.beginGroup(QLatin1String(Group));
    store.setValue(QLatin1String(ServerKey), settings.smtpServer());
    store.setValue(QLatin1String(PortKey), settings.smtpPort());
    store.setValue(QLatin1String(UserKey), settings.smtpUser());
    store.setValue(QLatin1String(PassKey), crypt.encryptToString(settings.smtpPassword()));
    store.setValue(QLatin1String(EncryptionKey), settings.encryption());
    store.setValue(QLatin1String(SenderNameKey), settings.senderName());
    store.setValue(QLatin1String(SenderEmailKey), settings.senderEmail());
    store.setValue(QLatin1String(NotifyModeKey), settings.notifyMode());
    store.setValue(QLatin1String(ReminderKey), settings.reminderMinutes());
    store.setValue(QLatin1String(RecoveryKey), settings.recoveryNotice());
    store.setValue(QLatin1String(ControllerLostKey), settings.controllerLostSeconds());
}

TsMailerSettings TsMailerManager::mailerSettings() const
{
    return d->mailer->settings();
}

void TsMailerManager::setMailerSettings(const TsMailerSettings &settings)
{
    d->mailer->setSettings(settings);
    applyAlarmSettings();
}

void TsMailerManager::applyAlarmSettings()
{
    if (TsAlarmMonitor *alarms = d->monitor())
        alarms->setControllerLostTime(d->mailer->settings().controllerLostSeconds() * 1000);
}

bool TsMailerManager::isEmailAlertOn() const
{
    return d->emailAlert;
}

void TsMailerManager::setEmailAlert(bool on)
{
    if (d->emailAlert == on)
        return;
    d->emailAlert = on;
    emit emailAlertStatusChanged(on);
}

qint64 TsMailerManager::alertMailsSent() const
{
    return d->alertsSent;
}

qint64 TsMailerManager::alertMailsFailed() const
{
    return d->alertsFailed;
}

bool TsMailerManager::staysArmed() const
{
    return d->mailer->settings().notifyMode() == TsMailerSettings::NotifyUntilAcknowledged;
}

const QList<int> &TsMailerManager::retryDelays()
{
    static const QList<int> delays = {60000, 120000, 300000, 600000};
    return delays;
}

int TsMailerManager::mailsAwaitingRetry() const
{
    int count = 0;
    for (const Private::Pending &pending : qAsConst(d->pending)) {
        if (pending.failures > 0)
            ++count;
    }
    return count;
}

QString TsMailerManager::mailFailure() const
{
    for (const Private::Pending &pending : qAsConst(d->pending)) {
        if (!pending.failure.isEmpty())
            return tr("Alert mail not sent: %1").arg(pending.failure);
    }
    return QString();
}

QString TsMailerManager::acknowledgeUrl(const QString &publicUrl, const QString &token)
{
    QString base = publicUrl;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("ts/ack.cgi?token=") + token;
}

void TsMailerManager::onChannelsInstable(const QList<TsExperimentChannel *> &channels)
{
    if (!d->emailAlert || channels.isEmpty() || !channels.first())
        return;
    // The channels just raised first, then every other one still in alarm.
    QList<TsExperimentChannel *> all = channels;
    if (TsAlarmMonitor *alarms = d->monitor()) {
        for (const TsAlarm &alarm : alarms->alarms()) {
            TsExperimentChannel *channel = d->experiment->channel(alarm.channelId);
            if (alarm.isActive() && channel && !all.contains(channel))
                all << channel;
        }
    }
    sendAlarmMail(MailKind::Alarm, all);
}

void TsMailerManager::sendAlarmMail(MailKind kind, const QList<TsExperimentChannel *> &channels)
{
    if (!d->contextProvider) {
        qWarning("TsMailerManager::onChannelsInstable: nobody tells the recipient; no alert mail");
        return;
    }
    const AlertContext context = d->contextProvider();
    QStringList recipients;
    for (const QString &address : Utils::EMail::Validator::addresses(context.userEmail)) {
        if (Utils::EMail::Validator::isValid(address))
            recipients << address;
        else
            qWarning("TsMailerManager: '%s' is no e-mail address; no mail to it",
                     qUtf8Printable(address));
    }
    if (recipients.isEmpty()) {
        qDebug("TsMailerManager::onChannelsInstable: the current user has no e-mail address");
        return;
    }
    const TsMailerSettings settings = d->mailer->settings();
    const bool untilAcknowledged =
        settings.notifyMode() == TsMailerSettings::NotifyUntilAcknowledged;
    TsAlarmMonitor *alarms = d->monitor();
    QString subject;
    QString body;
    QStringList ids;
    for (const TsExperimentChannel *channel : channels)
        ids << channel->id();

    const auto alarmOf = [alarms](const TsExperimentChannel *channel) {
        return alarms ? alarms->alarm(channel->id()) : TsAlarm();
    };
    const auto urlOf = [&context](const TsAlarm &alarm) {
        return alarm.token.isEmpty() ? QString()
                                     : acknowledgeUrl(context.httpPublicUrl, alarm.token);
    };
    const QString reminderNote =
        tr("Reminders follow every %1 minutes until the alarm is acknowledged: open its link "
           "above, or press \"Acknowledge\" in Tessaro.")
            .arg(settings.reminderMinutes());
    // A reminder about channels that are all back to normal speaks as the notice does, so that
    // nobody rushes to the incubator for an excursion that is over.
    bool allReturned = kind == MailKind::Reminder;
    for (const TsExperimentChannel *channel : channels)
        allReturned = allReturned && alarmOf(channel).state == TsAlarmState::ReturnedUnacknowledged;

    if (kind == MailKind::Recovery || allReturned) {
        QStringList names;
        QString list;
        bool unacknowledged = false;
        for (const TsExperimentChannel *channel : channels) {
            const TsAlarm alarm = alarmOf(channel);
            names << channel->name();
            list += alarmListEntry(channel, alarm, urlOf(alarm));
            unacknowledged = unacknowledged || alarm.isUnacknowledged();
        }
        const QString nameList = names.join(QStringLiteral(", "));
        QString intro;
        QString note;
        if (kind == MailKind::Recovery) {
            subject = tr("Tessaro: %1 stable again").arg(nameList);
            intro = tr("Tessaro reports that these channels are stable again:");
            if (unacknowledged)
                note = tr("The alarm is still to be acknowledged: open its link above, or press "
                          "\"Acknowledge\" in Tessaro.");
        } else {
            subject =
                tr("Reminder: Tessaro: %1 returned to normal, not acknowledged").arg(nameList);
            intro = tr("These channels were in alarm and have returned to normal; nothing needs "
                       "doing at the incubator, but nobody has acknowledged the alarm yet:");
            note = reminderNote;
        }
        QStringList paragraphs = {intro, list.trimmed()};
        if (!note.isEmpty())
            paragraphs << note;
        paragraphs << tr("Profile: %1\nUser: %2\nCurrent values: %3")
                          .arg(context.profileName, context.userName, context.httpPublicUrl)
                   << tr("This message was sent automatically by Tessaro.");
        body = paragraphs.join(QStringLiteral("\n\n"));
    } else {
        QFile file(d->mailerDir + QLatin1String(TemplateFile));
        if (!file.open(QIODevice::ReadOnly)) {
            qDebug("TsMailerManager::onChannelsInstable: %s: %s", qUtf8Printable(file.fileName()),
                   qUtf8Printable(file.errorString()));
            return;
        }
        subject = QString::fromUtf8(file.readLine()).trimmed();
        if (kind == MailKind::Reminder)
            subject = tr("Reminder: %1").arg(subject);
        AlarmText text;
        for (const TsExperimentChannel *channel : channels) {
            const TsAlarm alarm = alarmOf(channel);
            const QString url = urlOf(alarm);
            if (channel == channels.first()) {
                text.cause = alarm.causeText;
                text.ackUrl = url;
            }
            text.list += alarmListEntry(channel, alarm, url);
        }
        text.list = text.list.trimmed();
        text.note = untilAcknowledged
                        ? reminderNote
                        : tr("E-mail alerts are now switched off. Please check the incubation, "
                             "then switch\nthe alert on again in Tessaro (\"Email Alert\") or on "
                             "its web page.");
        body = fillPlaceholders(QString::fromUtf8(file.readAll()).trimmed(), channels.first(),
                                context, text);
    }
    d->lastAlarmMailAt = d->now();
    for (const QString &recipient : qAsConst(recipients)) {
        TsMail mail(recipient, subject);
        mail.setBody(body);
        if (kind == MailKind::Reminder)
            journalMail(TsAlarmJournal::EventReminder, ids, tr("to %1").arg(recipient));
        else if (kind == MailKind::Recovery)
            journalMail(TsAlarmJournal::EventRecoveryNotice, ids, tr("to %1").arg(recipient));
        Private::Pending pending;
        pending.mail = mail;
        pending.kind = kind;
        pending.channelIds = ids;
        d->pending << pending;
        send(mail);
    }
}

void TsMailerManager::send(const TsMail &mail)
{
    d->alertsInFlight.append(mail);
    d->mailer->sendAsync(mail);
}

void TsMailerManager::onSendStatus(const TsMail &mail)
{
    // Reported from the sending thread; counted here, on ours.
    if (!d->alertsInFlight.removeOne(mail))
        return;
    const bool ok = mail.result().isSuccess();
    if (ok)
        ++d->alertsSent;
    else
        ++d->alertsFailed;
    for (int i = 0; i < d->pending.size(); ++i) {
        Private::Pending &pending = d->pending[i];
        if (pending.mail != mail)
            continue;
        const QString to = mail.to().join(QStringLiteral(", "));
        if (ok) {
            journalMail(TsAlarmJournal::EventMailSent, pending.channelIds, tr("to %1").arg(to));
            d->pending.removeAt(i);
        } else {
            // The server's words on one line: the operator reads them in a tool tip.
            pending.failure = mail.result().message().simplified();
            if (pending.failure.isEmpty())
                pending.failure = mail.result().toString().simplified();
            const QList<int> &delays = retryDelays();
            pending.retryAt = d->now() + delays.at(qMin(pending.failures, delays.size() - 1));
            ++pending.failures;
            journalMail(TsAlarmJournal::EventMailFailed, pending.channelIds,
                        tr("to %1: %2").arg(to, pending.failure));
        }
        break;
    }
    dropAcknowledgedRetries();
}

void TsMailerManager::onAlarmTick()
{
    TsAlarmMonitor *alarms = d->monitor();
    if (!alarms)
        return;
    const qint64 now = d->now();
    for (Private::Pending &pending : d->pending) {
        if (pending.retryAt >= 0 && now >= pending.retryAt) {
            pending.retryAt = -1;
            send(pending.mail);
        }
    }
    const TsMailerSettings settings = d->mailer->settings();
    if (!d->emailAlert || settings.notifyMode() != TsMailerSettings::NotifyUntilAcknowledged)
        return;
    // An alarm that returned to normal before anybody saw it is reminded of too: the operator who
    // missed the night's excursion must still hear of it. The interval counts from the last mail
    // of any kind, the notice of a return included.
    if (!alarms->hasUnacknowledged() || d->lastAlarmMailAt < 0 ||
        now - d->lastAlarmMailAt < qint64(settings.reminderMinutes()) * 60000)
        return;
    // Channels still in alarm first: the template's placeholders speak of the first one.
    QList<TsExperimentChannel *> channels;
    QList<TsExperimentChannel *> returned;
    for (const TsAlarm &alarm : alarms->alarms()) {
        if (TsExperimentChannel *channel = d->experiment->channel(alarm.channelId))
            (alarm.isActive() ? channels : returned) << channel;
    }
    sendAlarmMail(MailKind::Reminder, channels + returned);
}

void TsMailerManager::onReturnedToNormal(const QList<TsExperimentChannel *> &channels)
{
    const TsMailerSettings settings = d->mailer->settings();
    if (d->emailAlert && settings.notifyMode() == TsMailerSettings::NotifyUntilAcknowledged &&
        settings.recoveryNotice())
        sendAlarmMail(MailKind::Recovery, channels);
}

void TsMailerManager::dropAcknowledgedRetries()
{
    // A mail waiting for its next attempt is dropped once none of its alarms waits for anybody.
    TsAlarmMonitor *alarms = d->monitor();
    for (int i = d->pending.size() - 1; i >= 0; --i) {
        const Private::Pending &pending = d->pending.at(i);
        if (pending.retryAt < 0 || !alarms)
            continue;
        bool waiting = false;
        for (const QString &id : pending.channelIds)
            waiting = waiting || alarms->alarm(id).isUnacknowledged();
        if (!waiting)
            d->pending.removeAt(i);
    }
    updateMailFailure();
}

void TsMailerManager::updateMailFailure()
{
    if (TsAlarmMonitor *alarms = d->monitor())
        alarms->setMailFailure(mailFailure());
}

void TsMailerManager::journalMail(const char *event, const QStringList &channelIds,
                                  const QString &details)
{
    TsAlarmMonitor *alarms = d->monitor();
    TsAlarmJournal *journal = alarms ? alarms->journal() : nullptr;
    if (!journal)
        return;
    TsAlarmJournal::Entry entry;
    entry.channel = channelIds.join(QLatin1Char(' '));
    entry.event = QString::fromLatin1(event);
    entry.details = details;
    journal->append(entry);
}
