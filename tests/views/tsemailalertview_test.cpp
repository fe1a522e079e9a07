// The alert switch's view shows the mailer manager's switch whoever moves it.
#include "fcgitestclient.h"
#include "viewtestsupport.h"

#include "device/tsdevicechannel.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "views/tsemailalertview.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QPushButton>
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
    EXPECT_EQ(view.height(), 52);
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

} // namespace
