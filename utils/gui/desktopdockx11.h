// The desktop dock on X11: the window manager's hints stand in for the shell's application bar.
// The window becomes a dock-type window, and its strut on the chosen edge of the chosen screen
// tells the window manager to keep maximised windows out of the strip.
#pragma once

#include "utils/gui/desktopdockplatform.h"

#include <QVector>

class DesktopDockX11 : public DesktopDockPlatform
{
    Q_OBJECT

public:
    explicit DesktopDockX11(QWidget *window, QObject *parent = nullptr);
    ~DesktopDockX11() override;

    bool message(Message message, AppBarData &data) override;
    Notification notification(const QByteArray &eventType, void *message) const override;

    // The twelve values of _NET_WM_STRUT_PARTIAL for a bar rectangle (right and bottom exclusive)
    // on that edge of a root window of that size, all in the X server's pixels.
    static QVector<quint32> strutPartial(const QRect &bar, int edge, const QSize &root);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool applyStruts();
    void removeStruts();

    QVector<quint32> m_struts; // empty while no strut is claimed
};
