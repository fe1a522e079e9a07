#include "tsalarmjournal.h"

#include <QFileInfo>

const char TsAlarmJournal::EventAlarm[] = "alarm";
const char TsAlarmJournal::EventMailSent[] = "mail sent";
const char TsAlarmJournal::EventMailFailed[] = "mail failed";
const char TsAlarmJournal::EventReminder[] = "reminder";
const char TsAlarmJournal::EventRecoveryNotice[] = "recovery notice";
const char TsAlarmJournal::EventAcknowledged[] = "acknowledged";
const char TsAlarmJournal::EventReturnedToNormal[] = "returned to normal";
const char TsAlarmJournal::EventRestored[] = "restored";
const char TsAlarmJournal::EventStepFailed[] = "step failed";
const char TsAlarmJournal::EventStepLate[] = "step applied late";
const char TsAlarmJournal::FileName[] = "alarms.csv";
const char TsAlarmJournal::HeaderLine[] = "time,channel,event,value,setpoint,who,details";

namespace {

QString quoted(const QString &field)
{
    // Line breaks inside a field would make a line of the file more than one line of text.
    QString text = field;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

bool TsAlarmJournal::Entry::concerns(const QString &channelId) const
{
    return channel.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(channelId);
}

TsAlarmJournal::TsAlarmJournal(QObject *parent)
    : QObject(parent)
{}

TsAlarmJournal::~TsAlarmJournal() = default;

void TsAlarmJournal::setPath(const QString &path)
{
    if (path == m_path)
        return;
    m_file.close();
    m_path = path;
    m_error.clear();
}

QString TsAlarmJournal::path() const
{
    return m_path;
}

QString TsAlarmJournal::errorString() const
{
    return m_error;
}

bool TsAlarmJournal::openFile()
{
    if (m_file.isOpen())
        return true;
    m_file.setFileName(m_path);
    // Unbuffered: every line goes to the system with the write that makes it, none waits in us.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    if (m_file.size() == 0) {
        const QByteArray header = QByteArray(HeaderLine) + '\n';
        if (m_file.write(header) != header.size()) {
            m_error = m_file.errorString();
            m_file.close();
            return false;
        }
    }
    return true;
}

bool TsAlarmJournal::append(Entry entry)
{
    if (!entry.time.isValid())
        entry.time = QDateTime::currentDateTime();
    if (m_path.isEmpty()) {
        m_error = tr("No user: the alarm journal has no file.");
        return false;
    }
    // A file removed or replaced meanwhile is opened anew, so the line lands in the file the
    // path names.
    if (m_file.isOpen() && !QFileInfo::exists(m_path))
        m_file.close();
    if (!openFile()) {
        qWarning("TsAlarmJournal::append: %s: %s", qUtf8Printable(m_path), qUtf8Printable(m_error));
        return false;
    }
    const QByteArray line = csvLine(entry).toUtf8() + '\n';
    if (m_file.write(line) != line.size()) {
        m_error = m_file.errorString();
        qWarning("TsAlarmJournal::append: %s: %s", qUtf8Printable(m_path), qUtf8Printable(m_error));
        m_file.close();
        return false;
    }
    m_error.clear();
    emit appended(entry);
    return true;
}

QString TsAlarmJournal::csvLine(const Entry &entry)
{
    const QStringList fields = {entry.time.toString(Qt::ISODate),
                                entry.channel,
                                entry.event,
                                entry.value,
                                entry.setpoint,
                                entry.who,
                                entry.details};
    QStringList out;
    for (const QString &field : fields)
        out << quoted(field);
    return out.join(QLatin1Char(','));
}

bool TsAlarmJournal::parseLine(const QString &line, QStringList *fields)
{
    fields->clear();
    QString field;
    bool inQuotes = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
        } else if (c == QLatin1Char(',')) {
            *fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    *fields << field;
    return !inQuotes;
}

QList<TsAlarmJournal::Entry> TsAlarmJournal::read(const QString &path)
{
    QList<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QByteArray all = file.readAll();
    // Only what ends with a line break is a whole line.
    const int end = all.lastIndexOf('\n');
    if (end < 0)
        return entries;
    const QList<QByteArray> lines = all.left(end).split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw);
        if (line.isEmpty() || line == QLatin1String(HeaderLine))
            continue;
        QStringList fields;
        if (!parseLine(line, &fields) || fields.size() != 7)
            continue;
        Entry entry;
        entry.time = QDateTime::fromString(fields.at(0), Qt::ISODate);
        if (!entry.time.isValid())
            continue;
        entry.channel = fields.at(1);
        entry.event = fields.at(2);
        entry.value = fields.at(3);
        entry.setpoint = fields.at(4);
        entry.who = fields.at(5);
        entry.details = fields.at(6);
        entries << entry;
    }
    return entries;
}

QList<TsAlarmJournal::Entry> TsAlarmJournal::tail(const QString &path, int count)
{
    const QList<Entry> all = read(path);
    return all.mid(qMax(0, all.size() - count));
}
