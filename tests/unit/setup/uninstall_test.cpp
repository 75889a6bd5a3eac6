// Removing an installation: only what the install made goes, links are never followed
// and a record naming some other folder never empties it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "setup/engine.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/table.h"
#include "setup/tree.h"
#include "tests/unit/setup/setup_home.h"

namespace {

using setup_test::read_text;
using setup_test::SetupHome;
using setup_test::tree_of;
using setup_test::write_text;

mode_t mode_of(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A folder outside the install with files the user cares about, locked down.
std::string outside_folder(const SetupHome& h) {
    const std::string dir = h.root() + "/elsewhere";
    write_text(dir + "/photo.png", "precious");
    write_text(dir + "/deep/notes.txt", "also precious");
    ::chmod((dir + "/photo.png").c_str(), 0444);
    ::chmod((dir + "/deep").c_str(), 0555);
    return dir;
}

TEST(SetupUninstall, RoundTripLeavesTheHomeAsItWas) {
    SetupHome h;
    for (const char* d : {"/.local/share/applications", "/.local/share/icons", "/.config"}) {
        std::filesystem::create_directories(h.home() + d);
    }
    write_text(h.home() + "/.local/share/applications/other.desktop", "[Desktop Entry]\n");
    const auto before = tree_of(h.home());
    ASSERT_TRUE(setup::install_to(setup::places().install_folder, h.driver(h.make_image())));
    // The program caches frame pictures in the web folder; they go too.
    write_text(setup::places().install_folder + "/QuenvaleWeb/spots/ap3.png", "picture");
    write_text(setup::places().install_folder + "/QuenvaleWeb/spots/ap3.origin", "origin");
    ASSERT_NE(tree_of(h.home()), before);

    setup::reset_progress();
    ASSERT_TRUE(setup::uninstall_from("", h.driver("")));
    EXPECT_EQ(tree_of(h.home()), before);
    EXPECT_TRUE(setup::progress().finished);
    EXPECT_EQ(setup::progress().status, "Quenvale was removed.");
    EXPECT_EQ(setup::progress().percent, 100);
}

TEST(SetupUninstall, LinkInsideTheWebFolderIsRemovedAndItsTargetKept) {
    SetupHome h;
    const std::string folder = h.root() + "/q";
    ASSERT_TRUE(setup::install_to(folder, h.driver(h.make_image())));
    const std::string outside = outside_folder(h);
    std::filesystem::create_directories(folder + "/QuenvaleWeb/spots");
    std::filesystem::create_directory_symlink(outside, folder + "/QuenvaleWeb/spots/linked");
    std::filesystem::create_directory_symlink(outside, folder + "/QuenvaleWeb/linked");
    std::filesystem::create_symlink(outside + "/photo.png", folder + "/QuenvaleWeb/photo-link.png");
    const auto outside_before = tree_of(outside);

    ASSERT_TRUE(setup::uninstall_from(folder, h.driver("")));
    EXPECT_EQ(tree_of(outside), outside_before);
    EXPECT_EQ(read_text(outside + "/photo.png"), "precious");
    EXPECT_EQ(read_text(outside + "/deep/notes.txt"), "also precious");
    EXPECT_EQ(mode_of(outside + "/photo.png"), 0444u);
    EXPECT_EQ(mode_of(outside + "/deep"), 0555u);
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(SetupUninstall, LinkedWebFolderOrSubfolderIsNotWalkedThrough) {
    SetupHome h;
    const std::string folder = h.root() + "/q";
    const std::string outside = h.root() + "/elsewhere";
    // Files named like the table's, behind links where the table's folders would be.
    write_text(outside + "/index.html", "user page");
    write_text(outside + "/GLTFLoader.js", "user script");
    write_text(folder + "/quenvale", "x");
    std::filesystem::create_directory_symlink(outside, folder + "/QuenvaleWeb");
    write_text(setup::places().record, "{\"InstallLocation\": \"" + folder + "\"}");
    ASSERT_TRUE(setup::uninstall_from("", h.driver("")));
    EXPECT_EQ(read_text(outside + "/index.html"), "user page");
    EXPECT_EQ(read_text(outside + "/GLTFLoader.js"), "user script");
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(SetupUninstall, RecordNamingAnotherFolderRemovesOnlyTableFiles) {
    SetupHome h;
    const std::string victim = h.home();
    write_text(victim + "/letters/mum.txt", "dear mum");
    write_text(victim + "/notes.txt", "notes");
    write_text(victim + "/quenvale-notes.txt", "not a table file");
    ::chmod((victim + "/letters").c_str(), 0555);
    write_text(setup::places().record, "{\"InstallLocation\": \"" + victim + "\"}");
    const auto before = tree_of(victim);

    ASSERT_TRUE(setup::uninstall_from("", h.driver("")));
    auto after = tree_of(victim);
    // Only the record itself is gone.
    std::erase(after, std::string(".config/"));
    std::vector<std::string> expected = before;
    std::erase(expected, std::string(".config/quenvale-uninstall.json"));
    std::erase(expected, std::string(".config/"));
    EXPECT_EQ(after, expected);
    EXPECT_EQ(read_text(victim + "/letters/mum.txt"), "dear mum");
    EXPECT_EQ(mode_of(victim + "/letters"), 0555u);
}

TEST(SetupUninstall, WithoutRecordOrFolderNothingIsFound) {
    SetupHome h;
    EXPECT_FALSE(setup::uninstall_from("", h.driver("")));
    EXPECT_EQ(setup::progress().status, "No install folder found.");
    EXPECT_FALSE(setup::progress().finished);
}

TEST(SetupTree, DeleteTreeRemovesLinksAsLinksAndOpensLockedFoldersInside) {
    SetupHome h;
    const std::string outside = outside_folder(h);
    const std::string tree = h.root() + "/tree";
    write_text(tree + "/a/b/c.txt", "x");
    ::chmod((tree + "/a/b").c_str(), 0500);
    std::filesystem::create_directory_symlink(outside, tree + "/a/to-dir");
    std::filesystem::create_symlink(outside + "/photo.png", tree + "/to-file");
    std::filesystem::create_symlink(h.root() + "/nowhere", tree + "/dangling");
    setup::delete_tree(tree + "/");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tree)));
    EXPECT_EQ(read_text(outside + "/photo.png"), "precious");
    EXPECT_EQ(mode_of(outside + "/deep"), 0555u);

    // A link given as the tree itself is removed, not entered.
    std::filesystem::create_directory_symlink(outside, h.root() + "/link-tree");
    setup::delete_tree(h.root() + "/link-tree");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(h.root() + "/link-tree")));
    EXPECT_EQ(read_text(outside + "/deep/notes.txt"), "also precious");
}

}  // namespace
