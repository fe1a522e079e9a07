// The alarm journal as a file: what goes in comes out, and a program killed while writing loses at
// most the line it was writing.
#include "experiment/tsalarmjournal.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(AlarmJournal, FieldsComeBackAsTheyWentInAndACutLineIsLeftOut)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TsAlarmJournal journal;
    EXPECT_FALSE(journal.append({})) << "no user, no file";
    journal.setPath(folder.path() + "/alarms.csv");
    TsAlarmJournal::Entry entry;
    entry.time = QDateTime(QDate(2026, 12, 10), QTime(3, 4, 5), Qt::OffsetFromUTC, 3600);
    entry.channel = "150T0:1 150T0:2";
    entry.event = TsAlarmJournal::EventMailFailed;
    entry.value = QString::fromUtf8("25.0°C");
    entry.setpoint = QString::fromUtf8("37.0°C");
    entry.who = "mail link 10.0.0.7";
    entry.details = "to ann@lab.example: 550 \"no\", go away\nsecond line";
    ASSERT_TRUE(journal.append(entry)) << journal.errorString().toStdString();
    ASSERT_TRUE(journal.append(entry));

    // A line cut off by a killed program.
    QFile file(journal.path());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("2026-12-10T03:04:06+01:00,150T0:1,alarm,\"25");
    file.close();

    const QList<TsAlarmJournal::Entry> entries = TsAlarmJournal::read(journal.path());
    ASSERT_EQ(entries.size(), 2);
    const TsAlarmJournal::Entry &back = entries.first();
    EXPECT_EQ(back.time, entry.time);
    EXPECT_EQ(back.channel, entry.channel);
    EXPECT_TRUE(back.concerns("150T0:2"));
    EXPECT_FALSE(back.concerns("150T0:"));
    EXPECT_EQ(back.event, "mail failed");
    EXPECT_EQ(back.value, entry.value);
    EXPECT_EQ(back.setpoint, entry.setpoint);
    EXPECT_EQ(back.who, entry.who);
    EXPECT_EQ(back.details, "to ann@lab.example: 550 \"no\", go away second line");

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readLine(), QByteArray(TsAlarmJournal::HeaderLine) + "\n") << "one header";
    EXPECT_EQ(TsAlarmJournal::tail(journal.path(), 1).size(), 1);
}

TEST(AlarmJournal, AKilledWriterLosesAtMostTheLineItWasWriting)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.path() + "/alarms.csv";
    for (int round = 0; round < 3; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(TESSARO_JOURNAL_WRITER), {path});
        ASSERT_TRUE(writer.waitForStarted(5000));
        QByteArray said;
        while (said.count('\n') < 200 * (round + 1) && writer.waitForReadyRead(5000))
            said += writer.readAllStandardOutput();
        writer.kill(); // SIGKILL: nothing of the writer runs any more
        ASSERT_TRUE(writer.waitForFinished(5000));
        said += writer.readAllStandardOutput();
        const QList<QByteArray> numbers = said.trimmed().split('\n');
        const long reported = numbers.last().toLong();
        ASSERT_GT(reported, 0);

        const QList<TsAlarmJournal::Entry> entries = TsAlarmJournal::read(path);
        // Every line the writer said it wrote is there, complete; one more may have made it.
        long last = 0;
        int inRound = 0;
        for (const TsAlarmJournal::Entry &entry : entries) {
            if (entry.value.toLong() == 1)
                inRound = 0;
            ++inRound;
            last = entry.value.toLong();
            ASSERT_EQ(entry.details,
                      QStringLiteral("line %1, with a comma and a \"quote\"").arg(entry.value));
        }
        EXPECT_GE(last, reported);
        EXPECT_LE(last, reported + 1);
        EXPECT_EQ(inRound, last);
    }
}

} // namespace
