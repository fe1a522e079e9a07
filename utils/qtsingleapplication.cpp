#include "utils/qtsingleapplication.h"

#include "utils/singleinstancepeer.h"

#include <QWidget>

namespace {

const char DefaultId[] = "Tessaro";

} // namespace

QtSingleApplication::QtSingleApplication(int &argc, char **argv, bool GUIenabled)
    // QApplication's third argument is the toolkit version the program was built against, not a
    // GUI switch: passing the bool on would claim a version 0.0.1 program.
    : QApplication(argc, argv)
    , m_id(QString::fromLatin1(DefaultId))
    , m_peer(new SingleInstancePeer(m_id, this))
{
    Q_UNUSED(GUIenabled)
    connect(m_peer, &SingleInstancePeer::messageReceived, this,
            &QtSingleApplication::messageReceived);
}

QtSingleApplication::QtSingleApplication(const QString &id, int &argc, char **argv)
    : QApplication(argc, argv)
    , m_id(id)
    , m_peer(new SingleInstancePeer(m_id, this))
{
    connect(m_peer, &SingleInstancePeer::messageReceived, this,
            &QtSingleApplication::messageReceived);
}

QtSingleApplication::~QtSingleApplication() = default;

bool QtSingleApplication::isRunning()
{
    return m_peer->isClient();
}

bool QtSingleApplication::sendMessage(const QString &message, int timeout)
{
    return m_peer->sendMessage(message, timeout);
}

void QtSingleApplication::setActivationWindow(QWidget *window, bool activateOnMessage)
{
    m_window = window;
    disconnect(m_activation);
    if (activateOnMessage) {
        m_activation = connect(m_peer, &SingleInstancePeer::messageReceived, this,
                               &QtSingleApplication::activateWindow);
    }
}

void QtSingleApplication::activateWindow()
{
    if (!m_window)
        return;
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
