#include "experiment/tsexperimentrecorder.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscript.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryFile>
#include <QTextCodec>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

qint64 realMonotonic()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

// Hands what the operating system holds of the file to the disk, so that a power cut loses no
// more than the rows since the last call.
void syncToDisk(QFile &file)
{
    const int fd = file.handle();
    if (fd < 0)
        return;
#if defined(Q_OS_WIN)
    _commit(fd);
#elif defined(Q_OS_MACOS)
    fsync(fd);
#else
    fdatasync(fd);
#endif
}

// The column separator as a character. A code that cannot separate columns (a control character
// other than tab, a quote; 0 is what a damaged profile reads as) would leave a file that no
// reader can split, so it falls back to the tab of the defaults.
QChar columnSeparator(const TsRecorderCSVSettings &csv)
{
    const quint8 code = csv.columnSeparator();
    if ((code < 32 && code != '\t') || code == '"' || code == 127)
        return QLatin1Char('\t');
    return QChar(code);
}

} // namespace

struct TsExperimentRecorder::Private
{
    TsRecorderLogSettings logSettings;
    TsRecorderCSVSettings csvSettings;
    TsExperimentRecording recording;
    qint64 startedAt = 0; // monotonic, at start: the elapsed stopwatch
    bool running = false;
    bool captureDue = false;
    qint64 captureRestartedAt = 0; // monotonic: when the capture gate last closed
    int captureInterval = 500;
    QDateTime runningSince;
    QTimer *stopTimer = nullptr;
    qint64 stopDeadline = 0; // monotonic
    QString filePrefix;
    QString logFolder;
    QFile *file = nullptr;
    QString fileName;
    QString fileError;
    QString statusLine = QStringLiteral("Not running");
    qint64 rowsWritten = 0;
    qint64 completeSize = 0; // bytes of the file that end with a whole line
    // After a row failed: when the file is tried again (monotonic), and the first row lost, whose
    // time marks the gap once rows reach the file again.
    qint64 retryAt = 0;
    bool gapPending = false;
    TsExperimentRecording::Sample firstLost;
    qint64 lastSync = 0; // monotonic
    qint64 syncInterval = DefaultDiskSyncInterval;
    MonotonicClock monotonic = realMonotonic;
    WallClock wall = [] { return QDateTime::currentDateTime(); };
};

TsExperimentRecorder::TsExperimentRecorder(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->stopTimer = new QTimer(this);
    d->stopTimer->setSingleShot(true);
    d->stopTimer->setTimerType(Qt::PreciseTimer);
    connect(d->stopTimer, &QTimer::timeout, this, &TsExperimentRecorder::onStopTimeout);
    if (TsExperiment *experiment = this->experiment())
        connect(experiment->statusTimer(), &QTimer::timeout, this,
                &TsExperimentRecorder::updateStatus);
}

TsExperimentRecorder::~TsExperimentRecorder()
{
    closeFile();
    delete d;
}

TsExperiment *TsExperimentRecorder::experiment() const
{
    return qobject_cast<TsExperiment *>(parent());
}

void TsExperimentRecorder::setLogSettings(const TsRecorderLogSettings &settings)
{
    if (!d->running)
        d->logSettings = settings;
}

TsRecorderLogSettings TsExperimentRecorder::logSettings() const
{
    return d->logSettings;
}

void TsExperimentRecorder::setCsvSettings(const TsRecorderCSVSettings &settings)
{
    if (!d->running)
        d->csvSettings = settings;
}

TsRecorderCSVSettings TsExperimentRecorder::csvSettings() const
{
    return d->csvSettings;
}

void TsExperimentRecorder::setFilePrefix(const QString &prefix)
{
    d->filePrefix = prefix;
}

QString TsExperimentRecorder::filePrefix() const
{
    return d->filePrefix;
}

void TsExperimentRecorder::setLogFolder(const QString &folder)
{
    d->logFolder = folder;
}

QString TsExperimentRecorder::logFolder() const
{
    return d->logFolder;
}

bool TsExperimentRecorder::isRunning() const
{
    return d->running;
}

QDateTime TsExperimentRecorder::runningSince() const
{
    return d->runningSince;
}

qint64 TsExperimentRecorder::elapsedMilliseconds() const
{
    return d->running ? d->monotonic() - d->startedAt : 0;
}

const TsExperimentRecording &TsExperimentRecorder::recording() const
{
    return d->recording;
}

QString TsExperimentRecorder::fileName() const
{
    return d->fileName;
}

QString TsExperimentRecorder::fileErrorString() const
{
    return d->fileError;
}

qint64 TsExperimentRecorder::rowsWritten() const
{
    return d->rowsWritten;
}

bool TsExperimentRecorder::hasFileError() const
{
    return !d->fileError.isEmpty();
}

int TsExperimentRecorder::captureInterval() const
{
    return std::max(d->logSettings.interval(), 1000) - 500;
}

int TsExperimentRecorder::stopTimeRemaining() const
{
    if (!d->running || d->logSettings.stopMode() != TsRecorderLogSettings::StopAfter)
        return -1;
    return int(
        std::clamp<qint64>(d->stopDeadline - d->monotonic(), 0, std::numeric_limits<int>::max()));
}

void TsExperimentRecorder::setClocks(const MonotonicClock &monotonic, const WallClock &wall)
{
    d->monotonic = monotonic ? monotonic : MonotonicClock(realMonotonic);
    d->wall = wall ? wall : WallClock([] { return QDateTime::currentDateTime(); });
}

void TsExperimentRecorder::setDiskSyncInterval(qint64 milliseconds)
{
    d->syncInterval = milliseconds;
}

QString TsExperimentRecorder::elapsedText(qint64 milliseconds)
{
    // The recorder's status line and the script's read the same, so that both views agree.
    return TsExperimentScript::durationText(milliseconds);
}

double TsExperimentRecorder::progress() const
{
    const bool running = isRunning();
    const double elapsed = running ? double(elapsedMilliseconds()) : 0.0;
    if (d->logSettings.stopMode() == TsRecorderLogSettings::StopAfter)
        return d->logSettings.stopAfter() > 0 ? elapsed / double(d->logSettings.stopAfter())
                                              : qQNaN();
    const TsExperiment *experiment = this->experiment();
    if (d->logSettings.stopMode() == TsRecorderLogSettings::StopWithDynamicExp && running &&
        experiment && experiment->script()->isRunning()) {
        const qint64 total = experiment->script()->endTime() - runningSince().toMSecsSinceEpoch();
        return total > 0 ? elapsed / double(total) : qQNaN();
    }
    return qQNaN();
}

QString TsExperimentRecorder::statusLine() const
{
    if (d->fileError.isEmpty())
        return d->statusLine;
    return tr("%1 - NOT SAVED: %2").arg(d->statusLine, d->fileError);
}

void TsExperimentRecorder::setStatusLine(const QString &line)
{
    const QString before = statusLine();
    d->statusLine = line;
    if (statusLine() != before)
        emit statusLineChanged(statusLine());
}

void TsExperimentRecorder::start()
{
    if (d->running)
        return;
    bool ok = true;
    emit starting(ok);
    if (!ok)
        return;
    // A recording that cannot have its file does not start: it would look like one that is kept.
    if (!openFile())
        return;

    const qint64 now = d->monotonic();
    d->captureDue = true;
    d->startedAt = now;
    d->captureRestartedAt = now;
    d->captureInterval = captureInterval();

    if (d->logSettings.stopMode() == TsRecorderLogSettings::StopAfter) {
        d->stopDeadline = now + std::max<qint64>(d->logSettings.stopAfter(), 0);
        d->stopTimer->start(
            int(std::min<qint64>(d->logSettings.stopAfter(), std::numeric_limits<int>::max())));
    }

    d->recording.clear();
    d->recording.startTime = d->wall();
    if (TsExperiment *experiment = this->experiment()) {
        for (TsExperimentChannel *channel : experiment->channels()) {
            TsExperimentRecording::ColumnGroup group;
            group.channel = channel;
            group.roles = {TsExperimentChannel::ActualValue, TsExperimentChannel::SetpointValue,
                           TsExperimentChannel::LoopControl};
            d->recording.columns.append(group);
        }
    }

    // A header that does not fit is written with the first row that does.
    const QString header = headerText();
    if (!header.isEmpty())
        writeLine(header);

    d->runningSince = d->wall();
    d->running = true;
    setStatusLine(tr("Starting ..."));
    emit started();
    if (d->running)
        emit recordingStatus(elapsedText(elapsedMilliseconds()), d->recording.sampleCount);
}

void TsExperimentRecorder::stop()
{
    if (!d->running)
        return;
    d->runningSince = QDateTime();
    d->captureDue = false;
    d->recording.endTime = d->wall();
    d->stopTimer->stop();
    closeFile();
    d->running = false;
    setStatusLine(tr("Not running"));
    emit stopped();
}

void TsExperimentRecorder::onStopTimeout()
{
    if (!d->running || d->logSettings.stopMode() != TsRecorderLogSettings::StopAfter)
        return;
    // A timer holds at most 24.8 days and may fire a little early: it is armed again for what is
    // left until the deadline.
    const qint64 left = d->stopDeadline - d->monotonic();
    if (left > 0) {
        d->stopTimer->start(int(std::min<qint64>(left, std::numeric_limits<int>::max())));
        return;
    }
    stop();
}

bool TsExperimentRecorder::captureDue() const
{
    return d->captureDue || d->monotonic() - d->captureRestartedAt >= d->captureInterval;
}

void TsExperimentRecorder::record()
{
    if (!d->running || !captureDue())
        return;
    d->captureDue = false;
    d->captureRestartedAt = d->monotonic();

    TsExperimentRecording::Sample sample;
    sample.elapsedMs = d->captureRestartedAt - d->startedAt;
    sample.timestamp = d->wall();
    sample.values.reserve(d->recording.columns.size());
    for (const TsExperimentRecording::ColumnGroup &group : qAsConst(d->recording.columns)) {
        QVariantList values;
        values.reserve(group.roles.size());
        const TsExperimentChannel *channel = group.channel.data();
        // The state says whether the channel's values were delivered this tick: an offline
        // channel's last values must never reappear as if just measured.
        const bool delivering = channel && channel->state() != TsChannelState::Offline;
        for (int role : group.roles)
            values.append(delivering ? channel->value(role) : QVariant());
        sample.values.append(values);
    }
    // The count is what the status line shows as recorded: a row that did not reach the file is
    // not one of them.
    if (writeRow(sample))
        ++d->recording.sampleCount;
    emit newSample(&sample);
}

void TsExperimentRecorder::updateStatus()
{
    if (!d->running)
        return;
    const double share = progress();
    const QString suffix =
        std::isnan(share) ? QString() : QStringLiteral(" / %1%").arg(qRound(share * 100));
    setStatusLine(tr("Running (%1%2)").arg(elapsedText(elapsedMilliseconds()), suffix));
    emit recordingStatus(elapsedText(elapsedMilliseconds()), d->recording.sampleCount);
}

void TsExperimentRecorder::closeFile()
{
    if (d->file) {
        if (d->file->isOpen()) {
            d->file->flush();
            syncToDisk(*d->file);
            d->file->close();
        }
        delete d->file;
        d->file = nullptr;
    }
}

QString TsExperimentRecorder::targetFolder() const
{
    const QFileInfo prefix(d->filePrefix);
    if (prefix.isAbsolute())
        return prefix.absolutePath();
    return QDir::cleanPath(QDir(d->logFolder).absoluteFilePath(prefix.path()));
}

QxResult TsExperimentRecorder::checkFolder() const
{
    if (d->filePrefix.isEmpty())
        return QxResult::success();
    const QString folder = targetFolder();
    QDir().mkpath(folder);
    // The system's reason comes from creating a file where the recording's would go, or, when the
    // folder could not be made, in the nearest part of its path that exists: a read-only disk, a
    // folder without write permission, or a file standing where a folder is needed.
    QString where = folder;
    while (!QFileInfo::exists(where) && QFileInfo(where).dir().path() != where)
        where = QFileInfo(where).dir().path();
    // A name of its own each time: a check left behind by a crash must not fail the next one.
    QTemporaryFile probe(QDir(where).filePath(QStringLiteral(".tessaro-write-check-XXXXXX")));
    if (!probe.open()) {
        return QxResult(tr("The folder '%1' for the recording file cannot be written: %2")
                            .arg(QDir::toNativeSeparators(folder), probe.errorString()));
    }
    probe.close();
    if (!QFileInfo(folder).isDir())
        return QxResult(tr("The folder '%1' for the recording file could not be created.")
                            .arg(QDir::toNativeSeparators(folder)));
    return QxResult::success();
}

bool TsExperimentRecorder::openFile()
{
    if (d->running)
        return true;
    closeFile();
    d->fileName.clear();
    d->fileError.clear();
    d->gapPending = false;
    if (d->filePrefix.isEmpty())
        return true;

    const QxResult usable = checkFolder();
    if (usable.isError()) {
        reportFileError(usable.message());
        return false;
    }
    const QString folder = targetFolder();
    const QFileInfo prefix(d->filePrefix);
    const QString suffix = prefix.suffix().isEmpty() ? QStringLiteral("csv") : prefix.suffix();
    const QString base = prefix.completeBaseName() + QLatin1Char('_') +
                         d->wall().toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
    // Two starts within one second would give the same name: the earlier file is never
    // truncated, the later one gets a counter.
    auto *file = new QFile;
    for (int attempt = 1;; ++attempt) {
        const QString name = attempt == 1
                                 ? QStringLiteral("%1.%2").arg(base, suffix)
                                 : QStringLiteral("%1_%2.%3").arg(base).arg(attempt).arg(suffix);
        file->setFileName(QDir(folder).filePath(name));
        // Unbuffered: every row goes to the file system as it is written, and nothing is kept
        // back that a close could still write after a failed row.
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text |
                       QIODevice::Unbuffered))
            break;
        if (!file->exists() || attempt >= 100) {
            reportFileError(
                tr("The recording file '%1' could not be created: %2")
                    .arg(QDir::toNativeSeparators(file->fileName()), file->errorString()));
            delete file;
            return false;
        }
    }
    d->file = file;
    d->fileName = file->fileName();
    d->completeSize = 0;
    d->lastSync = d->monotonic();
    return true;
}

bool TsExperimentRecorder::reopenFile()
{
    auto *file = new QFile(d->fileName);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text |
                    QIODevice::Unbuffered)) {
        delete file;
        return false;
    }
    d->file = file;
    d->completeSize = file->size();
    d->lastSync = d->monotonic();
    return true;
}

void TsExperimentRecorder::reportFileError(const QString &message)
{
    // Once until rows reach the file again: the first failure says what happened.
    if (!d->fileError.isEmpty())
        return;
    qWarning("TsExperimentRecorder: %s", qPrintable(message));
    d->fileError = message;
    emit statusLineChanged(statusLine());
    emit fileError(message);
}

bool TsExperimentRecorder::writeLine(const QString &line)
{
    if (!d->file)
        return false;
    // The locale's encoding, as a text editor on the same computer reads it.
    QByteArray bytes = QTextCodec::codecForLocale()->fromUnicode(line);
    bytes += '\n';
    // A file system short of space takes part of a row without an error; the next write says why.
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = d->file->write(data, left);
        if (written <= 0)
            break;
        data += written;
        left -= written;
    }
    if (left > 0) {
        reportFileError(tr("The recording file '%1' could not be written: %2")
                            .arg(QDir::toNativeSeparators(d->fileName), d->file->errorString()));
        // Cut back to the last whole row, so that what a spreadsheet reads is every row recorded
        // and nothing broken after them.
        d->file->unsetError();
        d->file->resize(d->completeSize);
        closeFile();
        d->retryAt = d->monotonic() + FileRetryInterval;
        return false;
    }
    d->completeSize = d->file->size();
    const qint64 now = d->monotonic();
    if (d->syncInterval >= 0 && now - d->lastSync >= d->syncInterval) {
        syncToDisk(*d->file);
        d->lastSync = now;
    }
    return true;
}

QString TsExperimentRecorder::headerText() const
{
    if (d->filePrefix.isEmpty() || !d->csvSettings.printHeaderLine())
        return QString();
    const QChar separator = columnSeparator(d->csvSettings);
    const QChar quote(QLatin1Char('"'));
    QString line = tr("\"Timestamp\"") + separator;
    for (const TsExperimentRecording::ColumnGroup &group : qAsConst(d->recording.columns)) {
        const TsExperimentChannel *channel = group.channel.data();
        for (int role : group.roles) {
            line += quote;
            // A quote in a channel's name would end the field early and shift every column
            // after it; doubled, it reads back as one quote.
            if (channel)
                line += channel->label(role).replace(quote, QStringLiteral("\"\""));
            line += quote;
            line += separator;
        }
    }
    return line;
}

bool TsExperimentRecorder::writeRow(const TsExperimentRecording::Sample &sample)
{
    // Without a file name none was asked for, and the row counts as kept.
    if (d->fileName.isEmpty())
        return d->fileError.isEmpty();
    if (d->file) {
        if (writeLine(rowText(sample))) {
            ++d->rowsWritten;
            return true;
        }
    } else if (d->monotonic() < d->retryAt) {
        // Not yet: the file is tried again every few seconds, not on every tick.
    } else if (!reopenFile()) {
        d->retryAt = d->monotonic() + FileRetryInterval;
    } else {
        // One write for what a full disk held back: the header of a file that has none yet, the
        // gap as a row of missing values at the time of the first row lost, and this row. Either
        // all of it reaches the file or none.
        QString text;
        if (d->completeSize == 0) {
            const QString header = headerText();
            if (!header.isEmpty())
                text += header + QLatin1Char('\n');
        }
        if (d->gapPending) {
            TsExperimentRecording::Sample gap = d->firstLost;
            gap.values.clear();
            for (const QVariantList &values : sample.values) {
                QVariantList missing;
                for (int i = 0; i < values.size(); ++i)
                    missing.append(QVariant());
                gap.values.append(missing);
            }
            text += rowText(gap) + QLatin1Char('\n');
        }
        text += rowText(sample);
        if (writeLine(text)) {
            qWarning("TsExperimentRecorder: the recording file '%s' takes rows again",
                     qPrintable(QDir::toNativeSeparators(d->fileName)));
            d->gapPending = false;
            d->fileError.clear();
            ++d->rowsWritten;
            emit statusLineChanged(statusLine());
            emit fileResumed();
            return true;
        }
    }
    if (!d->gapPending) {
        d->gapPending = true;
        d->firstLost = sample;
    }
    return false;
}

QString TsExperimentRecorder::rowText(const TsExperimentRecording::Sample &sample) const
{
    const QChar separator = columnSeparator(d->csvSettings);
    const QString format = d->csvSettings.dateTimeFormat();
    QString line;
    line.reserve(32 + sample.values.size() * 24);
    if (format == QLatin1String("relative-time"))
        line += QString::number(sample.elapsedMs / 1000);
    else if (!format.isEmpty())
        line += sample.timestamp.toString(format);
    else
        line += sample.timestamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    line += separator;

    // The default locale as it is now; a locale changed while recording shows from the next row.
    // A number must stay one field: a digit-group separator that is also the column separator
    // (1,234.5 with commas between columns) is left out, and a decimal point that is the column
    // separator (a comma locale with a profile written elsewhere) is kept inside quotes.
    QLocale locale;
    if (locale.groupSeparator() == separator)
        locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const bool quoteNumbers = locale.decimalPoint() == separator;
    for (const QVariantList &values : sample.values) {
        for (const QVariant &value : values) {
            switch (int(value.type())) {
            case QMetaType::Double:
            case QMetaType::Float: {
                const double number = value.toDouble();
                if (std::isnan(number))
                    break;
                if (quoteNumbers)
                    line += QLatin1Char('"') + locale.toString(number, 'f', 1) + QLatin1Char('"');
                else
                    line += locale.toString(number, 'f', 1);
                break;
            }
            case QMetaType::Bool:
                line += value.toBool() ? QStringLiteral("On") : QStringLiteral("Off");
                break;
            default:
                line += value.toString();
                break;
            }
            line += separator;
        }
    }
    return line;
}
