#pragma once
// One running copy per instance (the executable's folder): an flock on a lock file in the
// data folder decides who is first, with or without a session bus and also when two
// copies start in the same instant. A later start leaves a show request file beside the
// lock, raises the first copy's X11 window when it can, and exits; the first copy takes
// the request on its next tick and presents its window. A first copy that is ending takes
// no requests: the later start waits for its lock and runs in its place.
#include <string>

namespace gtk_shell {

// The program's X11 class name (GTK takes WM_CLASS from the program name).
inline constexpr const char* PROGRAM_NAME = "quenvale";

struct InstanceLock {
    int fd = -1;               // held for the life of the process once first
    std::string lock_path;
    std::string request_path;  // a later start's show request
};

// True when this process is the first copy for instance; it then keeps the lock until it
// ends. A lock file that cannot be opened lets this copy run (error says why): a folder
// we cannot write must not keep the program from starting.
bool claim_instance(const std::string& data_folder, const std::string& instance, InstanceLock& lock,
                    std::string& error);
// A later copy, after claim_instance said no: asks the first copy to show, then waits up
// to wait_ms until that copy has taken the request or has ended. True when it ended and
// this copy now holds the lock and should run.
bool await_first_copy(const std::string& data_folder, const std::string& instance, InstanceLock& lock,
                      int wait_ms);
// The first copy: true once for each request waiting (the request is removed).
bool take_show_request(const InstanceLock& lock);

}  // namespace gtk_shell
