#pragma once
// An exclusive lock on the first byte of a file, shared with other processes.
#include <string>

namespace platform {

struct FileLock {
#ifdef _WIN32
    void* handle = nullptr;  // open lock file (a HANDLE), null when none
#else
    int fd = -1;  // open lock file, -1 when none
#endif
    bool locked = false;
};

// Opens (creating) the file for reading and writing and waits until byte 0 is locked
// exclusively. When the file cannot be opened or locked the result is false and the
// lock holds nothing.
bool lock_file_byte(const std::string& path, FileLock& lock);
// Releases the byte and closes the file; safe on an empty lock.
void unlock_file_byte(FileLock& lock);

}  // namespace platform
