// A dynamic experiment: a timed list of actions that changes setpoints and loop control while
// the owning experiment runs. The experiment calls nextStep() on every sampling tick; all action
// times are measured on the script's own clock from the moment of start().
#pragma once

#include "utils/qxresult.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class TsExperiment;
class TsExperimentScriptAction;

class TsExperimentScript : public QObject
{
    Q_OBJECT

public:
    // The parent is the owning experiment; its status timer drives updateStatus(). Any other
    // parent (an editor's private copy) gives a script whose actions find no channels.
    explicit TsExperimentScript(QObject *parent = nullptr);
    ~TsExperimentScript() override;

    // The experiment that owns the script, or null when the parent is something else.
    TsExperiment *experiment() const;

    // Replaces the actions with those of a ".tsx" file. Refused while running.
    QxResult load(const QString &path);
    // Writes the ".tsx" file. Refused while running, and refused for an action with an unset
    // parameter value, which could not be read back.
    QxResult save(const QString &path) const;

    // Stops a running script, deletes the actions and empties the name (without nameChanged).
    void clear();

    QString name() const { return m_name; }
    void setName(const QString &name);

    // New copies of the actions, in list order; the caller owns them.
    QList<TsExperimentScriptAction *> actions() const;
    // Replaces the actions by copies of the given ones; the caller keeps its list. Refused
    // (false) while running: the run holds a cursor into the list.
    bool setActions(const QList<TsExperimentScriptAction *> &actions);
    int actionCount() const { return m_actions.size(); }

    bool isRunning() const { return m_running; }
    QDateTime startTime() const { return m_startTime; }
    QDateTime stopTime() const { return m_stopTime; }
    // Milliseconds since the epoch at which the last listed action is due; 0 when the list is
    // empty or the script has never been started.
    qint64 endTime() const;
    // The action due next while running; null otherwise.
    const TsExperimentScriptAction *currentAction() const;

    // The script's clock: a monotonic count of milliseconds, read at start() and on every step.
    // Tests replace it to step through a run without waiting; an empty function restores the
    // real clock.
    using Clock = std::function<qint64()>;
    void setClock(const Clock &clock);
    // Milliseconds since start().
    qint64 elapsedMilliseconds() const;
    // Elapsed time over the last action's time: 0 at the start, 1 when the last action is due;
    // 0 while not running.
    double progress() const;

    // "%1d %2h %3m %4s", "%1h %2m %3s" or "%1m %2s" with two-digit numbers; milliseconds dropped.
    static QString durationText(qint64 milliseconds);

    // The script's one-line status as the web page shows it: "No dynamic experiment configured",
    // "Not running", "Starting ..." or "Running (elapsed / progress%)", followed while running by
    // " - STEP FAILED: " or " - STEP LATE: " and the notice. Announced by statusLineChanged().
    QString statusLine() const;
    // A step that fails (its controller unplugged) still counts as run, and the script goes on;
    // what it meant is applied when the channel's controller comes back during the run: the
    // latest failed setpoint and the latest failed loop step of each channel, on the first tick
    // after the return. lastActionFailure() says the latest failure whose step has not reached
    // its controller since, lastActionRecovery() the latest step applied that late; both empty
    // when there is nothing to say, both kept until the next start.
    QString lastActionFailure() const { return m_failure; }
    QString lastActionRecovery() const { return m_recovery; }
    // The channel, the kind of step and its value: "Stage Setpoint Value 37.5°C".
    QString actionDescription(const TsExperimentScriptAction *action) const;

public slots:
    bool start();
    void stop();
    // One sampling tick: runs the current action when its time has passed, at most one per call.
    void nextStep();

protected slots:
    void updateStatus();

signals:
    void statusLineChanged(const QString &line);
    // Receivers may veto a start by setting ok to false.
    void starting(bool &ok);
    void stateChanged(bool on);
    void actionNextPending(const TsExperimentScriptAction *action);
    void actionExecute(const TsExperimentScriptAction *action);
    void actionError(const TsExperimentScriptAction *action);
    void actionExecuted(const TsExperimentScriptAction *action);
    void status(const QString &time, double progress);
    // A step failed: which, when it was due and why, as the log has it.
    void actionFailed(const TsExperimentScriptAction *action, const QString &message);
    // A failed step reached its controller when that came back.
    void actionReapplied(const TsExperimentScriptAction *action, const QString &message);
    // lastActionFailure() or lastActionRecovery() changed.
    void actionNoticeChanged();
    void nameChanged(const QString &name);

private:
    struct PendingStep;

    bool advance();
    void setStatusLine(const QString &line);
    // The line of a script that does not run.
    void setIdleStatusLine();
    void deleteActions();
    // Keeps a failed step until its controller comes back; a later step of the same kind on the
    // same channel that succeeds takes its place.
    void noteOutcome(TsExperimentScriptAction *action, bool ok);
    // Applies the failed steps whose controllers came back; false when a receiver stopped the run.
    bool reapplyReturned();
    void setNotices(const QString &failure, const QString &recovery);
    QString failureText(const TsExperimentScriptAction *action) const;

    QString m_name;
    bool m_running = false;
    QDateTime m_startTime;
    QDateTime m_stopTime;
    QElapsedTimer m_elapsed;
    Clock m_clock;
    qint64 m_clockStart = 0;
    QList<TsExperimentScriptAction *> m_actions;
    // Index of the next action to look at; the current action sits just before it while running.
    int m_cursor = 0;
    TsExperimentScriptAction *m_current = nullptr;
    QString m_statusLine;
    QString m_plainStatusLine; // without the notice of a failed or late step
    std::vector<PendingStep> m_pending; // in the order of their failures
    QString m_failure;
    QString m_recovery;
};
