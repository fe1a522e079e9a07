// The channels view: one tile per experiment channel, rebuilt when the channels change but kept
// across a plug, and the title bar's arrow for all enabled tiles.
#include "viewtestsupport.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphseriesdata.h"
#include "views/fancylabel.h"
#include "views/tschannelgraph.h"
#include "views/tschannelsview.h"
#include "views/tschannelwidget.h"

#include <QPointer>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using viewtest::entry;

class TsChannelsViewTest : public viewtest::ViewFixture
{
protected:
    static int stretches(QVBoxLayout *layout)
    {
        int count = 0;
        for (int i = 0; i < layout->count(); ++i) {
            if (layout->itemAt(i)->spacerItem())
                ++count;
        }
        return count;
    }
    static void clickArrow(TsChannelsView &view)
    {
        auto *title = view.findChild<FancyLabel *>(QStringLiteral("labelTitle"));
        ASSERT_NE(title, nullptr);
        QTest::mouseClick(title->arrowButton(), Qt::LeftButton);
    }
};

TEST_F(TsChannelsViewTest, OneTilePerChannelInOrderEndedByOneStretchHoweverOftenReloaded)
{
    useStandardChannels();
    TsChannelsView view;
    EXPECT_EQ(view.windowTitle(), QStringLiteral("Channels"));
    ASSERT_EQ(view.channelWidgets().size(), 3);
    EXPECT_EQ(view.channelWidgets()[0]->experimentChannel()->id(), stage);
    EXPECT_EQ(view.channelWidgets()[2]->experimentChannel()->id(), missing);
    QPointer<TsChannelWidget> old = view.channelWidgets()[0];

    useChannels({entry(lid, "Lid"), entry(stage, "Stage")});
    useChannels({entry(lid, "Lid"), entry(stage, "Stage")});
    EXPECT_TRUE(old.isNull()) << "old tiles are deleted";
    ASSERT_EQ(view.channelWidgets().size(), 2);
    EXPECT_EQ(view.channelWidgets()[0]->experimentChannel()->id(), lid);
    QVBoxLayout *layout = view.channelLayout();
    EXPECT_EQ(layout->count(), 3);
    EXPECT_EQ(stretches(layout), 1);
    EXPECT_NE(layout->itemAt(2)->spacerItem(), nullptr);
    EXPECT_EQ(layout->stretch(0), 32);
    EXPECT_EQ(layout->stretch(2), 1);
}

TEST_F(TsChannelsViewTest, TilesOfChannelsThatStayKeepTheirGraphAcrossAPlug)
{
    useStandardChannels();
    TsChannelsView view;
    ASSERT_EQ(view.channelWidgets().size(), 3);
    const QList<TsChannelWidget *> before = view.channelWidgets();
    QPointer<TsChannelWidget> tile = before[0];
    tile->toggleGraph();
    ASSERT_TRUE(QMetaObject::invokeMethod(TsChannelWidget::refreshTimer(), "timeout",
                                          Qt::DirectConnection));
    const size_t samples = tile->graph()->lineSeries()->data()->samples().size();
    ASSERT_GE(samples, 1u);

    // The controller goes and comes back: the experiment announces both.
    unplug();
    plug();
    ASSERT_FALSE(tile.isNull()) << "the tile survived the plug";
    EXPECT_EQ(view.channelWidgets(), before);
    EXPECT_FALSE(tile->graph()->isHidden()) << "the graph the operator opened stays open";
    EXPECT_EQ(tile->graph()->lineSeries()->data()->samples().size(), samples);
    EXPECT_TRUE(tile->isEnabled()) << "and shows the channel connected again";
    QVBoxLayout *layout = view.channelLayout();
    EXPECT_EQ(layout->count(), 4);
    EXPECT_EQ(stretches(layout), 1);
}

TEST_F(TsChannelsViewTest, ANewExperimentWithoutChannelsLeavesOnlyTheStretch)
{
    useStandardChannels();
    TsChannelsView view;
    TsExperimentManager *manager = TsCore::experimentManager();
    auto *fresh = new TsExperiment(devices(), manager);
    manager->setCurrentExperiment(fresh);
    fresh->stopSampling();
    EXPECT_TRUE(view.channelWidgets().isEmpty());
    EXPECT_EQ(view.channelLayout()->count(), 1);
    EXPECT_EQ(stretches(view.channelLayout()), 1);
    // The view follows the new experiment's changes.
    ASSERT_TRUE(fresh
                    ->setProfile([this] {
                        TsProfile p;
                        p.setValid(true);
                        p.setChannels({entry(stage, "Stage")});
                        return p;
                    }())
                    .isSuccess());
    EXPECT_EQ(view.channelWidgets().size(), 1);
}

TEST_F(TsChannelsViewTest, TheArrowMakesEnabledTilesCompactAndFullAndLeavesOfflineOnesCompact)
{
    useStandardChannels();
    TsChannelsView view;
    view.resize(220, 400);
    view.show();
    const auto &tiles = view.channelWidgets();
    ASSERT_EQ(tiles.size(), 3);
    EXPECT_TRUE(tiles[2]->isCollapsed());
    clickArrow(view);
    EXPECT_TRUE(tiles[0]->isCollapsed());
    EXPECT_TRUE(tiles[1]->isCollapsed());
    // Arrow only: the view itself keeps its height.
    EXPECT_EQ(view.maximumHeight(), QWIDGETSIZE_MAX);
    clickArrow(view);
    EXPECT_FALSE(tiles[0]->isCollapsed());
    EXPECT_FALSE(tiles[1]->isCollapsed());
    EXPECT_TRUE(tiles[2]->isCollapsed());
    EXPECT_FALSE(tiles[2]->isEnabled());
}

} // namespace
