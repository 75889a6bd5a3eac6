// The Windows platform layer against the real system calls (under Wine in the suite):
// programs started detached with their arguments intact, the byte-range store lock held
// across processes, replacing files in one step, folders with non-ASCII names, and
// raising a window found by its class.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/files.h"
#include "core/json.h"
#include "platform/file_lock.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/replace.h"
#include "platform/window.h"
#include "platform/win32/window.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_platform.h"

namespace {

using testing_support::TempPlatform;

std::string child_path() { return platform::executable_dir() + "/win_child.exe"; }

// Waits (bounded) for a file the child writes; the child runs on its own.
bool wait_for_file(const std::string& path, std::chrono::milliseconds limit) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (core::file_exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return core::file_exists(path);
}

TEST(Win32Process, StartedProgramGetsEveryArgumentBackUnchanged) {
    TempPlatform home;
    std::string out = home.root() + "/args.json";
    // Spaces, quotes, backslashes before quotes and at the end, an empty argument and
    // non-ASCII text: each is a way the command line can come apart.
    std::vector<std::string> sent = {"plain",        "two words",      "say \"hi\"",  "C:\\dir with space\\",
                                     "back\\\\\"q",  "",               "\xc3\x9cnic\xc3\xb8" "de", "tab\there"};
    std::vector<std::string> args = {"args", out};
    args.insert(args.end(), sent.begin(), sent.end());
    ASSERT_TRUE(platform::start_program(child_path(), args, home.root()));
    ASSERT_TRUE(wait_for_file(out, std::chrono::seconds(20)));
    core::Json got;
    std::string text;
    ASSERT_TRUE(core::read_file(out, text));
    ASSERT_TRUE(core::parse_json(text, got)) << text;
    ASSERT_TRUE(got.is_array());
    ASSERT_EQ(got.size(), sent.size()) << text;
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(got[i].get<std::string>(), sent[i]) << "argument " << i;
}

TEST(Win32Process, MissingProgramOrFolderIsRefused) {
    TempPlatform home;
    EXPECT_FALSE(platform::start_program(home.root() + "/no-such.exe", {}, home.root()));
    EXPECT_FALSE(platform::start_program(child_path(), {"args", home.root() + "/x.json"}, home.root() + "/missing"));
    EXPECT_FALSE(core::file_exists(home.root() + "/x.json"));
    EXPECT_GT(platform::process_id(), 0);
}

TEST(Win32FileLock, SecondProcessWaitsUntilTheByteIsReleased) {
    TempPlatform home;
    std::string lock_path = home.root() + "/store.lock";
    std::string out = home.root() + "/child-locked";
    platform::FileLock mine;
    ASSERT_TRUE(platform::lock_file_byte(lock_path, mine));
    ASSERT_TRUE(platform::start_program(child_path(), {"lock", lock_path, out}, home.root()));
    // While we hold the byte the child must not get it (it would write its file).
    EXPECT_FALSE(wait_for_file(out, std::chrono::milliseconds(1500)));
    platform::unlock_file_byte(mine);
    EXPECT_EQ(mine.handle, nullptr);
    EXPECT_FALSE(mine.locked);
    EXPECT_TRUE(wait_for_file(out, std::chrono::seconds(20)));
    // The lock file stays usable for the next holder once the child let go.
    platform::FileLock again;
    EXPECT_TRUE(platform::lock_file_byte(lock_path, again));
    platform::unlock_file_byte(again);
    // Unlocking an empty lock is harmless.
    platform::unlock_file_byte(again);
}

TEST(Win32FileLock, UnopenablePathFails) {
    TempPlatform home;
    platform::FileLock lock;
    EXPECT_FALSE(platform::lock_file_byte(home.root() + "/no/such/folder/store.lock", lock));
    EXPECT_FALSE(lock.locked);
    EXPECT_EQ(lock.handle, nullptr);
}

TEST(Win32Replace, ReplacesOrRefusesAnExistingTarget) {
    TempPlatform home;
    std::string target = home.root() + "/doc.json", tmp = home.root() + "/doc.json.tmp";
    ASSERT_TRUE(core::write_file(target, "old"));
    ASSERT_TRUE(core::write_file(tmp, "new"));
    // Publishing without replace keeps what is there and the temporary.
    EXPECT_FALSE(platform::move_into_place(tmp, target, false));
    std::string text;
    ASSERT_TRUE(core::read_file(target, text));
    EXPECT_EQ(text, "old");
    EXPECT_TRUE(core::file_exists(tmp));
    EXPECT_TRUE(platform::move_into_place(tmp, target, true));
    ASSERT_TRUE(core::read_file(target, text));
    EXPECT_EQ(text, "new");
    EXPECT_FALSE(core::file_exists(tmp));
    EXPECT_FALSE(platform::move_into_place(tmp, target, true));  // nothing left to move
}

TEST(Win32Replace, AtomicWritesGoThroughTheWindowsRename) {
    TempPlatform home;
    std::string path = home.path("wallet.json");
    ASSERT_TRUE(core::make_dirs(home.dir()));
    EXPECT_TRUE(core::write_file_new(path, "first"));
    EXPECT_FALSE(core::write_file_new(path, "second"));  // exists: not replaced
    EXPECT_EQ(home.read("wallet.json"), "first");
    EXPECT_TRUE(core::write_file_atomic(path, "third"));
    EXPECT_EQ(home.read("wallet.json"), "third");
    EXPECT_FALSE(core::file_exists(path + ".tmp"));
    EXPECT_EQ(core::list_files(home.dir()), std::vector<std::string>{"wallet.json"});
}

TEST(Win32Folders, NonAsciiLocalAppDataIsKeptAsUtf8) {
    TempPlatform home;
    std::string local = home.root() + "/J\xc3\xbcrgen \xe6\x97\xa5";
    ASSERT_TRUE(core::make_dirs(local));
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", platform::win32::widen(local).c_str());
    EXPECT_EQ(platform::env("LOCALAPPDATA"), local);
    EXPECT_EQ(platform::platform_dir(), local + "/Orvane");
    EXPECT_EQ(platform::data_dir(), local + "/Orvane/quenvale");
    // The folders really exist under the wide name.
    DWORD attrs = ::GetFileAttributesW(platform::win32::widen_path(local + "/Orvane/quenvale").c_str());
    ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Win32Folders, WithoutTheVariableTheKnownFolderAnswers) {
    TempPlatform home;
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
    EXPECT_EQ(platform::env("LOCALAPPDATA"), "");
    std::string dir = platform::platform_dir();
    EXPECT_NE(dir, "./Orvane");
    EXPECT_TRUE(core::is_directory(dir)) << dir;
    EXPECT_EQ(dir.substr(dir.size() - 7), "/Orvane");
}

TEST(Win32Folders, ExecutableFolderHoldsTheTestPrograms) {
    std::string exe = platform::executable_path();
    EXPECT_EQ(exe.substr(exe.size() - 4), ".exe") << exe;
    EXPECT_EQ(exe.rfind(platform::executable_dir(), 0), 0u);
    EXPECT_TRUE(core::file_exists(child_path())) << child_path();
}

TEST(Win32Strings, InvalidTextConvertsToNothing) {
    EXPECT_EQ(platform::win32::widen("\xc3\x28"), L"");
    EXPECT_EQ(platform::win32::narrow(std::wstring(1, static_cast<wchar_t>(0xD800))), "");
    EXPECT_EQ(platform::win32::widen_path("C:/a/b"), L"C:\\a\\b");
    EXPECT_EQ(platform::win32::narrow(platform::win32::widen("\xe2\x82\xac x")), "\xe2\x82\xac x");
}

LRESULT CALLBACK plain_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(hwnd, msg, wp, lp); }

TEST(Win32Window, RaisesAHiddenOrMinimisedWindowFoundByClass) {
    EXPECT_FALSE(platform::raise_window_by_class("QuenvaleNoSuchClass"));
    WNDCLASSW wc{};
    wc.lpfnWndProc = plain_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuenvaleRaiseTest";
    ASSERT_NE(::RegisterClassW(&wc), 0);
    HWND hwnd = ::CreateWindowExW(0, L"QuenvaleRaiseTest", L"raise test", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr) << "no window station (run under Xvfb)";
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(platform::raise_window_by_class("QuenvaleRaiseTest"));
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    ::ShowWindow(hwnd, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(hwnd));
    EXPECT_TRUE(platform::raise_window_by_class("QuenvaleRaiseTest"));
    EXPECT_FALSE(::IsIconic(hwnd));
    ::DestroyWindow(hwnd);
    ::UnregisterClassW(L"QuenvaleRaiseTest", wc.hInstance);
    EXPECT_FALSE(platform::raise_window_by_class("QuenvaleRaiseTest"));
}

TEST(Win32Window, OwnCopyRaisePassesOverAHiddenWindow) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plain_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuenvaleShownTest";
    ASSERT_NE(::RegisterClassW(&wc), 0);
    auto make = [&] {
        return ::CreateWindowExW(0, L"QuenvaleShownTest", L"shown test", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    };
    HWND hidden = make();
    ASSERT_NE(hidden, nullptr) << "no window station (run under Xvfb)";
    // A copy on its way out: found by class, but not taken, and left hidden.
    EXPECT_FALSE(platform::win32::raise_shown_window_by_class("QuenvaleShownTest"));
    EXPECT_FALSE(::IsWindowVisible(hidden));
    // A running copy's window, minimised, beside the hidden one: that one is restored.
    HWND shown = make();
    ASSERT_NE(shown, nullptr);
    ::ShowWindow(shown, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(shown));
    EXPECT_TRUE(platform::win32::raise_shown_window_by_class("QuenvaleShownTest"));
    EXPECT_FALSE(::IsIconic(shown));
    EXPECT_FALSE(::IsWindowVisible(hidden));
    ::DestroyWindow(shown);
    ::DestroyWindow(hidden);
    ::UnregisterClassW(L"QuenvaleShownTest", wc.hInstance);
    EXPECT_FALSE(platform::win32::raise_shown_window_by_class(""));
}

}  // namespace
