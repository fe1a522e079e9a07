// What the desktop dock needs of the desktop and of the shell, in one narrow place: the screens,
// the shell's application-bar messages on one record, and what a native window message means for
// the bar. The dock's arithmetic and states know nothing else of the platform, so that a test can
// stand in for it and a port is one file.
#pragma once

#include <QObject>
#include <QRect>
#include <QtGlobal>
#include <qwindowdefs.h>

class QWidget;

class DesktopDockPlatform : public QObject
{
    Q_OBJECT

public:
    // The shell's edges.
    enum Edge
    {
        Left = 0,
        Right = 2
    };

    // The shell's application-bar messages, with the shell's numbers.
    enum Message
    {
        New = 0,
        Remove = 1,
        QueryPos = 2,
        SetPos = 3,
        Activate = 6,
        WindowPosChanged = 9
    };

    // The record exchanged with the shell, field for field.
    struct AppBarData
    {
        quint32 size = 36;
        WId window = 0;
        quint32 callbackMessage = 1025; // the first user message + 1
        quint32 edge = Right;
        // The bar's rectangle; right and bottom exclusive.
        qint32 left = 0;
        qint32 top = 0;
        qint32 right = 0;
        qint32 bottom = 0;
        qintptr param = 0; // read by none of the messages used here
    };

    // What a native message means for a registered bar.
    enum Notification
    {
        NoNotification,
        Activated,   // the window was activated
        WindowMoved, // the window's position or size changed
        BarsChanged  // other bars changed: the strip must be negotiated again
    };

    // The platform of the running program for that window: the window manager's hints on X11,
    // elsewhere one that declines the registration, which leaves the window undocked.
    static DesktopDockPlatform *create(QWidget *window, QObject *parent = nullptr);

    explicit DesktopDockPlatform(QWidget *window, QObject *parent = nullptr);
    ~DesktopDockPlatform() override;

    QWidget *window() const { return m_window; }

    // The desktop: the application's screens unless a test says otherwise.
    virtual int screenCount() const;
    virtual int primaryScreen() const;
    virtual QRect screenGeometry(int index) const;
    // The screen the window is on; the primary one when it is on none.
    virtual int screenOf() const;

    // The shell's application-bar interface; true on success.
    virtual bool message(Message message, AppBarData &data) = 0;
    // Looks at every native message of the application.
    virtual Notification notification(const QByteArray &eventType, void *message) const;

    // The record's rectangle between the toolkit's pixels and the shell's physical ones: at 150 %
    // display scaling (ratio 1.5) a strip of 226 of the toolkit's pixels is 339 of the shell's.
    // The toolkit scales each screen about its top-left corner, `origin`, which is the same point
    // in both.
    static void toPhysical(AppBarData &data, const QPoint &origin, qreal ratio);
    static void toLogical(AppBarData &data, const QPoint &origin, qreal ratio);
    // The corner and ratio of the screen that holds the record's top-left corner, or of the
    // window's screen when none does.
    void scaleOf(const AppBarData &data, QPoint *origin, qreal *ratio) const;

signals:
    // A screen came or went, or one changed its size.
    void screensChanged();

private:
    QWidget *m_window;
};
