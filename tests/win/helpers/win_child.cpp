// A child program for the Windows seam tests, started through platform::start_program.
//   win_child args OUT ARG...   writes its arguments as a JSON array to OUT
//   win_child lock PATH OUT     takes the byte lock on PATH, writes "locked" to OUT,
//                               holds the lock for a moment and exits
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/files.h"
#include "core/json.h"
#include "platform/file_lock.h"
#include "platform/win32/wide.h"

int main() {
    // The wide command line: the narrow argv is in the ANSI code page.
    int argc = 0;
    wchar_t** wargv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!wargv) return 2;
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(platform::win32::narrow(wargv[i]));
    ::LocalFree(wargv);
    if (args.size() >= 3 && args[1] == "args") {
        core::Json list = core::Json::array();
        for (std::size_t i = 3; i < args.size(); ++i) list.push_back(args[i]);
        return core::write_file_atomic(args[2], list.dump()) ? 0 : 1;
    }
    if (args.size() == 4 && args[1] == "lock") {
        platform::FileLock lock;
        if (!platform::lock_file_byte(args[2], lock)) return 1;
        bool ok = core::write_file_atomic(args[3], "locked");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        platform::unlock_file_byte(lock);
        return ok ? 0 : 1;
    }
    return 2;
}
