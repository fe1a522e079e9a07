// The application object of a program that runs once per user: a second start finds the first,
// hands it a message and ends, and the first brings its window to the front.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>

class SingleInstancePeer;

class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    // Instances of the same program and user meet under the application's default id. A
    // QApplication always has a GUI; GUIenabled is kept for the start-up code that names it.
    QtSingleApplication(int &argc, char **argv, bool GUIenabled = true);
    // Instances meet under id; for several programs, or tests, that must not meet each other.
    QtSingleApplication(const QString &id, int &argc, char **argv);
    ~QtSingleApplication() override;

    QString id() const { return m_id; }

    // Whether another instance of this program runs for this user.
    bool isRunning();
    // Hands message to the running instance, waiting up to timeout ms; false if it did not
    // arrive in time or this is the running instance.
    bool sendMessage(const QString &message, int timeout = 5000);

    // The window to raise and activate; with activateOnMessage every message activates it.
    void setActivationWindow(QWidget *window, bool activateOnMessage = true);
    QWidget *activationWindow() const { return m_window; }

public slots:
    // Restores, raises and activates the activation window.
    void activateWindow();

signals:
    void messageReceived(const QString &message);

private:
    QString m_id;
    SingleInstancePeer *m_peer = nullptr;
    QPointer<QWidget> m_window;
    QMetaObject::Connection m_activation;
};
