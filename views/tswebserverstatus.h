// A line at the top of the main window while the web page is down for good: nginx could not be
// started, or it ended too often and was given up. It says why in the web server's own words and
// offers to start it again; while nginx runs, or is still being restarted, it is hidden.
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;
class TsWebInterfaceManager;

class TsWebServerStatus : public QFrame
{
    Q_OBJECT

public:
    explicit TsWebServerStatus(QWidget *parent = nullptr);

public slots:
    // Shows or hides the line as the web interface stands now.
    void refresh();

private slots:
    void on_pushButtonStartWebServer_clicked();

private:
    TsWebInterfaceManager *m_manager;
    QLabel *m_text;
    QPushButton *m_start;
};
