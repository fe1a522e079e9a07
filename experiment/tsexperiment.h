// The running state of the incubation system: the current profile's channels sampled once a
// second, the e-mail alarm check, the recorder and the dynamic-experiment script.
#pragma once

#include "config/tsprofile.h"
#include "utils/qxresult.h"

#include <QList>
#include <QObject>

#include <functional>

class QTimer;
class TsDevice;
class TsDeviceChannel;
class TsAlarmMonitor;
class TsDeviceManager;
class TsExperimentChannel;
class TsExperimentManager;
class TsExperimentRecorder;
class TsExperimentScript;

// The e-mail alert switch of the mailer manager, as the alarm check sees it. The
// mailer manager implements it and is handed to the experiment; without one the alarm check does
// nothing.
class TsEmailAlertSwitch
{
public:
    virtual ~TsEmailAlertSwitch() = default;
    virtual bool emailAlertStatus() const = 0;
    // Switching off announces itself (emailAlertStatusChanged(false) of the mailer manager).
    virtual void setEmailAlertStatus(bool on) = 0;
    // False: the switch goes off after an alarm (one mail, armed again by hand). True: it stays
    // armed and further alarms of other channels are announced as they come.
    virtual bool staysArmed() const { return false; }
};

class TsExperiment : public QObject
{
    Q_OBJECT

public:
    static constexpr int SampleInterval = 1000; // ms
    static constexpr int StatusInterval = 1000; // ms

    // The device manager is where channels are looked up and whose newDevice / deviceRemoved
    // signals the experiment follows; it must outlive the experiment.
    TsExperiment(TsDeviceManager *devices, TsExperimentManager *parent);
    ~TsExperiment() override;

    TsDeviceManager *deviceManager() const;

    // Refused with "system is running" while the recorder runs.
    QxResult setProfile(const TsProfile &profile);
    TsProfile profile() const;

    const QList<TsExperimentChannel *> &channels() const;
    // The channel with that id, or null.
    TsExperimentChannel *channel(const QString &id) const;

    TsExperimentRecorder *recorder() const;
    TsExperimentScript *script() const;
    // Fires every 1000 ms from construction on; the recorder and the script hang their status
    // updates on it.
    QTimer *statusTimer() const;
    QTimer *sampleTimer() const;
    bool isSampling() const;

    // The mailer manager's alert switch; not owned, null for none.
    void setEmailAlertSwitch(TsEmailAlertSwitch *alertSwitch);
    TsEmailAlertSwitch *emailAlertSwitch() const;
    void checkEmailAlert();
    // The alarms of the channels, asked by checkEmailAlert on every tick.
    TsAlarmMonitor *alarmMonitor() const;

signals:
    void configChanged();
    void channelsInstable(const QList<TsExperimentChannel *> &channels);

public slots:
    void startSampling();
    void stopSampling();
    void startRecorder();
    void stopRecorder();
    bool startDynamic();
    void stopDynamic();
    void onNewDevice(TsDevice *dev);
    void onDeviceRemoved(TsDevice *dev);
    // One tick: the script's next step, sampling (actual values, then setpoints and loop
    // control), the channels' states, the recorder, the alarm check.
    void sampleChannels();
    // Every channel's state and status texts from the controllers: one device-status read per
    // controller, then each channel's own status.
    void updateChannelStates();
    void onScriptStateChanged(bool on);

private:
    void rebuildChannels();
    // Links or unlinks every experiment channel whose id is one of the device's channels;
    // configChanged() once when any link changed.
    void followDevice(TsDevice *dev,
                      const std::function<bool(TsExperimentChannel *, TsDeviceChannel *)> &link);

    struct Private;
    Private *d;
};
