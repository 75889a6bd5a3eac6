// The setup engine on Windows against the real shell and registry (under Wine in the
// suite): the table's files, shell links that resolve to the installed program and the
// setup copy, the per-user uninstall key with the values the engine computes, removal
// of all of it from the key alone, and a file held open or marked read-only stopping the
// install with its message, an image without one resource stopping at that file, and
// removal of a tree holding symbolic links and a junction without entering them.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <cstdio>
#include <vector>
#include <cstring>

#include "platform/install_files.h"
#include "platform/win32/shell_link.h"
#include "platform/win32/wide.h"
#include "setup/engine.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/shortcuts.h"
#include "setup/table.h"
#include "setup/tree.h"
#include "tests/support/temp_platform.h"
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

TEST_F(Win32Setup, ImageWithoutOneResourceStopsAtThatFileAfterWritingThoseBefore) {
    const setup::Places p = setup::places();
    const auto files = setup::install_files();
    std::uint32_t missing = 0;
    while (missing < files.size() && files[missing].resource != 236) ++missing;
    ASSERT_LT(missing, files.size());
    ASSERT_FALSE(setup::install_to(p.install_folder, h.driver(h.make_image({missing}))));
    EXPECT_EQ(setup::progress().status, "This setup is incomplete. Download it again.");
    EXPECT_FALSE(setup::progress().finished);
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        const std::string path = p.install_folder + "/" + files[i].name;
        if (i < missing) {
            EXPECT_EQ(read_text(path), SetupHome::content(i)) << files[i].name;
        } else {
            EXPECT_FALSE(exists(path)) << files[i].name;
        }
    }
    EXPECT_FALSE(key_exists());
}

// A junction (mount point) at link naming the absolute folder target, as mklink /J makes
// it: a folder carrying the reparse data.
bool make_junction(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::wstring substitute = L"\\??\\" + target;
    const auto sub_bytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    const auto print_bytes = static_cast<WORD>(target.size() * sizeof(wchar_t));
    // Tag, data length, reserved; then four offsets and lengths, then both names.
    std::vector<unsigned char> buf(8 + 8 + sub_bytes + 2 + print_bytes + 2, 0);
    auto put16 = [&](std::size_t at, WORD v) { std::memcpy(buf.data() + at, &v, 2); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buf.data(), &tag, 4);
    put16(4, static_cast<WORD>(buf.size() - 8));
    put16(8, 0);
    put16(10, sub_bytes);
    put16(12, static_cast<WORD>(sub_bytes + 2));
    put16(14, print_bytes);
    std::memcpy(buf.data() + 16, substitute.c_str(), sub_bytes);
    std::memcpy(buf.data() + 16 + sub_bytes + 2, target.c_str(), print_bytes);
    DWORD got = 0;
    const BOOL ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf.data(), static_cast<DWORD>(buf.size()), nullptr,
                                      0, &got, nullptr);
    ::CloseHandle(h);
    if (!ok) ::RemoveDirectoryW(link.c_str());
    return ok != 0;
}

TEST(Win32SetupTree, DeleteTreeRemovesLinksAndJunctionsWithoutEnteringThem) {
    testing_support::TempPlatform temp;
    const std::string root = backslashed(temp.root());
    const std::string outside = root + "\\outside", web = root + "\\QuenvaleWeb";
    write_text(outside + "\\keep.txt", "not ours");
    write_text(outside + "\\sub\\deep.txt", "not ours either");
    write_text(web + "\\room.js", "ours");
    write_text(web + "\\spots\\1.png", "cached");
    const std::wstring w_outside = platform::win32::widen(outside), w_web = platform::win32::widen(web);
    const DWORD unprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    ::CreateSymbolicLinkW((w_web + L"\\folder-link").c_str(), w_outside.c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged);
    ::CreateSymbolicLinkW((w_web + L"\\file-link").c_str(), (w_outside + L"\\keep.txt").c_str(), unprivileged);
    make_junction(w_web + L"\\spots\\junction", w_outside);
    // A link counts as made when the folder listing (what delete_tree reads) shows it as a
    // reparse point: Wine 8 answers CreateSymbolicLinkW with success and makes nothing.
    std::vector<std::string> made;
    for (const char* name : {"folder-link", "file-link", "spots\\junction"}) {
        WIN32_FIND_DATAW found{};
        HANDLE h = ::FindFirstFileW(platform::win32::widen(web + "\\" + name).c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) continue;
        ::FindClose(h);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) made.push_back(name);
    }
    if (made.empty()) GTEST_SKIP() << "this system made neither a symbolic link nor a junction";

    setup::delete_tree(web + "\\");
    EXPECT_FALSE(exists(web));
    EXPECT_EQ(read_text(outside + "\\keep.txt"), "not ours");
    EXPECT_EQ(read_text(outside + "\\sub\\deep.txt"), "not ours either");
    std::printf("links removed as links: %zu of 3\n", made.size());
}

}  // namespace
