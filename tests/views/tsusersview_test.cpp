#include "views/tsusersview.h"

#include "../dialogs/dialogtestsupport.h"
#include "viewtestsupport.h"

#include "config/tsconfigmanager.h"
#include "device/tsdevicechannel.h"
#include "dialogs/tsprofileeditordialog.h"
#include "dialogs/tsusersdialog.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactiontype.h"
#include "tscore.h"
#include "user/tsusersettings.h"

#include <QComboBox>
#include <QDir>
#include <QToolButton>

#include <memory>

namespace {

using viewtest::entry;

class TsUsersViewTest : public viewtest::ViewFixture
{
protected:
    AnsweringDialogs answering;

    // Activates the entry with the keyboard, as an operator would, from the entry shown now.
    static void activate(QComboBox *comboBox, const QString &text)
    {
        const int target = comboBox->findText(text);
        ASSERT_GE(target, 0) << qPrintable(text);
        ASSERT_NE(comboBox->currentIndex(), target) << qPrintable(text);
        comboBox->setFocus();
        while (comboBox->currentIndex() < target)
            QTest::keyClick(comboBox, Qt::Key_Down);
        while (comboBox->currentIndex() > target)
            QTest::keyClick(comboBox, Qt::Key_Up);
    }

    static void setOperatorFlags(int flags)
    {
        TsUserSettings settings;
        settings.load(TsCore::userDataFile("Operator"));
        settings.setFlags(flags);
        ASSERT_TRUE(settings.save(TsCore::userDataFile("Operator")).isSuccess());
        TsCore::notifyUserDataChanged("Operator");
        ASSERT_EQ(TsCore::configManager()->userSettings().flags(), flags);
    }

    TsProfile::Channel stageAt(double setpoint) const
    {
        TsProfile::Channel channel = entry(stage, "Stage");
        channel.unit = QStringLiteral("°C");
        channel.setpoint = setpoint;
        channel.control = true;
        return channel;
    }

    double stageSetpoint()
    {
        tick();
        return deviceChannel(stage)->setpointValue();
    }
};

TEST_F(TsUsersViewTest, ListsFollowTheCoreAndARemovedUserLeavesNothingSelected)
{
    useStandardChannels();
    ASSERT_TRUE(TsCore::makeUserFolders("ann"));
    TsCore::instance()->reloadUsers();
    TsUsersView view;
    view.show();
    auto *users = child<QComboBox>(view, "comboBoxUsers");
    auto *profiles = child<QComboBox>(view, "comboBoxProfiles");
    EXPECT_EQ(users->count(), 2);
    EXPECT_EQ(users->currentText(), "Operator");
    EXPECT_EQ(profiles->currentText(), "Test");

    activate(users, "ann");
    EXPECT_EQ(TsCore::currentUser(), "ann");
    EXPECT_EQ(profiles->count(), 0);
    EXPECT_EQ(profiles->currentIndex(), -1);
    // Back again: the profile field shows the profile that is current once more.
    activate(users, "Operator");
    EXPECT_EQ(TsCore::currentProfile(), "Test");
    EXPECT_EQ(profiles->currentText(), "Test");
    activate(users, "ann");

    ASSERT_TRUE(QDir(TsCore::folderPath(TsCore::User, "ann")).removeRecursively());
    TsCore::instance()->reloadUsers();
    EXPECT_EQ(users->findText("ann"), -1);
    EXPECT_EQ(users->currentIndex(), -1);
    EXPECT_TRUE(TsCore::currentUser().isEmpty());

    // The users dialog's selection becomes the current user when it is accepted.
    whenModal<TsUsersDialog>([](TsUsersDialog *dialog) {
        dialog->setSelectedUser("Operator");
        dialog->accept();
    });
    QTest::mouseClick(child<QToolButton>(view, "toolButtonUsers"), Qt::LeftButton);
    EXPECT_EQ(TsCore::currentUser(), "Operator");
    EXPECT_EQ(users->currentText(), "Operator");
}

TEST_F(TsUsersViewTest, ChoosingAProfileAppliesItsValuesOnlyWhenTheUserAsksForIt)
{
    useChannels({stageAt(37.0)});
    TsProfile warm = TsCore::configManager()->profile();
    warm.setName("Warm");
    warm.setChannels({stageAt(40.0)});
    ASSERT_TRUE(warm.save(TsCore::profileFile("Operator", "Warm")).isSuccess());
    TsCore::instance()->reloadProfiles();
    TsUsersView view;
    auto *profiles = child<QComboBox>(view, "comboBoxProfiles");
    ASSERT_EQ(stageSetpoint(), 37.0);

    setOperatorFlags(TsUserSettings::ApplyValuesOnStart);
    activate(profiles, "Warm");
    EXPECT_EQ(TsCore::currentProfile(), "Warm");
    EXPECT_EQ(stageSetpoint(), 37.0);
    EXPECT_TRUE(TsCore::applyValues());

    setOperatorFlags(TsUserSettings::ApplyValuesOnProfileChange);
    activate(profiles, "Test");
    activate(profiles, "Warm");
    EXPECT_EQ(stageSetpoint(), 40.0);

    // Accepting the profile editor makes its profile current without touching the controllers.
    ASSERT_TRUE(deviceChannel(stage)->setValue(TsDeviceChannel::SetpointValue, 30.0).isSuccess());
    ASSERT_EQ(stageSetpoint(), 30.0);
    whenModal<TsProfileEditorDialog>([](TsProfileEditorDialog *editor) {
        EXPECT_EQ(editor->selectedProfile(), "Warm");
        editor->setSelectedProfile("Test");
        editor->accept();
    });
    QTest::mouseClick(child<QToolButton>(view, "toolButtonProfiles"), Qt::LeftButton);
    EXPECT_EQ(TsCore::currentProfile(), "Test");
    EXPECT_EQ(profiles->currentText(), "Test");
    EXPECT_EQ(stageSetpoint(), 30.0);
    EXPECT_TRUE(TsCore::applyValues());
}

TEST_F(TsUsersViewTest, LockedWhileRecordingOrWhileTheScriptRuns)
{
    useStandardChannels();
    TsUsersView view;
    const QList<QWidget *> controls = {
        child<QComboBox>(view, "comboBoxUsers"), child<QToolButton>(view, "toolButtonUsers"),
        child<QComboBox>(view, "comboBoxProfiles"), child<QToolButton>(view, "toolButtonProfiles")};
    auto enabled = [&] {
        int count = 0;
        for (QWidget *widget : controls)
            count += widget->isEnabled() ? 1 : 0;
        return count;
    };
    EXPECT_EQ(enabled(), 4);

    TsExperimentRecorder *recorder = experiment()->recorder();
    TsExperimentScript *script = experiment()->script();
    std::unique_ptr<TsExperimentScriptAction> action(
        TsExperimentScriptActionType::create(QStringLiteral("setChannelValue"), script));
    ASSERT_NE(action, nullptr);
    action->setTime(3600 * 1000); // due long after this test
    action->setActive(true);
    action->setParameter(QStringLiteral("channel.id"), stage);
    action->setParameter(QStringLiteral("channel.value"), 37.0);
    ASSERT_TRUE(script->setActions({action.get()}));

    recorder->start();
    ASSERT_TRUE(recorder->isRunning());
    EXPECT_EQ(enabled(), 0);
    ASSERT_TRUE(script->start());
    recorder->stop();
    EXPECT_EQ(enabled(), 0); // the script still runs
    script->stop();
    EXPECT_EQ(enabled(), 4);

    script->start();
    EXPECT_EQ(enabled(), 0);
    recorder->start();
    script->stop();
    EXPECT_EQ(enabled(), 0); // the recorder still runs
    recorder->stop();
    EXPECT_EQ(enabled(), 4);
    script->clear();
}

} // namespace
