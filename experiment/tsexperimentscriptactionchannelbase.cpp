#include "experiment/tsexperimentscriptactionchannelbase.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscript.h"

#include <QCoreApplication>

TsExperimentScriptActionChannelBase::TsExperimentScriptActionChannelBase(const QString &type,
                                                                         TsExperimentScript *script)
    : TsExperimentScriptAction(type, script)
{
    setParameter(QString::fromLatin1(ChannelIdParameter), QString());
}

bool TsExperimentScriptActionChannelBase::prepare()
{
    m_channel = findChannel();
    setResult(QxResult());
    if (!m_channel) {
        setResult(QxResult(QCoreApplication::translate("TsExperimentScriptAction",
                                                       "channel not available for action")));
        return false;
    }
    return true;
}

TsExperimentChannel *TsExperimentScriptActionChannelBase::channel() const
{
    return m_channel.data();
}

bool TsExperimentScriptActionChannelBase::executeSetValue(int role)
{
    // The experiment deletes its channels when the profile changes, which it may do while the
    // script runs; a channel of the same id in the new profile is the one the operator meant.
    if (!m_channel)
        m_channel = findChannel();
    if (!m_channel) {
        setResult(QxResult(QCoreApplication::translate("TsExperimentScriptAction",
                                                       "channel not available for action")));
        return false;
    }
    setResult(m_channel->setValue(role, parameter(QString::fromLatin1(ChannelValueParameter))));
    return result().isSuccess();
}

TsExperimentChannel *TsExperimentScriptActionChannelBase::findChannel() const
{
    const TsExperiment *experiment = script() ? script()->experiment() : nullptr;
    if (!experiment)
        return nullptr;
    return experiment->channel(parameter(QString::fromLatin1(ChannelIdParameter)).toString());
}
