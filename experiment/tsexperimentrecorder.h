// Records the experiment's channels while switched on: at the capture interval it takes the
// values just sampled, writes one CSV row (flushed to the file at once) and hands the sample to
// listeners. Starts and stops by hand, with the dynamic experiment or after a fixed duration.
#pragma once

#include "config/tsrecordercsvsettings.h"
#include "config/tsrecorderlogsettings.h"
#include "experiment/tsexperimentrecording.h"
#include "utils/qxresult.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;
class TsExperiment;

class TsExperimentRecorder : public QObject
{
    Q_OBJECT

public:
    // Monotonic milliseconds, and the local wall-clock time. The defaults read the real clocks;
    // tests step their own, so that the capture gate, the elapsed time, the stop time and the
    // file name's time are theirs.
    using MonotonicClock = std::function<qint64()>;
    using WallClock = std::function<QDateTime()>;

    // The parent is the experiment whose channels are recorded and whose status timer drives
    // updateStatus(); any other parent records no channels.
    explicit TsExperimentRecorder(QObject *parent = nullptr);
    ~TsExperimentRecorder() override;

    TsExperiment *experiment() const;

    // Both ignored while running.
    void setLogSettings(const TsRecorderLogSettings &settings);
    TsRecorderLogSettings logSettings() const;
    void setCsvSettings(const TsRecorderCSVSettings &settings);
    TsRecorderCSVSettings csvSettings() const;

    // File name or path prefix of the CSV file; empty: no file is written.
    void setFilePrefix(const QString &prefix);
    QString filePrefix() const;
    // Folder for relative prefixes (the current user's log path).
    void setLogFolder(const QString &folder);
    QString logFolder() const;

    bool isRunning() const;
    // Set at start, invalid while idle.
    QDateTime runningSince() const;
    // Milliseconds since the start; 0 while idle.
    qint64 elapsedMilliseconds() const;
    const TsExperimentRecording &recording() const;

    // The file of the current (or last) run; empty when none was written.
    QString fileName() const;
    // Why the current run has no file or stopped writing to it; empty when all is well. Also
    // announced by fileError(); cleared when rows reach the file again (fileResumed()).
    QString fileErrorString() const;
    bool hasFileError() const;
    // Rows that reached the file since the recorder was made, over all runs; a row lost to a file
    // error is not counted, nor is the row that marks such a gap.
    qint64 rowsWritten() const;

    // Whether a recording file can be made for the prefix in the log folder: the target folder
    // is created when missing and must take a new file. The error names the folder and gives the
    // system's reason. Success when the prefix is empty (no file is wanted).
    QxResult checkFolder() const;

    // While the file does not take rows (a full disk), it is tried again at most this often, on
    // the tick of a row, so that a tick never waits on a disk that keeps failing.
    static constexpr qint64 FileRetryInterval = 5000;

    // The capture gate's interval: max(interval, 1000) - 500 ms.
    int captureInterval() const;
    // Milliseconds until the stop timer fires; -1 when it is not running.
    int stopTimeRemaining() const;

    void setClocks(const MonotonicClock &monotonic, const WallClock &wall);

    // Every row is flushed to the file at once, so a crash of the program loses at most the row
    // being written. What the operating system holds goes to the disk at most this many
    // milliseconds apart (a power cut loses no more than that): 0 syncs every row, a negative
    // value never. Default DefaultDiskSyncInterval.
    static constexpr qint64 DefaultDiskSyncInterval = 10000;
    void setDiskSyncInterval(qint64 milliseconds);

    // "%1d %2h %3m %4s", "%1h %2m %3s" or "%1m %2s", two digits each.
    static QString elapsedText(qint64 milliseconds);

    // How far the run is, 0 to 1: the share of the fixed duration, or of the dynamic experiment
    // it stops with; NaN when the run has no foreseeable end.
    double progress() const;
    // The recorder's one-line status as the web page shows it: "Not running", "Starting ...",
    // "Running (elapsed / progress%)", followed by " - NOT SAVED: " and the reason while the run
    // has no file. Announced by statusLineChanged().
    QString statusLine() const;

signals:
    void recordingStatus(const QString &runningString, int samples);
    void started();
    void stopped();
    // Receivers may veto a start by setting ok to false.
    void starting(bool &ok);
    void newSample(TsExperimentRecording::Sample *sample);
    // A row could not be written to the CSV file: recording goes on without it (samples, status
    // and graphs) and tries the file again; said once until rows reach the file again. A file
    // that cannot be created at all refuses the start with this message instead.
    void fileError(const QString &message);
    void statusLineChanged(const QString &line);
    // Rows reach the file again after a file error; the gap is marked in the file by one row of
    // empty fields at the time of the first row lost.
    void fileResumed();

public slots:
    void start();
    void stop();
    // Called by the experiment on every sampling tick, after sampling.
    void record();
    void updateStatus();
    // What the stop timer's time-out does: stops when the stop mode is "after a duration".
    void onStopTimeout();

private:
    // True when a file is open, or when none is wanted.
    bool openFile();
    bool reopenFile();
    void closeFile();
    QString headerText() const;
    QString rowText(const TsExperimentRecording::Sample &sample) const;
    // True when the row is in the file, or when no file is kept at all.
    bool writeRow(const TsExperimentRecording::Sample &sample);
    bool writeLine(const QString &line);
    QString targetFolder() const;
    void reportFileError(const QString &message);
    // The line without its file warning; the warning is added while the run has a file error.
    void setStatusLine(const QString &line);
    bool captureDue() const;

    struct Private;
    Private *d;
};
