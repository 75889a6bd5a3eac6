// Starting another program: detached in its own session, in the given folder, with its
// standard streams on /dev/null, and collected when it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "core/files.h"
#include "platform/process.h"
#include "tests/support/temp_platform.h"

namespace {

// Polls for a condition the started program brings about on its own (bounded).
template <typename F>
bool eventually(F condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

}  // namespace

TEST(StartProgram, RunsDetachedInItsFolderAndLeavesNoZombie) {
    testing_support::TempPlatform tp;
    const std::string dir = tp.root();
    ASSERT_TRUE(platform::start_program(
        "/bin/sh", {"-c", "out=$(readlink /proc/$$/fd/1); stat=$(cat /proc/$$/stat); printf '%s\\n%s\\n' \"$out\" \"$stat\" > seen.tmp; mv seen.tmp seen"},
        dir));
    ASSERT_TRUE(eventually([&] { return core::file_exists(dir + "/seen"); })) << "the program did not run in " << dir;
    std::ifstream in(dir + "/seen");
    std::string out_target, stat_line;
    std::getline(in, out_target);
    std::getline(in, stat_line);
    EXPECT_EQ(out_target, "/dev/null");
    // /proc/PID/stat: pid (comm) state ppid pgrp session ...
    std::istringstream fields(stat_line.substr(stat_line.rfind(')') + 2));
    std::string state;
    long ppid = 0, pgrp = 0, session = 0;
    fields >> state >> ppid >> pgrp >> session;
    long pid = std::stol(stat_line);
    EXPECT_NE(session, static_cast<long>(::getsid(0))) << "the program shares our session";
    // Once it has ended nothing of it remains: no zombie waits for a parent.
    EXPECT_TRUE(eventually([&] { return !core::entry_exists("/proc/" + std::to_string(pid)); }))
        << "the ended program stays a zombie";
}

TEST(StartProgram, ReportsAProgramThatCannotStart) {
    testing_support::TempPlatform tp;
    const std::string dir = tp.root();
    EXPECT_FALSE(platform::start_program(dir + "/missing", {}, dir));
    ASSERT_TRUE(core::write_file(dir + "/plain.txt", "not a program"));
    EXPECT_FALSE(platform::start_program(dir + "/plain.txt", {}, dir));
    // A folder that cannot be entered means the program never ran.
    EXPECT_FALSE(platform::start_program("/bin/true", {}, dir + "/no/such/folder"));
    EXPECT_TRUE(platform::start_program("/bin/true", {}, dir));
}
