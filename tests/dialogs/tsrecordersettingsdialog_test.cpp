#include "dialogs/tsrecordersettingsdialog.h"

#include "dialogtestsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class TsRecorderSettingsDialogTest : public ::testing::Test
{
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    AnsweringDialogs answering;

    static void clickOk(TsRecorderSettingsDialog &dialog)
    {
        auto *buttons = child<QDialogButtonBox>(dialog, "buttonBox");
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }
};

TEST_F(TsRecorderSettingsDialogTest, StopAfterDurationIsEnteredInUnitsAndKeptOnlyForThatMode)
{
    TsRecorderSettingsDialog dialog;
    dialog.show();
    auto *stopMode = child<QComboBox>(dialog, "comboBoxStopMode");
    auto *days = child<QSpinBox>(dialog, "spinBoxDays");
    EXPECT_FALSE(days->isEnabled());

    chooseIndex(stopMode, 2);
    EXPECT_TRUE(days->isEnabled());
    retype(days, "1");
    retype(child<QSpinBox>(dialog, "spinBoxHours"), "2");
    retype(child<QSpinBox>(dialog, "spinBoxMinutes"), "3");
    retype(child<QSpinBox>(dialog, "spinBoxSeconds"), "4");
    EXPECT_EQ(dialog.logSettings().stopMode(), 2);
    EXPECT_EQ(dialog.logSettings().stopAfter(), ((86400 + 2 * 3600 + 3 * 60) + 4) * 1000LL);

    chooseIndex(stopMode, 1);
    EXPECT_EQ(dialog.logSettings().stopAfter(), 0);

    // Shown back split into its units.
    TsRecorderLogSettings stored;
    stored.setStopMode(TsRecorderLogSettings::StopAfter);
    stored.setStopAfter(((3 * 86400) + 5 * 60) * 1000LL);
    dialog.setLogSettings(stored);
    EXPECT_EQ(days->value(), 3);
    EXPECT_EQ(child<QSpinBox>(dialog, "spinBoxMinutes")->value(), 5);
    EXPECT_EQ(dialog.logSettings(), stored);
}

TEST_F(TsRecorderSettingsDialogTest, ZeroStopAfterDurationIsRefused)
{
    TsRecorderSettingsDialog dialog;
    dialog.show();
    chooseIndex(child<QComboBox>(dialog, "comboBoxStopMode"), 2);
    clickOk(dialog);
    EXPECT_EQ(shown(),
              QStringList{"Stop logging: Please enter the time after which logging stops."});
    EXPECT_TRUE(dialog.isVisible());
    retype(child<QSpinBox>(dialog, "spinBoxSeconds"), "30");
    clickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.logSettings().stopAfter(), 30000);
}

TEST_F(TsRecorderSettingsDialogTest, IntervalIsWholeSecondsAndDatapointsReplaceIt)
{
    TsRecorderSettingsDialog dialog;
    dialog.show();
    TsRecorderLogSettings stored;
    stored.setInterval(2500);
    dialog.setLogSettings(stored);
    auto *interval = child<QSpinBox>(dialog, "spinBoxInterval");
    EXPECT_EQ(interval->value(), 2);
    EXPECT_EQ(dialog.logSettings().interval(), 2000);

    // Below one second is not a cadence the recorder can keep.
    stored.setInterval(400);
    dialog.setLogSettings(stored);
    EXPECT_EQ(interval->value(), 1);
    EXPECT_EQ(dialog.logSettings().interval(), 1000);
    retype(interval, "0");
    EXPECT_EQ(dialog.logSettings().interval(), 1000);
    retype(interval, "300");
    EXPECT_EQ(dialog.logSettings().interval(), 300000);

    chooseIndex(child<QComboBox>(dialog, "comboBoxCaptureMode"), 1);
    EXPECT_FALSE(interval->isVisible());
    auto *datapoints = child<QSpinBox>(dialog, "spinBoxDatapoints");
    EXPECT_TRUE(datapoints->isVisible());
    retype(datapoints, "250");
    const TsRecorderLogSettings settings = dialog.logSettings();
    EXPECT_EQ(settings.captureMode(), 1);
    EXPECT_EQ(settings.datapoints(), 250);
    EXPECT_EQ(settings.interval(), 0);
}

TEST_F(TsRecorderSettingsDialogTest, SeparatorsFollowTheLocaleAndFormatsFallBackToTheFirst)
{
    {
        TsRecorderSettingsDialog dialog;
        auto *separators = child<QComboBox>(dialog, "comboBoxSeparator");
        ASSERT_EQ(separators->count(), 3);
        EXPECT_EQ(separators->itemText(0), "Tab (\\t)");
        EXPECT_EQ(separators->itemText(2), "Comma (,)");
    }

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TsRecorderSettingsDialog dialog;
    auto *separators = child<QComboBox>(dialog, "comboBoxSeparator");
    ASSERT_EQ(separators->count(), 2);
    EXPECT_EQ(separators->itemText(1), "Semicolon (;)");

    // A comma stored under another locale shows no selection and survives the dialog.
    TsRecorderCSVSettings stored;
    stored.setEnabled(true);
    stored.setColumnSeparator(44);
    stored.setDateTimeFormat("hh:mm yyyy");
    stored.setPrintHeaderLine(false);
    dialog.setCsvSettings(stored);
    EXPECT_EQ(separators->currentIndex(), -1);
    auto *formats = child<QComboBox>(dialog, "comboBoxDateTimeFormat");
    EXPECT_EQ(formats->currentIndex(), 0);
    TsRecorderCSVSettings shown = dialog.csvSettings();
    EXPECT_TRUE(shown.isEnabled());
    EXPECT_EQ(shown.columnSeparator(), 44);
    EXPECT_EQ(shown.dateTimeFormat(), "yyyy-MM-dd hh:mm:ss");
    EXPECT_FALSE(shown.printHeaderLine());

    dialog.show();
    chooseIndex(separators, 1);
    chooseIndex(formats, 4);
    auto *header = child<QCheckBox>(dialog, "checkBoxHeaderLine");
    header->setFocus();
    QTest::keyClick(header, Qt::Key_Space);
    shown = dialog.csvSettings();
    EXPECT_EQ(shown.columnSeparator(), 59);
    EXPECT_EQ(shown.dateTimeFormat(), "relative-time");
    EXPECT_TRUE(shown.printHeaderLine());

    // The group's check box is the CSV on/off switch.
    auto *csv = child<QGroupBox>(dialog, "groupBoxCsv");
    csv->setFocus();
    QTest::keyClick(csv, Qt::Key_Space);
    EXPECT_FALSE(dialog.csvSettings().isEnabled());
}

TEST_F(TsRecorderSettingsDialogTest, PrefixIsSimplifiedAndRefusedWhenItIsNoFileName)
{
    TsRecorderSettingsDialog dialog;
    dialog.setLogFilePrefixPlaceholder("from-profile");
    dialog.show();
    auto *prefix = child<QLineEdit>(dialog, "lineEditPrefix");
    EXPECT_EQ(prefix->placeholderText(), "from-profile");

    for (const char *refused : {"run:1", "CON", ".hidden", "a|b", "x?"}) {
        prefix->clear();
        QTest::keyClicks(prefix, refused);
        clickOk(dialog);
        EXPECT_EQ(shown(),
                  QStringList{"Invalid filename: The filename contains invalid characters."})
            << refused;
        EXPECT_TRUE(dialog.isVisible()) << refused;
    }
    // Refused here, not with the first row of the recording as "File name too long".
    for (const QString &tooLong :
         {QString(65, 'x'), "day 3/" + QString(65, 'x'), QString(65, 'x') + "/run"}) {
        prefix->setText(tooLong);
        clickOk(dialog);
        EXPECT_EQ(shown(), QStringList{"Invalid filename: The name is too long: each folder and "
                                       "file name may have at most 64 characters."});
        EXPECT_TRUE(dialog.isVisible());
    }

    prefix->clear();
    QTest::keyClicks(prefix, "  day 3/run   A ");
    clickOk(dialog);
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.logFilePrefix(), "day 3/run A");

    // An empty prefix leaves the choice to the level below.
    TsRecorderSettingsDialog empty;
    empty.show();
    clickOk(empty);
    EXPECT_EQ(empty.result(), QDialog::Accepted);
    EXPECT_TRUE(empty.logFilePrefix().isEmpty());
}

} // namespace
