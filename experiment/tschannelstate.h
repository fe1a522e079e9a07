// How a channel stands, in one word that the tile, the web page, /metrics, the recorder and the
// alarm check share. The numbers are the status indexes the web page and the settings have always
// used, so that stored and served values keep their meaning.
#pragma once

#include <QString>

enum class TsChannelState
{
    Offline = 0, // no controller, or one whose link is lost: no values delivered
    Off = 1,     // regulation loop off
    Green = 2,   // stable
    Yellow = 3,  // nearly stable
    Red = 4,     // unstable, or a fault of the channel or its controller
};

// The state's name as the web page and /metrics spell it: "offline", "off", "green", "yellow",
// "red".
inline QString tsChannelStateName(TsChannelState state)
{
    switch (state) {
    case TsChannelState::Off:
        return QStringLiteral("off");
    case TsChannelState::Green:
        return QStringLiteral("green");
    case TsChannelState::Yellow:
        return QStringLiteral("yellow");
    case TsChannelState::Red:
        return QStringLiteral("red");
    case TsChannelState::Offline:
        break;
    }
    return QStringLiteral("offline");
}

// Every state, in index order, for those that list them all (one series per state).
constexpr TsChannelState TsChannelStates[] = {TsChannelState::Offline, TsChannelState::Off,
                                              TsChannelState::Green, TsChannelState::Yellow,
                                              TsChannelState::Red};
