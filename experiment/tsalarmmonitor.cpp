#include "tsalarmmonitor.h"

#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tschannelstate.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>

#include <cmath>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Tokens given out and used: kept so that a second click says "used" rather than "unknown".
constexpr int UsedTokensKept = 1000;

bool sameSetpoint(double a, double b)
{
    // What the controller keeps is the written value rounded to its resolution (a tenth at most);
    // anything closer is the same setpoint.
    return std::fabs(a - b) < 1e-6 * qMax(1.0, std::fabs(b));
}

QString setpointText(double value)
{
    return std::isnan(value) ? QStringLiteral("--.-") : QString::number(value, 'f', 1);
}

QString loopText(int loop)
{
    return loop < 0 ? QStringLiteral("?")
                    : (loop ? TsAlarmMonitor::tr("on") : TsAlarmMonitor::tr("off"));
}

// 192 random bits from the system's source, as URL-safe text.
QString newToken()
{
    QByteArray bytes(24, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / 4);
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

QString tsAlarmStateName(TsAlarmState state)
{
    switch (state) {
    case TsAlarmState::Unacknowledged:
        return QStringLiteral("unacknowledged");
    case TsAlarmState::Acknowledged:
        return QStringLiteral("acknowledged");
    case TsAlarmState::ReturnedUnacknowledged:
        return QStringLiteral("returned_unacknowledged");
    case TsAlarmState::Normal:
        break;
    }
    return QStringLiteral("normal");
}

QString tsAlarmStateText(TsAlarmState state)
{
    switch (state) {
    case TsAlarmState::Unacknowledged:
        return TsAlarmMonitor::tr("in alarm, unacknowledged");
    case TsAlarmState::Acknowledged:
        return TsAlarmMonitor::tr("in alarm, acknowledged");
    case TsAlarmState::ReturnedUnacknowledged:
        return TsAlarmMonitor::tr("returned to normal, unacknowledged");
    case TsAlarmState::Normal:
        break;
    }
    return TsAlarmMonitor::tr("normal");
}

struct TsAlarmMonitor::Private
{
    struct Record
    {
        TsAlarm alarm;
        // What the program last wrote, or what was first seen; NaN and -1 while unknown.
        double expectedSetpoint = NaN;
        int expectedLoop = -1;
        // As seen at the last check.
        double lastSetpoint = NaN;
        int lastLoop = -1;
        QPointer<TsDeviceChannel> followed;
        bool seenConnected = false;
        qint64 lostSince = -1;
        bool lossReported = false;
        bool faultReported = false;
        // Came back (a new controller object, or answering again): compare once values arrive.
        bool compareOnReturn = false;
    };

    TsExperiment *experiment = nullptr;
    std::function<qint64()> clock;
    int lostTime = DefaultControllerLostTime;
    QPointer<TsAlarmJournal> journal;
    QHash<QString, Record> records;
    QHash<QString, QString> tokens; // token -> channel id, for unused ones
    QHash<QString, QString> usedTokens;
    QStringList usedOrder;
    QString mailFailure;

    void follow(TsAlarmMonitor *q, const QString &id, Record &record, TsDeviceChannel *channel)
    {
        if (record.followed == channel)
            return;
        if (record.followed)
            QObject::disconnect(record.followed, &TsDeviceChannel::valueWritten, q, nullptr);
        record.followed = channel;
        if (!channel)
            return;
        if (record.seenConnected)
            record.compareOnReturn = true;
        QObject::connect(channel, &TsDeviceChannel::valueWritten, q,
                         [this, id](int role, const QVariant &value) {
                             auto it = records.find(id);
                             if (it == records.end())
                                 return;
                             if (role == TsDeviceChannel::SetpointValue) {
                                 it->expectedSetpoint = value.toDouble();
                                 it->lastSetpoint = value.toDouble();
                             } else if (role == TsDeviceChannel::LoopControl) {
                                 it->expectedLoop = value.toBool() ? 1 : 0;
                                 it->lastLoop = it->expectedLoop;
                             }
                         });
    }

    void useToken(const QString &token, const QString &id)
    {
        if (token.isEmpty())
            return;
        tokens.remove(token);
        usedTokens.insert(token, id);
        usedOrder << token;
        while (usedOrder.size() > UsedTokensKept)
            usedTokens.remove(usedOrder.takeFirst());
    }
};

TsAlarmMonitor::TsAlarmMonitor(TsExperiment *experiment)
    : QObject(experiment)
    , d(new Private)
{
    d->experiment = experiment;
    d->clock = [] {
        static QElapsedTimer timer = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return timer.elapsed();
    };
}

TsAlarmMonitor::~TsAlarmMonitor() = default;

void TsAlarmMonitor::setClock(const std::function<qint64()> &milliseconds)
{
    d->clock = milliseconds;
}

qint64 TsAlarmMonitor::now() const
{
    return d->clock();
}

void TsAlarmMonitor::setControllerLostTime(int milliseconds)
{
    d->lostTime = milliseconds;
}

int TsAlarmMonitor::controllerLostTime() const
{
    return d->lostTime;
}

void TsAlarmMonitor::setJournal(TsAlarmJournal *journal)
{
    d->journal = journal;
}

TsAlarmJournal *TsAlarmMonitor::journal() const
{
    return d->journal;
}

void TsAlarmMonitor::journalEvent(const QString &channelId, const char *event, const QString &who,
                                  const QString &details)
{
    if (!d->journal)
        return;
    TsAlarmJournal::Entry entry;
    entry.channel = channelId;
    entry.event = QString::fromLatin1(event);
    entry.who = who;
    entry.details = details;
    if (const TsExperimentChannel *channel = d->experiment->channel(channelId)) {
        entry.value = channel->valueText(TsExperimentChannel::ActualValue, true);
        entry.setpoint = channel->valueText(TsExperimentChannel::SetpointValue, true);
    }
    d->journal->append(entry);
}

QList<TsExperimentChannel *> TsAlarmMonitor::check(bool armed)
{
    const qint64 now = d->clock();
    QList<TsExperimentChannel *> raised;
    QList<TsExperimentChannel *> returned;
    bool changed = false;
    QSet<QString> present;
    const QList<TsExperimentChannel *> channels = d->experiment->channels();
    for (TsExperimentChannel *channel : channels) {
        const QString id = channel->id();
        present.insert(id);
        Private::Record &record = d->records[id];
        record.alarm.channelId = id;
        record.alarm.channelName = channel->name();
        TsDeviceChannel *device = channel->deviceChannel();
        d->follow(this, id, record, device);
        // A controller that does not answer is as lost as one unplugged.
        const bool connected =
            device && !(device->device() && device->device()->isConnectionLost());

        // Values as sampled this tick; a missing one changes nothing.
        bool setpointOk = false;
        double setpoint = channel->value(TsExperimentChannel::SetpointValue).toDouble(&setpointOk);
        if (!connected || !setpointOk || std::isnan(setpoint))
            setpoint = NaN;
        const QVariant loopValue = channel->value(TsExperimentChannel::LoopControl);
        const int loop = connected && loopValue.isValid() ? (loopValue.toBool() ? 1 : 0) : -1;
        const TsChannelState state = connected ? channel->state() : TsChannelState::Offline;

        TsAlarmCause cause = TsAlarmCause::None;
        QString causeText;
        const auto raise = [&](TsAlarmCause c, const QString &text) {
            if (cause == TsAlarmCause::None) {
                cause = c;
                causeText = text;
            }
        };

        // The controller gone for longer than the set time: once per loss.
        if (connected) {
            if (record.lostSince >= 0 && record.seenConnected)
                record.compareOnReturn = true;
            record.seenConnected = true;
            record.lostSince = -1;
            record.lossReported = false;
        } else if (record.seenConnected) {
            if (record.lostSince < 0)
                record.lostSince = now;
            if (!record.lossReported && now - record.lostSince >= d->lostTime) {
                record.lossReported = true;
                raise(TsAlarmCause::ControllerLost,
                      tr("controller lost for more than %1 s").arg(d->lostTime / 1000));
            }
        }

        // A controller that reports a fault: once per fault, at once, in the controller's words.
        // Its channels deliver no values meanwhile, so no loop reads as switched off.
        const bool deviceFault = connected && channel->hasDeviceFault();
        if (!deviceFault) {
            record.faultReported = false;
        } else if (!record.faultReported) {
            record.faultReported = true;
            // A code the controller's description does not know has no words: its number then.
            const QString words =
                device->deviceStatusText().isEmpty()
                    ? tr("device status 0x%1").arg(device->deviceStatus(), 2, 16, QLatin1Char('0'))
                    : device->deviceStatusText();
            raise(TsAlarmCause::DeviceFault, tr("controller reports a fault: %1").arg(words));
        }

        // Values the program did not write.
        if (std::isnan(record.expectedSetpoint) && !std::isnan(setpoint))
            record.expectedSetpoint = setpoint;
        if (record.expectedLoop < 0 && loop >= 0)
            record.expectedLoop = loop;
        const bool setpointDiffers = !std::isnan(setpoint) &&
                                     !std::isnan(record.expectedSetpoint) &&
                                     !sameSetpoint(setpoint, record.expectedSetpoint);
        const bool loopDiffers =
            loop >= 0 && record.expectedLoop >= 0 && loop != record.expectedLoop;
        if (record.compareOnReturn && !std::isnan(setpoint) && loop >= 0) {
            record.compareOnReturn = false;
            if (setpointDiffers || loopDiffers) {
                raise(TsAlarmCause::ControllerReturned,
                      tr("controller came back with setpoint %1 and loop %2; the program had "
                         "written %3 and %4")
                          .arg(setpointText(setpoint), loopText(loop),
                               setpointText(record.expectedSetpoint),
                               loopText(record.expectedLoop)));
            }
        } else {
            if (loop == 0 && record.lastLoop == 1 && loopDiffers)
                raise(TsAlarmCause::LoopOff, tr("regulation loop switched off at the controller"));
            if (setpointDiffers && !std::isnan(record.lastSetpoint) &&
                !sameSetpoint(setpoint, record.lastSetpoint)) {
                raise(TsAlarmCause::SetpointChanged,
                      tr("setpoint changed at the controller from %1 to %2")
                          .arg(setpointText(record.lastSetpoint), setpointText(setpoint)));
            }
        }
        // Leaving the stable band: only a channel seen green since the alert was armed. A silent
        // loss found in the same look names the alarm: it says more.
        if (!armed) {
            channel->setStable(false);
        } else if (channel->alert() && device) {
            if (!channel->isStable() && state == TsChannelState::Green) {
                qDebug("TsExperiment::checkEmailAlert: '%s' now stable", qPrintable(id));
                channel->setStable(true);
            } else if (channel->isStable() && state == TsChannelState::Red) {
                qDebug("TsExperiment::checkEmailAlert: '%s' stable lost", qPrintable(id));
                channel->setStable(false);
                raise(TsAlarmCause::StableLost, tr("left its stable band"));
            }
        }

        if (!std::isnan(setpoint))
            record.lastSetpoint = setpoint;
        if (loop >= 0)
            record.lastLoop = loop;

        TsAlarm &alarm = record.alarm;
        if (!armed || !channel->alert()) {
            // Disarmed, what the controller holds is taken as it is: only the program's writes
            // and an armed alert make a difference an alarm.
            if (!alarm.isActive()) {
                if (!std::isnan(setpoint))
                    record.expectedSetpoint = setpoint;
                if (loop >= 0)
                    record.expectedLoop = loop;
            }
            cause = TsAlarmCause::None;
        }
        const bool restorable =
            connected && ((!std::isnan(setpoint) && !std::isnan(record.expectedSetpoint) &&
                           !sameSetpoint(setpoint, record.expectedSetpoint)) ||
                          (loop >= 0 && record.expectedLoop >= 0 && loop != record.expectedLoop));
        if (alarm.restorable != restorable) {
            alarm.restorable = restorable;
            changed = true;
        }

        if (cause != TsAlarmCause::None && !alarm.isActive()) {
            d->tokens.remove(alarm.token);
            alarm.state = TsAlarmState::Unacknowledged;
            alarm.cause = cause;
            alarm.causeText = causeText;
            alarm.raisedAt = QDateTime::currentDateTime();
            alarm.returnedAt = QDateTime();
            alarm.token = newToken();
            d->tokens.insert(alarm.token, id);
            raised << channel;
            changed = true;
            journalEvent(id, TsAlarmJournal::EventAlarm, QString(), causeText);
        } else if (alarm.isActive() && connected && !deviceFault &&
                   state == TsChannelState::Green && !setpointDiffers && !loopDiffers) {
            if (alarm.state == TsAlarmState::Unacknowledged) {
                alarm.state = TsAlarmState::ReturnedUnacknowledged;
            } else {
                alarm.state = TsAlarmState::Normal;
                d->useToken(alarm.token, id);
                alarm.token.clear();
            }
            alarm.returnedAt = QDateTime::currentDateTime();
            returned << channel;
            changed = true;
            journalEvent(id, TsAlarmJournal::EventReturnedToNormal);
        }
    }
    // Channels the profile no longer has have no alarm.
    for (auto it = d->records.begin(); it != d->records.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        d->tokens.remove(it->alarm.token);
        changed = changed || it->alarm.state != TsAlarmState::Normal;
        it = d->records.erase(it);
    }
    if (changed)
        emit alarmsChanged();
    if (!returned.isEmpty())
        emit returnedToNormal(returned);
    emit checked();
    return raised;
}

TsAlarm TsAlarmMonitor::alarm(const QString &channelId) const
{
    return d->records.value(channelId).alarm;
}

TsAlarmState TsAlarmMonitor::state(const QString &channelId) const
{
    return d->records.value(channelId).alarm.state;
}

QList<TsAlarm> TsAlarmMonitor::alarms() const
{
    QList<TsAlarm> list;
    for (const TsExperimentChannel *channel : d->experiment->channels()) {
        const auto it = d->records.constFind(channel->id());
        if (it != d->records.cend() && it->alarm.state != TsAlarmState::Normal)
            list << it->alarm;
    }
    return list;
}

bool TsAlarmMonitor::hasUnacknowledged() const
{
    for (const Private::Record &record : qAsConst(d->records)) {
        if (record.alarm.isUnacknowledged())
            return true;
    }
    return false;
}

QList<TsAlarm> TsAlarmMonitor::activeUnacknowledged() const
{
    QList<TsAlarm> list;
    for (const TsAlarm &alarm : alarms()) {
        if (alarm.state == TsAlarmState::Unacknowledged)
            list << alarm;
    }
    return list;
}

bool TsAlarmMonitor::acknowledge(const QString &channelId, const QString &who)
{
    auto it = d->records.find(channelId);
    if (it == d->records.end() || !it->alarm.isUnacknowledged())
        return false;
    TsAlarm &alarm = it->alarm;
    alarm.state = alarm.state == TsAlarmState::Unacknowledged ? TsAlarmState::Acknowledged
                                                              : TsAlarmState::Normal;
    d->useToken(alarm.token, channelId);
    alarm.token.clear();
    journalEvent(channelId, TsAlarmJournal::EventAcknowledged, who);
    emit acknowledged(channelId);
    emit alarmsChanged();
    return true;
}

int TsAlarmMonitor::acknowledgeAll(const QString &who)
{
    int count = 0;
    for (const TsAlarm &alarm : alarms()) {
        if (acknowledge(alarm.channelId, who))
            ++count;
    }
    return count;
}

TsAlarmMonitor::TokenResult
TsAlarmMonitor::acknowledgeByToken(const QString &token, const QString &who, QString *channelId)
{
    if (token.isEmpty())
        return TokenUnknown;
    const auto used = d->usedTokens.constFind(token);
    if (used != d->usedTokens.cend()) {
        if (channelId)
            *channelId = used.value();
        return TokenUsed;
    }
    const QString id = d->tokens.value(token);
    if (id.isEmpty() || !acknowledge(id, who))
        return TokenUnknown;
    if (channelId)
        *channelId = id;
    return TokenAcknowledged;
}

QxResult TsAlarmMonitor::restore(const QString &channelId, const QString &who)
{
    auto it = d->records.find(channelId);
    TsExperimentChannel *channel = d->experiment->channel(channelId);
    if (it == d->records.end() || !channel || !channel->isConnected())
        return QxResult(tr("The channel's controller is not connected."));
    const Private::Record record = *it;
    QxResult result;
    if (!std::isnan(record.expectedSetpoint))
        result = channel->setValue(TsExperimentChannel::SetpointValue, record.expectedSetpoint);
    if (result.isSuccess() && record.expectedLoop >= 0)
        result = channel->setValue(TsExperimentChannel::LoopControl, record.expectedLoop == 1);
    if (result.isSuccess()) {
        journalEvent(
            channelId, TsAlarmJournal::EventRestored, who,
            tr("setpoint %1, loop %2")
                .arg(setpointText(record.expectedSetpoint), loopText(record.expectedLoop)));
    }
    return result;
}

void TsAlarmMonitor::setMailFailure(const QString &text)
{
    if (text == d->mailFailure)
        return;
    d->mailFailure = text;
    emit alarmsChanged();
}

QString TsAlarmMonitor::mailFailure() const
{
    return d->mailFailure;
}
