// The users view and the three dialogs behind it, on a profile as an operator would keep it: the
// heat unit's two heaters and the gas unit's CO2 channel, and the O2 channel of a gas unit that is
// not plugged in.
#include "screenshotscene.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsprofileeditordialog.h"
#include "dialogs/tsrecordersettingsdialog.h"
#include "dialogs/tsusersdialog.h"
#include "tscore.h"
#include "user/tsusersettings.h"
#include "views/tsusersview.h"

namespace {

TsProfile::Channel channel(const QString &id, const QString &name, const QColor &color,
                           double setpoint, const QString &unit, bool alert)
{
    TsProfile::Channel entry = viewtest::entry(id, name, alert, color);
    entry.setpoint = setpoint;
    entry.unit = unit;
    entry.control = true;
    return entry;
}

void addUser(const QString &name, const QString &email, int style)
{
    TsCore::makeUserFolders(name);
    TsUserSettings settings;
    settings.setName(name);
    settings.setEmail(email);
    settings.setStyle(style);
    settings.setLogPath(TsCore::folderPath(TsCore::LogData, name));
    settings.save(TsCore::userDataFile(name));
}

void useLabProfile(screenshots::Context &context)
{
    context.otherControllers = devicetest::controller(
        "154B2017", "Gas Unit G2", "0004",
        devicetest::channel(1, "CO2 Sensor", "actual=\"49\" setpoint=\"50\" maximum=\"200\"") +
            devicetest::channel(2, "O2 Sensor", "actual=\"180\" setpoint=\"50\" maximum=\"210\""));
    context.plug("actual=\"369\"", "actual=\"381\" setpoint=\"380\"");
    context.useChannels(
        {channel(context.stage, "Stage Heater", QColor(0xe6, 0x4b, 0x3c), 37.0, "°C", true),
         channel(context.lid, "Lid Heater", QColor(0xf3, 0x9c, 0x12), 38.0, "°C", false),
         channel("154B2017:1", "CO2", QColor(0x34, 0x98, 0xdb), 5.0, "%", true),
         channel("154B2099:2", "O2 (hypoxia unit)", QColor(0x2e, 0xcc, 0x71), 5.0, "%", true)});

    TsProfile profile = TsCore::configManager()->profile();
    profile.setDescription("HeLa time-lapse, 37 °C and 5 % CO2; hypoxia unit joins on day 2.");
    TsRecorderLogSettings log;
    log.setStopMode(TsRecorderLogSettings::StopAfter);
    log.setStopAfter(qint64(2) * 86400 * 1000 + 12 * 3600 * 1000);
    log.setInterval(60 * 1000);
    profile.setLogSettings(log);
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(59);
    csv.setDateTimeFormat("yyyy-MM-dd hh:mm:ss");
    profile.setCsvSettings(csv);
    profile.setLogFilePrefix("HeLa/timelapse");
    profile.setViews(
        {{"channels", true}, {"recorder", true}, {"dynamic", false}, {"emailalert", true}});
    profile.save(TsCore::profileFile("Operator", "Test"));
    TsProfile overnight = profile;
    overnight.setName("Overnight CO2");
    overnight.save(TsCore::profileFile("Operator", "Overnight CO2"));
    TsCore::instance()->reloadProfiles();
    TsCore::setCurrentProfile("Test");

    addUser("Lab Team", "lab-team@institute.example", 1);
    addUser("Night Shift", QString(), 0);
    TsUserSettings operatorSettings;
    operatorSettings.load(TsCore::userDataFile("Operator"));
    operatorSettings.setName("Operator");
    operatorSettings.setEmail("operator@institute.example");
    operatorSettings.setLogPath(TsCore::folderPath(TsCore::LogData, "Operator"));
    operatorSettings.save(TsCore::userDataFile("Operator"));
    TsCore::instance()->reloadUsers();
}

} // namespace

TESSARO_SCREENSHOT_SCENE(usersView, "users-view")
{
    useLabProfile(context);
    auto *view = new TsUsersView;
    view->setFixedWidth(260);
    return view;
}

TESSARO_SCREENSHOT_SCENE(usersDialog, "users-dialog")
{
    useLabProfile(context);
    auto *dialog = new TsUsersDialog;
    dialog->setSelectedUser("Operator");
    return dialog;
}

TESSARO_SCREENSHOT_SCENE(profileEditor, "profile-editor")
{
    useLabProfile(context);
    return new TsProfileEditorDialog;
}

TESSARO_SCREENSHOT_SCENE(recorderSettings, "recorder-settings")
{
    useLabProfile(context);
    const TsProfile profile = TsCore::configManager()->profile();
    auto *dialog = new TsRecorderSettingsDialog;
    dialog->setLogSettings(profile.logSettings());
    dialog->setCsvSettings(profile.csvSettings());
    dialog->setLogFilePrefix(profile.logFilePrefix());
    dialog->setLogFilePrefixPlaceholder("asked when recording starts");
    return dialog;
}
