// What the fuzz targets share: Qt's messages silenced (bad input is meant to be reported, and
// millions of reports would bury libFuzzer's own lines) and one scratch folder a run, removed
// when the run ends.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

namespace fuzz {

inline void silenceQt()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

inline QString scratchPath(const QString &name = QString())
{
    static QTemporaryDir folder;
    return name.isEmpty() ? folder.path() : folder.filePath(name);
}

} // namespace fuzz
