#include "dialogs/tsrecordergraphdialog.h"
#include "ui_tsrecordergraphdialog.h"

#include "device/devicespec.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "tscore.h"
#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlegend.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphtitle.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"
#include "views/viewresources.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QIcon>
#include <QSettings>
#include <QTimer>

#include <algorithm>

namespace {

const QString GeometryKey = QStringLiteral("graphGeometry");
const QString MaximizedKey = QStringLiteral("graphMaximized");
const QString VisibleKey = QStringLiteral("graphVisible");

// The graph axis a channel is drawn on: the first one of the specification with the channel's
// unit. A channel that has never been connected has the default specification without a unit and
// takes the unit of its profile entry instead, if any.
const GraphAxisSpec *graphAxisFor(const TsExperimentChannel *channel, const DeviceSpecSet &specs)
{
    if (!channel)
        return nullptr;
    const QString unit = channel->channelSpec()->unit;
    return specs.graphAxisForUnit(unit.isEmpty() ? channel->unit() : unit);
}

} // namespace

TsRecorderGraphDialog::TsRecorderGraphDialog(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::TsRecorderGraphDialog)
    , m_now([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    initViewResources();
    ui->setupUi(this);
    const QIcon zoomIn(QStringLiteral(":/icons/16x16/zoom-in.png"));
    const QIcon zoomOut(QStringLiteral(":/icons/16x16/zoom-out.png"));
    ui->actionZoom_In->setIcon(zoomIn);
    ui->actionZoom_In_Fine->setIcon(zoomIn);
    ui->actionZoom_Out->setIcon(zoomOut);
    ui->actionZoom_Out_fine->setIcon(zoomOut);

    m_graph.widget = new GraphWidget(this);
    setCentralWidget(m_graph.widget);
    delete ui->centralwidget;
    ui->centralwidget = nullptr;
    m_graph.widget->title()->setText(QString());

    GraphHorizontalAxis *time = m_graph.widget->horizontalAxis();
    time->setLabelMode(GraphAxis::DateTimeLabels);
    time->setText(tr("Absolute Time"));
    // The legend sits over the newest samples while the time axis follows them: it stays as
    // narrow as the names, and a stray click on it must never make a recorded channel vanish.
    GraphLegend *legend = m_graph.widget->legend();
    legend->setOptions(legend->options() &
                       ~(GraphLegend::LatestValues | GraphLegend::ToggleSeries));

    auto *axis = new GraphVerticalAxis(m_graph.widget);
    axis->setMarkerEnabled(false);
    m_graph.axes << axis;

    resetTimeRange();
    connect(m_graph.widget, &GraphWidget::zoomed, this, &TsRecorderGraphDialog::graphZoomed);

    QSettings settings;
    const QRect geometry = settings.value(GeometryKey).toRect();
    if (geometry.left() <= geometry.right() && geometry.top() <= geometry.bottom())
        setGeometry(geometry);
    if (settings.value(VisibleKey, false).toBool())
        QTimer::singleShot(ShowDelay, this, &TsRecorderGraphDialog::show);

    TsExperimentManager *experiments = TsCore::experimentManager();
    connect(experiments, &TsExperimentManager::currentExperimentChanged, this,
            &TsRecorderGraphDialog::onNewExperiment);
    onNewExperiment(experiments->currentExperiment());
}

TsRecorderGraphDialog::~TsRecorderGraphDialog()
{
    saveSettings(isVisible());
}

GraphWidget *TsRecorderGraphDialog::graph() const
{
    return m_graph.widget;
}

QList<GraphVerticalAxis *> TsRecorderGraphDialog::axes() const
{
    return m_graph.axes;
}

QList<GraphLineSeries *> TsRecorderGraphDialog::lines() const
{
    return m_graph.lines;
}

void TsRecorderGraphDialog::setClock(const std::function<qint64()> &now)
{
    m_now = now ? now : [] { return QDateTime::currentMSecsSinceEpoch(); };
}

void TsRecorderGraphDialog::show()
{
    if (m_firstShow) {
        m_firstShow = false;
        if (QSettings().value(MaximizedKey, false).toBool()) {
            showMaximized();
            return;
        }
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    QMainWindow::show();
}

void TsRecorderGraphDialog::onNewExperiment(TsExperiment *experiment)
{
    if (!experiment)
        return;
    // The same experiment may come again: one connection each.
    const auto unique = Qt::UniqueConnection;
    connect(experiment, &TsExperiment::configChanged, this, &TsRecorderGraphDialog::updateChannels,
            unique);
    TsExperimentRecorder *recorder = experiment->recorder();
    connect(recorder, &TsExperimentRecorder::started, this,
            &TsRecorderGraphDialog::recordingStarted, unique);
    connect(recorder, &TsExperimentRecorder::stopped, this,
            &TsRecorderGraphDialog::recordingStopped, unique);
    connect(recorder, &TsExperimentRecorder::newSample, this, &TsRecorderGraphDialog::recordSample,
            unique);
}

void TsRecorderGraphDialog::updateChannels() {}

void TsRecorderGraphDialog::recordingStarted()
{
    qDeleteAll(m_graph.lines);
    m_graph.lines.clear();
    const TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    if (!experiment)
        return;
    resetTimeRange();
    qDeleteAll(m_graph.axes);
    m_graph.axes.clear();

    const DeviceSpecSet &specs = TsCore::deviceManager()->deviceSpecs();
    const QList<TsExperimentRecording::ColumnGroup> &columns =
        experiment->recorder()->recording().columns;
    QHash<const GraphAxisSpec *, GraphVerticalAxis *> made;
    for (const TsExperimentRecording::ColumnGroup &column : columns) {
        const GraphAxisSpec *spec = graphAxisFor(column.channel, specs);
        if (!spec || made.contains(spec))
            continue;
        auto *axis = new GraphVerticalAxis(m_graph.widget);
        axis->setText(spec->name);
        axis->setUnit(spec->unit);
        axis->setLimits(spec->minLimit, spec->maxLimit);
        axis->setInitialRange(spec->min, spec->max);
        axis->setMajorDivisions(spec->mainGrids);
        axis->setMinorDivisions(spec->subGrids);
        axis->setColor(spec->color);
        axis->setLabelDecimals(1);
        axis->setMarkerEnabled(false);
        made.insert(spec, axis);
        m_graph.axes << axis;
    }
    for (int i = 0; i < columns.size(); ++i) {
        const TsExperimentChannel *channel = columns.at(i).channel;
        GraphVerticalAxis *axis = made.value(graphAxisFor(channel, specs));
        if (!axis)
            continue;
        auto *line = new GraphLineSeries(axis, QSharedPointer<GraphSeriesData>::create());
        line->setText(channel->name());
        line->setProperty(CaptureIndexProperty, i);
        if (channel->color().isValid())
            line->setColor(channel->color());
        m_graph.lines << line;
    }
    if (m_graph.axes.isEmpty())
        m_graph.axes << new GraphVerticalAxis(m_graph.widget);

    // The new vertical axes follow the newest sample already; the time axis may still be off
    // from a mouse zoom of the last recording and must do what its checked action says.
    m_graph.widget->horizontalAxis()->setFollowNewest(true);
    ui->actionScrollTimeAxis->setChecked(true);
    ui->actionScrollYAxes->setChecked(true);
}

void TsRecorderGraphDialog::recordingStopped() {}

void TsRecorderGraphDialog::recordSample(TsExperimentRecording::Sample *sample)
{
    if (!sample)
        return;
    const double time = double(sample->timestamp.toMSecsSinceEpoch());
    for (GraphLineSeries *line : qAsConst(m_graph.lines)) {
        const int i = line->property(CaptureIndexProperty).toInt();
        double y = qQNaN();
        if (i >= 0 && i < sample->values.size() && !sample->values.at(i).isEmpty()) {
            const QVariant value = sample->values.at(i).first();
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (value.isValid() && ok)
                y = number;
        }
        line->data()->append(time, y);
    }
}

void TsRecorderGraphDialog::graphZoomed(int flags)
{
    if ((flags & 1) && ui->actionScrollTimeAxis->isChecked()) {
        ui->actionScrollTimeAxis->setChecked(false);
        m_graph.widget->horizontalAxis()->setFollowNewest(false);
    }
    if ((flags & 2) && ui->actionScrollYAxes->isChecked()) {
        ui->actionScrollYAxes->setChecked(false);
        for (GraphVerticalAxis *axis : m_graph.widget->verticalAxes())
            axis->setFollowNewest(false);
    }
}

void TsRecorderGraphDialog::on_actionZoom_In_triggered()
{
    zoomTime(true, 2);
}

void TsRecorderGraphDialog::on_actionZoom_In_Fine_triggered()
{
    zoomTime(true, 3);
}

void TsRecorderGraphDialog::on_actionZoom_Out_triggered()
{
    zoomTime(false, 1);
}

void TsRecorderGraphDialog::on_actionZoom_Out_fine_triggered()
{
    zoomTime(false, 2);
}

void TsRecorderGraphDialog::zoomTime(bool in, double divisor)
{
    GraphHorizontalAxis *axis = m_graph.widget->horizontalAxis();
    const double minimum = axis->minimum();
    const double span = axis->maximum() - minimum;
    if (in ? span <= MinZoomStep : span >= MaxZoomOutSpan)
        return;
    const double step = std::clamp(span / divisor, double(MinZoomStep), double(MaxZoomStep));
    const double maximum = in ? axis->maximum() - step : axis->maximum() + step;
    // setRange() limits the new maximum by the axis's upper limit.
    if (maximum > minimum)
        axis->setRange(minimum, maximum);
    m_graph.widget->update();
}

void TsRecorderGraphDialog::on_actionRelative_Absolute_triggered()
{
    GraphHorizontalAxis *axis = m_graph.widget->horizontalAxis();
    if (axis->labelMode() == GraphAxis::DateTimeLabels) {
        axis->setLabelMode(GraphAxis::RelativeTimeLabels);
        axis->setText(tr("Relative Time"));
    } else {
        axis->setLabelMode(GraphAxis::DateTimeLabels);
        axis->setText(tr("Absolute Time"));
    }
    m_graph.widget->update();
}

void TsRecorderGraphDialog::on_actionScrollTimeAxis_triggered(bool checked)
{
    m_graph.widget->horizontalAxis()->setFollowNewest(checked);
}

void TsRecorderGraphDialog::on_actionScrollYAxes_triggered(bool checked)
{
    for (GraphVerticalAxis *axis : m_graph.widget->verticalAxes())
        axis->setFollowNewest(checked);
}

void TsRecorderGraphDialog::closeEvent(QCloseEvent *event)
{
    saveSettings(false);
    QMainWindow::closeEvent(event);
}

void TsRecorderGraphDialog::resetTimeRange()
{
    GraphHorizontalAxis *axis = m_graph.widget->horizontalAxis();
    const double now = double(m_now());
    axis->setInitialRange(now, now + 3600000.0);
    axis->setOrigin(now);
}

void TsRecorderGraphDialog::saveSettings(bool visible)
{
    QSettings settings;
    settings.setValue(GeometryKey, geometry());
    settings.setValue(MaximizedKey, isMaximized());
    settings.setValue(VisibleKey, visible);
}
