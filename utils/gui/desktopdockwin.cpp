#include "desktopdockwin.h"

#include <qt_windows.h>
#include <shellapi.h>

static_assert(sizeof(APPBARDATA) == 36 || sizeof(void *) != 4,
              "the shell's record is 36 bytes in a 32-bit program");

bool DesktopDockWin::message(Message message, AppBarData &data)
{
    APPBARDATA record = {};
    record.cbSize = sizeof(APPBARDATA);
    record.hWnd = reinterpret_cast<HWND>(data.window);
    record.uCallbackMessage = data.callbackMessage;
    record.uEdge = data.edge;
    record.rc.left = data.left;
    record.rc.top = data.top;
    record.rc.right = data.right;
    record.rc.bottom = data.bottom;
    record.lParam = LPARAM(data.param);
    const bool done = SHAppBarMessage(DWORD(message), &record) != FALSE;
    // The shell may have moved the proposed rectangle.
    data.left = record.rc.left;
    data.top = record.rc.top;
    data.right = record.rc.right;
    data.bottom = record.rc.bottom;
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
