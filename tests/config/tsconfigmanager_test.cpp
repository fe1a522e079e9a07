// The configuration manager inside the real core: "Settings.xml", the user's settings and style,
// profiles handed to the experiment and the controllers, dynamic experiments handed to the script,
// and the three levels of recorder settings. One core per process, so the tests leave no user
// current; what happens at the program's end is watched in a child process.
#include "device/devicetestsupport.h"
#include "support/smalltmpfs.h"
#include "testenvironment.h"

#include "config/tsconfigmanager.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"

#include <QApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

const bool simulationReady = (devicetest::simulation(), true);

const QString serial = QString::fromStdString(devicetest::freshHeatSerial());
const QString stage = serial + ":1";
const QString lid = serial + ":2";

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

TsProfile::Channel entry(const QString &id, double setpoint, bool control, const QString &unit)
{
    TsProfile::Channel channel;
    channel.id = id;
    channel.name = id;
    channel.setpoint = setpoint;
    channel.control = control;
    channel.unit = unit;
    return channel;
}

TsRecorderCSVSettings csv(char separator, const QString &format = QString())
{
    TsRecorderCSVSettings settings;
    settings.setEnabled(true);
    settings.setColumnSeparator(quint8(separator));
    settings.setDateTimeFormat(format);
    return settings;
}

void writeSettings(const QString &user, const QString &profile, const QString &dynamicExp)
{
    writeFile(TsCore::settingsFile(),
              QStringLiteral("<?xml version=\"1.0\" standalone=\"yes\"?>\n<TsSettings>"
                             "<LastUser name=\"%1\"/><LastProfile name=\"%2\"/>"
                             "<LastDynamicExperiment name=\"%3\"/></TsSettings>\n")
                  .arg(user, profile, dynamicExp)
                  .toUtf8());
}

class ConfigTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(simulationReady);
        devicetest::simulation().write(devicetest::heatUnit(serial.toStdString()));

        // User "alice": does not apply values at start, CSV with ';' at the user level, dark
        // style. User "carol": applies values at start and on a profile change, light style.
        TsCore::makeUserFolders("alice");
        TsCore::makeUserFolders("bob");
        TsCore::makeUserFolders("carol");
        TsUserSettings settings;
        settings.setFlags(TsUserSettings::ApplyValuesOnProfileChange);
        settings.setCsvSettings(csv(';'));
        settings.setLogPath("/some/log/path");
        ASSERT_TRUE(settings.save(TsCore::userDataFile("alice")).isSuccess());
        TsUserSettings carol;
        carol.setFlags(TsUserSettings::ApplyValuesOnStart |
                       TsUserSettings::ApplyValuesOnProfileChange);
        carol.setStyle(1);
        ASSERT_TRUE(carol.save(TsCore::userDataFile("carol")).isSuccess());

        // P1: both channels, the lid without a unit, CSV on, a prefix. P2: a missing channel,
        // CSV off, no prefix.
        TsProfile p1;
        p1.setName("P1");
        p1.setValid(true);
        p1.setChannels({entry(stage, 36.0, false, "°C"), entry(lid, 30.0, false, "")});
        p1.setCsvSettings(csv(',', "relative-time"));
        TsRecorderLogSettings log;
        log.setInterval(5000);
        p1.setLogSettings(log);
        p1.setLogFilePrefix("p1prefix");
        ASSERT_TRUE(p1.save(TsCore::profileFile("alice", "P1")).isSuccess());
        ASSERT_TRUE(p1.save(TsCore::profileFile("carol", "P1")).isSuccess());
        TsProfile p2;
        p2.setName("P2");
        p2.setValid(true);
        p2.setChannels({entry("999X1:1", 20.0, true, "°C"), entry(lid, 35.0, true, "°C")});
        ASSERT_TRUE(p2.save(TsCore::profileFile("alice", "P2")).isSuccess());

        writeFile(TsCore::dynamicExpFile("alice", "D1"),
                  "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
                  "<TsDynamicExperiment name=\"ignored\"><ScriptActions>"
                  "<ScriptAction type=\"setChannelLoopCtrl\" comment=\"c\" time=\"1000\" "
                  "active=\"1\"><ActionParameters>"
                  "<ActionParameter name=\"channel.id\" type=\"QString\" value=\"x:1\"/>"
                  "<ActionParameter name=\"channel.value\" type=\"bool\" value=\"true\"/>"
                  "</ActionParameters></ScriptAction></ScriptActions></TsDynamicExperiment>\n");

        // The program's start: the last state comes back from the event loop, not while the
        // core is being made.
        writeSettings("alice", "P1", "D1");
        TsCore::instance();
        EXPECT_TRUE(TsCore::currentUser().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(TsCore::currentUser(), QString("alice"), 5000);
        EXPECT_EQ(TsCore::currentProfile(), "P1");
        EXPECT_EQ(TsCore::currentDynamicExp(), "D1");
        EXPECT_EQ(experiment()->script()->actionCount(), 1);
        TsCore::setCurrentUser(QString());
        QFile::remove(TsCore::settingsFile());

        TsDeviceManager *devices = TsCore::deviceManager();
        ASSERT_TRUE(devices->loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
        devices->populateDevices();
        ASSERT_NE(devices->channel(stage), nullptr);
        experiment()->stopSampling();
    }

    void TearDown() override
    {
        experiment()->stopRecorder();
        TsCore::setCurrentUser(QString());
        TsCore::setApplyValues(true);
    }

    static TsConfigManager *config() { return TsCore::configManager(); }
    static TsExperiment *experiment() { return TsCore::experimentManager()->currentExperiment(); }
    static TsDeviceChannel *device(const QString &id)
    {
        return TsCore::deviceManager()->channel(id);
    }
    // Puts the simulated controller's setpoints and loops back to the file's values.
    static void resetController()
    {
        for (const QString &id : {stage, lid}) {
            device(id)->setValue(TsDeviceChannel::SetpointValue, 37.0);
            device(id)->setValue(TsDeviceChannel::LoopControl, true);
        }
    }
    static double setpoint(const QString &id)
    {
        return device(id)->value(TsDeviceChannel::SetpointValue).toDouble();
    }
    static bool loop(const QString &id)
    {
        return device(id)->value(TsDeviceChannel::LoopControl).toBool();
    }
};

TEST_F(ConfigTest, TheCoreOwnsTheManagersInOrder)
{
    const QObjectList children = TsCore::instance()->children();
    const int devices = children.indexOf(TsCore::deviceManager());
    const int experiments = children.indexOf(TsCore::experimentManager());
    const int configuration = children.indexOf(config());
    ASSERT_GE(devices, 0);
    EXPECT_LT(devices, experiments);
    EXPECT_LT(experiments, configuration);
    EXPECT_EQ(TsCore::experimentManager()->deviceManager(), TsCore::deviceManager());
}

TEST_F(ConfigTest, SavingWithoutAUserWritesThreeEmptyNames)
{
    config()->saveSettings();
    QFile file(TsCore::settingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("<?xml version=\"1.0\" standalone=\"yes\"?>")) << text.data();
    QDomDocument document;
    ASSERT_TRUE(document.setContent(text));
    const QDomElement root = document.documentElement();
    EXPECT_EQ(root.tagName(), "TsSettings");
    QStringList tags;
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        tags << e.tagName();
        EXPECT_TRUE(e.hasAttribute("name"));
        EXPECT_EQ(e.attribute("name"), "");
    }
    EXPECT_EQ(tags, (QStringList{"LastUser", "LastProfile", "LastDynamicExperiment"}));
}

TEST_F(ConfigTest, RestoresTheLastUserProfileAndDynamicExperiment)
{
    resetController();
    writeSettings("alice", "P1", "D1");
    config()->loadSettings();
    EXPECT_EQ(TsCore::currentUser(), "alice");
    EXPECT_EQ(TsCore::currentProfile(), "P1");
    EXPECT_EQ(TsCore::currentDynamicExp(), "D1");
    EXPECT_TRUE(TsCore::applyValues()) << "back on after the start-up profile";

    EXPECT_EQ(config()->userSettings().logPath(), "/some/log/path");
    EXPECT_EQ(experiment()->recorder()->logFolder(), "/some/log/path");
    EXPECT_EQ(config()->profile().name(), "P1");
    ASSERT_EQ(experiment()->channels().size(), 2);
    EXPECT_EQ(experiment()->channels()[0]->id(), stage);
    EXPECT_TRUE(experiment()->channels()[0]->isConnected());
    EXPECT_EQ(experiment()->recorder()->logSettings().interval(), 5000);

    TsExperimentScript *script = experiment()->script();
    EXPECT_EQ(script->name(), "D1");
    EXPECT_EQ(script->actionCount(), 1);

    EXPECT_DOUBLE_EQ(setpoint(stage), 37.0) << "bit 0 clear: nothing applied at start";
    EXPECT_TRUE(loop(stage));

    // Saved back as it is now.
    config()->saveSettings();
    QDomDocument document;
    QFile file(TsCore::settingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(document.setContent(&file));
    EXPECT_EQ(document.documentElement().firstChildElement("LastProfile").attribute("name"), "P1");
    EXPECT_EQ(
        document.documentElement().firstChildElement("LastDynamicExperiment").attribute("name"),
        "D1");

    // No dynamic experiment: the script is emptied.
    TsCore::setCurrentDynamicExp(QString());
    EXPECT_EQ(script->name(), "");
    EXPECT_EQ(script->actionCount(), 0);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(ConfigTest, BrokenOrForeignSettingsFilesRestoreNothingAndAreKeptAside)
{
    const QString settings = TsCore::settingsFile();
    QFile::remove(settings + ".damaged");
    QFile::remove(settings + ".damaged-2");
    QSignalSpy errors(config(), &TsConfigManager::fileError);
    writeFile(settings, "<TsSettings><LastUser name=\"alice\"");
    devicetest::MessageCapture messages;
    config()->loadSettings();
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
    EXPECT_EQ(messages.count("(line="), 1);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_TRUE(errors.at(0).at(0).toString().contains("line 1"))
        << errors.at(0).at(0).toString().toStdString();
    EXPECT_FALSE(QFile::exists(settings)) << "the fresh file saved at exit replaces nothing";
    EXPECT_EQ(readFile(settings + ".damaged"), "<TsSettings><LastUser name=\"alice\"");

    writeFile(settings, "<Other><LastUser name=\"alice\"/></Other>");
    config()->loadSettings();
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
    EXPECT_EQ(messages.count("invalid root tag"), 1);
    EXPECT_EQ(errors.count(), 2);
    EXPECT_EQ(readFile(settings + ".damaged-2"), "<Other><LastUser name=\"alice\"/></Other>");

    writeSettings("nobody", "P1", "D1");
    config()->loadSettings();
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
    QFile::remove(settings);
    config()->loadSettings();
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
    EXPECT_EQ(errors.count(), 2) << "an unknown user or no file at all is nothing damaged";
}

TEST_F(ConfigTest, DamagedUserDataIsKeptAsideAndDefaultsUsed)
{
    TsCore::makeUserFolders("dora");
    TsCore::instance()->reloadUsers();
    const QString file = TsCore::userDataFile("dora");
    writeFile(file, "\x01garbage");
    QSignalSpy errors(config(), &TsConfigManager::fileError);
    ASSERT_TRUE(TsCore::setCurrentUser("dora").isSuccess());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_TRUE(errors.at(0).at(0).toString().contains(".damaged"));
    EXPECT_EQ(readFile(file + ".damaged"), "\x01garbage");
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(config()->userSettings().flags(), TsUserSettings().flags());
}

TEST_F(ConfigTest, AnUnreadableProfileIsReportedWithLineAndColumnAndLeftAsItIs)
{
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    const QString file = TsCore::profileFile("alice", "Broken");
    const QByteArray content = "<?xml version=\"1.0\"?>\n<TsProfile name=\"Broken\">\n<Channels>";
    writeFile(file, content);
    TsCore::instance()->reloadProfiles();
    QSignalSpy errors(config(), &TsConfigManager::fileError);
    ASSERT_TRUE(TsCore::setCurrentProfile("Broken").isSuccess());
    ASSERT_EQ(errors.count(), 1);
    const QString message = errors.at(0).at(0).toString();
    EXPECT_TRUE(message.startsWith("Bad profile 'Broken.tsp'")) << message.toStdString();
    EXPECT_TRUE(message.contains("(line 3, column")) << message.toStdString();
    EXPECT_TRUE(experiment()->channels().isEmpty());
    EXPECT_EQ(readFile(file), content);

    // An empty profile, as a full disk used to leave one.
    writeFile(file, "");
    TsCore::setCurrentProfile(QString());
    ASSERT_TRUE(TsCore::setCurrentProfile("Broken").isSuccess());
    ASSERT_EQ(errors.count(), 2);
    EXPECT_TRUE(errors.at(1).at(0).toString().contains("line 1"))
        << errors.at(1).at(0).toString().toStdString();
    EXPECT_TRUE(QFile::exists(file));
    QFile::remove(file);
}

TEST_F(ConfigTest, AnUnknownSetpointIsNeitherStoredNorApplied)
{
    resetController();
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    TsProfile profile;
    profile.setName("NoSetpoint");
    profile.setValid(true);
    profile.setChannels({entry(stage, std::nan(""), false, "°C")});
    const QString file = TsCore::profileFile("alice", "NoSetpoint");
    ASSERT_TRUE(profile.save(file).isSuccess());
    EXPECT_FALSE(readFile(file).contains("setpoint=")) << readFile(file).constData();
    TsCore::instance()->reloadProfiles();
    devicetest::MessageCapture messages;
    ASSERT_TRUE(TsCore::setCurrentProfile("NoSetpoint").isSuccess());
    EXPECT_TRUE(std::isnan(config()->profile().channels().at(0).setpoint));
    EXPECT_DOUBLE_EQ(setpoint(stage), 37.0) << "the controller's own setpoint stays";
    EXPECT_FALSE(loop(stage)) << "the rest of the entry is applied";
    EXPECT_EQ(messages.count("setValue"), 0);
    EXPECT_EQ(config()->profile(), TsProfile(config()->profile())) << "equal to itself";
    TsCore::setCurrentProfile(QString());
    QFile::remove(file);
    resetController();
}

TEST_F(ConfigTest, SettingsThatDoNotFitOnTheDiskKeepTheOldFileAndAreReported)
{
    // The disk hides the data root's users while it is mounted; they are listed again after.
    struct ListUsersAgain
    {
        ~ListUsersAgain() { TsCore::instance()->reloadUsers(); }
    } listUsersAgain;
    SmallTmpfs disk(TsCore::dataRoot(), 64);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    ASSERT_TRUE(TsCore::makeUserFolders("alice"));
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    ASSERT_TRUE(config()->saveSettings().isSuccess());
    const QByteArray before = readFile(TsCore::settingsFile());
    ASSERT_TRUE(before.contains("alice"));
    ASSERT_TRUE(disk.fill());

    QSignalSpy errors(config(), &TsConfigManager::fileError);
    TsCore::setCurrentUser(QString());
    const QxResult result = config()->saveSettings();
    EXPECT_TRUE(result.isError());
    ASSERT_EQ(errors.count(), 1);
    const QString message = errors.at(0).at(0).toString();
    EXPECT_TRUE(message.contains("Settings.xml") && message.contains("space"))
        << message.toStdString();
    EXPECT_EQ(readFile(TsCore::settingsFile()), before);
}

TEST_F(ConfigTest, ChoosingAProfileAppliesItsValuesWhereItCan)
{
    resetController();
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("P1").isSuccess());
    EXPECT_DOUBLE_EQ(setpoint(stage), 36.0);
    EXPECT_FALSE(loop(stage));
    EXPECT_DOUBLE_EQ(setpoint(lid), 37.0) << "an entry without a unit is skipped";
    EXPECT_TRUE(loop(lid));

    // A missing channel is skipped, the rest still applied.
    ASSERT_TRUE(TsCore::setCurrentProfile("P2").isSuccess());
    EXPECT_DOUBLE_EQ(setpoint(lid), 35.0);

    // The views clear applyValues when the user does not want values applied.
    resetController();
    TsCore::setApplyValues(false);
    ASSERT_TRUE(TsCore::setCurrentProfile("P1").isSuccess());
    EXPECT_DOUBLE_EQ(setpoint(stage), 37.0);
    EXPECT_EQ(experiment()->channels().size(), 2) << "the experiment follows all the same";
    resetController();
}

TEST_F(ConfigTest, RecorderSettingsComeFromThreeLevels)
{
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    EXPECT_EQ(config()->csvSettings(TsConfigManager::UserLevel).columnSeparator(), ';');
    EXPECT_EQ(config()->logSettings(TsConfigManager::TemporaryLevel), TsRecorderLogSettings())
        << "no log settings at any level: the defaults";
    EXPECT_EQ(config()->logSettings(2).interval(), 1000);
    EXPECT_EQ(config()->csvSettings(-1), TsRecorderCSVSettings());
    EXPECT_EQ(config()->logFilePrefix(2), "");

    ASSERT_TRUE(TsCore::setCurrentProfile("P1").isSuccess());
    EXPECT_EQ(config()->csvSettings(2).columnSeparator(), ',');
    EXPECT_EQ(config()->csvSettings(0).columnSeparator(), ';');
    EXPECT_EQ(config()->logSettings(2).interval(), 5000);
    EXPECT_EQ(config()->logFilePrefix(2), "p1prefix");

    // A profile with CSV off does not override the user's CSV settings.
    ASSERT_TRUE(TsCore::setCurrentProfile("P2").isSuccess());
    EXPECT_EQ(config()->csvSettings(TsConfigManager::ProfileLevel).columnSeparator(), ';');
    EXPECT_EQ(config()->csvSettings(TsConfigManager::TemporaryLevel).columnSeparator(), ';');
    EXPECT_EQ(config()->logFilePrefix(2), "") << "no prefix in P2";
    EXPECT_FALSE(config()->hasLogFilePrefix(1));
}

TEST_F(ConfigTest, TemporarySettingsSurviveTheSameProfileAndGoWithAnother)
{
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("P1").isSuccess());
    config()->setCsvSettings(2, csv('\t', "hh:mm"));
    TsRecorderLogSettings log;
    log.setInterval(2000);
    config()->setLogSettings(2, log);
    config()->setLogFilePrefix(2, "temp");

    ASSERT_TRUE(TsCore::setCurrentProfile("P1").isSuccess());
    EXPECT_EQ(config()->csvSettings(2).columnSeparator(), '\t');
    EXPECT_EQ(config()->logSettings(2).interval(), 2000);
    EXPECT_EQ(config()->logFilePrefix(2), "temp");
    EXPECT_EQ(config()->logFilePrefix(1), "p1prefix");

    // The core announces an empty profile and then the same one on a reload: still kept.
    TsCore::instance()->reloadProfiles();
    EXPECT_EQ(config()->logFilePrefix(2), "temp");

    ASSERT_TRUE(TsCore::setCurrentProfile("P2").isSuccess());
    EXPECT_FALSE(config()->hasCsvSettings(2));
    EXPECT_FALSE(config()->hasLogSettings(2));
    EXPECT_FALSE(config()->hasLogFilePrefix(2));
    EXPECT_EQ(config()->lastProfileName(), "P2");

    // A user change drops every level but the new user's.
    config()->setLogFilePrefix(2, "again");
    ASSERT_TRUE(TsCore::setCurrentUser("bob").isSuccess());
    EXPECT_FALSE(config()->hasLogFilePrefix(2));
    EXPECT_FALSE(config()->hasLogSettings(1));
    EXPECT_TRUE(config()->hasCsvSettings(0));
    EXPECT_EQ(config()->csvSettings(2), TsRecorderCSVSettings()) << "bob has no settings file";
}

TEST_F(ConfigTest, AProfileChangeWhileRecordingLeavesTheExperimentAlone)
{
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("P1").isSuccess());
    const QList<TsExperimentChannel *> before = experiment()->channels();
    experiment()->recorder()->setFilePrefix(QString());
    experiment()->startRecorder();
    ASSERT_TRUE(experiment()->recorder()->isRunning());
    ASSERT_TRUE(TsCore::setCurrentProfile("P2").isSuccess());
    EXPECT_EQ(experiment()->channels(), before);
    EXPECT_EQ(experiment()->profile().name(), "P1");
    EXPECT_EQ(config()->profile().name(), "P2");
    experiment()->stopRecorder();
}

TEST_F(ConfigTest, ChoosingAnotherDynamicExperimentLeavesARecordingRunning)
{
    // Stop mode "with the dynamic experiment": only the end of a script run may end the recording.
    const QByteArray script = "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
                              "<TsDynamicExperiment><ScriptActions>"
                              "<ScriptAction type=\"setChannelLoopCtrl\" time=\"0\" active=\"1\">"
                              "<ActionParameters>"
                              "<ActionParameter name=\"channel.id\" type=\"QString\" value=\"" +
                              stage.toUtf8() +
                              "\"/><ActionParameter name=\"channel.value\" type=\"bool\" "
                              "value=\"true\"/></ActionParameters></ScriptAction>"
                              "</ScriptActions></TsDynamicExperiment>\n";
    writeFile(TsCore::dynamicExpFile("alice", "D2"), script);
    writeFile(TsCore::dynamicExpFile("alice", "D3"), script);
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("P1").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("D2").isSuccess());
    TsExperimentRecorder *recorder = experiment()->recorder();
    TsRecorderLogSettings log = recorder->logSettings();
    log.setStopMode(TsRecorderLogSettings::StopWithDynamicExp);
    recorder->setLogSettings(log);
    recorder->setFilePrefix(QString());
    qint64 now = 0;
    experiment()->script()->setClock([&now] { return now; });

    experiment()->startRecorder();
    ASSERT_TRUE(experiment()->startDynamic());
    now = 1000;
    experiment()->script()->nextStep();
    ASSERT_FALSE(experiment()->script()->isRunning()) << "its only action ran";
    EXPECT_FALSE(recorder->isRunning()) << "the end of the run ends the recording";

    experiment()->startRecorder();
    ASSERT_TRUE(recorder->isRunning());
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("D3").isSuccess());
    EXPECT_EQ(experiment()->script()->name(), "D3");
    EXPECT_TRUE(recorder->isRunning()) << "no script ran, so none stopped";
    ASSERT_TRUE(TsCore::setCurrentDynamicExp(QString()).isSuccess());
    EXPECT_TRUE(recorder->isRunning());

    experiment()->script()->setClock({});
    experiment()->stopRecorder();
    resetController();
    QFile::remove(TsCore::dynamicExpFile("alice", "D2"));
    QFile::remove(TsCore::dynamicExpFile("alice", "D3"));
}

TEST_F(ConfigTest, OtherUsersDataChangesAreIgnored)
{
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    TsUserSettings bob;
    bob.setLogPath("/bob");
    ASSERT_TRUE(bob.save(TsCore::userDataFile("bob")).isSuccess());
    TsCore::notifyUserDataChanged("bob");
    EXPECT_EQ(config()->userSettings().logPath(), "/some/log/path");
    TsCore::notifyUserDataChanged("alice");
    EXPECT_EQ(config()->userSettings().logPath(), "/some/log/path");
    QFile::remove(TsCore::userDataFile("bob"));
}

TEST_F(ConfigTest, AUserWhoAppliesAtStartGetsTheLastProfilesValuesAndStyle)
{
    resetController();
    writeSettings("carol", "P1", "");
    config()->loadSettings();
    EXPECT_EQ(TsCore::currentProfile(), "P1");
    EXPECT_DOUBLE_EQ(setpoint(stage), 36.0) << "bit 0 set: applied at start";
    EXPECT_FALSE(loop(stage));
    EXPECT_EQ(qApp->property("styleName").toString(), "light");
    ASSERT_TRUE(TsCore::setCurrentUser("alice").isSuccess());
    EXPECT_EQ(qApp->property("styleName").toString(), "dark");
    resetController();
}

// The child half of the exit test: chooses a user and a profile and ends like the program does,
// by returning from main(); it says whether "Settings.xml" existed before that.
TEST(ConfigExitChild, ChooseAndEnd)
{
    if (qEnvironmentVariableIsEmpty("TESSARO_CONFIG_CHILD_HOME"))
        GTEST_SKIP() << "run only as the child of the exit test";
    TsCore::makeUserFolders("dora");
    TsProfile profile;
    profile.setName("Night");
    profile.setValid(true);
    ASSERT_TRUE(profile.save(TsCore::profileFile("dora", "Night")).isSuccess());
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("dora").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("Night").isSuccess());
    std::printf("settings before exit: %s\n",
                QFile::exists(TsCore::settingsFile()) ? "present" : "absent");
    std::fflush(stdout);
}

TEST(ConfigExit, TheLastStateIsSavedWhenTheProgramEnds)
{
    QTemporaryDir home;
    QProcess child;
    startTestCaseAsChild(child, "TESSARO_CONFIG_CHILD_HOME", home.path(),
                         "ConfigExitChild.ChooseAndEnd");
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAllStandardOutput();
    ASSERT_EQ(child.exitCode(), 0) << out.toStdString();
    ASSERT_TRUE(out.contains("settings before exit: absent")) << out.toStdString();

    QFile file(home.path() + "/data/Tessaro/Settings.xml");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "written as the core went";
    QDomDocument document;
    ASSERT_TRUE(document.setContent(&file));
    const QDomElement root = document.documentElement();
    EXPECT_EQ(root.firstChildElement("LastUser").attribute("name"), "dora");
    EXPECT_EQ(root.firstChildElement("LastProfile").attribute("name"), "Night");
    EXPECT_TRUE(root.firstChildElement("LastDynamicExperiment").hasAttribute("name"));
}

} // namespace

// A widget application, so that the user's style sheet is really applied. The child of the exit
// test keeps its home where the parent looks for it.
int main(int argc, char **argv)
{
    const QString childHome = qEnvironmentVariable("TESSARO_CONFIG_CHILD_HOME");
    QTemporaryDir temporaryHome;
    const QString home = childHome.isEmpty() ? temporaryHome.path() : childHome;
    if (childHome.isEmpty() && !temporaryHome.isValid())
        return 2;
    isolateEnvironment(home);
    QApplication app(argc, argv);
    settleIdentityAndDataPath(home);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
