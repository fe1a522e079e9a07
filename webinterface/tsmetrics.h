// The program's state as metrics for a facility's monitoring: what the pages show, plus the
// counters a scraper needs to see trends (rows written, alert mails, failed opens).
#pragma once

#include <QByteArray>

class TsDeviceManager;
class TsExperiment;
class TsMailerManager;

class TsMetrics
{
public:
    // Each source may be null: its metrics are then left out, never reported as zero.
    struct Sources
    {
        const TsExperiment *experiment = nullptr;
        const TsDeviceManager *devices = nullptr;
        const TsMailerManager *mailer = nullptr;
    };

    // The core's current experiment and managers.
    static Sources current();
    static QByteArray render(const Sources &sources);
};
