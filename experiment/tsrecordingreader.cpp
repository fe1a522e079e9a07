#include "experiment/tsrecordingreader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTextCodec>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// How the time column reads.
enum class TimeForm
{
    Unknown,
    Relative,  // whole seconds since the start
    YearFirst, // yyyy?MM?dd hh:mm:ss with '-', '/' or '.'
    DayFirst,  // dd.MM.yyyy hh:mm:ss
};

struct Field
{
    const char *begin;
    const char *end;
    bool quoted;
};

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Splits one line at the separator, taking quoted fields whole. Returns false for a quote that is
// never closed.
bool splitFields(const char *p, const char *end, char separator, std::vector<Field> &fields)
{
    fields.clear();
    while (true) {
        Field field{p, p, false};
        if (p < end && *p == '"') {
            field.quoted = true;
            ++p;
            field.begin = p;
            while (true) {
                const char *quote = static_cast<const char *>(std::memchr(p, '"', size_t(end - p)));
                if (!quote)
                    return false;
                p = quote + 1;
                if (p < end && *p == '"') {
                    ++p; // a doubled quote inside the field
                    continue;
                }
                field.end = quote;
                break;
            }
            if (p < end && *p != separator)
                return false;
        } else {
            const char *next =
                static_cast<const char *>(std::memchr(p, separator, size_t(end - p)));
            p = next ? next : end;
            field.end = p;
        }
        fields.push_back(field);
        if (p >= end)
            return true;
        ++p; // the separator
    }
}

// A number as the recorder writes it: an optional minus, digits in groups, and one decimal after
// a point or comma. Empty is a missing value (NaN).
bool parseValue(const Field &field, float &value)
{
    const char *p = field.begin;
    const char *end = field.end;
    if (p == end) {
        value = std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    } else if (end - p >= 3 && std::memcmp(p, "\xE2\x88\x92", 3) == 0) { // U+2212, minus sign
        negative = true;
        p += 3;
    }
    if (p == end || !isDigit(*p) || !isDigit(end[-1]))
        return false;
    qint64 mantissa = 0;
    int digits = 0;
    int digitsAfterSeparator = 0;
    char lastSeparator = 0;
    for (; p < end; ++p) {
        const char c = *p;
        if (isDigit(c)) {
            if (++digits > 17)
                return false;
            mantissa = mantissa * 10 + (c - '0');
            ++digitsAfterSeparator;
        } else if (c == '.' || c == ',' || c == '\'' || c == ' ' || (unsigned char)c >= 0x80) {
            // Digit groups: a point, comma, apostrophe or (no-break) space of the locale.
            lastSeparator = c;
            digitsAfterSeparator = 0;
        } else {
            return false;
        }
    }
    double number = double(mantissa);
    if (lastSeparator == '.' || lastSeparator == ',') {
        if (digitsAfterSeparator != 1)
            return false;
        number /= 10.0;
    } else if (lastSeparator != 0) {
        return false;
    }
    value = float(negative ? -number : number);
    return true;
}

inline int twoDigits(const char *p)
{
    return isDigit(p[0]) && isDigit(p[1]) ? (p[0] - '0') * 10 + (p[1] - '0') : -1;
}

inline int fourDigits(const char *p)
{
    const int high = twoDigits(p);
    const int low = twoDigits(p + 2);
    return high < 0 || low < 0 ? -1 : high * 100 + low;
}

TimeForm timeFormOf(const Field &field)
{
    const char *p = field.begin;
    const qint64 length = field.end - field.begin;
    if (field.quoted || length == 0)
        return TimeForm::Unknown;
    bool digitsOnly = true;
    for (const char *q = p; q < field.end; ++q)
        digitsOnly = digitsOnly && isDigit(*q);
    if (digitsOnly)
        return length <= 12 ? TimeForm::Relative : TimeForm::Unknown;
    if (length != 19 || p[10] != ' ' || p[13] != ':' || p[16] != ':')
        return TimeForm::Unknown;
    if ((p[4] == '-' || p[4] == '/' || p[4] == '.') && p[7] == p[4])
        return TimeForm::YearFirst;
    if (p[2] == '.' && p[5] == '.')
        return TimeForm::DayFirst;
    return TimeForm::Unknown;
}

// The local time of a file's first line as the start of a recording whose rows count seconds:
// "PREFIX_2026-01-31_14-05-00.csv".
QDateTime startFromFileName(const QString &path)
{
    static const QRegularExpression stamp(
        QStringLiteral("_(\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2})$"));
    const QRegularExpressionMatch match = stamp.match(QFileInfo(path).completeBaseName());
    if (!match.hasMatch())
        return QDateTime();
    return QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
}

QString decodeText(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    const QString text =
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 ? text : QString::fromLatin1(bytes);
}

} // namespace

struct TsRecordingReader::Form
{
    char separator = '\t';
    int channels = 0;
    TimeForm time = TimeForm::Unknown;
    // Local midnight plus the hour, by date and hour: the time zone's rules are asked once an
    // hour of recording, not once a row.
    QHash<qint64, qint64> hours;
    double lastTime = -std::numeric_limits<double>::infinity();
    std::vector<Field> fields;
    std::vector<float> row;

    bool parseTime(const Field &field, double &ms)
    {
        if (time == TimeForm::Unknown)
            time = timeFormOf(field);
        const char *p = field.begin;
        if (time == TimeForm::Relative) {
            if (field.quoted || field.begin == field.end || field.end - field.begin > 12)
                return false;
            qint64 seconds = 0;
            for (; p < field.end; ++p) {
                if (!isDigit(*p))
                    return false;
                seconds = seconds * 10 + (*p - '0');
            }
            ms = double(seconds) * 1000.0;
            return true;
        }
        if (time == TimeForm::Unknown || field.quoted || field.end - p != 19 ||
            timeFormOf(field) != time)
            return false;
        const int year = time == TimeForm::YearFirst ? fourDigits(p) : fourDigits(p + 6);
        const int month = twoDigits(p + (time == TimeForm::YearFirst ? 5 : 3));
        const int day = twoDigits(p + (time == TimeForm::YearFirst ? 8 : 0));
        const int hour = twoDigits(p + 11);
        const int minute = twoDigits(p + 14);
        const int second = twoDigits(p + 17);
        if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
            minute < 0 || minute > 59 || second < 0 || second > 59)
            return false;
        const qint64 key = ((qint64(year) * 100 + month) * 100 + day) * 100 + hour;
        auto it = hours.constFind(key);
        if (it == hours.constEnd()) {
            const QDate date(year, month, day);
            if (!date.isValid())
                return false;
            it = hours.insert(key,
                              QDateTime(date, QTime(hour, 0), Qt::LocalTime).toMSecsSinceEpoch());
        }
        ms = double(*it + (minute * 60 + second) * 1000);
        if (ms < lastTime) {
            // The hour the clocks go back shows twice: from the first row that goes back, the
            // hour's second occurrence is meant, an hour later on the time line.
            const qint64 later = *it + 3600000;
            const QDateTime wall = QDateTime::fromMSecsSinceEpoch(later);
            if (wall.time() == QTime(hour, 0) && wall.date() == QDate(year, month, day)) {
                hours[key] = later;
                ms = double(later + (minute * 60 + second) * 1000);
            }
        }
        return true;
    }
};

TsRecordingReader::TsRecordingReader(QObject *parent)
    : QObject(parent)
{}

TsRecordingReader::~TsRecordingReader() = default;

void TsRecordingReader::cancel()
{
    m_cancel = true;
}

bool TsRecordingReader::detect(const QByteArray &line, QString *why)
{
    m_form.reset(new Form);
    Form &form = *m_form;
    if (line.contains('\0')) {
        *why = tr("it is not a text file.");
        return false;
    }
    // The time and the header's first field hold none of the three separators, so the first
    // one found outside quotes is it.
    bool inQuotes = false;
    form.separator = 0;
    for (char c : line) {
        if (c == '"')
            inQuotes = !inQuotes;
        if (!inQuotes && (c == '\t' || c == ';' || c == ',')) {
            form.separator = c;
            break;
        }
    }
    const char *begin = line.constData();
    const char *end = begin + line.size();
    if (form.separator == 0 || !splitFields(begin, end, form.separator, form.fields)) {
        *why = tr("its first line has no columns of the recorder's kind.");
        return false;
    }
    // Every line ends with a separator; then the time and three columns a channel.
    const std::vector<Field> &fields = form.fields;
    const int columns = int(fields.size()) - 1;
    if (fields.size() < 5 || fields.back().begin != fields.back().end || (columns - 1) % 3 != 0) {
        *why = tr("its first line does not have the recorder's columns (the time, then the actual "
                  "value, setpoint and control of each channel, each followed by the separator).");
        return false;
    }
    form.channels = (columns - 1) / 3;
    m_recording.channels.resize(std::size_t(form.channels));
    if (fields.front().quoted) {
        for (int c = 0; c < columns; ++c) {
            if (!fields[std::size_t(c)].quoted) {
                *why = tr("its header line is not the recorder's.");
                return false;
            }
        }
        const QString suffix = QStringLiteral(": Actual Value");
        for (int c = 0; c < form.channels; ++c) {
            const Field &label = fields[std::size_t(1 + 3 * c)];
            QString name = decodeText(QByteArray(label.begin, int(label.end - label.begin)))
                               .replace(QStringLiteral("\"\""), QStringLiteral("\""));
            if (name.endsWith(suffix))
                name.chop(suffix.size());
            m_recording.channels[std::size_t(c)].name = name;
        }
        return true;
    }
    for (int c = 0; c < form.channels; ++c)
        m_recording.channels[std::size_t(c)].name = tr("Channel %1").arg(c + 1);
    if (timeFormOf(fields.front()) == TimeForm::Unknown) {
        *why = tr("its first column is not a time the recorder writes.");
        return false;
    }
    if (!readRow(begin, end)) {
        *why = tr("its first line is not a row of the recorder's.");
        return false;
    }
    return true;
}

namespace {

// The end of the field that starts at p: the next separator, or end.
inline const char *fieldEnd(const char *p, const char *end, char separator)
{
    while (p < end && *p != separator)
        ++p;
    return p;
}

inline bool isControl(const char *p, const char *end)
{
    const qint64 length = end - p;
    return length == 0 || (length == 2 && p[0] == 'O' && p[1] == 'n') ||
           (length == 3 && p[0] == 'O' && p[1] == 'f' && p[2] == 'f');
}

} // namespace

bool TsRecordingReader::readRow(const char *begin, const char *end)
{
    Form &form = *m_form;
    form.row.resize(std::size_t(form.channels));
    double time = 0;
    if (!std::memchr(begin, '"', size_t(end - begin))) {
        // Most rows quote nothing: their fields are read in one pass.
        const char *p = begin;
        const char *field = fieldEnd(p, end, form.separator);
        if (field == end || !form.parseTime(Field{p, field, false}, time))
            return false;
        p = field + 1;
        for (int c = 0; c < form.channels; ++c) {
            field = fieldEnd(p, end, form.separator);
            if (field == end || !parseValue(Field{p, field, false}, form.row[std::size_t(c)]))
                return false;
            field = fieldEnd(field + 1, end, form.separator); // the setpoint
            if (field == end)
                return false;
            p = field + 1;
            field = fieldEnd(p, end, form.separator);
            if (field == end || !isControl(p, field))
                return false;
            p = field + 1;
        }
        if (p != end)
            return false;
    } else {
        if (!splitFields(begin, end, form.separator, form.fields))
            return false;
        const std::vector<Field> &fields = form.fields;
        if (int(fields.size()) != 2 + 3 * form.channels || fields.back().begin != fields.back().end)
            return false;
        if (!form.parseTime(fields.front(), time))
            return false;
        for (int c = 0; c < form.channels; ++c) {
            if (!parseValue(fields[std::size_t(1 + 3 * c)], form.row[std::size_t(c)]))
                return false;
            const Field &control = fields[std::size_t(3 + 3 * c)];
            if (control.quoted || !isControl(control.begin, control.end))
                return false;
        }
    }
    if (time < form.lastTime)
        return false;
    form.lastTime = time;
    m_recording.times->push_back(time);
    for (int c = 0; c < form.channels; ++c)
        m_recording.channels[std::size_t(c)].values.push_back(form.row[std::size_t(c)]);
    return true;
}

QxResult TsRecordingReader::read(const QString &path)
{
    m_recording = TsRecording();
    m_recording.filePath = path;
    m_form.reset();
    m_cancel = false;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QxResult(CannotOpen, tr("'%1' cannot be opened: %2").arg(path, file.errorString()));
    }
    const qint64 total = file.size();
    const QString notARecording = tr("'%1' is not a recording: %2");

    QByteArray buffer;
    qint64 lineNumber = 0;
    qint64 done = 0;
    bool atEnd = false;
    while (!atEnd) {
        if (m_cancel)
            return QxResult(Cancelled, tr("Reading '%1' was cancelled.").arg(path));
        const QByteArray chunk = file.read(ChunkSize);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
            return QxResult(ReadFailed,
                            tr("'%1' cannot be read: %2").arg(path, file.errorString()));
        atEnd = chunk.size() < ChunkSize;
        done += chunk.size();
        buffer.append(chunk);

        const char *data = buffer.constData();
        const char *end = data + buffer.size();
        const char *p = data;
        while (p < end) {
            const char *newline = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!newline && !atEnd)
                break; // the rest comes with the next chunk
            const char *lineEnd = newline ? newline : end;
            const char *next = newline ? newline + 1 : end;
            if (lineEnd > p && lineEnd[-1] == '\r')
                --lineEnd;
            ++lineNumber;
            if (lineEnd > p) {
                if (!m_form) {
                    QString why;
                    if (!detect(QByteArray(p, int(lineEnd - p)), &why))
                        return QxResult(NotARecording, notARecording.arg(path, why));
                    // Room for every row at once, estimated from the first line's length.
                    const std::size_t rows =
                        std::size_t(double(total) / double(lineEnd - p + 1) * 1.05) + 16;
                    m_recording.times->reserve(rows);
                    for (TsRecording::Channel &channel : m_recording.channels)
                        channel.values.reserve(rows);
                } else if (!readRow(p, lineEnd)) {
                    if (m_recording.damagedLines.size() < TsRecording::MaxListedLines)
                        m_recording.damagedLines << lineNumber;
                    ++m_recording.damagedCount;
                }
            }
            p = next;
        }
        buffer.remove(0, int(p - data));
        emit progress(done, total);
    }
    if (!m_form)
        return QxResult(NotARecording, notARecording.arg(path, tr("it is empty.")));

    std::vector<double> &times = *m_recording.times;
    if (m_form->time == TimeForm::Relative) {
        m_recording.relativeTime = true;
        QDateTime start = startFromFileName(path);
        double base = 0;
        if (start.isValid())
            base = double(start.toMSecsSinceEpoch());
        else
            base = double(QFileInfo(path).lastModified().toMSecsSinceEpoch()) -
                   (times.empty() ? 0.0 : times.back());
        for (double &time : times)
            time += base;
    }
    // An estimate well above the rows found gives its room back.
    if (times.capacity() > times.size() + times.size() / 8 + 64) {
        times.shrink_to_fit();
        for (TsRecording::Channel &channel : m_recording.channels)
            channel.values.shrink_to_fit();
    }
    return QxResult();
}
