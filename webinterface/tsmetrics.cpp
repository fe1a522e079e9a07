#include "tsmetrics.h"

#include "device/tsdevicemanager.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "utils/web/prometheustext.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QVector>

#include <cmath>

namespace {

// Taken when the program is loaded, which is as near to the process start as portable code gets.
const qint64 ProcessStartMs = QDateTime::currentMSecsSinceEpoch();

double present(bool on)
{
    return on ? 1.0 : 0.0;
}

// A reading the controller did not deliver has no sample: an absent series is what a scraper
// treats as unknown, where NaN or 0 would be taken for a value.
bool reading(const TsExperimentChannel *channel, int role, double &value)
{
    if (!channel->isConnected())
        return false;
    bool ok = false;
    value = channel->value(role).toDouble(&ok);
    return ok && !std::isnan(value);
}

void channelFamilies(PrometheusText &text, const TsExperiment *experiment)
{
    const QList<TsExperimentChannel *> channels = experiment->channels();
    QVector<QByteArray> labels;
    labels.reserve(channels.size());
    for (const TsExperimentChannel *channel : channels) {
        labels.append(PrometheusText::labels({{"channel", channel->name()},
                                              {"device", channel->deviceName()},
                                              {"serial", channel->deviceId()},
                                              {"number", QString::number(channel->channelNumber())},
                                              {"unit", channel->unit()}}));
    }
    const auto eachChannel = [&](auto &&write) {
        for (int i = 0; i < channels.size(); ++i)
            write(channels.at(i), labels.at(i));
    };

    text.family("tessaro_channel_connected", PrometheusText::Gauge,
                QStringLiteral("1 while the channel's controller is connected, else 0."));
    eachChannel([&](const TsExperimentChannel *channel, const QByteArray &l) {
        text.sample(l, present(channel->isConnected()));
    });
    text.family("tessaro_channel_actual_value", PrometheusText::Gauge,
                QStringLiteral("The channel's actual value in its unit; absent while the "
                               "controller delivers none."));
    eachChannel([&](const TsExperimentChannel *channel, const QByteArray &l) {
        double value = 0;
        if (reading(channel, TsExperimentChannel::ActualValue, value))
            text.sample(l, value);
    });
    text.family("tessaro_channel_setpoint", PrometheusText::Gauge,
                QStringLiteral("The channel's setpoint in its unit; absent while the controller "
                               "delivers none."));
    eachChannel([&](const TsExperimentChannel *channel, const QByteArray &l) {
        double value = 0;
        if (reading(channel, TsExperimentChannel::SetpointValue, value))
            text.sample(l, value);
    });
    text.family("tessaro_channel_loop_on", PrometheusText::Gauge,
                QStringLiteral("1 while the channel's regulation loop is on, else 0; absent "
                               "while the controller is not connected."));
    eachChannel([&](const TsExperimentChannel *channel, const QByteArray &l) {
        if (channel->isConnected())
            text.sample(l, present(channel->loopControl()));
    });
    text.family("tessaro_channel_state", PrometheusText::Gauge,
                QStringLiteral("1 for the channel's current state, 0 for the others: offline (no "
                               "controller), off (loop off), green (stable), yellow (nearly "
                               "stable), red (not stable)."));
    eachChannel([&](const TsExperimentChannel *channel, const QByteArray &l) {
        const TsChannelState current = channel->state();
        for (TsChannelState state : TsChannelStates) {
            text.sample(PrometheusText::withLabel(l, "state", tsChannelStateName(state)),
                        present(current == state));
        }
    });
    text.family("tessaro_channel_alarm", PrometheusText::Gauge,
                QStringLiteral("1 for the channel's alarm state, 0 for the others: normal, "
                               "unacknowledged (in alarm), acknowledged (in alarm), "
                               "returned_unacknowledged (normal again, not acknowledged)."));
    eachChannel([&](const TsExperimentChannel *channel, const QByteArray &l) {
        const TsAlarmState current = experiment->alarmMonitor()->state(channel->id());
        for (TsAlarmState state : TsAlarmStates)
            text.sample(PrometheusText::withLabel(l, "state", tsAlarmStateName(state)),
                        present(state == current));
    });
    text.family("tessaro_channel_alert_enabled", PrometheusText::Gauge,
                QStringLiteral("1 when the profile has the channel send an alert mail on losing "
                               "its stable state, else 0."));
    eachChannel([&](const TsExperimentChannel *channel, const QByteArray &l) {
        text.sample(l, present(channel->alert()));
    });
}

void experimentFamilies(PrometheusText &text, const TsExperiment *experiment)
{
    if (const TsExperimentRecorder *recorder = experiment->recorder()) {
        text.family("tessaro_recorder_running", PrometheusText::Gauge,
                    QStringLiteral("1 while the recorder records, else 0."));
        text.sample(present(recorder->isRunning()));
        text.family("tessaro_recorder_rows_written_total", PrometheusText::Counter,
                    QStringLiteral("Rows written to recording files since the program started."));
        text.sample(double(recorder->rowsWritten()));
        text.family("tessaro_recorder_file_error", PrometheusText::Gauge,
                    QStringLiteral("1 when the recording file could not be created or written "
                                   "(recording goes on without it), else 0."));
        text.sample(present(recorder->hasFileError()));
    }
    if (const TsExperimentScript *script = experiment->script()) {
        text.family("tessaro_dynamic_experiment_running", PrometheusText::Gauge,
                    QStringLiteral("1 while a dynamic experiment runs, else 0."));
        text.sample(present(script->isRunning()));
        text.family("tessaro_dynamic_experiment_progress", PrometheusText::Gauge,
                    QStringLiteral("How far the running dynamic experiment is, from 0 at its start "
                                   "to 1 when its last step is due; 0 when none runs."));
        text.sample(script->progress());
    }
}

} // namespace

TsMetrics::Sources TsMetrics::current()
{
    Sources sources;
    if (TsExperimentManager *experiments = TsCore::experimentManager())
        sources.experiment = experiments->currentExperiment();
    sources.devices = TsCore::deviceManager();
    sources.mailer = TsCore::mailerManager();
    return sources;
}

QByteArray TsMetrics::render(const Sources &sources)
{
    PrometheusText text;
    if (sources.experiment) {
        channelFamilies(text, sources.experiment);
        experimentFamilies(text, sources.experiment);
    }
    if (sources.mailer) {
        text.family("tessaro_email_alert_armed", PrometheusText::Gauge,
                    QStringLiteral("1 while the e-mail alert is armed, else 0."));
        text.sample(present(sources.mailer->isEmailAlertOn()));
        text.family("tessaro_alert_mails_sent_total", PrometheusText::Counter,
                    QStringLiteral("Alert mails the mail server accepted."));
        text.sample(double(sources.mailer->alertMailsSent()));
        text.family("tessaro_alert_mails_failed_total", PrometheusText::Counter,
                    QStringLiteral("Alert mails that could not be sent."));
        text.sample(double(sources.mailer->alertMailsFailed()));
    }
    if (sources.devices) {
        text.family("tessaro_controllers_present", PrometheusText::Gauge,
                    QStringLiteral("Controllers connected and open."));
        text.sample(double(sources.devices->devices().size()));
        text.family("tessaro_controller_open_failures_total", PrometheusText::Counter,
                    QStringLiteral("Failed attempts to open a controller."));
        text.sample(double(sources.devices->openFailures()));
    }
    text.family("tessaro_build_info", PrometheusText::Gauge,
                QStringLiteral("Always 1; the program's version is its label."));
    text.sample(PrometheusText::labels({{"version", QCoreApplication::applicationVersion()}}), 1.0);
    text.family("process_start_time_seconds", PrometheusText::Gauge,
                QStringLiteral("Start time of the process since the Unix epoch, in seconds."));
    text.sample(double(ProcessStartMs) / 1000.0);
    return text.take();
}
