#include "desktopdockx11.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QX11Info>
#include <QtPlatformHeaders/QXcbWindowFunctions>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

// _NET_WM_STRUT_PARTIAL's fields.
enum StrutField
{
    StrutLeft = 0,
    StrutRight = 1,
    StrutLeftStartY = 4,
    StrutLeftEndY = 5,
    StrutRightStartY = 6,
    StrutRightEndY = 7,
    StrutFieldCount = 12
};

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, false, uint16_t(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QSize rootSize(xcb_connection_t *connection, xcb_window_t root)
{
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> reply(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr),
        &std::free);
    return reply ? QSize(reply->width, reply->height) : QSize();
}

} // namespace

DesktopDockX11::DesktopDockX11(QWidget *window, QObject *parent)
    : DesktopDockPlatform(window, parent)
{
    // A changed flag set may give the window a new X window, which has none of our hints.
    window->installEventFilter(this);
}

DesktopDockX11::~DesktopDockX11() = default;

QVector<quint32> DesktopDockX11::strutPartial(const QRect &bar, int edge, const QSize &root)
{
    QVector<quint32> strut(StrutFieldCount, 0);
    if (edge == Left) {
        strut[StrutLeft] = quint32(qMax(0, bar.right()));
        strut[StrutLeftStartY] = quint32(qMax(0, bar.top()));
        strut[StrutLeftEndY] = quint32(qMax(0, bar.bottom() - 1));
    } else {
        strut[StrutRight] = quint32(qMax(0, root.width() - bar.left()));
        strut[StrutRightStartY] = quint32(qMax(0, bar.top()));
        strut[StrutRightEndY] = quint32(qMax(0, bar.bottom() - 1));
    }
    return strut;
}

bool DesktopDockX11::message(Message message, AppBarData &data)
{
    if (!QX11Info::isPlatformX11() || !QX11Info::connection())
        return false;
    QWidget *docked = window();
    switch (message) {
    case New:
        docked->winId(); // the window must exist to carry the hints
        if (!docked->windowHandle())
            return false;
        QXcbWindowFunctions::setWmWindowType(docked->windowHandle(), QXcbWindowFunctions::Dock);
        return true;
    case Remove:
        removeStruts();
        if (docked->windowHandle())
            QXcbWindowFunctions::setWmWindowType(docked->windowHandle(),
                                                 QXcbWindowFunctions::Normal);
        return true;
    case QueryPos:
        // Other docks have claimed their struts already; the window manager keeps them apart.
        return true;
    case SetPos: {
        xcb_connection_t *connection = QX11Info::connection();
        const QSize root = rootSize(connection, xcb_window_t(QX11Info::appRootWindow()));
        if (root.isEmpty())
            return false;
        // The record is in the toolkit's pixels; the X server counts its own.
        QPoint origin;
        qreal ratio = 1;
        scaleOf(data, &origin, &ratio);
        AppBarData physical = data;
        toPhysical(physical, origin, ratio);
        const QRect bar(QPoint(physical.left, physical.top),
                        QPoint(physical.right, physical.bottom));
        m_struts = strutPartial(bar, int(data.edge), root);
        return applyStruts();
    }
    case Activate:
    case WindowPosChanged:
        return true;
    }
    return false;
}

bool DesktopDockX11::applyStruts()
{
    if (m_struts.isEmpty())
        return true;
    xcb_connection_t *connection = QX11Info::connection();
    const xcb_window_t id = xcb_window_t(window()->winId());
    const xcb_atom_t partial = atom(connection, "_NET_WM_STRUT_PARTIAL");
    const xcb_atom_t strut = atom(connection, "_NET_WM_STRUT");
    if (partial == XCB_ATOM_NONE || strut == XCB_ATOM_NONE)
        return false;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, partial, XCB_ATOM_CARDINAL, 32,
                        uint32_t(m_struts.size()), m_struts.constData());
    // The older hint: left, right, top, bottom, for window managers without the partial one.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, strut, XCB_ATOM_CARDINAL, 32, 4,
                        m_struts.constData());
    xcb_flush(connection);
    return true;
}

void DesktopDockX11::removeStruts()
{
    m_struts.clear();
    xcb_connection_t *connection = QX11Info::connection();
    const xcb_window_t id = xcb_window_t(window()->winId());
    xcb_delete_property(connection, id, atom(connection, "_NET_WM_STRUT_PARTIAL"));
    xcb_delete_property(connection, id, atom(connection, "_NET_WM_STRUT"));
    xcb_flush(connection);
}

bool DesktopDockX11::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window() && event->type() == QEvent::WinIdChange && !m_struts.isEmpty())
        applyStruts();
    return DesktopDockPlatform::eventFilter(watched, event);
}

DesktopDockPlatform::Notification DesktopDockX11::notification(const QByteArray &eventType,
                                                               void *message) const
{
    if (eventType != "xcb_generic_event_t" || !message)
        return NoNotification;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const xcb_window_t id = xcb_window_t(window()->internalWinId());
    switch (event->response_type & 0x7f) {
    case XCB_CONFIGURE_NOTIFY: {
        const auto *configure = static_cast<const xcb_configure_notify_event_t *>(message);
        return configure->window == id ? WindowMoved : NoNotification;
    }
    case XCB_FOCUS_IN: {
        const auto *focus = static_cast<const xcb_focus_in_event_t *>(message);
        return focus->event == id ? Activated : NoNotification;
    }
    default:
        // Other bars are the window manager's business here.
        return NoNotification;
    }
}
