// Whole-file reads and writes and the clock seam.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// The temporary is path + ".tmp", created exclusively with owner-only permissions; one
// left behind by a writer that died (it may hold a mnemonic) is gone after the next write.
TEST(Files, AtomicWriteUsesOneFixedTemporaryAndRemovesAStaleOne) {
    testing_support::TempPlatform tp;
    std::string p = tp.root() + "/wallet.json";
    ASSERT_TRUE(write_file(p + ".tmp", "{\"mnemonic\": \"left by a writer that was killed"));
    ASSERT_TRUE(write_file_atomic(p, "{}"));
    std::string text;
    ASSERT_TRUE(read_file(p, text));
    EXPECT_EQ(text, "{}");
    EXPECT_EQ(list_files(tp.root()), std::vector<std::string>{"wallet.json"});
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A folder at the temporary's name is not ours to remove: the write fails, and
    // the file keeps its content.
    ASSERT_TRUE(make_dirs(p + ".tmp"));
    EXPECT_FALSE(write_file_atomic(p, "new"));
    ASSERT_TRUE(read_file(p, text));
    EXPECT_EQ(text, "{}");
    EXPECT_TRUE(is_directory(p + ".tmp"));
}

// A writer still at work holds its temporary locked: a second writer waits for it
// rather than taking the temporary away, and both writes arrive whole.
TEST(Files, AtomicWriteWaitsForAWriterThatHoldsTheTemporary) {
    testing_support::TempPlatform tp;
    std::string p = tp.root() + "/wallets.json";
    int fd = ::open((p + ".tmp").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::atomic<bool> done{false};
    bool ok = false;
    std::thread writer([&] {
        ok = write_file_atomic(p, "second");
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load()) << "the held temporary was taken over";
    // The first writer finishes: renames its temporary into place and lets go.
    ASSERT_EQ(::write(fd, "first", 5), 5);
    ASSERT_EQ(::rename((p + ".tmp").c_str(), p.c_str()), 0);
    ::close(fd);
    writer.join();
    EXPECT_TRUE(ok);
    std::string text;
    ASSERT_TRUE(read_file(p, text));
    EXPECT_EQ(text, "second");
    EXPECT_EQ(list_files(tp.root()), std::vector<std::string>{"wallets.json"});
}

TEST(Files, ConcurrentAtomicWritesOfOnePathAllArriveWhole) {
    testing_support::TempPlatform tp;
    std::string p = tp.root() + "/doc.json";
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 30; ++i)
                if (!write_file_atomic(p, std::string(static_cast<std::size_t>(10 + t * 100), static_cast<char>('a' + t))))
                    ++failures;
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    std::string text;
    ASSERT_TRUE(read_file(p, text));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text, std::string(text.size(), text[0]));
    EXPECT_EQ(text.size(), static_cast<std::size_t>(10 + (text[0] - 'a') * 100));
    EXPECT_EQ(list_files(tp.root()), std::vector<std::string>{"doc.json"});
}

// The first write into a folder clears what dead writers left there: the older
// ".tmp-<pid>-<n>" form of a process that is gone, and an unheld temporary nobody has
// touched for a long time. A temporary of a live process, or a fresh one another
// program may be writing, stays.
TEST(Files, FirstWriteIntoAFolderRemovesStaleTemporaries) {
    testing_support::TempPlatform tp;
    std::string dir = tp.root() + "/w";
    ASSERT_TRUE(make_dirs(dir));
    pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    std::string dead = "wallet.json.tmp-" + std::to_string(gone) + "-3";
    ASSERT_TRUE(write_file(dir + "/" + dead, "mnemonic"));
    ASSERT_TRUE(write_file(dir + "/wallet.json.tmp-1-0", "init is alive"));
    ASSERT_TRUE(write_file(dir + "/old.json.tmp", "old"));
    ASSERT_TRUE(write_file(dir + "/fresh.json.tmp", "fresh"));
    ASSERT_TRUE(write_file(dir + "/notes.txt", "keep"));
    auto long_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
    std::filesystem::last_write_time(dir + "/old.json.tmp", long_ago);

    ASSERT_TRUE(write_file_atomic(dir + "/other.json", "{}"));
    EXPECT_EQ(list_files(dir), (std::vector<std::string>{"fresh.json.tmp", "notes.txt", "other.json",
                                                         "wallet.json.tmp-1-0"}));
}

TEST(Files, NewFileAndCopyNeverOverwrite) {
    testing_support::TempPlatform tp;
    std::string a = tp.root() + "/a.json", b = tp.root() + "/b.json";
    ASSERT_TRUE(write_file_new(a, "one"));
    EXPECT_FALSE(write_file_new(a, "two"));
    ASSERT_TRUE(write_file(b, "theirs"));
    EXPECT_FALSE(copy_file(a, b));
    std::string text;
    ASSERT_TRUE(read_file(b, text));
    EXPECT_EQ(text, "theirs");
    ASSERT_TRUE(copy_file(a, tp.root() + "/c.json"));
    ASSERT_TRUE(read_file(tp.root() + "/c.json", text));
    EXPECT_EQ(text, "one");
    EXPECT_FALSE(copy_file(tp.root() + "/missing", tp.root() + "/d.json"));
    EXPECT_EQ(list_files(tp.root()), (std::vector<std::string>{"a.json", "b.json", "c.json"}));
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
