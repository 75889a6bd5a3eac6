// QuenvaleSetup.exe: silent with /S, otherwise its window. The switches are read from
// the whole command line (split_command_line), so /D="C:\Folder\" keeps its last
// backslash instead of escaping the quote.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>

// The GDI+ headers use min and max unqualified; NOMINMAX removed the macros.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "platform/win32/wide.h"
#include "setup/command_line.h"
#include "setup/silent.h"
#include "setup/win32/window/window.h"

namespace {

// Per-monitor DPI (version 2) when the system has it; the manifest asks the same.
void declare_dpi_awareness() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    auto set = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (set) set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)) /* PER_MONITOR_AWARE_V2 */);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    declare_dpi_awareness();
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const setup::CommandLine command_line =
        setup::parse_command_line(setup::split_command_line(platform::win32::narrow(::GetCommandLineW())));
    int code = 0;
    if (command_line.silent) {
        code = setup::run_silent(command_line);
    } else {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        const bool gdiplus = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        code = setup_win32::run_window(command_line, show);
        if (gdiplus) Gdiplus::GdiplusShutdown(token);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return code;
}
