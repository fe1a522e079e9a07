// What the script editor's tests and the dynamic-experiment view's share, on the ground of the
// view tests: dynamic-experiment files on disk, answers to the modal dialogs the code under test
// opens, and clicks on table cells.
#pragma once

#include "viewtestsupport.h"

#include "dialogs/tsmessagebox.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactiontype.h"
#include "tscore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace scripteditortest {

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

// One action of a dynamic-experiment file.
struct Step
{
    QString type;
    qint64 time;
    QString channel;
    QVariant value;
    QString comment;
    bool active = true;
};

// Writes the current user's file of that name through the script's own save, so that it is a file
// the program reads.
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
    const QxResult saved = script.save(TsCore::dynamicExpFile(TsCore::currentUser(), name));
    ASSERT_TRUE(saved.isSuccess()) << qPrintable(saved.toString());
}

// Runs the handler on the next visible modal widget of type T, from the event loop, so that the
// test can go on to the call that opens it; gives up after five seconds.
template <typename T>
void whenModal(const std::function<void(T *)> &handler)
{
    auto *timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, handler] {
        T *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        const bool expired = ++*ticks > 500;
        if ((!widget || !widget->isVisible()) && !expired)
            return;
        timer->stop();
        timer->deleteLater();
        if (!expired)
            handler(widget);
    });
    timer->start();
}

// Types a name into the next text question and accepts it.
inline void answerName(const QString &name)
{
    whenModal<QInputDialog>([name](QInputDialog *input) {
        input->setTextValue(name);
        input->accept();
    });
}

// Clicks a table cell as a user would; twice: a double click.
template <typename View>
void clickCell(View *view, int row, int column, bool twice = false)
{
    const QModelIndex index = view->model()->index(row, column);
    const QPoint centre = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
}

template <typename T>
T *child(const QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// The standard channels with the values a running program would show, the message boxes
// answered, and one dynamic experiment on disk: "Heating", the stage to 38.5 after 5 s (inactive)
// and the lid's loop on after 1d 02h 03m 04s.
class ScriptFixture : public viewtest::ViewFixture
{
protected:
    ScriptFixture()
    {
        TsMessageBox::setAnswering(true);
        useStandardChannels();
        tick();
        TsCore::setCurrentDynamicExp(QString());
        QDir folder(TsCore::folderPath(TsCore::DynamicExperiments, TsCore::currentUser()));
        for (const QString &file : folder.entryList({QStringLiteral("*.tsx")}, QDir::Files))
            folder.remove(file);
        writeDynamicExp(QStringLiteral("Heating"), {{QStringLiteral("setChannelValue"), 5000, stage,
                                                     38.5, QStringLiteral("warm"), false},
                                                    {QStringLiteral("setChannelLoopCtrl"), 93784000,
                                                     lid, true, QStringLiteral("lid on")}});
        TsCore::instance()->reloadDynamicExps();
    }
    ~ScriptFixture() override
    {
        // A modal left open by a failed case would block the next one.
        while (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        experiment()->stopDynamic();
        experiment()->stopRecorder();
        TsCore::setCurrentDynamicExp(QString());
        TsMessageBox::takeAsked();
        TsMessageBox::setAnswering(false);
    }

    QString dynamicExpFile(const QString &name) const
    {
        return TsCore::dynamicExpFile(TsCore::currentUser(), name);
    }
    // The texts of the message boxes shown since the last call.
    static QStringList messages()
    {
        QStringList texts;
        for (const TsMessageBox::Asked &asked : TsMessageBox::takeAsked())
            texts << asked.title + QStringLiteral(": ") + asked.text;
        return texts;
    }
};

} // namespace scripteditortest
