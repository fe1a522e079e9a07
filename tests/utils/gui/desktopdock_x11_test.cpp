// The desktop dock on a real X server: the test starts its own Xvfb (one 1920 x 1080 screen) and
// reads the window manager's hints back with xprop and the window's place with xwininfo.
#include "utils/gui/desktopdock.h"

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

void stopXvfb()
{
    if (s_xvfb > 0) {
        kill(s_xvfb, SIGTERM);
        waitpid(s_xvfb, nullptr, 0);
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
    ASSERT_TRUE(dock->init()) << "docked on the right edge, the initial one";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.geometry(), QRect(1694, 0, 226, 1080));
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return placeOnServer(window) == QRect(1694, 0, 226, 1080); }, 5000))
        << "on the server at " << placeOnServer(window).x() << "," << placeOnServer(window).y();
    QString seen = hints(window);
    EXPECT_TRUE(seen.contains(
        QRegularExpression("_NET_WM_WINDOW_TYPE\\(ATOM\\) = _NET_WM_WINDOW_TYPE_DOCK(,|\\n)")))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains("_NET_WM_STRUT(CARDINAL) = 0, 226, 0, 0\n")) << seen.toStdString();
    EXPECT_TRUE(seen.contains(
        "_NET_WM_STRUT_PARTIAL(CARDINAL) = 0, 226, 0, 0, 0, 0, 0, 1079, 0, 0, 0, 0\n"))
        << seen.toStdString();

    dock->dockLeft();
    EXPECT_EQ(window.geometry(), QRect(0, 0, 226, 1080));
    seen = hints(window);
    EXPECT_TRUE(seen.contains("_NET_WM_STRUT(CARDINAL) = 226, 0, 0, 0\n")) << seen.toStdString();
    EXPECT_TRUE(seen.contains(
        "_NET_WM_STRUT_PARTIAL(CARDINAL) = 226, 0, 0, 0, 0, 1079, 0, 0, 0, 0, 0, 0\n"))
        << seen.toStdString();

    // Moved away from its strip, the bar goes back.
    window.move(400, 300);
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return placeOnServer(window) == QRect(0, 0, 226, 1080); }, 5000));
}

TEST_F(DesktopDockX11Test, UndockedWindowGivesItsStripBack)
{
    ASSERT_TRUE(dock->init());
    dock->deinit();
    EXPECT_EQ(dock->state(), DesktopDock::NotDocked);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QString seen = hints(window);
    EXPECT_FALSE(seen.contains("_NET_WM_WINDOW_TYPE_DOCK")) << seen.toStdString();
    EXPECT_TRUE(seen.contains("_NET_WM_STRUT:  not found.")) << seen.toStdString();
    EXPECT_TRUE(seen.contains("_NET_WM_STRUT_PARTIAL:  not found.")) << seen.toStdString();
    EXPECT_FALSE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.geometry().topLeft(), QPoint(1673, 40));
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
    int result = 1;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    stopXvfb();
    return result;
}
