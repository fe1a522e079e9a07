// The web page's part of the alarms: the alarm state of every channel with the last lines of the
// journal, and the page a mail's link opens, which acknowledges that one alarm with its one-time
// token. The web page has no acknowledge button of its own: only a token acknowledges away from
// the desktop.
#pragma once

#include <QByteArray>

class FCGIRequest;
class TsAlarmMonitor;

namespace TsAlarmPages {

// Journal lines the page shows, newest first.
constexpr int JournalLines = 20;

// Answers "/ts/alarms.cgi" and "/ts/ack.cgi" (GET only) from the core's current experiment and
// journal; false for every other request, which is left untouched.
bool handle(FCGIRequest *request);

// The fragment of the alarms: each channel's alarm state, why a mail did not go, the journal's
// last lines. Texts are escaped for HTML.
QByteArray alarmsFragment(const TsAlarmMonitor *alarms, const QString &journalPath);

// The whole answer of a mail's link, headers included: the alarm acknowledged, or a plain page
// that says the link is unknown or used, changing nothing. who is "mail link" and the client's
// address.
QByteArray acknowledge(TsAlarmMonitor *alarms, const QByteArray &queryString,
                       const QByteArray &remoteAddress);

} // namespace TsAlarmPages
