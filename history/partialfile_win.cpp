#include "history/partialfile.h"

#include <QFile>
#include <QFileDevice>
#include <QTemporaryFile>

// Windows needs no lock of its own: Qt opens files without FILE_SHARE_DELETE, so a file one of
// our processes holds open cannot be removed, and the system closes it when the process ends.

namespace PartialFile {

bool hold(QFileDevice &file)
{
    return file.isOpen();
}

bool removeIfAbandoned(const QString &path)
{
    return QFile::remove(path);
}

void letGo(std::unique_ptr<QTemporaryFile> &file)
{
    file.reset();
}

} // namespace PartialFile
