// The main window against the real core in a temporary home: the layout that follows the
// profile's view list, the docking menu, the one question before every way out, and the boxes
// and files the window opens.
#include "tsmainwindow.h"

#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/devicespec.h"
#include "device/devicetestsupport.h"
#include "device/tsdevice.h"
#include "device/tsdevicemanager.h"
#include "dialogs/tsaboutdialog.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tssettingsdialog.h"
#include "dialogs/tsupdatechecker.h"
#include "dialogs/tsupdatedialog.h"
#include "startup.h"
#include "testenvironment.h"
#include "tscore.h"
#include "utils/gui/desktopdock.h"
#include "webinterface/tswebinterfacemanager.h"
#include "webtestsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>

#include <functional>

#include <gtest/gtest.h>

namespace {

const char User[] = "Layout";
// The controllers the device manager finds come from this test's simulation file.
const bool simulationReady = (devicetest::simulation(), true);

// Stand-ins for the views: what is tested here is where the window puts them, not what they show.
QList<TsMainWindow::ViewEntry> placeholderViews()
{
    const auto label = [](const char *name) {
        return [name](QWidget *parent) -> QWidget * {
            auto *view = new QLabel(QString::fromLatin1(name), parent);
            view->setObjectName(QString::fromLatin1(name));
            return view;
        };
    };
    return {{QString(), 32, true, label("users")},
            {QStringLiteral("channels"), 32, true, label("channels")},
            {QStringLiteral("recorder"), 32, false, label("recorder")},
            {QStringLiteral("dynamic"), 0, true, label("dynamic")},
            {QStringLiteral("emailalert"), 32, true, label("emailalert")}};
}

// The layout as "name" for a shown widget, "(name)" for a hidden one, "stretch N" for a spacer.
QStringList layoutOf(TsMainWindow &window)
{
    QStringList items;
    auto *box = qobject_cast<QBoxLayout *>(window.centralWidget()->layout());
    for (int i = 0; box && i < box->count(); ++i) {
        QLayoutItem *item = box->itemAt(i);
        if (QWidget *widget = item->widget()) {
            const QString name = widget->objectName();
            items << (widget->isHidden() ? QStringLiteral("(%1)").arg(name) : name);
        } else if (item->spacerItem()) {
            items << QStringLiteral("stretch %1").arg(box->stretch(i));
        }
    }
    return items;
}

void writeProfile(const QString &name, const QList<TsProfile::View> &views)
{
    TsProfile profile;
    profile.setName(name);
    profile.setValid(true);
    profile.setViews(views);
    ASSERT_TRUE(profile.save(TsCore::profileFile(QString::fromLatin1(User), name)).isSuccess());
}

const QStringList WindowKeys = {"windowGeometry", "windowState", "dockScreen", "dockState"};

class TsMainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TsMessageBox::setAnswering(true);
        TsMessageBox::takeAsked();
        QSettings settings;
        for (const QString &key : WindowKeys)
            settings.remove(key);
        TsCore::makeUserFolders(QString::fromLatin1(User));
        TsCore::instance()->reloadUsers();
        window.reset(new TsMainWindow(placeholderViews()));
        window->show();
    }
    void TearDown() override
    {
        TsCore::setCurrentUser(QString());
        window.reset();
    }

    void selectProfile(const QString &name)
    {
        TsCore::setCurrentUser(QString::fromLatin1(User));
        TsCore::instance()->reloadProfiles();
        ASSERT_TRUE(TsCore::setCurrentProfile(name).isSuccess()) << qPrintable(name);
    }

    QScopedPointer<TsMainWindow> window;
};

TEST_F(TsMainWindowTest, RegistersTheNamedViewsWithTheCoreInOrder)
{
    EXPECT_EQ(TsCore::viewNames(), QStringList({"channels", "recorder", "dynamic", "emailalert"}));
    EXPECT_EQ(TsCore::view("channels"), window->view("channels"));
    EXPECT_EQ(TsCore::view("users"), nullptr) << "the users view is always there, unregistered";
    EXPECT_EQ(layoutOf(*window), QStringList({"labelLogo", "(webServerStatus)", "users", "channels",
                                              "(recorder)", "dynamic", "emailalert"}));
    EXPECT_EQ(window->width(), 226);
    EXPECT_EQ(window->maximumWidth(), 226);
}

TEST_F(TsMainWindowTest, LayoutFollowsTheProfilesViewList)
{
    writeProfile("named", {{"recorder", false}, {"channels", true}});
    writeProfile("nochannels", {{"channels", false}, {"unknown", true}});
    writeProfile("all", {{"@all", false}, {"recorder", false}});
    writeProfile("empty", {});

    // Listed views in list order with their flags, then the unlisted ones shown.
    selectProfile("named");
    EXPECT_EQ(layoutOf(*window), QStringList({"labelLogo", "(webServerStatus)", "users",
                                              "(recorder)", "channels", "dynamic", "emailalert"}));

    // Without channels the rest gathers at the top; unregistered names are skipped.
    selectProfile("nochannels");
    EXPECT_EQ(layoutOf(*window),
              QStringList({"labelLogo", "(webServerStatus)", "users", "(channels)", "recorder",
                           "dynamic", "emailalert", "stretch 1"}));
    // Loading again, also twice in a row, keeps one stretch only.
    selectProfile("nochannels");
    TsCore::setCurrentProfile("nochannels");
    EXPECT_EQ(layoutOf(*window).count("stretch 1"), 1);

    // "@all": every view in registration order, shown, whatever follows.
    selectProfile("all");
    EXPECT_EQ(layoutOf(*window), QStringList({"labelLogo", "(webServerStatus)", "users", "channels",
                                              "recorder", "dynamic", "emailalert"}));

    selectProfile("empty");
    EXPECT_EQ(layoutOf(*window), QStringList({"labelLogo", "(webServerStatus)", "users", "channels",
                                              "recorder", "dynamic", "emailalert"}));
    auto *box = qobject_cast<QBoxLayout *>(window->centralWidget()->layout());
    EXPECT_EQ(box->stretch(box->indexOf(window->view("dynamic"))), 32);
}

TEST_F(TsMainWindowTest, TheFirstWindowHoldsEveryViewWhole)
{
    // Views that may be squeezed below the height they want, as the real ones can.
    QList<TsMainWindow::ViewEntry> tall = placeholderViews();
    for (TsMainWindow::ViewEntry &entry : tall) {
        entry.create = [](QWidget *parent) -> QWidget * {
            auto *view = new QListWidget(parent);
            view->addItems({"a", "b", "c", "d", "e", "f", "g", "h", "i"});
            return view;
        };
    }
    TsMainWindow first(tall);
    first.show();
    QCoreApplication::processEvents();
    for (const QString &name : first.viewNames()) {
        QWidget *view = first.view(name);
        if (view->isVisible())
            EXPECT_GE(view->height(), view->sizeHint().height()) << qPrintable(name);
    }
    EXPECT_EQ(first.width(), 226);
}

TEST_F(TsMainWindowTest, DockingMenuOffersBothEdgesOfEveryScreen)
{
    const auto entries = [this] {
        QStringList texts;
        for (QAction *action : window->dockingMenu()->actions()) {
            if (!action->isSeparator())
                texts << action->text() + (action->isChecked() ? " *" : "");
        }
        return texts;
    };
    window->setScreenCounter([] { return 1; });
    emit window->dockingMenu()->aboutToShow();
    EXPECT_EQ(entries(), QStringList({"Dock left", "Dock right", "No docking *"}));

    window->setScreenCounter([] { return 2; });
    emit window->dockingMenu()->aboutToShow();
    EXPECT_EQ(entries(),
              QStringList({"Screen 0: Dock left", "Screen 0: Dock right", "Screen 1: Dock left",
                           "Screen 1: Dock right", "No docking *"}));
    QAction *secondRight = window->dockingMenu()->actions().at(4);
    EXPECT_EQ(secondRight->property("screenIndex").toInt(), 1);
    EXPECT_EQ(secondRight->property("screenSide").toString(), "right");
    EXPECT_TRUE(secondRight->isCheckable());

    // Offscreen there is no desktop to dock to: the window stays as it was, with its frame.
    secondRight->trigger();
    emit window->dockingMenu()->aboutToShow();
    EXPECT_EQ(entries().last(), "No docking *");
    EXPECT_TRUE(window->findChild<QToolButton *>("toolButtonClose")->isHidden());
    EXPECT_EQ(window->desktopDock()->state(), 0);
}

TEST_F(TsMainWindowTest, QuitAnsweredNoKeepsEverythingAndWritesNothing)
{
    writeProfile("named", {{"recorder", false}, {"channels", true}});
    selectProfile("named");
    const QStringList before = layoutOf(*window);

    // Unanswered, the box takes its default button: No.
    window->close();
    const QList<TsMessageBox::Asked> asked = TsMessageBox::takeAsked();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.at(0).title, "Quit?");
    EXPECT_EQ(asked.at(0).text, "Do you really want to quit?");
    EXPECT_EQ(asked.at(0).answer, QMessageBox::No);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(layoutOf(*window), before);
    EXPECT_EQ(TsCore::currentProfile(), "named");
    QSettings settings;
    for (const QString &key : WindowKeys)
        EXPECT_FALSE(settings.contains(key)) << qPrintable(key);
}

TEST_F(TsMainWindowTest, QuitAnsweredYesFromTheCloseButtonWritesTheWindowsPlace)
{
    // The floating close button is the way out of a docked window; it asks the same question.
    auto *close = window->findChild<QToolButton *>("toolButtonClose");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->parentWidget(), window.data()) << "floats over the window";
    EXPECT_TRUE(close->isHidden()) << "undocked, the frame has its own close button";

    window->move(40, 60);
    TsMessageBox::queueAnswer(QMessageBox::Yes);
    // Yes ends the event loop: it returns with 0, not with the guard's 99.
    QTimer::singleShot(0, close, &QToolButton::click);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(TsMessageBox::takeAsked().size(), 1);
    QSettings settings;
    for (const QString &key : WindowKeys)
        EXPECT_TRUE(settings.contains(key)) << qPrintable(key);
    EXPECT_EQ(settings.value("dockState").toInt(), 0);

    // The next window takes the place the first one left.
    const QRect placed = window->geometry();
    window.reset();
    TsMainWindow next(placeholderViews());
    EXPECT_EQ(next.geometry(), placed);
}

TEST_F(TsMainWindowTest, DeviceErrorNamesModelAndSerialNumber)
{
    struct Device : TsDevice
    {
        using TsDevice::TsDevice;
        QxResult open() override { return {}; }
        QxResult close() override { return {}; }
        QxResult updateStatus() override { return {}; }
    };
    DeviceSpec spec;
    spec.name = "Heat Unit H2";
    TsDevice::Info info;
    info.serialNumber = "150A7001";
    info.spec = &spec;
    Device device(info);
    device.setObjectName(info.serialNumber);

    // The window listens once its start-up step has run on the event loop.
    QList<TsMessageBox::Asked> asked;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        emit TsCore::deviceManager()->deviceError(&device, "Read <timed out>");
        asked = TsMessageBox::takeAsked();
        return !asked.isEmpty();
    }));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.at(0).icon, QMessageBox::Critical);
    EXPECT_EQ(asked.at(0).title, "Device error");
    EXPECT_EQ(asked.at(0).text, "<b>Heat Unit H2</b><br>150A7001<br><br>Read &lt;timed out&gt;");
}

// The visible "Device error" boxes.
QList<QMessageBox *> deviceErrorBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->isVisible() && box->windowTitle() == "Device error")
            boxes << box;
    }
    return boxes;
}

// A controller given up overnight must not stop the scans: while its box waits for someone to
// click OK, a controller plugged in is still found, and the same controller gets no second box.
TEST_F(TsMainWindowTest, ScanningGoesOnWhileADeviceErrorBoxIsOpen)
{
    TsMessageBox::setAnswering(false);
    TsDeviceManager *devices = TsCore::deviceManager();
    // The window's start-up step, which listens to the device manager, runs on the event loop.
    QTest::qWait(10);
    ASSERT_FALSE(devices->deviceSpecs().devices().empty());
    const std::string broken = devicetest::freshHeatSerial();
    const std::string later = devicetest::freshHeatSerial();
    devicetest::simulation().write(devicetest::heatUnit(broken, "openFailures=\"100\""));

    bool handled = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QList<QMessageBox *> boxes = deviceErrorBoxes();
        if (handled || boxes.isEmpty())
            return;
        handled = true;
        EXPECT_TRUE(boxes.first()->text().contains(QString::fromStdString(broken)));
        devicetest::simulation().write(devicetest::heatUnit(broken, "openFailures=\"100\"") +
                                       devicetest::heatUnit(later));
        devices->populateDevices();
        EXPECT_TRUE(devices->devices().contains(QString::fromStdString(later)))
            << "the scan while the box is open found nothing";
        // The same controller again, before the box is answered: no second box.
        struct Device : TsDevice
        {
            using TsDevice::TsDevice;
            QxResult open() override { return {}; }
            QxResult close() override { return {}; }
            QxResult updateStatus() override { return {}; }
        };
        TsDevice::Info info;
        info.serialNumber = QString::fromStdString(broken);
        Device again(info);
        // A second box is closed at once, so that a failing run ends.
        bool second = false;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto *top = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (deviceErrorBoxes().size() > 1 && top) {
                second = true;
                top->button(QMessageBox::Ok)->click();
            }
        });
        closer.start(10);
        emit devices->deviceError(&again, "once more");
        QTest::qWait(50);
        EXPECT_FALSE(second);
        QTest::mouseClick(boxes.first()->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll.start(10);
    QSignalSpy errors(devices, &TsDeviceManager::deviceError);
    for (int scan = 0; scan < 40; ++scan)
        devices->populateDevices();
    EXPECT_EQ(errors.count(), 1) << devices->openFailures();
    EXPECT_TRUE(QTest::qWaitFor([&] { return handled; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([] { return deviceErrorBoxes().isEmpty(); }, 5000));
    TsMessageBox::setAnswering(true);
    devicetest::simulation().write("");
    devices->populateDevices();
}

// A web server that keeps dying is given up; the operator learns it from the window and starts it
// again from there.
TEST_F(TsMainWindowTest, AWebServerGivenUpIsShownWithAWayToStartItAgain)
{
    auto *status = window->findChild<QWidget *>("webServerStatus");
    ASSERT_NE(status, nullptr);
    EXPECT_FALSE(status->isVisible()) << "nothing to say before the web server ran";

    QTemporaryDir pages;
    ASSERT_TRUE(pages.isValid());
    // nginx's workers run as nobody under root: the pages must be readable by anyone.
    QFile::setPermissions(pages.path(),
                          QFile::permissions(pages.path()) | QFile::ReadOther | QFile::ExeOther);
    ASSERT_TRUE(webtest::copyTree(QCoreApplication::applicationDirPath() + "/webserver",
                                  pages.path() + "/webserver"));
    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    web->setWebServerDir(pages.path() + "/webserver");
    TsWebInterfaceSettings settings = web->settings();
    settings.httpPort = webtest::freePort();
    settings.fcgiPort = webtest::freePort();
    web->setSettings(settings);
    web->setRestartDelays({}); // the first end is the last
    web->start();
    // The start is said when nginx has come up, not by start() itself.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web->isStarting(); }, 10000));
    ASSERT_TRUE(web->isRunning()) << qPrintable(web->errorString());
    EXPECT_FALSE(status->isVisible());

    QFile pidFile(web->runtimeDir() + "/nginx.pid");
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    ::kill(pid_t(pidFile.readAll().trimmed().toLongLong()), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web->isRunning(); }, 10000));
    EXPECT_TRUE(status->isVisible());
    const QString said = status->findChild<QLabel *>("labelWebServerStatus")->text();
    EXPECT_TRUE(said.startsWith("The web page is not available. The web server ended "
                                "unexpectedly"))
        << qPrintable(said);

    QTest::mouseClick(status->findChild<QPushButton *>("pushButtonStartWebServer"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web->isStarting(); }, 10000));
    EXPECT_TRUE(web->isRunning()) << qPrintable(web->errorString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !status->isVisible(); }, 2000));
    web->stop();
}

TEST_F(TsMainWindowTest, ADataFileThatCouldNotBeUsedIsSaidInABox)
{
    QList<TsMessageBox::Asked> asked;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        emit TsCore::configManager()->fileError("Bad profile 'X.tsp'. <premature end> (line 3, "
                                                "column 1)");
        QCoreApplication::processEvents();
        asked = TsMessageBox::takeAsked();
        return !asked.isEmpty();
    }));
    ASSERT_GE(asked.size(), 1);
    EXPECT_EQ(asked.at(0).icon, QMessageBox::Warning);
    EXPECT_EQ(asked.at(0).title, "Data file");
    EXPECT_EQ(asked.at(0).text, "Bad profile 'X.tsp'. &lt;premature end&gt; (line 3, column 1)");
}

// Closes the next modal dialog of type Dialog once it is up and tells whether one came.
template <class Dialog>
bool rejectNextDialog(const std::function<void()> &open)
{
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            seen = true;
            dialog->reject();
        }
    });
    poll.start(10);
    open();
    return seen;
}

TEST_F(TsMainWindowTest, HelpMenuOpensSettingsAndUpdateCheckModally)
{
    QMenu *help = window->findChild<QMenu *>("menuHelp");
    ASSERT_NE(help, nullptr);
    QStringList texts;
    for (QAction *action : help->actions())
        texts << action->text();
    // The offscreen desktop has no tray, so the settings move into the window's own menu.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    EXPECT_EQ(texts, QStringList({"Manual", "Check for updates", "Settings", "About"}));
    EXPECT_EQ(help->actions().first()->shortcut(), QKeySequence(Qt::Key_F1));

    EXPECT_TRUE(rejectNextDialog<TsSettingsDialog>([&] { help->actions().at(2)->trigger(); }));
    // The update page of the test is nowhere: the dialog still opens, with the error in it.
    QSettings().setValue(TsUpdateChecker::UpdatePageUrlKey, "http://127.0.0.1:9/update.html");
    EXPECT_TRUE(rejectNextDialog<TsUpdateDialog>([&] { help->actions().at(1)->trigger(); }));
}

// The device specification is read from beside the program, so the case runs in a copy of this
// test program (and the library it loads from beside itself) next to a broken "devicespec.xml".
TEST_F(TsMainWindowTest, BrokenDeviceSpecificationIsReportedInABox)
{
    if (qEnvironmentVariableIsSet("TESSARO_TEST_SPEC_CHILD")) {
        QList<TsMessageBox::Asked> asked;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            asked << TsMessageBox::takeAsked();
            return !asked.isEmpty();
        }));
        ASSERT_EQ(asked.size(), 1);
        EXPECT_EQ(asked.at(0).icon, QMessageBox::Critical);
        EXPECT_EQ(asked.at(0).title, "Device Spec");
        EXPECT_TRUE(asked.at(0).text.contains("line=2")) << qPrintable(asked.at(0).text);
        return;
    }
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString here = QCoreApplication::applicationDirPath();
    const QString copy = folder.filePath("tsmainwindow_test");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    ASSERT_TRUE(QFile::copy(here + "/libzdx7000.so", folder.filePath("libzdx7000.so")));
    QFile spec(folder.filePath("devicespec.xml"));
    ASSERT_TRUE(spec.open(QIODevice::WriteOnly));
    spec.write("<?xml version=\"1.0\"?>\n<DeviceSpecs><DeviceSpec></DeviceSpecs>\n");
    spec.close();

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TESSARO_TEST_SPEC_CHILD", "1");
    child.setProcessEnvironment(environment);
    child.start(copy, {"--gtest_filter=*BrokenDeviceSpecification*"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

// The desktop's opener stands in for the desktop: xdg-open that a PDF viewer takes the file from,
// one that finds no program for PDF files (its exit code 3), and no opener at all. Whenever
// nothing opens the manual, the operator is told where it is instead of nothing happening.
TEST_F(TsMainWindowTest, ManualIsOpenedOrItsPlaceIsSaid)
{
    const QString manual = QCoreApplication::applicationDirPath() + "/Manual_Tessaro.pdf";
    QFile pdf(manual);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << "made at build time";
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_GT(pdf.size(), 10000);

    const struct
    {
        const char *opener; // the exit code of the stand-in xdg-open; none: no opener on PATH
        bool opened;
    } rows[] = {{"0", true}, {"3", false}, {nullptr, false}};
    const QByteArray path = qgetenv("PATH");
    for (const auto &row : rows) {
        SCOPED_TRACE(row.opener ? row.opener : "no opener");
        QTemporaryDir bin;
        if (row.opener) {
            QFile script(bin.filePath("xdg-open"));
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QByteArray("#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/asked\"\n"
                                    "exit ") +
                         row.opener + "\n");
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", (bin.path() + ":/bin").toLocal8Bit());
        TsMessageBox::takeAsked();
        window->showManual();
        qputenv("PATH", path);
        QList<TsMessageBox::Asked> asked;
        if (row.opener) {
            QFile wanted(bin.filePath("asked"));
            ASSERT_TRUE(QTest::qWaitFor([&] { return wanted.exists(); }, 10000));
            ASSERT_TRUE(wanted.open(QIODevice::ReadOnly));
            EXPECT_EQ(QString::fromLocal8Bit(wanted.readAll()), manual);
        }
        // A failure arrives when the opener has ended; success is the absence of a box by then.
        const bool boxed = QTest::qWaitFor(
            [&] { return !(asked = TsMessageBox::takeAsked()).isEmpty(); },
            row.opened ? 500 : 10000);
        EXPECT_EQ(boxed, !row.opened);
        if (row.opened)
            continue;
        ASSERT_EQ(asked.size(), 1);
        EXPECT_EQ(asked.at(0).title, "Manual");
        EXPECT_TRUE(asked.at(0).text.contains(manual)) << qPrintable(asked.at(0).text);
    }
}

TEST_F(TsMainWindowTest, AboutTellsVersionBuildAndDataFolder)
{
    setApplicationIdentity();
    TsAboutDialog about(window.data());
    const QString text = about.findChild<QLabel *>("labelText")->text();
    EXPECT_TRUE(text.contains("1.1.0.0"));
    EXPECT_TRUE(text.contains(TsCore::dataRoot())) << qPrintable(text);
    EXPECT_TRUE(TsAboutDialog::buildDate().isValid());
    for (const char *component : {"Qt", "nginx", "libcurl", "tinyxml2"})
        EXPECT_TRUE(text.contains(component)) << component;
}

} // namespace

