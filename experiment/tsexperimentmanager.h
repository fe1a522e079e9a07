// Owns the one current experiment and announces when it is replaced.
#pragma once

#include <QObject>

class TsDeviceManager;
class TsExperiment;

class TsExperimentManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(
        TsExperiment *currentExperiment READ currentExperiment NOTIFY currentExperimentChanged)

public:
    // Creates the experiment and makes it current, so sampling runs from here on. The device
    // manager must outlive the manager.
    explicit TsExperimentManager(TsDeviceManager *devices, QObject *parent = nullptr);
    ~TsExperimentManager() override;

    TsDeviceManager *deviceManager() const;
    TsExperiment *currentExperiment() const;
    // An experiment that is not a child of this manager is refused; the old one stops sampling
    // and is deleted later, the new one starts sampling.
    void setCurrentExperiment(TsExperiment *experiment);

signals:
    void currentExperimentChanged(TsExperiment *experiment);

private:
    TsDeviceManager *m_devices;
    TsExperiment *m_current = nullptr;
};
