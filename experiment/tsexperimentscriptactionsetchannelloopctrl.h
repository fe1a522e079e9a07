// Switches an experiment channel's regulation loop on or off ("channel.value" read as bool).
#pragma once

#include "experiment/tsexperimentscriptactionchannelbase.h"

class TsExperimentScriptActionSetChannelLoopCtrl : public TsExperimentScriptActionChannelBase
{
public:
    static constexpr char TypeKey[] = "setChannelLoopCtrl";

    explicit TsExperimentScriptActionSetChannelLoopCtrl(TsExperimentScript *script);

    bool execute() override;
    TsExperimentScriptAction *clone() const override;

protected:
    TsExperimentScriptActionSetChannelLoopCtrl(
        const TsExperimentScriptActionSetChannelLoopCtrl &other) = default;
};
