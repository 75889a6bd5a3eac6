// Two processes on one platform folder: each adds its own rows to the wallet registry and
// its own entries to the Gallery reserve, one read-modify-write at a time under the
// store lock, interleaved with the other's. None of the other's changes may be lost.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "chain/reservations.h"
#include "core/files.h"
#include "tests/helpers/survival_kinds.h"
#include "tests/support/temp_platform.h"
#include "wallet/registry.h"

extern char** environ;

using testing_support::TempPlatform;

namespace {

constexpr int UPDATES = 1000;

pid_t start_writer(const std::string& tag) {
    const std::string helper = testing_support::bin_path("survival_writer");
    std::string count = std::to_string(UPDATES);
    const char* args[] = {helper.c_str(), "together", tag.c_str(), count.c_str(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, helper.c_str(), nullptr, nullptr, const_cast<char* const*>(args), environ) != 0) return -1;
    return pid;
}

// The exit status of pid, killing it when it has not ended within the limit.
int wait_for(pid_t pid, std::chrono::steady_clock::time_point until) {
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(TwoProcesses, NeitherLosesTheOthersRegistryRowsOrReserveEntries) {
    TempPlatform tp;
    ASSERT_TRUE(core::file_exists(testing_support::bin_path("survival_writer")));
    pid_t a = start_writer("A");
    pid_t b = start_writer("B");
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    EXPECT_EQ(wait_for(a, until), 0);
    EXPECT_EQ(wait_for(b, until), 0);

    std::set<std::string> want;
    for (const char* tag : {"A", "B"})
        for (int n = 1; n <= UPDATES; ++n) want.insert(std::string(tag) + "-" + std::to_string(n));

    core::Json reg;
    std::string error;
    {
        wallet::StoreLockGuard store;
        ASSERT_TRUE(wallet::load_registry(reg, error)) << error;
    }
    std::set<std::string> rows;
    for (const auto& row : reg["wallets"]) rows.insert(core::json_string(row, "id"));
    EXPECT_EQ(reg["wallets"].size(), want.size());
    EXPECT_EQ(rows, want);

    // The reserve file is named after the bound wallet, as in the writers.
    wallet::bind_wallet_in_memory("survival", survival::WALLET_ID);
    std::vector<chain::ReserveEntry> entries;
    ASSERT_TRUE(chain::read_reserve_entries(entries, error)) << error;
    std::set<std::string> pics;
    for (const auto& e : entries) pics.insert(e.pic);
    EXPECT_EQ(entries.size(), want.size());
    EXPECT_EQ(pics, want);
    wallet::reset_registry_state();
}
