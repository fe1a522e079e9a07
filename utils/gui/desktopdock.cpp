#include "desktopdock.h"

#include "utils/gui/desktopdockplatform.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace {

// Qt::Tool and Qt::FramelessWindowHint.
const Qt::WindowFlags DockFlags = Qt::WindowFlags(0x80b);
// Between an undocked window and the screen's edges.
constexpr int UndockedMarginX = 20;
constexpr int UndockedMarginY = 40;

} // namespace

class DesktopDockPrivate : public QAbstractNativeEventFilter
{
public:
    DesktopDockPrivate(DesktopDock *q, QWidget *window, DesktopDockPlatform *platform)
        : window(window)
        , screen(platform->primaryScreen())
        , q(q)
        , platform(platform)
    {}

    bool registerAppBar();
    bool update();
    void dockOn(int edge);
    // The bar's rectangle as a window geometry.
    QRect barGeometry() const
    {
        return QRect(appBar.left, appBar.top, appBar.right - appBar.left,
                     appBar.bottom - appBar.top);
    }
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

    QWidget *window;
    DesktopDockPlatform::AppBarData appBar;
    bool registered = false;
    int screen;
    DesktopDock *q;
    QScopedPointer<DesktopDockPlatform> platform;
};

bool DesktopDockPrivate::registerAppBar()
{
    if (registered)
        return false;
    appBar.size = 36;
    appBar.window = window->winId();
    appBar.callbackMessage = 1025;
    if (platform->message(DesktopDockPlatform::New, appBar)) {
        registered = true;
        return true;
    }
    qDebug("TsMainWindow::registerAppBar: SHAppBarMessage(ABM_NEW) failed");
    return false;
}

bool DesktopDockPrivate::update()
{
    if (!registered)
        return false;
    const int width = window->width();
    bool screenLost = false;
    if (screen >= platform->screenCount()) {
        screen = platform->primaryScreen();
        screenLost = true;
    }
    const QRect geometry = platform->screenGeometry(screen);
    appBar.left = geometry.left();
    appBar.top = geometry.top();
    appBar.right = geometry.right() + 1;
    appBar.bottom = geometry.bottom() + 1;
    if (!platform->message(DesktopDockPlatform::QueryPos, appBar))
        qDebug("TsMainWindow::setAppBarPos: SHAppBarMessage failed");
    if (appBar.edge == DesktopDockPlatform::Right)
        appBar.left = appBar.right - width;
    else
        appBar.right = appBar.left + width;

    bool positioned = platform->message(DesktopDockPlatform::SetPos, appBar);
    if (positioned) {
        window->setGeometry(barGeometry());
        emit q->dockingChanged();
    } else {
        qDebug("TsMainWindow::update: ABM_SETPOS failed");
    }
    if (screenLost)
        emit q->screensChanged();
    return positioned;
}

void DesktopDockPrivate::dockOn(int edge)
{
    appBar.edge = quint32(edge);
    if (registered)
        update();
    else
        q->init();
}

bool DesktopDockPrivate::nativeEventFilter(const QByteArray &eventType, void *message, long *result)
{
    if (result)
        *result = 0;
    switch (platform->notification(eventType, message)) {
    case DesktopDockPlatform::Activated:
        if (registered)
            platform->message(DesktopDockPlatform::Activate, appBar);
        break;
    case DesktopDockPlatform::WindowMoved:
        if (registered) {
            platform->message(DesktopDockPlatform::WindowPosChanged, appBar);
            // Back into the strip, once the toolkit has taken in the move being reported.
            QPointer<QWidget> docked(window);
            QMetaObject::invokeMethod(
                q,
                [this, docked] {
                    if (docked && registered && docked->geometry() != barGeometry())
                        docked->setGeometry(barGeometry());
                },
                Qt::QueuedConnection);
        }
        break;
    case DesktopDockPlatform::BarsChanged:
        if (registered)
            update();
        break;
    case DesktopDockPlatform::NoNotification:
        break;
    }
    return false;
}

DesktopDock::DesktopDock(QWidget *window)
    : DesktopDock(window, DesktopDockPlatform::create(window))
{}

DesktopDock::DesktopDock(QWidget *window, DesktopDockPlatform *platform)
    : QObject(window)
    , d(new DesktopDockPrivate(this, window, platform))
{
    platform->setParent(nullptr);
    // Queued: while a screen goes away, the list of screens may still hold it.
    connect(
        platform, &DesktopDockPlatform::screensChanged, this, [this] { screenCountUpdated(0); },
        Qt::QueuedConnection);
    QCoreApplication::instance()->installNativeEventFilter(d.data());
}

DesktopDock::~DesktopDock()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(d.data());
}

void DesktopDock::setScreen(int index)
{
    d->screen =
        index >= 0 && index < d->platform->screenCount() ? index : d->platform->primaryScreen();
}

int DesktopDock::screen() const
{
    return d->screen;
}

int DesktopDock::state() const
{
    if (!d->registered)
        return NotDocked;
    return d->appBar.edge == DesktopDockPlatform::Left ? DockedLeft : DockedRight;
}

void DesktopDock::setState(int value)
{
    if (value < 1)
        deinit();
    else
        d->dockOn(value == 1 ? DesktopDockPlatform::Left : DesktopDockPlatform::Right);
}

bool DesktopDock::init()
{
    if (d->registered)
        return false;
    QWidget *window = d->window;
    const Qt::WindowFlags flags = window->windowFlags();
    window->setWindowFlags(flags | DockFlags);
    if (d->registerAppBar() && d->update()) {
        window->show();
        return true;
    }
    if (d->registered) {
        d->platform->message(DesktopDockPlatform::Remove, d->appBar);
        d->registered = false;
    }
    window->setWindowFlags(flags);
    window->show();
    return false;
}

void DesktopDock::deinit()
{
    if (!d->registered)
        return;
    d->platform->message(DesktopDockPlatform::Remove, d->appBar);
    d->registered = false;

    QWidget *window = d->window;
    // Inclusive pixel coordinates of the screen the window is on.
    const QRect screen = d->platform->screenGeometry(d->platform->screenOf());
    const int width = window->width();
    const int left = d->appBar.edge == DesktopDockPlatform::Right
                         ? screen.right() - width - UndockedMarginX
                         : screen.left() + UndockedMarginX;
    const QRect undocked(QPoint(left, screen.top() + UndockedMarginY),
                         QPoint(left + width, screen.bottom() - UndockedMarginY));
    window->setWindowFlags(window->windowFlags() & ~DockFlags);
    window->setGeometry(undocked);
    window->show();
    emit dockingChanged();
}

void DesktopDock::dockLeft()
{
    d->dockOn(DesktopDockPlatform::Left);
}

void DesktopDock::dockRight()
{
    d->dockOn(DesktopDockPlatform::Right);
}

void DesktopDock::dockToggle()
{
    d->dockOn(d->appBar.edge == DesktopDockPlatform::Right ? DesktopDockPlatform::Left
                                                           : DesktopDockPlatform::Right);
}

void DesktopDock::screenCountUpdated(int)
{
    d->screen = d->platform->primaryScreen();
    d->update();
    emit screensChanged();
}
