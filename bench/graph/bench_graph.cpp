// Offscreen timings of the graph library beside a plain QPainter::drawPolyline of the same data.
// A week at one sample a second is 600 000 samples per channel; these runs use 1 000 000, shown
// either whole across 1000 pixels or, as the recorder window shows them while it follows the
// newest sample, as the last hour of them.
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
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr double T0 = 1.7e12;
constexpr int Samples = 1000000;
constexpr double SampleInterval = 1000; // ms
constexpr double LastSample = T0 + SampleInterval * (Samples - 1);
constexpr int PlotWidth = 1000;

enum Window
{
    WholeHistory = 0, // about a thousand samples per pixel column
    LastHour = 1,     // 3.6 samples per column; the cache spans 278 widths of history
};

// A slow swing with noise: every pixel column holds a real spread of values.
double valueAt(int series, int i, uint32_t &seed)
{
    seed = seed * 1664525u + 1013904223u;
    const double noise = double(seed >> 8) / double(1u << 24) - 0.5;
    return 37.0 + 2.0 * std::sin(i / 20000.0 + series) + 0.3 * noise + series * 0.5;
}

// Appended one by one, so the store grows the way it grows in use.
void fill(GraphSeriesData &data, int series)
{
    uint32_t seed = 12345u + series;
    for (int i = 0; i < Samples; ++i)
        data.append(T0 + SampleInterval * i, valueAt(series, i, seed));
}

struct Scene
{
    Scene(int seriesCount, int window)
    {
        widget.resize(PlotWidth + 100, 600);
        widget.setBackground(Qt::white);
        axis = new GraphVerticalAxis(&widget);
        axis->setInitialRange(30, 45);
        const double first = window == LastHour ? LastSample - 3600000.0 : T0;
        widget.horizontalAxis()->setInitialRange(first, LastSample);
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
        // The layout ends with every series converting its samples: the cache the paints use.
        // The first paint also delivers the resize events a hidden widget holds back, whose
        // layout would otherwise land in the first timed paint.
        image = QImage(widget.size(), QImage::Format_ARGB32_Premultiplied);
        paint();
    }

    // Every sample of every series must have gone through the series' own conversion.
    bool cacheBuilt() const
    {
        for (const GraphLineSeries *s : series) {
            if (s->convertedCount() != std::size_t(Samples) || s->lines().empty())
                return false;
        }
        return true;
    }

    void paint() { widget.render(&image); }

    int drawnLines() const
    {
        int lines = 0;
        for (const GraphLineSeries *s : series)
            lines += s->visibleLineCount();
        return lines;
    }

    void reportMemory(benchmark::State &state) const
    {
        double store = 0, cache = 0, samples = 0;
        for (const GraphLineSeries *s : series) {
            store += s->data()->bytesHeld();
            cache += s->lines().capacity() * sizeof(QLineF);
            samples += s->data()->size();
        }
        state.counters["store_B/sample"] = store / samples;
        state.counters["cache_B/sample"] = cache / samples;
        state.counters["lines"] = double(series.front()->lines().size());
    }

    GraphWidget widget;
    GraphVerticalAxis *axis = nullptr;
    std::vector<GraphLineSeries *> series;
    QImage image;
};

// Scenes are expensive to fill; they are shared between the benchmarks and must be gone before
// the application object is.
std::map<std::pair<int, int>, std::unique_ptr<Scene>> &scenes()
{
    static std::map<std::pair<int, int>, std::unique_ptr<Scene>> all;
    return all;
}

Scene &scene(int seriesCount, int window)
{
    std::unique_ptr<Scene> &slot = scenes()[{seriesCount, window}];
    if (!slot)
        slot.reset(new Scene(seriesCount, window));
    return *slot;
}

// Arg 0: the store grows as samples arrive; arg 1: it is reserved for all of them beforehand.
// Follow-newest stays on and the series converts at most every 100 ms, as in use.
void BM_Append1M(benchmark::State &state)
{
    const bool reserved = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<Scene>(0, WholeHistory);
        auto *series = new GraphLineSeries(s->axis);
        s->series.push_back(series);
        s->widget.ensureLayout();
        QSharedPointer<GraphSeriesData> data = series->data();
        if (reserved)
            data->reserve(Samples);
        uint32_t seed = 1;
        state.ResumeTiming();
        for (int i = 0; i < Samples; ++i)
            data->append(T0 + SampleInterval * i, valueAt(0, i, seed));
        series->timeout(); // what the throttle held back
        state.PauseTiming();
        if (!s->cacheBuilt())
            state.SkipWithError("the series did not convert every sample");
        s->reportMemory(state);
        s.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}

void BM_Rebuild1M(benchmark::State &state)
{
    Scene &s = scene(1, int(state.range(0)));
    for (auto _ : state)
        s.series[0]->rebuild();
    if (!s.cacheBuilt())
        state.SkipWithError("the series did not convert every sample");
    s.reportMemory(state);
    state.SetItemsProcessed(state.iterations() * Samples);
}

// One paint of the whole widget into an image, from the cache the layout built.
void BM_Paint(benchmark::State &state)
{
    Scene &s = scene(int(state.range(0)), int(state.range(1)));
    if (!s.cacheBuilt())
        state.SkipWithError("the series did not convert every sample");
    const int rebuilds = s.series.front()->rebuildCount();
    for (auto _ : state)
        s.paint();
    if (s.series.front()->rebuildCount() != rebuilds)
        state.SkipWithError("a paint rebuilt the cache");
    state.counters["drawn_lines"] = s.drawnLines();
    s.reportMemory(state);
}

// A pan by three pixels and the paint that follows; a pan only moves the cache's origin.
void BM_Pan(benchmark::State &state)
{
    Scene &s = scene(int(state.range(0)), int(state.range(1)));
    GraphHorizontalAxis *axis = s.widget.horizontalAxis();
    const double step = 3.0 / axis->scale();
    std::vector<int> rebuilds;
    for (const GraphLineSeries *series : s.series)
        rebuilds.push_back(series->rebuildCount());
    int i = 0;
    for (auto _ : state) {
        axis->pan((i++ & 1) ? step : -step);
        s.paint();
    }
    for (std::size_t k = 0; k < s.series.size(); ++k) {
        if (s.series[k]->rebuildCount() != rebuilds[k])
            state.SkipWithError("a pan rebuilt the cache");
    }
    state.counters["drawn_lines"] = s.drawnLines();
    axis->setRange(axis->initialMinimum(), axis->initialMaximum());
}

// The reference: the same samples mapped to pixels once, then one drawPolyline of all of them per
// series into the same image, with the painter set up as the plot area sets it up (clipped,
// antialiased or not).
void BM_ReferencePolyline(benchmark::State &state)
{
    Scene &s = scene(int(state.range(0)), WholeHistory);
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

BENCHMARK(BM_Append1M)
    ->ArgName("reserved")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Rebuild1M)
    ->ArgName("hour")
    ->Arg(WholeHistory)
    ->Arg(LastHour)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint)
    ->ArgNames({"series", "hour"})
    ->Args({1, WholeHistory})
    ->Args({8, WholeHistory})
    ->Args({8, LastHour})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pan)
    ->ArgNames({"series", "hour"})
    ->Args({1, WholeHistory})
    ->Args({8, WholeHistory})
    ->Args({8, LastHour})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferencePolyline)
    ->ArgNames({"series", "aa"})
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
    scenes().clear();
    benchmark::Shutdown();
    return 0;
}
