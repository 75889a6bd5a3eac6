// Whole-file reads and writes and the clock seam.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "core/clock.h"
#include "core/files.h"
#include "tests/support/temp_platform.h"

using namespace core;

TEST(Files, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
    testing_support::TempPlatform tp;
    std::string p = tp.root() + "/doc.json";
    ASSERT_TRUE(write_file_atomic(p, "first"));
    ASSERT_TRUE(write_file_atomic(p, "second, longer"));
    std::string text;
    ASSERT_TRUE(read_file(p, text));
    EXPECT_EQ(text, "second, longer");
    EXPECT_EQ(list_files(tp.root()), std::vector<std::string>{"doc.json"});
}

TEST(Files, AtomicWriteIntoMissingFolderFailsWithoutSideEffects) {
    testing_support::TempPlatform tp;
    EXPECT_FALSE(write_file_atomic(tp.root() + "/no/such/dir/x.json", "x"));
    EXPECT_FALSE(file_exists(tp.root() + "/no"));
}

TEST(Files, ReadRefusesMissingFoldersAndOversizedFiles) {
    testing_support::TempPlatform tp;
    std::string text = "keep";
    EXPECT_FALSE(read_file(tp.root() + "/missing", text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(read_file(tp.root(), text));  // a folder is not a file
    ASSERT_TRUE(write_file(tp.root() + "/big", std::string(100, 'x')));
    EXPECT_FALSE(read_file(tp.root() + "/big", text, 99));
    EXPECT_TRUE(read_file(tp.root() + "/big", text, 100));
}

TEST(Files, MakeDirsParentPathAndListing) {
    testing_support::TempPlatform tp;
    ASSERT_TRUE(make_dirs(tp.root() + "/a/b/c"));
    EXPECT_TRUE(is_directory(tp.root() + "/a/b"));
    ASSERT_TRUE(write_file(tp.root() + "/a/z.txt", "1"));
    ASSERT_TRUE(write_file(tp.root() + "/a/y.txt", "2"));
    EXPECT_EQ(list_files(tp.root() + "/a"), (std::vector<std::string>{"y.txt", "z.txt"}));
    EXPECT_EQ(parent_path("/x/y/z.json"), "/x/y");
    EXPECT_EQ(parent_path("z.json"), "");
}

TEST(Clock, FakeClockDrivesSleepAndTime) {
    testing_support::FakeClock fake;
    fake.install();
    std::int64_t t0 = monotonic_ms();
    sleep_ms(400);
    sleep_ms(800);
    EXPECT_EQ(monotonic_ms() - t0, 1200);
    EXPECT_EQ(fake.sleeps, (std::vector<std::int64_t>{400, 800}));
    EXPECT_EQ(now_seconds(), fake.wall / 1000);
    reset_clock();
    EXPECT_GT(now_seconds(), 1700000000);  // the real clock again
}
