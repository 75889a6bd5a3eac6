#include "platform/replace.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

bool move_into_place(const std::string& from, const std::string& to, bool replace) {
    std::wstring wfrom = win32::widen_path(from), wto = win32::widen_path(to);
    if (wfrom.empty() || wto.empty()) return false;
    // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing target, which is
    // what publishing a new file needs.
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return ::MoveFileExW(wfrom.c_str(), wto.c_str(), flags) != 0;
}

}  // namespace platform
