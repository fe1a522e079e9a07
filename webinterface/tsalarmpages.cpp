#include "tsalarmpages.h"

#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"
#include "utils/web/fcgirequest.h"

#include <QCoreApplication>
#include <QUrlQuery>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TsAlarmPages", text);
}

QString html(const QString &text)
{
    return text.toHtmlEscaped();
}

TsAlarmMonitor *currentAlarms()
{
    TsExperimentManager *experiments = TsCore::experimentManager();
    TsExperiment *experiment = experiments ? experiments->currentExperiment() : nullptr;
    return experiment ? experiment->alarmMonitor() : nullptr;
}

QByteArray plainPage(const char *status, const QString &title, const QString &text)
{
    const QString page =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width\">"
                       "<title>%1</title></head>\n<body><h1>%1</h1>\n<p>%2</p></body></html>\n")
            .arg(html(title), html(text));
    QByteArray answer;
    if (status)
        answer += QByteArray("Status: ") + status + "\n";
    answer += "Content-type: text/html; charset=utf-8\nCache-Control: no-store\n\n";
    return answer + page.toUtf8();
}

} // namespace

namespace TsAlarmPages {

bool handle(FCGIRequest *request)
{
    const QByteArray script = request->param("SCRIPT_NAME");
    if (script != "/ts/alarms.cgi" && script != "/ts/ack.cgi")
        return false;
    QBuffer &out = request->stdoutBuffer();
    if (request->param("REQUEST_METHOD") != "GET") {
        out.write("Status: 405 Method Not Allowed\nAllow: GET\n\n");
        return true;
    }
    TsAlarmMonitor *alarms = currentAlarms();
    if (script == "/ts/ack.cgi") {
        out.write(
            acknowledge(alarms, request->param("QUERY_STRING"), request->param("REMOTE_ADDR")));
        return true;
    }
    const TsAlarmJournal *journal = TsCore::alarmJournal();
    out.write("Content-type: text/html\n\n");
    out.write(alarmsFragment(alarms, journal ? journal->path() : QString()));
    return true;
}

QByteArray alarmsFragment(const TsAlarmMonitor *alarms, const QString &journalPath)
{
    QString out = QStringLiteral("<h2>%1</h2>\n").arg(html(tr("Alarms")));
    const QList<TsAlarm> list = alarms ? alarms->alarms() : QList<TsAlarm>();
    if (list.isEmpty()) {
        out += QStringLiteral("<p class=\"alarm-none\">%1</p>\n").arg(html(tr("No alarms.")));
    } else {
        out += QStringLiteral("<ul class=\"alarms\">\n");
        for (const TsAlarm &alarm : list) {
            out += QStringLiteral("<li class=\"alarm %1\"><b>%2</b> %3: %4</li>\n")
                       .arg(tsAlarmStateName(alarm.state), html(alarm.channelName),
                            html(tsAlarmStateText(alarm.state)), html(alarm.causeText));
        }
        out += QStringLiteral("</ul>\n");
    }
    if (alarms && !alarms->mailFailure().isEmpty())
        out += QStringLiteral("<p class=\"alarm-mailfailure\">%1</p>\n")
                   .arg(html(alarms->mailFailure()));
    const QList<TsAlarmJournal::Entry> lines =
        journalPath.isEmpty() ? QList<TsAlarmJournal::Entry>()
                              : TsAlarmJournal::tail(journalPath, JournalLines);
    if (!lines.isEmpty()) {
        out += QStringLiteral("<table class=\"journal\"><tr><th>%1</th><th>%2</th><th>%3</th>"
                              "<th>%4</th><th>%5</th><th>%6</th><th>%7</th></tr>\n")
                   .arg(html(tr("Time")), html(tr("Channel")), html(tr("Event")), html(tr("Value")),
                        html(tr("Setpoint")), html(tr("Who")), html(tr("Details")));
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            out +=
                QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                               "<td>%6</td><td>%7</td></tr>\n")
                    .arg(html(it->time.toString(Qt::ISODate)), html(it->channel), html(it->event),
                         html(it->value), html(it->setpoint), html(it->who), html(it->details));
        }
        out += QStringLiteral("</table>\n");
    }
    return out.toUtf8();
}

QByteArray acknowledge(TsAlarmMonitor *alarms, const QByteArray &queryString,
                       const QByteArray &remoteAddress)
{
    const QString token =
        QUrlQuery(QString::fromLatin1(queryString)).queryItemValue(QStringLiteral("token"));
    QString channelId;
    const QString who =
        (QStringLiteral("mail link ") + QString::fromLatin1(remoteAddress)).trimmed();
    const TsAlarmMonitor::TokenResult result =
        alarms ? alarms->acknowledgeByToken(token, who, &channelId) : TsAlarmMonitor::TokenUnknown;
    switch (result) {
    case TsAlarmMonitor::TokenAcknowledged: {
        const TsAlarm alarm = alarms->alarm(channelId);
        return plainPage(nullptr, tr("Alarm acknowledged"),
                         tr("The alarm of %1 (%2) is acknowledged: no more reminders are sent "
                            "for it.")
                             .arg(alarm.channelName, channelId));
    }
    case TsAlarmMonitor::TokenUsed:
        return plainPage("410 Gone", tr("Link already used"),
                         tr("This link has been used already, or its alarm was acknowledged "
                            "otherwise. Nothing was changed."));
    case TsAlarmMonitor::TokenUnknown:
        break;
    }
    return plainPage("404 Not Found", tr("Unknown link"),
                     tr("This link acknowledges no alarm: it is not one Tessaro gave out, or its "
                        "alarm is over. Nothing was changed."));
}

} // namespace TsAlarmPages
