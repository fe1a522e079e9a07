#include "dialogs/tsrecordergraphdialog.h"
#include "ui_tsrecordergraphdialog.h"

#include "device/devicespec.h"
#include "device/tsdevicemanager.h"
#include "dialogs/tsfiledialog.h"
#include "dialogs/tsmessagebox.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsrecordingwriter.h"
#include "tscore.h"
#include "utils/gui/graphexport.h"
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
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QIcon>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>

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
    setUpWindow();
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

TsRecorderGraphDialog::TsRecorderGraphDialog(TsRecording &&recording, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::TsRecorderGraphDialog)
    , m_now([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_path(recording.filePath)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setUpWindow();
    setWindowTitle(tr("Graph: %1").arg(QFileInfo(m_path).fileName()));
    // A finished recording has no newest sample to follow.
    ui->menuAutoScroll->menuAction()->setVisible(false);
    ui->actionScrollTimeAxis->setChecked(false);
    ui->actionScrollYAxes->setChecked(false);
    showRecording(std::move(recording));
}

void TsRecorderGraphDialog::setUpWindow()
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
}

GraphVerticalAxis *TsRecorderGraphDialog::makeAxis(const GraphAxisSpec &spec)
{
    auto *axis = new GraphVerticalAxis(m_graph.widget);
    axis->setText(spec.name);
    axis->setUnit(spec.unit);
    axis->setLimits(spec.minLimit, spec.maxLimit);
    axis->setInitialRange(spec.min, spec.max);
    axis->setMajorDivisions(spec.mainGrids);
    axis->setMinorDivisions(spec.subGrids);
    axis->setColor(spec.color);
    axis->setLabelDecimals(1);
    axis->setMarkerEnabled(false);
    return axis;
}

void TsRecorderGraphDialog::showRecording(TsRecording &&recording)
{
    // A channel is known when the current experiment has one of that name: it is drawn on the
    // axis of its unit, in its colour. The others share one axis over their values' range.
    const TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    const DeviceSpecSet &specs = TsCore::deviceManager()->deviceSpecs();
    QHash<const GraphAxisSpec *, GraphVerticalAxis *> made;
    GraphVerticalAxis *others = nullptr;
    double low = qInf(), high = -qInf();
    const std::shared_ptr<GraphTimeColumn> times = recording.times;
    for (TsRecording::Channel &channel : recording.channels) {
        const TsExperimentChannel *known = nullptr;
        if (experiment) {
            for (const TsExperimentChannel *candidate : experiment->channels()) {
                if (candidate->name() == channel.name) {
                    known = candidate;
                    break;
                }
            }
        }
        const GraphAxisSpec *spec = graphAxisFor(known, specs);
        GraphVerticalAxis *axis = spec ? made.value(spec) : others;
        if (!axis && spec) {
            axis = makeAxis(*spec);
            made.insert(spec, axis);
            m_graph.axes << axis;
        } else if (!axis) {
            axis = others = new GraphVerticalAxis(m_graph.widget);
            axis->setText(tr("Values"));
            axis->setLabelDecimals(1);
            axis->setMarkerEnabled(false);
            m_graph.axes << axis;
        }
        const auto data = QSharedPointer<GraphSeriesData>::create(times, std::move(channel.values));
        if (!spec && data->count() > 0) {
            low = std::min(low, data->minimum());
            high = std::max(high, data->maximum());
        }
        auto *line = new GraphLineSeries(axis, data);
        line->setText(channel.name);
        if (known && known->color().isValid())
            line->setColor(known->color());
        m_graph.lines << line;
    }
    if (others && low <= high) {
        const double margin = std::max((high - low) / 10.0, 0.5);
        others->setInitialRange(low - margin, high + margin);
    }
    if (m_graph.axes.isEmpty())
        m_graph.axes << new GraphVerticalAxis(m_graph.widget);
    for (GraphVerticalAxis *axis : qAsConst(m_graph.axes))
        axis->setFollowNewest(false);

    // The whole recording in view; relative time counts from its start.
    GraphHorizontalAxis *time = m_graph.widget->horizontalAxis();
    time->setFollowNewest(false);
    double first = recording.startTime();
    double last = times->empty() ? first : times->back();
    if (times->empty())
        first = last = double(m_now());
    if (last - first < double(MinZoomStep)) {
        last = first + double(MinZoomStep);
    }
    time->setInitialRange(first, last);
    time->setOrigin(first);
    connect(m_graph.widget, &GraphWidget::zoomed, this, &TsRecorderGraphDialog::graphZoomed);
}

TsRecorderGraphDialog::~TsRecorderGraphDialog()
{
    if (!showsPastRecording())
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
    // A recording's window opens as it is placed; the remembered state is the live window's.
    if (m_firstShow && !showsPastRecording()) {
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
        GraphVerticalAxis *axis = makeAxis(*spec);
        made.insert(spec, axis);
        m_graph.axes << axis;
    }
    // The lines are appended in step: one time column serves them all.
    const auto times = std::make_shared<GraphTimeColumn>();
    for (int i = 0; i < columns.size(); ++i) {
        const TsExperimentChannel *channel = columns.at(i).channel;
        GraphVerticalAxis *axis = made.value(graphAxisFor(channel, specs));
        if (!axis)
            continue;
        auto *line = new GraphLineSeries(axis, QSharedPointer<GraphSeriesData>::create(times));
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
    if (!showsPastRecording())
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

TsRecorderGraphDialog *TsRecorderGraphDialog::openRecording(const QString &path, QWidget *beside)
{
    // Read on a worker thread, so that the progress dialog repaints and its Cancel is heard.
    TsRecordingReader reader;
    QProgressDialog progress(tr("Reading %1…").arg(QFileInfo(path).fileName()), tr("Cancel"), 0,
                             1000, beside);
    progress.setWindowTitle(tr("Open Recording"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    connect(&reader, &TsRecordingReader::progress, &progress,
            [&progress](qint64 done, qint64 total) {
                progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
            });
    connect(&progress, &QProgressDialog::canceled, &progress, [&reader] { reader.cancel(); });
    QFutureWatcher<QxResult> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcher<QxResult>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&reader, path] { return reader.read(path); }));
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The program quits (which ends every event loop): no window is wanted any more.
    if (!watcher.isFinished()) {
        reader.cancel();
        watcher.waitForFinished();
    }
    const QxResult result = watcher.result();
    progress.reset();
    if (result.code() == TsRecordingReader::Cancelled)
        return nullptr;
    if (result.isError()) {
        TsMessageBox::warning(beside, tr("Open Recording"), result.message());
        return nullptr;
    }

    const TsRecording &read = reader.recording();
    QStringList damaged;
    for (qint64 line : read.damagedLines.mid(0, 20))
        damaged << QString::number(line);
    const qint64 damagedCount = read.damagedCount;
    qDebug("TsRecorderGraphDialog::openRecording: '%s', %lld rows", qPrintable(path), read.rows());
    auto *window = new TsRecorderGraphDialog(std::move(reader.recording()));
    if (beside)
        window->move(beside->frameGeometry().topRight() + QPoint(16, 0));
    window->show();
    if (damagedCount > 0) {
        QString lines = damaged.join(QStringLiteral(", "));
        if (damagedCount > damaged.size())
            lines += tr(" and %1 more").arg(damagedCount - damaged.size());
        TsMessageBox::information(
            window, tr("Open Recording"),
            tr("%1 damaged lines of '%2' were skipped (line %3); the rest is shown.")
                .arg(damagedCount)
                .arg(QFileInfo(path).fileName(), lines));
    }
    return window;
}

QString TsRecorderGraphDialog::startFolder() const
{
    if (showsPastRecording())
        return QFileInfo(m_path).absolutePath();
    if (const TsExperiment *experiment = TsCore::experimentManager()->currentExperiment()) {
        const QString file = experiment->recorder()->fileName();
        if (!file.isEmpty())
            return QFileInfo(file).absolutePath();
        if (!experiment->recorder()->logFolder().isEmpty())
            return experiment->recorder()->logFolder();
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString TsRecorderGraphDialog::suggestedFile(const QString &ending) const
{
    const QString base =
        showsPastRecording() ? QFileInfo(m_path).completeBaseName() : QStringLiteral("graph");
    return QDir(startFolder()).filePath(base + ending);
}

void TsRecorderGraphDialog::on_actionOpen_Recording_triggered()
{
    const QString path = TsFileDialog::openFile(this, tr("Open Recording"), startFolder(),
                                                tr("Recordings (*.csv *.txt);;All files (*)"));
    if (!path.isEmpty())
        openRecording(path, this);
}

QxResult TsRecorderGraphDialog::exportView(const QString &path)
{
    const QString error = GraphExport::save(m_graph.widget, path);
    return error.isEmpty() ? QxResult() : QxResult(error);
}

void TsRecorderGraphDialog::on_actionExport_View_triggered()
{
    const QString path = TsFileDialog::saveFile(
        this, tr("Export View"), suggestedFile(QStringLiteral(".png")),
        tr("PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    if (path.isEmpty())
        return;
    const QxResult result = exportView(path);
    if (result.isError())
        TsMessageBox::warning(this, tr("Export View"), result.message());
}

QxResult TsRecorderGraphDialog::exportVisibleSamples(const QString &path) const
{
    // The rows of the first line's times within the time axis's range; lines on the same time
    // column (all of them, as the recorder and the reader fill them) give their values by row,
    // any other by its value at that time.
    TsRecording visible;
    const GraphHorizontalAxis *axis = m_graph.widget->horizontalAxis();
    const double from = std::min(axis->minimum(), axis->maximum());
    const double to = std::max(axis->minimum(), axis->maximum());
    if (!m_graph.lines.isEmpty()) {
        const GraphSeriesData &reference = *m_graph.lines.first()->data();
        const std::size_t first = reference.lowerBound(from);
        std::size_t end = reference.lowerBound(to);
        while (end < reference.size() && reference.x()[end] <= to)
            ++end;
        visible.times->assign(reference.x() + first, reference.x() + end);
        for (const GraphLineSeries *line : m_graph.lines) {
            const GraphSeriesData &data = *line->data();
            TsRecording::Channel channel;
            channel.name = line->text();
            if (data.timeColumn() == reference.timeColumn() && data.size() >= end) {
                channel.values.assign(data.y() + first, data.y() + end);
            } else {
                for (double time : *visible.times)
                    channel.values.push_back(float(data.valueAt(time)));
            }
            visible.channels.push_back(std::move(channel));
        }
    }
    return TsRecordingWriter::write(visible, 0, visible.times->size(), path);
}

void TsRecorderGraphDialog::on_actionExport_Samples_triggered()
{
    const QString path = TsFileDialog::saveFile(this, tr("Export Visible Samples"),
                                                suggestedFile(QStringLiteral("_visible.csv")),
                                                tr("CSV file (*.csv)"));
    if (path.isEmpty())
        return;
    const QxResult result = exportVisibleSamples(path);
    if (result.isError())
        TsMessageBox::warning(this, tr("Export Visible Samples"), result.message());
}
