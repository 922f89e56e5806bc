#include "charts/chartscale.h"
#include "charts/framehystogram.h"
#include "charts/hystogramchart.h"
#include "charts/hystogramtimeline.h"
#include "charts/iobserver.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>
#include <limits>

namespace {
const QDateTime kStart(QDate(2026, 5, 4), QTime(10, 0, 0));
const QRgb kGreen = qRgb(0x00, 0xAA, 0x00);

// Records every `step` seconds from kStart with values 1, 2, 3, ...
QVector<FrameHystogram::Sample> samples(int count, int step = 10)
{
    QVector<FrameHystogram::Sample> data;
    for (int i = 0; i < count; ++i)
        data.append({ kStart.addSecs(qint64(i) * step), float(i + 1) });
    return data;
}

void wheel(QWidget *widget, int delta, const QPoint &pos = QPoint(5, 5))
{
    QWheelEvent event(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

void press(QWidget *widget, const QPoint &pos)
{
    QMouseEvent event(QEvent::MouseButtonPress, pos, widget->mapToGlobal(pos), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

bool isGreen(QRgb p)
{
    return qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 40;
}

struct CountingObserver : IObserver
{
    int calls = 0;
    ISubject *last = nullptr;
    void update(ISubject *subject) override
    {
        ++calls;
        last = subject;
    }
};
}

class TestFrameHystogram : public QObject
{
    Q_OBJECT

private slots:
    void windowAfterSetData_data();
    void windowAfterSetData();
    void windowActions_data();
    void windowActions();
    void pressCentresTheWindow_data();
    void pressCentresTheWindow();
    void colourLevels_data();
    void colourLevels();
    void gapMarkers_data();
    void gapMarkers();
    void barHeights_data();
    void barHeights();
    void clearShowsOneEmptyBar();
    void emptyReadKeepsThePlaceholder();
    void arrowsAndChartWheelScroll();
    void observersAttachAndDetach();
    void paintsBarsAndStrip();
    void spanCountsRealSecondsAcrossClockChanges_data();
    void spanCountsRealSecondsAcrossClockChanges();
    void valueLabels_data();
    void valueLabels();
    void roundTicks_data();
    void roundTicks();
    void timeTicks_data();
    void timeTicks();
    void timeLabels_data();
    void timeLabels();
};

void TestFrameHystogram::windowAfterSetData_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("expectedLength");
    QTest::addColumn<bool>("later");

    QTest::newRow("one record") << 1 << 1ll << false;
    QTest::newRow("5 records: whole window, no arrows") << 5 << 5ll << false;
    QTest::newRow("20 records") << 20 << 20ll << false;
    QTest::newRow("21 records") << 21 << 20ll << true;
    QTest::newRow("a day of records") << 8640 << 20ll << true;
}

void TestFrameHystogram::windowAfterSetData()
{
    QFETCH(int, count);
    QFETCH(qint64, expectedLength);
    QFETCH(bool, later);

    FrameHystogram frame;
    frame.setData(samples(count));
    HystogramTimeline *timeline = frame.timeline();
    QCOMPARE(timeline->windowStart(), 0);
    QCOMPARE(timeline->windowLength(), expectedLength);
    QCOMPARE(timeline->spanSeconds(), qint64(count - 1) * 10);
    QCOMPARE(frame.chart()->data().size(), int(expectedLength));
    QCOMPARE(frame.chart()->data().first().time, kStart);
    QCOMPARE(frame.chart()->earlierPossible(), false);
    QCOMPARE(frame.chart()->laterPossible(), later);
}

void TestFrameHystogram::windowActions_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("actions"); // u/d: wheel up/down on the strip, e/l: step
    QTest::addColumn<qint64>("expectedStart");
    QTest::addColumn<qint64>("expectedLength");

    QTest::newRow("wheel up at the start grows to the right") << 100 << "u" << 0ll << 22ll;
    QTest::newRow("wheel up in the middle grows both ways") << 100 << "llllluu" << 3ll << 24ll;
    QTest::newRow("wheel down") << 100 << "d" << 1ll << 18ll;
    QTest::newRow("wheel down to 10") << 100 << "ddddd" << 5ll << 10ll;
    QTest::newRow("wheel down on 10 stays 10") << 100 << "dddddd" << 5ll << 10ll;
    QTest::newRow("wheel down on 11 gives 10") << 11 << "d" << 0ll << 10ll;
    QTest::newRow("wheel down on 10 records") << 10 << "d" << 0ll << 10ll;
    QTest::newRow("wheel down on 5 records") << 5 << "d" << 0ll << 5ll;
    QTest::newRow("wheel up capped by the records") << 30 << "uuuuuu" << 0ll << 30ll;
    QTest::newRow("wheel up at the end") << 30 << "llllllllllu" << 8ll << 22ll;
    QTest::newRow("steps") << 100 << "llle" << 2ll << 20ll;
    QTest::newRow("step earlier at the start") << 100 << "e" << 0ll << 20ll;
    QTest::newRow("step later at the end") << 22 << "lllll" << 2ll << 20ll;
}

void TestFrameHystogram::windowActions()
{
    QFETCH(int, count);
    QFETCH(QString, actions);
    QFETCH(qint64, expectedStart);
    QFETCH(qint64, expectedLength);

    FrameHystogram frame;
    frame.setData(samples(count));
    HystogramTimeline *timeline = frame.timeline();
    for (QChar action : actions) {
        if (action == QLatin1Char('u'))
            wheel(timeline, 120);
        else if (action == QLatin1Char('d'))
            wheel(timeline, -120);
        else if (action == QLatin1Char('e'))
            timeline->stepEarlier();
        else
            timeline->stepLater();
    }
    QCOMPARE(timeline->windowStart(), expectedStart);
    QCOMPARE(timeline->windowLength(), expectedLength);
    // The chart always shows the timeline's window, with the matching arrows.
    QCOMPARE(frame.chart()->data().size(), int(expectedLength));
    QCOMPARE(frame.chart()->data().first().time, kStart.addSecs(expectedStart * 10));
    QCOMPARE(frame.chart()->earlierPossible(), expectedStart > 0);
    QCOMPARE(frame.chart()->laterPossible(), expectedStart + expectedLength < count);
}

void TestFrameHystogram::pressCentresTheWindow_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<qint64>("expectedStart");

    // 100 records 10 s apart over a 990-pixel strip: one pixel per second.
    QTest::newRow("middle") << 500 << 40ll;
    QTest::newRow("left end") << 0 << 0ll;
    QTest::newRow("near the left end") << 55 << 0ll;
    QTest::newRow("right end") << 989 << 80ll;
    QTest::newRow("right of the strip") << 5000 << 80ll;
    QTest::newRow("left of the strip") << -20 << 0ll;
}

void TestFrameHystogram::pressCentresTheWindow()
{
    QFETCH(int, x);
    QFETCH(qint64, expectedStart);

    FrameHystogram frame;
    frame.setData(samples(100));
    HystogramTimeline *timeline = frame.timeline();
    timeline->setParent(nullptr);
    timeline->resize(990, 40);
    press(timeline, QPoint(x, 10));
    QCOMPARE(timeline->windowStart(), expectedStart);
    QCOMPARE(timeline->windowLength(), 20);
    QCOMPARE(frame.chart()->data().first().time, kStart.addSecs(expectedStart * 10));
    timeline->setParent(&frame);
}

void TestFrameHystogram::colourLevels_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QRgb>("expected");

    QTest::newRow("below every level") << 5.0f << kGreen;
    QTest::newRow("at the first threshold") << 10.0f << qRgb(255, 255, 0);
    QTest::newRow("between the levels") << 15.0f << qRgb(255, 255, 0);
    QTest::newRow("at the second threshold") << 20.0f << qRgb(255, 0, 0);
    QTest::newRow("far above") << 1e30f << qRgb(255, 0, 0);
    QTest::newRow("negative") << -1.0f << kGreen;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << kGreen;
}

void TestFrameHystogram::colourLevels()
{
    QFETCH(float, value);
    QFETCH(QRgb, expected);

    FrameHystogram frame;
    // Given out of order on purpose: the largest threshold not above the value wins.
    frame.setLevels(kGreen, { { 20.0f, qRgb(255, 0, 0) }, { 10.0f, qRgb(255, 255, 0) } });
    frame.setData({ { kStart, value } });
    QCOMPARE(frame.chart()->data().first().colour, expected);

    FrameHystogram plain;
    plain.setLevels(kGreen, {});
    plain.setData({ { kStart, value } });
    QCOMPARE(plain.chart()->data().first().colour, kGreen);
}

void TestFrameHystogram::gapMarkers_data()
{
    QTest::addColumn<QVector<int>>("steps"); // seconds between neighbouring records
    QTest::addColumn<QVector<int>>("markedIndices"); // the later record of each marked pair

    QTest::newRow("10 s apart: none") << QVector<int> { 10, 10, 10 } << QVector<int> {};
    QTest::newRow("20 s apart: one") << QVector<int> { 20 } << QVector<int> { 1 };
    QTest::newRow("15 s is no gap") << QVector<int> { 15 } << QVector<int> {};
    QTest::newRow("16 s is a gap") << QVector<int> { 16 } << QVector<int> { 1 };
    QTest::newRow("new measuring block") << QVector<int> { 10, 3600, 10 } << QVector<int> { 2 };
    QTest::newRow("two gaps") << QVector<int> { 30, 10, 86400 } << QVector<int> { 1, 3 };
    QTest::newRow("time going backwards") << QVector<int> { -600, 10 } << QVector<int> {};
}

void TestFrameHystogram::gapMarkers()
{
    QFETCH(QVector<int>, steps);
    QFETCH(QVector<int>, markedIndices);

    QVector<FrameHystogram::Sample> data { { kStart, 1.0f } };
    for (int step : steps)
        data.append({ data.last().first.addSecs(step), 1.0f });
    FrameHystogram frame;
    frame.resize(600, 300);
    frame.setData(data);
    HystogramChart *chart = frame.chart();
    chart->resize(460, 230);
    const QVector<HystogramChart::GapMarker> markers = chart->gapMarkers();
    QCOMPARE(markers.size(), markedIndices.size());
    for (int i = 0; i < markers.size(); ++i) {
        const int later = markedIndices.at(i);
        QCOMPARE(markers.at(i).time, data.at(later).first);
        // Halfway between the two bars.
        const double between = (chart->barRect(later - 1).center().x()
                                + chart->barRect(later).center().x())
            / 2;
        QVERIFY(std::abs(markers.at(i).x - between) < 0.01);
    }
}

void TestFrameHystogram::barHeights_data()
{
    QTest::addColumn<QVector<float>>("values");
    QTest::addColumn<QVector<double>>("shares"); // of the tallest bar

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("proportional to the tallest") << QVector<float> { 1, 2, 4 }
                                                 << QVector<double> { 0.25, 0.5, 1 };
    QTest::newRow("one bar") << QVector<float> { 3 } << QVector<double> { 1 };
    QTest::newRow("all zero") << QVector<float> { 0, 0 } << QVector<double> { 0, 0 };
    QTest::newRow("negative is no bar") << QVector<float> { -5, 5 } << QVector<double> { 0, 1 };
    QTest::newRow("not a number is no bar") << QVector<float> { nan, 2 }
                                            << QVector<double> { 0, 1 };
    QTest::newRow("infinite is no bar") << QVector<float> { inf, 2 } << QVector<double> { 0, 1 };
    QTest::newRow("largest float") << QVector<float> { std::numeric_limits<float>::max(), 1 }
                                   << QVector<double> { 1, 0 };
}

void TestFrameHystogram::barHeights()
{
    QFETCH(QVector<float>, values);
    QFETCH(QVector<double>, shares);

    QVector<FrameHystogram::Sample> data;
    float largest = 0;
    for (int i = 0; i < values.size(); ++i) {
        data.append({ kStart.addSecs(10 * i), values.at(i) });
        if (std::isfinite(values.at(i)))
            largest = qMax(largest, values.at(i));
    }
    FrameHystogram frame;
    frame.setData(data);
    HystogramChart *chart = frame.chart();
    chart->resize(400, 230);
    const QRectF plot = chart->plotRect();
    // The left margin grows with the widest value label.
    QVERIFY(plot.left() >= 30);
    QCOMPARE(plot.right(), 370.0);
    QCOMPARE(plot.height(), 200.0);
    // The bars stand against the top label, which leaves a tenth of room above the tallest.
    const double top = chart->valueLabels().constLast().toDouble();
    QVERIFY2(largest == 0 || top >= 1.1 * double(largest) * (1 - 1e-9), qPrintable(chart->valueLabels().join(' ')));
    const double tallest = top > 0 ? double(largest) / top * plot.height() : 0;
    const double slot = plot.width() / (2.0 * values.size());
    for (int i = 0; i < values.size(); ++i) {
        const QRectF bar = chart->barRect(i);
        QVERIFY(std::abs(bar.center().x() - (plot.left() + (2 * i + 1) * slot)) < 0.01);
        QVERIFY2(std::abs(bar.height() - shares.at(i) * tallest) < 0.01,
                 qPrintable(QStringLiteral("bar %1 is %2 high").arg(i).arg(bar.height())));
        QCOMPARE(bar.bottom(), plot.bottom());
    }
    QVERIFY(!chart->grab().isNull());
}

void TestFrameHystogram::clearShowsOneEmptyBar()
{
    FrameHystogram frame;
    frame.setData(samples(50));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    frame.clear();
    const HystogramPoints shown = frame.chart()->data();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().value, 0.0f);
    QVERIFY(shown.first().time >= before);
    QVERIFY(shown.first().time <= QDateTime::currentDateTime().addSecs(1));
    frame.chart()->resize(300, 200);
    QCOMPARE(frame.chart()->barRect(0).height(), 0.0);
    QCOMPARE(frame.chart()->earlierPossible(), false);
    QCOMPARE(frame.chart()->laterPossible(), false);
    QVERIFY(!frame.grab().isNull());
}

void TestFrameHystogram::emptyReadKeepsThePlaceholder()
{
    FrameHystogram frame;
    frame.clear();
    frame.setData({});
    QCOMPARE(frame.timeline()->points().size(), 1);
    QCOMPARE(frame.chart()->data().size(), 1);
    QCOMPARE(frame.chart()->data().first().value, 0.0f);
}

void TestFrameHystogram::arrowsAndChartWheelScroll()
{
    FrameHystogram frame;
    frame.setData(samples(30));
    HystogramChart *chart = frame.chart();
    chart->resize(500, 300);
    HystogramTimeline *timeline = frame.timeline();

    // Nothing earlier yet: a press on the left arrow's place does nothing.
    press(chart, chart->earlierArrowRect().center().toPoint());
    QCOMPARE(timeline->windowStart(), 0);
    QVERIFY(!chart->earlierPressed());

    press(chart, chart->laterArrowRect().center().toPoint());
    QVERIFY(chart->laterPressed());
    QCOMPARE(timeline->windowStart(), 1);
    QVERIFY(chart->earlierPossible());

    press(chart, chart->earlierArrowRect().center().toPoint());
    QVERIFY(chart->earlierPressed());
    QVERIFY(!chart->laterPressed());
    QCOMPARE(timeline->windowStart(), 0);

    // A press elsewhere only clears the flags.
    press(chart, chart->plotRect().center().toPoint());
    QVERIFY(!chart->earlierPressed());
    QVERIFY(!chart->laterPressed());
    QCOMPARE(timeline->windowStart(), 0);

    wheel(chart, 120, chart->plotRect().center().toPoint());
    QCOMPARE(timeline->windowStart(), 1);
    wheel(chart, -120, chart->plotRect().center().toPoint());
    wheel(chart, -120, chart->plotRect().center().toPoint());
    QCOMPARE(timeline->windowStart(), 0);
    QVERIFY(!chart->earlierPressed());

    for (int i = 0; i < 20; ++i)
        wheel(chart, 120, chart->plotRect().center().toPoint());
    QCOMPARE(timeline->windowStart(), 10);
    QVERIFY(!chart->laterPossible());
    QVERIFY(!chart->laterPressed());
}

void TestFrameHystogram::observersAttachAndDetach()
{
    HystogramTimeline timeline;
    CountingObserver first;
    CountingObserver second;
    timeline.attach(&first);
    timeline.attach(&first);
    timeline.attach(&second);
    timeline.stepLater();
    QCOMPARE(first.calls, 1);
    QCOMPARE(second.calls, 1);
    QCOMPARE(first.last, static_cast<ISubject *>(&timeline));
    timeline.detach(&second);
    timeline.stepEarlier();
    QCOMPARE(first.calls, 2);
    QCOMPARE(second.calls, 1);
    // Painting tells the observers too: the chart follows whatever the strip shows.
    timeline.resize(200, 30);
    QVERIFY(!timeline.grab().isNull());
    QCOMPARE(first.calls, 3);
}

void TestFrameHystogram::paintsBarsAndStrip()
{
    // Two bursts of records an hour apart leave the middle of the strip empty.
    QVector<FrameHystogram::Sample> data = samples(100);
    for (int i = 0; i < 100; ++i)
        data.append({ kStart.addSecs(3600 + 10 * i), float(i % 9) });
    FrameHystogram frame;
    frame.resize(800, 400);
    frame.setLevels(kGreen, {});
    frame.setData(data);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));

    const QImage strip = frame.timeline()->grab().toImage();
    const int row = strip.height() / 2;
    QVERIFY2(isGreen(strip.pixel(strip.width() / 10, row)), "no bar at the first burst");
    QVERIFY2(isGreen(strip.pixel(strip.width() - 5, row)), "no bar at the second burst");
    QVERIFY2(!isGreen(strip.pixel(strip.width() / 2, row)), "a bar where there are no records");

    const QImage chart = frame.chart()->grab().toImage();
    const QRectF tallest = frame.chart()->barRect(19);
    QVERIFY2(isGreen(chart.pixel(tallest.center().toPoint())), "the tallest bar is not green");
    QVERIFY(!isGreen(chart.pixel(QPointF(tallest.center().x(), tallest.top() - 3).toPoint())));
}

void TestFrameHystogram::spanCountsRealSecondsAcrossClockChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("firstUtc");

    QTest::newRow("spring forward") << QByteArray("Europe/Berlin")
                                    << QDateTime(QDate(2026, 3, 29), QTime(0, 30), Qt::UTC)
                                           .toSecsSinceEpoch();
    QTest::newRow("fall back") << QByteArray("Europe/Berlin")
                               << QDateTime(QDate(2026, 10, 25), QTime(0, 30), Qt::UTC)
                                      .toSecsSinceEpoch();
    QTest::newRow("half-hour zone") << QByteArray("Australia/Lord_Howe")
                                    << QDateTime(QDate(2026, 4, 4), QTime(14, 30), Qt::UTC)
                                           .toSecsSinceEpoch();
}

// Records are local times; the strip must place them by real seconds, not by the wall clock.
void TestFrameHystogram::spanCountsRealSecondsAcrossClockChanges()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, firstUtc);

    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", zone);
    QVector<FrameHystogram::Sample> data;
    for (int i = 0; i < 720; ++i) // two hours around the change
        data.append({ QDateTime::fromSecsSinceEpoch(firstUtc + 10ll * i), 1.0f });
    FrameHystogram frame;
    frame.setData(data);
    const qint64 span = frame.timeline()->spanSeconds();
    if (oldZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldZone);
    QCOMPARE(span, 7190);
}

void TestFrameHystogram::valueLabels_data()
{
    QTest::addColumn<QVector<float>>("values"); // none: the chart was cleared
    QTest::addColumn<QString>("labels");
    QTest::newRow("nothing read") << QVector<float>() << "";
    QTest::newRow("all zero") << QVector<float> { 0, 0 } << "0";
    QTest::newRow("sensor readings") << QVector<float> { 0.5f, 0.56f } << "0 0.1 0.2 0.3 0.4 0.5 0.6 0.7";
    QTest::newRow("wide") << QVector<float> { 123456.7f, 2 } << "0 20000 40000 60000 80000 100000 120000 140000";
    QTest::newRow("largest float") << QVector<float> { std::numeric_limits<float>::max() }
                                   << "0 1e+38 2e+38 3e+38 4e+38";
}

void TestFrameHystogram::valueLabels()
{
    QFETCH(QVector<float>, values);
    FrameHystogram frame;
    QVector<FrameHystogram::Sample> data;
    for (int i = 0; i < values.size(); ++i)
        data.append({ kStart.addSecs(10 * i), values.at(i) });
    frame.setData(data);
    HystogramChart *chart = frame.chart();
    chart->resize(400, 330);
    // A chart with nothing to show says so instead of a column of zeros.
    QCOMPARE(chart->hint().isEmpty(), !values.isEmpty());
    const QStringList labels = chart->valueLabels();
    QTEST(labels.join(' '), "labels");
    const QFontMetrics metrics(chart->font());
    for (const QString &label : labels)
        QVERIFY2(metrics.horizontalAdvance(label) < chart->plotRect().left(), qPrintable(label));
    chart->grab();
}

void TestFrameHystogram::roundTicks_data()
{
    QTest::addColumn<double>("top");
    QTest::addColumn<int>("divisions");
    QTest::addColumn<QString>("ticks");
    QTest::newRow("tenths") << 0.616 << 8 << "0 0.1 0.2 0.3 0.4 0.5 0.6 0.7";
    QTest::newRow("fewer divisions, fifths") << 0.616 << 5 << "0 0.2 0.4 0.6 0.8";
    QTest::newRow("on a step") << 1.0 << 5 << "0 0.2 0.4 0.6 0.8 1";
    QTest::newRow("just above a step") << 1.0001 << 5 << "0 0.5 1 1.5";
    QTest::newRow("ones") << 4.4 << 6 << "0 1 2 3 4 5";
    QTest::newRow("thousands") << 135802.47 << 6 << "0 50000 100000 150000";
    QTest::newRow("ten-thousandths") << 0.0011 << 5 << "0 0.0005 0.001 0.0015";
    QTest::newRow("one division") << 7.0 << 1 << "0 10";
    QTest::newRow("zero") << 0.0 << 5 << "0";
    QTest::newRow("negative") << -3.0 << 5 << "0";
    QTest::newRow("not a number") << std::nan("") << 5 << "0";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 5 << "0";
}

void TestFrameHystogram::roundTicks()
{
    QFETCH(double, top);
    QFETCH(int, divisions);
    QStringList texts;
    for (double tick : ChartScale::roundTicks(top, divisions))
        texts.append(ChartScale::tickText(tick));
    QTEST(texts.join(' '), "ticks");
}

void TestFrameHystogram::timeTicks_data()
{
    QTest::addColumn<QDateTime>("first");
    QTest::addColumn<QDateTime>("last");
    QTest::addColumn<int>("room");
    QTest::addColumn<QString>("labels");
    const QDate day(2026, 11, 20);
    const auto at = [day](int h, int m, int s = 0) { return QDateTime(day, QTime(h, m, s)); };
    QTest::newRow("20 records, minutes") << at(8, 0, 5) << at(8, 3, 15) << 6 << "08:01|08:02|08:03";
    QTest::newRow("starting on a minute") << at(8, 0) << at(8, 1, 50) << 6 << "08:00|08:01";
    QTest::newRow("20 records, little room") << at(8, 0, 5) << at(8, 3, 15) << 2 << "08:02";
    QTest::newRow("within one minute: its minute") << at(8, 0, 10) << at(8, 0, 50) << 6 << "08:00";
    QTest::newRow("an hour, quarters") << at(8, 0) << at(9, 0) << 6 << "08:00|08:15|08:30|08:45|09:00";
    QTest::newRow("odd start") << at(8, 7, 30) << at(8, 51) << 4 << "08:15|08:30|08:45";
    QTest::newRow("two days, half days") << at(10, 0) << QDateTime(day.addDays(2), QTime(9, 0)) << 6
                                         << "20.11 12:00|21.11 00:00|21.11 12:00|22.11 00:00";
    QTest::newRow("two months, weeks doubled")
        << at(10, 0) << QDateTime(day.addDays(60), QTime(9, 0)) << 3 << "23.11 00:00|21.12 00:00|18.01 00:00";
    QTest::newRow("room for one, none inside") << at(8, 0) << at(11, 0) << 1 << "08:00";
}

void TestFrameHystogram::timeTicks()
{
    QFETCH(QDateTime, first);
    QFETCH(QDateTime, last);
    QFETCH(int, room);
    QStringList texts;
    for (const QDateTime &moment : ChartScale::timeTicks(first, last, room))
        texts.append(moment.toString(first.daysTo(last) > 0 ? QStringLiteral("dd.MM hh:mm") : QStringLiteral("hh:mm")));
    QTEST(texts.join('|'), "labels");
}

void TestFrameHystogram::timeLabels_data()
{
    QTest::addColumn<QVector<FrameHystogram::Sample>>("records");
    QTest::addColumn<QString>("labels");
    QTest::newRow("20 records") << samples(20) << "04.05.26 10:00|04.05.26 10:01|04.05.26 10:02|04.05.26 10:03";
    QVector<FrameHystogram::Sample> blocks = samples(10);
    for (const FrameHystogram::Sample &s : samples(10))
        blocks.append({ s.first.addSecs(7200), s.second });
    // The moments inside the two hours without records label nothing.
    QTest::newRow("two blocks") << blocks << "04.05.26 10:00|04.05.26 12:00";
    QTest::newRow("one record") << samples(1) << "04.05.26 10:00";
}

void TestFrameHystogram::timeLabels()
{
    QFETCH(QVector<FrameHystogram::Sample>, records);
    FrameHystogram frame;
    frame.setData(records);
    HystogramChart *chart = frame.chart();
    chart->resize(900, 300);
    QStringList texts;
    double lastX = -1;
    double lastRight = 0;
    const QFontMetrics metrics(chart->font());
    for (const HystogramChart::TimeLabel &label : chart->timeLabels()) {
        texts.append(label.text);
        QVERIFY2(label.x > lastX, qPrintable(label.text));
        QVERIFY(label.x >= chart->plotRect().left() && label.x <= chart->plotRect().right());
        // Whole, inside the chart, and clear of the label before.
        QVERIFY2(label.left >= lastRight, qPrintable(label.text));
        lastRight = label.left + metrics.horizontalAdvance(label.text);
        QVERIFY2(lastRight <= chart->width(), qPrintable(label.text));
        lastX = label.x;
    }
    QTEST(texts.join('|'), "labels");
    QVERIFY(!chart->grab().isNull());
}

QTEST_MAIN(TestFrameHystogram)
#include "tst_framehystogram.moc"
