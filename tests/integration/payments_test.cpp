// Payments against the devnet, whose independent validator checks every transaction
// this code builds: quick successive payments, record postings, 1-sat coins held back,
// and the broadcast ladder under injected faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>

#include "chain/broadcast.h"
#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/posting.h"
#include "chain/selection.h"
#include "chain/spendable.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "ordinals/listing.h"
#include "ordinals/rows.h"
#include "tests/support/devnet.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/connect.h"
#include "wallet/derive.h"
#include "wallet/discovery.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::ABANDON_RECEIVE0;
using testing_support::Devnet;

namespace {

const char* const OTHER_ADDRESS = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";

class Payments : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();

    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "payments-test"));
    }
    void TearDown() override { dn.clear_faults(); }

    core::Json tx_json(const std::string& txid) { return dn.get("/woc/v1/bsv/main/tx/" + txid); }
    bool on_chain(const std::string& txid) { return chain::tx_known_quick(txid); }

    std::string pay(std::int64_t sats, const std::string& to = OTHER_ADDRESS) {
        core::Bytes h;
        wallet::hash160_from_address(to, h);
        wallet::WalletLock lock(wallet::wallet_mutex());
        return chain::pay_outputs({chain::TxOutput{sats, wallet::p2pkh_script(h)}}, {});
    }

    // A signed transaction from the wallet's coins, not yet broadcast.
    bool build_signed(std::vector<chain::TxInput>& inputs, std::vector<chain::TxOutput>& outputs, core::Bytes& change) {
        wallet::WalletLock lock(wallet::wallet_mutex());
        std::string error;
        if (!chain::change_hash(change, error) || !chain::prepare_payment_coins(error)) return false;
        if (!chain::gather_spendable(inputs, {}, false, error)) return false;
        core::Bytes h;
        wallet::hash160_from_address(OTHER_ADDRESS, h);
        outputs = {chain::TxOutput{1000, wallet::p2pkh_script(h)}};
        std::int64_t fee = 0;
        if (!chain::select_and_balance(inputs, 0, outputs, change, fee, error)) return false;
        const auto& w = wallet::wallet_state();
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (!chain::sign_input(i, inputs, outputs, inputs[i].private_key, inputs[i].public_key, inputs[i].key_hash))
                return false;
        (void)w;
        return true;
    }

    // The platform and WhatsOnChain refuse to broadcast: ARC alone takes it, or nobody.
    chain::BroadcastResult broadcast_by_arc_alone(const std::vector<chain::TxInput>& inputs,
                                                  const std::vector<chain::TxOutput>& outputs, const core::Bytes& change) {
        dn.fault({{"method", "POST"}, {"pathRegex", "^/svc/oi/submit"}, {"status", 500}, {"body", "down"}, {"count", 10}});
        dn.fault({{"method", "POST"}, {"pathRegex", "^/woc/v1/bsv/main/tx/raw"}, {"status", 500}, {"body", "down"},
                  {"count", 10}});
        chain::BroadcastResult got;
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            got = chain::broadcast_tx(inputs, outputs, change);
        }
        dn.clear_faults();
        return got;
    }

    std::string raw_hex(const std::vector<chain::TxInput>& in, const std::vector<chain::TxOutput>& out) {
        return core::to_hex(chain::serialize_tx(in, out, false));
    }
};

std::string txid_of(const std::string& result) { return result.rfind("success: ", 0) == 0 ? result.substr(9) : ""; }

}  // namespace

TEST_F(Payments, SecondPaymentSpendsTheFirstsChangeBeforeAnyIndexerListsIt) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 50000).empty());
    std::string first = txid_of(pay(5000));
    ASSERT_FALSE(first.empty());
    // From now on the indexers list nothing for this address.
    dn.fault({{"method", "GET"}, {"pathRegex", std::string("/address/") + ABANDON_RECEIVE0 + "/(unspent|unconfirmed)"},
              {"status", 200}, {"body", "[]"}, {"count", 1000}});
    std::string second = pay(3000);
    ASSERT_EQ(second.rfind("success: ", 0), 0u) << second;
    core::Json tx = tx_json(txid_of(second));
    ASSERT_TRUE(tx.is_object());
    ASSERT_EQ(tx["vin"].size(), 1u);
    EXPECT_EQ(tx["vin"][0]["txid"], first);
    EXPECT_TRUE(on_chain(first));
    EXPECT_TRUE(on_chain(txid_of(second)));
}

TEST_F(Payments, AdmissionAndRemovalPostingsHaveTheirOutputLayout) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 30000, true).empty());
    const auto& p = core::profile();
    std::string admission = chain::post_gallery_record(R"({"type":"art_enter"})", p.admission_address,
                                                       p.admission_address, 200);
    ASSERT_EQ(admission.rfind("success: ", 0), 0u) << admission;
    core::Json tx = tx_json(txid_of(admission));
    ASSERT_EQ(tx["vout"].size(), 3u);
    EXPECT_DOUBLE_EQ(tx["vout"][0]["value"].get<double>(), 0.000002);
    EXPECT_EQ(tx["vout"][0]["scriptPubKey"]["addresses"][0], p.admission_address);
    EXPECT_EQ(tx["vout"][1]["value"].get<double>(), 0.0);
    EXPECT_EQ(tx["vout"][1]["scriptPubKey"]["hex"], "006a" + core::to_hex(std::string("\x14")) +
                                                      core::to_hex(std::string(R"({"type":"art_enter"})")));
    EXPECT_EQ(tx["vout"][2]["scriptPubKey"]["addresses"][0], ABANDON_RECEIVE0);

    std::string removal = chain::post_gallery_record(R"({"type":"art_hide"})", p.frames[0], "", 0);
    ASSERT_EQ(removal.rfind("success: ", 0), 0u) << removal;
    tx = tx_json(txid_of(removal));
    ASSERT_EQ(tx["vout"].size(), 3u);
    EXPECT_DOUBLE_EQ(tx["vout"][0]["value"].get<double>(), 0.00000001);
    EXPECT_EQ(tx["vout"][0]["scriptPubKey"]["addresses"][0], p.frames[0]);
    EXPECT_EQ(tx["vout"][1]["scriptPubKey"]["hex"].get<std::string>().substr(0, 4), "006a");
    EXPECT_EQ(tx["vin"][0]["txid"], txid_of(admission));  // the admission's change, straight away
}

TEST_F(Payments, PostingRefusesBadAddressesAndAnEmptyRecord) {
    const auto& p = core::profile();
    EXPECT_EQ(chain::post_gallery_record("", p.frames[0], "", 0), "error: empty gallery payload.");
    EXPECT_EQ(chain::post_gallery_record("{}", "", "", 0), "error: gallery watch is not assigned.");
    EXPECT_EQ(chain::post_gallery_record("{}", "1notanaddress", "", 0), "error: gallery watch address decode failed.");
    EXPECT_EQ(chain::post_gallery_record("{}", p.frames[0], "", 10000), "error: gallery fee address decode failed.");
    EXPECT_EQ(chain::post_gallery_record("{}", p.frames[0], p.frames[1], 0).rfind("error: you have 0", 0), 0u);
}

TEST_F(Payments, AnUnreachableServiceIsNeverAnEmptyWallet) {
    dn.fund(ABANDON_RECEIVE0, 20000);
    // Neither the address lists nor the ordinals index answer.
    dn.fault({{"method", "GET"}, {"pathRegex", "(/address/|^/ord)"}, {"status", 503}, {"body", ""}, {"count", 1000}});
    const auto& p = core::profile();
    std::string result = chain::post_gallery_record("{}", p.frames[0], p.frames[1], 0);
    EXPECT_EQ(result.rfind("error: could not reach the chain service", 0), 0u) << result;
    EXPECT_EQ(result.find("you have 0"), std::string::npos) << result;
}

TEST_F(Payments, InscriptionsAndOneSatCoinsAreNeverSpent) {
    std::string origin = dn.inscribe(ABANDON_RECEIVE0, "image/png", "\x89PNG fake picture");
    ASSERT_FALSE(origin.empty());
    std::string one_a = dn.fund(ABANDON_RECEIVE0, 1);
    std::string one_b = dn.fund(ABANDON_RECEIVE0, 1, true);
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000).empty());
    std::string paid = pay(15000);
    ASSERT_EQ(paid.rfind("success: ", 0), 0u) << paid;
    core::Json tx = tx_json(txid_of(paid));
    ASSERT_FALSE(tx["vin"].empty());
    for (const auto& in : tx["vin"]) {
        EXPECT_NE(in["txid"], origin.substr(0, 64));
        EXPECT_NE(in["txid"], one_a);
        EXPECT_NE(in["txid"], one_b);
    }
    // What is left besides the 1-sat coins cannot pay 10 000: the 1-sat coins stay put.
    std::string refused = pay(10000);
    EXPECT_EQ(refused.rfind("error: insufficient funds.", 0), 0u) << refused;
    for (const auto& t : {origin.substr(0, 64), one_a, one_b})
        EXPECT_TRUE(dn.get("/woc/v1/bsv/main/tx/" + t + "/0/spent").is_null()) << t;
}

TEST_F(Payments, OnlyOneSatCoinsMeansNothingSpendable) {
    dn.fund(ABANDON_RECEIVE0, 1);
    dn.fund(ABANDON_RECEIVE0, 1);
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        wallet::wallet_state().cached_balance = 2;
    }
    EXPECT_EQ(pay(100), "error: Wendrel can see the balance, but not a coin it can spend yet. Try again in a few seconds.");
}

TEST_F(Payments, BroadcastLadderUnderFaults) {
    for (int i = 0; i < 6; ++i) ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000, true).empty());
    struct Case {
        const char* name;
        std::vector<core::Json> faults;
        bool preload;  // the transaction reaches the chain before the ladder runs
        std::string expect;  // "success" or the exact error text
        chain::BroadcastStatus status;
    };
    const std::string arc_detail = "Transaction is not in extended format and its parents could not be found "
                                   "by the service, so it could not be enriched before validation: Missing inputs";
    const std::string spent = "error: that coin is already spent in an unconfirmed transaction. Nothing was sent.";
    core::Json platform_fail = {{"method", "POST"}, {"pathRegex", "^/svc/oi/submit"}, {"status", 500}, {"body", "down"}};
    // WhatsOnChain's 500 lasts through the client's retries.
    core::Json woc_fail = {{"method", "POST"}, {"pathRegex", "^/woc/v1/bsv/main/tx/raw"}, {"status", 500}, {"body", "down"},
                           {"count", 5}};
    std::vector<Case> cases = {
        {"platform says ok false", {{{"method", "POST"}, {"pathRegex", "^/svc/oi/submit"}, {"status", 200},
                                     {"body", R"({"ok":false,"error":"busy"})"}}}, false, "success", chain::BroadcastStatus::Sent},
        {"platform answers text", {{{"method", "POST"}, {"pathRegex", "^/svc/oi/submit"}, {"status", 200},
                                    {"body", "accepted"}}}, false, "success", chain::BroadcastStatus::Sent},
        {"txn-already-known", {platform_fail, {{"method", "POST"}, {"pathRegex", "^/woc/v1/bsv/main/tx/raw"},
                                               {"status", 400}, {"body", "257: txn-already-known"}}}, true, "success",
         chain::BroadcastStatus::Sent},
        // ARC took it: its inputs are spent, though WhatsOnChain does not show it yet.
        {"arc seen, not at WhatsOnChain yet", {platform_fail, woc_fail, {{"method", "POST"}, {"pathRegex", "^/arc/v1/tx"},
                                                                        {"status", 200}, {"body", R"({"txStatus":"SEEN_ON_NETWORK"})"}}},
         false, "success", chain::BroadcastStatus::Sent},
        {"arc queued", {platform_fail, woc_fail, {{"method", "POST"}, {"pathRegex", "^/arc/v1/tx"}, {"status", 200},
                                                  {"body", R"({"txStatus":"QUEUED"})"}}},
         false, "success", chain::BroadcastStatus::Sent},
        // A refusal's body is read whole: the missing inputs are named past 120 bytes.
        {"arc refuses, missing inputs late in its detail", {platform_fail, woc_fail, {{"method", "POST"}, {"pathRegex", "^/arc/v1/tx"}, {"status", 460},
                                                 {"body", core::dump_compact({{"status", 460}, {"title", "Not extended format"}, {"txStatus", "REJECTED"},
                                                                              {"detail", arc_detail}})}}},
         false, "error: broadcast failed: " + arc_detail, chain::BroadcastStatus::MissingInputs},
        {"arc double spend", {platform_fail, woc_fail, {{"method", "POST"}, {"pathRegex", "^/arc/v1/tx"}, {"status", 200},
                                                        {"body", R"({"txStatus":"DOUBLE_SPEND_ATTEMPTED","extraInfo":"seen 1f2e"})"}}},
         false, spent, chain::BroadcastStatus::InputSpent},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
        core::Bytes change;
        ASSERT_TRUE(build_signed(inputs, outputs, change));
        std::string txid = chain::tx_id(chain::serialize_tx(inputs, outputs, false));
        if (c.preload) {
            ASSERT_FALSE(dn.post("/arc/v1/tx", {{"rawTx", raw_hex(inputs, outputs)}}).is_null());
        }
        for (auto& f : c.faults) dn.fault(f);
        chain::BroadcastResult got;
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            got = chain::broadcast_tx(inputs, outputs, change);
        }
        dn.clear_faults();
        wallet::WalletLock lock(wallet::wallet_mutex());
        EXPECT_EQ(got.status, c.status);
        EXPECT_EQ(got.txid, txid);
        if (c.expect == "success") {
            EXPECT_EQ(got.text, "success: " + txid);
            EXPECT_TRUE(chain::is_spent(inputs[0].txid, inputs[0].vout));
        } else {
            EXPECT_EQ(got.text, c.expect);
            EXPECT_FALSE(chain::is_spent(inputs[0].txid, inputs[0].vout)) << "a failed broadcast left a spent mark";
        }
        if (std::string(c.name) == "platform answers text") {
            // A 2xx without the service's {"ok":true} does not show the transaction arrived:
            // the next broadcaster is asked, and it is on the chain.
            EXPECT_TRUE(on_chain(txid));
        }
        if (std::string(c.name) == "platform says ok false") {
            EXPECT_TRUE(on_chain(txid));
        }
        // Start the next case from fresh listings.
        chain::age_listings(60000);
    }
}

TEST_F(Payments, ArcAloneWithItsKeyAndAQueuedAnswerSends) {
    for (int i = 0; i < 2; ++i) ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000, true).empty());
    dn.post("/devnet/switches", {{"arcKey", "k-7f3a"}, {"arcQueued", true}});
    for (const bool with_key : {false, true}) {
        SCOPED_TRACE(with_key ? "with the key" : "without the key");
        if (with_key)
            ::setenv("QUENVALE_ARC_KEY", "k-7f3a", 1);
        else
            ::unsetenv("QUENVALE_ARC_KEY");
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
        core::Bytes change;
        ASSERT_TRUE(build_signed(inputs, outputs, change));
        const std::string txid = chain::tx_id(chain::serialize_tx(inputs, outputs, false));
        const chain::BroadcastResult got = broadcast_by_arc_alone(inputs, outputs, change);
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (with_key) {
            EXPECT_EQ(got.text, "success: " + txid);
            EXPECT_TRUE(chain::is_spent(inputs[0].txid, inputs[0].vout));
            EXPECT_TRUE(on_chain(txid));
        } else {
            EXPECT_EQ(got.status, chain::BroadcastStatus::Failed) << got.text;
            EXPECT_FALSE(chain::is_spent(inputs[0].txid, inputs[0].vout));
        }
        chain::age_listings(60000);
    }
    ::unsetenv("QUENVALE_ARC_KEY");
    dn.post("/devnet/switches", {{"arcKey", ""}, {"arcQueued", false}});
}

TEST_F(Payments, AWhatsOnChainKeyFromTheEnvironmentGoesWithEveryWhatsOnChainRequest) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000, true).empty());
    dn.post("/devnet/switches", {{"wocKey", "w-19c2"}});
    ::unsetenv("QUENVALE_WOC_KEY");
    chain::UnspentResult r = chain::list_unspent(ABANDON_RECEIVE0, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "HTTP 401 \xE2\x80\x93 Unauthorized");
    ::setenv("QUENVALE_WOC_KEY", "w-19c2", 1);
    r = chain::list_unspent(ABANDON_RECEIVE0, false);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.coins.size(), 1u);
    // A whole payment: every WhatsOnChain request on the way carries the key.
    const std::string paid = pay(5000);
    EXPECT_EQ(paid.rfind("success: ", 0), 0u) << paid;
    ::unsetenv("QUENVALE_WOC_KEY");
    const core::Json state = dn.get("/devnet/state");
    dn.post("/devnet/switches", {{"wocKey", ""}});
    EXPECT_EQ(state["switches"]["wocKey"], "(set)");  // the key itself is never shown
}

TEST_F(Payments, ArcTakesTheExtendedFormatForAParentInNoBlockAndRefusesAStatedOutputThatDiffers) {
    // The coin's transaction is in no block: an ARC that cannot look parents up needs
    // the extended format, and the other broadcasters are down.
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000, false).empty());
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000, false).empty());
    dn.post("/devnet/switches", {{"arcRequireEf", true}});
    for (const bool honest : {false, true}) {
        SCOPED_TRACE(honest ? "as signed" : "a stated value that is not the coin's");
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
        core::Bytes change;
        ASSERT_TRUE(build_signed(inputs, outputs, change));
        const std::string txid = chain::tx_id(chain::serialize_tx(inputs, outputs, false));
        if (!honest) inputs[0].value += 1;
        const chain::BroadcastResult got = broadcast_by_arc_alone(inputs, outputs, change);
        wallet::WalletLock lock(wallet::wallet_mutex());
        if (honest) {
            EXPECT_EQ(got.text, "success: " + txid);
            EXPECT_TRUE(on_chain(txid));
        } else {
            EXPECT_EQ(got.status, chain::BroadcastStatus::Failed) << got.text;
            EXPECT_NE(got.text.find("previous output"), std::string::npos) << got.text;
            EXPECT_FALSE(chain::is_spent(inputs[0].txid, inputs[0].vout));
        }
        chain::age_listings(60000);
    }
    dn.post("/devnet/switches", {{"arcRequireEf", false}});
}

TEST_F(Payments, AWalletOf150OutputsListsEveryArtworkAndNeverOffersAnInscriptionToPay) {
    // 150 outputs at the payment address, more than the index's 100 rows a page: 40 plain
    // coins, 30 inscribed outputs worth more than those (not artworks, since only a
    // 1-sat output carries one, but never money either), then 80 artworks.
    std::set<std::string> inscribed, artworks;
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; i < 40; ++i) ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 1000, false).empty());
    for (int i = 0; i < 30; ++i) {
        const std::string origin = dn.inscribe(ABANDON_RECEIVE0, "image/png", png + "v" + std::to_string(i), 5000);
        ASSERT_FALSE(origin.empty());
        inscribed.insert(origin);
    }
    for (int i = 0; i < 80; ++i) {
        const std::string origin = dn.inscribe(ABANDON_RECEIVE0, "image/png", png + "a" + std::to_string(i));
        ASSERT_FALSE(origin.empty());
        inscribed.insert(origin);
        artworks.insert(origin);
    }
    dn.mine();

    // The status refresh reads the index, as before any payment.
    ASSERT_TRUE(wallet::refresh_wallet_status());
    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(ordinals::wallet_ordinals(rows), "");
    std::set<std::string> listed;
    for (const auto& r : rows) listed.insert(r.origin);
    for (const auto& o : artworks) EXPECT_TRUE(listed.count(o)) << o << " is not listed";

    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string error;
    ASSERT_TRUE(chain::prepare_payment_coins(error)) << error;
    std::vector<chain::TxInput> candidates;
    ASSERT_TRUE(chain::gather_spendable(candidates, {}, false, error)) << error;
    EXPECT_EQ(candidates.size(), 40u);
    for (const auto& in : candidates) {
        EXPECT_EQ(in.value, 1000);
        EXPECT_FALSE(inscribed.count(in.txid + "_" + std::to_string(in.vout))) << in.txid;
    }
}

TEST_F(Payments, ACoinOnALaterReceiveAddressIsFoundAndAnUnansweredLookIsNotTakenAsUnused) {
    std::string twelfth;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        ASSERT_TRUE(wallet::load_wallet());
        twelfth = wallet::receive_addresses(12, 12).at(0);
    }
    ASSERT_FALSE(dn.fund(twelfth, 30000, true).empty());
    auto counter = [] {
        wallet::WalletLock lock(wallet::wallet_mutex());
        return wallet::wallet_state().recv[1];
    };
    const auto before = counter();
    ASSERT_LT(before, 12u);
    // The history look-up fails: the scan says so and takes nothing as unused.
    dn.fault({{"method", "POST"}, {"pathRegex", "^/woc/v1/bsv/main/addresses/"}, {"status", 500}, {"body", "down"},
              {"count", 100}});
    EXPECT_NE(wallet::discover_receive_addresses(), "");
    EXPECT_EQ(counter(), before);
    dn.clear_faults();
    EXPECT_EQ(wallet::discover_receive_addresses(), "");
    EXPECT_EQ(counter(), 12u);
    // A status refresh then watches it: its coin is the only one there is to pay with.
    ASSERT_TRUE(wallet::refresh_wallet_status());
    const std::string paid = pay(20000);
    ASSERT_EQ(paid.rfind("success: ", 0), 0u) << paid;
    EXPECT_EQ(tx_json(txid_of(paid))["vin"].size(), 1u);
}

TEST_F(Payments, QuotedTxidWithLineFeedIsConfirmed) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000, true).empty());
    std::vector<chain::TxInput> inputs;
    std::vector<chain::TxOutput> outputs;
    core::Bytes change;
    ASSERT_TRUE(build_signed(inputs, outputs, change));
    std::string txid = chain::tx_id(chain::serialize_tx(inputs, outputs, false));
    ASSERT_FALSE(dn.post("/arc/v1/tx", {{"rawTx", raw_hex(inputs, outputs)}}).is_null());
    dn.fault({{"method", "POST"}, {"pathRegex", "^/svc/oi/submit"}, {"status", 503}, {"body", ""}});
    dn.fault({{"method", "POST"}, {"pathRegex", "^/woc/v1/bsv/main/tx/raw"}, {"status", 200}, {"body", "\"" + txid + "\"\n"}});
    wallet::WalletLock lock(wallet::wallet_mutex());
    EXPECT_EQ(chain::broadcast_tx(inputs, outputs, change).text, "success: " + txid);
}

TEST_F(Payments, UnspentListingPagesDedupesAndSortsAcrossSources) {
    const std::string t1 = std::string(62, '1') + "ab";
    const std::string t2 = std::string(62, '2') + "cd";
    const std::string base = std::string("/woc/v1/bsv/main/address/") + ABANDON_RECEIVE0;
    auto body = [](const std::string& txid, int value, const char* token) {
        core::Json page = {{"address", ABANDON_RECEIVE0},
                           {"result", {{{"tx_hash", txid}, {"tx_pos", 0}, {"value", value}, {"height", 5}}}},
                           {"error", ""}};
        if (token) page["nextPageToken"] = token;
        return core::dump_compact(page);
    };
    // The paged source repeats its token: paging stops at the second page.
    dn.fault({{"method", "GET"}, {"pathRegex", "^" + base + "/unspent/all"}, {"status", 200},
              {"body", body(t1, 700, "same")}, {"count", 50}});
    // The bare list names t1 again, byte-reversed; the mempool list adds t2.
    dn.fault({{"method", "GET"}, {"pathRegex", "^" + base + "/unspent$"}, {"status", 200},
              {"body", core::dump_compact(core::Json::array({{{"tx_hash", chain::reversed_txid(t1)}, {"tx_pos", 0}, {"value", 700}}}))}});
    dn.fault({{"method", "GET"}, {"pathRegex", "^" + base + "/unconfirmed/unspent"}, {"status", 200},
              {"body", body(t2, 900, nullptr)}});
    chain::UnspentResult r = chain::list_unspent(ABANDON_RECEIVE0, false);
    core::Json faults = dn.get("/devnet/faults")["faults"];
    dn.clear_faults();
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.coins.size(), 2u);
    EXPECT_EQ(r.coins[0].txid, t2);  // largest first
    EXPECT_EQ(r.coins[1].txid, t1);
    ASSERT_FALSE(faults.empty());
    EXPECT_EQ(faults[0]["fired"], 2);  // two pages of /unspent/all, then the token repeated

    // Every source failing gives the last HTTP error text.
    dn.fault({{"method", "GET"}, {"pathRegex", "^" + base + "/"}, {"status", 503}, {"body", "maintenance"}, {"count", 10}});
    r = chain::list_unspent(ABANDON_RECEIVE0, false);
    dn.clear_faults();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "HTTP 503 \xE2\x80\x93 maintenance");
}

TEST_F(Payments, DoubleSpentCoinIsSetAsideAndTheNextAttemptUsesAnother) {
    const std::string a = dn.fund(ABANDON_RECEIVE0, 8000, true);
    const std::string c = dn.fund(ABANDON_RECEIVE0, 7000, true);
    const std::string d = dn.fund(ABANDON_RECEIVE0, 5000, true);
    ASSERT_FALSE(a.empty() || c.empty() || d.empty());
    core::Bytes main_hash, other_hash;
    ASSERT_TRUE(wallet::hash160_from_address(ABANDON_RECEIVE0, main_hash));
    ASSERT_TRUE(wallet::hash160_from_address(OTHER_ADDRESS, other_hash));

    // Another copy of the wallet spends coin a; the transaction waits in the mempool.
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        std::vector<chain::TxInput> in(1);
        in[0].txid = a;
        in[0].vout = 0;
        in[0].value = 8000;
        std::vector<chain::TxOutput> out = {{7800, wallet::p2pkh_script(other_hash)}};
        std::string priv, pub;
        ASSERT_TRUE(wallet::find_key_for_address(ABANDON_RECEIVE0, priv, pub));
        ASSERT_TRUE(chain::sign_input(0, in, out, priv, pub, main_hash));
        core::cleanse(priv);
        core::Json sent = dn.post("/arc/v1/tx", {{"rawTx", raw_hex(in, out)}});
        ASSERT_EQ(core::json_string(sent, "txStatus"), "SEEN_ON_NETWORK") << sent.dump();
    }
    // The indexers have not seen that spend: every listing still shows all three coins.
    core::Json coins = core::Json::array();
    for (const auto& [txid, sats] : {std::pair{a, 8000}, std::pair{c, 7000}, std::pair{d, 5000}})
        coins.push_back({{"tx_hash", txid}, {"tx_pos", 0}, {"value", sats}, {"height", 2}});
    const std::string base = std::string("^/woc/v1/bsv/main/address/") + ABANDON_RECEIVE0;
    dn.fault({{"method", "GET"}, {"pathRegex", base + "/unspent"}, {"status", 200},
              {"body", core::dump_compact({{"result", coins}, {"error", ""}})}, {"count", 100}});
    dn.fault({{"method", "GET"}, {"pathRegex", base + "/unconfirmed/history"}, {"status", 200},
              {"body", R"({"result":[],"error":""})"}, {"count", 100}});

    // 10 000 sats take a and c; the services refuse that as a double spend of a. The
    // next attempt leaves a aside but uses c again, with d.
    std::string paid = pay(10000);
    ASSERT_EQ(paid.rfind("success: ", 0), 0u) << paid;
    core::Json tx = tx_json(txid_of(paid));
    std::set<std::string> used;
    for (const auto& in : tx["vin"]) used.insert(in["txid"].get<std::string>());
    EXPECT_EQ(used, (std::set<std::string>{c, d}));
    wallet::WalletLock lock(wallet::wallet_mutex());
    EXPECT_TRUE(chain::is_spent(a, 0));
}

TEST_F(Payments, UnreadableReserveStopsThePaymentBeforeAnyBroadcast) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 20000, true).empty());
    tp.write("gallery/reserves_w1.json", R"({"reserves":[{"pic_utxo":)");
    std::string refused = pay(1000);
    EXPECT_EQ(refused, "error: the reservation file " + tp.path("gallery/reserves_w1.json") +
                           " cannot be read, so no coin is spent and the file is left as it is until it is repaired.");
    EXPECT_TRUE(dn.get("/devnet/state")["mempool"].empty()) << "a transaction was sent";
    EXPECT_EQ(tp.read("gallery/reserves_w1.json"), R"({"reserves":[{"pic_utxo":)");
}

TEST_F(Payments, RecordTooLongToReadBackIsRefusedBeforeAnyCoinIsChosen) {
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 50000, true).empty());
    const auto& p = core::profile();
    auto record = [](std::size_t size) {
        std::string r = R"({"type":"art_note","text":")";
        r += std::string(size - r.size() - 2, 'x');
        return r + "\"}";
    };
    const std::string balance_path = std::string("/woc/v1/bsv/main/address/") + ABANDON_RECEIVE0 + "/unconfirmed/balance";
    core::Json before = dn.get(balance_path);
    EXPECT_EQ(chain::post_gallery_record(record(70000), p.frames[0], "", 0), "error: record too large.");
    EXPECT_TRUE(dn.get("/devnet/state")["mempool"].empty()) << "a transaction was sent";
    EXPECT_EQ(dn.get(balance_path), before);

    // The longest record a reader takes back is paid for.
    std::string posted = chain::post_gallery_record(record(65535), p.frames[0], "", 0);
    ASSERT_EQ(posted.rfind("success: ", 0), 0u) << posted;
    EXPECT_EQ(tx_json(txid_of(posted))["vout"][1]["scriptPubKey"]["hex"].get<std::string>().substr(0, 10), "006a4dffff");
}
