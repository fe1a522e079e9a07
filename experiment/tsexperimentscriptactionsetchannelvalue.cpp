#include "experiment/tsexperimentscriptactionsetchannelvalue.h"

#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscriptactiontype.h"

TsExperimentScriptActionSetChannelValue::TsExperimentScriptActionSetChannelValue(
    TsExperimentScript *script)
    : TsExperimentScriptActionChannelBase(QString::fromLatin1(TypeKey), script)
{
    setDisplayName(TsExperimentScriptActionType::find(type()).displayName());
    setParameter(QString::fromLatin1(ChannelValueParameter), QVariant());
}

bool TsExperimentScriptActionSetChannelValue::execute()
{
    TsExperimentScriptAction::execute();
    return executeSetValue(TsExperimentChannel::SetpointValue);
}

TsExperimentScriptAction *TsExperimentScriptActionSetChannelValue::clone() const
{
    return new TsExperimentScriptActionSetChannelValue(*this);
}
