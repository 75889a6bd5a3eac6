#include "shell/gtk/single_instance.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "platform/process.h"
#include "platform/window.h"

namespace gtk_shell {

namespace {

constexpr int POLL_MS = 100;

// The instance string is a folder path: its hash names the files, so any path fits.
std::string instance_word(const std::string& instance) {
    const core::Bytes digest = core::sha256(instance);
    return core::to_hex(digest.data(), 8);
}

// A later copy: asks the first to show its window.
void ask_first_to_show(const InstanceLock& lock) {
    core::write_file_atomic(lock.request_path, std::to_string(platform::process_id()) + "\n");
    // When the first copy's window is already up this is quicker than its next tick.
    platform::raise_window_by_class(PROGRAM_NAME);
}

}  // namespace

bool claim_instance(const std::string& data_folder, const std::string& instance, InstanceLock& lock,
                    std::string& error) {
    const std::string base = data_folder + "/instance-" + instance_word(instance);
    lock.lock_path = base + ".lock";
    lock.request_path = base + ".show";
    core::make_dirs(data_folder);
    lock.fd = ::open(lock.lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock.fd < 0) {
        error = "error: cannot open " + lock.lock_path + ": " + std::strerror(errno);
        return true;
    }
    // Non-blocking: the first copy holds it for its whole life; the kernel lets go when
    // the process ends however it ends.
    while (::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const bool held = errno == EWOULDBLOCK;
        if (!held) error = std::string("error: cannot lock ") + lock.lock_path + ": " + std::strerror(errno);
        ::close(lock.fd);
        lock.fd = -1;
        return !held;
    }
    return true;
}

bool await_first_copy(const std::string& data_folder, const std::string& instance, InstanceLock& lock,
                      int wait_ms) {
    ask_first_to_show(lock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
        // A running first copy takes the request on its tick; an ending one never does
        // (its X11 window may linger unmapped, so a raise proves nothing).
        if (!core::file_exists(lock.request_path)) return false;
        std::string error;
        if (claim_instance(data_folder, instance, lock, error) && lock.fd >= 0) {
            // The request was for the copy that ended; this one shows anyway.
            take_show_request(lock);
            return true;
        }
    }
    return false;
}

bool take_show_request(const InstanceLock& lock) {
    if (lock.request_path.empty() || !core::file_exists(lock.request_path)) return false;
    core::remove_file(lock.request_path);
    return true;
}

}  // namespace gtk_shell
