// What one run of the recorder holds: its start and end, the column groups (one per experiment
// channel, with the value roles recorded for it) and the samples.
#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QPointer>
#include <QVariant>

class TsExperimentChannel;

class TsExperimentRecording
{
public:
    struct ColumnGroup
    {
        // May be absent: never set, or the channel is gone.
        QPointer<TsExperimentChannel> channel;
        // Always 0 (actual value), 1 (setpoint value), 2 (loop control), in this order.
        QList<int> roles;
    };

    struct Sample
    {
        // Since the start of the recording; 64 bits, so that a recording of more than 24.8 days
        // does not wrap around.
        qint64 elapsedMs = 0;
        QDateTime timestamp; // local time when the sample was taken
        // One list per column group, in column order, with one value per role.
        QList<QVariantList> values;
    };

    QDateTime startTime;
    QDateTime endTime;
    QList<ColumnGroup> columns;
    // Samples kept for the run; the recorder does not keep them (each is written, announced and
    // destroyed), so this stays empty unless a caller fills it.
    QList<Sample> samples;
    // Samples taken since the start of the run: the count the status line reports.
    int sampleCount = 0;

    // Columns, samples, the count and both times.
    void clear();
};

Q_DECLARE_METATYPE(TsExperimentRecording::Sample *)
