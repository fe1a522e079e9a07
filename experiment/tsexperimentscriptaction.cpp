#include "experiment/tsexperimentscriptaction.h"

#include <QDebug>
#include <QTime>

TsExperimentScriptAction::TsExperimentScriptAction(const QString &type, TsExperimentScript *script)
    : m_type(type)
    , m_script(script)
{}

TsExperimentScriptAction::~TsExperimentScriptAction() = default;

bool TsExperimentScriptAction::execute()
{
    qDebug("experiment-execute: %s - %s",
           qPrintable(QTime::currentTime().toString(QStringLiteral("mm:ss.zzz"))),
           qPrintable(m_comment));
    return true;
}

bool TsExperimentScriptAction::prepare()
{
    return true;
}

void TsExperimentScriptAction::reset()
{
    m_result = QxResult();
    m_lastExecuted = QDateTime();
}
