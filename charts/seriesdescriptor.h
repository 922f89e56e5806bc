#pragma once

#include <QColor>
#include <QString>
#include <QVector>

// One curve of a plotter. The vectors belong to the caller, keep growing and must outlive the entry.
struct SeriesDescriptor
{
    QString name;
    const QVector<double> *x = nullptr;
    const QVector<double> *y = nullptr;
    QColor colour;
    int group = 0;
};
