// The room's web host against the stand-in runtime (tests/win/webview2_fake), found the
// way the installed runtime is: the test registers the stand-in's version folder under
// HKCU's client-state key, so the program's own search loads it. On an STA thread with
// a real window and message loop: the start chain, what the host asks of the runtime,
// page messages both ways, bounds, release, and every way the start can fail.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/files.h"
#include "platform/folders.h"
#include "platform/win32/wide.h"
#include "shell/win32/web_host.h"
#include "shell/win32/webview2.h"
#include "shell/win32/webview2_loader.h"
#include "tests/support/temp_platform.h"

namespace {

namespace fs = std::filesystem;
using namespace win32_shell;
using platform::win32::narrow;
using platform::win32::widen_path;
using testing_support::TempPlatform;

const wchar_t* const CLIENT_STATE_KEY =
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
const char* const ROOM_PAGE = "https://room.quenvale.local/index.html?v=40";

// --- the slot order of our declarations -------------------------------------------

// g++ (Itanium C++ ABI, also for mingw-w64) stores a pointer to a virtual member
// function as 1 + the byte offset of its vtable slot.
template <typename F>
long slot_of(F f) {
    static_assert(sizeof(F) == 2 * sizeof(void*));
    std::intptr_t word = 0;
    std::memcpy(&word, &f, sizeof word);
    return static_cast<long>((word - 1) / static_cast<std::intptr_t>(sizeof(void*)));
}

TEST(WebHostAbi, MethodsSitInTheDocumentedSlots) {
    // A missing or extra method shifts every later slot: the stand-in would not notice
    // (it is built from the same header), a real runtime would call the wrong method.
    EXPECT_EQ(slot_of(&ICoreWebView2Environment::CreateCoreWebView2Controller), 3);
    EXPECT_EQ(slot_of(&ICoreWebView2Environment::remove_NewBrowserVersionAvailable), 7);
    EXPECT_EQ(slot_of(&ICoreWebView2Controller::put_IsVisible), 4);
    EXPECT_EQ(slot_of(&ICoreWebView2Controller::get_Bounds), 5);
    EXPECT_EQ(slot_of(&ICoreWebView2Controller::put_Bounds), 6);
    EXPECT_EQ(slot_of(&ICoreWebView2Controller::get_CoreWebView2), 25);
    EXPECT_EQ(slot_of(&ICoreWebView2::get_Settings), 3);
    EXPECT_EQ(slot_of(&ICoreWebView2::Navigate), 5);
    EXPECT_EQ(slot_of(&ICoreWebView2::PostWebMessageAsJson), 32);
    EXPECT_EQ(slot_of(&ICoreWebView2::add_WebMessageReceived), 34);
    EXPECT_EQ(slot_of(&ICoreWebView2::remove_WindowCloseRequested), 60);
    EXPECT_EQ(slot_of(&ICoreWebView2_2::get_Environment), 67);
    EXPECT_EQ(slot_of(&ICoreWebView2_3::SetVirtualHostNameToFolderMapping), 71);
    EXPECT_EQ(slot_of(&ICoreWebView2_3::ClearVirtualHostNameToFolderMapping), 72);
    EXPECT_EQ(slot_of(&ICoreWebView2Settings::put_AreDevToolsEnabled), 12);
    EXPECT_EQ(slot_of(&ICoreWebView2Settings::put_AreDefaultContextMenusEnabled), 14);
    EXPECT_EQ(slot_of(&ICoreWebView2Settings::put_IsBuiltInErrorPageEnabled), 20);
    EXPECT_EQ(slot_of(&ICoreWebView2WebMessageReceivedEventArgs::get_WebMessageAsJson), 4);
    EXPECT_EQ(slot_of(&ICoreWebView2WebMessageReceivedEventHandler::Invoke), 3);
    EXPECT_EQ(slot_of(&ICoreWebView2CreateCoreWebView2ControllerCompletedHandler::Invoke), 3);
    EXPECT_EQ(sizeof(EventRegistrationToken), 8u);
}

// --- the runtime search's rules ---------------------------------------------------------

TEST(WebHostLoader, VersionFolderRules) {
    RuntimeVersion v{};
    ASSERT_TRUE(parse_runtime_version(L"131.0.2903.146", v));
    EXPECT_EQ(v, (RuntimeVersion{131, 0, 2903, 146}));
    for (const wchar_t* bad : {L"", L"131.0.0", L"131.0.0.0.1", L"131..0.0", L"1a.0.0.0", L"1234567890.0.0.0",
                               L" 131.0.0.0", L"131.0.0.0 ", L".131.0.0", L"131.0.0."}) {
        EXPECT_FALSE(parse_runtime_version(bad, v)) << narrow(bad);
    }

    EXPECT_EQ(last_path_component(L"C:\\a\\131.0.0.0\\"), L"131.0.0.0");
    EXPECT_EQ(last_path_component(L"C:/a/b//"), L"b");
    EXPECT_EQ(last_path_component(L""), L"");

    EXPECT_EQ(runtime_dll_for_folder(L"C:\\EW\\Application\\131.0.2903.146\\"),
              L"C:\\EW\\Application\\131.0.2903.146\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
    // Numbers, not text: 100 is newer than 99, and the minimum is 86.0.616.0 exactly.
    EXPECT_NE(runtime_dll_for_folder(L"C:\\R\\100.0.0.0"), L"");
    EXPECT_NE(runtime_dll_for_folder(L"C:\\R\\99.0.1150.0"), L"");
    EXPECT_NE(runtime_dll_for_folder(L"C:\\R\\86.0.616.0"), L"");
    EXPECT_EQ(runtime_dll_for_folder(L"C:\\R\\86.0.615.999"), L"");
    EXPECT_EQ(runtime_dll_for_folder(L"C:\\R\\9.0.0.0"), L"");
    EXPECT_NE(runtime_dll_for_folder(L"\\\\server\\share\\131.0.0.0"), L"");
    // Registry text only becomes a path when it is an absolute one without "..".
    EXPECT_EQ(runtime_dll_for_folder(L"Application\\131.0.0.0"), L"");
    EXPECT_EQ(runtime_dll_for_folder(L"C:131.0.0.0"), L"");
    EXPECT_EQ(runtime_dll_for_folder(L"C:\\x\\..\\131.0.0.0"), L"");
    EXPECT_EQ(runtime_dll_for_folder(L"C:\\R\\beta"), L"");
}

// --- the stand-in runtime, registered ----------------------------------------------

std::wstring reg_value(HKEY root, REGSAM view, bool& present) {
    present = false;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, CLIENT_STATE_KEY, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return L"";
    wchar_t buf[2048] = {};
    DWORD bytes = sizeof buf - sizeof(wchar_t);
    present = ::RegGetValueW(key, nullptr, L"EBWebView", RRF_RT_REG_SZ, nullptr, buf, &bytes) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return buf;
}

// The HKCU registration for one test: set or removed, and put back afterwards (so a
// run on a real profile leaves its runtime registration as it was).
class Registration {
public:
    Registration() { saved_ = reg_value(HKEY_CURRENT_USER, 0, had_); }
    ~Registration() {
        if (had_) set(saved_);
        else clear();
    }
    void set(const std::wstring& folder) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, CLIENT_STATE_KEY, L"EBWebView", REG_SZ, folder.c_str(),
                          static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }
    void clear() { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, CLIENT_STATE_KEY, L"EBWebView"); }

private:
    std::wstring saved_;
    bool had_ = false;
};

std::wstring fake_runtime_folder() {
    return widen_path(platform::executable_dir()) + L"\\webview2-runtime\\Application\\131.0.0.0";
}

std::vector<std::string> read_lines(const std::string& path) {
    std::string text;
    std::vector<std::string> lines;
    if (!core::read_file(path, text)) return lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Index of the first line starting with `prefix`; -1 when none.
long line_index(const std::vector<std::string>& lines, const std::string& prefix) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
    return -1;
}
long count_lines(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// One test's files, stand-in settings and registration.
struct RoomFixture {
    TempPlatform home;
    Registration registration;
    std::string log = home.root() + "/fake.log";
    std::string script = home.root() + "/script.txt";
    // Both levels missing at the start: start_room makes them.
    std::string user_data = home.root() + "/Profile dir/quenvale";
    std::string web = home.root() + "/Web \xc3\xbc";

    RoomFixture() {
        testing_support::set_env("QUENVALE_FAKE_WEBVIEW_LOG", log);
        testing_support::set_env("QUENVALE_FAKE_WEBVIEW_SCRIPT", script);
        testing_support::unset_env("QUENVALE_FAKE_WEBVIEW_FAIL");
        registration.set(fake_runtime_folder());
    }
    ~RoomFixture() {
        testing_support::unset_env("QUENVALE_FAKE_WEBVIEW_LOG");
        testing_support::unset_env("QUENVALE_FAKE_WEBVIEW_SCRIPT");
        testing_support::unset_env("QUENVALE_FAKE_WEBVIEW_FAIL");
    }
    std::vector<std::string> lines() const { return read_lines(log); }
};

// What the hooks saw.
struct Seen {
    std::vector<std::wstring> failures;
    int ready = 0;
    std::vector<std::string> messages;
};

// Dispatches messages until `done` holds or `limit` passes; true when it held.
bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Runs `body` on a fresh apartment-threaded thread with a parent window, as the
// program's user-interface thread is.
void on_ui_thread(const std::function<void(HWND)>& body) {
    std::thread ui([&] {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuenvaleWebHostTest";
        ::RegisterClassW(&wc);
        HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"room", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr,
                                        nullptr, wc.hInstance, nullptr);
        EXPECT_NE(window, nullptr);
        if (window) body(window);
        release_room();
        if (::IsWindow(window)) ::DestroyWindow(window);
        // Completions still queued for this thread's stand-in objects run before it ends.
        pump_until([] { return false; }, std::chrono::milliseconds(100));
        ::CoUninitialize();
    });
    ui.join();
}

WebHostHooks hooks_into(Seen& seen, std::function<void()> on_ready = {}) {
    WebHostHooks hooks;
    hooks.failed = [&seen](const std::wstring& status) { seen.failures.push_back(status); };
    hooks.ready = [&seen, on_ready] {
        ++seen.ready;
        if (on_ready) on_ready();
    };
    hooks.page_message = [&seen](const std::string& json) { seen.messages.push_back(json); };
    return hooks;
}

TEST(WebHost, RoomStartsThroughTheRegisteredRuntimeAndCarriesMessagesBothWays) {
    RoomFixture f;
    const std::string note = "{\"op\":\"note\",\"text\":\"Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93\"}";
    ASSERT_TRUE(core::write_file(f.script, "{\"op\":\"hello\"}\n# a comment line\nnot json {\n" + note + "\n"));
    const RECT first{0, 40, 800, 600}, second{0, 52, 1000, 700};
    Seen seen;
    bool bounds_in_ready = false;
    on_ui_thread([&](HWND window) {
        // Nothing to talk to yet: both calls are refused or dropped.
        EXPECT_FALSE(set_room_bounds(first));
        post_to_page("{\"op\":\"early\"}");

        start_room(window, widen_path(f.web), widen_path(f.user_data),
                   hooks_into(seen, [&] { bounds_in_ready = set_room_bounds(first); }));
        ASSERT_TRUE(pump_until([&] { return seen.messages.size() >= 3 || !seen.failures.empty(); },
                               std::chrono::seconds(15)));
        EXPECT_TRUE(seen.failures.empty());
        EXPECT_EQ(seen.ready, 1);
        EXPECT_TRUE(bounds_in_ready);
        // Passed on unchanged, in order, whatever the text is (the dispatcher judges it).
        EXPECT_EQ(seen.messages, (std::vector<std::string>{"{\"op\":\"hello\"}", "not json {", note}));

        post_to_page("{\"op\":\"look\",\"scale\":1.7,\"fps\":60,\"s\":\"\xc3\xbc\"}");
        post_to_page("\xff\xfe not UTF-8");
        // Unchanged bounds are not set again; changed ones are.
        EXPECT_TRUE(set_room_bounds(first));
        EXPECT_TRUE(set_room_bounds(second));
        pump_until([&] { return line_index(f.lines(), "script done") >= 0; }, std::chrono::seconds(5));

        release_room();
        EXPECT_FALSE(set_room_bounds(second));
        post_to_page("{\"op\":\"late\"}");
        // Every reference the host took is given back.
        EXPECT_TRUE(pump_until(
            [&] {
                auto l = f.lines();
                return line_index(l, "released controller") >= 0 && line_index(l, "released web view") >= 0 &&
                       line_index(l, "released environment") >= 0 && line_index(l, "released settings") >= 0;
            },
            std::chrono::seconds(5)));
    });

    auto lines = f.lines();
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    SCOPED_TRACE(all);
    // Installed runtime type, no options, our user data folder (made, both levels).
    EXPECT_GE(line_index(lines, "environment 1 0 no-options " + narrow(widen_path(f.user_data))), 0);
    EXPECT_TRUE(fs::is_directory(fs::path(widen_path(f.user_data))));
    EXPECT_GE(line_index(lines, "create controller window"), 0);
    long map = line_index(lines, "map room.quenvale.local 1 " + narrow(widen_path(f.web)));
    long menus = line_index(lines, "setting AreDefaultContextMenusEnabled 0");
    long tools = line_index(lines, "setting AreDevToolsEnabled 0");
    long hook = line_index(lines, "add_WebMessageReceived");
    long visible = line_index(lines, "put_IsVisible 1");
    long bounds = line_index(lines, "put_Bounds 0 40 800 600");
    long navigate = line_index(lines, std::string("navigate ") + ROOM_PAGE);
    for (long i : {map, menus, tools, hook, visible, bounds}) {
        EXPECT_GE(i, 0);
        EXPECT_LT(i, navigate);
    }
    EXPECT_EQ(count_lines(lines, "navigate "), 1);
    EXPECT_EQ(count_lines(lines, "setting "), 2);
    EXPECT_EQ(count_lines(lines, "put_Bounds 0 40 800 600"), 1);
    EXPECT_EQ(count_lines(lines, "put_Bounds 0 52 1000 700"), 1);
    EXPECT_EQ(count_lines(lines, "get_Bounds "), 3);
    EXPECT_EQ(count_lines(lines, "post "), 1);
    EXPECT_GE(line_index(lines, "post {\"op\":\"look\",\"scale\":1.7,\"fps\":60,\"s\":\"\xc3\xbc\"}"), 0);
}

TEST(WebHost, EveryWayTheStartFailsShowsTheInstallTextOnce) {
    bool machine_wide = false;
    reg_value(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, machine_wide);
    if (machine_wide) GTEST_SKIP() << "a runtime is registered machine-wide here";

    struct Case {
        const char* name;
        std::function<void(RoomFixture&)> arrange;
        bool reaches_fake;
    };
    const std::wstring old_folder_suffix = L"\\old\\Application\\85.0.0.0";
    std::vector<Case> cases = {
        {"no registration", [](RoomFixture& f) { f.registration.clear(); }, false},
        {"registered folder without the DLL",
         [](RoomFixture& f) {
             std::wstring folder = widen_path(f.home.root()) + L"\\empty\\Application\\131.0.0.0";
             fs::create_directories(fs::path(folder) / L"EBWebView" / L"x64");
             f.registration.set(folder);
         },
         false},
        {"runtime older than the minimum",
         [&](RoomFixture& f) {
             std::wstring folder = widen_path(f.home.root()) + old_folder_suffix;
             fs::path dir = fs::path(folder) / L"EBWebView" / L"x64";
             fs::create_directories(dir);
             fs::copy_file(fs::path(fake_runtime_folder()) / L"EBWebView" / L"x64" / L"EmbeddedBrowserWebView.dll",
                           dir / L"EmbeddedBrowserWebView.dll");
             f.registration.set(folder);
         },
         false},
        {"the entry point fails at once", [](RoomFixture&) { testing_support::set_env("QUENVALE_FAKE_WEBVIEW_FAIL", "call"); },
         true},
        {"environment reported failed",
         [](RoomFixture&) { testing_support::set_env("QUENVALE_FAKE_WEBVIEW_FAIL", "environment"); }, true},
        {"environment reported as success without one",
         [](RoomFixture&) { testing_support::set_env("QUENVALE_FAKE_WEBVIEW_FAIL", "environment-null"); }, true},
        {"controller reported failed",
         [](RoomFixture&) { testing_support::set_env("QUENVALE_FAKE_WEBVIEW_FAIL", "controller"); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RoomFixture f;
        c.arrange(f);
        // Without a usable runtime the search itself says "not found" (no handler needed).
        if (!c.reaches_fake) {
            EXPECT_EQ(create_webview_environment(widen_path(f.user_data), nullptr), WEBVIEW2_NOT_FOUND);
        }
        Seen seen;
        on_ui_thread([&](HWND window) {
            start_room(window, widen_path(f.web), widen_path(f.user_data), hooks_into(seen));
            pump_until([&] { return !seen.failures.empty(); }, std::chrono::seconds(10));
            // A second report would show up here.
            pump_until([] { return false; }, std::chrono::milliseconds(300));
        });
        ASSERT_EQ(seen.failures.size(), 1u);
        EXPECT_EQ(seen.failures[0], std::wstring(WEBVIEW2_MISSING_TEXT));
        EXPECT_EQ(seen.ready, 0);
        auto lines = f.lines();
        EXPECT_EQ(line_index(lines, "environment ") >= 0, c.reaches_fake);
        EXPECT_EQ(line_index(lines, "navigate "), -1);
    }
}

TEST(WebHost, MainWindowGoneBeforeTheEnvironmentArrivesFails) {
    RoomFixture f;
    Seen seen;
    on_ui_thread([&](HWND window) {
        start_room(window, widen_path(f.web), widen_path(f.user_data), hooks_into(seen));
        ::DestroyWindow(window);
        pump_until([&] { return !seen.failures.empty(); }, std::chrono::seconds(10));
    });
    ASSERT_EQ(seen.failures.size(), 1u);
    EXPECT_EQ(seen.ready, 0);
    EXPECT_EQ(line_index(f.lines(), "create controller"), -1);
}

TEST(WebHost, OldRuntimeWithoutMappingOrSettingsStillOpensThePage) {
    RoomFixture f;
    testing_support::set_env("QUENVALE_FAKE_WEBVIEW_FAIL", "webview3,settings");
    ASSERT_TRUE(core::write_file(f.script, "{\"op\":\"hello\"}\n"));
    Seen seen;
    on_ui_thread([&](HWND window) {
        start_room(window, widen_path(f.web), widen_path(f.user_data), hooks_into(seen));
        pump_until([&] { return !seen.messages.empty() || !seen.failures.empty(); }, std::chrono::seconds(15));
    });
    EXPECT_TRUE(seen.failures.empty());
    EXPECT_EQ(seen.ready, 1);
    EXPECT_EQ(seen.messages, (std::vector<std::string>{"{\"op\":\"hello\"}"}));
    auto lines = f.lines();
    EXPECT_EQ(line_index(lines, "map "), -1);
    EXPECT_GE(line_index(lines, "get_Settings"), 0);
    EXPECT_EQ(line_index(lines, "setting "), -1);
    EXPECT_GE(line_index(lines, std::string("navigate ") + ROOM_PAGE), 0);
}

}  // namespace
