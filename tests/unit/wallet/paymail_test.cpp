// The paymail registry: alias forms, the role quota, taken aliases, avatars and the
// claim message.
#include <gtest/gtest.h>

#include "core/json.h"
#include "core/profile.h"
#include "tests/support/temp_platform.h"
#include "wallet/paymail.h"
#include "wallet/registry.h"

using testing_support::TempPlatform;

namespace {

const std::string KEY_A = "02" + std::string(64, 'a');
const std::string KEY_B = "03" + std::string(64, 'b');

class Paymail : public ::testing::Test {
protected:
    TempPlatform tp;
    void SetUp() override {
        core::Profile p;
        p.paymail_domain = "orvane.test";
        core::set_profile(p);
    }
    void TearDown() override { core::reset_profile(); }
    core::Json registry() {
        core::Json j;
        core::parse_json(tp.read("orvane_paymail.json"), j);
        return j;
    }
};

}  // namespace

TEST_F(Paymail, AliasFormsTrimAndLowerCase) {
    EXPECT_EQ(wallet::trim_alias("@Alice \r\n"), "Alice");
    EXPECT_EQ(wallet::trim_alias("$$ bob"), "bob");
    EXPECT_EQ(wallet::registry_alias("@Alice.Smith@orvane.test "), "alice.smith");
    EXPECT_EQ(wallet::registry_alias("Zoë_1-x"), "zo_1-x");  // bytes above 127 are dropped
    EXPECT_EQ(wallet::registry_alias("@@@"), "");
}

TEST_F(Paymail, RegisteringKeepsOneOwnerPerAlias) {
    EXPECT_EQ(wallet::register_alias("@Alice ", KEY_A, "1addr"), "");
    core::Json reg = registry();
    EXPECT_EQ(reg["names"]["alice"]["pubkey"], KEY_A);
    EXPECT_EQ(reg["names"]["alice"]["address"], "1addr");
    EXPECT_EQ(reg["self"], "alice");
    EXPECT_EQ(wallet::own_alias(KEY_A), "alice");
    EXPECT_EQ(wallet::own_alias(KEY_B), "");
    EXPECT_EQ(wallet::register_alias("alice", KEY_B, ""), "alice@orvane.test is already taken");
    EXPECT_EQ(wallet::register_alias("!!", KEY_A, ""), "need a paymail name (letters, numbers, _ - .)");
    EXPECT_EQ(wallet::register_alias("carol", "", ""), "no Wendrel identity pubkey");
}

TEST_F(Paymail, RoleQuotaLimitsNewLabels) {
    tp.write("orvane_paymail.json", R"({"host_role":"dev","names":{}})");
    for (int i = 0; i < 20; ++i) ASSERT_EQ(wallet::register_alias("dev" + std::to_string(i), KEY_A, ""), "") << i;
    EXPECT_EQ(wallet::register_alias("dev20", KEY_A, ""), "paymail quota reached (20 free labels per identity)");
    EXPECT_EQ(wallet::register_alias("dev3", KEY_A, "1new"), "");  // an existing label can be updated
    core::Json reg = registry();
    reg["host_role"] = "architect";
    tp.write("orvane_paymail.json", core::dump_pretty(reg));
    EXPECT_EQ(wallet::register_alias("dev20", KEY_A, ""), "");
    EXPECT_EQ(wallet::alias_quota(""), 10);
    EXPECT_EQ(wallet::alias_quota("operator"), 10);
}

TEST_F(Paymail, AnUnreadableRegistryIsNeverOverwritten) {
    tp.write("orvane_paymail.json", "{half a registry");
    EXPECT_EQ(wallet::register_alias("alice", KEY_A, ""), "could not write paymail registry");
    EXPECT_EQ(tp.read("orvane_paymail.json"), "{half a registry");
    EXPECT_FALSE(wallet::save_paymail_registry(core::Json::object()));
}

TEST_F(Paymail, ClaimMessageShapes) {
    EXPECT_EQ(wallet::claim_message("alice", "02k", "1a", "", "1o", "03bn", "1bn", 1700),
              "OV-PAYMAIL-CLAIM|alice|02k|1a||1o|03bn|1bn|1700");
    EXPECT_EQ(wallet::claim_message("alice", "02k", "1a", "av_0", "1o", "", "", 1700),
              "OV-PAYMAIL-CLAIM|alice|02k|1a|av_0|1o|1700");
    EXPECT_EQ(wallet::claim_message("alice", "02k", "1a", "", "", "", "", 5), "OV-PAYMAIL-CLAIM|alice|02k|1a||5");
}
