#include "platform/file_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool lock_file_byte(const std::string& path, FileLock& lock) {
    lock = FileLock{};
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    int rc;
    do {
        rc = ::fcntl(fd, F_SETLKW, &fl);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    lock.fd = fd;
    lock.locked = true;
    return true;
}

void unlock_file_byte(FileLock& lock) {
    if (lock.fd >= 0) {
        if (lock.locked) {
            struct flock fl {};
            fl.l_type = F_UNLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = 0;
            fl.l_len = 1;
            ::fcntl(lock.fd, F_SETLK, &fl);
        }
        ::close(lock.fd);
    }
    lock = FileLock{};
}

}  // namespace platform
