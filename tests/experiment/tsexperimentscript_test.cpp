// The action registry, the two action kinds on simulated channels, the ".tsx" file and the timed
// run of a script, stepped by hand.
#include "tsexperimentscript_testfixture.h"

#include "device/tsdevicechannel.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactionchannelbase.h"
#include "experiment/tsexperimentscriptactiontype.h"

#include <QFile>
#include <QSignalSpy>

#include <memory>

namespace {

using scripttest::ScriptFixture;
using Action = std::shared_ptr<TsExperimentScriptAction>;

Action makeAction(TsExperimentScript *script, const char *type, qint64 time, const QString &id,
                  const QVariant &value, const QString &comment = QString(), bool active = true)
{
    Action action(TsExperimentScriptActionType::create(QString::fromLatin1(type), script));
    EXPECT_NE(action, nullptr);
    action->setTime(time);
    action->setParameter(QStringLiteral("channel.id"), id);
    action->setParameter(QStringLiteral("channel.value"), value);
    action->setComment(comment);
    action->setActive(active);
    return action;
}

void install(TsExperimentScript *script, const std::vector<Action> &actions)
{
    QList<TsExperimentScriptAction *> list;
    for (const Action &action : actions)
        list << action.get();
    ASSERT_TRUE(script->setActions(list));
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray scriptFile(const QByteArray &actions)
{
    return "<TsDynamicExperiment name=\"x\"><ScriptActions>" + actions +
           "</ScriptActions></TsDynamicExperiment>";
}

const QByteArray goodAction = "<ScriptAction type=\"setChannelValue\" time=\"5\" active=\"1\">"
                              "<ActionParameters><ActionParameter name=\"channel.value\" "
                              "type=\"double\" value=\"36.5\"/></ActionParameters></ScriptAction>";

// --- registry and actions --------------------------------------------------------------------

TEST(ScriptActionRegistry, KnowsTheTwoKindsAndPicksTheDefault)
{
    const QList<TsExperimentScriptActionType> types = TsExperimentScriptActionType::types();
    ASSERT_EQ(types.size(), 2);
    EXPECT_EQ(types.at(0).key(), "setChannelLoopCtrl");
    EXPECT_EQ(types.at(0).displayName(), "Control");
    EXPECT_EQ(types.at(1).key(), "setChannelValue");
    EXPECT_EQ(TsExperimentScriptActionType::defaultType().key(), "setChannelValue");
    EXPECT_EQ(TsExperimentScriptActionType::create(QStringLiteral("nothing"), nullptr), nullptr);

    Action loop(
        TsExperimentScriptActionType::create(QStringLiteral("setChannelLoopCtrl"), nullptr));
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->displayName(), "Control");
    EXPECT_EQ(loop->type(), "setChannelLoopCtrl");

    // Without a flagged entry the smallest key wins; registering a key again replaces it.
    const TsExperimentScriptActionType original = TsExperimentScriptActionType::defaultType();
    TsExperimentScriptActionType::registerType(TsExperimentScriptActionType(
        original.key(), original.displayName(), false, original.factory()));
    EXPECT_EQ(TsExperimentScriptActionType::types().size(), 2);
    EXPECT_EQ(TsExperimentScriptActionType::defaultType().key(), "setChannelLoopCtrl");
    TsExperimentScriptActionType::registerType(original);
    EXPECT_EQ(TsExperimentScriptActionType::defaultType().key(), "setChannelValue");
}

TEST_F(ScriptFixture, NewActionHasEmptyParametersAndCannotPrepare)
{
    Action action(TsExperimentScriptActionType::create(QStringLiteral("setChannelValue"), script));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->displayName(), "Setpoint Value");
    EXPECT_EQ(action->parameters().keys(), QStringList({"channel.id", "channel.value"}));
    EXPECT_EQ(action->parameter(QStringLiteral("channel.id")), QVariant(QString()));
    EXPECT_FALSE(action->parameter(QStringLiteral("channel.value")).isValid());
    EXPECT_FALSE(action->isActive());
    EXPECT_FALSE(action->prepare());
    EXPECT_EQ(action->result().message(), "channel not available for action");
}

TEST_F(ScriptFixture, ActionsDriveTheChannelsAndClonesKeepTheirState)
{
    Action setpoint = makeAction(script, "setChannelValue", 0, stage, 31.5);
    Action loop = makeAction(script, "setChannelLoopCtrl", 0, lid, false);
    ASSERT_TRUE(setpoint->prepare());
    ASSERT_TRUE(loop->prepare());
    EXPECT_TRUE(setpoint->execute());
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 31.5);
    EXPECT_TRUE(loop->execute());
    EXPECT_FALSE(deviceChannel(lid)->loopControl());
    loop->setParameter(QStringLiteral("channel.value"), true);
    EXPECT_TRUE(loop->execute());
    EXPECT_TRUE(deviceChannel(lid)->loopControl());

    // A channel whose device went away fails the action with the channel's own result.
    experiment->channel(stage)->disconnectFrom();
    setpoint->setLastExecuted(QDateTime::currentDateTime());
    EXPECT_FALSE(setpoint->execute());
    EXPECT_TRUE(setpoint->result().isError());

    Action copy(setpoint->clone());
    EXPECT_EQ(copy->result(), setpoint->result());
    EXPECT_EQ(copy->lastExecuted(), setpoint->lastExecuted());
    EXPECT_EQ(static_cast<TsExperimentScriptActionChannelBase *>(copy.get())->channel(),
              experiment->channel(stage));
    copy->reset();
    EXPECT_TRUE(copy->result().isSuccess());
    EXPECT_FALSE(copy->lastExecuted().isValid());
}

TEST_F(ScriptFixture, ActionSurvivesTheExperimentReplacingItsChannels)
{
    Action setpoint = makeAction(script, "setChannelValue", 0, stage, 33.0);
    ASSERT_TRUE(setpoint->prepare());
    setProfile({lid});
    EXPECT_FALSE(setpoint->execute());
    EXPECT_EQ(setpoint->result().message(), "channel not available for action");
    // A new profile with the same channel: the action finds it again.
    setProfile({stage});
    EXPECT_TRUE(setpoint->execute());
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 33.0);
}

// --- file -------------------------------------------------------------------------------------

TEST_F(ScriptFixture, SavesTheDocumentAndLoadsItBack)
{
    install(script,
            {makeAction(script, "setChannelLoopCtrl", 7200000, lid, true, "lid on"),
             makeAction(script, "setChannelValue", 1800000, stage, 37.1234567, "warm", false)});
    script->setName(QStringLiteral("Warm up"));
    const QString path = file(QStringLiteral("Warm up.tsx"));
    ASSERT_TRUE(script->save(path).isSuccess());
    const QString expected =
        "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
        "<TsDynamicExperiment name=\"Warm up\">\n"
        "    <ScriptActions>\n"
        "        <ScriptAction type=\"setChannelLoopCtrl\" comment=\"lid on\" time=\"7200000\" "
        "active=\"1\">\n"
        "            <ActionParameters>\n"
        "                <ActionParameter name=\"channel.id\" type=\"QString\" value=\"%1\"/>\n"
        "                <ActionParameter name=\"channel.value\" type=\"bool\" value=\"true\"/>\n"
        "            </ActionParameters>\n"
        "        </ScriptAction>\n"
        "        <ScriptAction type=\"setChannelValue\" comment=\"warm\" time=\"1800000\" "
        "active=\"0\">\n"
        "            <ActionParameters>\n"
        "                <ActionParameter name=\"channel.id\" type=\"QString\" value=\"%2\"/>\n"
        "                <ActionParameter name=\"channel.value\" type=\"double\" "
        "value=\"37.1234567\"/>\n"
        "            </ActionParameters>\n"
        "        </ScriptAction>\n"
        "    </ScriptActions>\n"
        "</TsDynamicExperiment>\n";
    EXPECT_EQ(QString::fromUtf8(readFile(path)), expected.arg(lid, stage));

    // Everything the file holds comes back with its type: saved again, the text is the same.
    script->clear();
    ASSERT_TRUE(script->load(path).isSuccess());
    EXPECT_EQ(script->name(), ""); // the name is the owner's, not the file's
    script->setName(QStringLiteral("Warm up"));
    ASSERT_TRUE(script->save(file(QStringLiteral("again.tsx"))).isSuccess());
    EXPECT_EQ(readFile(file(QStringLiteral("again.tsx"))), readFile(path));
}

TEST_F(ScriptFixture, RefusesToSaveAnUnsetValueAndKeepsTheOldFile)
{
    const QString path = file(QStringLiteral("keep.tsx"));
    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0)});
    ASSERT_TRUE(script->save(path).isSuccess());
    const QByteArray before = readFile(path);

    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0),
                     makeAction(script, "setChannelValue", 90000, lid, QVariant(), "heat lid")});
    const QxResult saved = script->save(path);
    ASSERT_TRUE(saved.isError());
    EXPECT_EQ(saved.message(), "Action 2 (\"heat lid\", Setpoint Value at 01m 30s) has no value "
                               "for 'channel.value'. Set its value before saving the dynamic "
                               "experiment.");
    EXPECT_EQ(readFile(path), before);
    ASSERT_TRUE(script->load(path).isSuccess());
    EXPECT_EQ(script->actionCount(), 1);

    // A file that cannot be written says why.
    const QxResult unwritable = script->save(file(QStringLiteral("no folder/x.tsx")));
    ASSERT_TRUE(unwritable.isError());
    EXPECT_TRUE(unwritable.message().startsWith("TsDynamicExperiment: "))
        << unwritable.message().toStdString();
    EXPECT_GT(unwritable.message().size(), QString("TsDynamicExperiment: ").size());
}

TEST_F(ScriptFixture, LoadReportsEachFault)
{
    const QString path = file(QStringLiteral("bad.tsx"));
    auto loadText = [&](const QByteArray &content) {
        writeFile(path, content);
        return script->load(path).message();
    };
    const QString absent = file(QStringLiteral("absent.tsx"));
    EXPECT_TRUE(script->load(absent).message().startsWith(
        "TsExperimentScript: Unable to open file '" + absent + "'. "));
    EXPECT_TRUE(loadText("<TsDynamicExperiment>")
                    .startsWith("TsDynamicExperiment: Bad file '" + path + "'. "));
    EXPECT_TRUE(loadText("<TsDynamicExperiment>").endsWith("(line=1 column=22)"));
    EXPECT_EQ(loadText("<TsProfile/>"), "TsDynamicExperiment: Invalid root tag");
    EXPECT_EQ(loadText(scriptFile("<ScriptAction type=\"setChannelValue\" time=\"soon\"/>")),
              "Bad ScriptAction attributes");
    EXPECT_EQ(loadText(scriptFile("<ScriptAction time=\"5\"/>")), "Bad ScriptAction attributes");
    EXPECT_EQ(loadText(scriptFile("<ScriptAction type=\"wait\" time=\"5\"/>")),
              "Unsupported type 'wait'");
    auto withParameter = [](const QByteArray &parameter) {
        return scriptFile("<ScriptAction type=\"setChannelValue\" time=\"5\"><ActionParameters>" +
                          parameter + "</ActionParameters></ScriptAction>");
    };
    EXPECT_EQ(loadText(withParameter("<ActionParameter name=\"channel.value\" value=\"1\"/>")),
              "Bad argument attributes");
    EXPECT_EQ(loadText(withParameter("<ActionParameter type=\"int\" value=\"1\"/>")),
              "Bad argument attributes");
    EXPECT_EQ(loadText(withParameter("<ActionParameter name=\"n\" type=\"Kelvin\"/>")),
              "Bad argument type 'Kelvin'");
    // A damaged number must not load as a setpoint of zero.
    EXPECT_EQ(loadText(withParameter("<ActionParameter name=\"channel.value\" "
                                     "type=\"double\" value=\"3x\"/>")),
              "Bad argument value '3x' for 'channel.value'");

    // Actions read before the fault stay; one without parameters has none at all.
    loadText(scriptFile(goodAction + "<ScriptAction type=\"setChannelValue\" time=\"5\"/>" +
                        "<ScriptAction type=\"\" time=\"1\"/>" + goodAction));
    const QList<TsExperimentScriptAction *> loaded = script->actions();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded.at(0)->parameter(QStringLiteral("channel.value")), QVariant(36.5));
    EXPECT_TRUE(loaded.at(1)->parameters().isEmpty());
    qDeleteAll(loaded);
}

// --- run --------------------------------------------------------------------------------------

class ScriptRun : public ScriptFixture
{
protected:
    // One sampling tick after the clock moved to `now`; the id of the action that executed, if
    // any.
    QString tick(qint64 now)
    {
        clock.now = now;
        const int before = executed.count();
        script->nextStep();
        if (executed.count() == before)
            return QString();
        const auto *action = executed.last().at(0).value<const TsExperimentScriptAction *>();
        return action->comment();
    }
    QSignalSpy state{script, &TsExperimentScript::stateChanged};
    QSignalSpy executed{script, &TsExperimentScript::actionExecuted};
    QSignalSpy errors{script, &TsExperimentScript::actionError};
    QSignalSpy status{script, &TsExperimentScript::status};
};

TEST_F(ScriptRun, ActionsRunOnePerTickInListOrder)
{
    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0, "a"),
                     makeAction(script, "setChannelValue", 0, stage, 31.0, "b"),
                     makeAction(script, "setChannelValue", 5000, stage, 35.0, "late", false),
                     makeAction(script, "setChannelValue", 0, stage, 32.0, "c"),
                     makeAction(script, "setChannelValue", 60000, stage, 33.0, "d"),
                     makeAction(script, "setChannelValue", 2000, lid, 34.0, "e")});
    ASSERT_TRUE(script->start());
    EXPECT_EQ(state.count(), 1);
    EXPECT_TRUE(script->isRunning());
    EXPECT_EQ(tick(0), ""); // due means strictly past its time
    EXPECT_EQ(tick(1000), "a");
    EXPECT_EQ(tick(2000), "b");
    EXPECT_EQ(tick(3000), "c");
    EXPECT_EQ(tick(60000), "");
    EXPECT_EQ(tick(60001), "d");
    EXPECT_EQ(state.count(), 1);
    EXPECT_EQ(tick(61000), "e"); // listed after d, so it waits for d
    EXPECT_FALSE(script->isRunning());
    ASSERT_EQ(state.count(), 2);
    EXPECT_EQ(state.last().at(0).toBool(), false);
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 33.0);
    EXPECT_DOUBLE_EQ(deviceChannel(lid)->setpointValue(), 34.0);
    EXPECT_EQ(tick(99000), "");
    // A finished run is not announced again: receivers would end a recording with it.
    script->stop();
    script->clear();
    EXPECT_EQ(state.count(), 2);
}

TEST_F(ScriptRun, StartNeedsPreparedActionsConsentAndAnActiveOne)
{
    EXPECT_FALSE(script->start()); // empty
    script->stop();
    EXPECT_EQ(state.count(), 0); // never started: stop says nothing

    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0, "a"),
                     makeAction(script, "setChannelValue", 0, "nowhere:1", 30.0, "b", false)});
    EXPECT_FALSE(script->start()); // inactive actions are prepared too
    EXPECT_EQ(state.count(), 0);

    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0, "a")});
    QMetaObject::Connection veto =
        QObject::connect(script, &TsExperimentScript::starting, [](bool &ok) { ok = false; });
    EXPECT_FALSE(script->start());
    EXPECT_EQ(state.count(), 0);
    QObject::disconnect(veto);

    // Nothing active: the script starts and stops at once.
    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0, "a", false)});
    EXPECT_FALSE(script->start());
    ASSERT_EQ(state.count(), 2);
    EXPECT_TRUE(state.at(0).at(0).toBool());
    EXPECT_FALSE(state.at(1).at(0).toBool());
}

TEST_F(ScriptRun, FailuresGoOnUnlessTheActionSaysStop)
{
    Action failing = makeAction(script, "setChannelValue", 0, stage, 30.0, "fails");
    std::vector<Action> actions;
    actions.push_back(Action(failing->clone()));
    actions.push_back(makeAction(script, "setChannelValue", 0, stage, 31.0, "next"));
    install(script, actions);
    ASSERT_TRUE(script->start());
    experiment->channel(stage)->disconnectFrom();
    EXPECT_EQ(tick(1000), "fails");
    EXPECT_EQ(errors.count(), 1);
    EXPECT_TRUE(script->isRunning());
    script->stop();

    failing->setStopOnError(true);
    actions.front().reset(failing->clone());
    install(script, actions);
    clock.now = 0;
    ASSERT_TRUE(script->start());
    experiment->channel(stage)->disconnectFrom();
    errors.clear();
    executed.clear();
    EXPECT_EQ(tick(1000), "");
    EXPECT_EQ(errors.count(), 1);
    EXPECT_FALSE(script->isRunning());
}

// The heat unit unplugged at 0:25 and back at 1:30, with steps due in between: each failure is
// said (signal, log, notice), the script goes on, and the latest setpoint and loop step of the
// channel reach the controller on the first tick after it came back. A controller that never
// comes back keeps its failure said until the run ends.
TEST_F(ScriptRun, StepsDueWhileTheControllerIsUnpluggedAreSaidAndAppliedWhenItComesBack)
{
    install(script, {makeAction(script, "setChannelValue", 60000, stage, 37.5, "warm"),
                     makeAction(script, "setChannelValue", 65000, stage, 38.0, "warmer"),
                     makeAction(script, "setChannelLoopCtrl", 70000, stage, false, "off"),
                     makeAction(script, "setChannelValue", 75000, missing, 20.0, "nowhere"),
                     makeAction(script, "setChannelValue", 600000, lid, 36.0, "end")});
    QSignalSpy failed(script, &TsExperimentScript::actionFailed);
    QSignalSpy reapplied(script, &TsExperimentScript::actionReapplied);
    QSignalSpy notices(script, &TsExperimentScript::actionNoticeChanged);
    ASSERT_TRUE(script->start());
    const auto replug = [this](bool present) {
        devicetest::simulation().write(
            devicetest::heatUnit(serial.toStdString(), present ? "" : "present=\"0\""));
        devices.populateDevices();
    };
    EXPECT_EQ(tick(25000), "");
    replug(false);
    ASSERT_FALSE(experiment->channel(stage)->isConnected());

    EXPECT_EQ(tick(60001), "warm") << "a failed step counts as run";
    EXPECT_TRUE(script->isRunning());
    ASSERT_EQ(failed.count(), 1);
    const QString warmFailure = failed.at(0).at(1).toString();
    EXPECT_EQ(warmFailure, "Stage Setpoint Value 37.5°C, due at 01m 00s, failed: its controller "
                           "is not connected");
    EXPECT_EQ(script->lastActionFailure(), warmFailure);
    EXPECT_EQ(messages.count(warmFailure), 1) << "in the program's log";
    EXPECT_EQ(tick(65001), "warmer");
    EXPECT_EQ(tick(70001), "off");
    EXPECT_EQ(tick(75001), "nowhere");
    EXPECT_EQ(failed.count(), 4);
    EXPECT_TRUE(script->lastActionFailure().startsWith("Profile name of 999X1:1 "))
        << qPrintable(script->lastActionFailure());
    EXPECT_EQ(tick(89000), "");
    EXPECT_EQ(reapplied.count(), 0) << "nothing is back yet";

    replug(true);
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 37.0) << "as the controller starts";
    EXPECT_EQ(tick(90000), "");
    // The latest setpoint (not the one it replaced) and the loop step, in the order they failed.
    ASSERT_EQ(reapplied.count(), 2);
    EXPECT_EQ(reapplied.at(0).at(0).value<const TsExperimentScriptAction *>()->comment(), "warmer");
    EXPECT_EQ(reapplied.at(1).at(0).value<const TsExperimentScriptAction *>()->comment(), "off");
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 38.0);
    EXPECT_FALSE(deviceChannel(stage)->loopControl());
    EXPECT_EQ(
        script->lastActionRecovery(),
        "Stage Control Off, due at 01m 10s, applied at 01m 30s when its controller came back");
    EXPECT_EQ(messages.count(script->lastActionRecovery()), 1);
    EXPECT_TRUE(script->lastActionFailure().startsWith("Profile name of 999X1:1 "))
        << "the controller that never came back is still said";

    // Applied once: the controller staying is not another return.
    notices.clear();
    EXPECT_EQ(tick(95000), "");
    EXPECT_EQ(reapplied.count(), 2);
    EXPECT_EQ(notices.count(), 0);

    EXPECT_EQ(tick(600001), "end");
    EXPECT_FALSE(script->isRunning());
    EXPECT_TRUE(script->lastActionFailure().startsWith("Profile name of 999X1:1 "));
    clock.now = 0;
    ASSERT_TRUE(script->start());
    EXPECT_TRUE(script->lastActionFailure().isEmpty()) << "a new run starts clean";
    EXPECT_TRUE(script->lastActionRecovery().isEmpty());
}

// A step the linked controller refuses is not tried on every tick, only at a return; a later step
// of the same kind that reaches the channel overtakes it, and nothing old is replayed over that.
TEST_F(ScriptRun, AFailureWhileLinkedWaitsForAReturnAndALaterStepOvertakesIt)
{
    install(script, {makeAction(script, "setChannelValue", 1000, stage, 1e6, "refused"),
                     makeAction(script, "setChannelValue", 5000, stage, 39.0, "kept"),
                     makeAction(script, "setChannelValue", 600000, lid, 36.0, "end")});
    QSignalSpy failed(script, &TsExperimentScript::actionFailed);
    QSignalSpy reapplied(script, &TsExperimentScript::actionReapplied);
    ASSERT_TRUE(script->start());
    EXPECT_EQ(tick(1001), "refused");
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(script->lastActionFailure().contains("out of range"))
        << qPrintable(script->lastActionFailure());
    EXPECT_EQ(tick(2000), "");
    EXPECT_EQ(tick(3000), "");
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(reapplied.count(), 0) << "the same controller, not a return";

    EXPECT_EQ(tick(5001), "kept");
    EXPECT_TRUE(script->lastActionFailure().isEmpty()) << "overtaken by a step that took";
    TsDeviceChannel *link = deviceChannel(stage);
    experiment->channel(stage)->disconnectFrom();
    experiment->channel(stage)->connectTo(link);
    EXPECT_EQ(tick(6000), "");
    EXPECT_EQ(reapplied.count(), 0);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 39.0);
}

TEST_F(ScriptRun, ReportsProgressAndRefusesChangesWhileRunning)
{
    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0, "a"),
                     makeAction(script, "setChannelValue", 4000000, stage, 31.0, "b")});
    ASSERT_TRUE(script->start());
    clock.now = 3723000;
    QMetaObject::invokeMethod(script, "updateStatus");
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.last().at(0).toString(), "01h 02m 03s");
    EXPECT_DOUBLE_EQ(status.last().at(1).toDouble(), 3723000.0 / 4000000.0);
    EXPECT_EQ(script->endTime(), script->startTime().toMSecsSinceEpoch() + 4000000);

    const QString path = file(QStringLiteral("running.tsx"));
    EXPECT_EQ(script->save(path).message(), "experiment running");
    EXPECT_EQ(script->load(path).message(), "experiment running");
    EXPECT_FALSE(script->setActions({}));
    EXPECT_EQ(script->actionCount(), 2);

    script->clear();
    EXPECT_FALSE(script->isRunning());
    EXPECT_EQ(script->actionCount(), 0);
    QMetaObject::invokeMethod(script, "updateStatus");
    EXPECT_EQ(status.count(), 1);

    // A last action due at once: the run is overdue, not infinitely far along.
    install(script, {makeAction(script, "setChannelValue", 0, stage, 30.0, "a"),
                     makeAction(script, "setChannelValue", 0, stage, 31.0, "b")});
    ASSERT_TRUE(script->start());
    clock.now += 1500;
    QMetaObject::invokeMethod(script, "updateStatus");
    EXPECT_EQ(status.last().at(0).toString(), "00m 01s");
    EXPECT_DOUBLE_EQ(status.last().at(1).toDouble(), 1.0);
}

} // namespace
