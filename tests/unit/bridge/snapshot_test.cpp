// What the user-interface thread reads of the wallet comes from the published snapshot:
// while a worker holds the wallet-state lock (as it does across a broadcast), the
// header's reads and the page handlers still answer at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "bridge/handlers.h"
#include "bridge/operations.h"
#include "bridge/protocol.h"
#include "bridge/state.h"
#include "bridge/workers.h"
#include "core/profile.h"
#include "shell/header.h"
#include "tests/support/hd_wallet.h"
#include "tests/unit/bridge/recording_port.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace {

using Clock = std::chrono::steady_clock;

class Snapshot : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    bridge_test::RecordingPort port;

    void SetUp() override {
        bridge::reset_bridge_state();
        bridge::reset_workers();
        wallet::clear_wallet_state();
    }
    void TearDown() override {
        EXPECT_TRUE(bridge::wait_for_workers(20000));
        bridge::set_operations(bridge::default_operations());
        bridge::reset_bridge_state();
        wallet::clear_wallet_state();
        wallet::reset_registry_state();
    }
};

TEST_F(Snapshot, FollowsTheLoadedWalletAndItsRelease) {
    ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "inst", {.paymail = "ines"}));
    wallet::WalletSnapshot s = wallet::wallet_snapshot();
    EXPECT_TRUE(s.loaded);
    EXPECT_TRUE(s.hd);
    EXPECT_TRUE(wallet::snapshot_ready_hd());
    EXPECT_EQ(s.address, testing_support::ABANDON_RECEIVE0);
    EXPECT_EQ(s.paymail, "ines@" + core::profile().paymail_domain);
    EXPECT_EQ(s.identity.size(), 66u);
    EXPECT_EQ(s.identity, wallet::wallet_identity_key());
    EXPECT_EQ(shell::header_label(s), s.paymail);

    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        wallet::wallet_state().cached_balance = 123456789;
        // Not published while the change is under way.
        EXPECT_EQ(wallet::wallet_snapshot().balance, s.balance);
    }
    EXPECT_EQ(wallet::wallet_snapshot().balance, 123456789);
    EXPECT_EQ(shell::balance_text(wallet::wallet_snapshot().balance), "1.23456789 BSV");

    wallet::clear_wallet_state();
    s = wallet::wallet_snapshot();
    EXPECT_FALSE(s.loaded);
    EXPECT_FALSE(wallet::snapshot_ready_hd());
    EXPECT_EQ(shell::header_label(s), "Not connected");
}

TEST_F(Snapshot, ShellFacingReadsAnswerWhileAWorkerHoldsTheWalletLockForTenSeconds) {
    ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "inst"));
    // The chain below the bridge is scripted; what matters is what the handlers read.
    bridge::Operations ops = bridge::default_operations();
    ops.load_walls = [](std::string&, bridge::Walls& w) {
        for (int i = 0; i < ledger::FRAME_COUNT; ++i) w[i].spot = i + 1;
    };
    ops.list_arts = [](std::vector<ordinals::OvWendrelOrdRow>&) { return std::string(); };
    bridge::set_operations(ops);
    bridge::set_shell_port(&port);

    std::atomic<bool> held{false};
    std::thread worker([&held] {
        wallet::WalletLock lock(wallet::wallet_mutex());
        held = true;
        std::this_thread::sleep_for(std::chrono::seconds(10));
    });
    while (!held) std::this_thread::yield();

    const auto until = Clock::now() + std::chrono::milliseconds(9500);
    Clock::duration longest_read{}, longest_round{};
    int rounds = 0;
    shell::HeaderState header;
    while (Clock::now() < until) {
        const auto start = Clock::now();
        const wallet::WalletSnapshot s = wallet::wallet_snapshot();
        shell::refresh_header(header, s);
        EXPECT_TRUE(shell::header_connected(s));
        EXPECT_TRUE(wallet::snapshot_ready_hd());
        EXPECT_EQ(header.label, testing_support::ABANDON_RECEIVE0);
        longest_read = std::max(longest_read, Clock::now() - start);
        // The handlers start threads, whose cost on a loaded machine is not the point:
        // what must not happen is a wait for the lock, which would last seconds.
        bridge::dispatch_page_message(R"({"op":"hello"})");
        bridge::dispatch_page_message(R"({"op":"select","spot":2})");
        bridge::dispatch_page_message(R"({"op":"face","word":"East","deg":90})");
        longest_round = std::max(longest_round, Clock::now() - start);
        ++rounds;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    EXPECT_GT(rounds, 20);
    // A wait for the lock would last seconds; a busy machine may stretch a read, not that far.
    EXPECT_LT(duration_cast<milliseconds>(longest_read).count(), 1000);
    EXPECT_LT(duration_cast<milliseconds>(longest_round).count(), 2000);
    // The held lock did not turn the page away: the hellos' looks and the select's
    // reply (its worker ran unhindered) came.
    const auto replies = port.wait_replies(static_cast<std::size_t>(rounds) + 1);
    EXPECT_GE(replies.size(), static_cast<std::size_t>(rounds) + 1);
}

}  // namespace
