#pragma once
// Test support: people of a whole-flow test, each with a platform folder of their own
// (LOCALAPPDATA), a wendrel wallet in it and a gallery instance bound to that wallet.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/json.h"
#include "tests/support/devnet.h"
#include "tests/support/temp_platform.h"

namespace testing_support {

struct Party {
    std::string folder;  // the LOCALAPPDATA of every program they run
    std::string instance;
    std::string wallet_id;
    core::Json shown;  // wendrel show --json
};

// A party whose folder is tp.root()/name.
Party make_party(const TempPlatform& tp, const std::string& name);

// A program of the build run with the party's platform folder.
RunResult run_as(const TempPlatform& tp, const Party& p, const std::string& program,
                 const std::vector<std::string>& args);

// quenvale-cli with the party's folder and instance and --json; the parsed reply. A
// different exit code than expect_exit is a test failure.
core::Json cli_as(const TempPlatform& tp, const Party& p, std::vector<std::string> args, int expect_exit = 0);

// A wallet with a paymail and `coins` confirmed coins of `sats`, connected to the party's
// gallery (quenvale-cli connect, answered by wendrel approve when it asks). False, with a
// test failure recorded, when any step fails.
bool open_wallet(const TempPlatform& tp, Devnet& dn, Party& p, const std::string& name, const std::string& alias,
                 int coins, std::int64_t sats);

// The txid of a "success: <txid>…" result, else "".
std::string txid_in(const std::string& result);

// A seller and a buyer on a freshly reset devnet, each with an empty folder.
class TwoParties : public ::testing::Test {
protected:
    TempPlatform tp;
    Devnet& dn = Devnet::shared();
    Party seller, buyer;

    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        seller = make_party(tp, "seller");
        buyer = make_party(tp, "buyer");
    }
};

// quenvale-cli --instance instance connect in a child process (its output in dir/connect.out)
// while wendrel approves for wallet_id as the wallet app would; the exit code, or -1 when
// the request was never answered.
int connect_instance(const std::string& instance, const std::string& wallet_id, const std::string& dir);

// Signs and posts an art record (protocol and location filled in) on frame's watch address
// as the wallet bound to the gallery instance; the posting's result text.
std::string post_as(const std::string& instance, core::Json record, int frame, const std::string& fee_address,
                    std::int64_t fee);

// A hostile writer's tools, as the wallet bound to the gallery instance. sign_as signs
// the record exactly as it stands (no member filled in or changed; the message is the
// reader's record_message). post_raw_as pays 1 sat or more to each address given and
// carries payload as the one push of a data output, whatever it holds; the posting's
// result text.
bool sign_as(const std::string& instance, core::Json& record);
std::string post_raw_as(const std::string& instance, const std::string& payload,
                        const std::vector<std::pair<std::string, std::int64_t>>& pays);

}  // namespace testing_support
