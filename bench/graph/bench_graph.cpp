// Offscreen timings of the graph library beside a plain QPainter::drawPolyline of the same data.
// A week at one sample a second is 600 000 samples per channel; these runs use 1 000 000.
#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double T0 = 1.7e12;
constexpr int Samples = 1000000;
constexpr int PlotWidth = 1000;

// A slow swing with noise: every pixel column holds a thousand samples over a real spread.
double valueAt(int series, int i, uint32_t &seed)
{
    seed = seed * 1664525u + 1013904223u;
    const double noise = double(seed >> 8) / double(1u << 24) - 0.5;
    return 37.0 + 2.0 * std::sin(i / 20000.0 + series) + 0.3 * noise + series * 0.5;
}

void fill(GraphSeriesData &data, int series)
{
    uint32_t seed = 12345u + series;
    data.reserve(Samples);
    for (int i = 0; i < Samples; ++i)
        data.append(T0 + 1000.0 * i, valueAt(series, i, seed));
}

struct Scene
{
    explicit Scene(int seriesCount)
    {
        widget.resize(PlotWidth + 100, 600);
        widget.setBackground(Qt::white);
        axis = new GraphVerticalAxis(&widget);
        axis->setInitialRange(30, 45);
        widget.horizontalAxis()->setInitialRange(T0, T0 + 1000.0 * (Samples - 1));
        widget.ensureLayout();
        // Size the widget so that the plot is exactly PlotWidth pixels wide.
        widget.resize(widget.width() + PlotWidth - widget.horizontalAxis()->rect().width(), 600);
        widget.ensureLayout();
        for (int s = 0; s < seriesCount; ++s) {
            auto data = QSharedPointer<GraphSeriesData>::create();
            fill(*data, s);
            auto *line = new GraphLineSeries(axis, data);
            line->setColor(QColor::fromHsv(s * 45, 255, 200));
            series.push_back(line);
        }
        widget.ensureLayout();
        image = QImage(widget.size(), QImage::Format_ARGB32_Premultiplied);
    }

    void paint() { widget.render(&image); }

    double bytesPerSample() const
    {
        double bytes = 0, samples = 0;
        for (const GraphLineSeries *s : series) {
            bytes +=
                s->data()->capacity() * sizeof(QPointF) + s->lines().capacity() * sizeof(QLineF);
            samples += s->data()->size();
        }
        return bytes / samples;
    }

    GraphWidget widget;
    GraphVerticalAxis *axis = nullptr;
    std::vector<GraphLineSeries *> series;
    QImage image;
};

Scene &scene(int seriesCount)
{
    static std::unique_ptr<Scene> one, eight;
    std::unique_ptr<Scene> &slot = seriesCount == 1 ? one : eight;
    if (!slot)
        slot.reset(new Scene(seriesCount));
    return *slot;
}

void BM_Append1M(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<Scene>(0);
        auto *series = new GraphLineSeries(s->axis);
        s->axis->setFollowNewest(false);
        s->widget.horizontalAxis()->setFollowNewest(false);
        s->widget.ensureLayout();
        GraphSeriesData &data = *series->data();
        uint32_t seed = 1;
        state.ResumeTiming();
        for (int i = 0; i < Samples; ++i)
            data.append(T0 + 1000.0 * i, valueAt(0, i, seed));
        series->timeout(); // convert what the throttle held back
        state.PauseTiming();
        benchmark::DoNotOptimize(series->lines().data());
        state.counters["bytes/sample"] = double(data.capacity() * sizeof(QPointF)) / data.size();
        s.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}

void BM_Rebuild1M(benchmark::State &state)
{
    Scene &s = scene(1);
    for (auto _ : state)
        s.series[0]->rebuild();
    state.counters["lines"] = double(s.series[0]->lines().size());
    state.SetItemsProcessed(state.iterations() * Samples);
}

void BM_Paint(benchmark::State &state)
{
    Scene &s = scene(int(state.range(0)));
    s.paint();
    for (auto _ : state)
        s.paint();
    state.counters["bytes/sample"] = s.bytesPerSample();
}

void BM_Pan(benchmark::State &state)
{
    Scene &s = scene(int(state.range(0)));
    GraphHorizontalAxis *axis = s.widget.horizontalAxis();
    const double step = 3.0 / axis->scale(); // three pixels
    int i = 0;
    for (auto _ : state) {
        axis->pan((i++ & 1) ? step : -step);
        s.paint();
    }
    axis->setRange(axis->initialMinimum(), axis->initialMaximum());
}

// The reference: the same samples mapped to pixels once, then one drawPolyline per series with the
// painter set up as the plot area sets it up (clipped, antialiased).
void BM_ReferencePolyline(benchmark::State &state)
{
    Scene &s = scene(int(state.range(0)));
    const bool antialiased = state.range(1) != 0;
    const GraphHorizontalAxis *h = s.widget.horizontalAxis();
    const QRect plot = s.widget.plotArea()->rect();
    std::vector<QPolygonF> polylines;
    for (const GraphLineSeries *series : s.series) {
        QPolygonF polyline;
        polyline.reserve(Samples);
        for (const QPointF &p : series->data()->samples())
            polyline.append(QPointF(p.x() * h->scale() + h->intercept(),
                                    p.y() * s.axis->scale() + s.axis->intercept()));
        polylines.push_back(polyline);
    }
    QImage image(s.widget.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setClipRect(plot);
        painter.setRenderHint(QPainter::Antialiasing, antialiased);
        for (std::size_t i = 0; i < polylines.size(); ++i) {
            painter.setPen(QPen(QColor::fromHsv(int(i) * 45, 255, 200)));
            painter.drawPolyline(polylines[i]);
        }
    }
}

} // namespace

BENCHMARK(BM_Append1M)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Rebuild1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pan)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferencePolyline)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({8, 1})
    ->Args({8, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
