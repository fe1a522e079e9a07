// The recorder view on the real core, recorder and script over the controller simulation, driven by
// clicks: the status line and its progress by stop mode, the prefix question and its file-name
// check, the start together with the dynamic experiment, the session's settings through the
// settings dialog, a folder that cannot be written refused at the start, and a full disk shown in
// the view and on the web page until rows reach the file again.
#include "support/smalltmpfs.h"
#include "support/webtestsupport.h"
#include "viewtestsupport.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsinputdialog.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tsrecordergraphdialog.h"
#include "dialogs/tsrecordersettingsdialog.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "views/tsrecorderview.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace {

using webtest::freePort;

constexpr int WaitMs = 10000;

TsRecorderLogSettings stopAfter(qint64 ms)
{
    TsRecorderLogSettings log;
    log.setStopMode(TsRecorderLogSettings::StopAfter);
    log.setStopAfter(ms);
    return log;
}

class RecorderViewTest : public viewtest::ViewFixture
{
protected:
    RecorderViewTest()
    {
        TsInputDialog::setAnswering(true);
        TsInputDialog::takeAsked();
        TsMessageBox::setAnswering(true);
        TsMessageBox::takeAsked();
        useStandardChannels();
        config()->removeLogFilePrefix(TsConfigManager::TemporaryLevel);
        config()->removeLogSettings(TsConfigManager::TemporaryLevel);
        config()->removeCsvSettings(TsConfigManager::TemporaryLevel);
        recorder()->setLogFolder(logs.path());
        recorder()->setClocks([this] { return monotonic; }, {});
        view.reset(new TsRecorderView);
    }
    ~RecorderViewTest() override
    {
        recorder()->stop();
        experiment()->script()->stop();
        recorder()->setClocks({}, {});
        view.reset();
        TsInputDialog::setAnswering(false);
        TsMessageBox::setAnswering(false);
    }

    static TsConfigManager *config() { return TsCore::configManager(); }
    static TsExperimentRecorder *recorder() { return experiment()->recorder(); }
    QPushButton *button(const char *name) const { return view->findChild<QPushButton *>(name); }
    QString status() const { return view->findChild<QLabel *>("labelStatus")->text(); }
    void clickStart() { QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton); }
    // Sampling ticks a second apart on the recorder's clock as well, so that each one records.
    void record(int count)
    {
        for (int i = 0; i < count; ++i) {
            monotonic += 1000;
            tick();
        }
    }
    // Loads a script whose one action is due `ms` after its start.
    void loadScript(qint64 ms)
    {
        QFile script(logs.path() + "/script.tsx");
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("<?xml version=\"1.0\" standalone=\"yes\"?>\n<TsDynamicExperiment name=\"t\">"
                     "<ScriptActions><ScriptAction type=\"setChannelValue\" comment=\"\" time=\"" +
                     QByteArray::number(ms) +
                     "\" active=\"1\"><ActionParameters>"
                     "<ActionParameter name=\"channel.id\" type=\"QString\" value=\"" +
                     stage.toUtf8() +
                     "\"/><ActionParameter name=\"channel.value\" type=\"double\" value=\"37\"/>"
                     "</ActionParameters></ScriptAction></ScriptActions></TsDynamicExperiment>\n");
        script.close();
        ASSERT_TRUE(experiment()->script()->load(script.fileName()).isSuccess());
    }
    // Moves the recorder's clock on and lets the status timer fire.
    void advance(qint64 ms)
    {
        monotonic += ms;
        recorder()->updateStatus();
    }

    QTemporaryDir logs;
    qint64 monotonic = 1000000;
    QScopedPointer<TsRecorderView> view;
};

TEST_F(RecorderViewTest, TheStatusLineShowsRunningTimeAndProgressByStopMode)
{
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Data Recording"));
    EXPECT_EQ(status(), QStringLiteral("Not running"));
    EXPECT_FALSE(button("pushButtonStop")->isEnabled());

    config()->setLogFilePrefix(TsConfigManager::TemporaryLevel, "run");
    config()->setLogSettings(TsConfigManager::TemporaryLevel, stopAfter(10 * 60000));
    clickStart();
    ASSERT_TRUE(recorder()->isRunning());
    EXPECT_FALSE(button("pushButtonStart")->isEnabled());
    EXPECT_TRUE(button("pushButtonStop")->isEnabled());
    EXPECT_FALSE(button("pushButtonConfig")->isEnabled());
    EXPECT_TRUE(TsInputDialog::takeAsked().isEmpty());
    record(3);
    advance(147000);
    EXPECT_EQ(status(), QStringLiteral("Running (02m 30s / 25%)"));
    EXPECT_EQ(recorder()->statusLine(), status());
    EXPECT_EQ(view->toolTip(), QStringLiteral("3 samples recorded"));

    QTest::mouseClick(button("pushButtonStop"), Qt::LeftButton);
    EXPECT_FALSE(recorder()->isRunning());
    EXPECT_EQ(status(), QStringLiteral("Not running"));
    EXPECT_EQ(recorder()->statusLine(), QStringLiteral("Not running"));
    EXPECT_TRUE(button("pushButtonConfig")->isEnabled());

    // Stopped by hand: no progress to tell.
    config()->setLogSettings(TsConfigManager::TemporaryLevel, TsRecorderLogSettings());
    clickStart();
    advance(61000);
    EXPECT_EQ(status(), QStringLiteral("Running (01m 01s)"));
}

TEST_F(RecorderViewTest, ProgressWithTheDynamicExperimentRunsToTheScriptsLastAction)
{
    TsRecorderLogSettings log;
    log.setStopMode(TsRecorderLogSettings::StopWithDynamicExp);
    config()->setLogSettings(TsConfigManager::TemporaryLevel, log);
    config()->setLogFilePrefix(TsConfigManager::TemporaryLevel, "dyn");

    // Started by hand without the script: its share cannot be told.
    clickStart();
    advance(10000);
    EXPECT_EQ(status(), QStringLiteral("Running (00m 10s)"));
    QTest::mouseClick(button("pushButtonStop"), Qt::LeftButton);

    // Started with the script whose last action is twenty minutes on: that is the end.
    loadScript(1200000);
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    config()->setLogSettings(TsConfigManager::TemporaryLevel, log);
    ASSERT_TRUE(experiment()->startDynamic());
    ASSERT_TRUE(recorder()->isRunning());
    advance(300000);
    EXPECT_EQ(status(), QStringLiteral("Running (05m 00s / 25%)"));
}

TEST_F(RecorderViewTest, APrefixIsAskedForWhenNoneIsSetAndMustBeAValidPath)
{
    // Cancel, or an empty answer, keeps the recorder idle.
    TsInputDialog::queueCancel();
    clickStart();
    EXPECT_FALSE(recorder()->isRunning());
    const QList<TsInputDialog::Asked> asked = TsInputDialog::takeAsked();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.at(0).title, QStringLiteral("Logfile prefix"));
    EXPECT_EQ(asked.at(0).label, QStringLiteral("Enter logfile prefix:"));
    TsInputDialog::queueAnswer("   ");
    clickStart();
    EXPECT_FALSE(recorder()->isRunning());

    for (const char *bad : {"a:b", "CON", ".hidden", "CON.csv", "run?", "x|y"}) {
        TsInputDialog::queueAnswer(QString::fromLatin1(bad));
        clickStart();
        EXPECT_FALSE(recorder()->isRunning()) << bad;
        const QList<TsMessageBox::Asked> boxes = TsMessageBox::takeAsked();
        ASSERT_EQ(boxes.size(), 1) << bad;
        EXPECT_EQ(boxes.at(0).icon, QMessageBox::Critical);
        EXPECT_EQ(boxes.at(0).title, QStringLiteral("Invalid filename"));
        EXPECT_EQ(boxes.at(0).text, QStringLiteral("The filename contains invalid characters."));
        EXPECT_FALSE(config()->hasLogFilePrefix(TsConfigManager::TemporaryLevel)) << bad;
    }

    // Too long for a file name: said now rather than "NOT SAVED" once the recording runs.
    TsInputDialog::queueAnswer(QString(250, 'r'));
    clickStart();
    EXPECT_FALSE(recorder()->isRunning());
    const QList<TsMessageBox::Asked> tooLong = TsMessageBox::takeAsked();
    ASSERT_EQ(tooLong.size(), 1);
    EXPECT_EQ(tooLong.at(0).text, "The name is too long: each folder and file name may have at "
                                  "most 64 characters.");
    EXPECT_FALSE(config()->hasLogFilePrefix(TsConfigManager::TemporaryLevel));

    // A sub-folder is fine; the answer is kept for the session with its white space simplified.
    TsInputDialog::queueAnswer("  plate 1/run   a ");
    clickStart();
    ASSERT_TRUE(recorder()->isRunning());
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty());
    EXPECT_EQ(config()->logFilePrefix(TsConfigManager::TemporaryLevel), "plate 1/run a");
    EXPECT_EQ(recorder()->filePrefix(), "plate 1/run a");
    EXPECT_TRUE(recorder()->fileName().startsWith(logs.path() + "/plate 1/run a_"));
    EXPECT_TRUE(QFile::exists(recorder()->fileName()));
    QTest::mouseClick(button("pushButtonStop"), Qt::LeftButton);

    // The next start asks no more.
    TsInputDialog::takeAsked();
    clickStart();
    EXPECT_TRUE(recorder()->isRunning());
    EXPECT_TRUE(TsInputDialog::takeAsked().isEmpty());
}

TEST_F(RecorderViewTest, StartingTheDynamicExperimentAsksForThePrefixWhenTheRecorderStartsWithIt)
{
    loadScript(600000);
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    config()->setLogSettings(TsConfigManager::TemporaryLevel, log);

    TsInputDialog::queueCancel();
    EXPECT_FALSE(experiment()->startDynamic());
    EXPECT_EQ(TsInputDialog::takeAsked().size(), 1);
    EXPECT_FALSE(experiment()->script()->isRunning());
    EXPECT_FALSE(recorder()->isRunning());

    TsInputDialog::queueAnswer("with-script");
    EXPECT_TRUE(experiment()->startDynamic());
    EXPECT_EQ(TsInputDialog::takeAsked().size(), 1); // asked once, not again by the recorder
    EXPECT_TRUE(experiment()->script()->isRunning());
    EXPECT_TRUE(recorder()->isRunning());
    EXPECT_EQ(recorder()->filePrefix(), "with-script");
    experiment()->stopDynamic();

    // Started by hand, the script leaves the recorder alone and asks nothing.
    recorder()->stop();
    config()->setLogSettings(TsConfigManager::TemporaryLevel, TsRecorderLogSettings());
    config()->removeLogFilePrefix(TsConfigManager::TemporaryLevel);
    EXPECT_TRUE(experiment()->startDynamic());
    EXPECT_TRUE(TsInputDialog::takeAsked().isEmpty());
    EXPECT_FALSE(recorder()->isRunning());
}

TEST_F(RecorderViewTest, TheSettingsButtonEditsTheSessionLevel)
{
    config()->setLogFilePrefix(TsConfigManager::ProfileLevel, "profile-prefix");
    // The dialog is modal: it is answered as soon as it runs.
    QString placeholder;
    bool csvShownOn = true;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TsRecorderSettingsDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        placeholder = dialog->findChild<QLineEdit *>("lineEditPrefix")->placeholderText();
        csvShownOn = dialog->csvSettings().isEnabled();
        TsRecorderCSVSettings csv = dialog->csvSettings();
        csv.setEnabled(true);
        csv.setColumnSeparator(';');
        dialog->setCsvSettings(csv);
        dialog->setLogSettings(stopAfter(3600000));
        dialog->setLogFilePrefix("session");
        dialog->accept();
    });
    QTest::mouseClick(button("pushButtonConfig"), Qt::LeftButton);
    EXPECT_EQ(placeholder, QStringLiteral("profile-prefix"));
    EXPECT_FALSE(csvShownOn);
    EXPECT_EQ(config()->logFilePrefix(TsConfigManager::TemporaryLevel), "session");
    EXPECT_EQ(config()->logSettings(TsConfigManager::TemporaryLevel).stopAfter(), 3600000);
    ASSERT_TRUE(config()->hasCsvSettings(TsConfigManager::TemporaryLevel));
    EXPECT_EQ(config()->csvSettings(TsConfigManager::TemporaryLevel).columnSeparator(), ';');

    // CSV off and an empty prefix remove the session's entries again.
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TsRecorderSettingsDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        csvShownOn = dialog->csvSettings().isEnabled();
        TsRecorderCSVSettings csv = dialog->csvSettings();
        csv.setEnabled(false);
        dialog->setCsvSettings(csv);
        dialog->setLogFilePrefix(QString());
        dialog->accept();
    });
    QTest::mouseClick(button("pushButtonConfig"), Qt::LeftButton);
    EXPECT_TRUE(csvShownOn);
    EXPECT_FALSE(config()->hasCsvSettings(TsConfigManager::TemporaryLevel));
    EXPECT_FALSE(config()->hasLogFilePrefix(TsConfigManager::TemporaryLevel));
    EXPECT_EQ(config()->logFilePrefix(TsConfigManager::TemporaryLevel), "profile-prefix");
    config()->removeLogFilePrefix(TsConfigManager::ProfileLevel);
}

TEST_F(RecorderViewTest, TheGraphButtonShowsTheGraphWindow)
{
    // Every button and zoom action finds its icon among the resources.
    for (const char *name :
         {"pushButtonStart", "pushButtonStop", "pushButtonGraph", "pushButtonConfig"})
        EXPECT_FALSE(button(name)->icon().pixmap(16, 16).isNull()) << name;
    for (const char *name : {"actionZoom_In", "actionZoom_Out"})
        EXPECT_FALSE(
            view->graphDialog()->findChild<QAction *>(name)->icon().pixmap(16, 16).isNull())
            << name;

    TsRecorderGraphDialog *graph = view->graphDialog();
    ASSERT_NE(graph, nullptr);
    EXPECT_FALSE(graph->isVisible());
    QTest::mouseClick(button("pushButtonGraph"), Qt::LeftButton);
    EXPECT_TRUE(graph->isVisible());
}

// A file standing where the prefix wants a folder: no folder can be made there, root or not.
// The start is refused with the folder and the system's reason, by hand and with the script.
TEST_F(RecorderViewTest, AFolderThatCannotBeWrittenRefusesTheStartWithItsReason)
{
    QFile blocker(logs.path() + "/plate");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    config()->setLogFilePrefix(TsConfigManager::TemporaryLevel, "plate/run");
    const QString reason = "The folder '" + QDir::toNativeSeparators(logs.path() + "/plate") +
                           "' for the recording file cannot be written: " +
                           QString::fromLocal8Bit(std::strerror(ENOTDIR));
    clickStart();
    EXPECT_FALSE(recorder()->isRunning());
    QList<TsMessageBox::Asked> boxes = TsMessageBox::takeAsked();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.at(0).icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.at(0).title, "Recording not started");
    EXPECT_EQ(boxes.at(0).text, reason);
    EXPECT_EQ(status(), "Not running");

    loadScript(600000);
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    config()->setLogSettings(TsConfigManager::TemporaryLevel, log);
    EXPECT_FALSE(experiment()->startDynamic());
    EXPECT_FALSE(experiment()->script()->isRunning());
    EXPECT_FALSE(recorder()->isRunning());
    boxes = TsMessageBox::takeAsked();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.at(0).text, reason);
}

// A disk that fills during the recording: the view reads NOT SAVED in red and the web page carries
// the reason; once space is freed rows reach the file again and both say so within seconds.
TEST_F(RecorderViewTest, AFullDiskIsShownInTheViewAndOnTheWebPageUntilRowsReachTheFileAgain)
{
    SmallTmpfs disk(logs.path(), 64);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    web->setWebServerDir(QCoreApplication::applicationDirPath() + "/webserver");
    TsWebInterfaceSettings settings = web->settings();
    settings.httpPort = freePort();
    settings.fcgiPort = freePort();
    web->setSettings(settings);
    web->start();
    ASSERT_TRUE(web->isRunning());
    QNetworkAccessManager network;
    const auto page = [&] {
        const webtest::Reply reply = webtest::get(
            network,
            QStringLiteral("http://127.0.0.1:%1/ts/datarecording.cgi").arg(settings.httpPort),
            WaitMs);
        return reply.finished ? QString::fromUtf8(reply.body) : QString();
    };

    config()->setLogFilePrefix(TsConfigManager::TemporaryLevel, "run");
    clickStart();
    ASSERT_TRUE(recorder()->isRunning());
    record(2);
    ASSERT_TRUE(disk.fill());
    for (int i = 0; i < 500 && !recorder()->hasFileError(); ++i)
        record(1);
    ASSERT_TRUE(recorder()->hasFileError());
    advance(0);
    const QLabel *label = view->findChild<QLabel *>("labelStatus");
    EXPECT_TRUE(status().startsWith("NOT SAVED: ")) << qPrintable(status());
    EXPECT_EQ(label->toolTip(), recorder()->fileErrorString());
    EXPECT_TRUE(label->styleSheet().contains("color"));
    const QString line = recorder()->statusLine();
    EXPECT_TRUE(line.contains(" - NOT SAVED: ")) << qPrintable(line);
    EXPECT_TRUE(line.contains(recorder()->fileErrorString()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page().contains("NOT SAVED"); }, WaitMs))
        << qPrintable(page());

    disk.release();
    record(int(TsExperimentRecorder::FileRetryInterval / 1000));
    EXPECT_FALSE(recorder()->hasFileError());
    EXPECT_TRUE(status().startsWith("Running (")) << qPrintable(status());
    EXPECT_TRUE(label->toolTip().isEmpty());
    EXPECT_TRUE(label->styleSheet().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page().contains("NOT SAVED"); }, WaitMs));
    QTest::mouseClick(button("pushButtonStop"), Qt::LeftButton);
    web->stop();
}

} // namespace
