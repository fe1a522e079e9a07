// Docks one top-level window to the left or right edge of a screen as an application bar: a
// frameless tool window for which the desktop reserves a strip, so that maximised windows of
// other programs stop at it. Where the desktop offers no such thing, docking fails and the window
// stays as it was.
#pragma once

#include <QObject>
#include <QScopedPointer>

class DesktopDockPlatform;
class DesktopDockPrivate;
class QWidget;

class DesktopDock : public QObject
{
    Q_OBJECT

public:
    // Sides as state() reports them.
    enum State
    {
        NotDocked = 0,
        DockedLeft = 1,
        DockedRight = 2
    };

    // The window is also the parent. The owner calls deinit() before it goes: destruction does
    // not give the strip back.
    explicit DesktopDock(QWidget *window);
    // The same on that platform, which the dock takes over (tests stand in for the desktop).
    DesktopDock(QWidget *window, DesktopDockPlatform *platform);
    ~DesktopDock() override;

    // An index outside the screens selects the primary screen. Takes effect at the next
    // positioning.
    void setScreen(int index);
    int screen() const;
    // One of State.
    int state() const;
    // Below 1 undocks, 1 docks left, anything else docks right.
    void setState(int value);

signals:
    void screensChanged();
    void dockingChanged();

public slots:
    // Docks on the current edge and screen; false when already docked or when the desktop
    // declined, which leaves the window with its old flags, shown.
    bool init();
    void deinit();
    void dockLeft();
    void dockRight();
    void dockToggle();

protected slots:
    // A screen came, went or changed its size: the bar moves to the primary screen.
    void screenCountUpdated(int ignored);

private:
    QScopedPointer<DesktopDockPrivate> d;
    friend class DesktopDockPrivate;
};
