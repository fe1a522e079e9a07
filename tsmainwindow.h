// The program's one window: a narrow panel of stacked views (users, channels, recorder, dynamic
// experiment, e-mail alert) laid out as the current profile says, with the docking and help
// menus, a tray icon, and one question before every way out.
#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QScopedPointer>
#include <QSet>
#include <QStringList>

#include <functional>

namespace Ui {
class TsMainWindow;
}

class DesktopDock;
class QMenu;
class QSystemTrayIcon;
class QVBoxLayout;
class TsDevice;
class TsWebServerStatus;

class TsMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // One view of the panel. A view without a name is always shown and never moved (the users
    // view); named views are registered with the core and follow the profile's view list.
    struct ViewEntry
    {
        QString name;
        int stretch = 32;
        bool shownAfterCreation = true;
        std::function<QWidget *(QWidget *parent)> create;
    };

    // The program's views, in the order they are laid out below the logo.
    static QList<ViewEntry> standardViews();

    explicit TsMainWindow(QWidget *parent = nullptr);
    // With other views than the program's, for tests of the layout.
    explicit TsMainWindow(const QList<ViewEntry> &views, QWidget *parent = nullptr);
    ~TsMainWindow() override;

    QStringList viewNames() const { return m_viewNames; }
    QWidget *view(const QString &name) const { return m_views.value(name); }
    QMenu *dockingMenu() const { return m_dockingMenu; }
    DesktopDock *desktopDock() const { return m_dock; }

    // Where the screens come from when the docking menu is built; tests set a count of their own.
    void setScreenCounter(const std::function<int()> &counter) { m_screenCount = counter; }

    // Writes the window's geometry, state and docking to the settings store. Done on a confirmed
    // quit and when the program is told to end from outside (session end, SIGTERM).
    void writeSettings();

public slots:
    void showAbout();
    void showManual();
    void showUpdate();
    void showSettings();

protected slots:
    void initialize();
    void initScriptEngine();
    void loadViewsFromProfile();
    bool quitRequest();
    void updateDockingMenu();
    void dockLeft();
    void dockRight();
    void dockingChanged();
    // Takes the error down while the device is still there and shows it once the scan that
    // reported it is over: a box open inside the scan would hold up every scan after it.
    void showDeviceError(TsDevice *device, const QString &errorString);
    void showNextDeviceError();
    // A settings, user or profile file that could not be read or saved.
    void showFileError(const QString &message);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createActions();
    void createTrayIcon();
    void createMenus();
    void createViews(const QList<ViewEntry> &views);
    void readSettings();
    int dockedSide() const;
    void setTrayMenuEnabled(bool enabled);

    QScopedPointer<Ui::TsMainWindow> ui;
    DesktopDock *m_dock = nullptr;
    QMenu *m_dockingMenu = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_updateAction = nullptr;
    QAction *m_settingsAction = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QVBoxLayout *m_layout = nullptr;
    TsWebServerStatus *m_webServerStatus = nullptr;
    QStringList m_viewNames;
    QHash<QString, QWidget *> m_views;
    std::function<int()> m_screenCount;
    // Device errors waiting for their box, oldest first, and the controllers (by serial number)
    // whose box is waiting or open: one box per controller until it is answered.
    QList<QPair<QString, QString>> m_deviceErrors;
    QSet<QString> m_deviceErrorsAsked;
};
