// Gallery records end to end against the devnet: a wallet signs and posts a record,
// the transaction is read back from the chain service, and the record found in it
// verifies against the devnet's identity registry.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/json.h"
#include "core/profile.h"
#include "ledger/identity_checks.h"
#include "ledger/records.h"
#include "tests/support/devnet.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/document.h"
#include "wallet/registry.h"

using testing_support::ABANDON_RECEIVE0;
using testing_support::Devnet;

namespace {

std::string txid_of(const std::string& result) { return result.rfind("success: ", 0) == 0 ? result.substr(9) : ""; }

class Records : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    std::string key;

    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        ledger::reset_identity_caches();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "records-test", {.paymail = "alice"}));
        key = wallet::wallet_identity_key();
        ASSERT_EQ(key.size(), 66u);
    }
    void TearDown() override { ledger::reset_identity_caches(); }

    void register_identity(const core::Json& body) { ASSERT_FALSE(dn.post("/devnet/identity", body).is_null()); }
    core::Json tx_json(const std::string& txid) { return dn.get("/woc/v1/bsv/main/tx/" + txid); }

    core::Json show_record() {
        return {{"protocol", "OV-Art"}, {"type", "art_show"}, {"location", "art"}, {"handle", "alice"},
                {"spot", ledger::frame_row(3).spot}, {"pic", std::string(64, 'a')}, {"cert", std::string(64, 'c')},
                {"sha256", std::string(64, '5')}, {"price", "1500"}, {"pic_utxo", std::string(64, 'a') + "_0"},
                {"cert_utxo", std::string(64, 'c') + "_0"}, {"pay_addr", ABANDON_RECEIVE0}, {"ts", 1733650000},
                {"exp", 1733650000 + 604800}};
    }
};

}  // namespace

TEST_F(Records, APostedRecordIsReadBackFromTheChainAndVerifies) {
    register_identity({{"pubkey", key}, {"alias", "alice"}});
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 50000, true).empty());
    const auto& p = core::profile();
    core::Json record = show_record();
    const std::string result = ledger::post_record(record, ledger::frame_row(3).watch_address,
                                                   p.placement_fee_address, 10000);
    const std::string txid = txid_of(result);
    ASSERT_FALSE(txid.empty()) << result;
    EXPECT_EQ(record["pubkey"], key);  // the caller sees the signed record

    core::Json tx = tx_json(txid);
    ASSERT_TRUE(tx.is_object());
    ASSERT_GE(tx["vout"].size(), 3u);
    EXPECT_EQ(tx["vout"][0]["scriptPubKey"]["addresses"][0], p.placement_fee_address);
    EXPECT_EQ(tx["vout"][1]["scriptPubKey"]["addresses"][0], p.frames[2]);
    core::Json found;
    ASSERT_TRUE(ledger::extract_record(tx, found));
    EXPECT_EQ(found, record);
    EXPECT_EQ(ledger::record_text(found), ledger::record_text(record));
    ledger::reset_identity_caches();
    EXPECT_TRUE(ledger::verify_record(found));

    // The indexer's own transaction path carries the same record.
    core::Json again;
    ASSERT_TRUE(ledger::extract_record(dn.get("/svc/oi/tx/" + txid), again));
    EXPECT_EQ(again, record);
}

TEST_F(Records, AdmissionPaysItsFeeToTheWatchAddressInOneOutput) {
    register_identity({{"pubkey", key}, {"alias", "alice"}});
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 30000, true).empty());
    const auto& p = core::profile();
    core::Json entry = {{"protocol", "OV-Art"}, {"type", "art_gentry"}, {"location", "art"}, {"handle", "alice"}};
    const std::string txid = txid_of(ledger::post_record(entry, p.admission_address, p.admission_address, 200));
    ASSERT_FALSE(txid.empty());
    core::Json tx = tx_json(txid);
    ASSERT_EQ(tx["vout"].size(), 3u);
    EXPECT_EQ(tx["vout"][0]["scriptPubKey"]["addresses"][0], p.admission_address);
    core::Json found;
    ASSERT_TRUE(ledger::extract_record(tx, found));
    EXPECT_EQ(found["type"], "art_gentry");
    EXPECT_TRUE(ledger::verify_record(found));
}

TEST_F(Records, AnUnregisteredHandleCannotPostAndNothingIsSpent) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 30000, true).empty());
    // The devnet holds "alice" for a different key.
    register_identity({{"pubkey", "03f028892bad7ed57d2fb57bf33081d5cfcf6f9ed3d3d7f159c2e2fff579dc341a"}, {"alias", "alice"}});
    core::Json record = show_record();
    const std::string before = core::dump_compact(dn.get("/devnet/state")["mempool"]);
    EXPECT_EQ(ledger::post_record(record, ledger::frame_row(3).watch_address, "", 0),
              "error: identity signature did not verify against " + core::profile().platform_domain + " PKI");
    EXPECT_EQ(core::dump_compact(dn.get("/devnet/state")["mempool"]), before);
    EXPECT_FALSE(record.contains("sig"));
}

TEST_F(Records, AFrozenIdentityMayNotActButItsRecordsStillCount) {
    register_identity({{"pubkey", key}, {"alias", "alice"}});
    std::string error;
    EXPECT_TRUE(ledger::may_act(error)) << error;
    core::Json record = show_record();
    ASSERT_TRUE(ledger::sign_record(record, error)) << error;

    register_identity({{"pubkey", key}, {"alias", "alice"}, {"frozen", true}});
    EXPECT_FALSE(ledger::may_act(error));
    EXPECT_EQ(error, "error: this identity is frozen.");
    ledger::reset_identity_caches();
    EXPECT_TRUE(ledger::verify_record(record));
}

TEST_F(Records, TheDevnetRegistryVouchesForAnIndependentlySignedRecord) {
    std::ifstream in(std::string(QUENVALE_SOURCE_DIR) + "/tests/data/ov-art-records.json");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    core::Json fixture;
    ASSERT_TRUE(core::parse_json(text, fixture));
    const core::Json record = fixture["records"][0]["record"];
    EXPECT_FALSE(ledger::verify_record(record));  // carol is not registered yet
    register_identity({{"pubkey", fixture["public_key_uncompressed"]}, {"alias", "carol"}});
    EXPECT_TRUE(ledger::verify_record(record));
}

TEST_F(Records, ArchitectRoleComesFromTheQuotaService) {
    register_identity({{"pubkey", key}, {"alias", "alice"}, {"role", "architect"}});
    EXPECT_TRUE(ledger::is_architect(key));
    EXPECT_FALSE(ledger::is_architect("03f028892bad7ed57d2fb57bf33081d5cfcf6f9ed3d3d7f159c2e2fff579dc341a"));
}
