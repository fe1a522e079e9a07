// The desktop dock's states and arithmetic on a stand-in desktop: screens the test lays out and a
// shell that records every message and answers as the test says.
#include "utils/gui/desktopdock.h"
#include "utils/gui/desktopdockplatform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <functional>

#include <gtest/gtest.h>

namespace {

using Platform = DesktopDockPlatform;

// Delivered through the application's native event filters as this type.
const QByteArray TestEventType = "tessaro_test_event";

class FakeDesktop : public DesktopDockPlatform
{
public:
    using DesktopDockPlatform::DesktopDockPlatform;

    QList<QRect> screens{QRect(0, 0, 1920, 1080)};
    int primary = 0;
    int windowScreen = 0;
    QList<Message> messages;
    QList<AppBarData> records;
    QList<Message> refused;
    // The shell's say on a proposed rectangle.
    std::function<void(AppBarData &)> adjust;

    int screenCount() const override { return screens.size(); }
    int primaryScreen() const override { return primary; }
    QRect screenGeometry(int index) const override { return screens.value(index); }
    int screenOf() const override { return windowScreen; }

    bool message(Message message, AppBarData &data) override
    {
        messages << message;
        records << data;
        if (refused.contains(message))
            return false;
        if (message == QueryPos && adjust)
            adjust(data);
        return true;
    }
    Notification notification(const QByteArray &eventType, void *message) const override
    {
        return eventType == TestEventType ? *static_cast<Notification *>(message) : NoNotification;
    }
    void changeScreens() { emit screensChanged(); }
};

// Collects the debug lines written while it lives.
class DebugLines
{
public:
    DebugLines() { s_previous = qInstallMessageHandler(&collect); }
    ~DebugLines() { qInstallMessageHandler(s_previous); }
    static QStringList lines;

private:
    static void collect(QtMsgType, const QMessageLogContext &, const QString &text)
    {
        lines << text;
    }
    static QtMessageHandler s_previous;
};
QStringList DebugLines::lines;
QtMessageHandler DebugLines::s_previous = nullptr;

// Inclusive corners, as the undocked rectangle is given.
QRect inclusive(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

class DesktopDockTest : public ::testing::Test
{
protected:
    DesktopDockTest()
    {
        DebugLines::lines.clear();
        window.resize(226, 700);
        window.setWindowFlags(Qt::Window);
        desktop = new FakeDesktop(&window);
        dock = new DesktopDock(&window, desktop);
    }

    bool deliver(Platform::Notification notification)
    {
        long result = 7;
        const bool consumed = QAbstractEventDispatcher::instance()->filterNativeEvent(
            TestEventType, &notification, &result);
        EXPECT_EQ(result, 0);
        return consumed;
    }

    static constexpr Qt::WindowFlags DockFlags = Qt::Tool | Qt::FramelessWindowHint;

    QWidget window;
    FakeDesktop *desktop;
    DesktopDock *dock;
    DebugLines debugLines;
};

} // namespace

TEST_F(DesktopDockTest, DocksOnTheChosenEdgeAndUndocksBesideIt)
{
    QSignalSpy docking(dock, &DesktopDock::dockingChanged);
    EXPECT_EQ(dock->state(), DesktopDock::NotDocked);
    EXPECT_EQ(dock->screen(), 0);

    dock->dockRight();
    EXPECT_EQ(window.geometry(), QRect(1694, 0, 226, 1080));
    EXPECT_EQ(dock->state(), DesktopDock::DockedRight);
    EXPECT_EQ(docking.count(), 1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowFlags() & DockFlags, DockFlags);
    ASSERT_EQ(desktop->messages,
              (QList<Platform::Message>{Platform::New, Platform::QueryPos, Platform::SetPos}));
    const Platform::AppBarData proposed = desktop->records.at(1);
    EXPECT_EQ(proposed.size, 36u);
    EXPECT_EQ(proposed.callbackMessage, 1025u);
    EXPECT_EQ(proposed.window, window.winId());
    EXPECT_EQ(QRect(QPoint(proposed.left, proposed.top), QPoint(proposed.right, proposed.bottom)),
              QRect(0, 0, 1921, 1081))
        << "the whole screen, right and bottom exclusive";
    const Platform::AppBarData claimed = desktop->records.at(2);
    EXPECT_EQ(claimed.edge, quint32(Platform::Right));
    EXPECT_EQ(claimed.left, 1694);
    EXPECT_EQ(claimed.right, 1920);
    EXPECT_EQ(claimed.bottom, 1080);

    // Docked already: nothing changes.
    desktop->messages.clear();
    EXPECT_FALSE(dock->init());
    EXPECT_TRUE(desktop->messages.isEmpty());
    EXPECT_EQ(docking.count(), 1);

    // Toggling moves the bar to the other edge of the same screen, without a new registration.
    dock->dockToggle();
    EXPECT_EQ(window.geometry(), QRect(0, 0, 226, 1080));
    EXPECT_EQ(dock->state(), DesktopDock::DockedLeft);
    EXPECT_EQ(desktop->messages, (QList<Platform::Message>{Platform::QueryPos, Platform::SetPos}));
    dock->dockToggle();
    EXPECT_EQ(window.geometry(), QRect(1694, 0, 226, 1080));
    EXPECT_EQ(docking.count(), 3);

    desktop->messages.clear();
    dock->deinit();
    EXPECT_EQ(desktop->messages, QList<Platform::Message>{Platform::Remove});
    EXPECT_EQ(dock->state(), DesktopDock::NotDocked);
    EXPECT_EQ(window.geometry(), inclusive(1673, 40, 1899, 1039));
    EXPECT_EQ(window.windowType(), Qt::Window);
    EXPECT_FALSE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(docking.count(), 4);

    // From the left edge the window lands beside that one.
    dock->dockLeft();
    window.resize(226, window.height()); // the test's window may grow; the panel's may not
    dock->deinit();
    EXPECT_EQ(window.geometry().left(), 20);
    EXPECT_EQ(window.geometry().top(), 40);
    EXPECT_EQ(window.geometry().bottom(), 1039);
}

TEST_F(DesktopDockTest, StatesFollowTheSavedValues)
{
    QSignalSpy docking(dock, &DesktopDock::dockingChanged);
    dock->setState(0);
    dock->setState(-3);
    dock->deinit();
    EXPECT_TRUE(desktop->messages.isEmpty()) << "undocking an undocked window does nothing";
    EXPECT_EQ(docking.count(), 0);

    dock->setState(1);
    EXPECT_EQ(dock->state(), DesktopDock::DockedLeft);
    EXPECT_EQ(window.geometry(), QRect(0, 0, 226, 1080));
    dock->setState(7);
    EXPECT_EQ(dock->state(), DesktopDock::DockedRight);
    EXPECT_EQ(window.geometry(), QRect(1694, 0, 226, 1080));
    dock->setState(0);
    EXPECT_EQ(dock->state(), DesktopDock::NotDocked);
    EXPECT_EQ(docking.count(), 3);
}

TEST_F(DesktopDockTest, TheShellHasItsSayAndItsRefusalsLeaveTheWindowAsItWas)
{
    // A taskbar along the top of the screen.
    desktop->adjust = [](Platform::AppBarData &data) { data.top = 40; };
    dock->dockRight();
    EXPECT_EQ(window.geometry(), QRect(1694, 40, 226, 1040));
    dock->deinit();
    window.resize(226, window.height());

    // A refused proposal is not fatal.
    desktop->refused = {Platform::QueryPos};
    desktop->adjust = nullptr;
    dock->dockLeft();
    EXPECT_EQ(window.geometry(), QRect(0, 0, 226, 1080));
    EXPECT_TRUE(DebugLines::lines.contains("TsMainWindow::setAppBarPos: SHAppBarMessage failed"));
    dock->deinit();
    window.resize(226, window.height());

    // A refused registration: the old flags, shown, undocked, no signal.
    window.setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    const Qt::WindowFlags flags = window.windowFlags();
    QSignalSpy docking(dock, &DesktopDock::dockingChanged);
    desktop->refused = {Platform::New};
    desktop->messages.clear();
    EXPECT_FALSE(dock->init());
    EXPECT_EQ(desktop->messages, QList<Platform::Message>{Platform::New});
    EXPECT_EQ(window.windowFlags(), flags);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(dock->state(), DesktopDock::NotDocked);
    EXPECT_TRUE(DebugLines::lines.contains(
        "TsMainWindow::registerAppBar: SHAppBarMessage(ABM_NEW) failed"));

    // A refused position on docking gives the registration back.
    desktop->refused = {Platform::SetPos};
    desktop->messages.clear();
    EXPECT_FALSE(dock->init());
    EXPECT_EQ(desktop->messages.last(), Platform::Remove);
    EXPECT_EQ(dock->state(), DesktopDock::NotDocked);
    EXPECT_EQ(window.windowFlags(), flags);
    EXPECT_TRUE(DebugLines::lines.contains("TsMainWindow::update: ABM_SETPOS failed"));
    EXPECT_EQ(docking.count(), 0);

    // ... and while docked it leaves the bar registered where it was.
    desktop->refused.clear();
    dock->dockRight();
    const QRect docked = window.geometry();
    desktop->refused = {Platform::SetPos};
    dock->dockLeft();
    EXPECT_EQ(window.geometry(), docked);
    EXPECT_EQ(dock->state(), DesktopDock::DockedLeft) << "registered, on the edge asked for";
    EXPECT_EQ(docking.count(), 1);
}

TEST_F(DesktopDockTest, TheBarFollowsTheChosenScreenAndFallsBackToThePrimaryOne)
{
    desktop->screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    QSignalSpy screens(dock, &DesktopDock::screensChanged);
    dock->setScreen(7);
    EXPECT_EQ(dock->screen(), 0);
    dock->setScreen(1);
    EXPECT_EQ(dock->screen(), 1);
    dock->dockRight();
    EXPECT_EQ(window.geometry(), QRect(2974, 0, 226, 1024));
    dock->dockLeft();
    EXPECT_EQ(window.geometry(), QRect(1920, 0, 226, 1024));

    // The second screen is unplugged.
    desktop->screens.removeLast();
    desktop->changeScreens();
    ASSERT_TRUE(QTest::qWaitFor([&screens] { return screens.count() == 1; }, 1000));
    EXPECT_EQ(dock->screen(), 0);
    EXPECT_EQ(window.geometry(), QRect(0, 0, 226, 1080));
    EXPECT_EQ(dock->state(), DesktopDock::DockedLeft);

    // A remembered screen that is gone by the next positioning.
    desktop->screens << QRect(1920, 0, 1280, 1024);
    dock->setScreen(1);
    desktop->screens.removeLast();
    dock->dockRight();
    EXPECT_EQ(dock->screen(), 0);
    EXPECT_EQ(window.geometry(), QRect(1694, 0, 226, 1080));
    EXPECT_EQ(screens.count(), 2);

    // Undocking uses the screen the window is on.
    desktop->screens << QRect(1920, 0, 1280, 1024);
    desktop->windowScreen = 1;
    dock->deinit();
    EXPECT_EQ(window.geometry(), inclusive(3199 - 226 - 20, 40, 3199 - 20, 1023 - 40));
}

TEST_F(DesktopDockTest, NativeMessagesKeepTheBarInItsStripAndAreNeverConsumed)
{
    EXPECT_FALSE(deliver(Platform::WindowMoved));
    EXPECT_FALSE(deliver(Platform::Activated));
    EXPECT_FALSE(deliver(Platform::BarsChanged));
    EXPECT_TRUE(desktop->messages.isEmpty()) << "an undocked window is none of the shell's";

    dock->dockRight();
    desktop->messages.clear();
    EXPECT_FALSE(deliver(Platform::Activated));
    EXPECT_EQ(desktop->messages, QList<Platform::Message>{Platform::Activate});

    desktop->messages.clear();
    window.move(300, 200);
    EXPECT_FALSE(deliver(Platform::WindowMoved));
    EXPECT_EQ(desktop->messages, QList<Platform::Message>{Platform::WindowPosChanged});
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return window.geometry() == QRect(1694, 0, 226, 1080); }, 1000))
        << "back in its strip";

    // Another bar took the top of the screen: the strip is negotiated again.
    desktop->messages.clear();
    desktop->adjust = [](Platform::AppBarData &data) { data.top = 30; };
    QSignalSpy docking(dock, &DesktopDock::dockingChanged);
    EXPECT_FALSE(deliver(Platform::BarsChanged));
    EXPECT_EQ(desktop->messages, (QList<Platform::Message>{Platform::QueryPos, Platform::SetPos}));
    EXPECT_EQ(window.geometry(), QRect(1694, 30, 226, 1050));
    EXPECT_EQ(docking.count(), 1);
}

// Off Windows and off X11 (here: the offscreen platform) docking fails cleanly.
TEST(DesktopDockUnsupported, DockingFailsAndLeavesTheWindowAsItWas)
{
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    QWidget window;
    window.resize(226, 700);
    window.move(50, 60);
    const Qt::WindowFlags flags = window.windowFlags();
    DesktopDock dock(&window);
    QSignalSpy docking(&dock, &DesktopDock::dockingChanged);
    EXPECT_FALSE(dock.init());
    dock.dockRight();
    dock.setState(1);
    EXPECT_EQ(dock.state(), DesktopDock::NotDocked);
    EXPECT_EQ(window.windowFlags(), flags);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.size(), QSize(226, 700));
    EXPECT_EQ(docking.count(), 0);
}

// The shell counts physical pixels while the dock and the window count the toolkit's: the bar's
// rectangle is scaled on its way to the shell and back, about the corner of its screen.
struct ScalingCase
{
    const char *name;
    qreal ratio;
    QPoint origin;
    QRect logical;  // left, top, right, bottom as the dock proposes them
    QRect physical; // the same as the shell must see them
};

class DesktopDockScaling : public ::testing::TestWithParam<ScalingCase>
{};

Platform::AppBarData record(const QRect &edges)
{
    Platform::AppBarData data;
    data.left = edges.left();
    data.top = edges.top();
    data.right = edges.right();
    data.bottom = edges.bottom();
    return data;
}

QRect edgesOf(const Platform::AppBarData &data)
{
    return QRect(QPoint(data.left, data.top), QPoint(data.right, data.bottom));
}

TEST_P(DesktopDockScaling, TheShellGetsPhysicalPixelsAndTheWindowTheToolkitsBack)
{
    const ScalingCase c = GetParam();
    Platform::AppBarData data = record(c.logical);
    Platform::toPhysical(data, c.origin, c.ratio);
    EXPECT_EQ(edgesOf(data), c.physical);
    Platform::toLogical(data, c.origin, c.ratio);
    EXPECT_EQ(edgesOf(data), c.logical)
        << "a rectangle the shell leaves alone comes back unchanged";
}

INSTANTIATE_TEST_SUITE_P(
    Ratios, DesktopDockScaling,
    ::testing::Values(
        // The 226-pixel strip at the right of a 1920 x 1080 screen.
        ScalingCase{"Unscaled",
                    1.0,
                    {0, 0},
                    {QPoint(1694, 0), QPoint(1920, 1080)},
                    {QPoint(1694, 0), QPoint(1920, 1080)}},
        ScalingCase{"At150Percent",
                    1.5,
                    {0, 0},
                    {QPoint(1694, 0), QPoint(1920, 1080)},
                    {QPoint(2541, 0), QPoint(2880, 1620)}},
        ScalingCase{"At200Percent",
                    2.0,
                    {0, 0},
                    {QPoint(1694, 0), QPoint(1920, 1080)},
                    {QPoint(3388, 0), QPoint(3840, 2160)}},
        // A second screen right of an unscaled one, at 125 %: scaled about its own corner.
        ScalingCase{"SecondScreenAt125Percent",
                    1.25,
                    {1920, 0},
                    {QPoint(3614, 0), QPoint(3840, 1080)},
                    {QPoint(4038, 0), QPoint(4320, 1350)}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DesktopDockScaling, TheShellsAdjustmentComesBackInTheToolkitsPixels)
{
    // At 150 % the shell keeps a taskbar of 60 physical pixels at the top free.
    Platform::AppBarData data = record({QPoint(2541, 60), QPoint(2880, 1620)});
    Platform::toLogical(data, {0, 0}, 1.5);
    EXPECT_EQ(edgesOf(data), QRect(QPoint(1694, 40), QPoint(1920, 1080)));
}
