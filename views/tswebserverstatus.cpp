#include "views/tswebserverstatus.h"

#include "tscore.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TsWebServerStatus::TsWebServerStatus(QWidget *parent)
    : QFrame(parent)
    , m_manager(TsCore::webInterfaceManager())
    , m_text(new QLabel(this))
    , m_start(new QPushButton(tr("Start web server"), this))
{
    setObjectName(QStringLiteral("webServerStatus"));
    m_text->setObjectName(QStringLiteral("labelWebServerStatus"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_start->setObjectName(QStringLiteral("pushButtonStartWebServer"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_start);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    QMetaObject::connectSlotsByName(this);

    connect(m_manager, &TsWebInterfaceManager::webServerError, this, &TsWebServerStatus::refresh);
    connect(m_manager, &TsWebInterfaceManager::webServerRestarted, this,
            &TsWebServerStatus::refresh);
    refresh();
}

void TsWebServerStatus::refresh()
{
    // A restart under way is the manager's business; only a web server left stopped with a
    // reason needs the operator.
    const bool down = !m_manager->isRunning() && !m_manager->errorString().isEmpty();
    if (down)
        m_text->setText(tr("The web page is not available. %1").arg(m_manager->errorString()));
    setVisible(down);
}

void TsWebServerStatus::on_pushButtonStartWebServer_clicked()
{
    m_manager->start();
    refresh();
}
