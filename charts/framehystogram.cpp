#include "charts/framehystogram.h"

#include "charts/hystogramchart.h"
#include "charts/hystogramtimeline.h"
#include "ui_framehystogram.h"

#include <QVBoxLayout>

#include <limits>

namespace {
void fill(QWidget *frame, QWidget *child)
{
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
}

HystogramPoints placeholder()
{
    HystogramPoint point;
    point.time = QDateTime::currentDateTime();
    point.value = 0;
    point.colour = qRgb(0x00, 0xAA, 0x00);
    return { point };
}
}

FrameHystogram::FrameHystogram(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::FrameHystogram)
{
    m_ui->setupUi(this);
    m_chart = new HystogramChart(m_ui->chartFrame);
    m_timeline = new HystogramTimeline(m_ui->timelineFrame);
    fill(m_ui->chartFrame, m_chart);
    fill(m_ui->timelineFrame, m_timeline);
    m_chart->attach(this);
    m_timeline->attach(this);
    clear();
}

FrameHystogram::~FrameHystogram()
{
    m_chart->detach(this);
    m_timeline->detach(this);
    delete m_ui;
}

void FrameHystogram::setLevels(QRgb defaultColour, const QVector<Level> &levels)
{
    m_defaultColour = defaultColour;
    m_levels = levels;
    passToTimeline();
}

void FrameHystogram::setData(const QVector<Sample> &data)
{
    QVector<qint64> msecs(data.size());
    QVector<float> values(data.size());
    for (int i = 0; i < data.size(); ++i) {
        msecs[i] = data.at(i).first.isValid() ? data.at(i).first.toMSecsSinceEpoch()
                                              : std::numeric_limits<qint64>::min();
        values[i] = data.at(i).second;
    }
    setData(msecs, values);
}

void FrameHystogram::setData(const QVector<qint64> &msecs, const QVector<float> &values)
{
    m_msecs = msecs;
    m_values = values;
    if (m_values.size() != m_msecs.size())
        m_values.resize(m_msecs.size());
    passToTimeline();
}

void FrameHystogram::clear()
{
    m_msecs.clear();
    m_values.clear();
    m_chart->setHint(tr("No records to show"));
    HystogramPoints points = placeholder();
    points.first().colour = m_defaultColour;
    m_timeline->setData(points);
}

QRgb FrameHystogram::colourOf(float value) const
{
    const Level *best = nullptr;
    for (const Level &level : m_levels) {
        if (level.first <= value && (!best || level.first > best->first))
            best = &level;
    }
    return best ? best->second : m_defaultColour;
}

void FrameHystogram::passToTimeline()
{
    // A read that yields no records keeps the placeholder bar instead of an empty chart.
    if (m_msecs.isEmpty()) {
        clear();
        return;
    }
    m_chart->setHint(QString());
    // Bars are coloured as they are drawn; the levels are copied so the strip needs no frame.
    const QVector<Level> levels = m_levels;
    const QRgb fallback = m_defaultColour;
    m_timeline->setSeries(m_msecs, m_values, [levels, fallback](float value) {
        const Level *best = nullptr;
        for (const Level &level : levels) {
            if (level.first <= value && (!best || level.first > best->first))
                best = &level;
        }
        return best ? best->second : fallback;
    });
}

void FrameHystogram::update(ISubject *subject)
{
    if (subject == m_timeline) {
        m_chart->setData(m_timeline->visiblePoints());
        m_chart->update(m_timeline->canGoEarlier(), m_timeline->canGoLater());
    } else if (subject == m_chart) {
        if (m_chart->earlierPressed())
            m_timeline->stepEarlier();
        if (m_chart->laterPressed())
            m_timeline->stepLater();
    }
}
