// What the program is: its version and build, the data folder it works in, and the licences of
// the components shipped with it.
#pragma once

#include <QDialog>

class QLabel;

class TsAboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TsAboutDialog(QWidget *parent = nullptr);
    ~TsAboutDialog() override;

    // The date this file was compiled, as the build's date.
    static QDate buildDate();

private:
    QLabel *m_text = nullptr;
};
