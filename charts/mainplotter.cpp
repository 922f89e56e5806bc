#include "charts/mainplotter.h"

#include "charts/graphlegendbox.h"
#include "charts/graphtimeline.h"
#include "charts/mainchart.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QMap>
#include <QPainter>
#include <algorithm>

namespace {
constexpr int kSpacerPx = 10;
constexpr int kAxisMaxPx = 45;
constexpr int kTimelineMaxPx = 25;
constexpr int kLegendExtraWidthPx = 40;

// Spacers separate rows in orientation 0 and columns in orientation 1.
QFrame *makeSpacer(int orientation)
{
    auto *frame = new QFrame;
    if (orientation == 0)
        frame->setFixedHeight(kSpacerPx);
    else
        frame->setFixedWidth(kSpacerPx);
    return frame;
}
}

MainPlotter::MainPlotter(int orientation, int timeDivisions, int valueDivisions, QWidget *parent)
    : DGraphPlotter(parent)
    , m_orientation(orientation == 1 ? 1 : 0)
    , m_timeDivisions(timeDivisions)
    , m_valueDivisions(valueDivisions)
{
}

void MainPlotter::initialise()
{
    m_timeline = createTimeline();
    m_legendBox = createLegendBox(kLegendEntryHeightPx);
    m_timeAxis = createAxis(GraphLegend::TimeAxis);
    m_timeAxis->setStartTime(m_startTime);
    m_timeSpacer = makeSpacer(m_orientation);

    m_grid = new QWidget(this);
    m_gridLayout = new QGridLayout(m_grid);
    m_gridLayout->setContentsMargins(0, 0, 0, 0);
    m_gridLayout->setSpacing(0);

    QBoxLayout *outer = m_orientation == 0 ? static_cast<QBoxLayout *>(new QHBoxLayout(this))
                                           : static_cast<QBoxLayout *>(new QVBoxLayout(this));
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_grid, 1);
    outer->addWidget(m_legendBox);

    if (m_orientation == 0) {
        m_timeAxis->setMaximumHeight(kAxisMaxPx);
        m_timeline->setMaximumHeight(kTimelineMaxPx);
        m_timeline->setMinimumHeight(kTimelineMaxPx);
    } else {
        m_timeAxis->setMaximumWidth(kAxisMaxPx);
        m_timeline->setMaximumWidth(kTimelineMaxPx);
        m_timeline->setMinimumWidth(kTimelineMaxPx);
    }
    m_gridLayout->addWidget(m_timeAxis, 0, 0);
    m_gridLayout->addWidget(m_timeSpacer, 1, 0);
    m_gridLayout->addWidget(m_timeline, 2, 0);
    updateLegendBox();
    rebuild();
}

void MainPlotter::addSeries(const QString &name, const QVector<double> *x,
                            const QVector<double> *y, const QColor &colour, int group)
{
    SeriesDescriptor d;
    d.name = name;
    // Stored swapped in orientation 1 so that the time data always runs along the time axis.
    d.x = m_orientation == 0 ? x : y;
    d.y = m_orientation == 0 ? y : x;
    d.colour = colour;
    d.group = group;
    m_series.append(d);
    updateLegendBox();
    rebuild();
    update();
}

void MainPlotter::removeSeries(const QString &name)
{
    const auto it = std::find_if(m_series.begin(), m_series.end(),
                                 [&name](const SeriesDescriptor &d) { return d.name == name; });
    if (it == m_series.end())
        return;
    m_series.erase(it);
    updateLegendBox();
    rebuild();
    update();
}

void MainPlotter::seriesData(const QString &name, QVector<double> *x, QVector<double> *y) const
{
    const auto it = std::find_if(m_series.cbegin(), m_series.cend(),
                                 [&name](const SeriesDescriptor &d) { return d.name == name; });
    QVector<double> *outX = m_orientation == 0 ? x : y;
    QVector<double> *outY = m_orientation == 0 ? y : x;
    if (outX)
        outX->clear();
    if (outY)
        outY->clear();
    if (it == m_series.cend() || !it->x || !it->y)
        return;
    const qint64 first = windowStart();
    const qint64 length = windowLength();
    const auto copy = [first, length](const QVector<double> &from, QVector<double> *to) {
        if (!to)
            return;
        const qint64 end = first > from.size() - length ? from.size() : first + length;
        for (qint64 i = first; i < end; ++i)
            to->append(from.at(i));
    };
    copy(*it->x, outX);
    copy(*it->y, outY);
}

void MainPlotter::clear()
{
    m_series.clear();
    updateLegendBox();
    rebuild();
    update();
}

void MainPlotter::update()
{
    QWidget::update();
    if (m_timeline)
        m_timeline->refresh();
    for (MainChart *chart : charts())
        chart->update();
    for (GraphLegend *axis : valueAxes())
        axis->update();
    if (m_timeAxis)
        m_timeAxis->update();
    if (m_legendBox)
        m_legendBox->update();
}

void MainPlotter::setWindow(qint64 first, qint64 length)
{
    m_timeline->setWindow(first, length);
}

qint64 MainPlotter::windowStart() const
{
    return m_timeline->windowStart();
}

qint64 MainPlotter::windowLength() const
{
    return m_timeline->windowLength();
}

void MainPlotter::setStartTime(const QDateTime &start)
{
    m_startTime = start;
    if (m_timeAxis)
        m_timeAxis->setStartTime(start);
}

void MainPlotter::clearStartTime()
{
    m_startTime = QDateTime();
    if (m_timeAxis)
        m_timeAxis->clearStartTime();
}

QList<MainChart *> MainPlotter::charts() const
{
    QList<MainChart *> result;
    for (const QPointer<MainChart> &chart : m_charts) {
        if (chart)
            result.append(chart);
    }
    return result;
}

QList<GraphLegend *> MainPlotter::valueAxes() const
{
    QList<GraphLegend *> result;
    for (const QPointer<GraphLegend> &axis : m_valueAxes) {
        if (axis)
            result.append(axis);
    }
    return result;
}

void MainPlotter::updateLegendBox()
{
    if (!m_legendBox)
        return;
    m_legendBox->setSeries(m_series);
    if (m_orientation == 0) {
        const QFontMetrics fm(font());
        int widest = 0;
        for (const SeriesDescriptor &d : qAsConst(m_series))
            widest = qMax(widest, fm.horizontalAdvance(d.name));
        m_legendBox->setFixedWidth(widest + kLegendExtraWidthPx);
    } else {
        m_legendBox->setFixedHeight(m_legendBox->entryHeight() * m_series.size());
    }
}

void MainPlotter::clearLayout()
{
    for (const QPointer<QWidget> &widget : qAsConst(m_groupWidgets)) {
        if (!widget)
            continue;
        disconnect(m_timeline, nullptr, widget, nullptr);
        disconnect(widget, nullptr, this, nullptr);
        disconnect(widget, nullptr, m_timeAxis, nullptr);
        m_gridLayout->removeWidget(widget);
        delete widget;
    }
    m_groupWidgets.clear();
    m_charts.clear();
    m_valueAxes.clear();
}

void MainPlotter::rebuild()
{
    if (!m_gridLayout)
        return;
    clearLayout();
    m_gridLayout->removeWidget(m_timeAxis);
    m_gridLayout->removeWidget(m_timeSpacer);
    m_gridLayout->removeWidget(m_timeline);
    for (int i = 0; i < m_gridLayout->rowCount(); ++i)
        m_gridLayout->setRowStretch(i, 0);
    for (int i = 0; i < m_gridLayout->columnCount(); ++i)
        m_gridLayout->setColumnStretch(i, 0);

    QMap<int, QList<SeriesDescriptor>> groups;
    for (const SeriesDescriptor &d : qAsConst(m_series))
        groups[d.group].append(d);

    m_timeline->setTimeData(m_series.isEmpty()
                                ? nullptr
                                : (m_orientation == 0 ? m_series.first().x : m_series.first().y));
    m_timeAxis->setRange(0, 0);

    int line = 0;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        QFrame *spacer = makeSpacer(m_orientation);
        GraphLegend *axis = createAxis(GraphLegend::ValueAxis);
        MainChart *chart = createChart();
        if (m_orientation == 0) {
            axis->setMaximumWidth(kAxisMaxPx);
            axis->setMinimumWidth(kAxisMaxPx);
            m_gridLayout->addWidget(spacer, line, 1);
            m_gridLayout->addWidget(axis, line + 1, 0);
            m_gridLayout->addWidget(chart, line + 1, 1);
            m_gridLayout->setRowStretch(line + 1, 1);
        } else {
            axis->setMaximumHeight(kAxisMaxPx);
            axis->setMinimumHeight(kAxisMaxPx);
            m_gridLayout->addWidget(spacer, 0, line + 1);
            m_gridLayout->addWidget(chart, 0, line + 2);
            m_gridLayout->addWidget(axis, 1, line + 2);
            m_gridLayout->setColumnStretch(line + 2, 1);
        }
        line += 2;
        connect(chart, &MainChart::rangesChanged, axis, &GraphLegend::setChartRanges);
        if (it == groups.cbegin())
            connect(chart, &MainChart::rangesChanged, m_timeAxis, &GraphLegend::setChartRanges);
        connect(m_timeline, &GraphTimeline::showBoxChanged, chart, &MainChart::onShowBoxChanged);
        chart->setSeries(it.value());
        chart->onShowBoxChanged(m_timeline->showBox());
        m_groupWidgets << spacer << axis << chart;
        m_charts.append(chart);
        m_valueAxes.append(axis);
    }

    if (m_orientation == 0) {
        m_timeAxis->setMinimumHeight(kAxisMaxPx);
        m_gridLayout->addWidget(m_timeAxis, line, 1);
        m_gridLayout->addWidget(m_timeSpacer, line + 1, 1);
        m_gridLayout->addWidget(m_timeline, line + 2, 1);
        m_gridLayout->setColumnStretch(1, 1);
        if (groups.isEmpty())
            m_gridLayout->setRowStretch(0, 1);
    } else {
        m_timeAxis->setMinimumWidth(kAxisMaxPx);
        m_gridLayout->addWidget(m_timeAxis, 0, 0);
        m_gridLayout->addWidget(m_timeSpacer, 0, line + 1);
        m_gridLayout->addWidget(m_timeline, 0, line + 2);
        m_gridLayout->setRowStretch(0, 1);
        if (groups.isEmpty())
            m_gridLayout->setColumnStretch(1, 1);
    }
}

QImage MainPlotter::chartsImage(const QSize &size, bool wholeSeries)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    const QList<MainChart *> areas = charts();
    if (areas.isEmpty() || size.isEmpty())
        return image;
    QPainter painter(&image);
    const double share = (m_orientation == 0 ? size.height() : size.width())
        / static_cast<double>(areas.size());
    for (int i = 0; i < areas.size(); ++i) {
        MainChart *chart = areas.at(i);
        const QRectF area = m_orientation == 0 ? QRectF(0, i * share, size.width(), share)
                                               : QRectF(i * share, 0, share, size.height());
        const ShowBox shown = chart->showBox();
        if (wholeSeries)
            chart->onShowBoxChanged(ShowBox { 0, m_timeline->pointCount() });
        else
            chart->recomputeRanges();
        chart->paintChart(painter, area);
        if (wholeSeries)
            chart->onShowBoxChanged(shown);
    }
    return image;
}

QImage MainPlotter::windowImage(const QSize &size)
{
    return chartsImage(size, false);
}

QImage MainPlotter::fullImage(const QSize &size)
{
    return chartsImage(size, true);
}

QImage MainPlotter::plotterImage(const QSize &size)
{
    const QImage whole = grab().toImage();
    if (size.isEmpty() || whole.isNull())
        return QImage();
    return whole.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
