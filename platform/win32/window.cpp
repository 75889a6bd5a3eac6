#include "platform/window.h"

#include <windows.h>

#include "platform/win32/wide.h"
#include "platform/win32/window.h"

namespace platform {

namespace {

void raise(HWND hwnd) {
    if (::IsIconic(hwnd)) ::ShowWindow(hwnd, SW_RESTORE);
    else ::ShowWindow(hwnd, SW_SHOW);
    // Windows may refuse the foreground to a program the user is not using; the window
    // is shown and flashes in the task bar then, which still counts as found.
    ::SetForegroundWindow(hwnd);
}

}  // namespace

bool raise_window_by_class(const std::string& window_class) {
    std::wstring cls = win32::widen(window_class);
    if (cls.empty()) return false;
    HWND hwnd = ::FindWindowW(cls.c_str(), nullptr);
    if (!hwnd) return false;
    raise(hwnd);
    return true;
}

namespace win32 {

bool raise_shown_window_by_class(const std::string& window_class) {
    const std::wstring cls = widen(window_class);
    if (cls.empty()) return false;
    // Bounded: a class has few windows, but the walk must end whatever the system lists.
    HWND hwnd = nullptr;
    for (int i = 0; i < 256; ++i) {
        hwnd = ::FindWindowExW(nullptr, hwnd, cls.c_str(), nullptr);
        if (!hwnd) return false;
        if (::IsWindowVisible(hwnd)) {
            raise(hwnd);
            return true;
        }
    }
    return false;
}

}  // namespace win32

}  // namespace platform
