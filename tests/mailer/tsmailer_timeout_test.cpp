// A sender that never finishes is killed after the mailer's time-out and reported as such. It
// waits the full time-out, so it runs with the long tests only.
#include "fakesender.h"

#include "mailer/tsmailer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

TEST(TsMailerTimeout, HangingSenderIsKilledAndReported)
{
    // exec: the hanging process is the one the mailer kills, not a child it leaves behind.
    FakeSender hanging("exec sleep 3600");
    TsMailerSettings settings;
    settings.setSmtpServer(QStringLiteral("smtp.lab.example"));
    settings.setMailerDir(hanging.dir.path());
    TsMailer mailer;
    mailer.setSettings(settings);

    QElapsedTimer timer;
    timer.start();
    const QxResult result =
        TsMailer::sendSync(TsMail("a@lab.example", "s"), mailer.command(), false);
    EXPECT_EQ(result.code(), TsMailer::NotFinished);
    EXPECT_EQ(result.message(), "Mailer not finished correctly");
    EXPECT_GE(timer.elapsed(), TsMailer::FinishTimeout - 100);
}
