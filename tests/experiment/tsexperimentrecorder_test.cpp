// The recorder on an experiment over the controller simulation, with clocks the test moves: start
// and stop rules, the capture gate, the CSV file's name, header and rows, a file that cannot be
// created, and rows surviving a recording process that is killed.
#include "experimenttestsupport.h"
#include "support/smalltmpfs.h"
#include "testenvironment.h"

#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactiontype.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using namespace experimenttest;

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TsRecorderCSVSettings csvSettings(char separator = '\t', bool header = true,
                                  const QString &format = QString())
{
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(quint8(separator));
    csv.setPrintHeaderLine(header);
    csv.setDateTimeFormat(format);
    return csv;
}

class RecorderTest : public ExperimentFixture
{
protected:
    RecorderTest()
    {
        recorder = experiment->recorder();
        recorder->setClocks([this] { return monotonic; }, [this] { return wall; });
        recorder->setLogFolder(folder.path());
    }
    ~RecorderTest() override { recorder->setClocks({}, {}); }

    // One sampling tick a second later than the last.
    void tick(qint64 step = 1000)
    {
        monotonic += step;
        wall = wall.addMSecs(step);
        experiment->sampleChannels();
    }
    QString onlyFile(const QString &subfolder = QString()) const
    {
        QDir dir(folder.path() + "/" + subfolder);
        const QStringList files = dir.entryList(QDir::Files);
        return files.size() == 1 ? dir.filePath(files.first()) : QString();
    }

    QTemporaryDir folder;
    qint64 monotonic = 1000000;
    QDateTime wall = QDateTime(QDate(2026, 1, 31), QTime(14, 5, 0));
    TsExperimentRecorder *recorder = nullptr;
};

TEST_F(RecorderTest, APlainPrefixNamesTheFileInTheLogFolderByStartTime)
{
    useStandardProfile(csvSettings());
    recorder->setFilePrefix("P");
    QSignalSpy started(recorder, &TsExperimentRecorder::started);
    QSignalSpy status(recorder, &TsExperimentRecorder::recordingStatus);
    recorder->start();
    EXPECT_TRUE(recorder->isRunning());
    EXPECT_EQ(started.count(), 1);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), "00m 00s");
    EXPECT_EQ(recorder->runningSince(), wall);
    EXPECT_EQ(recorder->recording().startTime, wall);
    EXPECT_EQ(recorder->fileName(), folder.path() + "/P_2026-01-31_14-05-00.csv");
    EXPECT_TRUE(QFile::exists(recorder->fileName()));
    EXPECT_FALSE(recorder->hasFileError());
    recorder->stop();
    EXPECT_EQ(recorder->recording().endTime, wall);
    EXPECT_FALSE(recorder->runningSince().isValid());
}

TEST_F(RecorderTest, ASubFolderPrefixWithASuffixCreatesTheFolder)
{
    useStandardProfile(csvSettings());
    recorder->setFilePrefix("D/E/P.txt");
    recorder->start();
    EXPECT_EQ(recorder->fileName(), folder.path() + "/D/E/P_2026-01-31_14-05-00.txt");
    EXPECT_TRUE(QFile::exists(recorder->fileName()));
    recorder->stop();

    // An absolute prefix ignores the log folder.
    QTemporaryDir other;
    recorder->setFilePrefix(other.path() + "/abs");
    recorder->start();
    EXPECT_EQ(recorder->fileName(), other.path() + "/abs_2026-01-31_14-05-00.csv");
    recorder->stop();
}

TEST_F(RecorderTest, TwoStartsInOneSecondNeverOverwriteTheEarlierFile)
{
    useStandardProfile(csvSettings());
    recorder->setFilePrefix("P");
    recorder->start();
    tick();
    recorder->stop();
    const QString first = recorder->fileName();
    const QStringList firstLines = readLines(first);
    ASSERT_EQ(firstLines.size(), 2);
    wall = wall.addMSecs(-1000);
    recorder->start();
    recorder->stop();
    EXPECT_EQ(recorder->fileName(), folder.path() + "/P_2026-01-31_14-05-00_2.csv");
    EXPECT_EQ(readLines(first), firstLines);
}

TEST_F(RecorderTest, HeaderAndRowsAreWrittenAsSpecified)
{
    useStandardProfile(csvSettings(';'));
    recorder->setFilePrefix("rows");
    QSignalSpy samples(recorder, &TsExperimentRecorder::newSample);
    recorder->start();
    tick();
    tick();
    recorder->stop();
    const QStringList lines = readLines(recorder->fileName());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "\"Timestamp\";\"Stage: Actual Value\";\"Stage: Setpoint Value\";"
                        "\"Stage: Control\";\"Lid: Actual Value\";\"Lid: Setpoint Value\";"
                        "\"Lid: Control\";\"Missing: Actual Value\";\"Missing: Setpoint Value\";"
                        "\"Missing: Control\";");
    EXPECT_EQ(lines[1], "2026-01-31 14:05:01;25.0;37.0;On;25.0;37.0;On;;;;");
    EXPECT_EQ(lines[2], "2026-01-31 14:05:02;25.0;37.0;On;25.0;37.0;On;;;;");
    EXPECT_EQ(samples.count(), 2);
    EXPECT_EQ(recorder->rowsWritten(), 2) << "the header is no row";
    EXPECT_EQ(recorder->recording().columns.size(), 3);
    EXPECT_EQ(recorder->recording().columns[0].roles, (QList<int>{0, 1, 2}));
}

TEST_F(RecorderTest, NotANumberIsAnEmptyFieldAndLoopOffIsOff)
{
    plug("setpoint=\"4096\" control=\"0\"", "actual=\"-12345\"");
    useStandardProfile(csvSettings('\t', false, "hh:mm"));
    recorder->setFilePrefix("nan");
    recorder->start();
    tick();
    recorder->stop();
    const QStringList lines = readLines(recorder->fileName());
    ASSERT_EQ(lines.size(), 1) << "no header line";
    EXPECT_EQ(lines[0], "14:05\t25.0\t\tOff\t-1,234.5\t37.0\tOn\t\t\t\t");
}

TEST_F(RecorderTest, NumbersFollowTheDefaultLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    plug("", "actual=\"-12345\"");
    useStandardProfile(csvSettings('\t', false, "relative-time"));
    recorder->setFilePrefix("de");
    recorder->start();
    tick(0);
    recorder->stop();
    QLocale::setDefault(previous);
    const QStringList lines = readLines(recorder->fileName());
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], "0\t25,0\t37,0\tOn\t-1.234,5\t37,0\tOn\t\t\t\t");
}

// Every value keeps its own column, whatever the separator and the locale's number signs, and a
// quote in a channel name does not end its header field.
TEST_F(RecorderTest, FieldsNeverSpillIntoTheNextColumn)
{
    const QLocale previous;
    plug("", "actual=\"-12345\"");
    TsProfile p = profile({entry(stage, "Stage"), entry(lid, "Lid"), entry(missing, "Gas \"B\"")});
    p.setCsvSettings(csvSettings(',', true, "relative-time"));
    ASSERT_TRUE(experiment->setProfile(p).isSuccess());
    recorder->setFilePrefix("clash");

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    recorder->start();
    tick(0);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    tick(1000);
    QLocale::setDefault(previous);
    recorder->stop();

    const QStringList lines = readLines(recorder->fileName());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(",\"Gas \"\"B\"\": Actual Value\",\"Gas \"\"B\"\": Setpoint "
                                  "Value\",\"Gas \"\"B\"\": Control\","))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], "0,25.0,37.0,On,-1234.5,37.0,On,,,,") << "no group separator";
    EXPECT_EQ(lines[2], "1,\"25,0\",\"37,0\",On,\"-1.234,5\",\"37,0\",On,,,,")
        << "a decimal comma stays inside its field";

    // A separator that a damaged profile read as 0 is the default tab, not a NUL byte.
    recorder->setCsvSettings(csvSettings('\0', false, "relative-time"));
    recorder->start();
    tick(0);
    recorder->stop();
    EXPECT_EQ(readLines(recorder->fileName()).value(0),
              "0\t25.0\t37.0\tOn\t-1,234.5\t37.0\tOn\t\t\t\t");
}

TEST_F(RecorderTest, RelativeTimeCountsWholeSecondsFromTheStart)
{
    useStandardProfile(csvSettings(',', false, "relative-time"));
    recorder->setFilePrefix("rel");
    recorder->start();
    tick(0);
    tick(1000);
    tick(1400);
    tick(700);
    recorder->stop();
    QStringList times;
    for (const QString &line : readLines(recorder->fileName()))
        times << line.section(',', 0, 0);
    EXPECT_EQ(times, (QStringList{"0", "1", "2", "3"}));
}

TEST_F(RecorderTest, AnIntervalOfFiveSecondsGivesARowEveryFifthTick)
{
    TsRecorderLogSettings log;
    log.setInterval(5000);
    useStandardProfile(csvSettings('\t', false, "relative-time"), log);
    EXPECT_EQ(recorder->captureInterval(), 4500);
    recorder->setFilePrefix("five");
    QSignalSpy samples(recorder, &TsExperimentRecorder::newSample);
    recorder->start();
    for (int i = 0; i < 16; ++i)
        tick(i == 0 ? 0 : 1000);
    recorder->stop();
    QStringList times;
    for (const QString &line : readLines(recorder->fileName()))
        times << line.section('\t', 0, 0);
    EXPECT_EQ(times, (QStringList{"0", "5", "10", "15"}));
    EXPECT_EQ(samples.count(), 4);
    EXPECT_EQ(recorder->recording().sampleCount, 4);

    // Intervals below a second are a second.
    log.setInterval(200);
    recorder->setLogSettings(log);
    EXPECT_EQ(recorder->captureInterval(), 500);
}

TEST_F(RecorderTest, WithoutAPrefixNothingIsWrittenButEverythingElseHappens)
{
    useStandardProfile(csvSettings());
    QSignalSpy started(recorder, &TsExperimentRecorder::started);
    QSignalSpy samples(recorder, &TsExperimentRecorder::newSample);
    QSignalSpy status(recorder, &TsExperimentRecorder::recordingStatus);
    QSignalSpy errors(recorder, &TsExperimentRecorder::fileError);
    QList<QVariantList> seen;
    QObject::connect(recorder, &TsExperimentRecorder::newSample,
                     [&](TsExperimentRecording::Sample *s) {
                         seen = s->values;
                         EXPECT_EQ(s->timestamp, wall);
                     });
    recorder->start();
    tick();
    tick(65000);
    recorder->updateStatus();
    recorder->stop();
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(samples.count(), 2);
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status.at(1).at(0).toString(), "01m 06s");
    EXPECT_EQ(status.at(1).at(1).toInt(), 2);
    EXPECT_EQ(errors.count(), 0);
    EXPECT_TRUE(recorder->fileName().isEmpty());
    EXPECT_TRUE(
        QDir(folder.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    ASSERT_EQ(seen.size(), 3);
    EXPECT_DOUBLE_EQ(seen[0][0].toDouble(), 25.0);
    EXPECT_EQ(seen[0][2], QVariant(true));
    EXPECT_FALSE(seen[2][0].isValid()) << "a channel without a device";
}

// A controller that stops delivering mid-recording (unplugged, hung, answering garbage): from the
// tick of the loss until the scan drops the device and on to its return, no row carries a value of
// it, and its values come back in the same columns.
class RecorderLossTest : public RecorderTest, public ::testing::WithParamInterface<const char *>
{};

TEST_P(RecorderLossTest, NoRowCarriesAValueFromTheLossUntilTheControllerIsBack)
{
    useStandardProfile(csvSettings(';', true, "relative-time"));
    recorder->setFilePrefix("loss");
    recorder->start();
    tick(0);
    tick();
    plug("", "", GetParam());
    for (int away = 0; away < 3; ++away) {
        tick();
        ASSERT_TRUE(experiment->channel(stage)->isConnected()) << "not yet dropped by a scan";
        EXPECT_EQ(tsChannelStateName(experiment->channel(stage)->state()),
                  QStringLiteral("offline"));
    }
    devices.populateDevices();
    tick();
    plug();
    devices.populateDevices();
    tick();
    tick();
    recorder->stop();
    const QStringList lines = readLines(recorder->fileName());
    ASSERT_EQ(lines.size(), 1 + 8) << "the header once, one row a tick";
    for (int row = 1; row <= 8; ++row) {
        const bool away = row >= 3 && row <= 6;
        EXPECT_EQ(lines[row], QString::number(row - 1) +
                                  (away ? ";;;;;;;;;;" : ";25.0;37.0;On;25.0;37.0;On;;;;"));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, RecorderLossTest,
                         ::testing::Values("present=\"0\"", "silent=\"1\"", "corrupt=\"1\""));

// A controller that reports a fault keeps answering but its channels are not ready: their loop
// reads false without being read, which must not reach the file as "Off".
TEST_F(RecorderTest, AFaultedControllersChannelsAreEmptyUntilItIsOpenedAnew)
{
    useStandardProfile(csvSettings(';', false, "relative-time"));
    recorder->setFilePrefix("fault");
    recorder->start();
    tick(0);
    plug("", "", "deviceStatus=\"0x81\"");
    tick();
    tick();
    unplug();
    devices.populateDevices();
    plug();
    devices.populateDevices();
    tick();
    recorder->stop();
    EXPECT_EQ(readLines(recorder->fileName()),
              QStringList({"0;25.0;37.0;On;25.0;37.0;On;;;;", "1;;;;;;;;;;", "2;;;;;;;;;;",
                           "3;25.0;37.0;On;25.0;37.0;On;;;;"}))
        << "the tick that finds the fault included: what a faulted controller gave is no value";
}

TEST_F(RecorderTest, AnOfflineChannelsLastValuesNeverReappearInARow)
{
    useStandardProfile(csvSettings(';', false, "relative-time"));
    recorder->setFilePrefix("held");
    recorder->start();
    tick(0);
    // The values sampled a tick ago are still held; the state says they are no longer delivered.
    experiment->channel(stage)->setStatus(TsChannelState::Offline, QString(), QString());
    monotonic += 1000;
    recorder->record();
    recorder->stop();
    EXPECT_EQ(readLines(recorder->fileName()).value(1), "1;;;;25.0;37.0;On;;;;");
}

// A folder that cannot take the file refuses the start, by hand or with the dynamic experiment,
// naming the folder and giving the system's reason. Root writes where permissions forbid it, so
// the folders here are unwritable for everyone: a file standing where the folder should be, and a
// read-only file system (mounted where that is allowed).
struct UnwritableFolder
{
    const char *name;
    const char *prefix;
    const char *folder; // below the log folder
    int error;          // the system's reason
    bool readOnlyDisk;
};

void PrintTo(const UnwritableFolder &row, std::ostream *os)
{
    *os << row.name;
}

class RecorderFolderTest : public RecorderTest,
                           public ::testing::WithParamInterface<UnwritableFolder>
{};

TEST_P(RecorderFolderTest, RefusesToStartWithTheFolderAndTheSystemsReason)
{
    const UnwritableFolder row = GetParam();
    QFile blocker(folder.path() + "/plate");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QDir(folder.path()).mkdir("ro");
    std::unique_ptr<SmallTmpfs> disk;
    if (row.readOnlyDisk) {
        disk = std::make_unique<SmallTmpfs>(folder.path() + "/ro", 64, SmallTmpfs::ReadOnly);
        if (!disk->isMounted())
            GTEST_SKIP() << disk->skipReason().toStdString();
    }
    useStandardProfile(csvSettings());
    recorder->setFilePrefix(row.prefix);
    const QString where = QDir::toNativeSeparators(folder.path() + "/" + row.folder);
    const QString reason = QString::fromLocal8Bit(std::strerror(row.error));
    const QxResult check = recorder->checkFolder();
    ASSERT_TRUE(check.isError());
    EXPECT_TRUE(check.message().contains("'" + where + "'")) << qPrintable(check.message());
    EXPECT_TRUE(check.message().endsWith(": " + reason)) << qPrintable(check.message());

    QSignalSpy errors(recorder, &TsExperimentRecorder::fileError);
    QSignalSpy started(recorder, &TsExperimentRecorder::started);
    recorder->start();
    EXPECT_FALSE(recorder->isRunning()) << "no recording that only looks kept";
    EXPECT_EQ(started.count(), 0);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toString(), check.message());
    EXPECT_EQ(recorder->fileErrorString(), check.message());
    EXPECT_TRUE(recorder->fileName().isEmpty());

    // A dynamic experiment that starts the recorder with it is refused the same way.
    TsExperimentScript *script = experiment->script();
    TsExperimentScriptAction *action =
        TsExperimentScriptActionType::create(QStringLiteral("setChannelValue"), script);
    action->setParameter(QStringLiteral("channel.id"), stage);
    action->setParameter(QStringLiteral("channel.value"), 30.0);
    action->setActive(true);
    action->setTime(60000);
    ASSERT_TRUE(script->setActions({action}));
    delete action;
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    recorder->setLogSettings(log);
    EXPECT_FALSE(experiment->startDynamic());
    EXPECT_FALSE(script->isRunning());
    EXPECT_FALSE(recorder->isRunning());
    script->clear();

    // A writable folder starts, and the refusal is forgotten.
    recorder->setFilePrefix("good");
    recorder->start();
    EXPECT_TRUE(recorder->isRunning());
    EXPECT_FALSE(recorder->hasFileError());
    recorder->stop();
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RecorderFolderTest,
    ::testing::Values(
        UnwritableFolder{"FileInTheWay", "plate/run", "plate", ENOTDIR, false},
        UnwritableFolder{"FileInTheWayOfASubFolder", "plate/a/run", "plate/a", ENOTDIR, false},
        UnwritableFolder{"ReadOnlyDisk", "ro/run", "ro", EROFS, true},
        UnwritableFolder{"SubFolderOnAReadOnlyDisk", "ro/new/run", "ro/new", EROFS, true}),
    [](const ::testing::TestParamInfo<UnwritableFolder> &info) { return info.param.name; });

TEST_F(RecorderTest, AVetoKeepsTheRecorderIdleAndSilent)
{
    useStandardProfile(csvSettings());
    recorder->setFilePrefix("veto");
    QSignalSpy started(recorder, &TsExperimentRecorder::started);
    QSignalSpy status(recorder, &TsExperimentRecorder::recordingStatus);
    auto veto =
        QObject::connect(recorder, &TsExperimentRecorder::starting, [](bool &ok) { ok = false; });
    recorder->start();
    EXPECT_FALSE(recorder->isRunning());
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(status.count(), 0);
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
    QObject::disconnect(veto);
    QSignalSpy stopped(recorder, &TsExperimentRecorder::stopped);
    recorder->stop();
    EXPECT_EQ(stopped.count(), 0) << "stop has no effect unless running";
}

TEST_F(RecorderTest, SettingsChangedWhileRunningWaitForTheNextStart)
{
    useStandardProfile(csvSettings('\t'));
    recorder->setFilePrefix("p");
    recorder->start();
    recorder->setCsvSettings(csvSettings(';'));
    TsRecorderLogSettings log;
    log.setInterval(9000);
    recorder->setLogSettings(log);
    EXPECT_EQ(recorder->csvSettings().columnSeparator(), '\t');
    EXPECT_EQ(recorder->logSettings().interval(), 1000);
    recorder->stop();
    recorder->setCsvSettings(csvSettings(';'));
    EXPECT_EQ(recorder->csvSettings().columnSeparator(), ';');
}

TEST_F(RecorderTest, StopModeTwoStopsAfterTheDuration)
{
    TsRecorderLogSettings log;
    log.setStopMode(TsRecorderLogSettings::StopAfter);
    log.setStopAfter(600000);
    useStandardProfile(csvSettings(), log);
    recorder->start();
    EXPECT_EQ(recorder->stopTimeRemaining(), 600000);
    tick(150000);
    EXPECT_EQ(recorder->stopTimeRemaining(), 450000);
    EXPECT_EQ(recorder->elapsedMilliseconds(), 150000);
    recorder->onStopTimeout(); // a timer that fired early is armed again
    EXPECT_TRUE(recorder->isRunning());
    monotonic += 450000;
    QSignalSpy stopped(recorder, &TsExperimentRecorder::stopped);
    recorder->onStopTimeout();
    EXPECT_FALSE(recorder->isRunning());
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_EQ(recorder->stopTimeRemaining(), -1);

    // In any other stop mode the time-out changes nothing.
    log.setStopMode(TsRecorderLogSettings::StopManually);
    recorder->setLogSettings(log);
    recorder->start();
    monotonic += 10000000;
    recorder->onStopTimeout();
    EXPECT_TRUE(recorder->isRunning());
    recorder->stop();
}

TEST(RecorderText, ElapsedTextHasTwoDigitsPerNumber)
{
    EXPECT_EQ(TsExperimentRecorder::elapsedText(0), "00m 00s");
    EXPECT_EQ(TsExperimentRecorder::elapsedText(150999), "02m 30s");
    EXPECT_EQ(TsExperimentRecorder::elapsedText(3600000 + 62000), "01h 01m 02s");
    EXPECT_EQ(TsExperimentRecorder::elapsedText(86400000LL * 3 + 3723000), "03d 01h 02m 03s");
    EXPECT_EQ(TsExperimentRecorder::elapsedText(86400000LL * 40), "40d 00h 00m 00s")
        << "beyond 24.8 days the count goes on";
}

// The child half of the crash test: records a row every few milliseconds into the folder named by
// the environment and says on standard output how many rows it has written, until it is killed.
TEST(RecorderChild, RecordUntilKilled)
{
    const QString target = qEnvironmentVariable("TESSARO_RECORDER_CHILD");
    if (target.isEmpty())
        GTEST_SKIP() << "run only as the child of the crash test";
    TsDeviceManager devices;
    TsExperimentManager manager(&devices);
    TsExperiment *experiment = manager.currentExperiment();
    experiment->stopSampling();
    TsProfile profile;
    profile.setChannels({entry("999X1:1", "A"), entry("999X1:2", "B")});
    ASSERT_TRUE(experiment->setProfile(profile).isSuccess());
    TsExperimentRecorder *recorder = experiment->recorder();
    qint64 now = 0;
    recorder->setClocks([&] { return now; }, {});
    recorder->setCsvSettings(csvSettings(';', true, "relative-time"));
    recorder->setLogFolder(target);
    recorder->setFilePrefix("crash");
    recorder->start();
    ASSERT_FALSE(recorder->fileName().isEmpty());
    for (int row = 1; row < 1000000; ++row) {
        now += 1000;
        experiment->sampleChannels();
        std::printf("row %d\n", row);
        std::fflush(stdout);
        QThread::msleep(2);
    }
}

TEST(RecorderCrash, AKilledRecordingKeepsEveryRowItHadWritten)
{
    QTemporaryDir target;
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    startTestCaseAsChild(child, "TESSARO_RECORDER_CHILD", target.path(),
                         "RecorderChild.RecordUntilKilled");
    ASSERT_TRUE(child.waitForStarted(10000));
    int reported = 0;
    QByteArray out;
    while (reported < 40 && child.state() == QProcess::Running) {
        child.waitForReadyRead(10000);
        out += child.readAllStandardOutput();
        const int at = out.lastIndexOf("row ");
        if (at >= 0) {
            const int end = out.indexOf('\n', at);
            if (end > at)
                reported = out.mid(at + 4, end - at - 4).toInt();
        }
    }
    ASSERT_GE(reported, 40) << out.toStdString() << child.readAllStandardError().toStdString();
    child.kill();
    ASSERT_TRUE(child.waitForFinished(10000));

    const QStringList files = QDir(target.path()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile file(QDir(target.path()).filePath(files.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QList<QByteArray> lines = content.split('\n');
    // Only the row being written when the process died may be incomplete: it is what follows the
    // last line end, and is dropped here.
    lines.removeLast();
    ASSERT_GE(lines.size(), 1 + reported) << "header and every reported row";
    EXPECT_EQ(lines[0], "\"Timestamp\";\"A: Actual Value\";\"A: Setpoint Value\";\"A: Control\";"
                        "\"B: Actual Value\";\"B: Setpoint Value\";\"B: Control\";");
    for (int row = 1; row < lines.size(); ++row)
        EXPECT_EQ(lines[row], QByteArray::number(row) + ";;;;;;;") << row;
}

// A recording into "P" on a small disk of its own (where mounting one is allowed).
class SmallDiskTest : public RecorderTest
{
protected:
    void SetUp() override
    {
        if (!disk.isMounted())
            GTEST_SKIP() << disk.skipReason().toStdString();
    }
    void startWithTwoRows(const TsRecorderCSVSettings &csv)
    {
        useStandardProfile(csv);
        recorder->setFilePrefix("P");
        recorder->start();
        tick();
        tick();
        ASSERT_EQ(recorder->recording().sampleCount, 2);
    }
    // Fills the disk and ticks until a row does not fit: the file's last page still takes a few.
    void tickUntilTheDiskIsFull()
    {
        ASSERT_TRUE(disk.fill());
        for (int i = 0; i < 500 && errors.isEmpty(); ++i)
            tick();
        ASSERT_EQ(errors.count(), 1);
    }

    SmallTmpfs disk{folder.path(), 64};
    QSignalSpy errors{recorder, &TsExperimentRecorder::fileError};
};

TEST_F(SmallDiskTest, AFullDiskIsReportedAndNoRowIsCountedThatIsNotInTheFile)
{
    QSignalSpy samples(recorder, &TsExperimentRecorder::newSample);
    ASSERT_NO_FATAL_FAILURE(startWithTwoRows(csvSettings()));
    ASSERT_NO_FATAL_FAILURE(tickUntilTheDiskIsFull());
    EXPECT_TRUE(recorder->hasFileError());
    EXPECT_TRUE(errors.at(0).at(0).toString().contains("space"))
        << errors.at(0).at(0).toString().toStdString();
    const int counted = recorder->recording().sampleCount;
    tick();
    tick();
    EXPECT_EQ(recorder->recording().sampleCount, counted) << "rows that went nowhere";
    EXPECT_EQ(samples.count(), counted + 3) << "graphs and status go on";
    recorder->stop();
    EXPECT_EQ(errors.count(), 1) << "said once";

    // Every counted row is whole in the file, and nothing broken follows them.
    QFile file(recorder->fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.endsWith('\n'));
    EXPECT_EQ(content.count('\n'), 1 + counted) << "the header and the counted rows";
}

// The disk filled and freed during a recording: the file is tried again every few seconds, not on
// every tick; rows resume whole, the gap is one row of empty fields at the time of the first row
// lost, the error clears, and the counter counts exactly the rows in the file.
TEST_F(SmallDiskTest, AfterAFullDiskRowsResumeWithTheGapMarked)
{
    QSignalSpy resumed(recorder, &TsExperimentRecorder::fileResumed);
    ASSERT_NO_FATAL_FAILURE(startWithTwoRows(csvSettings(';', true, "relative-time")));
    ASSERT_NO_FATAL_FAILURE(tickUntilTheDiskIsFull());
    const qint64 firstLost = recorder->elapsedMilliseconds() / 1000;

    disk.release();
    for (int i = 1; i < TsExperimentRecorder::FileRetryInterval / 1000; ++i) {
        tick();
        EXPECT_TRUE(recorder->hasFileError()) << "tried again only after a few seconds";
    }
    EXPECT_EQ(resumed.count(), 0);
    tick();
    EXPECT_EQ(resumed.count(), 1);
    EXPECT_FALSE(recorder->hasFileError());
    const qint64 resumedAt = recorder->elapsedMilliseconds() / 1000;
    tick();
    tick();
    recorder->stop();
    EXPECT_EQ(errors.count(), 1);

    const QStringList lines = readLines(recorder->fileName());
    ASSERT_GE(lines.size(), 5);
    EXPECT_TRUE(lines.first().startsWith("\"Timestamp\";"));
    const QString gapRow = QString::number(firstLost) + QString(10, ';');
    int gaps = 0;
    QList<qint64> seconds;
    for (int i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines.at(i).count(';'), 10) << "whole rows only: " << qPrintable(lines.at(i));
        if (lines.at(i) == gapRow) {
            ++gaps;
            continue;
        }
        seconds << lines.at(i).section(';', 0, 0).toLongLong();
    }
    EXPECT_EQ(gaps, 1);
    EXPECT_EQ(recorder->rowsWritten(), seconds.size()) << "the counter counts the rows in the file";
    EXPECT_EQ(recorder->recording().sampleCount, seconds.size());
    // Every row before the gap, none during it, every one from the resumption on.
    QList<qint64> expected;
    for (qint64 s = 1; s < firstLost; ++s)
        expected << s;
    for (qint64 s = resumedAt; s <= resumedAt + 2; ++s)
        expected << s;
    EXPECT_EQ(seconds, expected);
    EXPECT_EQ(lines.indexOf(gapRow), int(firstLost)) << "the gap sits where the rows are missing";
}

} // namespace
