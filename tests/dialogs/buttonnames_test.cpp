// Every button of the program's windows has a name for assistive technology, also those that show
// only an icon or an arrow: the name is what a screen reader speaks.
#include "viewtestsupport.h"

#include "dialogs/tsaboutdialog.h"
#include "dialogs/tsexperimentscripteditordialog.h"
#include "dialogs/tsmailersettingsdialog.h"
#include "dialogs/tsprofileeditordialog.h"
#include "dialogs/tsrecordergraphdialog.h"
#include "dialogs/tsrecordersettingsdialog.h"
#include "dialogs/tssettingsdialog.h"
#include "dialogs/tsupdatedialog.h"
#include "dialogs/tsusersdialog.h"
#include "tsmainwindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QRegularExpression>

#include <functional>
#include <memory>

namespace {

using Window = std::pair<const char *, std::function<QWidget *()>>;

class ButtonNamesTest : public viewtest::ViewFixture, public ::testing::WithParamInterface<Window>
{};

TEST_P(ButtonNamesTest, EveryButtonHasASpokenName)
{
    useStandardChannels();
    const std::unique_ptr<QWidget> window(GetParam().second());
    // The toolkit's own (a line edit's clear button, a table's corner, the menu bar's extension
    // arrow) are not ours to name.
    const QStringList toolkit = {"QLineEditIconButton", "QTableCornerButton", "QToolBarExtension"};
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (toolkit.contains(QLatin1String(button->metaObject()->className())) ||
            button->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QString name = QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name);
        EXPECT_TRUE(name.contains(QRegularExpression(QStringLiteral("\\w\\w"))))
            << qPrintable(button->objectName()) << " is called \"" << qPrintable(name) << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryWindow, ButtonNamesTest,
    ::testing::Values(Window{"MainWindow", [] { return new TsMainWindow; }},
                      Window{"Users", [] { return new TsUsersDialog; }},
                      Window{"ProfileEditor", [] { return new TsProfileEditorDialog; }},
                      Window{"RecorderSettings", [] { return new TsRecorderSettingsDialog; }},
                      Window{"RecorderGraph", [] { return new TsRecorderGraphDialog; }},
                      Window{"ScriptEditor", [] { return new TsExperimentScriptEditorDialog; }},
                      Window{"Settings", [] { return new TsSettingsDialog; }},
                      Window{"MailerSettings", [] { return new TsMailerSettingsDialog; }},
                      Window{"Update", [] { return new TsUpdateDialog; }},
                      Window{"About", [] { return new TsAboutDialog; }}),
    [](const ::testing::TestParamInfo<Window> &info) { return std::string(info.param.first); });

} // namespace
