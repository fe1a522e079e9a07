// The channels view with a tile in each of its five looks, compact and full, with the setpoint
// editor open, and the alert switch in both states.
#include "screenshotscene.h"

#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "views/fancylabel.h"
#include "views/tschannelgraph.h"
#include "views/tschannelsview.h"
#include "views/tschannelwidget.h"
#include "views/tsemailalertview.h"
#include "views/tssetpointeditor.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>

namespace {

// The width the main window gives its views.
constexpr int ViewWidth = 216;

std::string freshGasSerial()
{
    static int next = 0;
    return "154S" + std::to_string(next++);
}

// Green (at its setpoint), yellow (0.3 off), loop off, red (a three-digit value far from its
// setpoint, under the longest name a controller reports, 30 characters) and offline (a controller
// not plugged in, under a profile name of 31 characters).
void useFiveLooks(screenshots::Context &context)
{
    const std::string gas = freshGasSerial();
    context.otherControllers = devicetest::controller(
        gas, "Gas Unit G2", "0004",
        devicetest::channel(1, "CO2", "actual=\"52\" setpoint=\"50\" control=\"0\"") +
            devicetest::channel(2, "O2 Sensor of Hypoxia Chamber 1",
                                "actual=\"1000\" setpoint=\"50\" maximum=\"1000\""));
    context.plug("actual=\"370\"", "actual=\"373\"");
    const QString gasSerial = QString::fromStdString(gas);
    context.useChannels(
        {viewtest::entry(context.stage, QStringLiteral("Stage")),
         viewtest::entry(context.lid, QStringLiteral("Lid")),
         viewtest::entry(gasSerial + QStringLiteral(":1"), QStringLiteral("CO2")),
         viewtest::entry(gasSerial + QStringLiteral(":2"), QStringLiteral("O2")),
         viewtest::entry(context.missing, QStringLiteral("Stage-top incubator door switch"))});
    context.runFor(80000);
}

TsChannelsView *channelsView()
{
    auto *view = new TsChannelsView;
    view->resize(ViewWidth, 480);
    return view;
}

} // namespace

TESSARO_SCREENSHOT_SCENE(channelTiles, "channels-tiles")
{
    useFiveLooks(context);
    return channelsView();
}

TESSARO_SCREENSHOT_SCENE(channelTilesCompact, "channels-compact")
{
    useFiveLooks(context);
    TsChannelsView *view = channelsView();
    view->resize(ViewWidth, 200);
    view->findChild<FancyLabel *>(QStringLiteral("labelTitle"))->arrowButton()->click();
    return view;
}

TESSARO_SCREENSHOT_SCENE(channelGraph, "channels-graph")
{
    context.plug("actual=\"370\"");
    context.useChannels({viewtest::entry(context.stage, QStringLiteral("Stage"))});
    context.runFor(80000);
    // Forty minutes of a stage warming up from 30 to 37 degrees, one sample every five seconds.
    qint64 now = QDateTime::currentMSecsSinceEpoch() - 40 * 60 * 1000;
    TsChannelGraph::setWallClock([&now] { return now; });
    TsChannelsView *view = channelsView();
    view->resize(ViewWidth, 160);
    TsChannelGraph *graph = view->channelWidgets().value(0)->graph();
    for (int i = 0; i < 480; ++i) {
        graph->addSample(30.0 + 7.0 * (1.0 - std::exp(-i / 90.0)));
        now += 5000;
    }
    TsChannelGraph::setWallClock({});
    view->channelWidgets().value(0)->toggleGraph();
    return view;
}

TESSARO_SCREENSHOT_SCENE(emailAlertOff, "emailalert-off")
{
    Q_UNUSED(context)
    TsCore::mailerManager()->setEmailAlert(false);
    auto *view = new TsEmailAlertView;
    view->resize(ViewWidth, view->height());
    return view;
}

TESSARO_SCREENSHOT_SCENE(emailAlertOn, "emailalert-on")
{
    Q_UNUSED(context)
    TsCore::mailerManager()->setEmailAlert(true);
    auto *view = new TsEmailAlertView;
    view->resize(ViewWidth, view->height());
    return view;
}

// The setpoint editor open with a value being typed: on the green tile in the dark style and on
// the red one in the light style, where the field used to take the tile's text colour.
TESSARO_SCREENSHOT_SCENE(channelSetpointEditor, "channels-setpoint")
{
    useFiveLooks(context);
    TsChannelsView *view = channelsView();
    const bool light = qApp->property("styleName").toString() == QLatin1String("light");
    TsChannelWidget *tile = view->channelWidgets().value(light ? 3 : 0);
    QTimer::singleShot(0, tile, [tile] { // once on the screen: a click on the box, then typing
        QTest::mouseClick(tile->findChild<QLabel *>(QStringLiteral("labelSetpointValue")),
                          Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::keyClicks(tile->findChild<TsSetpointEditor *>(), QStringLiteral("37.5"));
    });
    return view;
}
