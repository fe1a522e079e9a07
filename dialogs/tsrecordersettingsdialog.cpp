#include "dialogs/tsrecordersettingsdialog.h"
#include "ui_tsrecordersettingsdialog.h"

#include "dialogs/tsmessagebox.h"
#include "utils/namecheck.h"
#include "utils/timecode.h"

#include <QLocale>

TsRecorderSettingsDialog::TsRecorderSettingsDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsRecorderSettingsDialog)
{
    ui->setupUi(this);

    // The comma is offered only where it is not the numbers' decimal point.
    const auto separators = TsRecorderCSVSettings::offeredColumnSeparators(QLocale());
    for (const auto &choice : separators)
        ui->comboBoxSeparator->addItem(choice.first, int(choice.second));
    const auto formats = TsRecorderCSVSettings::offeredDateTimeFormats();
    for (const auto &choice : formats)
        ui->comboBoxDateTimeFormat->addItem(choice.first, choice.second);

    connect(ui->comboBoxStopMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TsRecorderSettingsDialog::updateModeWidgets);
    connect(ui->comboBoxCaptureMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TsRecorderSettingsDialog::updateModeWidgets);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &TsRecorderSettingsDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &TsRecorderSettingsDialog::reject);

    setLogSettings(TsRecorderLogSettings());
    setCsvSettings(TsRecorderCSVSettings());
}

TsRecorderSettingsDialog::~TsRecorderSettingsDialog() = default;

void TsRecorderSettingsDialog::setLogSettings(const TsRecorderLogSettings &settings)
{
    m_logSettings = settings;
    ui->comboBoxStartMode->setCurrentIndex(qBound(0, settings.startMode(), 1));
    ui->comboBoxStopMode->setCurrentIndex(qBound(0, settings.stopMode(), 2));
    const TimeCode duration = TimeCode::fromMilliseconds(settings.stopAfter());
    ui->spinBoxDays->setValue(duration.days);
    ui->spinBoxHours->setValue(duration.hours);
    ui->spinBoxMinutes->setValue(duration.minutes);
    ui->spinBoxSeconds->setValue(duration.seconds);
    ui->comboBoxCaptureMode->setCurrentIndex(qBound(0, settings.captureMode(), 1));
    // Below a second is no cadence the recorder keeps; the spin box shows it as one second.
    if (settings.captureMode() == TsRecorderLogSettings::CaptureInterval)
        ui->spinBoxInterval->setValue(
            TsRecorderLogSettings::intervalToSeconds(settings.interval()));
    if (settings.datapoints() > 0)
        ui->spinBoxDatapoints->setValue(settings.datapoints());
    updateModeWidgets();
}

TsRecorderLogSettings TsRecorderSettingsDialog::logSettings() const
{
    TsRecorderLogSettings settings = m_logSettings;
    settings.setStartMode(ui->comboBoxStartMode->currentIndex());
    const int stopMode = ui->comboBoxStopMode->currentIndex();
    settings.setStopMode(stopMode);
    settings.setStopAfter(TsRecorderLogSettings::stopAfterFor(
        stopMode, ui->spinBoxDays->value(), ui->spinBoxHours->value(), ui->spinBoxMinutes->value(),
        ui->spinBoxSeconds->value()));
    const int captureMode = ui->comboBoxCaptureMode->currentIndex();
    settings.setCaptureMode(captureMode);
    const bool byInterval = captureMode == TsRecorderLogSettings::CaptureInterval;
    settings.setInterval(
        byInterval ? TsRecorderLogSettings::intervalFromSeconds(ui->spinBoxInterval->value()) : 0);
    settings.setDatapoints(byInterval ? 0 : ui->spinBoxDatapoints->value());
    return settings;
}

void TsRecorderSettingsDialog::setCsvSettings(const TsRecorderCSVSettings &settings)
{
    m_csvSettings = settings;
    ui->groupBoxCsv->setChecked(settings.isEnabled());
    ui->comboBoxSeparator->setCurrentIndex(
        TsRecorderCSVSettings::columnSeparatorIndex(settings.columnSeparator(), QLocale()));
    ui->comboBoxDateTimeFormat->setCurrentIndex(
        TsRecorderCSVSettings::dateTimeFormatIndex(settings.dateTimeFormat()));
    ui->checkBoxHeaderLine->setChecked(settings.printHeaderLine());
}

TsRecorderCSVSettings TsRecorderSettingsDialog::csvSettings() const
{
    TsRecorderCSVSettings settings = m_csvSettings;
    settings.setEnabled(ui->groupBoxCsv->isChecked());
    if (ui->comboBoxSeparator->currentIndex() >= 0)
        settings.setColumnSeparator(quint8(ui->comboBoxSeparator->currentData().toInt()));
    settings.setDateTimeFormat(ui->comboBoxDateTimeFormat->currentData().toString());
    settings.setPrintHeaderLine(ui->checkBoxHeaderLine->isChecked());
    return settings;
}

void TsRecorderSettingsDialog::setLogFilePrefix(const QString &prefix)
{
    ui->lineEditPrefix->setText(prefix);
}

QString TsRecorderSettingsDialog::logFilePrefix() const
{
    return ui->lineEditPrefix->text().simplified();
}

void TsRecorderSettingsDialog::setLogFilePrefixPlaceholder(const QString &text)
{
    ui->lineEditPrefix->setPlaceholderText(text);
}

void TsRecorderSettingsDialog::setCsvOnly(bool csvOnly)
{
    ui->groupBoxLog->setVisible(!csvOnly);
    ui->groupBoxFiles->setVisible(!csvOnly);
    adjustSize();
}

void TsRecorderSettingsDialog::accept()
{
    const QString prefix = logFilePrefix();
    if (!prefix.isEmpty() && !Utils::NameCheck::isValidFilePath(prefix)) {
        TsMessageBox::critical(this, tr("Invalid filename"),
                               tr("The filename contains invalid characters."));
        ui->lineEditPrefix->setFocus();
        return;
    }
    if (Utils::NameCheck::isTooLong(prefix)) {
        TsMessageBox::critical(this, tr("Invalid filename"), Utils::NameCheck::tooLongText(true));
        ui->lineEditPrefix->setFocus();
        return;
    }
    // Stopping "after" nothing would end every recording the moment it starts.
    const TsRecorderLogSettings settings = logSettings();
    if (!ui->groupBoxLog->isHidden() && settings.stopMode() == TsRecorderLogSettings::StopAfter &&
        settings.stopAfter() <= 0) {
        TsMessageBox::warning(this, tr("Stop logging"),
                              tr("Please enter the time after which logging stops."));
        ui->spinBoxMinutes->setFocus();
        return;
    }
    QDialog::accept();
}

void TsRecorderSettingsDialog::updateModeWidgets()
{
    const bool stopAfter = ui->comboBoxStopMode->currentIndex() == TsRecorderLogSettings::StopAfter;
    for (QWidget *spinBox :
         {ui->spinBoxDays, ui->spinBoxHours, ui->spinBoxMinutes, ui->spinBoxSeconds})
        spinBox->setEnabled(stopAfter);
    ui->stackedWidgetCapture->setCurrentIndex(
        ui->comboBoxCaptureMode->currentIndex() == TsRecorderLogSettings::CaptureDatapoints ? 1
                                                                                            : 0);
}
