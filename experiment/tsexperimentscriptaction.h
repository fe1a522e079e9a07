// One timed step of a dynamic experiment. Actions are plain values: the script and the editor's
// table hold their own copies, made with clone(), and create new ones only through the registry
// (TsExperimentScriptActionType) so that a kind is known by its type key everywhere.
#pragma once

#include "utils/qxresult.h"

#include <QDateTime>
#include <QFlags>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariant>

class TsExperimentScript;

class TsExperimentScriptAction
{
public:
    enum Flag
    {
        Active = 0x1,      // takes part in a run
        StopOnError = 0x2, // a failure stops the run
    };
    Q_DECLARE_FLAGS(Flags, Flag)

    using Parameters = QMap<QString, QVariant>;

    // The script owns the action only through its list; it is not deleted with the script here.
    TsExperimentScriptAction(const QString &type, TsExperimentScript *script);
    virtual ~TsExperimentScriptAction();

    // Called when the action is due; true on success, with the outcome kept in result().
    virtual bool execute();
    // Called for every action when the script starts; false keeps the script from starting.
    virtual bool prepare();
    // A new action of the same kind with every field copied.
    virtual TsExperimentScriptAction *clone() const = 0;

    // Forgets the outcome of an earlier run.
    void reset();

    QString type() const { return m_type; }
    QString displayName() const { return m_displayName; }
    TsExperimentScript *script() const { return m_script; }

    QString comment() const { return m_comment; }
    void setComment(const QString &comment) { m_comment = comment; }
    // Milliseconds after the script's start.
    qint64 time() const { return m_time; }
    void setTime(qint64 milliseconds) { m_time = milliseconds; }

    Flags flags() const { return m_flags; }
    void setFlags(Flags flags) { m_flags = flags; }
    bool isActive() const { return m_flags.testFlag(Active); }
    void setActive(bool active) { m_flags.setFlag(Active, active); }
    bool isStopOnError() const { return m_flags.testFlag(StopOnError); }
    void setStopOnError(bool stop) { m_flags.setFlag(StopOnError, stop); }

    QxResult result() const { return m_result; }
    QDateTime lastExecuted() const { return m_lastExecuted; }
    void setLastExecuted(const QDateTime &time) { m_lastExecuted = time; }

    // Iterated in ascending name order, which is the order of the file.
    Parameters parameters() const { return m_parameters; }
    void setParameters(const Parameters &parameters) { m_parameters = parameters; }
    // An invalid variant when the name is absent.
    QVariant parameter(const QString &name) const { return m_parameters.value(name); }
    void setParameter(const QString &name, const QVariant &value)
    {
        m_parameters.insert(name, value);
    }

protected:
    TsExperimentScriptAction(const TsExperimentScriptAction &other) = default;
    TsExperimentScriptAction &operator=(const TsExperimentScriptAction &other) = default;

    void setDisplayName(const QString &name) { m_displayName = name; }
    void setResult(const QxResult &result) { m_result = result; }

private:
    QString m_type;
    QString m_displayName;
    TsExperimentScript *m_script = nullptr;
    Parameters m_parameters;
    QxResult m_result;
    QDateTime m_lastExecuted;
    QString m_comment;
    Flags m_flags;
    qint64 m_time = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TsExperimentScriptAction::Flags)
// The script's signals carry actions; queued receivers and signal spies need the type.
Q_DECLARE_METATYPE(const TsExperimentScriptAction *)
