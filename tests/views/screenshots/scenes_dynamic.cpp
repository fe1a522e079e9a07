// The dynamic-experiment view, idle, running, with a step that found its controller unplugged and
// with that step applied late, and the script editor with its action dialog,
// each over a five-step dynamic experiment.
#include "screenshotscene.h"

#include "dialogs/scripteditortestsupport.h"
#include "dialogs/tsexperimentscriptactiondialog.h"
#include "dialogs/tsexperimentscripteditordialog.h"
#include "experiment/scripteditor/tsexperimentscriptmodel.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "views/tsdynamicview.h"

#include <QAbstractProxyModel>
#include <QMetaObject>
#include <QTableView>

#include <functional>

namespace {

const QString FiveSteps = QStringLiteral("Heat shock");

// Stage and lid of the context's heat unit, and "Heat shock" current.
void useFiveSteps(screenshots::Context &context)
{
    using scripteditortest::Step;
    context.useStandardChannels();
    context.tick();
    scripteditortest::writeDynamicExp(
        FiveSteps, {Step{"setChannelValue", 0, context.stage, 37.0, "Settle"},
                    Step{"setChannelValue", 1800000, context.lid, 39.0, "Warm the lid"},
                    Step{"setChannelValue", 7200000, context.stage, 41.5, "Heat shock"},
                    Step{"setChannelValue", 9000000, context.stage, 37.0, "Recover"},
                    Step{"setChannelLoopCtrl", 86400000, context.lid, false, "Lid off"}});
    TsCore::instance()->reloadDynamicExps();
    TsCore::setCurrentDynamicExp(FiveSteps);
}

QWidget *dynamicView()
{
    auto *view = new TsDynamicView;
    view->resize(216, 87);
    return view;
}

} // namespace

TESSARO_SCREENSHOT_SCENE(dynamicIdle, "dynamic-idle")
{
    useFiveSteps(context);
    return dynamicView();
}

namespace {

// "Heat shock" started; `during` moves through the run before the status tick at 2h 10m into it.
QWidget *runningView(screenshots::Context &context, const std::function<void()> &during = {})
{
    useFiveSteps(context);
    QWidget *view = dynamicView();
    TsExperiment *experiment = context.experiment();
    TsExperimentScript *script = experiment->script();
    script->setClock(context.clock.function());
    experiment->startDynamic();
    const qint64 start = context.clock.now;
    if (during)
        during();
    context.clock.now = start + 7800000;
    QMetaObject::invokeMethod(script, "updateStatus");
    QObject::connect(view, &QObject::destroyed, [experiment] {
        experiment->stopDynamic();
        experiment->script()->setClock({});
    });
    return view;
}

// The heat unit unplugged when the lid's step fell due; with `back`, plugged in again and the step
// applied late.
QWidget *unpluggedStepView(screenshots::Context &context, bool back)
{
    return runningView(context, [&context, back] {
        context.tick(); // "Settle"
        context.unplug();
        context.clock.now += 1800000;
        context.tick(); // "Warm the lid" finds no controller
        if (back) {
            context.plug();
            context.tick();
        }
    });
}

} // namespace

TESSARO_SCREENSHOT_SCENE(dynamicRunning, "dynamic-running")
{
    return runningView(context);
}

TESSARO_SCREENSHOT_SCENE(dynamicStepFailed, "dynamic-step-failed")
{
    return unpluggedStepView(context, false);
}

TESSARO_SCREENSHOT_SCENE(dynamicStepLate, "dynamic-step-late")
{
    return unpluggedStepView(context, true);
}

TESSARO_SCREENSHOT_SCENE(scriptEditor, "script-editor")
{
    useFiveSteps(context);
    auto *editor = new TsExperimentScriptEditorDialog;
    editor->openDynamicExp(FiveSteps);
    auto *table = editor->findChild<QTableView *>(QStringLiteral("tableViewScript"));
    table->setCurrentIndex(table->model()->index(2, 0));
    editor->updateStates();
    return editor;
}

TESSARO_SCREENSHOT_SCENE(scriptAction, "script-action")
{
    useFiveSteps(context);
    auto *editor = new TsExperimentScriptEditorDialog;
    editor->openDynamicExp(FiveSteps);
    auto *table = editor->findChild<QTableView *>(QStringLiteral("tableViewScript"));
    auto *proxy = qobject_cast<QAbstractProxyModel *>(table->model());
    auto *model = qobject_cast<TsExperimentScriptModel *>(proxy ? proxy->sourceModel() : nullptr);
    auto *dialog = new TsExperimentScriptActionDialog(model, model->index(2, 0));
    // The editor holds the table the dialog edits; it goes when the picture is taken.
    QObject::connect(dialog, &QObject::destroyed, editor, &QObject::deleteLater);
    return dialog;
}
