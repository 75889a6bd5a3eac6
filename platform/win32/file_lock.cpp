#include "platform/file_lock.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

bool lock_file_byte(const std::string& path, FileLock& lock) {
    lock = FileLock{};
    std::wstring wpath = win32::widen_path(path);
    if (wpath.empty()) return false;
    // Others may open, write and delete the file: only the byte range is exclusive, as
    // with the POSIX record lock.
    HANDLE h = ::CreateFileW(wpath.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    OVERLAPPED at{};  // offset 0
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        ::CloseHandle(h);
        return false;
    }
    lock.handle = h;
    lock.locked = true;
    return true;
}

void unlock_file_byte(FileLock& lock) {
    if (lock.handle) {
        HANDLE h = static_cast<HANDLE>(lock.handle);
        if (lock.locked) {
            OVERLAPPED at{};
            ::UnlockFileEx(h, 0, 1, 0, &at);
        }
        ::CloseHandle(h);
    }
    lock = FileLock{};
}

}  // namespace platform
