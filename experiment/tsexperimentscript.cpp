#include "experiment/tsexperimentscript.h"

#include "device/tsdevicechannel.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactionchannelbase.h"
#include "experiment/tsexperimentscriptactiontype.h"
#include "utils/xmlfile.h"

#include <QDebug>
#include <QDomDocument>
#include <QDomElement>
#include <QLocale>
#include <QMetaType>
#include <QPointer>
#include <QScopedPointer>
#include <QTimer>
#include <QXmlStreamWriter>

#include <cmath>
#include <algorithm>

namespace {

const QString RootTag = QStringLiteral("TsDynamicExperiment");
const QString ActionsTag = QStringLiteral("ScriptActions");
const QString ActionTag = QStringLiteral("ScriptAction");
const QString ParametersTag = QStringLiteral("ActionParameters");
const QString ParameterTag = QStringLiteral("ActionParameter");

// Whether a value survives the file: written as its type name and text, read back by converting
// the text to that type.
bool isStorable(const QVariant &value)
{
    if (!value.isValid() || !value.typeName())
        return false;
    const int typeId = QMetaType::type(value.typeName());
    QVariant text(value.toString());
    return typeId != QMetaType::UnknownType && text.convert(typeId);
}

QString channelIdOf(const TsExperimentScriptAction *action)
{
    return action
        ->parameter(QString::fromLatin1(TsExperimentScriptActionChannelBase::ChannelIdParameter))
        .toString();
}

} // namespace

struct TsExperimentScript::PendingStep
{
    TsExperimentScriptAction *action = nullptr;
    // The channel's link to its controller when the step failed; null when there was none. The
    // controller counts as back once the channel is linked to another one.
    QPointer<TsDeviceChannel> failedOn;
    QString message;
};

TsExperimentScript::TsExperimentScript(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<const TsExperimentScriptAction *>();
    setIdleStatusLine();
    // The experiment must have made its status timer before it creates the script.
    if (TsExperiment *owner = experiment()) {
        if (QTimer *timer = owner->statusTimer())
            connect(timer, &QTimer::timeout, this, &TsExperimentScript::updateStatus);
    }
}

TsExperimentScript::~TsExperimentScript()
{
    if (m_running)
        stop();
    deleteActions();
}

TsExperiment *TsExperimentScript::experiment() const
{
    return qobject_cast<TsExperiment *>(parent());
}

QxResult TsExperimentScript::load(const QString &path)
{
    if (m_running)
        return QxResult(tr("experiment running"));
    qDebug("TsExperimentScript::load: %s", qPrintable(path));

    QDomDocument document;
    Utils::XmlFile::ParseError parseError;
    const QxResult read = Utils::XmlFile::read(path, &document, &parseError);
    if (read.isError()) {
        if (parseError.message.isEmpty())
            return QxResult(
                tr("TsExperimentScript: Unable to open file '%1'. %2").arg(path, read.message()));
        return QxResult(tr("TsDynamicExperiment: Bad file '%1'. %2 (line=%3 column=%4)")
                            .arg(path, parseError.message)
                            .arg(parseError.line)
                            .arg(parseError.column));
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != RootTag)
        return QxResult(tr("TsDynamicExperiment: Invalid root tag"));

    deleteActions();
    const QDomElement actionsElement = root.firstChildElement(ActionsTag);
    for (QDomElement element = actionsElement.firstChildElement(ActionTag); !element.isNull();
         element = element.nextSiblingElement(ActionTag)) {
        const QString type = element.attribute(QStringLiteral("type"));
        const QString comment = element.attribute(QStringLiteral("comment"));
        bool timeOk = false;
        const qint64 time = element.attribute(QStringLiteral("time")).toLongLong(&timeOk, 10);
        const bool active = element.attribute(QStringLiteral("active")).toInt() != 0;
        if (!timeOk || type.isEmpty())
            return QxResult(tr("Bad ScriptAction attributes"));

        QScopedPointer<TsExperimentScriptAction> action(
            TsExperimentScriptActionType::create(type, this));
        if (!action)
            return QxResult(tr("Unsupported type '%1'").arg(type));

        TsExperimentScriptAction::Parameters parameters;
        const QDomElement parametersElement = element.firstChildElement(ParametersTag);
        for (QDomElement p = parametersElement.firstChildElement(ParameterTag); !p.isNull();
             p = p.nextSiblingElement(ParameterTag)) {
            const QString name = p.attribute(QStringLiteral("name"));
            const QString typeName = p.attribute(QStringLiteral("type"));
            if (name.isEmpty() || typeName.isEmpty())
                return QxResult(tr("Bad argument attributes"));
            const int typeId = QMetaType::type(typeName.toLatin1().constData());
            if (typeId == QMetaType::UnknownType)
                return QxResult(tr("Bad argument type '%1'").arg(typeName));
            QVariant value(p.attribute(QStringLiteral("value")));
            // A value that does not read as its type would otherwise become that type's zero:
            // a damaged file must not turn into a setpoint of 0.
            if (!value.convert(typeId))
                return QxResult(tr("Bad argument value '%1' for '%2'")
                                    .arg(p.attribute(QStringLiteral("value")), name));
            parameters.insert(name, value);
        }

        action->setComment(comment);
        action->setTime(time);
        action->setParameters(parameters);
        action->setActive(active);
        m_actions.append(action.take());
    }
    return QxResult::success();
}

QxResult TsExperimentScript::save(const QString &path) const
{
    if (m_running)
        return QxResult(tr("experiment running"));

    // The file must load again: an unset value would be written with an empty type, which no
    // load accepts. Refusing keeps the previous file; writing a stand-in value instead could
    // later drive a real setpoint.
    for (int i = 0; i < m_actions.size(); ++i) {
        const TsExperimentScriptAction *action = m_actions.at(i);
        const TsExperimentScriptAction::Parameters parameters = action->parameters();
        for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
            if (!it.key().isEmpty() && isStorable(it.value()))
                continue;
            const QString label =
                action->comment().isEmpty()
                    ? action->displayName()
                    : tr("\"%1\", %2").arg(action->comment(), action->displayName());
            const QString problem = it.value().isValid()
                                        ? tr("has a value for '%1' that cannot be stored")
                                        : tr("has no value for '%1'");
            return QxResult(tr("Action %1 (%2 at %3) %4. Set its value before saving the "
                               "dynamic experiment.")
                                .arg(i + 1)
                                .arg(label, durationText(action->time()), problem.arg(it.key())));
        }
    }

    const QxResult written = Utils::XmlFile::save(path, [this](QXmlStreamWriter &writer) {
        writer.writeStartElement(RootTag);
        writer.writeAttribute(QStringLiteral("name"), m_name);
        writer.writeStartElement(ActionsTag);
        for (const TsExperimentScriptAction *action : m_actions) {
            writer.writeStartElement(ActionTag);
            writer.writeAttribute(QStringLiteral("type"), action->type());
            writer.writeAttribute(QStringLiteral("comment"), action->comment());
            writer.writeAttribute(QStringLiteral("time"), QString::number(action->time()));
            writer.writeAttribute(QStringLiteral("active"),
                                  action->isActive() ? QStringLiteral("1") : QStringLiteral("0"));
            writer.writeStartElement(ParametersTag);
            const TsExperimentScriptAction::Parameters parameters = action->parameters();
            for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
                writer.writeEmptyElement(ParameterTag);
                writer.writeAttribute(QStringLiteral("name"), it.key());
                writer.writeAttribute(QStringLiteral("type"),
                                      QString::fromLatin1(it.value().typeName()));
                writer.writeAttribute(QStringLiteral("value"), it.value().toString());
            }
            writer.writeEndElement();
            writer.writeEndElement();
        }
        writer.writeEndElement();
        writer.writeEndElement();
        return true;
    });
    if (written.isError())
        return QxResult(written.code(), tr("TsDynamicExperiment: %1").arg(written.message()));
    return QxResult::success();
}

void TsExperimentScript::clear()
{
    stop();
    deleteActions();
    m_name.clear();
    setIdleStatusLine();
}

QString TsExperimentScript::statusLine() const
{
    return m_statusLine;
}

void TsExperimentScript::setStatusLine(const QString &line)
{
    m_plainStatusLine = line;
    // A step that did not reach its controller must not hide behind a clock that runs on: the
    // page says so until the run ends, or that it reached it late.
    QString full = line;
    if (m_running && !m_failure.isEmpty())
        full = tr("%1 - STEP FAILED: %2").arg(line, m_failure);
    else if (m_running && !m_recovery.isEmpty())
        full = tr("%1 - STEP LATE: %2").arg(line, m_recovery);
    if (full == m_statusLine)
        return;
    m_statusLine = full;
    emit statusLineChanged(full);
}

void TsExperimentScript::setIdleStatusLine()
{
    if (!m_running)
        setStatusLine(m_name.isEmpty() ? tr("No dynamic experiment configured")
                                       : tr("Not running"));
}

void TsExperimentScript::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    setIdleStatusLine();
    emit nameChanged(m_name);
}

QList<TsExperimentScriptAction *> TsExperimentScript::actions() const
{
    QList<TsExperimentScriptAction *> copies;
    copies.reserve(m_actions.size());
    for (const TsExperimentScriptAction *action : m_actions)
        copies.append(action->clone());
    return copies;
}

bool TsExperimentScript::setActions(const QList<TsExperimentScriptAction *> &actions)
{
    if (m_running) {
        qWarning("TsExperimentScript::setActions: refused while the script runs");
        return false;
    }
    deleteActions();
    for (const TsExperimentScriptAction *action : actions) {
        if (action)
            m_actions.append(action->clone());
    }
    return true;
}

qint64 TsExperimentScript::endTime() const
{
    if (m_actions.isEmpty() || !m_startTime.isValid())
        return 0;
    return m_startTime.toMSecsSinceEpoch() + m_actions.last()->time();
}

const TsExperimentScriptAction *TsExperimentScript::currentAction() const
{
    return m_running ? m_current : nullptr;
}

void TsExperimentScript::setClock(const Clock &clock)
{
    m_clock = clock;
}

qint64 TsExperimentScript::elapsedMilliseconds() const
{
    if (m_clock)
        return m_clock() - m_clockStart;
    return m_elapsed.isValid() ? m_elapsed.elapsed() : 0;
}

QString TsExperimentScript::durationText(qint64 milliseconds)
{
    const qint64 totalSeconds = qMax<qint64>(0, milliseconds) / 1000;
    const qint64 days = totalSeconds / 86400;
    const qint64 hours = totalSeconds / 3600 % 24;
    const qint64 minutes = totalSeconds / 60 % 60;
    const qint64 seconds = totalSeconds % 60;
    const QChar zero = QLatin1Char('0');
    if (days > 0)
        return tr("%1d %2h %3m %4s")
            .arg(days, 2, 10, zero)
            .arg(hours, 2, 10, zero)
            .arg(minutes, 2, 10, zero)
            .arg(seconds, 2, 10, zero);
    if (hours > 0)
        return tr("%1h %2m %3s")
            .arg(hours, 2, 10, zero)
            .arg(minutes, 2, 10, zero)
            .arg(seconds, 2, 10, zero);
    return tr("%1m %2s").arg(minutes, 2, 10, zero).arg(seconds, 2, 10, zero);
}

bool TsExperimentScript::start()
{
    m_cursor = 0;
    m_current = nullptr;
    m_pending.clear();
    setNotices(QString(), QString());
    if (m_actions.isEmpty())
        return false;

    for (TsExperimentScriptAction *action : qAsConst(m_actions)) {
        if (!action->prepare()) {
            qDebug("TsExperimentScript::start: %s", qPrintable(action->result().message()));
            return false;
        }
        action->reset();
    }

    bool ok = true;
    emit starting(ok);
    if (!ok)
        return false;

    m_elapsed.start();
    m_clockStart = m_clock ? m_clock() : 0;
    m_running = true;
    m_stopTime = QDateTime();
    m_startTime = QDateTime::currentDateTime();
    setStatusLine(tr("Starting ..."));
    emit stateChanged(true);
    if (!m_running)
        return false; // a receiver stopped it again
    return advance();
}

void TsExperimentScript::stop()
{
    // Only a run ends here. A stop of a finished or never started script (a clear() when another
    // dynamic experiment is chosen) must not announce one: receivers end the recording with it.
    if (!m_running)
        return;
    m_stopTime = QDateTime::currentDateTime();
    m_running = false;
    m_current = nullptr;
    setIdleStatusLine();
    emit stateChanged(false);
}

void TsExperimentScript::nextStep()
{
    if (!m_running || !reapplyReturned())
        return;
    if (!m_current || elapsedMilliseconds() <= m_current->time())
        return;

    // Receivers of the signals below may stop, clear or reload the script; the action must not
    // be touched once it is no longer the current one.
    TsExperimentScriptAction *action = m_current;
    auto stillCurrent = [this, action] { return m_running && m_current == action; };

    emit actionExecute(action);
    if (!stillCurrent())
        return;
    const bool ok = action->execute();
    noteOutcome(action, ok);
    if (!stillCurrent())
        return;
    if (!ok) {
        emit actionError(action);
        if (!stillCurrent())
            return;
        if (action->isStopOnError()) {
            stop();
            return;
        }
    }
    action->setLastExecuted(QDateTime::currentDateTime());
    emit actionExecuted(action);
    if (!stillCurrent())
        return;
    advance();
}

void TsExperimentScript::updateStatus()
{
    if (!m_running || m_actions.isEmpty())
        return;
    const QString elapsed = durationText(elapsedMilliseconds());
    // Halves away from zero: 0.125 reads as 13%.
    setStatusLine(tr("Running (%1 / %2%)").arg(elapsed).arg(std::llround(progress() * 100.0)));
    emit status(elapsed, progress());
}

double TsExperimentScript::progress() const
{
    if (!m_running || m_actions.isEmpty())
        return 0.0;
    const qint64 last = m_actions.last()->time();
    // A last action due at once (or, in a hand-edited file, before the start) is already due:
    // dividing by its time would report an infinite or negative progress.
    return last > 0 ? double(elapsedMilliseconds()) / double(last) : 1.0;
}

bool TsExperimentScript::advance()
{
    while (m_cursor < m_actions.size()) {
        TsExperimentScriptAction *action = m_actions.at(m_cursor++);
        if (!action->isActive())
            continue;
        m_current = action;
        emit actionNextPending(action);
        return true;
    }
    m_current = nullptr;
    stop();
    return false;
}

void TsExperimentScript::deleteActions()
{
    m_current = nullptr;
    m_cursor = 0;
    m_pending.clear();
    qDeleteAll(m_actions);
    m_actions.clear();
}

QString TsExperimentScript::actionDescription(const TsExperimentScriptAction *action) const
{
    const QString id = channelIdOf(action);
    const TsExperimentChannel *channel = experiment() ? experiment()->channel(id) : nullptr;
    const QVariant value = action->parameter(
        QString::fromLatin1(TsExperimentScriptActionChannelBase::ChannelValueParameter));
    QString valueText;
    if (value.type() == QVariant::Bool)
        valueText = value.toBool() ? tr("On") : tr("Off");
    else if (value.type() == QVariant::Double)
        valueText = QLocale().toString(value.toDouble()) + (channel ? channel->unit() : QString());
    else
        valueText = value.toString();
    return tr("%1 %2 %3")
        .arg(channel ? channel->name() : id, action->displayName(), valueText)
        .simplified();
}

QString TsExperimentScript::failureText(const TsExperimentScriptAction *action) const
{
    QString reason = action->result().message();
    if (reason.isEmpty()) {
        const TsExperimentChannel *channel =
            experiment() ? experiment()->channel(channelIdOf(action)) : nullptr;
        reason = channel && channel->isConnected() ? tr("the controller did not take it")
                                                   : tr("its controller is not connected");
    }
    return tr("%1, due at %2, failed: %3")
        .arg(actionDescription(action), durationText(action->time()), reason);
}

void TsExperimentScript::noteOutcome(TsExperimentScriptAction *action, bool ok)
{
    // Only the latest step of a kind on a channel matters: the controller is to end up where the
    // script means it to be now, not to replay what it missed.
    const auto sameTarget = [action](const PendingStep &pending) {
        return pending.action->type() == action->type() &&
               channelIdOf(pending.action) == channelIdOf(action);
    };
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(), sameTarget),
                    m_pending.end());
    if (ok) {
        setNotices(m_pending.empty() ? QString() : m_pending.back().message, m_recovery);
        return;
    }
    PendingStep pending;
    pending.action = action;
    pending.message = failureText(action);
    const TsExperimentChannel *channel =
        experiment() ? experiment()->channel(channelIdOf(action)) : nullptr;
    pending.failedOn = channel ? channel->deviceChannel() : nullptr;
    m_pending.push_back(pending);
    qWarning("TsExperimentScript: %s", qPrintable(pending.message));
    emit actionFailed(action, pending.message);
    setNotices(pending.message, m_recovery);
}

bool TsExperimentScript::reapplyReturned()
{
    if (m_pending.empty())
        return true;
    struct Said
    {
        TsExperimentScriptAction *action;
        QString message;
        bool applied;
    };
    QList<Said> said;
    QString recovery = m_recovery;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        TsExperimentScriptAction *action = it->action;
        const TsExperimentChannel *channel =
            experiment() ? experiment()->channel(channelIdOf(action)) : nullptr;
        TsDeviceChannel *link = channel ? channel->deviceChannel() : nullptr;
        if (!link || link == it->failedOn.data()) {
            ++it;
            continue;
        }
        if (action->execute()) {
            recovery = tr("%1, due at %2, applied at %3 when its controller came back")
                           .arg(actionDescription(action), durationText(action->time()),
                                durationText(elapsedMilliseconds()));
            said.append({action, recovery, true});
            it = m_pending.erase(it);
            continue;
        }
        // Back, but the step still does not take: said again, and tried at the next return.
        it->failedOn = link;
        it->message = failureText(action);
        said.append({action, it->message, false});
        ++it;
    }
    setNotices(m_pending.empty() ? QString() : m_pending.back().message, recovery);
    // Receivers may stop or clear the script: nothing of it is touched once it no longer runs.
    for (const Said &step : qAsConst(said)) {
        qWarning("TsExperimentScript: %s", qPrintable(step.message));
        if (step.applied)
            emit actionReapplied(step.action, step.message);
        else
            emit actionFailed(step.action, step.message);
        if (!m_running)
            return false;
    }
    return m_running;
}

void TsExperimentScript::setNotices(const QString &failure, const QString &recovery)
{
    if (failure == m_failure && recovery == m_recovery)
        return;
    m_failure = failure;
    m_recovery = recovery;
    setStatusLine(m_plainStatusLine);
    emit actionNoticeChanged();
}
