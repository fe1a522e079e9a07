// The main window's view "channels": one channel tile per channel of the current experiment in a
// scrolling column under a title bar whose arrow makes all tiles compact or full. The tiles are
// built anew whenever the experiment or its channels change.
#pragma once

#include <QFrame>
#include <QList>
#include <QScopedPointer>

class QVBoxLayout;
class TsChannelWidget;
class TsExperiment;

namespace Ui {
class TsChannelsView;
}

class TsChannelsView : public QFrame
{
    Q_OBJECT

public:
    explicit TsChannelsView(QWidget *parent = nullptr);
    ~TsChannelsView() override;

    const QList<TsChannelWidget *> &channelWidgets() const { return m_widgets; }
    QVBoxLayout *channelLayout() const { return m_channelLayout; }

private slots:
    void onNewExperiment(TsExperiment *experiment);
    void reloadChannels();
    void collapseChilds();

private:
    void follow(TsExperiment *experiment);

    QScopedPointer<Ui::TsChannelsView> ui;
    QVBoxLayout *m_channelLayout = nullptr;
    QList<TsChannelWidget *> m_widgets;
};
