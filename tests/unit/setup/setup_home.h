#pragma once
// Test support for the setup engine: a temporary home (HOME pointed at it, the XDG
// variables cleared) with a desktop folder, and setup images whose payload carries small
// stand-in files for every entry of the install table. On Windows the temporary folder
// is LOCALAPPDATA instead (the default install folder lies below it), and an image is a
// copy of the small test program win_child.exe with the stand-ins added as RCDATA
// resources (UpdateResourceW), as the build adds the real files to QuenvaleSetup.exe.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "setup/engine.h"
#include "setup/payload.h"
#include "setup/progress.h"
#include "setup/table.h"
#ifdef _WIN32
#include <windows.h>

#include "platform/folders.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_platform.h"
#endif

namespace setup_test {

namespace fs = std::filesystem;

std::string read_text(const std::string& path);
void write_text(const std::string& path, const std::string& text);
// Every path below root (relative, sorted), with "/" after folders.
std::vector<std::string> tree_of(const std::string& root);

class SetupHome {
public:
    SetupHome();
    ~SetupHome();
    SetupHome(const SetupHome&) = delete;
    SetupHome& operator=(const SetupHome&) = delete;

    const std::string& root() const { return root_; }
    std::string home() const { return root_ + "/home"; }
    // The bytes carried for table entry id.
    static std::string content(std::uint32_t id);
    // An image carrying every table entry except those in left_out.
    std::string make_image(const std::set<std::uint32_t>& left_out = {}) const;
    // A driver over image that records every new status text.
    setup::Driver driver(const std::string& image);
    std::vector<std::string> statuses;

private:
#ifdef _WIN32
    testing_support::TempPlatform platform_;
#endif
    std::string root_;
    std::vector<std::pair<std::string, std::string>> saved_;
};



#ifdef _WIN32
inline SetupHome::SetupHome() : root_(platform_.root()) {
    setup::reset_progress();
    setup::reset_options();
}

inline SetupHome::~SetupHome() {
    std::error_code ec;
    fs::remove_all(fs::path(std::u8string(root_.begin(), root_.end())), ec);
}
#else
inline SetupHome::SetupHome() {
    std::string templ = (fs::temp_directory_path() / "setup-test-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp");
    root_ = templ;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
        const char* v = std::getenv(name);
        saved_.emplace_back(name, v ? std::string("=") + v : "");
        ::unsetenv(name);
    }
    ::setenv("HOME", home().c_str(), 1);
    fs::create_directories(home() + "/Desktop");
    setup::reset_progress();
    setup::reset_options();
}

inline SetupHome::~SetupHome() {
    for (const auto& [name, value] : saved_) {
        if (value.empty()) {
            ::unsetenv(name.c_str());
        } else {
            ::setenv(name.c_str(), value.substr(1).c_str(), 1);
        }
    }
    std::error_code ec;
    // Folders a test made read-only are opened up again so the temporary folder goes.
    for (auto it = fs::recursive_directory_iterator(root_, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
}
#endif

inline std::string SetupHome::content(std::uint32_t id) {
    const auto files = setup::install_files();
    const std::string name = files[id].name;
#ifndef _WIN32
    if (name == setup::ENTRY_TEMPLATE_FILE) {
        return "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Quenvale\nExec=quenvale\n"
               "TryExec=quenvale\nIcon=quenvale\nTerminal=false\nCategories=Graphics;Viewer;\n";
    }
#endif
    return "stand-in for " + name + " #" + std::to_string(id) + "\n";
}

#ifdef _WIN32
inline std::string SetupHome::make_image(const std::set<std::uint32_t>& left_out) const {
    static int n = 0;
    const std::string dir = root_ + "/image-" + std::to_string(++n);
    fs::create_directories(fs::path(std::u8string(dir.begin(), dir.end())));
    const std::string image = dir + "/QuenvaleSetup.exe";
    const std::wstring wimage = platform::win32::widen_path(image);
    const std::wstring base = platform::win32::widen_path(platform::executable_dir() + "/win_child.exe");
    EXPECT_TRUE(::CopyFileW(base.c_str(), wimage.c_str(), TRUE)) << "copy win_child.exe: " << ::GetLastError();
    HANDLE update = ::BeginUpdateResourceW(wimage.c_str(), FALSE);
    EXPECT_NE(update, nullptr) << ::GetLastError();
    if (!update) return image;
    // The texts must outlive EndUpdateResourceW.
    std::vector<std::string> texts;
    const auto files = setup::install_files();
    texts.reserve(files.size());
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        if (left_out.count(i)) continue;
        texts.push_back(content(i));
        EXPECT_TRUE(::UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(files[i].resource),
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), texts.back().data(),
                                      static_cast<DWORD>(texts.back().size())))
            << ::GetLastError();
    }
    EXPECT_TRUE(::EndUpdateResourceW(update, FALSE)) << ::GetLastError();
    return image;
}
#else
inline std::string SetupHome::make_image(const std::set<std::uint32_t>& left_out) const {
    static int n = 0;
    const std::string dir = root_ + "/image-" + std::to_string(++n);
    fs::create_directories(dir);
    write_text(dir + "/base", "#!/bin/false\nnot really a program\n");
    std::vector<setup::PackSource> sources;
    const auto files = setup::install_files();
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        if (left_out.count(i)) continue;
        const std::string path = dir + "/file-" + std::to_string(i);
        write_text(path, content(i));
        sources.push_back({i, files[i].name, path});
    }
    std::string error;
    const std::string image = dir + "/setup";
    EXPECT_TRUE(setup::write_setup_image(dir + "/base", sources, image, error)) << error;
    return image;
}
#endif

inline setup::Driver SetupHome::driver(const std::string& image) {
    setup::Driver d;
    d.image = image;
    d.refresh = [this] {
        const std::string& s = setup::progress().status;
        if (statuses.empty() || statuses.back() != s) statuses.push_back(s);
    };
    return d;
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_text(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::string> tree_of(const std::string& root) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string rel = fs::relative(it->path(), root).string();
        if (it->is_directory(ec) && !it->is_symlink(ec)) rel += "/";
        out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace setup_test
