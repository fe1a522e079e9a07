#include "views/tschannelwidget.h"
#include "ui_tschannelwidget.h"

#include "device/devicespec.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsexperimentchannel.h"
#include "tscore.h"
#include "views/tschannelalarm.h"
#include "views/tschannelgraph.h"
#include "views/tssetpointeditor.h"
#include "views/viewresources.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStaticText>
#include <QStyle>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>

#include <cmath>
#include <limits>

namespace {

constexpr int RefreshIntervalMs = 5000;
constexpr int CompactHeight = 30;
constexpr int FullMinimumHeight = 85;
constexpr int FullMaximumHeight = 100;
constexpr int Margin = 5;

constexpr int CornerRadius = 5;
constexpr int StatusCornerRadius = 3;

// Indexed by TsChannelState.
const QRgb Backgrounds[] = {0xa0a0a4, 0x3f497f, 0x00ff00, 0xffff00, 0xff0000};

int stateIndex(TsChannelState state)
{
    const int index = static_cast<int>(state);
    return index >= 0 && index <= 4 ? index : static_cast<int>(TsChannelState::Red);
}

bool hasLightText(TsChannelState state)
{
    return state == TsChannelState::Off || state == TsChannelState::Red;
}

QPointer<QTimer> s_refreshTimer;

QString oneDecimal(double value)
{
    return QString::number(value, 'f', 1);
}

// A line of text laid out once and drawn at every repaint. A tile repaints at every tick while its
// texts change far less often, and laying a text out again was most of what a repaint cost.
class TextLine
{
public:
    const QStaticText &laidOut(const QString &text, const QFont &font)
    {
        if (!m_prepared || m_line.text() != text || m_font != font) {
            m_font = font;
            m_line.setTextFormat(Qt::PlainText);
            m_line.setText(text);
            m_line.prepare(QTransform(), font);
            m_prepared = true;
        }
        return m_line;
    }

    // Draws the line in the painter's pen, aligned in a rectangle as QPainter::drawText would.
    void draw(QPainter &painter, const QRect &rect, Qt::Alignment align, const QString &text,
              const QFont &font)
    {
        const QStaticText &line = laidOut(text, font);
        const QSizeF size = line.size();
        qreal x = rect.left();
        if (align & Qt::AlignRight)
            x = rect.left() + rect.width() - size.width();
        else if (align & Qt::AlignHCenter)
            x = rect.left() + (rect.width() - size.width()) / 2;
        qreal y = rect.top();
        if (align & Qt::AlignBottom)
            y = rect.top() + rect.height() - size.height();
        else if (align & Qt::AlignVCenter)
            y = rect.top() + (rect.height() - size.height()) / 2;
        painter.setFont(font);
        painter.drawStaticText(QPointF(x, y), line);
    }

private:
    QStaticText m_line;
    QFont m_font;
    bool m_prepared = false;
};

// How a title was last fitted into its room, kept while the title, its font and the room stay.
struct FittedTitle
{
    QString text;
    QFont titleFont;
    int width = -1;
    int tileHeight = -1;
    bool oneLine = false; // else wrapped onto two lines, laid out again at each repaint
    QFont font;
    QString shown;
    int height = 0;
    TextLine line;
};

// A long channel name would run under the setpoint box or into the value. It gets smaller, down to
// a size still legible on the tile; where one line is not enough (and two are allowed) it wraps
// onto a second line; only then is it shortened with an ellipsis. Returns the bottom of the text.
// A compact tile (tileHeight > 0) centres two lines in its whole height; a full one starts them at
// the title's top.
int drawFittedTitle(QPainter &painter, FittedTitle &fit, const QFont &titleFont, const QRect &rect,
                    int tileHeight, const QString &text)
{
    constexpr int SmallestPixelSize = 11;
    const Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop;
    const bool known = fit.oneLine && fit.text == text && fit.titleFont == titleFont &&
                       fit.width == rect.width() && fit.tileHeight == tileHeight;
    if (!known) {
        fit.text = text;
        fit.titleFont = titleFont;
        fit.width = rect.width();
        fit.tileHeight = tileHeight;
        fit.oneLine = false;
        QFont font = titleFont;
        for (; font.pixelSize() >= SmallestPixelSize; font.setPixelSize(font.pixelSize() - 1)) {
            const QFontMetrics metrics(font, painter.device());
            if (metrics.horizontalAdvance(text) <= rect.width()) {
                fit.oneLine = true;
                fit.font = font;
                fit.shown = text;
                fit.height = metrics.height();
                break;
            }
        }
    }
    if (!fit.oneLine) {
        QFont font = titleFont;
        font.setPixelSize(SmallestPixelSize);
        painter.setFont(font);
        QTextLayout layout(text, font, painter.device());
        QTextOption option(align);
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        int lines = 0;
        bool fits = true;
        qreal y = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(rect.width());
            line.setPosition(QPointF(0, y));
            y += line.height();
            fits = fits && line.naturalTextWidth() <= rect.width();
            ++lines;
        }
        layout.endLayout();
        const int top = tileHeight > 0 ? qMax(0, int(tileHeight - y) / 2) : rect.top();
        if (fits && lines <= 2 && (tileHeight == 0 || y <= tileHeight)) {
            layout.draw(&painter, QPointF(rect.left(), top));
            return top + int(std::ceil(y));
        }
        const QFontMetrics metrics(font, painter.device());
        fit.oneLine = true;
        fit.font = font;
        fit.shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
        fit.height = metrics.height();
    }
    fit.line.draw(painter, rect, align, fit.shown, fit.font);
    return rect.top() + fit.height;
}

} // namespace

// The setpoint or status text last shortened to its room, with the room and the font.
struct TsChannelWidget::LabelLine
{
    QString text;
    int width = -1;
    QFont font;
    QString shown;
    TextLine line;
};

struct TsChannelWidget::ChannelWidgetState
{
    TsSetpointEditor *setpointEditor = nullptr;
    int statusIndex = 0;
    TsChannelState state = TsChannelState::Offline;
    QFont titleFont;
    QFont valueFont;
    QRect titleRect;
    QString titleText;
    QRect valueRect;
    double actualValue = std::numeric_limits<double>::quiet_NaN();
    QString valueText;
    QString unitText;
    QString statusDescription;
    QString statusText;
    QRect statusRect;
    QPointer<TsExperimentChannel> experimentChannel;
    TsChannelGraph *graph = nullptr;
    bool compact = false;
    // The device channel the open editor was opened for: its limits bound the editor, and only
    // that channel may receive the value.
    QPointer<TsDeviceChannel> editedChannel;
    FittedTitle title;
    TextLine valueLine;
    LabelLine setpointLine;
    LabelLine statusLine;
};

TsChannelWidget::TsChannelWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::TsChannelWidget)
    , d(new ChannelWidgetState)
{
    initViewResources();
    ui->setupUi(this);
    setMinimumHeight(100);
    setMaximumHeight(150);
    resize(200, 100);

    d->graph = new TsChannelGraph(this);
    d->graph->hide();
    // The channel's alarm: before the status text, in the tool tip and the context menu.
    connect(new TsChannelAlarm(this), &TsChannelAlarm::changed, this, [this] {
        updateStatusText();
        rebuildToolTip();
    });
    connect(d->graph, &TsChannelGraph::doubleClicked, this, &TsChannelWidget::toggleGraph);

    d->setpointEditor = new TsSetpointEditor(ui->labelSetpointValue);
    d->setpointEditor->setObjectName(QStringLiteral("setpointValue"));
    d->setpointEditor->resize(ui->labelSetpointValue->size());
    d->setpointEditor->setDecimals(1);
    d->setpointEditor->setSingleStep(0.1);
    d->setpointEditor->hide();
    connect(d->setpointEditor, &TsSetpointEditor::editingFinished, this,
            &TsChannelWidget::onEditingFinished);
    connect(d->setpointEditor, &TsSetpointEditor::cancelled, this,
            &TsChannelWidget::closeSetpointEditor);
    ui->labelSetpointValue->installEventFilter(this);
    ui->labelStatus->installEventFilter(this);
    ui->pushButtonLoopCtrl->setAccessibleName(tr("Regulation loop"));

    setFocusPolicy(Qt::ClickFocus);

    d->titleText = tr("Channel");
    d->titleFont = font();
    d->titleFont.setPixelSize(16);
    d->titleFont.setWeight(QFont::Bold);
    QFont statusFont = font();
    statusFont.setPixelSize(10);
    ui->labelStatus->setFont(statusFont);
    d->valueFont = d->titleFont;
    d->valueFont.setPixelSize(28);

    if (!qApp->styleSheet().isEmpty()) {
        // Narrow padding: the style's own would push "Off" out of the 50-pixel button.
        ui->pushButtonLoopCtrl->setStyleSheet(QStringLiteral("border-radius: 5px; padding: 2px;"));
    }

    setStatusIndex(int(TsChannelState::Offline));

    setMinimumHeight(FullMinimumHeight);
    setMinimumWidth(170);
    setMaximumHeight(FullMaximumHeight);
    setMaximumWidth(250);

    if (!s_refreshTimer) {
        s_refreshTimer = new QTimer(QCoreApplication::instance());
        s_refreshTimer->setInterval(RefreshIntervalMs);
    }
    if (!s_refreshTimer->isActive())
        s_refreshTimer->start();
    connect(s_refreshTimer, &QTimer::timeout, this, &TsChannelWidget::updateGraph);
    updateAccessibleText();
}

TsChannelWidget::~TsChannelWidget()
{
    // The base destructor hides the tile, which takes the focus from an open editor, and only then
    // deletes the children: the edit it finishes must not reach this tile, whose state is gone.
    disconnect(d->setpointEditor, nullptr, this, nullptr);
}

QTimer *TsChannelWidget::refreshTimer()
{
    return s_refreshTimer;
}

QColor TsChannelWidget::backgroundColor(TsChannelState state)
{
    return QColor(Backgrounds[stateIndex(state)]);
}

QColor TsChannelWidget::textColor(TsChannelState state)
{
    return hasLightText(state) ? QColor(Qt::white) : QColor(Qt::black);
}

TsExperimentChannel *TsChannelWidget::experimentChannel() const
{
    return d->experimentChannel;
}

TsDeviceChannel *TsChannelWidget::deviceChannel() const
{
    return d->experimentChannel ? d->experimentChannel->deviceChannel() : nullptr;
}

bool TsChannelWidget::isCollapsed() const
{
    return d->compact;
}

int TsChannelWidget::statusIndex() const
{
    return d->statusIndex;
}

TsChannelState TsChannelWidget::channelState() const
{
    return d->state;
}

QString TsChannelWidget::titleText() const
{
    return d->titleText;
}

QString TsChannelWidget::valueText() const
{
    return d->valueText;
}

QString TsChannelWidget::statusText() const
{
    return d->statusText;
}

QString TsChannelWidget::statusDescription() const
{
    return d->statusDescription;
}

TsChannelGraph *TsChannelWidget::graph() const
{
    return d->graph;
}

QRect TsChannelWidget::titleRect() const
{
    return d->titleRect;
}

QRect TsChannelWidget::valueRect() const
{
    return d->valueRect;
}

void TsChannelWidget::setExperimentChannel(TsExperimentChannel *channel)
{
    if (d->experimentChannel)
        disconnect(d->experimentChannel, nullptr, this, nullptr);
    d->experimentChannel = channel;
    if (auto *alarm = findChild<TsChannelAlarm *>())
        alarm->setChannel(channel);
    if (channel) {
        if (TsDeviceChannel *device = channel->deviceChannel()) {
            d->unitText = device->spec() ? device->spec()->unit : QString();
            renderValueText();
        }
        d->titleText = channel->name();
        updateAccessibleText();
        update();
        connect(channel, &TsExperimentChannel::connectionStatusChanged, this,
                &TsChannelWidget::updateStatus);
        connect(channel, &TsExperimentChannel::statusChanged, this,
                &TsChannelWidget::updateStatusText);
    }
    updateStatus();
}

void TsChannelWidget::updateStatus()
{
    updateStatusText();
    TsDeviceChannel *device = deviceChannel();
    if (device) {
        setCollapsed(false);
        d->graph->setAxisRange(
            TsCore::deviceManager()->deviceSpecs().graphAxisForUnit(d->unitText));
        connect(device, &TsDeviceChannel::loopControlChanged, this,
                &TsChannelWidget::setLoopControl, Qt::UniqueConnection);
        connect(device, &TsDeviceChannel::setpointValueChanged, this,
                &TsChannelWidget::setSetpointValue, Qt::UniqueConnection);
        connect(device, &TsDeviceChannel::actualValueChanged, this,
                &TsChannelWidget::setActualValue, Qt::UniqueConnection);
        if (d->titleText.isEmpty())
            d->titleText = d->experimentChannel->name();
        setEnabled(true);
        setLoopControl(device->value(TsDeviceChannel::LoopControl).toBool());
        setSetpointValue(device->value(TsDeviceChannel::SetpointValue).toDouble());
        setActualValue(device->value(TsDeviceChannel::ActualValue).toDouble());
        rebuildToolTip();
        ui->labelStatus->setProperty("alert", d->experimentChannel->alert() ? "on" : "off");
        ui->labelStatus->style()->unpolish(ui->labelStatus);
        ui->labelStatus->style()->polish(ui->labelStatus);
        ui->labelStatus->update();
        return;
    }
    // Whatever was being typed belonged to a channel that is gone.
    closeSetpointEditor();
    d->valueText = tr("offline");
    updateAccessibleText();
    update();
    ui->labelSetpointValue->clear();
    ui->pushButtonLoopCtrl->setChecked(false);
    ui->pushButtonLoopCtrl->setText(tr("Off"));
    setEnabled(false);
    setCollapsed(true);
}

void TsChannelWidget::updateStatusText()
{
    // The experiment channel works the state out; the tile only shows it.
    TsExperimentChannel *channel = d->experimentChannel;
    setStatusIndex(channel ? channel->statusIndex() : int(TsChannelState::Offline));
    const QString text = channel ? channel->statusText() : tr("offline");
    const QString description = channel
                                    ? channel->statusDescription()
                                    : tr("The device is currently not connected or switched off.");
    d->statusText = text;
    const TsChannelAlarm *alarm = findChild<TsChannelAlarm *>();
    ui->labelStatus->setText(alarm ? alarm->statusPrefix() + text : text);
    ui->labelStatus->setProperty("alarm", alarm ? tsAlarmStateName(alarm->alarm().state)
                                                : QStringLiteral("normal"));
    update();
    const bool detailChanged = d->statusDescription != description;
    d->statusDescription = description;
    if (detailChanged)
        rebuildToolTip();
    updateAccessibleText();
}

void TsChannelWidget::rebuildToolTip()
{
    TsExperimentChannel *channel = d->experimentChannel;
    if (!channel)
        return;
    const QString deviceName =
        channel->deviceName().isEmpty() ? tr("Device") : channel->deviceName();
    QString tip = tr("<b>%1</b><br>%2<br>Channel %3<br><br>")
                      .arg(deviceName, channel->deviceId())
                      .arg(channel->channelNumber());
    if (!d->statusDescription.isEmpty())
        tip += d->statusDescription;
    const QString br = QStringLiteral("<br>");
    for (int i = 0; i < 2 && tip.endsWith(br); ++i)
        tip.chop(br.size());
    if (const TsChannelAlarm *alarm = findChild<TsChannelAlarm *>())
        tip += alarm->toolTipLines();
    setToolTip(tip);
}

void TsChannelWidget::renderValueText()
{
    d->valueText = std::isnan(d->actualValue)
                       ? tr("--.-%2").arg(d->unitText)
                       : QStringLiteral("%1%2").arg(oneDecimal(d->actualValue), d->unitText);
    updateAccessibleText();
}

void TsChannelWidget::updateAccessibleText()
{
    // What the tile paints itself (title, value, colour) is otherwise invisible to assistive
    // technology; the name carries the value, the description what the colour and lines say.
    const QString name = tr("%1: %2").arg(d->titleText, d->valueText);
    // Indexed by TsChannelState.
    static const char *const StateWords[] = {QT_TR_NOOP("Offline."), QT_TR_NOOP("Regulation off."),
                                             QT_TR_NOOP("Stable."), QT_TR_NOOP("Nearly stable."),
                                             QT_TR_NOOP("Not stable.")};
    QString description = tr(StateWords[stateIndex(d->state)]);
    const QString setpoint = ui->labelSetpointValue->text();
    if (deviceChannel() && !setpoint.isEmpty())
        description += QLatin1Char(' ') + tr("Setpoint %1%2.").arg(setpoint, d->unitText);
    if (!d->statusText.isEmpty())
        description += QLatin1Char(' ') + tr("Status: %1.").arg(d->statusText);
    // Each change is announced to a listening screen reader: only real changes.
    if (accessibleName() != name)
        setAccessibleName(name);
    if (accessibleDescription() != description)
        setAccessibleDescription(description);
}

void TsChannelWidget::setActualValue(double value)
{
    if (!deviceChannel())
        return;
    d->actualValue = value;
    renderValueText();
    update();
}

void TsChannelWidget::setSetpointValue(double newValue)
{
    ui->labelSetpointValue->setText(std::isnan(newValue) ? tr("--.-") : oneDecimal(newValue));
    d->graph->setSetpointMarker(newValue);
    updateAccessibleText();
}

void TsChannelWidget::setLoopControl(bool status)
{
    ui->pushButtonLoopCtrl->setChecked(status);
    ui->pushButtonLoopCtrl->setText(status ? tr("On") : tr("Off"));
}

void TsChannelWidget::setStatusIndex(int index)
{
    d->statusIndex = index;
    setChannelState(static_cast<TsChannelState>(index));
}

void TsChannelWidget::setChannelState(TsChannelState state)
{
    if (d->state == state)
        return;
    d->state = state;
    updateAccessibleText();
    update();
}

void TsChannelWidget::paintLabel(QLabel *label, LabelLine &cache, int radius)
{
    // The labels sit on the tile's colour, not on the window's: their text takes the tile's text
    // colour, or a grey status line on a green tile would be unreadable from across the room.
    QPainter painter(label);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool light = hasLightText(d->state);
    const QColor frameColor = light ? QColor(255, 255, 255, 140) : QColor(0, 0, 0, 110);
    if (qApp->styleSheet().isEmpty()) {
        // A square one-pixel frame lies on whole pixels: four fills draw what an antialiased
        // outline would, without the cost of stroking it at every repaint.
        const QRect r = label->rect();
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), frameColor);
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), frameColor);
        painter.fillRect(QRect(r.left(), r.top() + 1, 1, r.height() - 2), frameColor);
        painter.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 2), frameColor);
    } else {
        painter.setPen(QPen(frameColor, 1));
        painter.setBrush(Qt::NoBrush);
        const QRectF frame = QRectF(label->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.drawRoundedRect(frame, radius, radius);
    }
    if (label->text().isEmpty())
        return;
    const QFont font = label->font();
    const bool sameFont = cache.font == font;
    int indent = label->indent();
    if (indent < 0)
        indent = QFontMetrics(font).horizontalAdvance(QLatin1Char('x')) / 2;
    const QRect room = label->contentsRect().adjusted(indent, 0, -indent, 0);
    if (!sameFont || cache.text != label->text() || cache.width != room.width()) {
        cache.text = label->text();
        cache.width = room.width();
        cache.font = font;
        cache.shown = QFontMetrics(font).elidedText(cache.text, Qt::ElideRight, room.width());
    }
    painter.setPen(textColor(d->state));
    cache.line.draw(painter, room, label->alignment(), cache.shown, font);
}

void TsChannelWidget::on_pushButtonLoopCtrl_clicked()
{
    TsDeviceChannel *device = deviceChannel();
    if (!device)
        return;
    const bool on = device->value(TsDeviceChannel::LoopControl).toBool();
    device->setValue(TsDeviceChannel::LoopControl, on ? 0 : 1);
    // Whatever the write did, the button shows what the channel now reports.
    const bool now = device->value(TsDeviceChannel::LoopControl).toBool();
    setLoopControl(now);
    qDebug("TsChannelWidget: loop-ctrl %d", now ? 1 : 0);
}

bool TsChannelWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        if (watched == ui->labelSetpointValue) {
            paintLabel(ui->labelSetpointValue, d->setpointLine, CornerRadius);
            return true;
        }
        if (watched == ui->labelStatus) {
            paintLabel(ui->labelStatus, d->statusLine, StatusCornerRadius);
            return true;
        }
    }
    if (watched != ui->labelSetpointValue || event->type() != QEvent::MouseButtonPress)
        return QWidget::eventFilter(watched, event);
    d->setpointEditor->resize(ui->labelSetpointValue->size());
    if (!deviceChannel() || d->setpointEditor->isVisible())
        return QWidget::eventFilter(watched, event);
    return openSetpointEditor();
}

bool TsChannelWidget::openSetpointEditor()
{
    TsDeviceChannel *device = deviceChannel();
    const double minimum = device->minValue();
    const double maximum = device->maxValue();
    // Without a known range there is nothing to check a typed value against; the controller
    // would silently clamp it.
    if (std::isnan(minimum) || std::isnan(maximum) || minimum > maximum) {
        QToolTip::showText(ui->labelSetpointValue->mapToGlobal(QPoint(0, 0)),
                           tr("The setpoint range of this channel is not known; the setpoint "
                              "cannot be changed here."),
                           ui->labelSetpointValue);
        return true;
    }
    d->editedChannel = device;
    d->setpointEditor->setAccessibleName(tr("Setpoint of %1").arg(d->titleText));
    d->setpointEditor->setToolTip(QString());
    d->setpointEditor->setRange(minimum, maximum);
    const double setpoint = device->value(TsDeviceChannel::SetpointValue).toDouble();
    d->setpointEditor->show();
    d->setpointEditor->begin(setpoint);
    d->setpointEditor->setFocus();
    d->setpointEditor->selectAll();
    return true;
}

void TsChannelWidget::closeSetpointEditor()
{
    d->editedChannel = nullptr;
    d->setpointEditor->hide();
}

void TsChannelWidget::onEditingFinished()
{
    // Closing the editor moves the focus away, which finishes the edit a second time.
    if (!d->setpointEditor->isVisible())
        return;
    TsDeviceChannel *device = deviceChannel();
    if (!device || device != d->editedChannel) {
        // The device went away (or came back as a new channel) while the editor was open.
        closeSetpointEditor();
        return;
    }
    TsSetpointEditor *editor = d->setpointEditor;
    const QString refusal = editor->refusal();
    if (!refusal.isEmpty()) {
        qWarning("TsChannelWidget: %s: %s", qPrintable(device->id()), qPrintable(refusal));
        showSetpointMessage(refusal);
        // Still typing (Return): let the operator correct what was typed. Focus gone: give up.
        if (editor->hasFocus())
            editor->restoreText(editor->typedText());
        else
            closeSetpointEditor();
        return;
    }
    const double value = editor->value();
    if (!editor->isTouched()) {
        closeSetpointEditor();
        return;
    }
    const QxResult written = device->setValue(TsDeviceChannel::SetpointValue, value);
    if (written.isError()) {
        // The typed value stays in the open editor: Enter tries again.
        const QString message =
            tr("The setpoint %1 was not set (%2). It is still in the box: Enter tries again.")
                .arg(editor->textFromValue(value), written.message());
        qWarning("TsChannelWidget: %s: %s", qPrintable(device->id()), qPrintable(message));
        showSetpointMessage(message);
        editor->restoreText(editor->textFromValue(value));
        return;
    }
    closeSetpointEditor();
    setSetpointValue(device->value(TsDeviceChannel::SetpointValue).toDouble());
}

void TsChannelWidget::showSetpointMessage(const QString &message)
{
    // Also kept as the editor's tool tip: the pop-up goes when the mouse moves.
    d->setpointEditor->setToolTip(message);
    QToolTip::showText(ui->labelSetpointValue->mapToGlobal(QPoint(0, 0)), message,
                       ui->labelSetpointValue);
}

void TsChannelWidget::updateGraph()
{
    TsDeviceChannel *device = deviceChannel();
    d->graph->addSample(device ? device->value(TsDeviceChannel::ActualValue).toDouble()
                               : std::numeric_limits<double>::quiet_NaN());
}

void TsChannelWidget::toggleGraph()
{
    d->graph->setVisible(!d->graph->isVisible());
    update();
}

void TsChannelWidget::setCollapsed(bool collapsed)
{
    d->compact = collapsed;
    // The editor lives in the setpoint box, which a compact tile hides.
    if (collapsed)
        closeSetpointEditor();
    if (collapsed) {
        setMinimumHeight(CompactHeight);
        setMaximumHeight(CompactHeight);
    } else {
        setMinimumHeight(FullMinimumHeight);
        setMaximumHeight(FullMaximumHeight);
    }
    ui->pushButtonLoopCtrl->setVisible(!collapsed);
    ui->labelSetpointValue->setVisible(!collapsed);
    ui->labelStatus->setVisible(!collapsed);
    update();
}

void TsChannelWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint pos = event->pos();
    if (!d->compact && d->valueRect.contains(pos))
        toggleGraph();
    else if (d->titleRect.contains(pos) && !ui->labelSetpointValue->geometry().contains(pos))
        setCollapsed(!d->compact);
    QWidget::mouseDoubleClickEvent(event);
}

void TsChannelWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    QPushButton *loop = ui->pushButtonLoopCtrl;
    QLabel *setpoint = ui->labelSetpointValue;
    const int loopX = w - Margin - loop->width();
    setpoint->move(loopX, Margin);
    loop->move(loopX, Margin + setpoint->height() + Margin);

    d->titleRect = QRect(QPoint(Margin, Margin),
                         QPoint(w - 6, Margin + QFontMetrics(d->titleFont).height() - 1));
    const int statusHeight = QFontMetrics(loop->font()).height() + 4;
    d->statusRect = QRect(QPoint(Margin, h - 6 - statusHeight + 1), QPoint(w - 6, h - 6));
    ui->labelStatus->setGeometry(d->statusRect);
    d->valueRect = QRect(QPoint(Margin, d->titleRect.bottom() + Margin),
                         QPoint(loopX - Margin, d->statusRect.top() - Margin));
    d->graph->setGeometry(
        QRect(QPoint(Margin, d->titleRect.bottom()), QPoint(loopX - Margin, d->statusRect.top())));
}

void TsChannelWidget::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(backgroundColor(d->state));
    painter.drawRoundedRect(QRectF(rect()), CornerRadius, CornerRadius);
    painter.setRenderHint(QPainter::Antialiasing, false);

    painter.setPen(QPen(textColor(d->state), 1, Qt::SolidLine));
    painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
    QRect titleRoom = d->titleRect;
    if (d->compact) {
        // The value shares the line and has the right of way.
        painter.setFont(d->titleFont);
        painter.drawText(d->titleRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextWordWrap,
                         d->valueText);
        titleRoom.setRight(d->titleRect.right() -
                           QFontMetrics(d->titleFont).horizontalAdvance(d->valueText) - Margin);
    } else {
        titleRoom.setRight(ui->labelSetpointValue->x() - Margin);
    }
    const int titleBottom = drawFittedTitle(painter, d->title, d->titleFont, titleRoom,
                                            d->compact ? height() : 0, d->titleText);
    if (!d->compact && !d->graph->isVisible()) {
        // A title on two lines takes the top of the value's room.
        QRect valueRoom = d->valueRect;
        valueRoom.setTop(qMax(valueRoom.top(), titleBottom));
        const QStaticText &line = d->valueLine.laidOut(d->valueText, d->valueFont);
        if (line.size().width() <= valueRoom.width()) {
            d->valueLine.draw(painter, valueRoom, Qt::AlignCenter, d->valueText, d->valueFont);
        } else {
            painter.setFont(d->valueFont);
            painter.drawText(valueRoom, Qt::AlignCenter | Qt::TextWordWrap, d->valueText);
        }
    }
}
