#include "tschannelstatus.h"

#include "device/tsdevicechannel.h"
#include "experiment/tsexperimentchannel.h"

#include <QCoreApplication>

int TsChannelStatus::indexForStableStatus(Qt::GlobalColor colour)
{
    switch (colour) {
    case Qt::white:
        return TsExperimentChannel::StatusLoopOff;
    case Qt::green:
        return TsExperimentChannel::StatusGreen;
    case Qt::yellow:
        return TsExperimentChannel::StatusYellow;
    default:
        return TsExperimentChannel::StatusOther;
    }
}

TsChannelStatus TsChannelStatus::of(const TsDeviceChannel *channel)
{
    TsChannelStatus status;
    if (!channel) {
        status.index = TsExperimentChannel::StatusOffline;
        status.text = QCoreApplication::translate("TsChannelWidget", "offline");
        status.description = QCoreApplication::translate(
            "TsChannelWidget", "The device is currently not connected or switched off.");
        return status;
    }
    status.index = indexForStableStatus(channel->stableStatus());
    if (channel->deviceStatus() != 0) {
        status.text = channel->deviceStatusText();
        status.description = channel->deviceStatusDescription();
    } else {
        status.text = channel->channelStatusText();
        status.description = channel->channelStatusDescription();
    }
    return status;
}

TsChannelStatus TsChannelStatus::update(TsExperimentChannel *channel)
{
    if (!channel)
        return of(nullptr);
    TsDeviceChannel *device = channel->deviceChannel();
    // A failed refresh leaves the last known texts, which then still describe the channel.
    if (device)
        device->updateStatus();
    const TsChannelStatus status = of(device);
    channel->setStatus(status.index, status.text, status.description);
    return status;
}
