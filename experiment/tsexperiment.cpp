#include "experiment/tsexperiment.h"

#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"

#include <QHash>
#include <QTimer>

struct TsExperiment::Private
{
    TsDeviceManager *devices = nullptr;
    QList<TsExperimentChannel *> channels;
    QTimer *sampleTimer = nullptr;
    QTimer *statusTimer = nullptr;
    TsExperimentRecorder *recorder = nullptr;
    TsExperimentScript *script = nullptr;
    TsProfile profile;
    TsEmailAlertSwitch *alertSwitch = nullptr;
    TsAlarmMonitor *alarms = nullptr;
    // The script's own end falls inside a tick, before that tick is sampled: a recorder that stops
    // with the script then waits for its next row, which shows what the last step did.
    bool inScriptStep = false;
    bool stopRecorderAtNextRow = false;
    quint64 rowsTaken = 0;
};

TsExperiment::TsExperiment(TsDeviceManager *devices, TsExperimentManager *parent)
    : QObject(parent)
    , d(new Private)
{
    d->devices = devices;
    d->sampleTimer = new QTimer(this);
    d->sampleTimer->setInterval(SampleInterval);
    // A coarse timer may drift by 5 % (50 ms a second); the recording's rhythm should not.
    d->sampleTimer->setTimerType(Qt::PreciseTimer);
    d->statusTimer = new QTimer(this);
    d->statusTimer->setInterval(StatusInterval);
    d->recorder = new TsExperimentRecorder(this);
    d->script = new TsExperimentScript(this);
    d->alarms = new TsAlarmMonitor(this);
    if (devices) {
        connect(devices, &TsDeviceManager::newDevice, this, &TsExperiment::onNewDevice);
        connect(devices, &TsDeviceManager::deviceRemoved, this, &TsExperiment::onDeviceRemoved);
    }
    d->statusTimer->start();
    connect(d->sampleTimer, &QTimer::timeout, this, &TsExperiment::sampleChannels);
    connect(d->script, &TsExperimentScript::stateChanged, this,
            &TsExperiment::onScriptStateChanged);
    connect(d->recorder, &TsExperimentRecorder::newSample, this, [this] { ++d->rowsTaken; });
    connect(d->recorder, &TsExperimentRecorder::stopped, this,
            [this] { d->stopRecorderAtNextRow = false; });
}

TsExperiment::~TsExperiment()
{
    d->sampleTimer->stop();
    d->statusTimer->stop();
    // The script and the recorder go before the channels their actions and columns point at;
    // a running script stops as it goes and may stop the recorder through stateChanged.
    disconnect(d->script, nullptr, this, nullptr);
    delete d->script;
    d->script = nullptr;
    d->recorder->stop();
    delete d->recorder;
    d->recorder = nullptr;
    qDeleteAll(d->channels);
    d->channels.clear();
    delete d;
}

TsDeviceManager *TsExperiment::deviceManager() const
{
    return d->devices;
}

QxResult TsExperiment::setProfile(const TsProfile &profile)
{
    if (d->recorder->isRunning())
        return QxResult(tr("system is running"));
    d->profile = profile;
    rebuildChannels();
    d->recorder->setLogSettings(profile.logSettings());
    d->recorder->setCsvSettings(profile.csvSettings());
    return QxResult::success();
}

TsProfile TsExperiment::profile() const
{
    return d->profile;
}

const QList<TsExperimentChannel *> &TsExperiment::channels() const
{
    return d->channels;
}

TsExperimentChannel *TsExperiment::channel(const QString &id) const
{
    for (TsExperimentChannel *channel : d->channels) {
        if (channel->id() == id)
            return channel;
    }
    return nullptr;
}

TsExperimentRecorder *TsExperiment::recorder() const
{
    return d->recorder;
}

TsExperimentScript *TsExperiment::script() const
{
    return d->script;
}

QTimer *TsExperiment::statusTimer() const
{
    return d->statusTimer;
}

QTimer *TsExperiment::sampleTimer() const
{
    return d->sampleTimer;
}

bool TsExperiment::isSampling() const
{
    return d->sampleTimer->isActive();
}

void TsExperiment::setEmailAlertSwitch(TsEmailAlertSwitch *alertSwitch)
{
    d->alertSwitch = alertSwitch;
}

TsEmailAlertSwitch *TsExperiment::emailAlertSwitch() const
{
    return d->alertSwitch;
}

void TsExperiment::rebuildChannels()
{
    if (d->recorder->isRunning())
        return;
    // Deleted before the list is emptied would leave receivers of the old channels a moment with
    // dangling entries; emptied first, nobody can reach them through the list.
    const QList<TsExperimentChannel *> old = d->channels;
    d->channels.clear();
    qDeleteAll(old);
    const QList<TsProfile::Channel> entries = d->profile.channels();
    for (const TsProfile::Channel &entry : entries) {
        TsDeviceChannel *deviceChannel = d->devices ? d->devices->channel(entry.id) : nullptr;
        auto *channel = new TsExperimentChannel(entry.id, entry.name, this, d->devices);
        channel->setColor(entry.color);
        channel->setAlert(entry.alert);
        if (deviceChannel)
            channel->connectTo(deviceChannel);
        d->channels.append(channel);
    }
    emit configChanged();
}

void TsExperiment::startSampling()
{
    if (d->sampleTimer->isActive())
        return;
    d->sampleTimer->start();
    sampleChannels();
}

void TsExperiment::stopSampling()
{
    d->sampleTimer->stop();
}

void TsExperiment::startRecorder()
{
    d->recorder->start();
}

void TsExperiment::stopRecorder()
{
    d->recorder->stop();
}

bool TsExperiment::startDynamic()
{
    if (!d->script->start())
        return false;
    if (d->recorder->logSettings().startMode() == TsRecorderLogSettings::StartWithDynamicExp) {
        d->recorder->start();
        // A recording refused at its start (its folder cannot be written) refuses the script
        // that was to be recorded, before any of its steps has run.
        if (!d->recorder->isRunning()) {
            d->script->stop();
            return false;
        }
    }
    return true;
}

void TsExperiment::stopDynamic()
{
    d->script->stop();
    if (d->recorder->logSettings().stopMode() == TsRecorderLogSettings::StopWithDynamicExp)
        d->recorder->stop();
}

void TsExperiment::onNewDevice(TsDevice *dev)
{
    followDevice(dev, [](TsExperimentChannel *channel, TsDeviceChannel *deviceChannel) {
        return channel->connectTo(deviceChannel);
    });
}

void TsExperiment::onDeviceRemoved(TsDevice *dev)
{
    followDevice(dev, [](TsExperimentChannel *channel, TsDeviceChannel *) {
        return channel->disconnectFrom();
    });
}

void TsExperiment::followDevice(
    TsDevice *dev, const std::function<bool(TsExperimentChannel *, TsDeviceChannel *)> &link)
{
    if (!dev)
        return;
    bool changed = false;
    const auto &deviceChannels = dev->channels();
    for (TsExperimentChannel *channel : qAsConst(d->channels)) {
        for (TsDeviceChannel *deviceChannel : deviceChannels) {
            if (deviceChannel->id() == channel->id() && link(channel, deviceChannel))
                changed = true;
        }
    }
    if (changed)
        emit configChanged();
}

void TsExperiment::sampleChannels()
{
    d->inScriptStep = true;
    d->script->nextStep();
    d->inScriptStep = false;
    // Copies: an action or a receiver of a device signal may change the profile meanwhile.
    const QList<TsExperimentChannel *> channels = d->channels;
    for (TsExperimentChannel *channel : channels)
        channel->sample(0);
    for (TsExperimentChannel *channel : channels)
        channel->sample(1);
    updateChannelStates();
    const quint64 rowsBefore = d->rowsTaken;
    d->recorder->record();
    if (d->stopRecorderAtNextRow && d->rowsTaken != rowsBefore)
        d->recorder->stop();
    checkEmailAlert();
}

void TsExperiment::updateChannelStates()
{
    // Copies: a device that loses its link in a read takes its channels' signals along.
    const QList<TsExperimentChannel *> channels = d->channels;
    QHash<TsDevice *, QxResult> deviceReads;
    for (TsExperimentChannel *channel : channels) {
        TsDeviceChannel *deviceChannel = channel->deviceChannel();
        TsDevice *device = deviceChannel ? deviceChannel->device() : nullptr;
        // A channel that is not ready, or a device whose link is lost, asks the controller
        // nothing; the channel says why on its own.
        if (device && deviceChannel->isReady() && !device->isConnectionLost() &&
            !deviceReads.contains(device))
            deviceReads.insert(device, device->updateStatus());
    }
    for (TsExperimentChannel *channel : channels) {
        if (TsDeviceChannel *deviceChannel = channel->deviceChannel())
            deviceChannel->updateStatusAfterDeviceRead(
                deviceReads.value(deviceChannel->device(), QxResult()));
        channel->updateStatusFromDevice();
    }
}

void TsExperiment::checkEmailAlert()
{
    TsEmailAlertSwitch *alertSwitch = d->alertSwitch;
    if (!alertSwitch)
        return;
    const QList<TsExperimentChannel *> raised = d->alarms->check(alertSwitch->emailAlertStatus());
    if (!raised.isEmpty()) {
        emit channelsInstable(raised);
        if (!alertSwitch->staysArmed())
            alertSwitch->setEmailAlertStatus(false);
    }
}

TsAlarmMonitor *TsExperiment::alarmMonitor() const
{
    return d->alarms;
}

void TsExperiment::onScriptStateChanged(bool on)
{
    if (on) {
        d->stopRecorderAtNextRow = false;
        return;
    }
    if (d->recorder->logSettings().stopMode() != TsRecorderLogSettings::StopWithDynamicExp)
        return;
    // Stopped by hand or by a change of dynamic experiment: at once. Ended by its last step:
    // after the row that records that step.
    if (d->inScriptStep && d->recorder->isRunning())
        d->stopRecorderAtNextRow = true;
    else
        d->recorder->stop();
}
