#include "charts/dgraphplotter.h"
#include "charts/graphlegendbox.h"
#include "charts/graphtimeline.h"
#include "charts/mainchart.h"
#include "charts/mainplotter.h"

#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>
#include <limits>
#include <memory>

namespace {
const QColor kRed(255, 0, 0);

QVector<double> counting(int n)
{
    QVector<double> v;
    for (int i = 0; i < n; ++i)
        v.append(i);
    return v;
}

void wheel(QWidget *widget, int delta)
{
    QWheelEvent event(QPointF(5, 5), QPointF(widget->mapToGlobal(QPoint(5, 5))), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

void mouse(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 180 && qGreen(pixel) < 110 && qBlue(pixel) < 110;
}

// Centre (as a share of the height) of the red pixels in one column, or -1 without any.
double redRowShare(const QImage &image, double columnShare)
{
    const int column = qBound(0, int(image.width() * columnShare), image.width() - 1);
    double sum = 0;
    int count = 0;
    for (int row = 0; row < image.height(); ++row) {
        if (isRed(image.pixel(column, row))) {
            sum += row;
            ++count;
        }
    }
    return count ? sum / count / image.height() : -1;
}

double redColumnShare(const QImage &image, double rowShare)
{
    const int row = qBound(0, int(image.height() * rowShare), image.height() - 1);
    double sum = 0;
    int count = 0;
    for (int column = 0; column < image.width(); ++column) {
        if (isRed(image.pixel(column, row))) {
            sum += column;
            ++count;
        }
    }
    return count ? sum / count / image.width() : -1;
}
}

class TestGraphPlotter : public QObject
{
    Q_OBJECT

private slots:
    void windowRules_data();
    void windowRules();
    void liveWindowFollowsNewestPoints();
    void wheel_data();
    void wheel();
    void pressAndDrag_data();
    void pressAndDrag();
    void curveRows_data();
    void curveRows();
    void zeroLine_data();
    void zeroLine();
    void rangesComeFromTheWindowOnly();
    void verticalOrientationDrawsAcross();
    void shorterSeriesAreNotReadPastTheirEnd();
    void groupsMakeChartAreas();
    void legendBoxSize_data();
    void legendBoxSize();
    void seriesDataCopiesTheWindow_data();
    void seriesDataCopiesTheWindow();
    void axisLabels_data();
    void axisLabels();
    void images();
    void layoutGivesTheChartsTheRoom_data();
    void layoutGivesTheChartsTheRoom();

private:
    std::unique_ptr<MainPlotter> makePlotter(int orientation = 0)
    {
        return std::unique_ptr<MainPlotter>(
            static_cast<MainPlotter *>(createGraphPlotter(orientation, 10, 5, nullptr)));
    }
    QImage chartImage(MainPlotter *plotter, int index = 0)
    {
        plotter->resize(640, 420);
        plotter->show();
        if (!QTest::qWaitForWindowExposed(plotter))
            return QImage();
        return plotter->charts().at(index)->grab().toImage();
    }
};

void TestGraphPlotter::windowRules_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("set");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("expectedFirst");
    QTest::addColumn<qint64>("expectedLength");

    const qint64 big = std::numeric_limits<qint64>::max();
    const qint64 small = std::numeric_limits<qint64>::min();
    QTest::newRow("30 points, default window") << 30 << false << 0ll << 0ll << 0ll << 30ll;
    QTest::newRow("200 points, default window") << 200 << false << 0ll << 0ll << 0ll << 50ll;
    QTest::newRow("no points") << 0 << true << 0ll << 50ll << 0ll << 0ll;
    QTest::newRow("one point") << 1 << true << 2147483647ll << 50ll << 0ll << 1ll;
    QTest::newRow("newest of 200") << 200 << true << 2147483647ll << 50ll << 150ll << 50ll;
    QTest::newRow("negative first") << 200 << true << -5ll << 10ll << 0ll << 10ll;
    QTest::newRow("length 0 becomes 2") << 200 << true << 10ll << 0ll << 10ll << 2ll;
    QTest::newRow("negative length becomes 2") << 200 << true << 10ll << -7ll << 10ll << 2ll;
    QTest::newRow("past the end moves back") << 200 << true << 195ll << 10ll << 190ll << 10ll;
    QTest::newRow("exactly at the end") << 200 << true << 190ll << 10ll << 190ll << 10ll;
    QTest::newRow("64-bit first") << 200 << true << big << 50ll << 150ll << 50ll;
    QTest::newRow("64-bit length") << 200 << true << big << big << 0ll << 200ll;
    QTest::newRow("most negative first") << 200 << true << small << 50ll << 0ll << 50ll;
}

void TestGraphPlotter::windowRules()
{
    QFETCH(int, points);
    QFETCH(bool, set);
    QFETCH(qint64, first);
    QFETCH(qint64, length);
    QFETCH(qint64, expectedFirst);
    QFETCH(qint64, expectedLength);

    auto plotter = makePlotter();
    const QVector<double> x = counting(points);
    const QVector<double> y = counting(points);
    plotter->addSeries(QStringLiteral("Left"), &x, &y, kRed, 0);
    if (set)
        plotter->setWindow(first, length);
    QCOMPARE(plotter->windowStart(), expectedFirst);
    QCOMPARE(plotter->windowLength(), expectedLength);
    QCOMPARE(plotter->charts().first()->showBox(), (ShowBox { expectedFirst, expectedLength }));
}

// The measurements panel appends a point and calls setWindow(2147483647, windowLength()) each
// time; the window must grow to its full length once there are enough points.
void TestGraphPlotter::liveWindowFollowsNewestPoints()
{
    auto plotter = makePlotter();
    QVector<double> x;
    QVector<double> y;
    plotter->addSeries(QStringLiteral("Left"), &x, &y, kRed, 0);
    QSignalSpy spy(plotter->timeline(), &GraphTimeline::showBoxChanged);
    for (int i = 0; i < 200; ++i) {
        x.append(i);
        y.append(i % 7);
        plotter->setWindow(2147483647, plotter->windowLength());
        if (i == 29) {
            QCOMPARE(plotter->windowStart(), 0);
            QCOMPARE(plotter->windowLength(), 30);
        }
    }
    QCOMPARE(plotter->windowStart(), 150);
    QCOMPARE(plotter->windowLength(), 50);
    QVERIFY2(!spy.isEmpty(), "the chart areas were never told about the window");
    QCOMPARE(spy.last().first().value<ShowBox>(), (ShowBox { 150, 50 }));
}

void TestGraphPlotter::wheel_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("delta");
    QTest::addColumn<qint64>("expectedFirst");
    QTest::addColumn<qint64>("expectedLength");

    QTest::newRow("up from 50") << 200 << 100ll << 50ll << 120 << 97ll << 56ll;
    QTest::newRow("down from 50") << 200 << 100ll << 50ll << -120 << 103ll << 45ll;
    QTest::newRow("down from 2 stays 2") << 200 << 100ll << 2ll << -120 << 100ll << 2ll;
    QTest::newRow("down from 3 gives 2") << 200 << 100ll << 3ll << -120 << 100ll << 2ll;
    QTest::newRow("up at the start") << 200 << 0ll << 50ll << 120 << 0ll << 56ll;
    QTest::newRow("up at the end") << 200 << 150ll << 50ll << 120 << 144ll << 56ll;
    QTest::newRow("up capped by the points") << 52 << 0ll << 50ll << 120 << 0ll << 52ll;
    QTest::newRow("up with all points shown") << 30 << 0ll << 50ll << 120 << 0ll << 30ll;
    QTest::newRow("no points") << 0 << 0ll << 50ll << 120 << 0ll << 0ll;
}

void TestGraphPlotter::wheel()
{
    QFETCH(int, points);
    QFETCH(qint64, first);
    QFETCH(qint64, length);
    QFETCH(int, delta);
    QFETCH(qint64, expectedFirst);
    QFETCH(qint64, expectedLength);

    auto plotter = makePlotter();
    const QVector<double> x = counting(points);
    plotter->addSeries(QStringLiteral("Left"), &x, &x, kRed, 0);
    plotter->setWindow(first, length);
    ::wheel(plotter->timeline(), delta);
    QCOMPARE(plotter->windowStart(), expectedFirst);
    QCOMPARE(plotter->windowLength(), expectedLength);
}

void TestGraphPlotter::pressAndDrag_data()
{
    QTest::addColumn<int>("pressX");
    QTest::addColumn<int>("moveX");
    QTest::addColumn<bool>("held");
    QTest::addColumn<qint64>("expectedFirst");

    // 101 points at x = 0..100 over a 200-pixel strip, window of 50.
    QTest::newRow("press at the middle") << 100 << -1 << false << 25ll;
    QTest::newRow("press at the start") << 0 << -1 << false << 0ll;
    QTest::newRow("press at the end") << 199 << -1 << false << 51ll;
    QTest::newRow("press left of the strip") << -30 << -1 << false << 0ll;
    QTest::newRow("drag to a quarter") << 100 << 50 << true << 0ll;
    QTest::newRow("drag to three quarters") << 0 << 150 << true << 50ll;
    QTest::newRow("move without a button") << 100 << 150 << false << 25ll;
}

void TestGraphPlotter::pressAndDrag()
{
    QFETCH(int, pressX);
    QFETCH(int, moveX);
    QFETCH(bool, held);
    QFETCH(qint64, expectedFirst);

    auto plotter = makePlotter();
    const QVector<double> x = counting(101);
    plotter->addSeries(QStringLiteral("Left"), &x, &x, kRed, 0);
    GraphTimeline *timeline = plotter->timeline();
    timeline->setParent(nullptr);
    timeline->resize(200, 25);
    mouse(timeline, QEvent::MouseButtonPress, QPoint(pressX, 5), Qt::LeftButton);
    if (moveX >= 0)
        mouse(timeline, QEvent::MouseMove, QPoint(moveX, 5), held ? Qt::LeftButton : Qt::NoButton);
    QCOMPARE(plotter->windowStart(), expectedFirst);
    QCOMPARE(plotter->windowLength(), 50);
    delete timeline;
}

void TestGraphPlotter::curveRows_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("column");
    QTest::addColumn<double>("expectedRow"); // share of the height from the top, -1: no curve

    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double huge = std::numeric_limits<double>::max();
    QTest::newRow("constant is drawn through the middle") << QVector<double> { 5, 5, 5, 5 } << 0.5
                                                          << 0.5;
    QTest::newRow("constant zero") << QVector<double> { 0, 0, 0 } << 0.3 << 0.5;
    // Curves are measured where they run flat: a steep line covers many rows of one column.
    QTest::newRow("rising steps, middle") << QVector<double> { 0, 0, 5, 5, 5, 10, 10 } << 0.5
                                          << 0.5;
    QTest::newRow("top stays off the frame") << QVector<double> { 0, 10, 10, 10, 0 } << 0.5
                                             << 0.5 / 11;
    QTest::newRow("bottom stays off the frame") << QVector<double> { 10, 0, 0, 0, 10 } << 0.5
                                                << 10.5 / 11;
    QTest::newRow("negative values") << QVector<double> { -10, -5, -5, -5, 10 } << 0.375
                                     << 1 - 6.0 / 22;
    QTest::newRow("a not-a-number point breaks the curve")
        << QVector<double> { 1, nan, 3 } << 0.5 << -1.0;
    QTest::newRow("infinite point is left out") << QVector<double> { 0, inf, 10 } << 0.1 << -1.0;
    QTest::newRow("limits of a double") << QVector<double> { -huge, 0, 0, 0, huge } << 0.5 << 0.5;
    QTest::newRow("largest 32-bit reading")
        << QVector<double> { 0, 2147483647.0, 2147483647.0, 2147483647.0, 0 } << 0.5 << 0.5 / 11;
    QTest::newRow("one point") << QVector<double> { 7 } << 0.5 << 0.5;
}

void TestGraphPlotter::curveRows()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, column);
    QFETCH(double, expectedRow);

    auto plotter = makePlotter();
    const QVector<double> x = counting(values.size());
    plotter->addSeries(QStringLiteral("Left"), &x, &values, kRed, 0);
    const QImage image = chartImage(plotter.get());
    QVERIFY(!image.isNull());
    const double row = redRowShare(image, column);
    if (expectedRow < 0) {
        QVERIFY2(row < 0, qPrintable(QStringLiteral("curve found at %1").arg(row)));
    } else {
        const double tolerance = 3.0 / image.height();
        QVERIFY2(std::abs(row - expectedRow) <= tolerance,
                 qPrintable(QStringLiteral("curve at %1, expected %2").arg(row).arg(expectedRow)));
    }
}

void TestGraphPlotter::zeroLine_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("zeroRow"); // -1: no zero line

    QTest::newRow("all positive") << QVector<double> { 1, 2 } << -1.0;
    QTest::newRow("crossing zero") << QVector<double> { -1, 1 } << 0.5;
    QTest::newRow("starting at zero: widened range includes it") << QVector<double> { 0, 10 }
                                                                  << 10.5 / 11;
    QTest::newRow("all negative") << QVector<double> { -4, -2 } << -1.0;
}

void TestGraphPlotter::zeroLine()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, zeroRow);

    auto plotter = makePlotter();
    // Two points at x = 9 and 10 keep the curve away from the left part of the area.
    const QVector<double> x { 9, 10 };
    const QVector<double> shifted { values.first(), values.last() };
    plotter->addSeries(QStringLiteral("Left"), &x, &shifted, kRed, 0);
    const QImage image = chartImage(plotter.get());
    QVERIFY(!image.isNull());
    const int column = image.width() / 4;
    int blackRow = -1;
    for (int row = 3; row < image.height() - 3; ++row) {
        const QRgb p = image.pixel(column, row);
        if (qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60)
            blackRow = row;
    }
    if (zeroRow < 0) {
        QCOMPARE(blackRow, -1);
    } else {
        QVERIFY2(blackRow >= 0, "no zero line");
        QVERIFY2(std::abs(double(blackRow) / image.height() - zeroRow) <= 3.0 / image.height(),
                 qPrintable(QStringLiteral("zero line at row %1 of %2").arg(blackRow).arg(image.height())));
    }
}

void TestGraphPlotter::rangesComeFromTheWindowOnly()
{
    auto plotter = makePlotter();
    QVector<double> x = counting(200);
    QVector<double> y(200, 1000.0);
    for (int i = 150; i < 200; ++i)
        y[i] = 3;
    plotter->addSeries(QStringLiteral("Left"), &x, &y, kRed, 0);
    plotter->setWindow(2147483647, 50);
    const QImage image = chartImage(plotter.get());
    QVERIFY(!image.isNull());
    QCOMPARE(plotter->charts().first()->valueRange().max, 3.0);
    QVERIFY(std::abs(redRowShare(image, 0.5) - 0.5) <= 3.0 / image.height());
}

void TestGraphPlotter::verticalOrientationDrawsAcross()
{
    auto plotter = makePlotter(1);
    const QVector<double> x = counting(20);
    const QVector<double> y(20, 4.0);
    plotter->addSeries(QStringLiteral("Left"), &x, &y, kRed, 0);
    QCOMPARE(plotter->series().first().x, &y);
    QCOMPARE(plotter->windowLength(), 20);
    const QImage image = chartImage(plotter.get());
    QVERIFY(!image.isNull());
    QVERIFY(std::abs(redColumnShare(image, 0.5) - 0.5) <= 3.0 / image.width());
}

void TestGraphPlotter::shorterSeriesAreNotReadPastTheirEnd()
{
    auto plotter = makePlotter();
    const QVector<double> x = counting(200);
    const QVector<double> shortX = counting(10);
    const QVector<double> shortY(7, 1.0); // y lags x as while a caller is appending
    plotter->addSeries(QStringLiteral("Left"), &x, &x, kRed, 0);
    plotter->addSeries(QStringLiteral("Right"), &shortX, &shortY, Qt::blue, 0);
    plotter->setWindow(2147483647, 50);
    QVector<double> outX;
    QVector<double> outY;
    plotter->seriesData(QStringLiteral("Right"), &outX, &outY);
    QVERIFY(outX.isEmpty());
    plotter->setWindow(0, 50);
    plotter->seriesData(QStringLiteral("Right"), &outX, &outY);
    QCOMPARE(outX.size(), 10);
    QCOMPARE(outY.size(), 7);
    QVERIFY(!chartImage(plotter.get()).isNull());
    QVERIFY(!plotter->windowImage(QSize(300, 200)).isNull());
}

void TestGraphPlotter::groupsMakeChartAreas()
{
    auto plotter = makePlotter();
    const QVector<double> x = counting(5);
    QCOMPARE(plotter->charts().size(), 0);
    plotter->addSeries(QStringLiteral("Left"), &x, &x, kRed, 0);
    plotter->addSeries(QStringLiteral("Right"), &x, &x, Qt::blue, 0);
    plotter->addSeries(QStringLiteral("Dose"), &x, &x, Qt::black, 3);
    QCOMPARE(plotter->charts().size(), 2);
    QCOMPARE(plotter->valueAxes().size(), 2);
    QCOMPARE(plotter->charts().at(0)->series().size(), 2);
    QCOMPARE(plotter->charts().at(1)->series().first().name, QStringLiteral("Dose"));

    QPointer<MainChart> doseArea = plotter->charts().at(1);
    plotter->removeSeries(QStringLiteral("dose")); // names compare case-sensitively
    plotter->removeSeries(QStringLiteral("Average"));
    QCOMPARE(plotter->series().size(), 3);
    plotter->removeSeries(QStringLiteral("Dose"));
    QCOMPARE(plotter->charts().size(), 1);
    QVERIFY2(doseArea.isNull(), "the emptied group's chart area was not deleted");
    QCOMPARE(plotter->charts().first()->series().size(), 2);

    // The window keeps working through the rebuilt areas.
    plotter->setWindow(1, 3);
    QCOMPARE(plotter->charts().first()->showBox(), (ShowBox { 1, 3 }));

    plotter->clear();
    QCOMPARE(plotter->charts().size(), 0);
    QCOMPARE(plotter->series().size(), 0);
    QCOMPARE(plotter->windowLength(), 0);
}

void TestGraphPlotter::legendBoxSize_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("across, one") << 0 << QStringList { QStringLiteral("Left") };
    QTest::newRow("across, widest wins")
        << 0 << QStringList { QStringLiteral("Left"), QStringLiteral("Aggregated dose") };
    QTest::newRow("down, three") << 1
                                 << QStringList { QStringLiteral("a"), QStringLiteral("b"),
                                                  QStringLiteral("c") };
}

void TestGraphPlotter::legendBoxSize()
{
    QFETCH(int, orientation);
    QFETCH(QStringList, names);

    auto plotter = makePlotter(orientation);
    const QVector<double> x = counting(3);
    int widest = 0;
    for (const QString &name : names) {
        plotter->addSeries(name, &x, &x, kRed, 0);
        widest = qMax(widest, QFontMetrics(plotter->font()).horizontalAdvance(name));
    }
    GraphLegendBox *box = plotter->legendBox();
    if (orientation == 0) {
        QCOMPARE(box->minimumWidth(), widest + 40);
        QCOMPARE(box->maximumWidth(), widest + 40);
    } else {
        QCOMPARE(box->minimumHeight(), 30 * names.size());
        QCOMPARE(box->maximumHeight(), 30 * names.size());
    }
}

void TestGraphPlotter::seriesDataCopiesTheWindow_data()
{
    QTest::addColumn<int>("orientation");
    QTest::newRow("across") << 0;
    QTest::newRow("down") << 1;
}

void TestGraphPlotter::seriesDataCopiesTheWindow()
{
    QFETCH(int, orientation);
    auto plotter = makePlotter(orientation);
    const QVector<double> x = counting(100);
    QVector<double> y;
    for (double v : x)
        y.append(v * 2);
    plotter->addSeries(QStringLiteral("Left"), &x, &y, kRed, 0);
    plotter->setWindow(90, 20);
    QVector<double> outX { 42 };
    QVector<double> outY;
    plotter->seriesData(QStringLiteral("Left"), &outX, &outY);
    QCOMPARE(outX, x.mid(80, 20));
    QCOMPARE(outY, y.mid(80, 20));
    plotter->seriesData(QStringLiteral("Missing"), &outX, &outY);
    QVERIFY(outX.isEmpty());
}

void TestGraphPlotter::axisLabels_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<QString>("firstLabel"); // empty: nothing drawn

    QTest::newRow("values with two decimals") << int(GraphLegend::ValueAxis) << 0.0 << 1.0
                                              << QString();
    QTest::newRow("empty value range") << int(GraphLegend::ValueAxis) << 5.0 << 5.0 << QString();
    QTest::newRow("time from the start time") << int(GraphLegend::TimeAxis) << 0.0 << 3600.0
                                              << QString();
    QTest::newRow("empty time range") << int(GraphLegend::TimeAxis) << 60.0 << 60.0 << QString();
    QTest::newRow("infinite range") << int(GraphLegend::ValueAxis) << 0.0
                                    << std::numeric_limits<double>::infinity() << QString();
}

void TestGraphPlotter::axisLabels()
{
    QFETCH(int, kind);
    QFETCH(double, min);
    QFETCH(double, max);

    GraphLegend axis(GraphLegend::Kind(kind), 0, kind == GraphLegend::TimeAxis ? 10 : 5);
    axis.resize(kind == GraphLegend::TimeAxis ? QSize(400, 45) : QSize(45, 300));
    axis.setStartTime(QDateTime(QDate(2026, 3, 1), QTime(12, 0, 0)));
    axis.setRange(min, max);
    const QStringList labels = axis.labels();
    const QImage image = axis.grab().toImage();
    QVERIFY(!image.isNull());
    if (!(max > min) || std::isinf(max)) {
        QVERIFY(labels.isEmpty());
        return;
    }
    QVERIFY(labels.size() >= 2);
    const double gapPx = axis.fontMetrics().height() + 3;
    const double extent = kind == GraphLegend::TimeAxis ? 400 : 300;
    QVERIFY2(labels.size() <= extent / gapPx, "labels would overlap");
    if (kind == GraphLegend::ValueAxis) {
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d$")).match(labels.first()).hasMatch());
    } else {
        QVERIFY2(labels.first().startsWith(QStringLiteral("12:0")), qPrintable(labels.first()));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(labels.last()).hasMatch());
    }
}

void TestGraphPlotter::images()
{
    auto plotter = makePlotter();
    QVector<double> x = counting(300);
    QVector<double> y(300, 0.0);
    for (int i = 0; i < 150; ++i)
        y[i] = 100;
    plotter->addSeries(QStringLiteral("Left"), &x, &y, kRed, 0);
    plotter->setWindow(2147483647, 50);
    const QImage window = plotter->windowImage(QSize(300, 200));
    const QImage full = plotter->fullImage(QSize(300, 200));
    QCOMPARE(window.size(), QSize(300, 200));
    QCOMPARE(full.size(), QSize(300, 200));
    // The window holds only the flat tail; the whole series shows the step at its middle.
    QVERIFY(std::abs(redRowShare(window, 0.5) - 0.5) <= 0.02);
    QVERIFY(redRowShare(full, 0.25) < 0.2);
    QCOMPARE(plotter->windowStart(), 250);
    QCOMPARE(plotter->charts().first()->showBox(), (ShowBox { 250, 50 }));
    plotter->resize(500, 300);
    QCOMPARE(plotter->plotterImage(QSize(250, 150)).size(), QSize(250, 150));
}

void TestGraphPlotter::layoutGivesTheChartsTheRoom_data()
{
    QTest::addColumn<int>("orientation");
    QTest::newRow("time across") << 0;
    QTest::newRow("time down") << 1;
}

void TestGraphPlotter::layoutGivesTheChartsTheRoom()
{
    QFETCH(int, orientation);
    auto plotter = makePlotter(orientation);
    const QVector<double> x = counting(100);
    plotter->addSeries(QStringLiteral("Left"), &x, &x, kRed, 0);
    plotter->addSeries(QStringLiteral("Dose"), &x, &x, Qt::blue, 1);
    plotter->resize(700, 500);
    plotter->show();
    QVERIFY(QTest::qWaitForWindowExposed(plotter.get()));
    const QList<MainChart *> areas = plotter->charts();
    QCOMPARE(areas.size(), 2);
    const bool across = orientation == 0;
    // The two areas share the value direction and each takes most of the time direction.
    for (MainChart *area : areas) {
        const int along = across ? area->width() : area->height();
        const int share = across ? area->height() : area->width();
        QVERIFY2(along > (across ? 700 : 500) / 2, qPrintable(QStringLiteral("%1").arg(along)));
        QVERIFY2(share > 100, qPrintable(QStringLiteral("%1").arg(share)));
    }
    const int strip = across ? plotter->timeline()->height() : plotter->timeline()->width();
    const int axis = across ? plotter->timeAxis()->height() : plotter->timeAxis()->width();
    QCOMPARE(strip, 25);
    QCOMPARE(axis, 45);
    for (GraphLegend *valueAxis : plotter->valueAxes())
        QCOMPARE(across ? valueAxis->width() : valueAxis->height(), 45);
    // The time axis and the strip run alongside the chart areas.
    const QRect chart = areas.first()->geometry();
    const QRect timeline = plotter->timeline()->geometry();
    if (across) {
        QCOMPARE(timeline.left(), chart.left());
        QCOMPARE(timeline.width(), chart.width());
    } else {
        QCOMPARE(timeline.top(), chart.top());
        QCOMPARE(timeline.height(), chart.height());
    }
}

QTEST_MAIN(TestGraphPlotter)
#include "tst_graphplotter.moc"
