// Sets an experiment channel's setpoint to "channel.value" (a number in the channel's unit).
#pragma once

#include "experiment/tsexperimentscriptactionchannelbase.h"

class TsExperimentScriptActionSetChannelValue : public TsExperimentScriptActionChannelBase
{
public:
    static constexpr char TypeKey[] = "setChannelValue";

    explicit TsExperimentScriptActionSetChannelValue(TsExperimentScript *script);

    bool execute() override;
    TsExperimentScriptAction *clone() const override;

protected:
    TsExperimentScriptActionSetChannelValue(const TsExperimentScriptActionSetChannelValue &other) =
        default;
};
