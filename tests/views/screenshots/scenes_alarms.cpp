// The alert view with an unacknowledged alarm and a mail that did not go, and the alarm journal.
#include "screenshotscene.h"

#include "dialogs/tsalarmjournaldialog.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperiment.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "views/tsemailalertview.h"

#include <QCoreApplication>
#include <QFile>

namespace {

// The stage settles in its band, then its setpoint is changed at the controller.
void raiseAlarm(screenshots::Context &context)
{
    context.plug("actual=\"370\"");
    context.useChannels(
        {viewtest::entry(context.stage, "Stage"), viewtest::entry(context.lid, "Lid")});
    TsCore::mailerManager()->setEmailAlert(true);
    context.runFor(80000);
    context.plug("actual=\"370\" setpoint=\"300\"");
    context.tick();
}

} // namespace

TESSARO_SCREENSHOT_SCENE(alertUnacknowledged, "alert-unacknowledged")
{
    raiseAlarm(context);
    auto *view = new TsEmailAlertView;
    // The mail that went nowhere, as the mail server said it.
    TsAlarmMonitor *alarms = context.experiment()->alarmMonitor();
    QCoreApplication::processEvents();
    alarms->setMailFailure(
        QStringLiteral("Alert mail not sent: 550 5.1.1 <ann@lab.example>: mailbox unavailable"));
    view->resize(240, view->maximumHeight());
    return view;
}

// The alarm raised again, journalled anew in the file just emptied.
void raiseAlarmLine(screenshots::Context &context)
{
    context.experiment()->alarmMonitor()->journalEvent(
        context.stage, TsAlarmJournal::EventAlarm, QString(),
        QStringLiteral("setpoint changed at the controller from 37.0 to 30.0"));
}

TESSARO_SCREENSHOT_SCENE(alarmJournal, "alarm-journal")
{
    raiseAlarm(context);
    TsAlarmJournal *journal = TsCore::alarmJournal();
    // Only this scene's lines, not those of the other style's run.
    QFile::remove(journal->path());
    raiseAlarmLine(context);
    const auto add = [&](const QString &channel, const char *event, const QString &who,
                         const QString &details) {
        TsAlarmJournal::Entry entry;
        entry.channel = channel;
        entry.event = QString::fromLatin1(event);
        entry.who = who;
        entry.details = details;
        journal->append(entry);
    };
    add(context.stage, TsAlarmJournal::EventMailFailed, QString(),
        QStringLiteral("to ann@lab.example: 550 5.1.1 <ann@lab.example>: mailbox unavailable"));
    add(context.stage, TsAlarmJournal::EventMailSent, QString(),
        QStringLiteral("to bob@cellbio.science"));
    add(context.stage, TsAlarmJournal::EventAcknowledged, QStringLiteral("mail link 10.0.4.17"),
        QString());
    return new TsAlarmJournalDialog;
}
