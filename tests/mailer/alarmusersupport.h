// For the tests of alert mails through the whole core: a user with an address, made current with a
// profile of one heat unit's stage channel with the alarm on; the controller is found and its
// stability timed by the test's clock, and sampling is left to the test.
#pragma once

#include "device/devicetestsupport.h"

#include "config/tsprofile.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"
#include "user/tsusersettings.h"

#include <gtest/gtest.h>

namespace alarmtest {

inline ::testing::AssertionResult useAlarmUser(const QString &user, const QString &profileName,
                                               const QString &email, const QString &stage,
                                               devicetest::ManualClock &clock)
{
    TsUserSettings settings;
    settings.setEmail(email);
    TsProfile profile;
    profile.setName(profileName);
    profile.setValid(true);
    TsProfile::Channel entry;
    entry.id = stage;
    entry.name = QStringLiteral("Stage");
    entry.alert = true;
    profile.setChannels({entry});
    if (!TsCore::makeUserFolders(user) || !settings.save(TsCore::userDataFile(user)).isSuccess() ||
        !profile.save(TsCore::profileFile(user, profileName)).isSuccess())
        return ::testing::AssertionFailure() << "the user's files cannot be written";

    TsDeviceManager *devices = TsCore::deviceManager();
    if (!devices->loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess())
        return ::testing::AssertionFailure() << "no device specification";
    devices->populateDevices();
    if (!devices->channel(stage))
        return ::testing::AssertionFailure() << "the stage channel is not found";
    devices->channel(stage)->stabilityMonitor().setClock(clock.function());

    TsCore::instance()->reloadUsers();
    if (!TsCore::setCurrentUser(user).isSuccess() ||
        !TsCore::setCurrentProfile(profileName).isSuccess())
        return ::testing::AssertionFailure() << "the user or profile cannot be made current";
    TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    experiment->stopSampling(); // the test drives the ticks
    if (experiment->channels().size() != 1)
        return ::testing::AssertionFailure() << "the profile's channel is missing";
    return ::testing::AssertionSuccess();
}

} // namespace alarmtest
