#include "views/tschannelsview.h"
#include "ui_tschannelsview.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"
#include "views/tschannelwidget.h"

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
    while (QLayoutItem *item = m_channelLayout->takeAt(0))
        delete item;
    qDeleteAll(m_widgets);
    m_widgets.clear();

    TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    if (!experiment)
        return;
    const QList<TsExperimentChannel *> &channels = experiment->channels();
    for (TsExperimentChannel *channel : channels) {
        auto *widget = new TsChannelWidget;
        widget->setExperimentChannel(channel);
        m_channelLayout->addWidget(widget, 32);
        m_widgets.append(widget);
    }
    m_channelLayout->addStretch(1);
}

void TsChannelsView::collapseChilds()
{
    const bool collapsed = ui->labelTitle->isCollapsed();
    for (TsChannelWidget *widget : qAsConst(m_widgets)) {
        if (widget->isEnabled())
            widget->setCollapsed(collapsed);
    }
}
