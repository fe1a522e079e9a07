#include "views/tschannelsview.h"
#include "ui_tschannelsview.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"
#include "views/tschannelwidget.h"

#include <QHash>
#include <QVBoxLayout>

TsChannelsView::TsChannelsView(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::TsChannelsView)
{
    ui->setupUi(this);
    setFrameStyle(QFrame::Box);
    ui->labelTitle->setArrowOnly(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(ui->labelTitle, 0, Qt::AlignTop);
    layout->addWidget(ui->scrollArea, 0);
    m_channelLayout = new QVBoxLayout(ui->scrollAreaWidgetContents);
    m_channelLayout->setContentsMargins(0, 0, 0, 0);

    TsExperimentManager *experiments = TsCore::experimentManager();
    connect(experiments, &TsExperimentManager::currentExperimentChanged, this,
            &TsChannelsView::onNewExperiment);
    connect(ui->labelTitle, &FancyLabel::clicked, this, &TsChannelsView::collapseChilds);

    reloadChannels();
    follow(experiments->currentExperiment());
}

TsChannelsView::~TsChannelsView() = default;

void TsChannelsView::follow(TsExperiment *experiment)
{
    // Unique, so that announcing the same experiment again does not reload twice per change.
    if (experiment)
        connect(experiment, &TsExperiment::configChanged, this, &TsChannelsView::reloadChannels,
                Qt::UniqueConnection);
}

void TsChannelsView::onNewExperiment(TsExperiment *experiment)
{
    reloadChannels();
    follow(experiment);
}

void TsChannelsView::reloadChannels()
{
    qDebug("TsChannelsView::reloadChannels");
    // A controller plugged in or out changes no experiment channel: their tiles stay, with their
    // graphs and compact state, and follow the connection themselves. Only the tiles of channels
    // that left (a new profile) go, and new channels get new tiles.
    QHash<TsExperimentChannel *, TsChannelWidget *> kept;
    for (TsChannelWidget *widget : qAsConst(m_widgets)) {
        if (TsExperimentChannel *channel = widget->experimentChannel())
            kept.insert(channel, widget);
    }
    while (QLayoutItem *item = m_channelLayout->takeAt(0))
        delete item;
    QList<TsChannelWidget *> widgets;
    if (TsExperiment *experiment = TsCore::experimentManager()->currentExperiment()) {
        for (TsExperimentChannel *channel : experiment->channels()) {
            TsChannelWidget *widget = kept.take(channel);
            if (!widget) {
                widget = new TsChannelWidget;
                widget->setExperimentChannel(channel);
            }
            m_channelLayout->addWidget(widget, 32);
            widgets.append(widget);
        }
        m_channelLayout->addStretch(1);
    }
    for (TsChannelWidget *widget : qAsConst(m_widgets)) {
        if (!widgets.contains(widget))
            delete widget;
    }
    m_widgets = widgets;
}

void TsChannelsView::collapseChilds()
{
    const bool collapsed = ui->labelTitle->isCollapsed();
    for (TsChannelWidget *widget : qAsConst(m_widgets)) {
        if (widget->isEnabled())
            widget->setCollapsed(collapsed);
    }
}
