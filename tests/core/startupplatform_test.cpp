// Start-up decisions that differ between the systems, taken through the functions that decide so
// that the Windows and macOS answers are checked on any machine: whether there is a desktop to
// open the window on, and where the settings of a --home run are kept. Its own program: the
// settings store's format and paths are process-wide.
#include "startup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct DisplayCase
{
    const char *name;
    HostSystem system;
    const char *platform; // QT_QPA_PLATFORM
    const char *display;
    const char *waylandDisplay;
    bool expected;
};

class StartupDisplay : public ::testing::TestWithParam<DisplayCase>
{};

TEST_P(StartupDisplay, OpensTheWindowWhereThereIsADesktop)
{
    const DisplayCase c = GetParam();
    QProcessEnvironment environment;
    const std::pair<const char *, const char *> variables[] = {
        {"QT_QPA_PLATFORM", c.platform},
        {"DISPLAY", c.display},
        {"WAYLAND_DISPLAY", c.waylandDisplay}};
    for (const auto &[name, value] : variables) {
        if (*value)
            environment.insert(name, value);
    }
    EXPECT_EQ(hasDisplay(c.system, environment), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, StartupDisplay,
    ::testing::Values(
        DisplayCase{"Windows", HostSystem::Windows, "", "", "", true},
        DisplayCase{"WindowsPlatformNamed", HostSystem::Windows, "windows", "", "", true},
        DisplayCase{"MacOS", HostSystem::MacOS, "", "", "", true},
        DisplayCase{"X11", HostSystem::Other, "", ":0", "", true},
        DisplayCase{"Wayland", HostSystem::Other, "", "", "wayland-0", true},
        DisplayCase{"Offscreen", HostSystem::Other, "offscreen", "", "", true},
        DisplayCase{"NoDisplay", HostSystem::Other, "", "", "", false},
        DisplayCase{"XcbWithoutX", HostSystem::Other, "xcb", "", "", false},
        DisplayCase{"WaylandWithoutCompositor", HostSystem::Other, "wayland-egl", "", "", false}),
    [](const auto &info) { return std::string(info.param.name); });

struct SettingsCase
{
    const char *name;
    HostSystem system;
    QSettings::Format format;
    const char *file; // under home/settings
};

class StartupHome : public ::testing::TestWithParam<SettingsCase>
{};

TEST_P(StartupHome, KeepsTheSettingsInAFileUnderHome)
{
    const SettingsCase c = GetParam();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    keepSettingsUnder(home.path(), c.system);

    QSettings store;
    EXPECT_EQ(store.format(), c.format) << "a format whose store the folder cannot hold";
    EXPECT_EQ(store.fileName(), home.path() + "/settings/" + c.file);
    EXPECT_EQ(store.value("dataPath").toString(), home.path() + "/data");
    store.sync();
    EXPECT_TRUE(QFileInfo::exists(store.fileName()));
}

INSTANTIATE_TEST_SUITE_P(
    Systems, StartupHome,
    ::testing::Values(
        SettingsCase{"Windows", HostSystem::Windows, QSettings::IniFormat, "Varon/Tessaro.ini"},
        SettingsCase{"MacOS", HostSystem::MacOS, QSettings::IniFormat, "Varon/Tessaro.ini"},
        // The file earlier runs wrote stays the one read.
        SettingsCase{"Linux", HostSystem::Other, QSettings::NativeFormat, "Varon/Tessaro.conf"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
