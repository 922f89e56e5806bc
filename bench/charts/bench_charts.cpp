// Paint costs of the chart widgets, rendered offscreen into images.
#include "charts/dgraphplotter.h"
#include "charts/framehystogram.h"
#include "charts/hystogramchart.h"
#include "charts/hystogramtimeline.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

// A plotter over three live series of `points` points, window of the newest 50, as the
// measurements panel has it after a long measurement.
void BM_PlotterPaint(benchmark::State &state)
{
    const int points = static_cast<int>(state.range(0));
    QVector<double> x(points);
    QVector<double> left(points);
    QVector<double> right(points);
    for (int i = 0; i < points; ++i) {
        x[i] = i;
        left[i] = 0.1 + 0.05 * std::sin(i / 5.0);
        right[i] = 0.12 + 0.03 * std::cos(i / 3.0);
    }
    std::unique_ptr<DGraphPlotter> plotter(createGraphPlotter(0, 10, 5, nullptr));
    plotter->addSeries(QStringLiteral("Left"), &x, &left, Qt::red, 0);
    plotter->addSeries(QStringLiteral("Right"), &x, &right, Qt::blue, 0);
    plotter->addSeries(QStringLiteral("Dose"), &x, &x, Qt::darkGreen, 1);
    plotter->resize(800, 500);
    plotter->setWindow(2147483647, 50);
    QImage image(plotter->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        plotter->render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_PlotterPaint)->Arg(10)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

QVector<FrameHystogram::Sample> records(int count)
{
    QVector<FrameHystogram::Sample> data;
    data.reserve(count);
    const qint64 start = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch();
    for (int i = 0; i < count; ++i)
        data.append({ QDateTime::fromSecsSinceEpoch(start + 10ll * i), float(i % 97) / 10 });
    return data;
}

// What the History page does after a read: hand over every record (flat arrays, shared) and
// show the first window.
void BM_HystogramSetDataAndFirstPaint(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    QVector<qint64> msecs(count);
    QVector<float> values(count);
    const qint64 start = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        msecs[i] = start + 10000ll * i;
        values[i] = float(i % 97) / 10;
    }
    FrameHystogram frame;
    frame.resize(900, 400);
    frame.setLevels(qRgb(0x00, 0xAA, 0x00), {});
    QImage image(frame.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        frame.setData(msecs, values);
        frame.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_HystogramSetDataAndFirstPaint)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);

// One paint of the bar chart with `bars` bars at a width: the cost follows the bars, not the
// window's size (the tallest value is found once per window change, not once per bar).
void BM_HystogramChartPaint(benchmark::State &state)
{
    const int bars = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    HystogramPoints points;
    for (const FrameHystogram::Sample &s : records(bars))
        points.append({ s.first, s.second, qRgb(0x00, 0xAA, 0x00) });
    HystogramChart chart;
    chart.resize(width, 400);
    chart.setData(points);
    chart.update(true, true);
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        chart.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_HystogramChartPaint)
    ->Args({ 20, 900 })
    ->Args({ 1000, 900 })
    ->Args({ 1000, 1800 })
    ->Args({ 1000, 3600 })
    ->Unit(benchmark::kMillisecond);

// A repaint of the overview strip after the window moved (the data did not change).
void BM_HystogramTimelineRepaint(benchmark::State &state)
{
    HystogramTimeline timeline;
    timeline.resize(900, 40);
    HystogramPoints points;
    for (const FrameHystogram::Sample &s : records(static_cast<int>(state.range(0))))
        points.append({ s.first, s.second, qRgb(0x00, 0xAA, 0x00) });
    timeline.setData(points);
    QImage image(timeline.size(), QImage::Format_ARGB32_Premultiplied);
    timeline.render(&image);
    for (auto _ : state) {
        timeline.stepLater();
        timeline.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_HystogramTimelineRepaint)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A repaint after a resize, which sorts every record into the new pixel columns again.
void BM_HystogramTimelineResize(benchmark::State &state)
{
    HystogramTimeline timeline;
    HystogramPoints points;
    for (const FrameHystogram::Sample &s : records(static_cast<int>(state.range(0))))
        points.append({ s.first, s.second, qRgb(0x00, 0xAA, 0x00) });
    timeline.setData(points);
    int width = 900;
    for (auto _ : state) {
        width = width == 900 ? 901 : 900;
        timeline.resize(width, 40);
        QImage image(timeline.size(), QImage::Format_ARGB32_Premultiplied);
        timeline.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_HystogramTimelineResize)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
