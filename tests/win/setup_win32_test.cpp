// The setup engine on Windows against the real shell and registry (under Wine in the
// suite): the table's files, shell links that resolve to the installed program and the
// setup copy, the per-user uninstall key with the values the engine computes, removal
// of all of it from the key alone, and a file held open or marked read-only stopping the
// install with its message.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

#include "platform/install_files.h"
#include "platform/win32/shell_link.h"
#include "platform/win32/wide.h"
#include "setup/engine.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/shortcuts.h"
#include "setup/table.h"
#include "tests/unit/setup/setup_home.h"

namespace {

namespace fs = std::filesystem;
using setup_test::read_text;
using setup_test::SetupHome;
using setup_test::write_text;

const wchar_t* const KEY = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenvale";

fs::path u8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }
bool exists(const std::string& path) { return fs::exists(u8(path)); }

std::string backslashed(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

bool key_exists() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::string reg_text(const wchar_t* name) {
    wchar_t buf[2048] = {};
    DWORD bytes = sizeof buf;
    if (::RegGetValueW(HKEY_CURRENT_USER, KEY, name, RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return platform::win32::narrow(buf);
}

long long reg_number(const wchar_t* name) {
    DWORD value = 0, bytes = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, KEY, name, RRF_RT_REG_DWORD, nullptr, &value, &bytes) != ERROR_SUCCESS) {
        return -1;
    }
    return value;
}

struct Link {
    bool loaded = false;
    std::string target, arguments;
};
Link link_at(const std::string& path) {
    Link l;
    l.loaded = platform::win32::read_shell_link(path, l.target, l.arguments);
    return l;
}

// The links and the key live in the prefix's real profile, not in the test's folder:
// each test starts and ends without them.
class Win32Setup : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        setup::remove_shortcuts();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, KEY);
    }
    SetupHome h;
};

TEST_F(Win32Setup, InstallWritesFilesLinksAndTheUninstallKey) {
    const setup::Places p = setup::places();
    ASSERT_EQ(p.install_folder, h.root() + "\\Quenvale");
    ASSERT_FALSE(p.desktop.empty());
    ASSERT_FALSE(p.start_menu.empty());
    const std::string image = h.make_image();
    // Given with a trailing separator: installed and recorded without it.
    ASSERT_TRUE(setup::install_to(p.install_folder + "\\", h.driver(image)));
    EXPECT_EQ(setup::progress().status, "Quenvale is ready.");
    EXPECT_EQ(setup::progress().percent, 100);
    const std::string folder = backslashed(p.install_folder);

    const auto files = setup::install_files();
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        const std::string path = folder + "\\" + backslashed(files[i].name);
        EXPECT_EQ(read_text(path), SetupHome::content(i)) << path;
        total += fs::file_size(u8(path));
    }
    const std::string copy = folder + "\\QuenvaleSetup.exe";
    EXPECT_EQ(read_text(copy), read_text(image));
    total += fs::file_size(u8(copy));

    const Link desktop = link_at(p.desktop + "\\Quenvale.lnk");
    ASSERT_TRUE(desktop.loaded);
    EXPECT_EQ(desktop.target, folder + "\\Quenvale.exe");
    EXPECT_EQ(desktop.arguments, "");
    const Link menu = link_at(p.start_menu + "\\Quenvale.lnk");
    ASSERT_TRUE(menu.loaded);
    EXPECT_EQ(menu.target, folder + "\\Quenvale.exe");
    const Link remove = link_at(p.start_menu + "\\Uninstall Quenvale.lnk");
    ASSERT_TRUE(remove.loaded);
    EXPECT_EQ(remove.target, copy);
    EXPECT_EQ(remove.arguments, "/uninstall");

    EXPECT_EQ(reg_text(L"DisplayName"), "Quenvale");
    EXPECT_EQ(reg_text(L"UninstallString"), "\"" + copy + "\" /uninstall");
    EXPECT_EQ(reg_text(L"InstallLocation"), folder);
    EXPECT_EQ(reg_text(L"DisplayIcon"), folder + "\\Quenvale.exe");
    EXPECT_EQ(reg_text(L"Publisher"), setup::PUBLISHER);
    EXPECT_EQ(reg_text(L"DisplayVersion"), "0.001");
    EXPECT_EQ(reg_text(L"URLInfoAbout"), setup::PROGRAM_PAGE);
    EXPECT_EQ(reg_text(L"HelpLink"), setup::PROGRAM_PAGE);
    EXPECT_EQ(reg_number(L"NoModify"), 1);
    EXPECT_EQ(reg_number(L"NoRepair"), 1);
    EXPECT_EQ(reg_number(L"EstimatedSize"), static_cast<long long>((total + 1023) / 1024));
}

TEST_F(Win32Setup, OptionsOffWriteNoLinksButTheKey) {
    setup::options().desktop_shortcut = false;
    setup::options().start_menu = false;
    const setup::Places p = setup::places();
    ASSERT_TRUE(setup::install_to(p.install_folder, h.driver(h.make_image())));
    EXPECT_FALSE(exists(p.desktop + "\\Quenvale.lnk"));
    EXPECT_FALSE(exists(p.start_menu));
    EXPECT_TRUE(key_exists());
}

TEST_F(Win32Setup, UninstallFromTheKeyRemovesWhatTheInstallMadeAndNothingElse) {
    const setup::Places p = setup::places();
    ASSERT_TRUE(setup::install_to(p.install_folder, h.driver(h.make_image())));
    const std::string folder = backslashed(p.install_folder);
    // Pictures the program cached (one marked read-only) go with the web folder; a file
    // of the user's beside the program stays, and with it the folder.
    write_text(folder + "\\QuenvaleWeb\\spots\\ap3.png", "picture");
    ::SetFileAttributesW(platform::win32::widen(folder + "\\QuenvaleWeb\\spots\\ap3.png").c_str(),
                         FILE_ATTRIBUTE_READONLY);
    write_text(folder + "\\notes.txt", "mine");

    setup::reset_progress();
    ASSERT_TRUE(setup::uninstall_from("", h.driver("")));
    EXPECT_EQ(setup::progress().status, "Quenvale was removed.");
    EXPECT_TRUE(setup::progress().finished);
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(u8(folder))) {
        left.push_back(fs::relative(e.path(), u8(folder)).generic_string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"notes.txt"});
    EXPECT_FALSE(exists(p.desktop + "\\Quenvale.lnk"));
    EXPECT_FALSE(exists(p.start_menu + "\\Quenvale.lnk"));
    EXPECT_FALSE(exists(p.start_menu + "\\Uninstall Quenvale.lnk"));
    EXPECT_FALSE(exists(p.start_menu));
    EXPECT_FALSE(key_exists());

    // Without the key there is nothing to remove.
    EXPECT_FALSE(setup::uninstall_from("", h.driver("")));
    EXPECT_EQ(setup::progress().status, "No install folder found.");
}

TEST_F(Win32Setup, KeyNamingARelativeFolderIsNotFollowed) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring relative = L"Quenvale";
    ::RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(relative.c_str()),
                     static_cast<DWORD>((relative.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    EXPECT_EQ(setup::read_install_location(), "");
    const std::wstring absolute = L"C:\\Apps\\Quenvale\\";
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, KEY, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    ::RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(absolute.c_str()),
                     static_cast<DWORD>((absolute.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    EXPECT_EQ(setup::read_install_location(), "C:\\Apps\\Quenvale");
}

TEST_F(Win32Setup, FileHeldOpenIsInUseAndReadOnlyFileIsNamed) {
    const setup::Places p = setup::places();
    const std::string image = h.make_image();
    ASSERT_TRUE(setup::install_to(p.install_folder, h.driver(image)));
    const std::string folder = backslashed(p.install_folder);
    const std::wstring program = platform::win32::widen(folder + "\\Quenvale.exe");

    // Held the way a running program holds its file: readers only.
    HANDLE held = ::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(setup::install_to(p.install_folder, h.driver(image)));
    EXPECT_EQ(setup::progress().status, "Quenvale is currently open, close it first");
    ::CloseHandle(held);

    const std::string dll = folder + "\\libcurl.dll";
    write_text(dll, "kept as it is");
    ASSERT_TRUE(::SetFileAttributesW(platform::win32::widen(dll).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(setup::install_to(p.install_folder, h.driver(image)));
    EXPECT_EQ(setup::progress().status, "libcurl.dll is read-only.");
    EXPECT_EQ(read_text(dll), "kept as it is");
    ::SetFileAttributesW(platform::win32::widen(dll).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32Setup, SameFileSeesThroughSpellingsAndTellsFilesApart) {
    const std::string a = h.root() + "/a.txt", b = h.root() + "/b.txt";
    write_text(a, "one");
    write_text(b, "one");
    EXPECT_TRUE(platform::same_file(a, backslashed(a)));
    std::string upper = backslashed(a);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_TRUE(platform::same_file(a, upper));
    EXPECT_FALSE(platform::same_file(a, b));
    EXPECT_FALSE(platform::same_file(a, h.root() + "/missing"));
}

}  // namespace
