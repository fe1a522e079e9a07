// The dynamic-experiment view over the real core: its rows of buttons and status texts, the line it
// hands to the web page, the editor opened from it, and a dynamic experiment written in the
// editor, started from the view and run against the controller simulation, with the recorder's
// file as the witness of what reached the controller.
#include "dialogs/scripteditortestsupport.h"

#include "config/tsconfigmanager.h"
#include "config/tsrecordercsvsettings.h"
#include "config/tsrecorderlogsettings.h"
#include "device/tsdevicechannel.h"
#include "dialogs/tsexperimentscriptactiondialog.h"
#include "dialogs/tsexperimentscripteditordialog.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tsexperimentrecorder.h"
#include "views/tsdynamicview.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>

using namespace scripteditortest;

namespace {

class TsDynamicViewTest : public ScriptFixture
{
protected:
    void SetUp() override
    {
        view.reset(new TsDynamicView);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.data()));
    }
    void TearDown() override
    {
        view.reset();
        // The clocks below are this test's; the core's experiment outlives it.
        script()->setClock({});
        experiment()->recorder()->setClocks({}, {});
        experiment()->recorder()->setFilePrefix(QString());
        experiment()->recorder()->setLogSettings(TsRecorderLogSettings());
    }

    QPushButton *button(const char *name) const { return child<QPushButton>(view.data(), name); }
    QString status() const { return child<QLabel>(view.data(), "labelStatus")->text(); }
    // Start, Stop and Config enabled or not, and the status line.
    QString row() const
    {
        QString text;
        for (const char *name : {"pushButtonStart", "pushButtonStop", "pushButtonConfig"})
            text += button(name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return text + QLatin1Char(' ') + status();
    }
    static TsExperimentScript *script() { return experiment()->script(); }
    static void clickOk(QDialog *dialog)
    {
        QTest::mouseClick(
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok),
            Qt::LeftButton);
    }

    QScopedPointer<TsDynamicView> view;
};

TEST_F(TsDynamicViewTest, StatusLineShowsElapsedTimeAndRoundedProgressToViewAndWebPage)
{
    EXPECT_EQ(view->windowTitle(), "Dynamic Experiment");
    emit script()->status("10m 00s", 0.125);
    EXPECT_EQ(status(), "Running (10m 00s / 13%)");
    emit script()->status("00m 02s", 0.004);
    EXPECT_EQ(status(), "Running (00m 02s / 0%)");
    emit script()->status("01d 00h 00m 00s", 1.0);
    EXPECT_EQ(status(), "Running (01d 00h 00m 00s / 100%)");
}

// The heat unit unplugged while a step falls due: the line turns red with the running time, the
// web page's line and the tool tip say which step failed and why; when the unit is back the step
// is applied and the line says so in amber; a step on a controller that never comes back stays
// said until the run ends.
TEST_F(TsDynamicViewTest, AStepDueWhileItsControllerIsUnpluggedIsSaidUntilItIsApplied)
{
    writeDynamicExp("Unplug", {{"setChannelValue", 5000, stage, 37.5, "warm"},
                               {"setChannelValue", 10000, missing, 20.0, "nowhere"},
                               {"setChannelValue", 20000, lid, 36.0, "end"}});
    TsCore::instance()->reloadDynamicExps();
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Unplug").isSuccess());
    script()->setClock(clock.function());
    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    ASSERT_TRUE(script()->isRunning());
    const QLabel *label = child<QLabel>(view.data(), "labelStatus");
    const auto web = [] { return script()->statusLine(); };
    const auto showStatus = [this] { QMetaObject::invokeMethod(script(), "updateStatus"); };

    tick(2);
    unplug();
    tick(4); // 6 s: the step due after 5 s finds no controller
    showStatus();
    EXPECT_EQ(row(), "010 STEP FAILED: 00m 06s");
    const QString failure = "Stage Setpoint Value 37.5°C, due at 00m 05s, failed: its controller "
                            "is not connected";
    EXPECT_EQ(label->toolTip(), failure);
    EXPECT_TRUE(label->styleSheet().contains("color"));
    EXPECT_EQ(web(), "Running (00m 06s / 30%) - STEP FAILED: " + failure);

    plug();
    tick(); // 7 s: back, and the step applied
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 37.5);
    EXPECT_EQ(status(), "STEP LATE: 00m 06s") << "said at once, before the next second";
    showStatus();
    EXPECT_EQ(status(), "STEP LATE: 00m 07s");
    const QString late =
        "Stage Setpoint Value 37.5°C, due at 00m 05s, applied at 00m 07s when its controller "
        "came back";
    EXPECT_EQ(label->toolTip(), late);
    EXPECT_EQ(web(), "Running (00m 07s / 35%) - STEP LATE: " + late);

    tick(4); // 11 s: a step on a controller that is never plugged in
    showStatus();
    EXPECT_EQ(status(), "STEP FAILED: 00m 11s");
    tick(8);
    showStatus();
    EXPECT_EQ(status(), "STEP FAILED: 00m 19s") << "until the run ends";
    EXPECT_TRUE(web().contains("Missing Setpoint Value 20")) << qPrintable(web());
    tick(2); // 21 s: the last step ends the run
    EXPECT_FALSE(script()->isRunning());
    EXPECT_EQ(row(), "101 Not running");
    EXPECT_TRUE(label->toolTip().isEmpty());
    EXPECT_TRUE(label->styleSheet().isEmpty());
    EXPECT_EQ(web(), "Not running");

    // The journal keeps the night's story beside the alarms: the two failures and the late step.
    QStringList events;
    for (const TsAlarmJournal::Entry &entry :
         TsAlarmJournal::read(TsCore::alarmJournal()->path())) {
        if (entry.event.startsWith("step"))
            events << entry.event + " " + entry.channel + ": " + entry.details;
    }
    ASSERT_EQ(events.size(), 3) << qPrintable(events.join('\n'));
    EXPECT_EQ(events[0], "step failed " + stage + ": " + failure);
    EXPECT_EQ(events[1], "step applied late " + stage + ": " + late);
    EXPECT_TRUE(events[2].startsWith("step failed " + missing + ": Missing Setpoint Value 20"))
        << qPrintable(events[2]);
}

// Whoever hears the view go (the screenshot program stops the run then) must not reach its form:
// the script's signals end with the view's destructor.
TEST_F(TsDynamicViewTest, AViewBeingDestroyedHearsTheScriptNoMore)
{
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Heating").isSuccess());
    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    ASSERT_TRUE(script()->isRunning());
    QObject::connect(view.data(), &QObject::destroyed, [] {
        emit script()->status("00m 01s", 0.5);
        experiment()->stopDynamic();
    });
    view.reset();
    EXPECT_FALSE(script()->isRunning());
}

TEST_F(TsDynamicViewTest, StartIsOfferedExactlyWhenADynamicExperimentIsNamed)
{
    EXPECT_EQ(row(), "001 No dynamic experiment configured");
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Heating").isSuccess());
    EXPECT_EQ(row(), "101 Not running");
    EXPECT_EQ(script()->statusLine(), "Not running");
    ASSERT_TRUE(TsCore::setCurrentDynamicExp(QString()).isSuccess());
    EXPECT_EQ(row(), "001 No dynamic experiment configured");
}

TEST_F(TsDynamicViewTest, ChangeOfDynamicExperimentWhileRunningEndsInTheIdleRowOfTheNewName)
{
    writeDynamicExp("Cooling", {{"setChannelValue", 60000, stage, 30.0, "cool"}});
    TsCore::instance()->reloadDynamicExps();
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Heating").isSuccess());

    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    ASSERT_TRUE(script()->isRunning());
    EXPECT_EQ(row(), "010 Starting ...");

    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Cooling").isSuccess());
    EXPECT_FALSE(script()->isRunning());
    EXPECT_EQ(script()->name(), "Cooling");
    EXPECT_EQ(row(), "101 Not running");

    // The Stop button stops a run as well.
    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    ASSERT_TRUE(script()->isRunning());
    QTest::mouseClick(button("pushButtonStop"), Qt::LeftButton);
    EXPECT_FALSE(script()->isRunning());
    EXPECT_EQ(row(), "101 Not running");
}

// The recorder view answers the script's starting (a prefix question that may be cancelled); a
// veto there leaves everything idle, with no message from this view.
TEST_F(TsDynamicViewTest, VetoedStartLeavesTheViewAndTheRecorderIdle)
{
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Heating").isSuccess());
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    experiment()->recorder()->setLogSettings(log);
    const QMetaObject::Connection veto =
        QObject::connect(script(), &TsExperimentScript::starting, [](bool &ok) { ok = false; });
    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    QObject::disconnect(veto);
    EXPECT_FALSE(script()->isRunning());
    EXPECT_FALSE(experiment()->recorder()->isRunning());
    EXPECT_EQ(row(), "101 Not running");
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(TsDynamicViewTest, SavedEditReachesTheExperimentsScript)
{
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Heating").isSuccess());
    ASSERT_EQ(script()->actionCount(), 2);
    bool opened = false;
    whenModal<TsExperimentScriptEditorDialog>([&opened](TsExperimentScriptEditorDialog *editor) {
        opened = true;
        EXPECT_EQ(child<QComboBox>(editor, "comboBoxName")->currentText(), "Heating");
        QTableView *table = child<QTableView>(editor, "tableViewScript");
        ASSERT_EQ(table->model()->rowCount(), 2);
        clickCell(table, 0, 0);
        QTest::mouseClick(child<QPushButton>(editor, "pushButtonRemove"), Qt::LeftButton);
        clickOk(editor);
    });
    QTest::mouseClick(button("pushButtonConfig"), Qt::LeftButton);
    ASSERT_TRUE(opened);
    // What Start runs now is what was saved.
    EXPECT_EQ(TsCore::currentDynamicExp(), "Heating");
    EXPECT_EQ(script()->actionCount(), 1);
    EXPECT_EQ(row(), "101 Not running");

    // Cancel changes nothing.
    whenModal<TsExperimentScriptEditorDialog>([](TsExperimentScriptEditorDialog *editor) {
        QTest::mouseClick(child<QPushButton>(editor, "pushButtonClear"), Qt::LeftButton);
        editor->reject();
    });
    QTest::mouseClick(button("pushButtonConfig"), Qt::LeftButton);
    EXPECT_EQ(script()->actionCount(), 1);
}

// Written in the editor, saved, made current by the view, started with the recorder going along,
// and run tick by tick on the simulated heat unit: the setpoint changes on the first tick after its
// time, the loop goes off at the next step, and the CSV file shows both as the controller reports.
TEST_F(TsDynamicViewTest, ScriptWrittenInTheEditorRunsAgainstTheControllerAndIsRecorded)
{
    // Two steps: the stage's setpoint to 38.5 after 5 s, its loop off after 8 s.
    auto addStep = [this](QDialog *editor, const QString &kind, int seconds, const QVariant &v) {
        whenModal<TsExperimentScriptActionDialog>(
            [this, kind, seconds, v](TsExperimentScriptActionDialog *d) {
                pick(child<QComboBox>(d, "comboBoxAction"), kind);
                QTest::keyClicks(child<QLineEdit>(d, "lineEditComment"), kind);
                child<QSpinBox>(d, "spinBoxSeconds")->setValue(seconds);
                pick(child<QComboBox>(d, "comboBoxChannels"), "Stage");
                if (auto *spin = d->findChild<QDoubleSpinBox *>("doubleSpinBoxValue"))
                    spin->setValue(v.toDouble());
                if (auto *state = d->findChild<QComboBox *>("comboBoxValue"))
                    state->setCurrentIndex(v.toBool() ? 1 : 0);
                clickOk(d);
            });
        QTest::mouseClick(child<QPushButton>(editor, "pushButtonAdd"), Qt::LeftButton);
    };
    whenModal<TsExperimentScriptEditorDialog>([&](TsExperimentScriptEditorDialog *editor) {
        TsInputDialog::queueAnswer("Warm up");
        QTest::mouseClick(child<QPushButton>(editor, "pushButtonNew"), Qt::LeftButton);
        addStep(editor, "Control", 8, false);
        addStep(editor, "Setpoint Value", 5, 38.5);
        EXPECT_EQ(child<QTableView>(editor, "tableViewScript")->model()->rowCount(), 2);
        clickOk(editor);
    });
    QTest::mouseClick(button("pushButtonConfig"), Qt::LeftButton);
    ASSERT_TRUE(QFile::exists(dynamicExpFile("Warm up")));
    ASSERT_EQ(TsCore::currentDynamicExp(), "Warm up");
    ASSERT_EQ(script()->actionCount(), 2);
    EXPECT_EQ(row(), "101 Not running");

    // The recorder as the recorder view leaves it: start with the dynamic experiment, a prefix,
    // whole seconds in the time column; both clocks are the test's.
    QTemporaryDir logs;
    TsExperimentRecorder *recorder = experiment()->recorder();
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    log.setStopMode(TsRecorderLogSettings::StopManually);
    recorder->setLogSettings(log);
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(';');
    csv.setDateTimeFormat("relative-time");
    recorder->setCsvSettings(csv);
    recorder->setLogFolder(logs.path());
    recorder->setFilePrefix("warmup");
    recorder->setClocks(clock.function(), [] { return QDateTime::currentDateTime(); });
    script()->setClock(clock.function());

    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    ASSERT_TRUE(script()->isRunning());
    ASSERT_TRUE(recorder->isRunning());
    EXPECT_EQ(row(), "010 Starting ...");

    tick(5); // 5 s: the setpoint is due, but only after its time has passed
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 37.0);
    tick(); // 6 s
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 38.5);
    QMetaObject::invokeMethod(script(), "updateStatus");
    EXPECT_EQ(row(), "010 Running (00m 06s / 75%)");
    tick(2); // 8 s
    EXPECT_TRUE(deviceChannel(stage)->loopControl());
    tick(); // 9 s: the last step ends the run
    EXPECT_FALSE(deviceChannel(stage)->loopControl());
    EXPECT_FALSE(script()->isRunning());
    EXPECT_EQ(row(), "101 Not running");
    tick();
    experiment()->stopRecorder();

    // Rows by their second: the stage's setpoint and control columns.
    const QString file = recorder->fileName();
    ASSERT_TRUE(file.startsWith(logs.path() + "/warmup_")) << qPrintable(file);
    QStringList lines = readFile(file).split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.takeFirst().startsWith("\"Timestamp\";\"Stage: Actual Value\";"
                                             "\"Stage: Setpoint Value\";\"Stage: Control\";"));
    QMap<int, QString> stageAt;
    for (const QString &line : lines) {
        const QStringList fields = line.split(';');
        ASSERT_GE(fields.size(), 4) << qPrintable(line);
        stageAt.insert(fields.at(0).toInt(), fields.at(2) + " " + fields.at(3));
    }
    const QString before = QLocale().toString(37.0, 'f', 1);
    const QString after = QLocale().toString(38.5, 'f', 1);
    EXPECT_EQ(stageAt.value(1), before + " On");
    EXPECT_EQ(stageAt.value(5), before + " On");
    EXPECT_EQ(stageAt.value(6), after + " On");
    EXPECT_EQ(stageAt.value(8), after + " On");
    EXPECT_EQ(stageAt.value(9), after + " Off");
    EXPECT_EQ(stageAt.value(10), after + " Off");
}

// Recording "together with the dynamic experiment" must not end before the last step shows in
// the file: the recorder stops with the next row after the script's own end. By hand, at once.
TEST_F(TsDynamicViewTest, RecorderStoppingWithTheScriptRecordsItsLastStep)
{
    writeDynamicExp("Short", {{"setChannelValue", 2000, stage, 38.5, "up"},
                              {"setChannelLoopCtrl", 4000, stage, false, "off"}});
    TsCore::instance()->reloadDynamicExps();
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("Short").isSuccess());

    QTemporaryDir logs;
    TsExperimentRecorder *recorder = experiment()->recorder();
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    log.setStopMode(TsRecorderLogSettings::StopWithDynamicExp);
    log.setInterval(3000); // a row at 1 s, then every third tick
    recorder->setLogSettings(log);
    TsRecorderCSVSettings csv;
    csv.setColumnSeparator(';');
    csv.setDateTimeFormat("relative-time");
    recorder->setCsvSettings(csv);
    recorder->setLogFolder(logs.path());
    recorder->setFilePrefix("short");
    recorder->setClocks(clock.function(), [] { return QDateTime::currentDateTime(); });
    script()->setClock(clock.function());

    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    ASSERT_TRUE(recorder->isRunning());
    tick(5); // 5 s: the loop goes off, the script ends
    EXPECT_FALSE(script()->isRunning());
    EXPECT_TRUE(recorder->isRunning());
    tick(2); // 7 s: the next row, then the stop
    EXPECT_FALSE(recorder->isRunning());

    QStringList lines = readFile(recorder->fileName()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << qPrintable(lines.join('\n'));
    const QStringList last = lines.last().trimmed().split(';');
    ASSERT_GE(last.size(), 4);
    EXPECT_EQ(last.at(0), "7");
    EXPECT_EQ(last.at(2) + " " + last.at(3), QLocale().toString(38.5, 'f', 1) + " Off");

    // Stopped by hand, the recorder goes with the script at once.
    QTest::mouseClick(button("pushButtonStart"), Qt::LeftButton);
    ASSERT_TRUE(recorder->isRunning());
    tick();
    QTest::mouseClick(button("pushButtonStop"), Qt::LeftButton);
    EXPECT_FALSE(recorder->isRunning());
}

} // namespace
