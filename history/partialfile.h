#pragma once

#include <QString>

#include <memory>

class QFileDevice;
class QTemporaryFile;

// A file that one of our processes is still writing, told apart from one a killed run left: the
// writer holds a lock on it that the system drops when the process ends, however it ends. The
// platform's half is partialfile_<platform>.cpp.
namespace PartialFile {

// Locks the open file for as long as it stays open. False when a cleaner holds it, or the file's
// name no longer leads to it (a cleaner removed it in between): the caller makes another.
bool hold(QFileDevice &file);

// Removes path unless a live process holds it. True when it was removed.
bool removeIfAbandoned(const QString &path);

// Called once the file is complete, before it is renamed: Windows cannot rename a file that is
// still open, and a QTemporaryFile lets go of its handle only when it is destroyed, so there the
// object goes; elsewhere it stays, and with it the lock, until the rename is done.
void letGo(std::unique_ptr<QTemporaryFile> &file);

} // namespace PartialFile
