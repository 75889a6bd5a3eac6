// Installing from the setup image's payload into real folders of a temporary home.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/json.h"
#include "setup/engine.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/table.h"
#include "tests/unit/setup/setup_home.h"

extern char** environ;

namespace {

using setup_test::read_text;
using setup_test::SetupHome;
using setup_test::write_text;

core::Json read_record() {
    core::Json j;
    core::parse_json(read_text(setup::places().record), j);
    return j;
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

int validate(const std::string& path) {
    const std::string cmd = "desktop-file-validate '" + path + "' >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

// The program path back out of an Exec line written for one quoted argument.
std::string exec_path(const std::string& entry) {
    const std::size_t at = entry.find("\nExec=");
    if (at == std::string::npos) return "";
    std::string value = entry.substr(at + 6, entry.find('\n', at + 6) - at - 6);
    std::string unstring;  // undo the string-value escaping
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        unstring += value[i];
    }
    if (unstring.size() < 2 || unstring.front() != '"') return "";
    std::string arg;  // undo the quoting inside the double quotes
    for (std::size_t i = 1; i < unstring.size(); ++i) {
        if (unstring[i] == '"') break;
        if (unstring[i] == '\\' && i + 1 < unstring.size()) ++i;
        if (unstring[i] == '%' && i + 1 < unstring.size() && unstring[i + 1] == '%') ++i;
        arg += unstring[i];
    }
    return arg;
}

TEST(SetupInstall, WritesEveryFileSetupCopyEntriesAndRecordWithoutTrailingSlash) {
    SetupHome h;
    const std::string image = h.make_image();
    const std::string folder = h.root() + "/apps/Quenvale";
    ASSERT_TRUE(setup::install_to(folder + "//", h.driver(image)));

    const auto files = setup::install_files();
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        const std::string path = folder + "/" + files[i].name;
        EXPECT_EQ(read_text(path), SetupHome::content(i)) << path;
        EXPECT_EQ(mode_of(path), files[i].executable ? 0755u : 0644u) << path;
    }
    EXPECT_EQ(read_text(folder + "/quenvale-setup"), read_text(image));
    EXPECT_EQ(mode_of(folder + "/quenvale-setup"), 0755u);

    const core::Json r = read_record();
    EXPECT_EQ(r.value("InstallLocation", ""), folder);
    EXPECT_EQ(r.value("UninstallString", ""), "\"" + folder + "/quenvale-setup\" /uninstall");
    EXPECT_EQ(r.value("DisplayIcon", ""), folder + "/quenvale");
    EXPECT_EQ(r.value("DisplayName", ""), "Quenvale");
    EXPECT_EQ(r.value("DisplayVersion", ""), "0.001");
    EXPECT_EQ(r.value("NoModify", 0), 1);
    EXPECT_EQ(r.value("NoRepair", 0), 1);
    EXPECT_FALSE(r.value("Publisher", "").empty());
    EXPECT_EQ(r.value("HelpLink", ""), r.value("URLInfoAbout", "x"));

    // Progress texts in order, one "Copying" per file.
    ASSERT_GE(h.statuses.size(), files.size() + 4);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(h.statuses[i], std::string("Copying ") + files[i].name + "…");
    }
    const std::vector<std::string> tail(h.statuses.begin() + static_cast<long>(files.size()), h.statuses.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Writing setup…", "Desktop shortcut…", "Start menu…", "Quenvale is ready."}));
    EXPECT_TRUE(setup::progress().finished);
    EXPECT_EQ(setup::progress().percent, 100);

    // Desktop entries name the installed program by absolute path and pass the validator.
    const setup::Places p = setup::places();
    const std::string menu = p.applications + "/quenvale.desktop";
    const std::string shortcut = h.home() + "/Desktop/quenvale.desktop";
    const std::string remove = p.applications + "/quenvale-uninstall.desktop";
    for (const auto& entry : {menu, shortcut, remove}) EXPECT_EQ(validate(entry), 0) << read_text(entry);
    EXPECT_EQ(exec_path(read_text(menu)), folder + "/quenvale");
    EXPECT_NE(read_text(menu).find("\nIcon=" + folder + "/quenvale.png\n"), std::string::npos);
    EXPECT_EQ(read_text(menu).find("TryExec"), std::string::npos);
    EXPECT_EQ(read_text(shortcut), read_text(menu));
    EXPECT_EQ(mode_of(shortcut), 0755u);
    EXPECT_EQ(exec_path(read_text(remove)), folder + "/quenvale-setup");
    EXPECT_NE(read_text(remove).find("\" /uninstall\n"), std::string::npos);
    const auto table = setup::install_files();
    std::uint32_t icon = 0;
    while (icon < table.size() && std::string(table[icon].name) != "quenvale.png") ++icon;
    ASSERT_LT(icon, table.size());
    EXPECT_EQ(read_text(p.icons + "/quenvale.png"), SetupHome::content(icon));
}

TEST(SetupInstall, FolderWithCharactersTheEntryFormatReservesStillGivesValidEntries) {
    SetupHome h;
    const std::string folder = h.root() + "/my \"odd\" $dir `x` back\\slash 100%";
    ASSERT_TRUE(setup::install_to(folder, h.driver(h.make_image())));
    const std::string menu = setup::places().applications + "/quenvale.desktop";
    EXPECT_EQ(validate(menu), 0) << read_text(menu);
    EXPECT_EQ(exec_path(read_text(menu)), folder + "/quenvale");
    const std::string remove = setup::places().applications + "/quenvale-uninstall.desktop";
    EXPECT_EQ(validate(remove), 0) << read_text(remove);
    EXPECT_EQ(exec_path(read_text(remove)), folder + "/quenvale-setup");
}

TEST(SetupInstall, OptionsOffLeaveShortcutsOutAndNoDesktopFolderIsInvented) {
    SetupHome h;
    setup::options().start_menu = false;
    std::filesystem::remove(h.home() + "/Desktop");
    ASSERT_TRUE(setup::install_to(h.root() + "/q", h.driver(h.make_image())));
    EXPECT_FALSE(std::filesystem::exists(setup::places().applications + "/quenvale.desktop"));
    EXPECT_FALSE(std::filesystem::exists(h.home() + "/Desktop"));
    EXPECT_EQ(std::count(h.statuses.begin(), h.statuses.end(), "Start menu…"), 0);
    EXPECT_TRUE(std::filesystem::exists(setup::places().record));
}

TEST(SetupInstall, OverAnExistingInstallReplacesEveryFileAndRewritesTheRecord) {
    SetupHome h;
    const std::string folder = h.root() + "/q";
    const auto files = setup::install_files();
    for (const auto& f : files) write_text(folder + "/" + f.name, "old and longer than the new content of the file\n");
    write_text(folder + "/quenvale-setup", "old setup");
    write_text(setup::places().record, "{\"InstallLocation\": \"/somewhere/else\", \"EstimatedSize\": 1}");
    ASSERT_TRUE(setup::install_to(folder, h.driver(h.make_image())));
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(read_text(folder + "/" + files[i].name), SetupHome::content(i));
    }
    EXPECT_NE(read_text(folder + "/quenvale-setup"), "old setup");
    EXPECT_EQ(read_record().value("InstallLocation", ""), folder);
    EXPECT_GT(read_record().value("EstimatedSize", 0), 1);
}

TEST(SetupInstall, PayloadMissingTheTwentyFirstEntryStopsAfterTheFirstTwenty) {
    SetupHome h;
    const std::string folder = h.root() + "/q";
    EXPECT_FALSE(setup::install_to(folder, h.driver(h.make_image({20}))));
    EXPECT_EQ(setup::progress().status, "This setup is incomplete. Download it again.");
    EXPECT_FALSE(setup::progress().finished);
    const auto files = setup::install_files();
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(std::filesystem::exists(folder + "/" + files[i].name), i < 20) << files[i].name;
    }
    EXPECT_EQ(h.statuses.back(), "This setup is incomplete. Download it again.");
    EXPECT_EQ(h.statuses[h.statuses.size() - 2], std::string("Copying ") + files[20].name + "…");
    EXPECT_FALSE(std::filesystem::exists(setup::places().record));
    EXPECT_FALSE(std::filesystem::exists(folder + "/quenvale-setup"));
}

TEST(SetupInstall, DamagedImagesAreIncompleteAndWriteNothing) {
    SetupHome h;
    const std::string good = read_text(h.make_image());
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"no payload", "#!/bin/false\n"},
        {"truncated trailer", good.substr(0, good.size() - 5)},
        {"cut in the middle", good.substr(0, good.size() / 2)},
        {"empty", ""},
    };
    for (const auto& [what, bytes] : damaged) {
        const std::string image = h.root() + "/damaged";
        write_text(image, bytes);
        const std::string folder = h.root() + "/q-" + std::to_string(bytes.size());
        setup::reset_progress();
        EXPECT_FALSE(setup::install_to(folder, h.driver(image))) << what;
        EXPECT_EQ(setup::progress().status, "This setup is incomplete. Download it again.") << what;
        EXPECT_FALSE(std::filesystem::exists(folder + "/quenvale")) << what;
    }
}

TEST(SetupInstall, ReadOnlyTargetIsNamedAndStopsThere) {
    SetupHome h;
    const std::string folder = h.root() + "/q";
    const std::string target = folder + "/QuenvaleWeb/room.js";
    write_text(target, "kept");
    ::chmod(target.c_str(), 0444);
    EXPECT_FALSE(setup::install_to(folder, h.driver(h.make_image())));
    EXPECT_EQ(setup::progress().status, "QuenvaleWeb/room.js is read-only.");
    EXPECT_EQ(read_text(target), "kept");
    EXPECT_TRUE(std::filesystem::exists(folder + "/QuenvaleWeb/index.html"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/QuenvaleWeb/three.module.js"));
}

TEST(SetupInstall, RunningProgramInTheFolderIsReportedAsOpen) {
    SetupHome h;
    const std::string folder = h.root() + "/q";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file("/bin/sleep", folder + "/quenvale");
    const std::string program = folder + "/quenvale";
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    // The program's file is busy once it has been executed; wait until it has.
    for (int i = 0; i < 200 && read_text("/proc/" + std::to_string(pid) + "/cmdline").find("30") == std::string::npos; ++i) {
        ::usleep(10000);
    }
    const bool ok = setup::install_to(folder, h.driver(h.make_image()));
    const std::string status = setup::progress().status;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(status, "Quenvale is currently open, close it first");
}

TEST(SetupInstall, EmptyOrUncreatableFolderIsRefused) {
    SetupHome h;
    EXPECT_FALSE(setup::install_to("///", h.driver(h.make_image())));
    EXPECT_EQ(setup::progress().status, "Choose an install folder.");
    write_text(h.root() + "/a-file", "x");
    EXPECT_FALSE(setup::install_to(h.root() + "/a-file/sub", h.driver(h.make_image())));
    EXPECT_EQ(setup::progress().status, "Could not create that folder.");
}

TEST(SetupErrors, WriteErrorTextsFollowTheErrno) {
    SetupHome h;
    const std::string missing = h.root() + "/missing";
    const std::string readonly = h.root() + "/ro";
    write_text(readonly, "x");
    ::chmod(readonly.c_str(), 0444);
    EXPECT_EQ(setup::write_error_text(missing, "room.js", 0, true), "This setup is incomplete. Download it again.");
    EXPECT_EQ(setup::write_error_text(readonly, "room.js", EACCES, false), "room.js is read-only.");
    EXPECT_EQ(setup::write_error_text(missing, "room.js", EACCES, false), "This folder cannot be written.");
    EXPECT_EQ(setup::write_error_text(missing, "room.js", EROFS, false), "This folder cannot be written.");
    EXPECT_EQ(setup::write_error_text(missing, "quenvale", ETXTBSY, false), "Quenvale is currently open, close it first");
    EXPECT_EQ(setup::write_error_text(missing, "room.js", ENOSPC, false), "Not enough disk space.");
    EXPECT_EQ(setup::write_error_text(missing, "room.js", EDQUOT, false), "Not enough disk space.");
    EXPECT_EQ(setup::write_error_text(missing, "room.js", EIO, false), "Failed to write room.js.");
}

TEST(SetupRecord, EstimatedSizeCountsTableFilesAndSetupCopyInKibRoundedUp) {
    SetupHome h;
    const std::string folder = h.root() + "/q";
    // 12 345 678 bytes in all: two table files and the setup copy (sparse files).
    const std::vector<std::pair<std::string, std::uintmax_t>> sizes = {
        {"quenvale", 10000000}, {"QuenvaleWeb/room.js", 2000000}, {"quenvale-setup", 345678}};
    for (const auto& [name, size] : sizes) {
        write_text(folder + "/" + name, "");
        std::filesystem::resize_file(folder + "/" + name, size);
    }
    write_text(folder + "/not-ours.bin", std::string(5000, 'x'));
    ASSERT_TRUE(setup::write_uninstall_entry(folder));
    EXPECT_EQ(read_record().value("EstimatedSize", 0), 12057);
    EXPECT_EQ(setup::estimated_size_kib(0), 0u);
    EXPECT_EQ(setup::estimated_size_kib(1), 1u);
    EXPECT_EQ(setup::estimated_size_kib(1024), 1u);
    EXPECT_EQ(setup::estimated_size_kib(1025), 2u);
}

TEST(SetupRecord, InstallLocationIsReadOnlyFromAnAbsoluteFolder) {
    SetupHome h;
    EXPECT_EQ(setup::read_install_location(), "");
    write_text(setup::places().record, "{\"InstallLocation\": \"/opt/q/\"}");
    EXPECT_EQ(setup::read_install_location(), "/opt/q");
    write_text(setup::places().record, "{\"InstallLocation\": \"relative/q\"}");
    EXPECT_EQ(setup::read_install_location(), "");
    write_text(setup::places().record, "{not json");
    EXPECT_EQ(setup::read_install_location(), "");
}

TEST(SetupPlaces, XdgFoldersAndTheDesktopFolderComeFromTheEnvironment) {
    SetupHome h;
    setup::Places p = setup::places();
    EXPECT_EQ(p.install_folder, h.home() + "/.local/share/Quenvale");
    EXPECT_EQ(p.applications, h.home() + "/.local/share/applications");
    EXPECT_EQ(p.icons, h.home() + "/.local/share/icons/hicolor/128x128/apps");
    EXPECT_EQ(p.record, h.home() + "/.config/quenvale-uninstall.json");
    EXPECT_EQ(p.desktop, h.home() + "/Desktop");
    ::setenv("XDG_DATA_HOME", (h.root() + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (h.root() + "/config").c_str(), 1);
    write_text(h.root() + "/config/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    p = setup::places();
    EXPECT_EQ(p.install_folder, h.root() + "/data/Quenvale");
    EXPECT_EQ(p.record, h.root() + "/config/quenvale-uninstall.json");
    EXPECT_EQ(p.desktop, h.home() + "/Schreibtisch");
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(setup::places().install_folder, h.home() + "/.local/share/Quenvale");
    EXPECT_EQ(setup::desktop_from_user_dirs("XDG_DESKTOP_DIR=\"/srv/desk/\"\n", "/h"), "/srv/desk");
    EXPECT_EQ(setup::desktop_from_user_dirs("XDG_DESKTOP_DIR=\"$HOME/../etc\"\n", "/h"), "");
    EXPECT_EQ(setup::desktop_from_user_dirs("XDG_MUSIC_DIR=\"$HOME/Music\"\n", "/h"), "");
}

}  // namespace
