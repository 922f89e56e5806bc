#include "update/versioncompare.h"

#include <QVector>

namespace {

// Empty result when the text has no parts or a part is not a plain decimal number.
QVector<quint64> versionParts(const QString &text)
{
    QVector<quint64> parts;
    const QStringList pieces = text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        const QString digits = piece.trimmed();
        bool ok = !digits.isEmpty();
        for (const QChar c : digits)
            ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const quint64 value = ok ? digits.toULongLong(&ok) : 0;
        if (!ok)
            return {};
        parts.append(value);
    }
    return parts;
}

} // namespace

bool varno::isVersionOlder(const QString &version, const QString &than)
{
    const QVector<quint64> a = versionParts(version);
    const QVector<quint64> b = versionParts(than);
    if (a.isEmpty() || a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i) != b.at(i))
            return a.at(i) < b.at(i);
    }
    return false;
}

bool varno::isVersionEqual(const QString &a, const QString &b)
{
    const QVector<quint64> pa = versionParts(a);
    return !pa.isEmpty() && pa == versionParts(b);
}

QString varno::newestVersion(const QStringList &versions)
{
    QString newest;
    for (const QString &v : versions) {
        if (versionParts(v).isEmpty())
            continue;
        if (newest.isEmpty() || isVersionOlder(newest, v))
            newest = v;
    }
    // Nothing readable: still show what the server said rather than nothing.
    return newest.isEmpty() ? versions.value(0) : newest;
}
