#pragma once

#include <QString>
#include <QtGlobal>

// Keeps a second copy of the program from starting for the same user: the lock is a file in the
// user's runtime folder, held for the life of the process. The platform's half (how a file is
// taken and held) is applicationlocker_<platform>.cpp.
class ApplicationLocker
{
public:
    ApplicationLocker() = default;
    ~ApplicationLocker();
    ApplicationLocker(const ApplicationLocker &) = delete;
    ApplicationLocker &operator=(const ApplicationLocker &) = delete;

    // Takes the lock on lockFilePath(); true means this instance may run.
    bool lock();
    // True means this instance may run: either the lock is ours or it could not be taken for a
    // reason other than another running instance (the program then runs unlocked). A file that
    // is a link, or is not this user's own, is never taken.
    bool lockFile(const QString &path);
    void unlock();
    // True while this object holds the lock.
    bool isLocked() const { return m_handle != kNoHandle; }

    // RuntimeFolder::path() + "/vdmrunonce.lock", with native separators; empty without a
    // runtime folder.
    static QString lockFilePath();

private:
    static constexpr qintptr kNoHandle = -1;
    qintptr m_handle = kNoHandle;
};
