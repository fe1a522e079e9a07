#include "tsmainwindow.h"
#include "ui_tsmainwindow.h"

#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/devicespec.h"
#include "device/tsdevice.h"
#include "device/tsdevicemanager.h"
#include "dialogs/tsaboutdialog.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tssettingsdialog.h"
#include "dialogs/tsupdatedialog.h"
#include "tscore.h"
#include "tsdocumentopener.h"
#include "utils/gui/desktopdock.h"
#include "views/tschannelsview.h"
#include "views/tsdynamicview.h"
#include "views/tsemailalertview.h"
#include "views/tsrecorderview.h"
#include "views/tsusersview.h"
#include "views/tswebserverstatus.h"
#include "views/viewresources.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QSpacerItem>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char WindowGeometryKey[] = "windowGeometry";
const char WindowStateKey[] = "windowState";
const char DockScreenKey[] = "dockScreen";
const char DockStateKey[] = "dockState";
const char AllViews[] = "@all";
const int ViewStretch = 32;

template <class View>
QWidget *make(QWidget *parent)
{
    return new View(parent);
}

int primaryScreenIndex()
{
    return qMax(0, QGuiApplication::screens().indexOf(QGuiApplication::primaryScreen()));
}

} // namespace

QList<TsMainWindow::ViewEntry> TsMainWindow::standardViews()
{
    // One line per view: {name, stretch, shown after creation, factory}.
    return {
        {QString(), 32, true, &make<TsUsersView>},
        {QStringLiteral("channels"), 32, true, &make<TsChannelsView>},
        {QStringLiteral("recorder"), 32, false, &make<TsRecorderView>},
        {QStringLiteral("dynamic"), 0, true, &make<TsDynamicView>},
        {QStringLiteral("emailalert"), 32, true, &make<TsEmailAlertView>},
    };
}

TsMainWindow::TsMainWindow(QWidget *parent)
    : TsMainWindow(standardViews(), parent)
{}

TsMainWindow::TsMainWindow(const QList<ViewEntry> &views, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::TsMainWindow)
    , m_screenCount([] { return QGuiApplication::screens().size(); })
{
    initViewResources();
    ui->setupUi(this);
    m_dock = new DesktopDock(this);
    connect(m_dock, &DesktopDock::dockingChanged, this, &TsMainWindow::dockingChanged);

    // The close button floats over the window's top right corner: a docked window has no frame.
    ui->toolButtonClose->setParent(this);
    ui->toolButtonClose->hide();
    connect(ui->toolButtonClose, &QToolButton::clicked, this, &TsMainWindow::quitRequest);

    createActions();
    createTrayIcon();
    createMenus();
    connect(TsCore::instance(), &TsCore::currentProfileChanged, this,
            &TsMainWindow::loadViewsFromProfile);

    ui->mainToolBar->hide();
    ui->statusBar->hide();

    createViews(views);
    // A window made while a profile is already current (a test, a scene) lays out at once.
    if (!TsCore::currentProfile().isEmpty())
        loadViewsFromProfile();
    // The form's height does not hold every view as it wants to be drawn (the lowest would lose
    // its bottom); a geometry saved by the operator still wins below.
    ensurePolished(); // the style sheet's paddings count
    resize(width(), qMax(height(), sizeHint().height()));
    readSettings();
    QTimer::singleShot(0, this, &TsMainWindow::initialize);

    QSettings settings;
    m_dock->setScreen(settings.value(DockScreenKey, primaryScreenIndex()).toInt());
    m_dock->setState(settings.value(DockStateKey, 0).toInt());
}

TsMainWindow::~TsMainWindow()
{
    // The strip reserved on the screen must not outlive the window.
    m_dock->deinit();
    // The views go with the window, while the core lives on to the end of the process: it must
    // not hand them out any more.
    TsCore::setViews(QStringList(), QHash<QString, QWidget *>());
}

void TsMainWindow::createActions()
{
    m_quitAction = new QAction(tr("Quit"), this);
    connect(m_quitAction, &QAction::triggered, this, &TsMainWindow::quitRequest);
    m_updateAction = new QAction(tr("Check for updates"), this);
    connect(m_updateAction, &QAction::triggered, this, &TsMainWindow::showUpdate);
    m_settingsAction = new QAction(tr("Settings"), this);
    connect(m_settingsAction, &QAction::triggered, this, &TsMainWindow::showSettings);
}

void TsMainWindow::createTrayIcon()
{
    // Not every desktop has a tray; without one the window's menus are the only way in.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_updateAction);
    m_trayMenu->addAction(m_settingsAction);
    m_trayMenu->addAction(m_quitAction);
    m_trayIcon = new QSystemTrayIcon(windowIcon(), this);
    m_trayIcon->setToolTip(windowTitle());
    m_trayIcon->setContextMenu(m_trayMenu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    showNormal();
                    raise();
                    activateWindow();
                }
            });
    m_trayIcon->setVisible(true);
}

void TsMainWindow::createMenus()
{
    m_dockingMenu = ui->menuBar->addMenu(tr("Docking"));
    m_dockingMenu->setObjectName(QStringLiteral("menuDocking"));
    connect(m_dockingMenu, &QMenu::aboutToShow, this, &TsMainWindow::updateDockingMenu);
    updateDockingMenu();

    QMenu *help = ui->menuBar->addMenu(tr("Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction *manual = help->addAction(tr("Manual"), this, &TsMainWindow::showManual);
    manual->setShortcut(QKeySequence(Qt::Key_F1));
    help->addAction(m_updateAction);
    // Where the desktop has no tray, its menu is not there to reach the settings from.
    if (!m_trayIcon)
        help->addAction(m_settingsAction);
    help->addAction(tr("About"), this, &TsMainWindow::showAbout);
}

void TsMainWindow::createViews(const QList<ViewEntry> &views)
{
    m_layout = new QVBoxLayout(ui->centralWidget);
    m_layout->setContentsMargins(5, 0, 5, 5);
    m_layout->addWidget(ui->labelLogo, ViewStretch);
    // Where the operator looks first; hidden while the web page is served.
    m_webServerStatus = new TsWebServerStatus(ui->centralWidget);
    m_layout->addWidget(m_webServerStatus);
    for (const ViewEntry &entry : views) {
        QWidget *widget = entry.create ? entry.create(ui->centralWidget) : nullptr;
        if (!widget)
            continue;
        m_layout->addWidget(widget, entry.stretch);
        if (!entry.shownAfterCreation)
            widget->hide();
        if (entry.name.isEmpty())
            continue;
        widget->setObjectName(entry.name);
        m_viewNames.append(entry.name);
        m_views.insert(entry.name, widget);
    }
    TsCore::setViews(m_viewNames, m_views);
}

void TsMainWindow::readSettings()
{
    QSettings settings;
    restoreGeometry(settings.value(WindowGeometryKey).toByteArray());
    restoreState(settings.value(WindowStateKey).toByteArray(), 0);
}

void TsMainWindow::writeSettings()
{
    QSettings settings;
    settings.setValue(WindowGeometryKey, saveGeometry());
    settings.setValue(WindowStateKey, saveState(0));
    settings.setValue(DockScreenKey, m_dock->screen());
    settings.setValue(DockStateKey, dockedSide());
    settings.sync();
}

int TsMainWindow::dockedSide() const
{
    return m_dock->state();
}

void TsMainWindow::showAbout()
{
    TsAboutDialog dialog(this);
    dialog.exec();
}

void TsMainWindow::showManual()
{
    const QString manual =
        QCoreApplication::applicationDirPath() + QStringLiteral("/Manual_Tessaro.pdf");
    qDebug("TsMainWindow::showManual: '%s'", qPrintable(manual));
    const auto sayWhere = [this, manual] {
        TsMessageBox::information(
            this, tr("Manual"),
            tr("The manual could not be shown: no program to open PDF files was found.<br><br>"
               "It is the file <b>%1</b>.")
                .arg(QDir::toNativeSeparators(manual).toHtmlEscaped()));
    };
    if (!QFileInfo::exists(manual)) {
        sayWhere();
        return;
    }
    // Without a program for PDF files nothing would happen at all: say where the manual is.
    TsDocumentOpener::open(manual, this, sayWhere);
}

void TsMainWindow::setTrayMenuEnabled(bool enabled)
{
    if (m_trayMenu)
        m_trayMenu->setEnabled(enabled);
}

void TsMainWindow::showUpdate()
{
    setTrayMenuEnabled(false);
    TsUpdateDialog dialog(this);
    dialog.check();
    dialog.exec();
    setTrayMenuEnabled(true);
}

void TsMainWindow::showSettings()
{
    setTrayMenuEnabled(false);
    TsSettingsDialog dialog(this);
    dialog.exec();
    setTrayMenuEnabled(true);
    // The settings may have started or stopped the web server.
    m_webServerStatus->refresh();
}

void TsMainWindow::initialize()
{
    TsDeviceManager *devices = TsCore::deviceManager();
    connect(devices, &TsDeviceManager::deviceError, this, &TsMainWindow::showDeviceError,
            Qt::UniqueConnection);
    // Queued: the box waits until the configuration manager has finished what it was doing.
    connect(TsCore::configManager(), &TsConfigManager::fileError, this,
            &TsMainWindow::showFileError,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    const QxResult loaded = devices->loadDeviceSpecs();
    QString error = loaded.isSuccess() ? devices->deviceSpecError() : loaded.message();
    if (!error.isEmpty())
        TsMessageBox::critical(this, tr("Device Spec"), error);
}

void TsMainWindow::initScriptEngine() {}

void TsMainWindow::showDeviceError(TsDevice *device, const QString &errorString)
{
    const QString model = device && device->spec() ? device->spec()->name : QString();
    const QString name = device ? device->objectName() : QString();
    const QString serial = device ? device->serialNumber() : QString();
    if (m_deviceErrorsAsked.contains(serial))
        return;
    m_deviceErrorsAsked.insert(serial);
    m_deviceErrors.append(
        {serial, tr("<b>%1</b><br>%2<br><br>").arg(model.toHtmlEscaped(), name.toHtmlEscaped()) +
                     errorString.toHtmlEscaped()});
    QMetaObject::invokeMethod(this, &TsMainWindow::showNextDeviceError, Qt::QueuedConnection);
}

void TsMainWindow::showNextDeviceError()
{
    if (m_deviceErrors.isEmpty())
        return;
    const QPair<QString, QString> error = m_deviceErrors.takeFirst();
    TsMessageBox::critical(this, tr("Device error"), error.second);
    m_deviceErrorsAsked.remove(error.first);
}

void TsMainWindow::showFileError(const QString &message)
{
    TsMessageBox::warning(this, tr("Data file"), message.toHtmlEscaped());
}

void TsMainWindow::loadViewsFromProfile()
{
    for (const QString &name : qAsConst(m_viewNames)) {
        if (QWidget *widget = TsCore::view(name)) {
            widget->hide();
            m_layout->removeWidget(widget);
        }
    }
    // The stretch an earlier load left at the end; deleting only spacers keeps the logo and the
    // users view where they are.
    for (int i = m_layout->count() - 1; i >= 0; --i) {
        if (m_layout->itemAt(i)->spacerItem())
            delete m_layout->takeAt(i);
    }

    const QList<TsProfile::View> list = TsCore::configManager()->profile().views();
    const auto add = [this](QWidget *widget, bool visible) {
        m_layout->addWidget(widget, ViewStretch);
        widget->setVisible(visible);
    };
    if (!list.isEmpty() && list.first().id == QLatin1String(AllViews)) {
        for (const QString &name : qAsConst(m_viewNames)) {
            if (QWidget *widget = TsCore::view(name))
                add(widget, true);
        }
    } else {
        QSet<QString> named;
        for (const TsProfile::View &entry : list) {
            named.insert(entry.id);
            QWidget *widget = m_views.contains(entry.id) ? TsCore::view(entry.id) : nullptr;
            // A profile may name a view twice; it takes the first place only.
            if (widget && m_layout->indexOf(widget) < 0)
                add(widget, entry.visible);
        }
        for (const QString &name : qAsConst(m_viewNames)) {
            QWidget *widget = TsCore::view(name);
            if (widget && !named.contains(name))
                add(widget, true);
        }
    }

    QWidget *channels = TsCore::view(QStringLiteral("channels"));
    if (!channels || channels->isHidden())
        m_layout->addStretch(1);
}

bool TsMainWindow::quitRequest()
{
    const QMessageBox::StandardButton answer =
        TsMessageBox::question(this, tr("Quit?"), tr("Do you really want to quit?"),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        QCoreApplication::quit();
        writeSettings();
        return true;
    }
    // A menu that asked would otherwise stay highlighted.
    QCoreApplication::postEvent(ui->menuBar, new QEvent(QEvent::Leave));
    return false;
}

void TsMainWindow::updateDockingMenu()
{
    m_dockingMenu->clear();
    const int screen = m_dock->screen();
    const int side = dockedSide();
    const int screens = m_screenCount ? m_screenCount() : 1;
    for (int i = 0; i < screens; ++i) {
        const QString prefix = screens > 1 ? tr("Screen %1: ").arg(i) : QString();
        QAction *left =
            m_dockingMenu->addAction(tr("%1Dock left").arg(prefix), this, &TsMainWindow::dockLeft);
        left->setCheckable(true);
        left->setProperty("screenIndex", i);
        left->setProperty("screenSide", QStringLiteral("left"));
        left->setChecked(side == 1 && screen == i);
        QAction *right = m_dockingMenu->addAction(tr("%1Dock right").arg(prefix), this,
                                                  &TsMainWindow::dockRight);
        right->setCheckable(true);
        right->setProperty("screenIndex", i);
        right->setProperty("screenSide", QStringLiteral("right"));
        right->setChecked(side == 2 && screen == i);
        m_dockingMenu->addSeparator();
    }
    QAction *none = m_dockingMenu->addAction(tr("No docking"));
    none->setCheckable(true);
    none->setChecked(side == 0);
    connect(none, &QAction::triggered, m_dock, &DesktopDock::deinit);
}

void TsMainWindow::dockLeft()
{
    if (QObject *action = sender())
        m_dock->setScreen(action->property("screenIndex").toInt());
    m_dock->dockLeft();
}

void TsMainWindow::dockRight()
{
    if (QObject *action = sender())
        m_dock->setScreen(action->property("screenIndex").toInt());
    m_dock->dockRight();
}

void TsMainWindow::dockingChanged()
{
    const int side = dockedSide();
    ui->toolButtonClose->setVisible(side == DesktopDock::DockedLeft ||
                                    side == DesktopDock::DockedRight);
}

void TsMainWindow::closeEvent(QCloseEvent *event)
{
    if (quitRequest())
        event->accept();
    else
        event->ignore();
}

void TsMainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    ui->toolButtonClose->move(width() - ui->toolButtonClose->width() - 3, 0);
}
