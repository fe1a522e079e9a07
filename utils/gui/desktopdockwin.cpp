#include "desktopdockwin.h"

#include <qt_windows.h>
#include <shellapi.h>

static_assert(sizeof(APPBARDATA) == 36 || sizeof(void *) != 4,
              "the shell's record is 36 bytes in a 32-bit program");

bool DesktopDockWin::message(Message message, AppBarData &data)
{
    // The shell counts physical pixels; the record, like the window's geometry, the toolkit's.
    QPoint origin;
    qreal ratio = 1;
    scaleOf(data, &origin, &ratio);
    AppBarData physical = data;
    toPhysical(physical, origin, ratio);

    APPBARDATA record = {};
    record.cbSize = sizeof(APPBARDATA);
    record.hWnd = reinterpret_cast<HWND>(data.window);
    record.uCallbackMessage = data.callbackMessage;
    record.uEdge = data.edge;
    record.rc.left = physical.left;
    record.rc.top = physical.top;
    record.rc.right = physical.right;
    record.rc.bottom = physical.bottom;
    record.lParam = LPARAM(data.param);
    const bool done = SHAppBarMessage(DWORD(message), &record) != FALSE;
    // The shell may have moved the proposed rectangle.
    physical.left = record.rc.left;
    physical.top = record.rc.top;
    physical.right = record.rc.right;
    physical.bottom = record.rc.bottom;
    toLogical(physical, origin, ratio);
    data.left = physical.left;
    data.top = physical.top;
    data.right = physical.right;
    data.bottom = physical.bottom;
    return done;
}

DesktopDockPlatform::Notification DesktopDockWin::notification(const QByteArray &eventType,
                                                               void *message) const
{
    if (eventType != "windows_generic_MSG" || !message)
        return NoNotification;
    const MSG *msg = static_cast<const MSG *>(message);
    switch (msg->message) {
    case WM_ACTIVATE:
        return Activated;
    case WM_WINDOWPOSCHANGED:
        return WindowMoved;
    case WM_USER + 1: // the bar's callback message
        return msg->wParam == ABN_POSCHANGED ? BarsChanged : NoNotification;
    default:
        return NoNotification;
    }
}
