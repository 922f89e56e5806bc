#pragma once

#include <QMetaType>
#include <QtGlobal>

// The visible window of a plotter: a range of point indices into the first series' vectors.
struct ShowBox
{
    qint64 first = 0;
    qint64 length = 0;

    bool operator==(const ShowBox &other) const
    {
        return first == other.first && length == other.length;
    }
    bool operator!=(const ShowBox &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(ShowBox)
