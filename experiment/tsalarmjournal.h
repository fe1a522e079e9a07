// The alarm journal: one CSV line per alarm event (an alarm, a mail sent or not, a reminder, an
// acknowledgement, a return to normal) in the user's folder. Lines are only ever appended, each
// with one write that reaches the operating system at once, so that a program killed at any moment
// loses at most the line it was writing.
#pragma once

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>

class TsAlarmJournal : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        QDateTime time;
        // One channel id, or several separated by spaces for a mail that names them all.
        QString channel;
        QString event;
        QString value;
        QString setpoint;
        QString who;     // the desktop's user, "mail link <address>", or empty for the program
        QString details; // the cause, the recipient, the mail server's words
        bool concerns(const QString &channelId) const;
    };

    // The event words of the file.
    static const char EventAlarm[];
    static const char EventMailSent[];
    static const char EventMailFailed[];
    static const char EventReminder[];
    static const char EventRecoveryNotice[];
    static const char EventAcknowledged[];
    static const char EventReturnedToNormal[];
    static const char EventRestored[];
    // A dynamic experiment's step that could not reach its controller, and one applied late.
    static const char EventStepFailed[];
    static const char EventStepLate[];

    // The file name inside a user's folder.
    static const char FileName[];
    static const char HeaderLine[];

    explicit TsAlarmJournal(QObject *parent = nullptr);
    ~TsAlarmJournal() override;

    // An empty path journals nothing. The folder must exist.
    void setPath(const QString &path);
    QString path() const;

    // Appends one line (the header first into a new or empty file); false, with the reason in
    // errorString(), when the line could not be written. Entries without a time get the current
    // one.
    bool append(Entry entry);
    QString errorString() const;

    // Every complete line of the file, oldest first; a last line cut off by a killed program is
    // left out.
    static QList<Entry> read(const QString &path);
    // The last `count` entries, oldest first.
    static QList<Entry> tail(const QString &path, int count);

    static QString csvLine(const Entry &entry);
    // The fields of one line; false when the line is not complete (an open quote).
    static bool parseLine(const QString &line, QStringList *fields);

signals:
    void appended(const TsAlarmJournal::Entry &entry);

private:
    bool openFile();

    QFile m_file;
    QString m_path;
    QString m_error;
};
