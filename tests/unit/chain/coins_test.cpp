// Coin bookkeeping without the network: journals with the fake clock, the hold-back
// rule, candidate order and filters, reservation files, the change address, balance.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/posting.h"
#include "chain/reservations.h"
#include "chain/spendable.h"
#include "core/files.h"
#include "core/hex.h"
#include "core/profile.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::ABANDON_IDENTITY;
using testing_support::ABANDON_RECEIVE0;
using testing_support::FakeClock;
using testing_support::TempPlatform;

namespace {

std::string txid(char c) { return std::string(64, c); }

class Coins : public ::testing::Test {
protected:
    TempPlatform tp;
    FakeClock clock;
    core::Profile profile;
    void SetUp() override {
        clock.install();
        profile.paymail_domain = "orvane.test";
        core::set_profile(profile);
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "coins-test", {.recv = {0, 1, 0, 0, 0, 0}}));
    }
    void TearDown() override { core::reset_profile(); }

    // A loaded listing for address, as a fetch would leave it.
    void list(const std::string& address, std::vector<chain::Coin> coins, std::int64_t balance = -1) {
        chain::FetchTask t;
        t.address = address;
        t.result.ok = true;
        t.result.coins = std::move(coins);
        t.balance = balance;
        t.mempool_filter = true;
        t.keep_cached = true;
        merge({t}, false);
    }
    void merge(std::vector<chain::FetchTask> tasks, bool with_inscriptions) {
        std::string error;
        ASSERT_TRUE(chain::merge_tasks(tasks, with_inscriptions, error)) << error;
    }
    // Replaces the gallery reserve's entries.
    void reserve(const std::vector<chain::ReserveEntry>& entries) {
        std::string error;
        ASSERT_TRUE(chain::update_reserve_entries(
            [&](std::vector<chain::ReserveEntry>& e) {
                e = entries;
                return true;
            },
            error))
            << error;
    }
    // A successful inscription listing of address that lists the given outpoints.
    void holds(const std::string& address, std::vector<std::string> outpoints) {
        chain::FetchTask t;
        t.address = address;
        t.result.ok = true;
        t.inscriptions_ok = true;
        t.inscriptions.insert(outpoints.begin(), outpoints.end());
        t.keep_cached = true;
        merge({t}, true);
    }
    std::vector<chain::TxInput> candidates(const std::vector<std::string>& held = {}) {
        std::vector<chain::TxInput> out;
        std::string error;
        chain::gather_spendable(out, held, false, error);
        EXPECT_EQ(error, "");
        return out;
    }
};

}  // namespace

TEST_F(Coins, OutpointSamenessIgnoresCaseAndByteOrder) {
    std::string t = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
    EXPECT_TRUE(chain::same_outpoint(t, 1, core::lower_ascii(t), 1));
    EXPECT_TRUE(chain::same_outpoint(t, 1, chain::reversed_txid(t), 1));
    EXPECT_FALSE(chain::same_outpoint(t, 1, t, 2));
    EXPECT_EQ(chain::reversed_txid("aabbcc"), "ccbbaa");
    EXPECT_EQ(chain::outpoint_key("AB", 3), "ab:3");
}

TEST_F(Coins, FileWordsKeepTheNamesStoredFilesHave) {
    EXPECT_EQ(chain::wallet_key_word(), "w1");
    wallet::bind_wallet_in_memory("T", "a-b_c");
    EXPECT_EQ(chain::wallet_key_word(), "a_b_c");  // journals: "-" written as "_"
    EXPECT_EQ(chain::reserve_file_path(), tp.path("gallery/reserves_a-b_c.json"));
    EXPECT_EQ(chain::offer_locks_path(), tp.path("gallery/offer_locks_a-b_c.json"));
    wallet::bind_wallet_in_memory("T", "");
    EXPECT_EQ(chain::reserve_file_path(), tp.path("gallery/reserves_none.json"));
    EXPECT_EQ(chain::offer_locks_path(), tp.path("gallery/offer_locks_none.json"));
    wallet::WalletLock lock(wallet::wallet_mutex());
    EXPECT_EQ(chain::wallet_key_word(), ABANDON_RECEIVE0);  // no bound id: the main address
}

TEST_F(Coins, SpentMarkHoldsForTwentySecondsAgainstTheIndexer) {
    chain::Coin c{txid('a'), 0, 5000, 10};
    wallet::WalletLock lock(wallet::wallet_mutex());
    chain::mark_spent(c.txid, c.vout);
    EXPECT_TRUE(chain::is_spent(chain::reversed_txid(c.txid), 0));
    clock.advance(5000);
    list(ABANDON_RECEIVE0, {c});  // still listed 5 s after the mark
    EXPECT_TRUE(chain::is_spent(c.txid, 0));
    EXPECT_TRUE(candidates().empty());
    clock.advance(20000);
    list(ABANDON_RECEIVE0, {c});  // 25 s after the mark the listing wins
    EXPECT_FALSE(chain::is_spent(c.txid, 0));
    ASSERT_EQ(candidates().size(), 1u);
}

TEST_F(Coins, JournalsSurviveInFilesAndCountAsOld) {
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        chain::mark_spent("0b" + txid('b').substr(2), 2);
    }
    core::Json spent;
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1_spent.json"), spent));
    EXPECT_EQ(spent["outpoints"].size(), 2u);  // the txid as given and reversed
    wallet::forget_wallet();
    ASSERT_TRUE(wallet::load_wallet());
    wallet::WalletLock lock(wallet::wallet_mutex());
    EXPECT_TRUE(chain::is_spent("0b" + txid('b').substr(2), 2));
    list(ABANDON_RECEIVE0, {{"0b" + txid('b').substr(2), 2, 700, 5}});  // a mark read from the file has no time: old
    EXPECT_FALSE(chain::is_spent("0b" + txid('b').substr(2), 2));
}

TEST_F(Coins, JournalSavesKeepOtherProcessesMarksAndNeverOverwriteABrokenFile) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    chain::mark_spent(txid('a'), 0);
    // Another program working for the same wallet marks a coin and keeps a change coin.
    core::Json spent;
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1_spent.json"), spent));
    spent["outpoints"].push_back(txid('b') + ":1");
    tp.write("ord_snap/w1_spent.json", core::dump_compact(spent));
    std::string p, k, second;
    ASSERT_TRUE(wallet::derive_path(wallet::receive_path(1), p, k, second));
    tp.write("ord_snap/w1_change.json", core::dump_compact({{"coins", {{{"txid", txid('c')}, {"vout", 2},
                                                                         {"sats", 4000}, {"addr", second}}}}}));
    chain::mark_spent(txid('d'), 3);
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1_spent.json"), spent));
    std::set<std::string> keys(spent["outpoints"].begin(), spent["outpoints"].end());
    EXPECT_EQ(keys, (std::set<std::string>{txid('a') + ":0", txid('b') + ":1", txid('d') + ":3"}));
    EXPECT_TRUE(chain::is_spent(txid('b'), 1));  // and this process honours the other's mark

    core::Bytes h;
    ASSERT_TRUE(wallet::hash160_from_address(ABANDON_RECEIVE0, h));
    chain::TxInput in;
    in.txid = txid('e');
    in.value = 9000;
    in.key_hash = h;
    chain::register_broadcast({in}, {{8800, wallet::p2pkh_script(h)}}, txid('9'));
    core::Json change;
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1_change.json"), change));
    ASSERT_EQ(change["coins"].size(), 2u);
    EXPECT_EQ(change["coins"][0]["txid"], txid('c'));
    EXPECT_EQ(change["coins"][1]["txid"], txid('9'));

    // A mark this process lets go of stays gone from the file.
    clock.advance(25000);
    list(ABANDON_RECEIVE0, {{txid('a'), 0, 700, 5}});
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1_spent.json"), spent));
    keys = std::set<std::string>(spent["outpoints"].begin(), spent["outpoints"].end());
    EXPECT_EQ(keys.count(txid('a') + ":0"), 0u);
    EXPECT_EQ(keys.count(txid('b') + ":1"), 1u);

    // A journal that cannot be read is left as it is; memory still knows the mark.
    tp.write("ord_snap/w1_spent.json", "{\"outpoints\": [");
    chain::mark_spent(txid('f'), 0);
    EXPECT_EQ(tp.read("ord_snap/w1_spent.json"), "{\"outpoints\": [");
    EXPECT_TRUE(chain::is_spent(txid('f'), 0));
}

TEST_F(Coins, OneSatCoinsAreHeldBackUnlessAFreshIndexListingClearsThem) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    chain::Coin one{txid('c'), 0, 1, 5}, insc{txid('d'), 0, 1, 5}, big{txid('e'), 1, 9000, 5};
    list(ABANDON_RECEIVE0, {one, insc, big});
    EXPECT_TRUE(chain::is_held_back(ABANDON_RECEIVE0, one));  // no inscription listing yet
    EXPECT_FALSE(chain::is_held_back(ABANDON_RECEIVE0, big));
    // That listing asked for no inscriptions, which marks the index unavailable for 20 s.
    holds(ABANDON_RECEIVE0, {chain::outpoint_key(insc.txid, 0)});
    EXPECT_TRUE(chain::is_held_back(ABANDON_RECEIVE0, one));
    clock.advance(20000);
    holds(ABANDON_RECEIVE0, {chain::outpoint_key(insc.txid, 0)});
    EXPECT_FALSE(chain::is_held_back(ABANDON_RECEIVE0, one));
    EXPECT_TRUE(chain::is_held_back(ABANDON_RECEIVE0, insc));
    EXPECT_TRUE(chain::is_held_back("", insc));  // any hold set listing it holds it
    clock.advance(21000);
    EXPECT_TRUE(chain::is_held_back(ABANDON_RECEIVE0, one));  // the listing is too old now
    holds(ABANDON_RECEIVE0, {});
    // An index failure holds every 1-sat coin for 20 seconds.
    chain::FetchTask failed;
    failed.address = ABANDON_RECEIVE0;
    failed.result.ok = true;
    merge({failed}, true);
    EXPECT_TRUE(chain::is_held_back(ABANDON_RECEIVE0, one));
    EXPECT_FALSE(chain::is_held_back(ABANDON_RECEIVE0, big));
}

TEST_F(Coins, CandidatesAreConfirmedFirstThenLargestAndSkipReservedOnes) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string p, k, second;
    ASSERT_TRUE(wallet::derive_path(wallet::receive_path(1), p, k, second));
    list(ABANDON_RECEIVE0, {{txid('1'), 0, 500, 0}, {txid('2'), 0, 800, 7}, {txid('3'), 0, 9000, 0}, {txid('4'), 0, 100, 7}});
    list(second, {{txid('5'), 3, 700, 9}, {"bad", 0, 5000, 9}});
    list(ABANDON_IDENTITY, {{txid('6'), 0, 2000, 9}});
    auto c = candidates();
    ASSERT_EQ(c.size(), 6u);
    std::vector<std::int64_t> values;
    for (const auto& in : c) values.push_back(in.value);
    EXPECT_EQ(values, (std::vector<std::int64_t>{2000, 800, 700, 100, 9000, 500}));
    EXPECT_EQ(wallet::address_from_hash160(c[2].key_hash), second);  // each coin signs with its own key

    // The gallery reserve, another application's listing and the caller's held ids.
    chain::ReserveEntry e;
    e.pic_utxo = txid('2') + ":0";
    e.cert_utxo = txid('9') + "_0";
    e.pic = "pic";
    reserve({e});
    tp.write("velmora/reserves_w1.json", R"({"reserves":[{"utxo":")" + core::lower_ascii(txid('6')) + R"(_0"}]})");
    tp.write("tradora/reserves_w1.json", R"({"holds":[{"utxo":")" + txid('4') + R"(_0"}]})");
    c = candidates({txid('5') + "_3"});
    values.clear();
    for (const auto& in : c) values.push_back(in.value);
    EXPECT_EQ(values, (std::vector<std::int64_t>{9000, 500}));
    std::vector<chain::TxInput> with_trades;
    std::string error;
    chain::gather_spendable(with_trades, {}, true, error);  // trade holds allowed: the tradora coin is back
    EXPECT_EQ(with_trades.size(), 4u);
}

TEST_F(Coins, ExpiredReserveEntriesFreeTheirCoins) {
    tp.write("gallery/reserves_w1.json", R"({"note":"kept","reserves":[]})");
    chain::ReserveEntry e;
    e.pic_utxo = txid('7') + "_0";
    e.exp = clock.wall / 1000 - 1;
    reserve({e});
    EXPECT_FALSE(chain::is_reserved_coin(txid('7'), 0));
    e.exp = 0;
    reserve({e});
    EXPECT_TRUE(chain::is_reserved_coin(core::lower_ascii(txid('7')), 0));
    core::Json j;
    ASSERT_TRUE(core::parse_json(tp.read("gallery/reserves_w1.json"), j));
    EXPECT_EQ(j["note"], "kept");
    EXPECT_EQ(j["reserves"][0]["pic_utxo"], txid('7') + "_0");
}

TEST_F(Coins, UnreadableReservationFilesReserveEveryCoinAndStayAsTheyAre) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    list(ABANDON_RECEIVE0, {{txid('1'), 0, 5000, 3}});
    ASSERT_EQ(candidates().size(), 1u);
    struct Case {
        const char* file;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"gallery/reserves_w1.json", "{broken"},
        {"gallery/reserves_w1.json", R"({"reserves":"everything"})"},
        {"gallery/reserves_w1.json", ""},
        {"gallery/offer_locks_w1.json", R"(["not","an","object"])"},
        {"gallery/offer_locks_w1.json", R"({"utxos":{"a":1}})"},
        {"velmora/reserves_w1.json", R"({"reserves":[)"},
        {"tradora/reserves_w1.json", "nul"},
    };
    chain::ReserveEntry e;
    e.pic_utxo = txid('2') + "_0";
    e.pic = "pic";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " holding " + c.text);
        tp.write(c.file, c.text);
        std::vector<chain::TxInput> out;
        std::string error;
        EXPECT_FALSE(chain::gather_spendable(out, {}, false, error));
        EXPECT_TRUE(out.empty());
        EXPECT_NE(error.find(tp.path(c.file)), std::string::npos) << error;

        std::string file(c.file);
        if (file.rfind("gallery/reserves", 0) == 0) {
            EXPECT_TRUE(chain::is_reserved_coin(txid('1'), 0));
            std::vector<chain::ReserveEntry> entries;
            EXPECT_FALSE(chain::read_reserve_entries(entries, error));
            error.clear();
            EXPECT_FALSE(chain::update_reserve_entries(
                [&](std::vector<chain::ReserveEntry>& list) {
                    list.push_back(e);
                    return true;
                },
                error));
            EXPECT_NE(error.find(tp.path(c.file)), std::string::npos) << error;
        }
        if (file.rfind("gallery/offer_locks", 0) == 0) {
            error.clear();
            EXPECT_FALSE(chain::add_offer_locks({txid('3') + "_1"}, error));
            EXPECT_NE(error.find(tp.path(c.file)), std::string::npos) << error;
            EXPECT_FALSE(chain::remove_offer_locks({txid('3') + "_1"}, error));
        }
        EXPECT_EQ(tp.read(c.file), c.text);
        std::remove(tp.path(c.file).c_str());
    }
    EXPECT_EQ(candidates().size(), 1u);
}

TEST_F(Coins, OfferLocksDropSpentCoinsAndKeepOtherMembers) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    tp.write("gallery/offer_locks_w1.json",
             R"({"note":"keep","utxos":[")" + txid('a') + R"(_0",")" + txid('b') + R"(_1"]})");
    list(ABANDON_RECEIVE0, {{txid('b'), 1, 5000, 3}, {txid('c'), 0, 6000, 3}});
    chain::mark_spent(txid('a'), 0);
    auto c = candidates();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].txid, txid('c'));
    core::Json locks;
    ASSERT_TRUE(core::parse_json(tp.read("gallery/offer_locks_w1.json"), locks));
    EXPECT_EQ(locks["utxos"], core::Json::array({txid('b') + "_1"}));
    EXPECT_EQ(locks["note"], "keep");
}

TEST_F(Coins, ChangeOfTheLastBroadcastIsACandidateForTwentySeconds) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    core::Bytes h;
    ASSERT_TRUE(wallet::hash160_from_address(ABANDON_RECEIVE0, h));
    chain::TxInput in;
    in.txid = txid('f');
    in.vout = 0;
    in.value = 10000;
    in.key_hash = h;
    std::vector<chain::TxOutput> outs = {{200, wallet::p2pkh_script(core::Bytes(20, 1))}, {9777, wallet::p2pkh_script(h)}};
    std::string sent = txid('9');
    chain::register_broadcast({in}, outs, sent);
    EXPECT_TRUE(chain::is_spent(txid('f'), 0));
    auto c = candidates();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].txid, sent);
    EXPECT_EQ(c[0].vout, 1u);
    EXPECT_EQ(c[0].height, 0);
    core::Json change;
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1_change.json"), change));
    EXPECT_EQ(change["coins"][0]["addr"], ABANDON_RECEIVE0);
    EXPECT_EQ(change["coins"][0]["sats"], 9777);
    // The listing made for it keeps it a candidate after the journal's 20 seconds...
    clock.advance(21000);
    EXPECT_EQ(candidates().size(), 1u);
    // ...until a fresh listing that replaces the cache no longer shows it.
    chain::FetchTask t;
    t.address = ABANDON_RECEIVE0;
    t.result.ok = true;
    merge({t}, false);
    EXPECT_TRUE(candidates().empty());
}

TEST_F(Coins, ChangeAvoidsHouseOracleAddresses) {
    std::string p, k, second;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        ASSERT_TRUE(wallet::derive_path(wallet::receive_path(1), p, k, second));
    }
    profile.house = {core::HouseRow{"h", "House", "oracle", {ABANDON_RECEIVE0, "", ""}}};
    core::set_profile(profile);
    wallet::WalletLock lock(wallet::wallet_mutex());
    core::Bytes h;
    std::string error;
    ASSERT_TRUE(chain::change_hash(h, error));
    EXPECT_EQ(wallet::address_from_hash160(h), second);
    profile.house[0].addresses[2] = second;
    core::set_profile(profile);
    EXPECT_FALSE(chain::change_hash(h, error));
    EXPECT_EQ(error, "change would land on a house oracle.");
}

TEST_F(Coins, BalanceComesFromTheMainListingAndTheBalanceFile) {
    wallet::WalletLock lock(wallet::wallet_mutex());
    EXPECT_EQ(chain::wallet_balance(), -1);  // nothing loaded yet
    list(ABANDON_RECEIVE0, {{txid('1'), 0, 3000, 5}, {txid('2'), 0, 1, 5}});
    EXPECT_EQ(chain::wallet_balance(), 3000);  // the 1-sat coin is held back
    list(ABANDON_RECEIVE0, {{txid('1'), 0, 3000, 5}}, 4500);
    EXPECT_EQ(chain::wallet_balance(), 4500);  // the indexer's balance wins when known
    chain::write_balance_file(4500, ABANDON_RECEIVE0);
    EXPECT_EQ(chain::read_balance_file(ABANDON_RECEIVE0), 4500);
    EXPECT_EQ(chain::read_balance_file(ABANDON_IDENTITY), -1);
    // After a payment the indexer may lag: never show more than 8000 below expectation.
    wallet::wallet_state().cached_balance = 50000;
    chain::balance_after_payment(1000);
    EXPECT_EQ(wallet::wallet_state().cached_balance, 49000);
}

TEST(UnspentList, ParsesBothShapesAndSkipsUnusableEntries) {
    std::vector<chain::Coin> coins;
    std::string t = std::string(64, 'a');
    ASSERT_TRUE(chain::parse_unspent_list(
        R"([{"tx_hash":")" + t + R"(","tx_pos":2,"value":5,"height":7},{"txid":")" + t +
            R"(","vout":3,"value":6},{"tx_hash":"short","value":9},{"tx_hash":")" + t +
            R"(","value":0},{"tx_hash":")" + t + R"(","value":8,"isSpentInMempoolTx":true},7])",
        coins));
    ASSERT_EQ(coins.size(), 2u);
    EXPECT_EQ(coins[0].vout, 2u);
    EXPECT_EQ(coins[0].height, 7);
    EXPECT_EQ(coins[1].vout, 3u);
    EXPECT_EQ(coins[1].height, -1);
    coins.clear();
    ASSERT_TRUE(chain::parse_unspent_list(R"({"address":"x","result":[{"tx_hash":")" + t + R"(","value":4}]})", coins));
    EXPECT_EQ(coins.size(), 1u);
    EXPECT_FALSE(chain::parse_unspent_list(R"({"result":"no"})", coins));
    EXPECT_FALSE(chain::parse_unspent_list("<html>", coins));
}

TEST(RecordPosting, OutputsAndHeldOfferCoins) {
    core::Profile p;
    core::set_profile(p);
    std::vector<chain::TxOutput> outs;
    std::string error;
    const std::string watch = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";
    ASSERT_TRUE(chain::record_outputs("{}", watch, watch, 200, outs, error));
    ASSERT_EQ(outs.size(), 2u);  // the fee already touches the watch address
    EXPECT_EQ(outs[0].value, 200);
    EXPECT_EQ(outs[1].value, 0);
    ASSERT_TRUE(chain::record_outputs("{}", watch, ABANDON_RECEIVE0, 10000, outs, error));
    ASSERT_EQ(outs.size(), 3u);
    EXPECT_EQ(outs[1].value, 1);
    ASSERT_TRUE(chain::record_outputs("{}", watch, "", 0, outs, error));
    ASSERT_EQ(outs.size(), 2u);
    EXPECT_EQ(outs[0].value, 1);

    // A one-input offer: version, 1 input, txid, vout 5, empty script, sequence, 1 output, lock time.
    std::string offer = "01000000" "01" + std::string(62, '0') + "ab" + "05000000" "00" "ffffffff" "01" +
                        "0100000000000000" "00" "00000000";
    auto ids = chain::offer_held_coins(R"({"offer":")" + offer + R"("})");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0], "ab" + std::string(62, '0') + "_5");
    EXPECT_TRUE(chain::offer_held_coins(R"({"offer":"abcd"})").empty());
    EXPECT_TRUE(chain::offer_held_coins("not json").empty());
    core::reset_profile();
}
