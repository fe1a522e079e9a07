#include "experiment/tsexperimentmanager.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"

TsExperimentManager::TsExperimentManager(TsDeviceManager *devices, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
{
    qRegisterMetaType<TsExperiment *>();
    qRegisterMetaType<QList<TsExperimentChannel *>>();
    setCurrentExperiment(new TsExperiment(devices, this));
}

TsExperimentManager::~TsExperimentManager()
{
    // The experiment goes first, while the manager is still whole: its channels, recorder and
    // script may call back into it as they are destroyed.
    if (m_current) {
        m_current->stopSampling();
        delete m_current;
        m_current = nullptr;
    }
}

TsDeviceManager *TsExperimentManager::deviceManager() const
{
    return m_devices;
}

TsExperiment *TsExperimentManager::currentExperiment() const
{
    return m_current;
}

void TsExperimentManager::setCurrentExperiment(TsExperiment *experiment)
{
    if (!experiment || experiment->parent() != this || experiment == m_current)
        return;
    if (m_current) {
        m_current->stopSampling();
        m_current->deleteLater();
    }
    m_current = experiment;
    m_current->startSampling();
    emit currentExperimentChanged(m_current);
}
