// Two processes on one platform folder: each counts its own member of the wallet registry
// and its own entry of the Gallery reserve up 1000 times, each a read-modify-write under
// the store lock, interleaved with the other's. No update of either may be lost.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "chain/reservations.h"
#include "core/files.h"
#include "core/json.h"
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

// The platform folder on tmpfs when there is one: the store lock and the renames behave
// as on disk, without a disk flush per write (4000 of them would take a minute).
struct FastPlatform {
    std::string root;
    const char* saved = std::getenv("LOCALAPPDATA");
    std::string saved_value = saved ? saved : "";
    std::unique_ptr<TempPlatform> on_disk;
    FastPlatform() {
        char name[] = "/dev/shm/quenvale-two-XXXXXX";
        if (core::is_directory("/dev/shm") && ::mkdtemp(name)) {
            root = name;
            testing_support::set_env("LOCALAPPDATA", root);
            wallet::reset_registry_state();
        } else {
            on_disk = std::make_unique<TempPlatform>();
        }
    }
    ~FastPlatform() {
        if (root.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
        if (saved)
            testing_support::set_env("LOCALAPPDATA", saved_value);
        else
            testing_support::unset_env("LOCALAPPDATA");
        wallet::reset_registry_state();
    }
};

}  // namespace

TEST(TwoProcesses, NeitherLosesAnUpdateOfTheOthersRegistryMemberOrReserveEntry) {
    FastPlatform platform;
    ASSERT_TRUE(core::file_exists(testing_support::bin_path("survival_writer")));
    pid_t a = start_writer("A");
    pid_t b = start_writer("B");
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    EXPECT_EQ(wait_for(a, until), 0);
    EXPECT_EQ(wait_for(b, until), 0);

    core::Json reg;
    std::string error;
    {
        wallet::StoreLockGuard store;
        ASSERT_TRUE(wallet::load_registry(reg, error)) << error;
    }
    EXPECT_EQ(core::json_int(reg, "count_A", 0), UPDATES);
    EXPECT_EQ(core::json_int(reg, "count_B", 0), UPDATES);

    // The reserve file is named after the bound wallet, as in the writers.
    wallet::bind_wallet_in_memory("survival", survival::WALLET_ID);
    std::vector<chain::ReserveEntry> entries;
    ASSERT_TRUE(chain::read_reserve_entries(entries, error)) << error;
    std::map<std::string, std::int64_t> counts;
    for (const auto& e : entries) counts[e.pic] = e.spot;
    EXPECT_EQ(counts, (std::map<std::string, std::int64_t>{{"A", UPDATES}, {"B", UPDATES}}));
    wallet::reset_registry_state();
}
