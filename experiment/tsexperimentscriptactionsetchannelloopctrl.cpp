#include "experiment/tsexperimentscriptactionsetchannelloopctrl.h"

#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscriptactiontype.h"

TsExperimentScriptActionSetChannelLoopCtrl::TsExperimentScriptActionSetChannelLoopCtrl(
    TsExperimentScript *script)
    : TsExperimentScriptActionChannelBase(QString::fromLatin1(TypeKey), script)
{
    setDisplayName(TsExperimentScriptActionType::find(type()).displayName());
    setParameter(QString::fromLatin1(ChannelValueParameter), QVariant());
}

bool TsExperimentScriptActionSetChannelLoopCtrl::execute()
{
    TsExperimentScriptAction::execute();
    return executeSetValue(TsExperimentChannel::LoopControl);
}

TsExperimentScriptAction *TsExperimentScriptActionSetChannelLoopCtrl::clone() const
{
    return new TsExperimentScriptActionSetChannelLoopCtrl(*this);
}
