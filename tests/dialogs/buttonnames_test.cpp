// Every button of the program's windows says what it does to assistive technology, also those
// that show only an icon or an arrow: the name is what a screen reader speaks.
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
#include <QStringList>

#include <functional>
#include <memory>

namespace {

struct Window
{
    const char *name;
    std::function<QWidget *()> create;
};

const QStringList ToolkitButtons = {QStringLiteral("QLineEditIconButton"),
                                    QStringLiteral("QTableCornerButton"),
                                    QStringLiteral("QToolBarExtension")};

class ButtonNamesTest : public viewtest::ViewFixture, public ::testing::WithParamInterface<Window>
{};

TEST_P(ButtonNamesTest, EveryButtonHasASpokenName)
{
    useStandardChannels();
    const std::unique_ptr<QWidget> window(GetParam().create());
    const QRegularExpression word(QStringLiteral("\\w\\w"));
    const QList<QAbstractButton *> buttons = window->findChildren<QAbstractButton *>();
    ASSERT_FALSE(buttons.isEmpty());
    for (QAbstractButton *button : buttons) {
        // The toolkit's own (a line edit's clear button, a table's corner, tool-bar extension
        // arrows) are not ours to name.
        if (ToolkitButtons.contains(QLatin1String(button->metaObject()->className())) ||
            button->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(access, nullptr);
        const QString name = access->text(QAccessible::Name);
        EXPECT_TRUE(name.contains(word))
            << GetParam().name << ": " << qPrintable(button->objectName()) << " ("
            << button->metaObject()->className() << ") is called \"" << qPrintable(name) << "\"";
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
    [](const ::testing::TestParamInfo<Window> &info) { return std::string(info.param.name); });

} // namespace
