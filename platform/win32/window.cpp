#include "platform/window.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

bool raise_window_by_class(const std::string& window_class) {
    std::wstring cls = win32::widen(window_class);
    if (cls.empty()) return false;
    HWND hwnd = ::FindWindowW(cls.c_str(), nullptr);
    if (!hwnd) return false;
    if (::IsIconic(hwnd)) ::ShowWindow(hwnd, SW_RESTORE);
    else ::ShowWindow(hwnd, SW_SHOW);
    // Windows may refuse the foreground to a program the user is not using; the window
    // is shown and flashes in the task bar then, which still counts as found.
    ::SetForegroundWindow(hwnd);
    return true;
}

}  // namespace platform
