// Recordings read back: the recorder writes on the controller simulation in every form its
// settings give a file, and the reader finds the same actual values at the same times; damaged
// lines are skipped by number, a file of another program is refused, and a read can be cancelled.
#include "experiment/tsrecordingreader.h"
#include "experimenttestsupport.h"
#include "testenvironment.h"

#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <ctime>

namespace {

using namespace experimenttest;

struct Form
{
    char separator;
    bool header;
    const char *format;
    QLocale::Language language;
};

std::ostream &operator<<(std::ostream &out, const Form &form)
{
    return out << "'" << form.separator << "' header " << form.header << " format '" << form.format
               << "' " << QLocale::languageToString(form.language).toStdString();
}

class RecordingReaderTest : public ExperimentFixture
{
protected:
    RecordingReaderTest()
    {
        recorder = experiment->recorder();
        recorder->setClocks([this] { return monotonic; }, [this] { return wall; });
        recorder->setLogFolder(folder.path());
    }
    ~RecordingReaderTest() override { recorder->setClocks({}, {}); }

    // Records ticks with the stage's raw actual values given (4096 and above: none), the lid at
    // -1234.5, and returns what the recorder handed out: time and the three channels' actuals.
    struct Row
    {
        QDateTime timestamp;
        qint64 elapsedMs;
        QList<QVariant> actual;
    };
    QList<Row> record(const TsRecorderCSVSettings &csv, const QList<int> &stageRaw)
    {
        useStandardProfile(csv);
        recorder->setFilePrefix("run");
        QList<Row> rows;
        QObject::connect(recorder, &TsExperimentRecorder::newSample, recorder,
                         [&rows](TsExperimentRecording::Sample *sample) {
                             Row row{sample->timestamp, sample->elapsedMs, {}};
                             for (const QVariantList &values : sample->values)
                                 row.actual << values.value(0);
                             rows << row;
                         });
        bool first = true;
        for (int raw : stageRaw) {
            plug("actual=\"" + std::to_string(raw) + "\"", "actual=\"-12345\"");
            if (first)
                recorder->start();
            // 1.3 s apart: the times in the file are whole seconds.
            monotonic += first ? 0 : 1300;
            wall = wall.addMSecs(first ? 0 : 1300);
            experiment->sampleChannels();
            first = false;
        }
        recorder->stop();
        QObject::disconnect(recorder, &TsExperimentRecorder::newSample, recorder, nullptr);
        return rows;
    }

    QTemporaryDir folder;
    qint64 monotonic = 1000000;
    QDateTime wall = QDateTime(QDate(2026, 3, 28), QTime(23, 59, 58, 400));
    TsExperimentRecorder *recorder = nullptr;
};

class RoundTrip : public RecordingReaderTest, public ::testing::WithParamInterface<Form>
{};

TEST_P(RoundTrip, TheSameValuesAtTheSameTimes)
{
    const Form form = GetParam();
    const QLocale previous;
    QLocale::setDefault(QLocale(form.language));
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(quint8(form.separator));
    csv.setPrintHeaderLine(form.header);
    csv.setDateTimeFormat(QString::fromLatin1(form.format));
    const QList<Row> rows = record(csv, {371, 372, 4096, 12345, -5, 0, 370});
    QLocale::setDefault(previous);

    TsRecordingReader reader;
    const QxResult read = reader.read(recorder->fileName());
    ASSERT_TRUE(read.isSuccess()) << read.toString().toStdString();
    const TsRecording &recording = reader.recording();
    EXPECT_EQ(recording.damagedCount, 0);
    ASSERT_EQ(recording.rows(), rows.size());
    ASSERT_EQ(recording.channels.size(), 3u);
    if (form.header) {
        EXPECT_EQ(recording.channels[0].name, "Stage");
        EXPECT_EQ(recording.channels[2].name, "Missing");
    } else {
        EXPECT_EQ(recording.channels[1].name, "Channel 2");
    }
    const bool relative = QLatin1String(form.format) == QLatin1String("relative-time");
    EXPECT_EQ(recording.relativeTime, relative);
    const qint64 start = QDateTime(QDate(2026, 3, 28), QTime(23, 59, 58)).toMSecsSinceEpoch();
    for (int i = 0; i < rows.size(); ++i) {
        const qint64 expected = relative ? start + rows[i].elapsedMs / 1000 * 1000
                                         : rows[i].timestamp.toMSecsSinceEpoch() / 1000 * 1000;
        EXPECT_EQ(qint64((*recording.times)[std::size_t(i)]), expected) << "row " << i;
        for (int c = 0; c < 3; ++c) {
            const QVariant value = rows[i].actual.value(c);
            const float got = recording.channels[std::size_t(c)].values[std::size_t(i)];
            const double number = value.toDouble();
            if (!value.isValid() || std::isnan(number)) {
                EXPECT_TRUE(std::isnan(got)) << "row " << i << " channel " << c;
            } else {
                EXPECT_EQ(got, float(QString::number(number, 'f', 1).toDouble()))
                    << "row " << i << " channel " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryForm, RoundTrip,
                         ::testing::Values(Form{'\t', true, "", QLocale::English},
                                           Form{';', true, "yyyy/MM/dd hh:mm:ss", QLocale::German},
                                           Form{',', true, "yyyy.MM.dd hh:mm:ss", QLocale::English},
                                           Form{',', false, "dd.MM.yyyy hh:mm:ss", QLocale::German},
                                           Form{'\t', false, "relative-time", QLocale::German},
                                           Form{';', true, "relative-time", QLocale::French},
                                           Form{'\t', true, "yyyy-MM-dd hh:mm:ss",
                                                QLocale::English}));

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

TEST(RecordingReader, DamagedLinesAreSkippedByNumberAndTheRestIsRead)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "damaged.csv",
                                   "\"Timestamp\";\"A: Actual Value\";\"A: Setpoint Value\";"
                                   "\"A: Control\";\r\n"
                                   "2026-01-31 14:05:00;37.0;37.0;On;\r\n"
                                   "2026-01-31 14:05:01;37.1;37.0;On;\r\n"
                                   "2026-01-31 14:05:02;37.x;37.0;On;\r\n" // 4: no number
                                   "2026-01-31 14:05:03;37.2;37.0;\r\n"    // 5: cut short
                                   "\x01\x02garbage\r\n"                   // 6
                                   "2026-01-31 14:04:59;37.3;37.0;On;\r\n" // 7: back in time
                                   "2026-01-31 14:05:05;;;Off;\r\n"
                                   "2026-02-30 14:05:06;37.4;37.0;On;\r\n"    // 9: no such day
                                   "2026-01-31 14:05:07;37.5;37.0;Maybe;\r\n" // 10
                                   "2026-01-31 14:05:08;1.037,5;37.0;On;\r\n"
                                   "2026-01-31 14:05:09;37.6;3"); // 12: cut, no end
    TsRecordingReader reader;
    ASSERT_TRUE(reader.read(path).isSuccess());
    const TsRecording &recording = reader.recording();
    EXPECT_EQ(recording.damagedLines, (QList<qint64>{4, 5, 6, 7, 9, 10, 12}));
    EXPECT_EQ(recording.damagedCount, 7);
    ASSERT_EQ(recording.rows(), 4);
    const std::vector<float> &a = recording.channels[0].values;
    EXPECT_EQ(a[0], 37.0f);
    EXPECT_EQ(a[1], 37.1f);
    EXPECT_TRUE(std::isnan(a[2]));
    EXPECT_EQ(a[3], 1037.5f);
    EXPECT_EQ(qint64((*recording.times)[3]),
              QDateTime(QDate(2026, 1, 31), QTime(14, 5, 8)).toMSecsSinceEpoch());
}

TEST(RecordingReader, TheHourTheClocksGoBackIsReadTwiceInTimeOrder)
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QTemporaryDir dir;
    QByteArray text;
    const qint64 start = QDateTime(QDate(2026, 10, 25), QTime(1, 59, 0)).toMSecsSinceEpoch();
    for (qint64 ms = start, end = ms + 2 * 3600000 + 120000; ms < end; ms += 60000) {
        text += QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss").toLatin1() +
                "\t37.0\t37.0\tOn\t\n";
    }
    TsRecordingReader reader;
    const QxResult read = reader.read(writeFile(dir, "autumn.csv", text));
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
    ASSERT_TRUE(read.isSuccess());
    const TsRecording &recording = reader.recording();
    EXPECT_EQ(recording.damagedCount, 0);
    ASSERT_EQ(recording.rows(), 122);
    for (std::size_t i = 0; i < 122; ++i)
        ASSERT_EQ((*recording.times)[i], double(start + qint64(i) * 60000)) << i;
}

TEST(RecordingReader, AFileOfAnotherProgramIsNotARecording)
{
    QTemporaryDir dir;
    const QList<QByteArray> others = {
        "time,value\n2026-01-31 14:05:00,5\n",                    // a plain spreadsheet
        "2026-01-31 14:05:00;37.0;37.0;On\n",                     // no separator at the end
        "\"Timestamp\";\"A\";\"B\";\n2026-01-31 14:05:00;1;2;\n", // not three a channel
        "Name;Value;Unit;Note;\nStage;37;C;ok;\n",                // a table with a header
        QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),          // a picture
        "",                                                       // empty
        "hello;world;a;b;\n",                                     // no time
    };
    for (int i = 0; i < others.size(); ++i) {
        TsRecordingReader reader;
        const QxResult result =
            reader.read(writeFile(dir, QString("other%1.csv").arg(i), others[i]));
        EXPECT_EQ(result.code(), TsRecordingReader::NotARecording) << i;
        EXPECT_TRUE(result.message().contains("is not a recording")) << i;
    }
    TsRecordingReader reader;
    EXPECT_EQ(reader.read(dir.filePath("absent.csv")).code(), TsRecordingReader::CannotOpen);
}

TEST(RecordingReader, ACancelStopsAtTheNextChunk)
{
    QTemporaryDir dir;
    QByteArray bytes =
        "\"Timestamp\"\t\"A: Actual Value\"\t\"A: Setpoint Value\"\t\"A: Control\"\t\n";
    const QByteArray row = "2026-01-31 14:05:00\t37.0\t37.0\tOn\t\n";
    qint64 rows = 0;
    for (; bytes.size() < 3 * TsRecordingReader::ChunkSize; ++rows)
        bytes += row;
    const QString path = writeFile(dir, "big.csv", bytes);
    TsRecordingReader reader;
    QSignalSpy progress(&reader, &TsRecordingReader::progress);
    QObject::connect(&reader, &TsRecordingReader::progress, &reader,
                     [&reader] { reader.cancel(); });
    EXPECT_EQ(reader.read(path).code(), TsRecordingReader::Cancelled);
    ASSERT_EQ(progress.count(), 1);
    EXPECT_EQ(progress.at(0).at(0).toLongLong(), TsRecordingReader::ChunkSize);
    EXPECT_EQ(progress.at(0).at(1).toLongLong(), qint64(bytes.size()));

    // A read after a cancel starts afresh.
    QObject::disconnect(&reader, &TsRecordingReader::progress, &reader, nullptr);
    ASSERT_TRUE(reader.read(path).isSuccess());
    EXPECT_EQ(reader.recording().rows(), rows);
}

} // namespace
