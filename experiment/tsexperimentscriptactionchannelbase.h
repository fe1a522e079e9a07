// The common part of the actions that work on one experiment channel, named by the parameter
// "channel.id" and looked up in the experiment that owns the script.
#pragma once

#include "experiment/tsexperimentscriptaction.h"

#include <QPointer>

class TsExperimentChannel;

class TsExperimentScriptActionChannelBase : public TsExperimentScriptAction
{
public:
    static constexpr char ChannelIdParameter[] = "channel.id";
    static constexpr char ChannelValueParameter[] = "channel.value";

    TsExperimentScriptActionChannelBase(const QString &type, TsExperimentScript *script);

    // Finds the channel; fails with "channel not available for action" when there is none.
    bool prepare() override;

    // Null before prepare() and once the experiment has deleted the channel.
    TsExperimentChannel *channel() const;

protected:
    TsExperimentScriptActionChannelBase(const TsExperimentScriptActionChannelBase &other) = default;

    // Sets the channel's value of the given role from "channel.value"; the outcome becomes the
    // action's result.
    bool executeSetValue(int role);

private:
    TsExperimentChannel *findChannel() const;

    // Guarded: a profile change deletes the experiment's channels, possibly during a run.
    QPointer<TsExperimentChannel> m_channel;
};
