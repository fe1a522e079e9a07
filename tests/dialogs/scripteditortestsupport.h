// The script editor's tests and the dynamic-experiment view's share this: the real core with the
// user "ann" and the profile "P" on a simulated heat unit, dynamic-experiment files on disk, and
// answers to the modal dialogs that the code under test opens.
#pragma once

#include "device/devicetestsupport.h"

#include "config/tsprofile.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactiontype.h"
#include "tscore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace scripteditortest {

inline const bool simulationReady = (devicetest::simulation(), true);

inline const QString serial = QString::fromStdString(devicetest::freshHeatSerial());
inline const QString stage = serial + QStringLiteral(":1");
inline const QString lid = serial + QStringLiteral(":2");
// A channel of the profile whose controller is not plugged in.
inline const QString missing = QStringLiteral("999X1:1");
inline const QString user = QStringLiteral("ann");

inline TsExperiment *experiment()
{
    return TsCore::experimentManager()->currentExperiment();
}

inline void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    file.write(content);
}

inline QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// An action for a dynamic-experiment file; a value of a kind of its own.
struct Step
{
    QString type;
    qint64 time;
    QString channel;
    QVariant value;
    QString comment;
    bool active = true;
};

// Writes the user's file of that name through the script's own save, so that the file is one the
// program can read.
inline void writeDynamicExp(const QString &name, const QList<Step> &steps)
{
    TsExperimentScript script;
    QList<TsExperimentScriptAction *> actions;
    for (const Step &step : steps) {
        TsExperimentScriptAction *action = TsExperimentScriptActionType::create(step.type, &script);
        ASSERT_NE(action, nullptr);
        action->setTime(step.time);
        action->setComment(step.comment);
        action->setActive(step.active);
        action->setParameter(QStringLiteral("channel.id"), step.channel);
        action->setParameter(QStringLiteral("channel.value"), step.value);
        actions << action;
    }
    script.setActions(actions);
    qDeleteAll(actions);
    script.setName(name);
    const QxResult saved = script.save(TsCore::dynamicExpFile(user, name));
    ASSERT_TRUE(saved.isSuccess()) << qPrintable(saved.toString());
}

// Runs the handler on the next visible modal widget of type T, from the event loop, so that the
// test can make the call that opens it; gives up after five seconds.
template <typename T>
void whenModal(const std::function<void(T *)> &handler)
{
    auto *timer = new QTimer;
    auto *ticks = new int(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, handler] {
        T *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        const bool expired = ++*ticks > 500;
        if ((!widget || !widget->isVisible()) && !expired)
            return;
        timer->stop();
        timer->deleteLater();
        delete ticks;
        if (!expired)
            handler(widget);
    });
    timer->start();
}

// Clicks a table cell as a user would.
template <typename View>
void clickCell(View *view, int row, int column, bool twice = false)
{
    const QModelIndex index = view->model()->index(row, column);
    const QPoint centre = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
}

class CoreFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(simulationReady);
        devicetest::simulation().write(devicetest::heatUnit(serial.toStdString()));

        ASSERT_TRUE(TsCore::makeUserFolders(user));
        TsProfile profile;
        profile.setName(QStringLiteral("P"));
        profile.setValid(true);
        profile.setChannels(
            {channel(stage, "Stage"), channel(lid, "Lid"), channel(missing, "Missing")});
        ASSERT_TRUE(profile.save(TsCore::profileFile(user, QStringLiteral("P"))).isSuccess());
        writeFile(TsCore::settingsFile(), "<?xml version=\"1.0\" standalone=\"yes\"?>\n<TsSettings>"
                                          "<LastUser name=\"ann\"/><LastProfile name=\"P\"/>"
                                          "<LastDynamicExperiment name=\"\"/></TsSettings>\n");

        // The configuration comes back from the event loop shortly after the core is made.
        TsCore::instance();
        ASSERT_TRUE(QTest::qWaitFor([] { return TsCore::currentProfile() == "P"; }, 5000));
        TsDeviceManager *devices = TsCore::deviceManager();
        ASSERT_TRUE(devices->loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
        devices->populateDevices();
        experiment()->stopSampling();
        experiment()->sampleChannels(); // the values a running program would show
        ASSERT_TRUE(experiment()->channel(stage) && experiment()->channel(stage)->isConnected());
        ASSERT_FALSE(experiment()->channel(missing)->isConnected());
    }

    void SetUp() override
    {
        TsCore::setCurrentDynamicExp(QString());
        QDir folder(TsCore::folderPath(TsCore::DynamicExperiments, user));
        for (const QString &file : folder.entryList({QStringLiteral("*.tsx")}, QDir::Files))
            folder.remove(file);
        // "Heating": the stage to 38.5 after 5 s (inactive in file order), the lid's loop on
        // after 1d 02h 03m 04s.
        writeDynamicExp(QStringLiteral("Heating"),
                        {{QStringLiteral("setChannelValue"), 5000, stage, 38.5, "warm", false},
                         {QStringLiteral("setChannelLoopCtrl"), 93784000, lid, true, "lid on"}});
        TsCore::instance()->reloadDynamicExps();
    }

    void TearDown() override
    {
        // A modal left open by a failed case would block the next one.
        while (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        experiment()->stopDynamic();
        experiment()->stopRecorder();
    }

    static TsProfile::Channel channel(const QString &id, const char *name)
    {
        TsProfile::Channel entry;
        entry.id = id;
        entry.name = QString::fromLatin1(name);
        entry.setpoint = 37.0;
        entry.control = true;
        return entry;
    }
};

} // namespace scripteditortest
