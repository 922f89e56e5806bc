#pragma once

#include <QString>

#include <memory>

// Keeps a second copy of the program from starting: the lock lives in a file in the temporary
// folder and is held for the life of the process.
class ApplicationLocker
{
public:
    virtual ~ApplicationLocker() = default;

    // Takes the lock on lockFilePath(); true means this instance may run.
    bool lock();
    // True means this instance may run: either the lock is ours or it could not be taken for a
    // reason other than another running instance (the program then runs unlocked).
    virtual bool lockFile(const QString &path) = 0;
    virtual void unlock() = 0;
    // True while this object holds the lock.
    virtual bool isLocked() const = 0;

    // QDir::tempPath() + "/vdmrunonce.lock", with native separators; empty without a temporary folder.
    static QString lockFilePath();
};

// Stands in for the Windows exclusive-open lock with an exclusive flock() on the same file. The
// kernel drops the lock when the process ends, so a file left by a crash is simply reused.
class ApplicationLockerUnix : public ApplicationLocker
{
public:
    ApplicationLockerUnix() = default;
    ~ApplicationLockerUnix() override;
    ApplicationLockerUnix(const ApplicationLockerUnix &) = delete;
    ApplicationLockerUnix &operator=(const ApplicationLockerUnix &) = delete;

    bool lockFile(const QString &path) override;
    void unlock() override;
    bool isLocked() const override { return m_fd >= 0; }

private:
    int m_fd = -1;
};

namespace varno {
// The lock of the platform we are built for.
std::unique_ptr<ApplicationLocker> createApplicationLocker();
}
