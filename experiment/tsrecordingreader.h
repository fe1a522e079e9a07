// Reads a CSV file the recorder wrote, in whatever form its settings gave it: tab, semicolon or
// comma between columns, with or without the header line, the time as one of the date formats or
// as seconds since the start, numbers with a decimal point or comma (quoted where the comma also
// separates columns) and the locale's digit groups, empty fields where a value was missing. Only
// the actual values are kept, as 32-bit floats against one column of times: a week of 64
// channels at one row a second is then some 160 MB.
//
// The file is read in chunks, with progress and a cancel that another thread may call. Damaged
// lines (cut short, a field that is no number, a time that is none or goes back) are skipped and
// their numbers kept; a file whose first line is neither the recorder's header nor one of its
// rows is refused as not a recording. No widgets here: the windows show what this reads.
#pragma once

#include "utils/qxresult.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class TsRecording
{
public:
    struct Channel
    {
        // From the header's "NAME: Actual Value"; "Channel N" for a file without a header.
        QString name;
        // One a row: the actual value, NaN where the file has none.
        std::vector<float> values;
    };

    QString filePath;
    // Milliseconds since the epoch, ascending, one a row. A file with the time relative to the
    // start is placed at the start time its name carries ("PREFIX_yyyy-MM-dd_hh-mm-ss.csv"), or
    // else so that its last row falls on the file's modification time.
    std::shared_ptr<std::vector<double>> times = std::make_shared<std::vector<double>>();
    std::vector<Channel> channels;
    // Whether the file gave the time relative to the start of the recording.
    bool relativeTime = false;
    // The start of the recording (the first row's time).
    double startTime() const { return times->empty() ? 0.0 : times->front(); }

    // Damaged lines, by number from 1: the first MaxListedLines of them, and how many in all.
    static constexpr int MaxListedLines = 1000;
    QList<qint64> damagedLines;
    qint64 damagedCount = 0;
    qint64 rows() const { return qint64(times->size()); }
};

class TsRecordingReader : public QObject
{
    Q_OBJECT

public:
    enum Error
    {
        CannotOpen = 1,
        NotARecording = 2,
        Cancelled = 3,
        ReadFailed = 4
    };
    static constexpr qint64 ChunkSize = 4 << 20;

    explicit TsRecordingReader(QObject *parent = nullptr);
    ~TsRecordingReader() override;

    // Reads the whole file; on success recording() holds it. Emits progress after every chunk.
    QxResult read(const QString &path);
    TsRecording &recording() { return m_recording; }
    // From any thread: read() stops at the next chunk with the error Cancelled.
    void cancel();

signals:
    void progress(qint64 bytesRead, qint64 bytesTotal);

private:
    struct Form;
    bool detect(const QByteArray &line, QString *why);
    bool readRow(const char *begin, const char *end);

    TsRecording m_recording;
    std::atomic<bool> m_cancel{false};
    std::unique_ptr<Form> m_form;
};
