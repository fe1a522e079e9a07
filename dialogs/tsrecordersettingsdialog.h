// Edits the recorder settings: when logging starts and stops, how often it captures, the file-name
// prefix and the CSV output. Used at every level that carries them: a profile's, the recorder
// view's temporary ones and (CSV part only) a user's.
#pragma once

#include "config/tsrecordercsvsettings.h"
#include "config/tsrecorderlogsettings.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class TsRecorderSettingsDialog;
}

class TsRecorderSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TsRecorderSettingsDialog(QWidget *parent = nullptr);
    ~TsRecorderSettingsDialog() override;

    // Values a mode makes meaningless come back as the file would hold them: stopAfter 0 unless
    // stopping after a duration, the interval 0 when capturing datapoints and vice versa.
    void setLogSettings(const TsRecorderLogSettings &settings);
    TsRecorderLogSettings logSettings() const;

    // The dialog's CSV on/off switch is the settings' enabled flag. A stored separator that is
    // not offered is kept unless another one is chosen.
    void setCsvSettings(const TsRecorderCSVSettings &settings);
    TsRecorderCSVSettings csvSettings() const;

    // The prefix comes back with its white space simplified; an empty one means "none at this
    // level", and the placeholder shows what then applies.
    void setLogFilePrefix(const QString &prefix);
    QString logFilePrefix() const;
    void setLogFilePrefixPlaceholder(const QString &text);

    // Shows the CSV part only, for settings that carry nothing else.
    void setCsvOnly(bool csvOnly);

public slots:
    // Refuses an invalid prefix and a zero stop-after duration, keeping the dialog open.
    void accept() override;

private:
    void updateModeWidgets();

    QScopedPointer<Ui::TsRecorderSettingsDialog> ui;
    TsRecorderCSVSettings m_csvSettings;
    TsRecorderLogSettings m_logSettings;
};
