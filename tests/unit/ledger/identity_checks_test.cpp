#include "ledger/identity_checks.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/hex.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ledger/fake_registry.h"
#include "wallet/document.h"
#include "wallet/registry.h"

namespace {

using ledger_test::FakeRegistry;

// The key pair of the shared signed-message vectors, in both forms.
const std::string COMPRESSED = "03f028892bad7ed57d2fb57bf33081d5cfcf6f9ed3d3d7f159c2e2fff579dc341a";
const std::string UNCOMPRESSED =
    "04f028892bad7ed57d2fb57bf33081d5cfcf6f9ed3d3d7f159c2e2fff579dc341a07cf33da18bd734c600b96a72bbc4749d5141c90ec8ac"
    "328ae52ddfe2e505bdb";
const std::string OTHER = "02fd8098fcd2a580d79666403c0b9ea698ec81622d5882802d39e9276ce0c18fe3";

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

constexpr std::int64_t MINUTE = 60 * 1000;

class IdentityCaches : public ::testing::Test {
protected:
    FakeRegistry registry;
    testing_support::FakeClock clock;
    void SetUp() override {
        clock.install();
        ledger::reset_identity_caches();
    }
    void TearDown() override { ledger::reset_identity_caches(); }
};

}  // namespace

TEST(NormaliseKey, GivesTheCompressedLowerCaseFormOrNothing) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {COMPRESSED, COMPRESSED},
        {upper(COMPRESSED), COMPRESSED},
        {"0x" + COMPRESSED, COMPRESSED},
        {"0X" + upper(COMPRESSED), COMPRESSED},
        {"  " + COMPRESSED + "\n", COMPRESSED},
        {UNCOMPRESSED, COMPRESSED},
        {"0x" + upper(UNCOMPRESSED), COMPRESSED},
        {COMPRESSED.substr(0, 64), ""},     // 32 bytes
        {COMPRESSED + "00", ""},            // 34 bytes
        {"05" + COMPRESSED.substr(2), ""},  // not a key prefix
        {COMPRESSED.substr(1), ""},         // odd length
        {COMPRESSED.substr(0, 64) + "zz", ""},
        {"0x", ""},
        {"", ""},
        {"0x 03" + COMPRESSED.substr(2), ""},  // white space inside
    };
    for (const auto& c : cases) EXPECT_EQ(ledger::normalise_key(c.in), c.out) << "[" << c.in << "]";
}

TEST(NormaliseHandle, TrimsOneSigilAndLowerCases) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {Case{"  @Alice ", "alice"}, Case{"alice", "alice"}, Case{"$Bob", "bob"},
                          Case{"@ carol\t", "carol"}, Case{"@@dave", "@dave"}, Case{"$@eve", "@eve"},
                          Case{"@", ""}, Case{"  ", ""}, Case{"Al Ice", "al ice"}})
        EXPECT_EQ(ledger::normalise_handle(c.in), c.out) << "[" << c.in << "]";
}

TEST_F(IdentityCaches, AnActorIsLookedUpOnceInThirtyMinutes) {
    registry.set_alias("carol", upper(COMPRESSED));
    EXPECT_EQ(ledger::identity_key_of("carol"), COMPRESSED);
    clock.advance(30 * MINUTE - 1);
    EXPECT_EQ(ledger::identity_key_of(" @Carol "), COMPRESSED);  // same alias, same entry
    EXPECT_EQ(registry.hits("alias"), 1);
    clock.advance(1);
    registry.set_alias("carol", OTHER);  // the registry moved on meanwhile
    EXPECT_EQ(ledger::identity_key_of("carol"), OTHER);
    EXPECT_EQ(registry.hits("alias"), 2);
    EXPECT_EQ(ledger::identity_key_of("carol"), OTHER);
    EXPECT_EQ(registry.hits("alias"), 2);
}

TEST_F(IdentityCaches, OnlyUsableAnswersAreKept) {
    struct Case {
        const char* name;
        core::Json reply;  // null: the alias is unknown (404)
        std::string key;
    };
    const std::vector<Case> cases = {
        {"unknown alias", nullptr, ""},
        {"no key in the reply", {{"bsvalias", "1.0"}}, ""},
        {"key that is not a key", {{"pubkey", "hello"}}, ""},
        {"empty pubkey, usable publicKey", {{"pubkey", ""}, {"publicKey", UNCOMPRESSED}}, COMPRESSED},
        {"pubkey before publicKey", {{"pubkey", "0x" + COMPRESSED}, {"publicKey", OTHER}}, COMPRESSED},
    };
    int expected_hits = 0;
    for (const auto& c : cases) {
        ledger::reset_identity_caches();
        const std::string alias = std::string("u") + std::to_string(expected_hits);
        if (!c.reply.is_null()) registry.set_alias_reply(alias, c.reply);
        EXPECT_EQ(ledger::identity_key_of(alias), c.key) << c.name;
        EXPECT_EQ(ledger::identity_key_of(alias), c.key) << c.name;
        expected_hits += c.key.empty() ? 2 : 1;
        EXPECT_EQ(registry.hits("alias"), expected_hits) << c.name;
    }
    // An empty handle is never asked about.
    EXPECT_EQ(ledger::identity_key_of(" @ "), "");
    EXPECT_EQ(registry.hits("alias"), expected_hits);
}

TEST_F(IdentityCaches, AServiceThatIsDownIsAskedAgainEachTime) {
    registry.set_alias("carol", COMPRESSED);
    registry.set_down(true);
    EXPECT_EQ(ledger::identity_key_of("carol"), "");
    EXPECT_EQ(ledger::identity_key_of("carol"), "");
    registry.set_down(false);
    EXPECT_EQ(ledger::identity_key_of("carol"), COMPRESSED);
    EXPECT_EQ(registry.hits("alias"), 7);  // each look-up while down: a call and two retries
}

TEST_F(IdentityCaches, ArchitectYesIsKeptTenMinutesNoThirtySeconds) {
    registry.set_role(COMPRESSED, "Architect");
    EXPECT_TRUE(ledger::is_architect(COMPRESSED));
    clock.advance(10 * MINUTE - 1);
    EXPECT_TRUE(ledger::is_architect("0x" + upper(COMPRESSED)));  // same key, same entry
    EXPECT_EQ(registry.hits("quota"), 1);
    registry.set_role(COMPRESSED, "default");
    clock.advance(1);
    EXPECT_FALSE(ledger::is_architect(COMPRESSED));
    EXPECT_EQ(registry.hits("quota"), 2);
    registry.set_role(COMPRESSED, "architect");
    clock.advance(30 * 1000 - 1);
    EXPECT_FALSE(ledger::is_architect(COMPRESSED));
    EXPECT_EQ(registry.hits("quota"), 2);
    clock.advance(1);
    EXPECT_TRUE(ledger::is_architect(COMPRESSED));
    EXPECT_EQ(registry.hits("quota"), 3);
}

TEST_F(IdentityCaches, AQuotaServiceThatIsDownCountsAsNoForThirtySeconds) {
    registry.set_role(UNCOMPRESSED, "architect");
    registry.set_down(true);
    EXPECT_FALSE(ledger::is_architect(UNCOMPRESSED));
    registry.set_down(false);
    const std::int64_t asked_at = core::monotonic_ms();  // after the retries' back-off
    clock.advance(29 * 1000);
    EXPECT_FALSE(ledger::is_architect(UNCOMPRESSED));
    EXPECT_EQ(registry.hits("quota"), 3);  // a call and two retries
    clock.advance(asked_at + 30 * 1000 - core::monotonic_ms());
    EXPECT_TRUE(ledger::is_architect(UNCOMPRESSED));
    EXPECT_EQ(registry.hits("quota"), 4);
}

TEST_F(IdentityCaches, ArchitectRolesAreExactAndBadKeysAreNotAsked) {
    struct Case {
        const char* role;
        bool architect;
    };
    int n = 0;
    for (const Case& c : {Case{"architect", true}, Case{" architect", false}, Case{"architects", false},
                          Case{"operator", false}, Case{"", false}}) {
        std::string key = "02" + std::string(62, '0') + std::to_string(10 + n++);
        registry.set_role(key, c.role);
        EXPECT_EQ(ledger::is_architect(key), c.architect) << "[" << c.role << "]";
    }
    const int asked = registry.hits("quota");
    const std::vector<std::string> bad_keys = {COMPRESSED.substr(0, 64), COMPRESSED + "0",
                                               COMPRESSED.substr(0, 64) + "zz", "", "0x"};
    for (const std::string& bad : bad_keys)
        EXPECT_FALSE(ledger::is_architect(bad)) << bad;
    EXPECT_EQ(registry.hits("quota"), asked);
}

// --- the precheck ------------------------------------------------------------------------

class MayAct : public IdentityCaches {
protected:
    testing_support::TempPlatform tp;
    void TearDown() override {
        IdentityCaches::TearDown();
        wallet::forget_wallet();
    }
};

TEST_F(MayAct, NeedsAWalletWithAHandleAndAnIdentityThatIsNotFrozen) {
    const std::string connect =
        std::string("error: Connect Wendrel and publish a @") + ledger_test::DOMAIN + " paymail first.";
    std::string error;
    // No wallet bound at all.
    wallet::forget_wallet();
    wallet::init_app_binding("Quenvale", "ledger-test");
    EXPECT_FALSE(ledger::may_act(error));
    EXPECT_EQ(error, connect);
    // A wallet without a handle.
    ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ledger-test"));
    EXPECT_FALSE(ledger::may_act(error));
    EXPECT_EQ(error, connect);
    EXPECT_EQ(registry.hits("identity"), 0);

    ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ledger-test", {.paymail = "alice"}));
    const std::string key = wallet::wallet_identity_key();
    ASSERT_FALSE(key.empty());
    struct Case {
        const char* name;
        std::function<void()> arrange;
        bool ok;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"unknown to the service", [] {}, true, ""},
        {"not frozen", [&] { registry.set_frozen(key, false); }, true, ""},
        {"frozen", [&] { registry.set_frozen(key, true); }, false, "error: this identity is frozen."},
        {"service down", [&] { registry.set_down(true); }, true, ""},
    };
    for (const auto& c : cases) {
        c.arrange();
        error = "stale";
        EXPECT_EQ(ledger::may_act(error), c.ok) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    // Asked every time (the status is not cached); while down, a call and two retries.
    EXPECT_EQ(registry.hits("identity"), 6);
}
