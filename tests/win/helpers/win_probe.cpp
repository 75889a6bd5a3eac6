// The GUI tests' eyes and hands under Wine: starts a program with its own LOCALAPPDATA,
// finds top-level windows by class, reads window text, samples a window's pixels from
// the screen, sends commands and WM_CLOSE. Prints one line of key=value pairs.
//   win_probe start LOCALAPPDATA EXE          starts EXE (not waited for); prints pid
//   win_probe run LOCALAPPDATA EXE TIMEOUT_MS  starts EXE, waits; prints and exits with its code
//   win_probe wait CLASS TIMEOUT_MS            waits for a visible window; prints class, title, client size
//   win_probe count CLASS                      the number of top-level windows of CLASS
//   win_probe text CLASS ID                    the text of CLASS's child ID (0: the window's own)
//   win_probe command CLASS ID                 posts WM_COMMAND ID to the window
//   win_probe close CLASS                      posts WM_CLOSE
//   win_probe pixels CLASS CHILD_CLASS R G B   samples the child's screen pixels: how many
//                                              are within 3 of R G B, and how many colours
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

struct Found {
    std::wstring cls;
    std::vector<HWND> windows;
};

std::vector<HWND> windows_of(const std::wstring& cls) {
    Found f{cls, {}};
    EnumWindows(
        [](HWND w, LPARAM data) -> BOOL {
            auto* f = reinterpret_cast<Found*>(data);
            wchar_t name[256] = {};
            GetClassNameW(w, name, 256);
            if (f->cls == name) f->windows.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&f));
    return f.windows;
}

HWND first_visible(const std::wstring& cls) {
    for (HWND w : windows_of(cls))
        if (IsWindowVisible(w)) return w;
    return nullptr;
}

HWND wait_for(const std::wstring& cls, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = first_visible(cls)) return w;
        if (GetTickCount() - start >= timeout_ms) return nullptr;
        Sleep(100);
    }
}

std::wstring text_of(HWND w) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(w, buffer, 1024);
    return buffer;
}

bool start(const std::wstring& localappdata, const std::wstring& exe, PROCESS_INFORMATION& pi) {
    SetEnvironmentVariableW(L"LOCALAPPDATA", localappdata.c_str());
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    return CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
}

int fail(const char* what) {
    std::printf("error=%s\n", what);
    return 2;
}

int pixels(HWND top, const std::wstring& child_class, int r, int g, int b) {
    HWND child = FindWindowExW(top, nullptr, child_class.c_str(), nullptr);
    if (!child) return fail("no-child");
    RECT rc;
    GetWindowRect(child, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return fail("empty-child");
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    const auto* px = static_cast<const unsigned*>(bits);
    long matching = 0;
    std::set<unsigned> colours;
    for (long i = 0; i < static_cast<long>(w) * h; ++i) {
        const unsigned p = px[i] & 0xffffffu;
        const int pr = (p >> 16) & 0xff, pg = (p >> 8) & 0xff, pb = p & 0xff;
        if (std::abs(pr - r) <= 3 && std::abs(pg - g) <= 3 && std::abs(pb - b) <= 3) ++matching;
        colours.insert(p);
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("width=%d height=%d total=%ld matching=%ld colours=%zu\n", w, h, static_cast<long>(w) * h, matching,
                colours.size());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return fail("usage");
    const std::wstring verb = argv[1];
    if (verb == L"start" && argc >= 4) {
        PROCESS_INFORMATION pi{};
        if (!start(argv[2], argv[3], pi)) return fail("start");
        std::printf("pid=%lu\n", pi.dwProcessId);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return 0;
    }
    if (verb == L"run" && argc >= 5) {
        PROCESS_INFORMATION pi{};
        if (!start(argv[2], argv[3], pi)) return fail("start");
        const DWORD waited = WaitForSingleObject(pi.hProcess, static_cast<DWORD>(_wtoi(argv[4])));
        DWORD code = 259;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        if (waited != WAIT_OBJECT_0) return fail("still-running");
        std::printf("exit=%lu\n", code);
        return static_cast<int>(code);
    }
    const std::wstring cls = argv[2];
    if (verb == L"count") {
        std::printf("count=%zu\n", windows_of(cls).size());
        return 0;
    }
    if (verb == L"wait" && argc >= 4) {
        HWND w = wait_for(cls, static_cast<DWORD>(_wtoi(argv[3])));
        if (!w) return fail("no-window");
        wchar_t name[256] = {};
        GetClassNameW(w, name, 256);
        RECT rc;
        GetClientRect(w, &rc);
        std::printf("class=%s title=%s client=%ldx%ld\n", narrow(name).c_str(), narrow(text_of(w)).c_str(), rc.right,
                    rc.bottom);
        return 0;
    }
    HWND w = first_visible(cls);
    if (!w) return fail("no-window");
    if (verb == L"text" && argc >= 4) {
        const int id = _wtoi(argv[3]);
        HWND target = id == 0 ? w : GetDlgItem(w, id);
        if (!target) return fail("no-child");
        std::printf("text=%s\n", narrow(text_of(target)).c_str());
        return 0;
    }
    if (verb == L"command" && argc >= 4) {
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(_wtoi(argv[3]), BN_CLICKED), 0);
        return 0;
    }
    if (verb == L"close") {
        PostMessageW(w, WM_CLOSE, 0, 0);
        return 0;
    }
    if (verb == L"pixels" && argc >= 7) return pixels(w, argv[3], _wtoi(argv[4]), _wtoi(argv[5]), _wtoi(argv[6]));
    return fail("usage");
}
