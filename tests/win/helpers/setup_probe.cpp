// Test helper for scripts/win/setup-test.sh: starts QuenvaleSetup.exe with an exact
// command line, and reads and drives its window from outside, as a user would.
//   setup_probe run LINE            CreateProcessW(LINE) as given; exits with its code
//   setup_probe start LINE          the same without waiting
//   setup_probe window              waits for the window; prints title, folder, buttons
//   setup_probe click ID [COUNT] [close]
//                                   posts COUNT (1) BN_CLICKED of button ID at once, and
//                                   WM_CLOSE right behind them (handled during the work)
//   setup_probe install-clicks ID   posts two BN_CLICKED of ID at once, then one more as
//                                   soon as ID reads CLOSE (the late half of a double
//                                   click after a quick install); prints how soon
//   setup_probe point X Y           a left click at client point X, Y (96 DPI units),
//                                   returning once the window has handled it
//   setup_probe status TEXT         waits until the status line reads TEXT
//   setup_probe shot [FILE]         counts the window's pixels by colour; FILE gets them
//                                   as raw RGB rows (width, height on the "size" line)
//   setup_probe close               posts WM_CLOSE and waits for the window to go
//   setup_probe gone                waits until no setup window is left
// Waits are bounded (60 s); a timeout exits 3.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr DWORD WAIT_MS = 60000;

std::string narrow(const std::wstring& w) {
    if (w.empty()) return "";
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// WM_GETTEXT, not GetWindowTextW: across processes that returns only a window's caption,
// never an edit control's text.
std::wstring text_of(HWND h) {
    wchar_t buf[1024] = {};
    DWORD_PTR got = 0;
    if (!h || !::SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &got)) {
        return L"";
    }
    return buf;
}

HWND find_window() {
    for (DWORD waited = 0; waited < WAIT_MS; waited += 100) {
        // Shown, so its controls exist.
        HWND h = ::FindWindowW(L"OVQuenvaleSetupWnd", nullptr);
        if (h && ::IsWindowVisible(h) && ::GetDlgItem(h, 303)) return h;
        ::Sleep(100);
    }
    return nullptr;
}

int run(const std::wstring& line, bool wait) {
    std::wstring copy = line;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, copy.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("start failed: %lu\n", ::GetLastError());
        return 2;
    }
    ::CloseHandle(pi.hThread);
    DWORD code = 0;
    if (wait) {
        if (::WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
            std::printf("timeout\n");
            return 3;
        }
        ::GetExitCodeProcess(pi.hProcess, &code);
        std::printf("exit: %lu\n", code);
    }
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// The counts of a few of the window's colours, from its client area as drawn on screen.
int shot(HWND w, const wchar_t* file) {
    RECT rc{};
    ::GetClientRect(w, &rc);
    const int width = rc.right, height = rc.bottom;
    HDC dc = ::GetDC(w);
    HDC mem = ::CreateCompatibleDC(dc);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    const std::map<std::string, COLORREF> named = {{"background", RGB(6, 8, 14)}, {"panel", RGB(10, 14, 22)},
                                                   {"gold", RGB(212, 175, 55)}, {"line", RGB(36, 52, 72)}};
    std::map<std::string, long> counts;
    const auto* px = static_cast<const unsigned char*>(bits);
    for (long i = 0; i < static_cast<long>(width) * height; ++i) {
        const COLORREF c = RGB(px[i * 4 + 2], px[i * 4 + 1], px[i * 4]);
        for (const auto& [name, want] : named) {
            if (c == want) ++counts[name];
        }
    }
    if (file) {
        if (FILE* f = ::_wfopen(file, L"wb")) {
            for (long i = 0; i < static_cast<long>(width) * height; ++i) {
                const unsigned char rgb[3] = {px[i * 4 + 2], px[i * 4 + 1], px[i * 4]};
                std::fwrite(rgb, 1, 3, f);
            }
            std::fclose(f);
        }
    }
    std::printf("size: %d %d\n", width, height);
    for (const auto& [name, want] : named) std::printf("%s: %ld\n", name.c_str(), counts[name]);
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(w, dc);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    if (cmd == L"run" && argc == 3) return run(argv[2], true);
    if (cmd == L"start" && argc == 3) return run(argv[2], false);
    if (cmd == L"gone") {
        for (DWORD waited = 0; waited < WAIT_MS; waited += 100) {
            if (!::FindWindowW(L"OVQuenvaleSetupWnd", nullptr)) return 0;
            ::Sleep(100);
        }
        std::printf("still open\n");
        return 3;
    }
    HWND w = find_window();
    if (!w) {
        std::printf("no window\n");
        return 3;
    }
    if (cmd == L"window") {
        wchar_t cls[256] = {};
        ::GetClassNameW(w, cls, 256);
        std::printf("class: %s\ntitle: %s\n", narrow(cls).c_str(), narrow(text_of(w)).c_str());
        std::printf("folder: %s\n", narrow(text_of(::GetDlgItem(w, 301))).c_str());
        std::printf("browse: %s\n", narrow(text_of(::GetDlgItem(w, 302))).c_str());
        std::printf("action: %s\n", narrow(text_of(::GetDlgItem(w, 303))).c_str());
        std::printf("folder enabled: %d\n", ::IsWindowEnabled(::GetDlgItem(w, 301)) ? 1 : 0);
        return 0;
    }
    if (cmd == L"click" && argc >= 3) {
        const int id = _wtoi(argv[2]);
        const int count = argc > 3 ? _wtoi(argv[3]) : 1;
        for (int i = 0; i < count; ++i) {
            ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(w, id)));
        }
        if (argc > 4 && std::wstring(argv[4]) == L"close") ::PostMessageW(w, WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == L"install-clicks" && argc == 3) {
        const int id = _wtoi(argv[2]);
        HWND button = ::GetDlgItem(w, id);
        for (int i = 0; i < 2; ++i)
            ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        const DWORD started = ::GetTickCount();
        while (text_of(button) != L"CLOSE") {
            if (::GetTickCount() - started > WAIT_MS) return 3;
            ::Sleep(2);
        }
        const DWORD seen = ::GetTickCount();
        ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        std::printf("late click: %lu ms after CLOSE showed\n", ::GetTickCount() - seen);
        return 0;
    }
    if (cmd == L"point" && argc == 4) {
        const int x = _wtoi(argv[2]), y = _wtoi(argv[3]);
        // Sent, not posted: the probe returns once the window has handled the click, so
        // a click that did not arrive fails here rather than shows later as a wrong option.
        DWORD_PTR ignored = 0;
        if (!::SendMessageTimeoutW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000, &ignored) ||
            !::SendMessageTimeoutW(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000, &ignored)) {
            std::printf("click not handled: %lu\n", ::GetLastError());
            return 3;
        }
        return 0;
    }
    if (cmd == L"status" && argc == 3) {
        std::wstring last;
        for (DWORD waited = 0; waited < WAIT_MS; waited += 100) {
            last = text_of(::GetDlgItem(w, 304));
            if (last == argv[2]) {
                std::printf("status: %s\n", narrow(last).c_str());
                return 0;
            }
            ::Sleep(100);
        }
        std::printf("status stayed: %s\n", narrow(last).c_str());
        return 3;
    }
    if (cmd == L"shot") return shot(w, argc > 2 ? argv[2] : nullptr);
    if (cmd == L"close") {
        ::PostMessageW(w, WM_CLOSE, 0, 0);
        for (DWORD waited = 0; waited < WAIT_MS; waited += 100) {
            if (!::IsWindow(w)) return 0;
            ::Sleep(100);
        }
        std::printf("still open\n");
        return 3;
    }
    return 2;
}
