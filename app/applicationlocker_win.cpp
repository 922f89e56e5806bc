#include "app/applicationlocker.h"

#include "link/logging.h"

#include <QDir>

#include <windows.h>

// The lock is the file held open with share mode 0: a second instance cannot open it
// (ERROR_SHARING_VIOLATION), and Windows lets go of it when the process ends, however it ends.
// The folder is the user's own (RuntimeFolder); a link planted there is opened as itself, not
// followed, and refused.
ApplicationLocker::~ApplicationLocker()
{
    unlock();
}

bool ApplicationLocker::lockFile(const QString &path)
{
    unlock();
    if (path.isEmpty()) {
        VLOG << "Running without the single-instance lock: no runtime folder";
        return true;
    }
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE file = CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION)
            return false;
        VLOG << "Running without the single-instance lock, " << path << ": error " << error;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        CloseHandle(file);
        VLOG << "Running without the single-instance lock, " << path << " is not ours: not a plain file";
        return true;
    }
    m_handle = reinterpret_cast<qintptr>(file);
    return true;
}

void ApplicationLocker::unlock()
{
    if (m_handle == kNoHandle)
        return;
    // Closing the handle releases the lock; the file stays for the next start.
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = kNoHandle;
}
