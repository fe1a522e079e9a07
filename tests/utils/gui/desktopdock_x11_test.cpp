// The desktop dock on a real X server: the test starts its own Xvfb (one 1920 x 1080 screen) with
// a window manager (openbox), reads the hints back with xprop and the window's place with
// xwininfo, and watches a maximised window make room for the strip.
#include "utils/gui/desktopdock.h"
#include "utils/gui/desktopdockx11.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t s_xvfb = 0;
pid_t s_windowManager = 0;

// Starts Xvfb on a display nobody uses and returns its name, or an empty string.
std::string startXvfb()
{
    int fds[2];
    if (pipe(fds) != 0)
        return std::string();
    s_xvfb = fork();
    if (s_xvfb == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
               "-nolisten", "tcp", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number once it accepts clients.
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    return number.empty() ? std::string() : ":" + number;
}

// A window manager, as the operator's desktop has one.
void startWindowManager()
{
    s_windowManager = fork();
    if (s_windowManager == 0) {
        execlp("openbox", "openbox", "--sm-disable", static_cast<char *>(nullptr));
        _exit(127);
    }
}

void stop(pid_t pid)
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return QString();
    return QString::fromLocal8Bit(process.readAll());
}

QString hints(const QWidget &window)
{
    QApplication::sync();
    return run(QStringLiteral("xprop"),
               {QStringLiteral("-id"), QString::number(window.winId()),
                QStringLiteral("_NET_WM_WINDOW_TYPE"), QStringLiteral("_NET_WM_STRUT"),
                QStringLiteral("_NET_WM_STRUT_PARTIAL")});
}

// Where the X server has the window: x, y, width, height.
QRect placeOnServer(const QWidget &window)
{
    QApplication::sync();
    const QString info =
        run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window.winId())});
    const auto number = [&info](const char *label) {
        return QRegularExpression(QLatin1String(label) + QStringLiteral(":\\s+(-?\\d+)"))
            .match(info)
            .captured(1)
            .toInt();
    };
    return QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                 number("Height"));
}

// The program's pixels per X server pixel (QT_SCALE_FACTOR, a whole number here): the screen of
// 1920 x 1080 server pixels is that many times smaller for the program, the struts are not.
int scale()
{
    return qMax(1, qEnvironmentVariableIntValue("QT_SCALE_FACTOR"));
}
const int ScreenWidth = 1920;
const int ScreenHeight = 1080;
const int PanelWidth = 226;

QString strutLine(const char *name, const QList<int> &values)
{
    QStringList texts;
    for (int value : values)
        texts << QString::number(value);
    return QStringLiteral("%1(CARDINAL) = %2\n").arg(QLatin1String(name), texts.join(", "));
}

// A window mapped while the window manager still starts may never be managed, nor shown: the
// tests begin once a probe window was.
bool waitForWindowManager()
{
    const auto running = [] {
        return run(QStringLiteral("xprop"),
                   {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains("window id");
    };
    if (!QTest::qWaitFor(running, 10000))
        return false;
    for (int attempt = 0; attempt < 10; ++attempt) {
        QWidget probe;
        probe.show();
        if (QTest::qWaitForWindowExposed(&probe, 1000))
            return true;
    }
    return false;
}

class DesktopDockX11Test : public ::testing::Test
{
protected:
    DesktopDockX11Test()
    {
        window.resize(226, 700);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    ~DesktopDockX11Test() override { dock->deinit(); }

    QWidget window;
    DesktopDock *dock = new DesktopDock(&window);
};

} // namespace

TEST_F(DesktopDockX11Test, DockedWindowClaimsAStripOnItsEdge)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    const int s = scale();
    const int width = ScreenWidth / s; // of the screen, in the program's pixels
    const int height = ScreenHeight / s;
    const int strut = PanelWidth * s;
    ASSERT_TRUE(dock->init()) << "docked on the right edge, the initial one";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.geometry(), QRect(width - PanelWidth, 0, PanelWidth, height));
    const QRect right(ScreenWidth - strut, 0, strut, ScreenHeight);
    EXPECT_TRUE(QTest::qWaitFor([&] { return placeOnServer(window) == right; }, 5000))
        << "on the server at " << placeOnServer(window).x() << "," << placeOnServer(window).y();
    QString seen = hints(window);
    EXPECT_TRUE(seen.contains(
        QRegularExpression("_NET_WM_WINDOW_TYPE\\(ATOM\\) = _NET_WM_WINDOW_TYPE_DOCK(,|\\n)")))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains(strutLine("_NET_WM_STRUT", {0, strut, 0, 0}))) << seen.toStdString();
    EXPECT_TRUE(seen.contains(strutLine("_NET_WM_STRUT_PARTIAL",
                                        {0, strut, 0, 0, 0, 0, 0, ScreenHeight - 1, 0, 0, 0, 0})))
        << seen.toStdString();

    dock->dockLeft();
    EXPECT_EQ(window.geometry(), QRect(0, 0, PanelWidth, height));
    seen = hints(window);
    EXPECT_TRUE(seen.contains(strutLine("_NET_WM_STRUT", {strut, 0, 0, 0}))) << seen.toStdString();
    EXPECT_TRUE(seen.contains(strutLine("_NET_WM_STRUT_PARTIAL",
                                        {strut, 0, 0, 0, 0, ScreenHeight - 1, 0, 0, 0, 0, 0, 0})))
        << seen.toStdString();

    // Moved away from its strip, the bar goes back.
    window.move(400 / s, 300 / s);
    const QRect left(0, 0, strut, ScreenHeight);
    EXPECT_TRUE(QTest::qWaitFor([&] { return placeOnServer(window) == left; }, 5000));
}

TEST_F(DesktopDockX11Test, UndockedWindowGivesItsStripBack)
{
    const int s = scale();
    ASSERT_TRUE(dock->init());
    dock->deinit();
    EXPECT_EQ(dock->state(), DesktopDock::NotDocked);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QString seen = hints(window);
    EXPECT_FALSE(seen.contains("_NET_WM_WINDOW_TYPE_DOCK")) << seen.toStdString();
    EXPECT_TRUE(seen.contains("_NET_WM_STRUT:  not found.")) << seen.toStdString();
    EXPECT_TRUE(seen.contains("_NET_WM_STRUT_PARTIAL:  not found.")) << seen.toStdString();
    EXPECT_FALSE(window.windowFlags() & Qt::FramelessWindowHint);
    // Beside the edge it was docked on (20 and 40 of the program's pixels in), where the window
    // manager leaves it.
    const QPoint beside((ScreenWidth / s - 1 - PanelWidth - 20) * s, 40 * s);
    EXPECT_TRUE(QTest::qWaitFor([&] { return placeOnServer(window).topLeft() == beside; }, 5000))
        << "at " << placeOnServer(window).x() << "," << placeOnServer(window).y();
}

// The point of it all, with a real window manager: a maximised window stops at the strip.
TEST(DesktopDockX11WindowManager, MaximisedWindowsStopAtTheStrip)
{
    const int s = scale();
    const int width = ScreenWidth / s;
    // Where the frame begins and how wide it is; its height may round either way when scaled.
    const auto horizontally = [](const QWidget &window) {
        return qMakePair(window.frameGeometry().x(), window.frameGeometry().width());
    };
    QWidget panel;
    panel.resize(PanelWidth, 700 / s);
    auto *dock = new DesktopDock(&panel);
    QWidget other;
    other.showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.frameGeometry().width() == width; }, 5000))
        << other.frameGeometry().width();

    ASSERT_TRUE(dock->init());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return horizontally(other) == qMakePair(0, width - PanelWidth); }, 5000))
        << "maximised to x " << other.frameGeometry().x() << " width "
        << other.frameGeometry().width();
    EXPECT_EQ(placeOnServer(panel),
              QRect(ScreenWidth - PanelWidth * s, 0, PanelWidth * s, ScreenHeight))
        << "the panel is not moved";

    dock->dockLeft();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return horizontally(other) == qMakePair(PanelWidth, width - PanelWidth); }, 5000))
        << "maximised to x " << other.frameGeometry().x() << " width "
        << other.frameGeometry().width();

    dock->deinit();
    EXPECT_TRUE(QTest::qWaitFor([&] { return other.frameGeometry().width() == width; }, 5000))
        << "the strip is given back: width " << other.frameGeometry().width();
}

// Two monitors side by side on one root window of 3200 x 1080: a strut counts from the root's
// edge, and covers only the rows of its own monitor.
TEST(DesktopDockX11Struts, CountFromTheRootEdgeOverTheChosenMonitorsRows)
{
    const QSize root(3200, 1080);
    // Right edge of the left monitor (1920 x 1080 at 0,0); right and bottom exclusive.
    EXPECT_EQ(DesktopDockX11::strutPartial(QRect(QPoint(1694, 0), QPoint(1920, 1080)),
                                           DesktopDockPlatform::Right, root),
              (QVector<quint32>{0, 1506, 0, 0, 0, 0, 0, 1079, 0, 0, 0, 0}));
    // Left edge of the right monitor (1280 x 1024 at 1920,0).
    EXPECT_EQ(DesktopDockX11::strutPartial(QRect(QPoint(1920, 0), QPoint(2146, 1024)),
                                           DesktopDockPlatform::Left, root),
              (QVector<quint32>{2146, 0, 0, 0, 0, 1023, 0, 0, 0, 0, 0, 0}));
}

int main(int argc, char **argv)
{
    const std::string display = startXvfb();
    if (display.empty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    startWindowManager();
    int result = 1;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        if (!waitForWindowManager()) {
            std::fprintf(stderr, "the window manager (openbox) did not come up\n");
            stop(s_windowManager);
            stop(s_xvfb);
            return 1;
        }
        result = RUN_ALL_TESTS();
    }
    stop(s_windowManager);
    stop(s_xvfb);
    return result;
}
