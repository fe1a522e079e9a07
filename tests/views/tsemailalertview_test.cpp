// The alert switch's view shows the mailer manager's switch whoever moves it.
#include "fcgitestclient.h"
#include "viewtestsupport.h"

#include "config/tsstyle.h"
#include "device/tsdevicechannel.h"
#include "dialogs/tsalarmjournaldialog.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "views/tschannelwidget.h"
#include "views/tsemailalertview.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

using viewtest::entry;

class TsEmailAlertViewTest : public viewtest::ViewFixture
{
protected:
    TsEmailAlertViewTest() { TsCore::mailerManager()->setEmailAlert(false); }
    ~TsEmailAlertViewTest() override { TsCore::mailerManager()->setEmailAlert(false); }
    static QPushButton *button(TsEmailAlertView &view)
    {
        return view.findChild<QPushButton *>(QStringLiteral("pushButtonActivate"));
    }
    // Every shown part of the view inside it at its full height: nothing cut at the bottom.
    static void expectWhole(TsEmailAlertView &view)
    {
        QCoreApplication::processEvents();
        const QRect inside = view.contentsRect();
        QWidget *row = view.findChild<QWidget *>(QStringLiteral("alarmRow"));
        for (QWidget *part : view.findChildren<QWidget *>()) {
            if (!part->isVisibleTo(&view) ||
                (part->parentWidget() != &view && part->parentWidget() != row))
                continue;
            const QRect where(part->mapTo(&view, QPoint()), part->size());
            EXPECT_TRUE(inside.contains(where)) << part->objectName().toStdString() << " bottom "
                                                << where.bottom() << " of " << inside.bottom();
            const int wanted = part->hasHeightForWidth() ? part->heightForWidth(part->width())
                                                         : part->sizeHint().height();
            EXPECT_GE(part->height(), qMin(wanted, part->maximumHeight()))
                << part->objectName().toStdString() << " " << part->metaObject()->className()
                << " in a view of " << view.width() << " x " << view.height();
        }
    }
    static void expectShows(TsEmailAlertView &view, bool on)
    {
        EXPECT_EQ(button(view)->isChecked(), on);
        EXPECT_EQ(button(view)->text(),
                  on ? QStringLiteral("Activated") : QStringLiteral("Not activated"));
    }
};

TEST_F(TsEmailAlertViewTest, AClickArmsAndDisarmsTheMailerManagersSwitch)
{
    TsEmailAlertView view;
    EXPECT_EQ(view.windowTitle(), QStringLiteral("Email Alert"));
    expectWhole(view);
    expectShows(view, false);
    QTest::mouseClick(button(view), Qt::LeftButton);
    EXPECT_TRUE(TsCore::mailerManager()->isEmailAlertOn());
    expectShows(view, true);
    QTest::mouseClick(button(view), Qt::LeftButton);
    EXPECT_FALSE(TsCore::mailerManager()->isEmailAlertOn());
    expectShows(view, false);
}

TEST_F(TsEmailAlertViewTest, AnAlarmOfTheExperimentDisarmsItWithoutAClick)
{
    plug("actual=\"370\"");
    useChannels({entry(stage, "Stage", true)});
    TsEmailAlertView view;
    QTest::mouseClick(button(view), Qt::LeftButton);
    expectShows(view, true);
    runFor(80000);
    ASSERT_EQ(deviceChannel(stage)->stableStatus(), Qt::green);
    // Seven degrees off: green and then yellow hold out their times before red.
    plug("actual=\"300\"");
    runFor(120000);
    ASSERT_EQ(deviceChannel(stage)->stableStatus(), Qt::red);
    EXPECT_FALSE(TsCore::mailerManager()->isEmailAlertOn());
    expectShows(view, false);
}

TEST_F(TsEmailAlertViewTest, AWebPageThatArmsTheAlertTurnsTheButtonOn)
{
    TsEmailAlertView view;
    expectShows(view, false);
    // The responder listens even where nginx cannot come up.
    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    const QString previousDir = web->webServerDir();
    const TsWebInterfaceSettings previous = web->settings();
    TsWebInterfaceSettings settings = previous;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    settings.fcgiPort = probe.serverPort();
    probe.close();
    web->setSettings(settings);
    web->setWebServerDir(empty.path());
    web->start();
    {
        fcgitest::Client client(settings.fcgiPort);
        client.send(fcgitest::simpleRequest(
            1, {{"SCRIPT_NAME", "/ts/emailalert.cgi"}, {"REQUEST_METHOD", "PUT"}}));
        EXPECT_FALSE(client.readUntilEnd(1).isEmpty());
    }
    web->stop();
    web->setWebServerDir(previousDir);
    web->setSettings(previous);
    expectShows(view, true);
}

// The stage in its band for the band's time, then set off at the controller: one alarm.
class AlarmViewTest : public TsEmailAlertViewTest
{
protected:
    void raiseAlarm()
    {
        plug("actual=\"370\"");
        useChannels({entry(stage, "Stage", true)});
        TsCore::mailerManager()->setEmailAlert(true);
        runFor(80000);
        plug("actual=\"370\" setpoint=\"300\"");
        tick();
        ASSERT_EQ(alarms()->state(stage), TsAlarmState::Unacknowledged);
    }
    static TsAlarmMonitor *alarms() { return experiment()->alarmMonitor(); }
    template <typename T>
    static T *child(QWidget &view, const char *name)
    {
        return view.findChild<T *>(QLatin1String(name));
    }
};

TEST_F(AlarmViewTest, TheViewSaysTheAlarmAndAcknowledgesAndRestoresIt)
{
    TsEmailAlertView view;
    view.show();
    EXPECT_TRUE(child<QWidget>(view, "alarmRow")->isHidden());
    const int idleHeight = view.height();
    raiseAlarm();
    alarms()->setMailFailure("Alert mail not sent: 550 mailbox unavailable");
    EXPECT_FALSE(child<QWidget>(view, "alarmRow")->isHidden());
    EXPECT_GT(view.maximumHeight(), idleHeight);
    expectWhole(view);
    const QString text = child<QLabel>(view, "labelAlarms")->text();
    EXPECT_TRUE(text.contains("in alarm, unacknowledged")) << text.toStdString();
    EXPECT_TRUE(text.contains("Alert mail not sent: 550 mailbox unavailable"));
    EXPECT_TRUE(child<QLabel>(view, "labelAlarms")->toolTip().contains("from 37.0 to 30.0"));
    EXPECT_EQ(view.property("alarm").toString(), "unacknowledged");

    // The tile says it too, and its menu offers both.
    TsChannelWidget tile;
    tile.setExperimentChannel(experimentChannel(stage));
    EXPECT_TRUE(child<QLabel>(tile, "labelStatus")->text().startsWith("ALARM: "));
    EXPECT_TRUE(tile.toolTip().contains("setpoint changed at the controller"));
    EXPECT_TRUE(tile.toolTip().contains("Alert mail not sent: 550 mailbox unavailable"));
    QAction *acknowledge = child<QAction>(tile, "actionAcknowledge");
    QAction *restore = child<QAction>(tile, "actionRestore");
    ASSERT_TRUE(acknowledge && restore);
    EXPECT_TRUE(acknowledge->isVisible() && acknowledge->isEnabled());
    EXPECT_TRUE(restore->isVisible());
    EXPECT_EQ(tile.contextMenuPolicy(), Qt::ActionsContextMenu);

    QTest::mouseClick(child<QPushButton>(view, "pushButtonAcknowledge"), Qt::LeftButton);
    EXPECT_EQ(alarms()->state(stage), TsAlarmState::Acknowledged);
    EXPECT_FALSE(child<QPushButton>(view, "pushButtonAcknowledge")->isEnabled());
    EXPECT_FALSE(acknowledge->isEnabled()) << "nothing left to acknowledge on the tile";
    EXPECT_TRUE(child<QLabel>(tile, "labelStatus")->text().startsWith("Alarm (acknowledged): "));

    // Restored, and stable with the program's values: the alarm is over.
    QPushButton *restoreButton = child<QPushButton>(view, "pushButtonRestore");
    ASSERT_FALSE(restoreButton->isHidden());
    QTest::mouseClick(restoreButton, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 37.0);
    tick();
    EXPECT_EQ(alarms()->state(stage), TsAlarmState::Normal);
    EXPECT_TRUE(restoreButton->isHidden());
    alarms()->setMailFailure(QString());
    EXPECT_TRUE(child<QWidget>(view, "alarmRow")->isHidden());
    EXPECT_EQ(view.height(), idleHeight);
}

// Each style gives the buttons its own height, and the alarm text wraps with the width.
TEST_F(AlarmViewTest, EveryPartIsWholeInEitherStyleAtAnyWidth)
{
    {
        // The dark style chosen while the view is shown, as the settings do.
        TsEmailAlertView shown;
        shown.show();
        expectWhole(shown);
        loadStyle(false);
        expectWhole(shown);
    }
    for (const bool light : {false, true}) {
        SCOPED_TRACE(light ? "light" : "dark");
        loadStyle(light);
        TsEmailAlertView view;
        view.resize(226, view.height());
        view.show();
        expectWhole(view);
        if (light)
            raiseAlarm();
        alarms()->setMailFailure("Alert mail not sent: 550 5.1.1 <ann@lab.example>: mailbox "
                                 "unavailable");
        for (const int width : {226, 160, 400}) {
            SCOPED_TRACE(width);
            view.resize(width, view.height());
            expectWhole(view);
        }
        alarms()->setMailFailure(QString());
    }
    qApp->setStyleSheet(QString());
}

TEST_F(AlarmViewTest, TheTilesMenuAcknowledgesItsOwnChannel)
{
    raiseAlarm();
    TsChannelWidget tile;
    tile.setExperimentChannel(experimentChannel(stage));
    child<QAction>(tile, "actionAcknowledge")->trigger();
    EXPECT_EQ(alarms()->state(stage), TsAlarmState::Acknowledged);
    EXPECT_EQ(TsAlarmJournal::read(TsCore::alarmJournal()->path()).last().who, "Operator");
}

TEST_F(AlarmViewTest, TheJournalOpensNewestFirstAndFiltersByChannel)
{
    raiseAlarm();
    TsAlarmJournal::Entry other;
    other.channel = lid;
    other.event = TsAlarmJournal::EventAcknowledged;
    other.who = "Operator";
    ASSERT_TRUE(TsCore::alarmJournal()->append(other));

    TsEmailAlertView view;
    QTest::mouseClick(child<QPushButton>(view, "pushButtonJournal"), Qt::LeftButton);
    auto *dialog = view.findChild<TsAlarmJournalDialog *>();
    ASSERT_NE(dialog, nullptr);
    auto *table = child<QTableWidget>(*dialog, "tableJournal");
    ASSERT_GE(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, TsAlarmJournalDialog::ChannelColumn)->text(), lid) << "newest first";
    EXPECT_EQ(table->item(1, TsAlarmJournalDialog::EventColumn)->text(), "alarm");

    auto *channels = child<QComboBox>(*dialog, "comboBoxChannel");
    channels->setCurrentIndex(channels->findData(stage));
    for (int row = 0; row < table->rowCount(); ++row)
        EXPECT_EQ(table->item(row, TsAlarmJournalDialog::ChannelColumn)->text(), stage);
    EXPECT_GE(table->rowCount(), 1);

    // A line written while it is open shows at once, at the top.
    alarms()->acknowledge(stage, "Operator");
    EXPECT_EQ(table->item(0, TsAlarmJournalDialog::EventColumn)->text(), "acknowledged");
    EXPECT_EQ(channels->currentData().toString(), stage) << "the filter stays";
    dialog->close();
}

} // namespace
