// Keys of the loaded wallet: the key search over the whole watched set, and the one
// walk over the receive paths, which is derived once per wallet and must follow the
// counters and the wallet that is loaded.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/crypto.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/profile.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::ABANDON_IDENTITY;
using testing_support::TempPlatform;

namespace {

// m/44'/236'/5'/1/j of the ABANDON wallet, computed with @bsv/sdk.
const char* const CHAIN1_0 = "1Psc5ZZrXFWpppUBwWF8WVtKp8KLu2T82x";
const char* const CHAIN1_4 = "17YTGgqH7abQm34LDNT6LJGssi1JXrZ8RE";
const char* const CHAIN1_5 = "13MvfoVFPvvmHvkchQVn8McAwNAQrYu4PC";

class Keys : public ::testing::Test {
protected:
    TempPlatform tp;
    void SetUp() override {
        core::set_profile(core::Profile{});
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "keys-test", {.recv = {0, 2, 0, 0, 0, 0}}));
    }
    void TearDown() override { core::reset_profile(); }
    static std::string receive(std::uint32_t i) {
        std::string p, k, a;
        EXPECT_TRUE(wallet::derive_path(wallet::receive_path(i), p, k, a));
        core::cleanse(p);
        return a;
    }
};

}  // namespace

TEST_F(Keys, SecondOrdinalsChainKeysAreFoundAndSign) {
    const core::Bytes digest = core::sha256(std::string("hand the piece over"));
    for (const char* address : {CHAIN1_0, CHAIN1_4}) {
        SCOPED_TRACE(address);
        std::string priv, pub;
        ASSERT_TRUE(wallet::find_key_for_address(address, priv, pub));
        EXPECT_EQ(wallet::address_from_pub(pub), address);
        core::Bytes der, r, s, pub_bytes;
        ASSERT_TRUE(wallet::sign_digest(priv, digest, der));
        core::cleanse(priv);
        ASSERT_TRUE(wallet::der_to_rs(der, r, s));
        ASSERT_TRUE(core::from_hex(pub, pub_bytes));
        EXPECT_TRUE(wallet::verify_digest(pub_bytes, digest, r, s));
    }
    // The chain has five keys; the sixth is nobody's.
    std::string priv, pub;
    EXPECT_FALSE(wallet::find_key_for_address(CHAIN1_5, priv, pub));
}

TEST_F(Keys, ReceiveWalkFollowsTheCountersAndTheLoadedWallet) {
    auto watched = wallet::watched_addresses();
    ASSERT_EQ(watched, (std::vector<std::string>{receive(0), receive(1), receive(2), ABANDON_IDENTITY}));

    // Addresses derived ahead (as discovery does) stay outside the wallet until the
    // counter reaches them.
    ASSERT_EQ(wallet::receive_addresses(3, 6).size(), 4u);
    std::string priv, pub;
    EXPECT_FALSE(wallet::find_key_for_address(receive(5), priv, pub));
    EXPECT_EQ(wallet::watched_addresses().size(), 4u);

    // The wallet application raised the counter.
    testing_support::write_hd_wallet(tp, {.recv = {0, 5, 0, 0, 0, 0}});
    wallet::merge_wallet_changes();
    watched = wallet::watched_addresses();
    ASSERT_EQ(watched.size(), 7u);
    EXPECT_EQ(watched[5], receive(5));
    EXPECT_TRUE(wallet::find_key_for_address(receive(5), priv, pub));
    EXPECT_EQ(wallet::receive_addresses().size(), 6u);

    // Another wallet in the same file: nothing of the first one is watched or found.
    std::vector<std::string> first = watched;
    wallet::forget_wallet();
    tp.write("wallets/w1/wallet.json",
             core::dump_pretty({{"version", 2},
                                {"mnemonic", "legal winner thank year wave sausage worth useful legal winner thank yellow"},
                                {"recv", {0, 5, 0, 0, 0, 0}},
                                {"show", 0}}));
    ASSERT_TRUE(wallet::load_wallet());
    watched = wallet::watched_addresses();
    ASSERT_EQ(watched.size(), 7u);
    for (const auto& a : first) {
        EXPECT_EQ(std::count(watched.begin(), watched.end(), a), 0) << a;
        EXPECT_FALSE(wallet::find_key_for_address(a, priv, pub)) << a;
    }
    EXPECT_FALSE(wallet::find_key_for_address(CHAIN1_0, priv, pub));
}
