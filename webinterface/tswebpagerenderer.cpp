#include "webinterface/tswebpagerenderer.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "utils/web/fcgirequest.h"
#include "utils/web/prometheustext.h"
#include "webinterface/tsalarmpages.h"
#include "webinterface/tsmetrics.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

using Fragment = TsWebPageRenderer::Fragment;
using Values = TsWebPageRenderer::Values;

QString tr(const char *text)
{
    return QCoreApplication::translate("TsWebInterfaceManager", text);
}

const TsExperiment *currentExperiment()
{
    return TsCore::experimentManager()->currentExperiment();
}

QList<Fragment> channelsPage(const TsWebPageRenderer &)
{
    QList<Fragment> fragments;
    const TsExperiment *experiment = currentExperiment();
    if (!experiment)
        return fragments;
    using R = TsWebPageRenderer;
    for (const TsExperimentChannel *channel : experiment->channels()) {
        const bool offline = channel->state() == TsChannelState::Offline;
        Values values{{"%CH_STATUS%", tsChannelStateName(channel->state())},
                      {"%CH_NAME%", R::htmlEscaped(channel->name())},
                      {"%CH_DEVICE_NAME%", R::htmlEscaped(channel->deviceName())},
                      {"%CH_EMAILALERT_STATUS%",
                       channel->alert() ? QStringLiteral("on") : QStringLiteral("off")},
                      {"%CH_STATUS_TEXT_JS%", R::jsEscaped(channel->statusText())},
                      {"%CH_STATUS_DESC_JS%", R::jsEscaped(channel->statusDescription())},
                      {"%CH_STATUS_TEXT%", R::htmlEscaped(channel->statusText())},
                      {"%CH_STATUS_DESC%", R::htmlEscaped(channel->statusDescription())}};
        if (!offline) {
            const bool loop = channel->loopControl();
            values +=
                {{"%CH_ACTUAL_VALUE%",
                  R::htmlEscaped(channel->valueText(TsExperimentChannel::ActualValue, true))},
                 {"%CH_SETPOINT_VALUE%",
                  R::htmlEscaped(channel->valueText(TsExperimentChannel::SetpointValue, false))},
                 {"%CH_CONTROL_VALUE%", loop ? QStringLiteral("On") : QStringLiteral("Off")},
                 {"%CH_CONTROL_ICON%", loop ? QStringLiteral("green") : QStringLiteral("red")}};
        }
        fragments.append({offline ? "/ts/channel_offline.tmpl" : "/ts/channel.tmpl", values});
    }
    return fragments;
}

QList<Fragment> userPage(const TsWebPageRenderer &)
{
    const auto orNa = [](const QString &name) { return name.isEmpty() ? tr("(n/a)") : name; };
    return {{"/ts/user.tmpl",
             {{"%USERNAME%", TsWebPageRenderer::htmlEscaped(orNa(TsCore::currentUser()))},
              {"%PROFILENAME%", TsWebPageRenderer::htmlEscaped(orNa(TsCore::currentProfile()))}}}};
}

// The recorder's and the script's own status lines: the window-less program shows them too.
QList<Fragment> recordingPage(const TsWebPageRenderer &)
{
    const TsExperiment *experiment = currentExperiment();
    const QString line = experiment ? experiment->recorder()->statusLine() : QString();
    return {
        {"/ts/datarecording.tmpl", {{"%DR_STATUS_TEXT%", TsWebPageRenderer::htmlEscaped(line)}}}};
}

QList<Fragment> dynamicExperimentPage(const TsWebPageRenderer &)
{
    const TsExperiment *experiment = currentExperiment();
    const QString line = experiment ? experiment->script()->statusLine() : QString();
    return {{"/ts/dynamicexperiment.tmpl",
             {{"%DE_STATUS_TEXT%", TsWebPageRenderer::htmlEscaped(line)}}}};
}

QList<Fragment> emailAlertPage(const TsWebPageRenderer &renderer)
{
    const bool on = renderer.emailAlertSwitch() && renderer.emailAlertSwitch()->emailAlertStatus();
    const QString none;
    const QString open = QStringLiteral("<!--");
    const QString close = QStringLiteral("-->");
    return {
        {"/ts/emailalert.tmpl",
         {{"%EA_STATUS_TEXT%", on ? QStringLiteral("Activated") : QStringLiteral("Not activated")},
          {"%EA_STATUS%", on ? QStringLiteral("green") : QStringLiteral("red")},
          {"%EA_IF_ON_BEGIN%", on ? open : none},
          {"%EA_IF_ON_END%", on ? close : none},
          {"%EA_IF_OFF_BEGIN%", on ? none : open},
          {"%EA_IF_OFF_END%", on ? none : close}}}};
}

struct Route
{
    const char *path;
    // PUT arms the e-mail alert before the page is made.
    bool armsAlert;
    QList<Fragment> (*compose)(const TsWebPageRenderer &);
};

const Route Routes[] = {
    {"/ts/channels.cgi", false, channelsPage},
    {"/ts/user.cgi", false, userPage},
    {"/ts/datarecording.cgi", false, recordingPage},
    {"/ts/dynamicexperiment.cgi", false, dynamicExperimentPage},
    {"/ts/emailalert.cgi", true, emailAlertPage},
};

const Route *route(const QByteArray &path)
{
    for (const Route &candidate : Routes) {
        if (path == candidate.path)
            return &candidate;
    }
    return nullptr;
}

// The bytes of a text with its length, so that two different lists never give the same key.
void appendKey(QByteArray &key, const QString &text)
{
    const qint32 size = text.size();
    key.append(reinterpret_cast<const char *>(&size), sizeof size);
    key.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

} // namespace

void TsWebPageRenderer::setHtmlDir(const QString &dir)
{
    if (dir == m_htmlDir)
        return;
    m_htmlDir = dir;
    clear();
}

void TsWebPageRenderer::setEmailAlertSwitch(TsEmailAlertSwitch *alertSwitch)
{
    m_alertSwitch = alertSwitch;
}

TsEmailAlertSwitch *TsWebPageRenderer::emailAlertSwitch() const
{
    return m_alertSwitch;
}

void TsWebPageRenderer::clear()
{
    m_templates.clear();
    m_pages.clear();
}

void TsWebPageRenderer::handle(FCGIRequest *request)
{
    const QByteArray script = request->param("SCRIPT_NAME");
    const QByteArray method = request->param("REQUEST_METHOD");
    QBuffer &out = request->stdoutBuffer();
    const bool get = method == "GET";
    const bool put = method == "PUT";
    if (script == "/metrics") {
        // Never cached: counters move although nothing on the pages changed.
        if (!get && method != "HEAD") {
            out.write("Status: 405 Method Not Allowed\nAllow: GET, HEAD\n\n");
            return;
        }
        out.write(QByteArray("Content-Type: ") + PrometheusText::ContentType + "\n\n");
        if (get)
            out.write(TsMetrics::render(TsMetrics::current()));
        return;
    }
    // Alarms and the journal change at every event and are never cached either; the acknowledging
    // link answers only its own token.
    if (TsAlarmPages::handle(request))
        return;
    const Route *target = route(script);
    if (put && !(target && target->armsAlert))
        return;
    if (!target || !(get || put)) {
        out.write("Status: 404 Not Found\n\n");
        request->stderrBuffer().write("Tessaro: bad request: " + script);
        return;
    }
    out.write("Content-type: text/html\n\n");
    if (put && m_alertSwitch)
        m_alertSwitch->setEmailAlertStatus(true);
    out.write(page(script));
}

QByteArray TsWebPageRenderer::page(const QByteArray &path)
{
    const Route *target = route(path);
    if (!target)
        return QByteArray();
    const QList<Fragment> fragments = target->compose(*this);
    // The key is what the page is made of, taken from the very fragments it is made from.
    QByteArray key;
    key.reserve(4096);
    for (const Fragment &fragment : fragments) {
        appendKey(key, QString::fromLatin1(fragment.templateName));
        for (const auto &value : fragment.values)
            appendKey(key, value.second);
    }
    Page &cached = m_pages[path];
    if (!cached.key.isNull() && cached.key == key)
        return cached.body;
    bool complete = true;
    QByteArray body;
    for (const Fragment &fragment : fragments) {
        const QByteArray text = readTemplate(fragment.templateName);
        complete = complete && !text.isEmpty();
        body += fill(text, fragment.values);
    }
    cached.body = body;
    // A template that could not be read is tried again by the next request.
    cached.key = complete ? key : QByteArray();
    return body;
}

QByteArray TsWebPageRenderer::readTemplate(const QByteArray &name)
{
    const auto cached = m_templates.constFind(name);
    if (cached != m_templates.constEnd())
        return cached.value();
    const QString fileName = m_htmlDir + QString::fromUtf8(name);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("webinterface: no such template: %s", qPrintable(fileName));
        return QByteArray();
    }
    const QByteArray text = file.readAll();
    if (text.isEmpty()) {
        qWarning("webinterface: empty template: %s", qPrintable(fileName));
        return QByteArray();
    }
    m_templates.insert(name, text);
    return text;
}

QByteArray TsWebPageRenderer::fill(const QByteArray &text, const Values &values)
{
    QByteArray out;
    out.reserve(text.size() + 512);
    const char *p = text.constData();
    const char *const end = p + text.size();
    while (p < end) {
        const auto *mark = static_cast<const char *>(std::memchr(p, '%', size_t(end - p)));
        if (!mark) {
            out.append(p, int(end - p));
            break;
        }
        out.append(p, int(mark - p));
        p = mark + 1;
        const auto *close = static_cast<const char *>(std::memchr(p, '%', size_t(end - p)));
        if (!close) {
            out.append('%');
            continue;
        }
        const size_t length = size_t(close - mark + 1);
        auto match = std::find_if(values.begin(), values.end(), [&](const auto &value) {
            return std::strlen(value.first) == length &&
                   std::memcmp(value.first, mark, length) == 0;
        });
        if (match == values.end()) {
            // Not one of ours: keep the mark; its partner may open the next placeholder.
            out.append('%');
            continue;
        }
        out.append(match->second.toUtf8());
        p = close + 1;
    }
    return out;
}

QString TsWebPageRenderer::htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString TsWebPageRenderer::jsEscaped(const QString &text)
{
    QString js;
    js.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            js += QLatin1String("\\\\");
            break;
        case '\'':
            js += QLatin1String("\\'");
            break;
        case '\n':
            js += QLatin1String("\\n");
            break;
        case '\r':
            js += QLatin1String("\\r");
            break;
        case 0x2028: // line and paragraph separators end a script line in older browsers
            js += QLatin1String("\\u2028");
            break;
        case 0x2029:
            js += QLatin1String("\\u2029");
            break;
        default:
            js += c;
        }
    }
    // The string sits in a double-quoted attribute: markup and quotes must not end it.
    return js.toHtmlEscaped();
}
