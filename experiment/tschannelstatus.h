// What a channel's tile says about it: the status index that picks the tile's colour, the one-line
// status text and its longer description. The desktop tile and the interim program without a main
// window derive it the same way, so that mails and web pages show what the desktop shows.
#pragma once

#include <QString>
#include <Qt>

class TsDeviceChannel;
class TsExperimentChannel;

struct TsChannelStatus
{
    int index = 0; // TsExperimentChannel::StatusIndex
    QString text;
    QString description;

    // White (loop off) 1, green 2, yellow 3, every other colour 4.
    static int indexForStableStatus(Qt::GlobalColor colour);

    // From the device channel's current state, without asking the device; "offline" without one.
    // A device-wide fault (device status code not 0) outranks the channel's own status.
    static TsChannelStatus of(const TsDeviceChannel *channel);

    // Asks the connected device channel to refresh its status, derives the status from it and
    // stores it in the experiment channel for mails and web pages.
    static TsChannelStatus update(TsExperimentChannel *channel);
};
