#include "desktopdockplatform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#ifdef Q_OS_WIN
#include "utils/gui/desktopdockwin.h"
#endif
#ifdef TESSARO_DESKTOPDOCK_X11
#include "utils/gui/desktopdockx11.h"
#endif

namespace {

// A desktop without an application-bar interface: every registration is declined.
class UnsupportedDesktopDock : public DesktopDockPlatform
{
public:
    using DesktopDockPlatform::DesktopDockPlatform;
    bool message(Message, AppBarData &) override { return false; }
};

} // namespace

DesktopDockPlatform *DesktopDockPlatform::create(QWidget *window, QObject *parent)
{
#ifdef Q_OS_WIN
    return new DesktopDockWin(window, parent);
#else
#ifdef TESSARO_DESKTOPDOCK_X11
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return new DesktopDockX11(window, parent);
#endif
    return new UnsupportedDesktopDock(window, parent);
#endif
}

DesktopDockPlatform::DesktopDockPlatform(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    const auto follow = [this](QScreen *screen) {
        connect(screen, &QScreen::geometryChanged, this, &DesktopDockPlatform::screensChanged);
    };
    for (QScreen *screen : QGuiApplication::screens())
        follow(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [this, follow](QScreen *screen) {
        follow(screen);
        emit screensChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, &DesktopDockPlatform::screensChanged);
}

DesktopDockPlatform::~DesktopDockPlatform() = default;

int DesktopDockPlatform::screenCount() const
{
    return QGuiApplication::screens().size();
}

int DesktopDockPlatform::primaryScreen() const
{
    return qMax(0, QGuiApplication::screens().indexOf(QGuiApplication::primaryScreen()));
}

QRect DesktopDockPlatform::screenGeometry(int index) const
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return index >= 0 && index < screens.size() ? screens.at(index)->geometry() : QRect();
}

int DesktopDockPlatform::screenOf() const
{
    const QWindow *handle = m_window->windowHandle();
    const int index = handle ? QGuiApplication::screens().indexOf(handle->screen()) : -1;
    return index >= 0 ? index : primaryScreen();
}

DesktopDockPlatform::Notification DesktopDockPlatform::notification(const QByteArray &,
                                                                    void *) const
{
    return NoNotification;
}

namespace {

qint32 scaled(qint32 value, int origin, qreal ratio)
{
    return origin + qRound((value - origin) * ratio);
}

void scale(DesktopDockPlatform::AppBarData &data, const QPoint &origin, qreal ratio)
{
    data.left = scaled(data.left, origin.x(), ratio);
    data.right = scaled(data.right, origin.x(), ratio);
    data.top = scaled(data.top, origin.y(), ratio);
    data.bottom = scaled(data.bottom, origin.y(), ratio);
}

} // namespace

void DesktopDockPlatform::toPhysical(AppBarData &data, const QPoint &origin, qreal ratio)
{
    scale(data, origin, ratio);
}

void DesktopDockPlatform::toLogical(AppBarData &data, const QPoint &origin, qreal ratio)
{
    if (ratio > 0)
        scale(data, origin, 1 / ratio);
}

void DesktopDockPlatform::scaleOf(const AppBarData &data, QPoint *origin, qreal *ratio) const
{
    const QScreen *screen = QGuiApplication::screenAt(QPoint(data.left, data.top));
    if (!screen && m_window->windowHandle())
        screen = m_window->windowHandle()->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    *origin = screen ? screen->geometry().topLeft() : QPoint();
    *ratio = screen ? screen->devicePixelRatio() : 1.0;
}
