#include "chain/endpoints.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/profile.h"

namespace {

const std::string TXID = "0f3e1a2b3c4d5e6f708192a3b4c5d6e7f8091a2b3c4d5e6f708192a3b4c5d6e7";
const std::string TXID_UPPER = "0F3E1A2B3C4D5E6F708192A3B4C5D6E7F8091A2B3C4D5E6F708192A3B4C5D6E7";
const std::string ADDR = "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf";
const std::string PUB33 = "02" + std::string(64, 'a');
const std::string PUB65 = "04" + std::string(128, 'b');

class EndpointsTest : public ::testing::Test {
protected:
    void SetUp() override {
        core::Profile p;
        p.woc_api = "https://woc.test/v1/bsv/main";
        p.ord_api = "https://ord.test/api";
        p.ord_host = "https://ord.test";
        p.arc_tx = "https://arc.test/v1/tx";
        p.service_root = "http://127.0.0.1:4000/svc";
        p.service_host = "127.0.0.1:4000";
        p.paymail_domain = "pay.test";
        core::set_profile(p);
    }
    void TearDown() override { core::reset_profile(); }
};

TEST(EndpointChecks, TellValidIdsFromChainText) {
    struct Case {
        std::string text;
        bool txid, address, outpoint, oracle, pubkey;
    };
    const std::vector<Case> cases = {
        {TXID, true, false, false, false, false},
        {TXID_UPPER, true, false, false, false, false},
        {TXID.substr(1), false, false, false, false, false},
        {TXID + "0", false, false, false, false, false},
        {TXID.substr(1) + "g", false, false, false, false, false},
        {TXID.substr(0, 30) + "/../" + TXID.substr(34), false, false, false, false, false},
        {ADDR, false, true, false, false, false},
        {"1111111111111111111111111", false, false, false, false, false},     // 25: too short
        {"111111111111111111111111111111111111", false, false, false, false, false},  // 36: too long
        {"18pBoqRpHUYf9udsab5G9LT3vQUPxEyMF0", false, false, false, false, false},    // '0' is not Base58
        {"18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFl", false, false, false, false, false},    // nor is 'l'
        {"18pBoqRpHUYf9udsab5G9LT3vQUPx/yMFf", false, false, false, false, false},
        {TXID + "_0", false, false, true, false, false},
        {TXID + "_4294967295", false, false, true, false, false},
        {TXID + "_4294967296", false, false, false, false, false},
        {TXID + "_01", false, false, false, false, false},
        {TXID + "_", false, false, false, false, false},
        {TXID + "_-1", false, false, false, false, false},
        {TXID + "_1/x", false, false, false, false, false},
        {TXID + ".0", false, false, false, false, false},
        {"as1", false, false, false, true, false},
        {"as10", false, false, false, true, false},
        {"ocp", false, false, false, true, false},
        {"oao", false, false, false, true, false},
        {"ident", false, false, false, true, false},
        {"as0", false, false, false, false, false},
        {"as11", false, false, false, false, false},
        {"AS1", false, false, false, false, false},
        {"as1/../x", false, false, false, false, false},
        {PUB33, false, false, false, false, true},
        {PUB65, false, false, false, false, true},
        {PUB33.substr(2), true, false, false, false, false},  // 64 hex: a txid, not a key
        {PUB33 + "a", false, false, false, false, false},
        {"", false, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(chain::is_txid(c.text), c.txid);
        EXPECT_EQ(chain::is_address_text(c.text), c.address);
        EXPECT_EQ(chain::is_outpoint(c.text), c.outpoint);
        EXPECT_EQ(chain::is_oracle_name(c.text), c.oracle);
        EXPECT_EQ(chain::is_pubkey_hex(c.text), c.pubkey);
    }
}

TEST(EndpointChecks, PercentEncodesAllButUnreserved) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"AZaz09-._~", "AZaz09-._~"},
        {"a b", "a%20b"},
        {"../x?y=1&z#f", "..%2Fx%3Fy%3D1%26z%23f"},
        {"me@pay", "me%40pay"},
        {"%", "%25"},
        {"\xC3\xA9", "%C3%A9"},
        {std::string("\0\x7f", 2), "%00%7F"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(chain::percent_encode(in), out) << in;
}

TEST_F(EndpointsTest, BuildsEveryPathFromTheProfile) {
    const std::string W = "https://woc.test/v1/bsv/main";
    const std::string S = "http://127.0.0.1:4000/svc";
    const std::string OP = TXID + "_3";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {chain::woc_tx_hex_url(TXID), W + "/tx/" + TXID + "/hex"},
        {chain::woc_tx_url(TXID), W + "/tx/" + TXID},
        {chain::woc_tx_url(TXID_UPPER), W + "/tx/" + TXID_UPPER},
        {chain::woc_tx_spent_url(TXID, 4294967295u), W + "/tx/" + TXID + "/4294967295/spent"},
        {chain::woc_address_unconfirmed_unspent_url(ADDR), W + "/address/" + ADDR + "/unconfirmed/unspent"},
        {chain::woc_address_unspent_all_url(ADDR), W + "/address/" + ADDR + "/unspent/all"},
        {chain::woc_address_unspent_all_url(ADDR, "p/2+3="), W + "/address/" + ADDR + "/unspent/all?token=p%2F2%2B3%3D"},
        {chain::woc_address_confirmed_balance_url(ADDR), W + "/address/" + ADDR + "/confirmed/balance"},
        {chain::woc_address_unconfirmed_balance_url(ADDR), W + "/address/" + ADDR + "/unconfirmed/balance"},
        {chain::woc_addresses_history_url(true), W + "/addresses/confirmed/history"},
        {chain::woc_addresses_history_url(false), W + "/addresses/unconfirmed/history"},
        {chain::woc_address_unconfirmed_history_url(ADDR), W + "/address/" + ADDR + "/unconfirmed/history"},
        {chain::woc_address_unconfirmed_history_url(ADDR, 12), W + "/address/" + ADDR + "/unconfirmed/history?limit=12"},
        {chain::woc_address_unconfirmed_history_url(ADDR, 0, "a b"),
         W + "/address/" + ADDR + "/unconfirmed/history?token=a%20b"},
        {chain::woc_address_confirmed_history_url(ADDR), W + "/address/" + ADDR + "/confirmed/history?limit=100"},
        {chain::woc_address_confirmed_history_url(ADDR, "t&x"),
         W + "/address/" + ADDR + "/confirmed/history?limit=100&token=t%26x"},
        {chain::woc_txs_url(), W + "/txs"},
        {chain::woc_utxos_spent_url(), W + "/utxos/spent"},
        {chain::woc_tx_raw_post_url(), W + "/tx/raw"},
        {chain::ord_address_unspent_url(ADDR), "https://ord.test/api/txos/address/" + ADDR + "/unspent?limit=100&offset=0"},
        {chain::ord_address_unspent_url(ADDR, 300),
         "https://ord.test/api/txos/address/" + ADDR + "/unspent?limit=100&offset=300"},
        {chain::ord_bsv20_unspent_url(ADDR), "https://ord.test/api/bsv20/" + ADDR + "/unspent"},
        {chain::ord_bsv20_id_url(OP), "https://ord.test/api/bsv20/id/" + OP},
        {chain::ord_txo_url(TXID, 3), "https://ord.test/api/txos/" + OP},
        {chain::ord_content_url(OP), "https://ord.test/content/" + OP},
        {chain::arc_tx_url(), "https://arc.test/v1/tx"},
        {chain::arc_tx_status_url(TXID), "https://arc.test/v1/tx/" + TXID},
        {chain::svc_submit_url(), S + "/oi/submit"},
        {chain::svc_oracle_txids_url("as10", 4000), S + "/oi/oracle/as10/txids?limit=2000&offset=4000"},
        {chain::svc_oracle_txids_url("ocp", 0), S + "/oi/oracle/ocp/txids?limit=2000&offset=0"},
        {chain::svc_ident_txids_url(), S + "/oi/oracle/ident/txids?limit=12"},
        {chain::svc_tx_url(TXID), S + "/oi/tx/" + TXID},
        {chain::svc_paymail_quota_url(PUB33), S + "/api/paymail/quota/" + PUB33},
        {chain::svc_paymail_identity_url("02" + std::string(64, 'A')), S + "/api/paymail/identity/" + PUB33},
        {chain::svc_paymail_labels_url(PUB65), S + "/api/paymail/labels/" + PUB65},
        {chain::svc_bsvalias_id_url("mira"), S + "/api/bsvalias/id/mira@pay.test"},
        {chain::svc_bsvalias_id_url("a b/../c@d"), S + "/api/bsvalias/id/a%20b%2F..%2Fc%40d@pay.test"},
        {chain::svc_paymail_claim_url(), S + "/api/paymail/claim"},
    };
    for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

TEST_F(EndpointsTest, RefusesUncheckedIds) {
    const std::string bad_txid = TXID.substr(0, 63) + "/";
    const std::string bad_addr = "1A/../../admin0000000000000";
    const std::vector<std::string> built = {
        chain::woc_tx_hex_url(bad_txid),
        chain::woc_tx_url(""),
        chain::woc_tx_hex_url(TXID + "?"),
        chain::woc_tx_spent_url(bad_txid, 0),
        chain::woc_address_unconfirmed_unspent_url(bad_addr),
        chain::woc_address_unspent_all_url(bad_addr, "t"),
        chain::woc_address_confirmed_balance_url(bad_addr),
        chain::woc_address_unconfirmed_balance_url(bad_addr),
        chain::woc_address_unconfirmed_history_url(bad_addr, 12),
        chain::woc_address_confirmed_history_url(bad_addr),
        chain::ord_address_unspent_url(bad_addr),
        chain::ord_bsv20_unspent_url(bad_addr),
        chain::ord_bsv20_id_url("TICK"),
        chain::ord_txo_url(bad_txid, 1),
        chain::ord_content_url(TXID),  // a bare txid is not an origin
        chain::arc_tx_status_url(bad_txid),
        chain::svc_oracle_txids_url("as1/../admin", 0),
        chain::svc_tx_url(bad_txid),
        chain::svc_paymail_quota_url(PUB33 + "/x"),
        chain::svc_paymail_identity_url(TXID),
        chain::svc_paymail_labels_url(""),
        chain::svc_bsvalias_id_url(""),
    };
    for (std::size_t i = 0; i < built.size(); ++i) EXPECT_EQ(built[i], "") << i;
}

TEST_F(EndpointsTest, UnconfiguredRootsGiveNoUrl) {
    core::Profile p;  // every root empty
    core::set_profile(p);
    EXPECT_EQ(chain::woc_tx_url(TXID), "");
    EXPECT_EQ(chain::woc_txs_url(), "");
    EXPECT_EQ(chain::ord_content_url(TXID + "_0"), "");
    EXPECT_EQ(chain::svc_submit_url(), "");
    EXPECT_EQ(chain::svc_bsvalias_id_url("mira"), "");
    EXPECT_EQ(chain::arc_tx_url(), "");
}

}  // namespace
