// A stand-in for the installed WebView2 runtime, for tests only. It exports the runtime
// DLL's entry point (and the loader DLL's, for a copy named WebView2Loader.dll) and
// implements environment, controller, web view, settings and message arguments on the
// interfaces of shell/win32/webview2.h. It shows no page; it records what the program
// asks of it and plays a script of page messages.
//
// Environment variables, read at each environment creation:
//   QUENVALE_FAKE_WEBVIEW_LOG     file that gets one UTF-8 line per call (appended)
//   QUENVALE_FAKE_WEBVIEW_SCRIPT  file played after Navigate, one step per line:
//       a JSON text           delivered to the page-message handlers unchanged
//       !await TEXT           wait (up to 20 s) until a posted reply contains TEXT
//       !wait MS              pause
//       !resize W H           resize the parent window (outer size)
//       !dpi N                send the parent WM_DPICHANGED for N dots per inch, with its
//                             current window rectangle scaled by N / its present DPI
//       (both then log the parent's client size and DPI: "script client W H DPI")
//       # …                   comment; empty lines are skipped
//   QUENVALE_FAKE_WEBVIEW_FAIL    comma-separated faults: call (the entry point fails at
//       once), environment, environment-null, controller (reported to the handlers),
//       webview3 (no ICoreWebView2_3), settings (get_Settings fails)
// Completions and script steps run on the thread that created the environment, from
// its message loop, as the real runtime's do.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "shell/win32/webview2.h"

using namespace win32_shell;

namespace {

std::wstring env_text(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = ::GetEnvironmentVariableW(name, buf, 4096);
    if (n == 0 || n >= 4096) return L"";
    return std::wstring(buf, n);
}

std::string utf8(const std::wstring& w) {
    if (w.empty()) return "";
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring utf16(const std::string& s) {
    if (s.empty()) return L"";
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

// The settings of the environment being made; kept for the objects made from it.
struct Config {
    std::wstring log_path;
    std::wstring script_path;
    std::wstring faults;
    bool fault(const wchar_t* name) const {
        std::wstring list = L"," + faults + L",";
        return list.find(L"," + std::wstring(name) + L",") != std::wstring::npos;
    }
};

void log_line(const Config& config, const std::string& line) {
    if (config.log_path.empty()) return;
    HANDLE file = ::CreateFileW(config.log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = line + "\n";
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string rect_text(const RECT& r) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%ld %ld %ld %ld", static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right), static_cast<long>(r.bottom));
    return buf;
}

// --- tasks on the creating thread, through a message-only window ---------------------

const UINT WM_FAKE_TASK = WM_APP + 1;
std::map<UINT_PTR, std::function<void()>> g_timers;  // one UI thread
UINT_PTR g_next_timer = 1;
HWND g_task_window = nullptr;

LRESULT CALLBACK task_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_FAKE_TASK) {
        auto* task = reinterpret_cast<std::function<void()>*>(lp);
        (*task)();
        delete task;
        return 0;
    }
    if (msg == WM_TIMER) {
        ::KillTimer(hwnd, wp);
        auto it = g_timers.find(wp);
        if (it != g_timers.end()) {
            auto task = std::move(it->second);
            g_timers.erase(it);
            task();
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

HWND task_window() {
    // A window of this thread: each test runs its room on a thread of its own.
    if (g_task_window && ::IsWindow(g_task_window) &&
        ::GetWindowThreadProcessId(g_task_window, nullptr) == ::GetCurrentThreadId())
        return g_task_window;
    g_timers.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = task_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuenvaleFakeWebViewTasks";
    ::RegisterClassW(&wc);
    g_task_window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                      nullptr);
    return g_task_window;
}

void later(std::function<void()> task, UINT delay_ms = 0) {
    HWND w = task_window();
    if (delay_ms == 0) {
        ::PostMessageW(w, WM_FAKE_TASK, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(task))));
        return;
    }
    UINT_PTR id = g_next_timer++;
    g_timers[id] = std::move(task);
    ::SetTimer(w, id, delay_ms, nullptr);
}

// --- objects -------------------------------------------------------------------------

template <typename Interface>
class Unknown : public Interface {
public:
    virtual ~Unknown() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    HRESULT answer(REFIID iid, void** out, std::initializer_list<const IID*> ids) {
        if (!out) return E_POINTER;
        for (const IID* id : ids) {
            if (iid == *id) {
                *out = static_cast<Interface*>(this);
                this->AddRef();
                return S_OK;
            }
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

private:
    std::atomic<ULONG> refs_{1};
};

// Methods the program never calls.
#define NOT_USED \
    override { return E_NOTIMPL; }

class FakeSettings final : public Unknown<ICoreWebView2Settings> {
public:
    explicit FakeSettings(Config config) : config_(std::move(config)) {}
    ~FakeSettings() override { log_line(config_, "released settings"); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, out, {&IID_IUnknown, &IID_ICoreWebView2Settings});
    }
#define FAKE_SETTING(Name, initial)                                                             \
    BOOL Name##_ = initial;                                                                     \
    HRESULT STDMETHODCALLTYPE get_##Name(BOOL* v) override {                                    \
        if (!v) return E_POINTER;                                                               \
        *v = Name##_;                                                                           \
        return S_OK;                                                                            \
    }                                                                                           \
    HRESULT STDMETHODCALLTYPE put_##Name(BOOL v) override {                                     \
        Name##_ = v;                                                                            \
        log_line(config_, std::string("setting ") + #Name + (v ? " 1" : " 0"));                 \
        return S_OK;                                                                            \
    }
    FAKE_SETTING(IsScriptEnabled, TRUE)
    FAKE_SETTING(IsWebMessageEnabled, TRUE)
    FAKE_SETTING(AreDefaultScriptDialogsEnabled, TRUE)
    FAKE_SETTING(IsStatusBarEnabled, TRUE)
    FAKE_SETTING(AreDevToolsEnabled, TRUE)
    FAKE_SETTING(AreDefaultContextMenusEnabled, TRUE)
    FAKE_SETTING(AreHostObjectsAllowed, TRUE)
    FAKE_SETTING(IsZoomControlEnabled, TRUE)
    FAKE_SETTING(IsBuiltInErrorPageEnabled, TRUE)
#undef FAKE_SETTING

private:
    Config config_;
};

class FakeMessageArgs final : public Unknown<ICoreWebView2WebMessageReceivedEventArgs> {
public:
    FakeMessageArgs(std::wstring source, std::wstring json) : source_(std::move(source)), json_(std::move(json)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, out, {&IID_IUnknown, &IID_ICoreWebView2WebMessageReceivedEventArgs});
    }
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* out) override { return copy(source_, out); }
    HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* out) override { return copy(json_, out); }
    HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* out) override {
        if (out) *out = nullptr;
        return E_INVALIDARG;
    }

private:
    // The caller frees with CoTaskMemFree, as with the real runtime's strings.
    static HRESULT copy(const std::wstring& text, LPWSTR* out) {
        if (!out) return E_POINTER;
        std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        auto* p = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
        if (!p) return E_OUTOFMEMORY;
        std::memcpy(p, text.c_str(), bytes);
        *out = p;
        return S_OK;
    }
    std::wstring source_, json_;
};

class FakeWebView final : public Unknown<ICoreWebView2_3> {
public:
    FakeWebView(Config config, HWND parent) : config_(std::move(config)), parent_(parent) {}
    ~FakeWebView() override {
        for (auto& [token, handler] : handlers_) handler->Release();
        if (settings_) settings_->Release();
        log_line(config_, "released web view");
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (config_.fault(L"webview3")) return answer(iid, out, {&IID_IUnknown, &IID_ICoreWebView2});
        return answer(iid, out, {&IID_IUnknown, &IID_ICoreWebView2, &IID_ICoreWebView2_2, &IID_ICoreWebView2_3});
    }

    HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        log_line(config_, "get_Settings");
        if (config_.fault(L"settings")) return E_FAIL;
        if (!settings_) settings_ = new FakeSettings(config_);
        settings_->AddRef();
        *out = settings_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR*) NOT_USED
    HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
        if (!uri) return E_INVALIDARG;
        source_ = uri;
        log_line(config_, "navigate " + utf8(uri));
        if (!script_started_) {
            script_started_ = true;
            load_script();
            AddRef();  // held while the script runs
            later([this] { step(); }, 50);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
        if (!json) return E_INVALIDARG;
        std::string text = utf8(json);
        log_line(config_, "post " + text);
        replies_.push_back(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                     EventRegistrationToken* token) override {
        if (!handler || !token) return E_POINTER;
        handler->AddRef();
        token->value = next_token_++;
        handlers_[token->value] = handler;
        log_line(config_, "add_WebMessageReceived");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override {
        auto it = handlers_.find(token.value);
        if (it == handlers_.end()) return S_OK;
        it->second->Release();
        handlers_.erase(it);
        log_line(config_, "remove_WebMessageReceived");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(LPCWSTR host, LPCWSTR folder,
                                                                COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND kind) override {
        if (!host || !folder) return E_INVALIDARG;
        log_line(config_, "map " + utf8(host) + " " + std::to_string(static_cast<int>(kind)) + " " + utf8(folder));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR) NOT_USED
    HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_ContentLoading(ICoreWebView2ContentLoadingEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_SourceChanged(ICoreWebView2SourceChangedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_HistoryChanged(ICoreWebView2HistoryChangedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(ICoreWebView2ScriptDialogOpeningEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(LPCWSTR, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*) NOT_USED
    HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR) NOT_USED
    HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR, ICoreWebView2ExecuteScriptCompletedHandler*) NOT_USED
    HRESULT STDMETHODCALLTYPE CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*, ICoreWebView2CapturePreviewCompletedHandler*) NOT_USED
    HRESULT STDMETHODCALLTYPE Reload() NOT_USED
    HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR) NOT_USED
    HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(LPCWSTR, LPCWSTR, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*) NOT_USED
    HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32*) NOT_USED
    HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL*) NOT_USED
    HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL*) NOT_USED
    HRESULT STDMETHODCALLTYPE GoBack() NOT_USED
    HRESULT STDMETHODCALLTYPE GoForward() NOT_USED
    HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**) NOT_USED
    HRESULT STDMETHODCALLTYPE Stop() NOT_USED
    HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR*) NOT_USED
    HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR, VARIANT*) NOT_USED
    HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR) NOT_USED
    HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() NOT_USED
    HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(ICoreWebView2ContainsFullScreenElementChangedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_ContainsFullScreenElementChanged(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL*) NOT_USED
    HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT) NOT_USED
    HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT) NOT_USED
    HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(ICoreWebView2WindowCloseRequestedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_WebResourceResponseReceived(ICoreWebView2WebResourceResponseReceivedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_WebResourceResponseReceived(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE NavigateWithWebResourceRequest(ICoreWebView2WebResourceRequest*) NOT_USED
    HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_DOMContentLoaded(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE get_CookieManager(ICoreWebView2CookieManager**) NOT_USED
    HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment**) NOT_USED
    HRESULT STDMETHODCALLTYPE TrySuspend(ICoreWebView2TrySuspendCompletedHandler*) NOT_USED
    HRESULT STDMETHODCALLTYPE Resume() NOT_USED
    HRESULT STDMETHODCALLTYPE get_IsSuspended(BOOL*) NOT_USED
    HRESULT STDMETHODCALLTYPE ClearVirtualHostNameToFolderMapping(LPCWSTR) NOT_USED

private:
    void load_script() {
        if (config_.script_path.empty()) return;
        HANDLE file = ::CreateFileW(config_.script_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            log_line(config_, "script missing");
            return;
        }
        std::string text;
        char buf[4096];
        DWORD got = 0;
        while (text.size() < (1u << 20) && ::ReadFile(file, buf, sizeof buf, &got, nullptr) && got > 0)
            text.append(buf, got);
        ::CloseHandle(file);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty() && line[0] != '#') script_.push_back(line);
            start = end + 1;
        }
    }

    bool replied_with(const std::string& needle) const {
        for (const auto& r : replies_)
            if (r.find(needle) != std::string::npos) return true;
        return false;
    }

    // One script step per call; the last one drops the reference Navigate took.
    void step() {
        if (next_ >= script_.size()) {
            log_line(config_, "script done");
            Release();
            return;
        }
        const std::string& line = script_[next_];
        if (line.rfind("!await ", 0) == 0) {
            std::string needle = line.substr(7);
            if (!replied_with(needle)) {
                if (await_since_ == 0) await_since_ = ::GetTickCount64();
                if (::GetTickCount64() - await_since_ < 20000) {
                    later([this] { step(); }, 50);
                    return;
                }
                log_line(config_, "script await timed out " + needle);
            }
            await_since_ = 0;
            ++next_;
            later([this] { step(); }, 20);
            return;
        }
        ++next_;
        UINT delay = 50;
        if (line.rfind("!wait ", 0) == 0) {
            delay = static_cast<UINT>(std::strtoul(line.c_str() + 6, nullptr, 10));
        } else if (line.rfind("!resize ", 0) == 0) {
            long w = 0, h = 0;
            std::sscanf(line.c_str() + 8, "%ld %ld", &w, &h);
            log_line(config_, "script resize " + std::to_string(w) + " " + std::to_string(h));
            ::SetWindowPos(parent_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            log_client();
        } else if (line.rfind("!dpi ", 0) == 0) {
            UINT dpi = static_cast<UINT>(std::strtoul(line.c_str() + 5, nullptr, 10));
            UINT now = ::GetDpiForWindow(parent_);
            if (now == 0) now = 96;
            RECT r{};
            ::GetWindowRect(parent_, &r);
            r.right = r.left + MulDiv(r.right - r.left, static_cast<int>(dpi), static_cast<int>(now));
            r.bottom = r.top + MulDiv(r.bottom - r.top, static_cast<int>(dpi), static_cast<int>(now));
            log_line(config_, "script dpi " + std::to_string(dpi) + " " + rect_text(r));
            ::SendMessageW(parent_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
            log_client();
        } else if (!line.empty() && line[0] == '!') {
            log_line(config_, "script unknown " + line);
        } else {
            deliver(line);
        }
        later([this] { step(); }, delay);
    }

    // The parent's client size and DPI after a script step changed them: what its layout
    // works from.
    void log_client() {
        RECT c{};
        ::GetClientRect(parent_, &c);
        log_line(config_, "script client " + std::to_string(c.right - c.left) + " " + std::to_string(c.bottom - c.top) +
                              " " + std::to_string(::GetDpiForWindow(parent_)));
    }

    void deliver(const std::string& json) {
        log_line(config_, "deliver " + json);
        // Handlers may be added or removed while one runs: walk a copy, holding each.
        std::vector<ICoreWebView2WebMessageReceivedEventHandler*> targets;
        for (auto& [token, handler] : handlers_) {
            handler->AddRef();
            targets.push_back(handler);
        }
        for (auto* handler : targets) {
            auto* args = new FakeMessageArgs(source_, utf16(json));
            handler->Invoke(this, args);
            args->Release();
            handler->Release();
        }
    }

    Config config_;
    HWND parent_;
    FakeSettings* settings_ = nullptr;
    std::map<INT64, ICoreWebView2WebMessageReceivedEventHandler*> handlers_;
    INT64 next_token_ = 1;
    std::wstring source_;
    std::vector<std::string> script_;
    std::size_t next_ = 0;
    ULONGLONG await_since_ = 0;
    std::vector<std::string> replies_;
    bool script_started_ = false;
};

class FakeController final : public Unknown<ICoreWebView2Controller> {
public:
    FakeController(Config config, HWND parent)
        : config_(std::move(config)), parent_(parent), web_view_(new FakeWebView(config_, parent)) {}
    ~FakeController() override {
        web_view_->Release();
        log_line(config_, "released controller");
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, out, {&IID_IUnknown, &IID_ICoreWebView2Controller});
    }
    HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* v) override {
        if (!v) return E_POINTER;
        *v = visible_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL v) override {
        visible_ = v;
        log_line(config_, std::string("put_IsVisible ") + (v ? "1" : "0"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Bounds(RECT* r) override {
        if (!r) return E_POINTER;
        *r = bounds_;
        log_line(config_, "get_Bounds " + rect_text(bounds_));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Bounds(RECT r) override {
        bounds_ = r;
        log_line(config_, "put_Bounds " + rect_text(r));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = parent_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** out) override {
        if (!out) return E_POINTER;
        web_view_->AddRef();
        *out = web_view_;
        log_line(config_, "get_CoreWebView2");
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_ZoomFactor(double*) NOT_USED
    HRESULT STDMETHODCALLTYPE put_ZoomFactor(double) NOT_USED
    HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT, double) NOT_USED
    HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) NOT_USED
    HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken) NOT_USED
    HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND) NOT_USED
    HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() NOT_USED
    HRESULT STDMETHODCALLTYPE Close() NOT_USED

private:
    Config config_;
    HWND parent_;
    FakeWebView* web_view_;
    BOOL visible_ = FALSE;
    RECT bounds_{};
};

class FakeEnvironment final : public Unknown<ICoreWebView2Environment> {
public:
    explicit FakeEnvironment(Config config) : config_(std::move(config)) {}
    ~FakeEnvironment() override { log_line(config_, "released environment"); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, out, {&IID_IUnknown, &IID_ICoreWebView2Environment});
    }
    HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
        if (!handler) return E_POINTER;
        log_line(config_, std::string("create controller ") + (::IsWindow(parent) ? "window" : "no-window"));
        handler->AddRef();
        AddRef();
        later([this, parent, handler] {
            if (config_.fault(L"controller")) {
                handler->Invoke(E_FAIL, nullptr);
            } else {
                auto* controller = new FakeController(config_, parent);
                handler->Invoke(S_OK, controller);
                controller->Release();
            }
            handler->Release();
            Release();
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream*, int, LPCWSTR, LPCWSTR, ICoreWebView2WebResourceResponse**) NOT_USED
    HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR*) NOT_USED
    HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(ICoreWebView2NewBrowserVersionAvailableEventHandler*, EventRegistrationToken*) NOT_USED
    HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken) NOT_USED

private:
    Config config_;
};

HRESULT create_environment(const Config& config,
                           ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    if (!handler) return E_POINTER;
    if (config.fault(L"call")) return E_FAIL;
    handler->AddRef();
    later([config, handler] {
        if (config.fault(L"environment")) {
            handler->Invoke(E_FAIL, nullptr);
        } else if (config.fault(L"environment-null")) {
            handler->Invoke(S_OK, nullptr);
        } else {
            auto* environment = new FakeEnvironment(config);
            handler->Invoke(S_OK, environment);
            environment->Release();
        }
        handler->Release();
    });
    return S_OK;
}

}  // namespace

// The installed runtime's entry point.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool always_true, int runtime_type, PCWSTR user_data_folder, IUnknown* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    Config config{env_text(L"QUENVALE_FAKE_WEBVIEW_LOG"), env_text(L"QUENVALE_FAKE_WEBVIEW_SCRIPT"),
                  env_text(L"QUENVALE_FAKE_WEBVIEW_FAIL")};
    log_line(config, std::string("environment ") + (always_true ? "1" : "0") + " " + std::to_string(runtime_type) +
                         " " + (options ? "options" : "no-options") + " " +
                         (user_data_folder ? utf8(user_data_folder) : std::string("<null>")));
    return create_environment(config, handler);
}

// The loader DLL's export, so that a copy named WebView2Loader.dll beside a program
// stands in for the published loader.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browser_folder, PCWSTR user_data_folder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    Config config{env_text(L"QUENVALE_FAKE_WEBVIEW_LOG"), env_text(L"QUENVALE_FAKE_WEBVIEW_SCRIPT"),
                  env_text(L"QUENVALE_FAKE_WEBVIEW_FAIL")};
    log_line(config, std::string("loader environment ") + (browser_folder ? utf8(browser_folder) : "<null>") + " " +
                         (options ? "options" : "no-options") + " " +
                         (user_data_folder ? utf8(user_data_folder) : std::string("<null>")));
    return create_environment(config, handler);
}
