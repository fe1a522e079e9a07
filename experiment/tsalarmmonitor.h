// The alarms of the running experiment, one per alarm-enabled channel: raised when the channel
// leaves its stable band after having been stable, when its controller stays lost or reports a
// fault, when its loop goes off or its setpoint changes without the program having written it, or
// when its controller comes back with other values than the program last wrote; then kept until a
// person has acknowledged them. The experiment asks it once per tick; time comes from a clock the
// tests drive.
#pragma once

#include "utils/qxresult.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QScopedPointer>
#include <QString>

#include <functional>

class TsAlarmJournal;
class TsExperiment;
class TsExperimentChannel;

enum class TsAlarmState
{
    Normal = 0,
    Unacknowledged = 1,         // in alarm, nobody has acknowledged it yet
    Acknowledged = 2,           // in alarm, acknowledged
    ReturnedUnacknowledged = 3, // back to normal before anybody acknowledged it
};

// "normal", "unacknowledged", "acknowledged", "returned_unacknowledged": the words of the web
// page and /metrics.
QString tsAlarmStateName(TsAlarmState state);
// The state as the operator reads it: "in alarm, unacknowledged" and so on.
QString tsAlarmStateText(TsAlarmState state);
constexpr TsAlarmState TsAlarmStates[] = {TsAlarmState::Normal, TsAlarmState::Unacknowledged,
                                          TsAlarmState::Acknowledged,
                                          TsAlarmState::ReturnedUnacknowledged};

enum class TsAlarmCause
{
    None = 0,
    StableLost,         // red after having been green
    ControllerLost,     // no controller for longer than the set time
    LoopOff,            // the loop went off without the program switching it
    SetpointChanged,    // the setpoint changed without the program writing it
    ControllerReturned, // back with another setpoint or loop state than the program last wrote
    DeviceFault,        // the controller reports a fault (a device status other than 0)
};

struct TsAlarm
{
    QString channelId;
    QString channelName;
    TsAlarmState state = TsAlarmState::Normal;
    TsAlarmCause cause = TsAlarmCause::None;
    QString causeText;
    QDateTime raisedAt;
    // When it last returned to normal; invalid while it has not.
    QDateTime returnedAt;
    // Acknowledges this alarm once from the mail's link; empty once used or acknowledged.
    QString token;
    // The controller holds another setpoint or loop state than the program last wrote.
    bool restorable = false;

    bool isActive() const
    {
        return state == TsAlarmState::Unacknowledged || state == TsAlarmState::Acknowledged;
    }
    bool isUnacknowledged() const
    {
        return state == TsAlarmState::Unacknowledged ||
               state == TsAlarmState::ReturnedUnacknowledged;
    }
};

class TsAlarmMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultControllerLostTime = 30000; // ms

    enum TokenResult
    {
        TokenAcknowledged,
        TokenUnknown, // never given out, or its alarm is over
        TokenUsed,    // its alarm was acknowledged already
    };

    explicit TsAlarmMonitor(TsExperiment *experiment);
    ~TsAlarmMonitor() override;

    // Milliseconds of a steady clock; the default runs from the program's start.
    void setClock(const std::function<qint64()> &milliseconds);
    qint64 now() const;
    // How long a controller may be gone before its channels are in alarm.
    void setControllerLostTime(int milliseconds);
    int controllerLostTime() const;

    // Where the events go; not owned, null for none.
    void setJournal(TsAlarmJournal *journal);
    TsAlarmJournal *journal() const;
    // Writes one event about a channel with its current value and setpoint.
    void journalEvent(const QString &channelId, const char *event, const QString &who = QString(),
                      const QString &details = QString());

    // One look at every channel. Armed: new alarms are raised and returned (the experiment
    // announces them). Not armed: none are raised and every channel must be stable once more
    // before it can raise one; alarms already raised still return to normal.
    QList<TsExperimentChannel *> check(bool armed);

    TsAlarm alarm(const QString &channelId) const;
    TsAlarmState state(const QString &channelId) const;
    // Every alarm that is not normal, in the order of the channels.
    QList<TsAlarm> alarms() const;
    // An alarm, active or returned to normal, waits for somebody: what reminders are about.
    bool hasUnacknowledged() const;
    // Alarms still active and not acknowledged.
    QList<TsAlarm> activeUnacknowledged() const;

    // By a person at the desktop; true when it changed an alarm.
    bool acknowledge(const QString &channelId, const QString &who);
    int acknowledgeAll(const QString &who);
    // From the mail's link; who says from where. The channel acknowledged goes to channelId.
    TokenResult acknowledgeByToken(const QString &token, const QString &who,
                                   QString *channelId = nullptr);
    // Writes back to the controller the setpoint and loop state the program last wrote.
    QxResult restore(const QString &channelId, const QString &who);

    // Why the last alarm mail did not go, in the mail server's words; empty once one went.
    void setMailFailure(const QString &text);
    QString mailFailure() const;

signals:
    // Any alarm's state, cause or restorability changed, or the mail failure text.
    void alarmsChanged();
    void acknowledged(const QString &channelId);
    // Channels whose alarm ended: stable again with the values the program wrote.
    void returnedToNormal(const QList<TsExperimentChannel *> &channels);
    // After every check.
    void checked();

private:
    struct Private;
    QScopedPointer<Private> d;
};
