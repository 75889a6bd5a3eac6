// The GUI tests' eyes and hands under Wine: starts a program with its own LOCALAPPDATA,
// finds top-level windows by class, reads window text, samples a window's pixels from
// the screen, sends commands and WM_CLOSE. Prints one line of key=value pairs.
//   win_probe start LOCALAPPDATA EXE          starts EXE (not waited for); prints pid
//   win_probe run LOCALAPPDATA EXE TIMEOUT_MS  starts EXE, waits; prints and exits with its code
//   win_probe wait CLASS TIMEOUT_MS            waits for a visible window; prints class, title,
//                                              client size, window rectangle, maximised and
//                                              the client area's screen origin
//   win_probe count CLASS                      the number of visible top-level windows of
//                                              CLASS (Wine lists a destroyed window for a
//                                              moment longer, hidden)
//   win_probe text CLASS ID                    the text of CLASS's child ID (0: the window's own)
//   win_probe command CLASS ID                 posts WM_COMMAND ID to the window
//   win_probe close CLASS                      posts WM_CLOSE
//   win_probe click CLASS CHILD X Y            posts a left button press and release at X, Y
//                                              of a descendant (class name or #ID)
//   win_probe icon EXE ID                      loads icon ID from EXE's resources as the
//                                              system does; prints its size (0x0: none)
//   win_probe close-wait CLASS TIMEOUT_MS       posts WM_CLOSE and waits for the window's
//                                              process to end; prints and exits with its code
//   win_probe hold MUTEX MS                    owns the named mutex MS milliseconds (a copy
//                                              that is ending); prints "held" once it owns it
//   win_probe shot CLASS FILE.bmp              writes the window's screen pixels as a BMP
//   win_probe pixels CLASS CHILD R G B         samples a descendant's screen pixels (CHILD
//                                              a class name, or #ID): how many are within 3
//                                              of R G B, and how many colours
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

// The window's pixels as the screen shows them (top-down, 0x00RRGGBB).
std::vector<unsigned> capture(HWND window, int& w, int& h) {
    RECT rc;
    GetWindowRect(window, &rc);
    w = rc.right - rc.left;
    h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return {};
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
    const auto* first = static_cast<const unsigned*>(bits);
    std::vector<unsigned> out(first, first + static_cast<std::size_t>(w) * h);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
}

int shot(HWND window, const std::wstring& path) {
    int w = 0, h = 0;
    const std::vector<unsigned> px = capture(window, w, h);
    if (px.empty()) return fail("empty-window");
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = w;
    info.biHeight = -h;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    const DWORD bytes = static_cast<DWORD>(px.size() * 4);
    file.bfType = 0x4d42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + bytes;
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return fail("write");
    DWORD written = 0;
    WriteFile(out, &file, sizeof(file), &written, nullptr);
    WriteFile(out, &info, sizeof(info), &written, nullptr);
    WriteFile(out, px.data(), bytes, &written, nullptr);
    CloseHandle(out);
    std::printf("width=%d height=%d\n", w, h);
    return 0;
}

// A descendant of top by control id ("#ID") or by class.
HWND descendant(HWND top, const std::wstring& which) {
    struct Search {
        std::wstring which;
        HWND found = nullptr;
    } search{which, nullptr};
    EnumChildWindows(
        top,
        [](HWND w, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (s->which.size() > 1 && s->which[0] == L'#') {
                if (GetDlgCtrlID(w) == _wtoi(s->which.c_str() + 1)) s->found = w;
            } else {
                wchar_t name[256] = {};
                GetClassNameW(w, name, 256);
                if (s->which == name) s->found = w;
            }
            return s->found ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int pixels(HWND top, const std::wstring& child_class, int r, int g, int b) {
    HWND child = descendant(top, child_class);
    if (!child) return fail("no-child");
    int w = 0, h = 0;
    const std::vector<unsigned> px = capture(child, w, h);
    if (px.empty()) return fail("empty-child");
    long matching = 0;
    std::set<unsigned> colours;
    for (long i = 0; i < static_cast<long>(w) * h; ++i) {
        const unsigned p = px[i] & 0xffffffu;
        const int pr = (p >> 16) & 0xff, pg = (p >> 8) & 0xff, pb = p & 0xff;
        if (std::abs(pr - r) <= 3 && std::abs(pg - g) <= 3 && std::abs(pb - b) <= 3) ++matching;
        colours.insert(p);
    }
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
    if (verb == L"hold" && argc >= 4) {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, argv[2]);
        if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return fail("mutex");
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(_wtoi(argv[3])));
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return 0;
    }
    if (verb == L"icon" && argc >= 4) {
        HMODULE exe = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (!exe) return fail("load");
        HANDLE icon = LoadImageW(exe, MAKEINTRESOURCEW(_wtoi(argv[3])), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR);
        ICONINFO info{};
        BITMAP bitmap{};
        if (icon && GetIconInfo(static_cast<HICON>(icon), &info)) {
            GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
        }
        std::printf("icon=%ldx%ld\n", bitmap.bmWidth, bitmap.bmHeight);
        return 0;
    }
    const std::wstring cls = argv[2];
    if (verb == L"count") {
        std::size_t visible = 0;
        for (HWND w : windows_of(cls))
            if (IsWindowVisible(w)) ++visible;
        std::printf("count=%zu\n", visible);
        return 0;
    }
    if (verb == L"wait" && argc >= 4) {
        HWND w = wait_for(cls, static_cast<DWORD>(_wtoi(argv[3])));
        if (!w) return fail("no-window");
        wchar_t name[256] = {};
        GetClassNameW(w, name, 256);
        RECT rc, wr;
        GetClientRect(w, &rc);
        GetWindowRect(w, &wr);
        POINT origin{0, 0};
        ClientToScreen(w, &origin);
        std::printf("class=%s title=%s client=%ldx%ld rect=%ld,%ld,%ld,%ld maximised=%d origin=%ld,%ld\n",
                    narrow(name).c_str(), narrow(text_of(w)).c_str(), rc.right, rc.bottom, wr.left, wr.top, wr.right,
                    wr.bottom, IsZoomed(w) ? 1 : 0, origin.x, origin.y);
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
    if (verb == L"close-wait" && argc >= 4) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!process) return fail("open-process");
        PostMessageW(w, WM_CLOSE, 0, 0);
        const DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(_wtoi(argv[3])));
        DWORD code = 259;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        if (waited != WAIT_OBJECT_0) return fail("still-running");
        std::printf("exit=%lu\n", code);
        return static_cast<int>(code);
    }
    if (verb == L"click" && argc >= 6) {
        HWND target = descendant(w, argv[3]);
        if (!target) return fail("no-child");
        const LPARAM at = MAKELPARAM(_wtoi(argv[4]), _wtoi(argv[5]));
        PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(target, WM_LBUTTONUP, 0, at);
        return 0;
    }
    if (verb == L"close") {
        PostMessageW(w, WM_CLOSE, 0, 0);
        return 0;
    }
    if (verb == L"shot" && argc >= 4) return shot(w, argv[3]);
    if (verb == L"pixels" && argc >= 7) return pixels(w, argv[3], _wtoi(argv[4]), _wtoi(argv[5]), _wtoi(argv[6]));
    return fail("usage");
}
