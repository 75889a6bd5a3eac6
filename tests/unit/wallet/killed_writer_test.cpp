// Crash consistency: a helper process writes one file kind of the platform folder through
// that subsystem's own writer, round after round, and is killed with SIGKILL at a random
// moment. After each kill the file reads with the program's own loader and holds exactly
// the content of the last round the writer reported finished, or of the round it was in.
// The kill delays come from a seed: set QUENVALE_SURVIVAL_SEED to replay a failure.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "chain/coin_state.h"
#include "chain/reservations.h"
#include "core/files.h"
#include "core/json.h"
#include "ordinals/caches.h"
#include "shell/view_settings.h"
#include "tests/helpers/survival_kinds.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using namespace survival;
using testing_support::TempPlatform;
namespace fs = std::filesystem;

namespace {

constexpr int ROUNDS = 100;
// A sanitized or loaded build gets through fewer rounds in this time; that still tells.
constexpr auto TIME_PER_KIND = std::chrono::seconds(20);
constexpr int MIN_ROUNDS = 20;
constexpr int MAX_DELAY_US = 3000;

std::uint32_t seed_for_run() {
    if (const char* s = std::getenv("QUENVALE_SURVIVAL_SEED")) return static_cast<std::uint32_t>(std::strtoul(s, nullptr, 10));
    return std::random_device{}();
}

// Binds this process to w1 and loads it afresh, so the coin state reads the journals.
bool reload_wallet() {
    wallet::forget_wallet();
    wallet::bind_wallet_in_memory("survival", WALLET_ID);
    return wallet::load_wallet();
}

// The round of a file that runs 1..v: "" when the set is exactly {1..v}, else why not.
std::string run_of_rounds(const std::set<unsigned long>& rounds, unsigned long& v) {
    v = rounds.size();
    if (!rounds.empty() && (*rounds.begin() != 1 || *rounds.rbegin() != v))
        return "the rounds are not 1.." + std::to_string(v);
    return "";
}

// Reads the file kind back with the program's loader: the round it holds, or an
// explanation in why (the round is then meaningless).
unsigned long round_on_disk(const std::string& kind, const TempPlatform& tp, unsigned long start, unsigned long done,
                            std::string& why) {
    unsigned long v = 0;
    if (kind == "wallet") {
        if (!reload_wallet()) {
            why = "the wallet does not load: " + tp.read("wallets/w1/wallet.json");
            return 0;
        }
        wallet::WalletLock lock(wallet::wallet_mutex());
        std::string avatar = wallet::wallet_state().avatar;
        if (avatar.rfind("av_", 0) != 0) why = "avatar " + avatar;
        return std::strtoul(avatar.c_str() + 3, nullptr, 10);
    }
    if (kind == "registry") {
        core::Json reg;
        std::string error;
        {
            wallet::StoreLockGuard store;
            if (!wallet::load_registry(reg, error)) {
                why = "the registry does not load: " + tp.read("wallets.json");
                return 0;
            }
        }
        if (reg["theme"] != "dark" || reg["wallets"].size() != 1) why = "the registry lost members: " + reg.dump();
        std::string name = wallet::wallet_display_name(WALLET_ID);
        if (name.rfind("name-", 0) != 0) why = "name " + name;
        return std::strtoul(name.c_str() + 5, nullptr, 10);
    }
    if (kind == "spent" || kind == "change") {
        if (!reload_wallet()) {
            why = "the wallet does not load";
            return 0;
        }
        wallet::WalletLock lock(wallet::wallet_mutex());
        chain::sync_coin_state();
        std::set<unsigned long> rounds;
        if (kind == "spent") {
            for (const auto& [key, when] : chain::coin_state().spent) {
                if (key.rfind(SPENT_TXID + ":", 0) != 0) why = "spent mark " + key;
                rounds.insert(std::strtoul(key.c_str() + 65, nullptr, 10));
            }
        } else {
            for (const auto& c : chain::coin_state().change) {
                if (c.coin.txid != CHANGE_TXID || c.coin.value != change_sats_of(c.coin.vout))
                    why = "change coin " + c.coin.txid + ":" + std::to_string(c.coin.vout);
                rounds.insert(c.coin.vout);
            }
        }
        std::string gap = run_of_rounds(rounds, v);
        if (!gap.empty()) why = gap;
        return v;
    }
    if (kind == "reserve") {
        std::vector<chain::ReserveEntry> entries;
        std::string error;
        if (!chain::read_reserve_entries(entries, error)) {
            why = error;
            return 0;
        }
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].pic != reserve_entry_of("k", i + 1).pic || entries[i].spot != static_cast<std::int64_t>(i + 1))
                why = "reserve entry " + std::to_string(i) + " is " + entries[i].pic;
        return entries.size();
    }
    if (kind == "locks") {
        std::vector<std::string> ids;
        std::string error;
        if (!chain::read_offer_locks(ids, error)) {
            why = error;
            return 0;
        }
        std::set<unsigned long> rounds;
        for (const auto& id : ids) {
            if (id.rfind(lock_id_of(0).substr(0, 65), 0) != 0) why = "lock " + id;
            rounds.insert(std::strtoul(id.c_str() + 65, nullptr, 10));
        }
        if (rounds.size() != ids.size()) why = "a lock is there twice";
        std::string gap = run_of_rounds(rounds, v);
        if (!gap.empty()) why = gap;
        return v;
    }
    if (kind == "content") {
        // This writer's rounds up to the last one reported read back whole; the one it
        // was in is either whole or not there; none after it. (Earlier rounds were
        // checked after their own kill.)
        const unsigned long last = start + done;
        v = start;
        for (unsigned long i = start + 1; i <= last + 2; ++i) {
            ordinals::Content c;
            bool cached = ordinals::content_cache_read(content_origin_of(i), c);
            if (cached && (c.bytes != content_of(i) || c.type != content_type_of(i))) {
                why = "round " + std::to_string(i) + " reads as " + c.bytes + " of type \"" + c.type + "\"";
                return 0;
            }
            if (cached) v = i;
            if (!cached && i <= last) {
                why = "round " + std::to_string(i) + " is not cached";
                return 0;
            }
        }
        return v;
    }
    if (kind == "window") {
        shell::WindowPlacement p = shell::read_window(window_folder());
        if (!p.valid) {
            why = "window.json does not read: " + tp.read("view/window.json");
            return 0;
        }
        v = round_of_window(p);
        shell::WindowPlacement want = window_of(v);
        if (p.right != want.right || p.bottom != want.bottom || p.max != want.max) why = "a torn window placement";
        return v;
    }
    why = "unknown kind";
    return 0;
}

// Round 0 of each kind, written by this process through the same functions.
void write_round_zero(const std::string& kind) {
    std::string error;
    if (kind == "window") {
        ASSERT_TRUE(shell::write_window(window_folder(), window_of(0), error)) << error;
    }
}

// Starts the writer at start; once it has finished a round, waits delay_us and kills it.
// Returns how many rounds it reported finished (-1 when it never got going).
long run_and_kill(const std::string& kind, unsigned long start, int delay_us) {
    const std::string helper = testing_support::bin_path("survival_writer");
    int out[2];
    if (::pipe(out) != 0) return -1;
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        std::string from = std::to_string(start);
        ::execl(helper.c_str(), helper.c_str(), kind.c_str(), from.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    pollfd ready{out[0], POLLIN, 0};
    bool running = ::poll(&ready, 1, 10000) == 1 && (ready.revents & POLLIN);
    if (running) std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    long done = 0;
    char buf[4096];
    for (ssize_t got; (got = ::read(out[0], buf, sizeof buf)) > 0;) done += got;
    ::close(out[0]);
    return running && done > 0 ? done : -1;
}

class KilledWriter : public ::testing::TestWithParam<const char*> {
protected:
    TempPlatform tp;
    void SetUp() override {
        wallet::forget_wallet();
        wallet::reset_registry_state();
        core::Json doc = testing_support::hd_wallet_document();
        doc["ord_avatar"] = avatar_of(0);
        tp.write("wallets/w1/wallet.json", core::dump_pretty(doc));
        tp.write("wallets.json", R"({"wallets":[{"id":"w1","name":")" + name_of(0) + R"("}],"theme":"dark"})");
        ASSERT_TRUE(reload_wallet());
    }
    void TearDown() override {
        wallet::forget_wallet();
        wallet::reset_registry_state();
    }
};

}  // namespace

TEST_P(KilledWriter, EveryKillLeavesTheOldOrTheNewContent) {
    const std::string kind = GetParam();
    ASSERT_TRUE(core::file_exists(testing_support::bin_path("survival_writer")));
    write_round_zero(kind);
    const std::uint32_t seed = seed_for_run();
    SCOPED_TRACE("QUENVALE_SURVIVAL_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay_us(0, MAX_DELAY_US);

    unsigned long on_disk = 0;
    int rounds = 0;
    auto started = std::chrono::steady_clock::now();
    for (; rounds < ROUNDS && std::chrono::steady_clock::now() - started < TIME_PER_KIND; ++rounds) {
        SCOPED_TRACE("round " + std::to_string(rounds));
        const unsigned long start = on_disk;
        long done = run_and_kill(kind, start, delay_us(random));
        ASSERT_GT(done, 0) << "the writer did not get going";
        std::string why;
        on_disk = round_on_disk(kind, tp, start, static_cast<unsigned long>(done), why);
        ASSERT_EQ(why, "");
        // Old: the last round reported finished; new: the one it was writing.
        ASSERT_TRUE(on_disk == start + done || on_disk == start + done + 1)
            << "holds round " << on_disk << " after rounds " << start + 1 << ".." << start + done << " finished";
    }
    EXPECT_GE(rounds, MIN_ROUNDS);
    RecordProperty("rounds", rounds);
}

INSTANTIATE_TEST_SUITE_P(FileKinds, KilledWriter,
                         ::testing::Values("wallet", "registry", "spent", "change", "reserve", "locks", "content",
                                           "window"),
                         [](const auto& info) { return std::string(info.param); });

// The wallet document holds the words in plain text: after a writer died mid-write, our
// next writes of the document and the registry leave no temporary, and no other file of
// the platform folder holds the words.
TEST_F(KilledWriter, NoTemporaryWithTheWordsOutlivesTheNextWrite) {
    for (const char* kind : {"wallet", "registry"}) {
        for (int delay : {0, 500, 1500}) ASSERT_GT(run_and_kill(kind, 0, delay), 0);
    }
    ASSERT_TRUE(reload_wallet());
    std::string error;
    ASSERT_TRUE(wallet::save_wallet(error)) << error;
    ASSERT_EQ(wallet::rename_wallet(WALLET_ID, "final"), "success");
    EXPECT_EQ(core::list_files(tp.path("wallets/w1")), std::vector<std::string>{"wallet.json"});
    for (const auto& entry : fs::recursive_directory_iterator(tp.dir())) {
        if (!entry.is_regular_file() || entry.path() == fs::path(tp.path("wallets/w1/wallet.json"))) continue;
        std::string text;
        ASSERT_TRUE(core::read_file(entry.path().string(), text));
        EXPECT_EQ(text.find("abandon"), std::string::npos) << entry.path() << " holds the mnemonic";
    }
    EXPECT_FALSE(core::entry_exists(tp.path("wallets.json.tmp")));
}
