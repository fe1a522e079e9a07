// The alert mail as the program sends it: the core's current user, profile and web settings, a
// channel of the controller simulation, the shipped template, the sender program and a real SMTP
// server on loopback.
#include "smtptestserver.h"

#include "mailer/alarmusersupport.h"

#include "device/devicetestsupport.h"

#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "mailer/tsmailer.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "user/tsusersettings.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThreadPool>

#include <string>

#include <gtest/gtest.h>

namespace {

const bool simulationReady = (devicetest::simulation(), true);

constexpr int SendTimeout = TsMailer::StartTimeout + TsMailer::FinishTimeout + 5000; // ms

// The heat unit with the stage channel at that raw actual value (tenths of a degree).
void plug(const std::string &serial, int stageRaw)
{
    devicetest::simulation().write(devicetest::heatUnit(
        serial, "",
        devicetest::channel(1, "Stage", "actual=\"" + std::to_string(stageRaw) + "\"") +
            devicetest::channel(2, "Lid")));
}

QString lineAfter(const QString &body, const QString &label)
{
    const QRegularExpression line(QStringLiteral("^") + QRegularExpression::escape(label) +
                                      QStringLiteral("\\s*(.*)$"),
                                  QRegularExpression::MultilineOption);
    return line.match(body).captured(1).trimmed();
}

} // namespace

TEST(AlertMail, ReachesTheCurrentUserWithWhatTheCoreKnows)
{
    ASSERT_TRUE(simulationReady);
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();

    const std::string serial = devicetest::freshHeatSerial();
    const QString deviceId = QString::fromStdString(serial);
    const QString stage = deviceId + QStringLiteral(":1");
    plug(serial, 370);

    const QString user = QStringLiteral("ann");
    const QString profileName = QStringLiteral("Overnight HeLa");
    devicetest::ManualClock clock;
    ASSERT_TRUE(alarmtest::useAlarmUser(user, profileName, "ann@lab.example", stage, clock));
    ASSERT_EQ(TsCore::configManager()->userSettings().email(), "ann@lab.example");
    TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    TsExperimentChannel *channel = experiment->channels().first();

    TsWebInterfaceSettings web = TsCore::webInterfaceManager()->settings();
    web.publicUrl = QStringLiteral("http://scope-2.lab.example:8080/");
    web.serverName = QStringLiteral("scope-2");
    TsCore::webInterfaceManager()->setSettings(web);

    TsMailerManager *mailers = TsCore::mailerManager();
    TsMailerSettings settings = mailers->mailerSettings();
    settings.setSmtpServer(QStringLiteral("127.0.0.1"));
    settings.setSmtpPort(server.port());
    settings.setSenderEmail(QStringLiteral("scope2@lab.example"));
    settings.setSenderName(QStringLiteral("Scope 2"));
    mailers->setMailerSettings(settings);
    QSignalSpy status(mailers->mailer(), &TsMailer::sendStatus);
    mailers->setEmailAlert(true);

    // Green for the band's 60 s, then out of the band: one alarm.
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    const QList<QPair<int, qint64>> ticks = {
        {370, 0}, {370, 1000}, {370, 61000}, {250, 62000}, {250, 200000}};
    for (const auto &tick : ticks) {
        plug(serial, tick.first);
        clock.now = tick.second;
        experiment->sampleChannels();
    }
    ASSERT_TRUE(status.count() == 1 || status.wait(SendTimeout)) << "no alert mail sent";
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1000);
    EXPECT_FALSE(mailers->isEmailAlertOn()) << "one-shot";
    const TsMail sent = status.at(0).at(0).value<TsMail>();
    EXPECT_TRUE(sent.result().isSuccess()) << sent.result().toString().toStdString();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(SendTimeout));

    const QList<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1);
    const ReceivedMail &mail = mails.first();
    if (!qEnvironmentVariableIsEmpty("TESSARO_SAVE_ALERT_MAIL")) {
        QFile copy(qEnvironmentVariable("TESSARO_SAVE_ALERT_MAIL"));
        if (copy.open(QIODevice::WriteOnly))
            copy.write(mail.raw);
    }
    EXPECT_EQ(mail.header("to"), "ann@lab.example");
    EXPECT_EQ(mail.header("from"), "\"Scope 2\" <scope2@lab.example>");
    EXPECT_EQ(mail.header("subject"), "Tessaro alarm: a channel has lost its stable state");
    EXPECT_TRUE(mail.header("part-content-disposition").startsWith("inline"));

    const QString &body = mail.body;
    EXPECT_FALSE(body.contains("%TS_")) << body.toStdString();
    EXPECT_EQ(lineAfter(body, "Channel:"), QStringLiteral("Stage (%1)").arg(stage));
    EXPECT_EQ(lineAfter(body, "Device:"), QStringLiteral("Heat Unit H2 (%1)").arg(deviceId));
    EXPECT_EQ(lineAfter(body, "Actual value:"), QString::fromUtf8("25.0°C"));
    EXPECT_EQ(lineAfter(body, "Setpoint:"), QString::fromUtf8("37.0°C"));
    EXPECT_EQ(lineAfter(body, "Unit:"), QString::fromUtf8("°C"));
    EXPECT_FALSE(channel->statusText().isEmpty());
    EXPECT_EQ(lineAfter(body, "Status:"), channel->statusText());
    EXPECT_EQ(lineAfter(body, "User:"), QStringLiteral("ann <ann@lab.example>"));
    EXPECT_EQ(lineAfter(body, "Profile:"), profileName);
    EXPECT_EQ(lineAfter(body, "Current values:"),
              QStringLiteral("http://scope-2.lab.example:8080/ (server scope-2)"));
    const QDateTime detected = QDateTime::fromString(lineAfter(body, "Detected at:"), Qt::TextDate);
    EXPECT_TRUE(detected.isValid()) << lineAfter(body, "Detected at:").toStdString();
    EXPECT_TRUE(detected >= before && detected <= after)
        << detected.toString(Qt::ISODate).toStdString();
}
