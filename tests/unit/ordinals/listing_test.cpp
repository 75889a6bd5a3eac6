// The wallet's ordinals list against a scripted index: addresses asked, rows and kinds,
// the owned list and snapshot it keeps, outputs rechecked one by one, credentials from
// the issuer, the error texts, and the 60-second list cache on the fake clock.
#include "ordinals/listing.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <thread>

#include "chain/coin_state.h"
#include "core/files.h"
#include "core/hex.h"
#include "ordinals/caches.h"
#include "ordinals/snapshot.h"
#include "ordinals/watch.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

using namespace ord_test;

namespace {

std::string unspent(const std::string& a) { return "/ord/api/txos/address/" + a + "/unspent"; }
std::string tokens(const std::string& a) { return "/ord/api/bsv20/" + a + "/unspent"; }
// WhatsOnChain's JSON of a transaction with one output.
core::Json one_output_tx(const std::string& id) {
    return {{"txid", id}, {"vout", core::Json::array({{{"n", 0}, {"value", 1e-8}}})}};
}

class Listing : public WalletFixture {
protected:
    std::vector<std::string> watched() {
        std::vector<std::string> out;
        for (const auto& w : ordinals::ordinals_watch_addresses()) out.push_back(w.address);
        return out;
    }
    // Every watched address answers an empty list; ABANDON_ORDINALS0 answers txos, as
    // the index pages them: `limit` rows (100 at most, and unless asked) from `offset`.
    void index(const core::Json& ord0_txos) {
        for (const auto& a : watched()) {
            services.json(unspent(a), core::Json::array());
            services.json(tokens(a), core::Json::array());
        }
        services.on(unspent(ABANDON_ORDINALS0), [ord0_txos](const httplib::Request& req, httplib::Response& res) {
            const std::size_t limit = req.has_param("limit") ? std::stoul(req.get_param_value("limit")) : 100;
            const std::size_t offset = req.has_param("offset") ? std::stoul(req.get_param_value("offset")) : 0;
            core::Json page = core::Json::array();
            for (std::size_t i = offset; i < ord0_txos.size() && i < offset + std::min<std::size_t>(limit, 100); ++i)
                page.push_back(ord0_txos[i]);
            res.set_content(core::dump_compact(page), "application/json");
        });
    }
    std::size_t index_queries() { return services.count_prefix("/ord/api/txos/address/"); }
    std::string list(std::vector<ordinals::OvWendrelOrdRow>& rows) { return ordinals::ov_wendrel_list_ordinals(rows, true, false); }
    const ordinals::OvWendrelOrdRow* find(const std::vector<ordinals::OvWendrelOrdRow>& rows, const std::string& origin) {
        for (const auto& r : rows)
            if (r.origin == origin) return &r;
        return nullptr;
    }
};

core::Json artwork(char c, const std::string& name = "Art") { return txo(txid(c), 0, ABANDON_ORDINALS0, gallery_data("image/png", name)); }

}  // namespace

TEST_F(Listing, WatchedAddresses) {
    struct Case {
        std::array<std::int64_t, 6> recv;
        std::size_t count;
    };
    // identity + receive + ordinals 0..recv[5] + five chain-1 addresses
    std::vector<Case> cases = {{{0, 0, 0, 0, 0, 0}, 8}, {{0, 3, 0, 0, 0, 2}, 10}};
    for (const auto& c : cases) {
        testing_support::write_hd_wallet(tp, {.recv = c.recv});
        wallet::clear_wallet_state();
        ASSERT_TRUE(wallet::load_wallet());
        auto w = ordinals::ordinals_watch_addresses();
        ASSERT_EQ(w.size(), c.count);
        EXPECT_EQ(w[0].address, ABANDON_IDENTITY);
        EXPECT_EQ(w[1].address, ABANDON_RECEIVE0);
        EXPECT_FALSE(w[1].ordinals);
        EXPECT_EQ(w[2].address, ABANDON_ORDINALS0);
        EXPECT_TRUE(w[2].ordinals);
    }
}

TEST_F(Listing, BuildsRowsAndKeepsTheOwnedListAndSnapshot) {
    core::Json cert_data = gallery_data("application/json", "Certificate of Art");
    core::Json spent = artwork('c', "Gone");
    spent["spend"] = txid('f');
    core::Json plain = {{"txid", txid('d')}, {"vout", 1}, {"satoshis", 5000}, {"origin", nullptr}, {"data", core::Json::object()}};
    core::Json no_kind = txo(txid('e'), 0, ABANDON_ORDINALS0, gallery_data("text/plain", "Poem"));
    index(core::Json::array({artwork('a', std::string(60, 'L')), txo(txid('b'), 0, ABANDON_ORDINALS0, cert_data), spent, plain, no_kind,
                             artwork('a', "duplicate listing")}));
    ordinals::kind_cache_store(txid('e'), "Artwork");  // the kind lookup decided it earlier

    std::vector<ordinals::OvWendrelOrdRow> rows(3);  // replaced, not appended to
    ASSERT_EQ(list(rows), "");
    ASSERT_EQ(rows.size(), 3u);
    const auto* art = find(rows, txid('a') + "_0");
    const auto* cert = find(rows, txid('b') + "_0");
    const auto* poem = find(rows, txid('e') + "_0");
    ASSERT_TRUE(art && cert && poem);
    EXPECT_EQ(art->kind, "Artwork");
    EXPECT_EQ(art->name, std::string(48, 'L'));
    EXPECT_EQ(art->address, ABANDON_ORDINALS0);
    EXPECT_EQ(cert->kind, "Certificate");
    EXPECT_EQ(poem->kind, "Artwork");

    // Every watched address was asked once for inscriptions and once for tokens.
    for (const auto& a : watched()) {
        EXPECT_EQ(services.count(unspent(a)), 1u) << a;
        EXPECT_EQ(services.count(tokens(a)), 1u) << a;
    }

    core::Json doc = wallet_doc();
    ASSERT_EQ(doc["ord_owned"].size(), 3u);
    EXPECT_EQ(doc["ord_owned"][0]["origin"], txid('a') + "_0");
    EXPECT_EQ(doc["ord_owned"][0]["type"], "image/png");
    EXPECT_EQ(doc["ord_owned"][0]["address"], ABANDON_ORDINALS0);

    ordinals::Snapshot snap;
    ASSERT_TRUE(ordinals::read_snapshot("w1", snap));
    EXPECT_EQ(snap.lots.size(), 3u);
    EXPECT_EQ(snap.txids.size(), 3u);
}

TEST_F(Listing, ErrorTexts) {
    std::vector<ordinals::OvWendrelOrdRow> rows;
    // The index answers nothing at all.
    EXPECT_EQ(list(rows), ordinals::ERR_INDEX_DOWN);
    EXPECT_TRUE(rows.empty());
    // The index answers, but the wallet holds nothing: a success with no rows.
    index(core::Json::array());
    EXPECT_EQ(list(rows), "");
    EXPECT_TRUE(rows.empty());
    // ...which is not cached: each cached read asks again.
    std::size_t before = index_queries();
    EXPECT_EQ(ordinals::wallet_ordinals(rows), "");
    EXPECT_EQ(ordinals::wallet_ordinals(rows), "");
    EXPECT_EQ(index_queries(), before + 2 * watched().size());
    // Only the token listing answers: still no index.
    services.clear();
    for (const auto& a : watched()) services.json(tokens(a), core::Json::array());
    EXPECT_EQ(list(rows), ordinals::ERR_INDEX_DOWN);
    // No wallet.
    wallet::clear_wallet_state();
    wallet::remove_binding();
    EXPECT_EQ(list(rows), ordinals::ERR_NO_WALLET);
    EXPECT_EQ(ordinals::wallet_ordinals(rows), ordinals::ERR_NO_WALLET);
}

TEST_F(Listing, WalletChangedWhileTheIndexWasAsked) {
    core::Json other = testing_support::hd_wallet_document({.recv = {0, 1, 0, 0, 0, 0}, .extra = {{"show", 1}}});
    tp.write("wallets/w2/wallet.json", core::dump_pretty(other));
    index(core::Json::array({artwork('a')}));
    auto switched = std::make_shared<std::once_flag>();
    services.on(unspent(ABANDON_ORDINALS0), [switched](const httplib::Request&, httplib::Response& res) {
        std::call_once(*switched, [] {
            wallet::clear_wallet_state();
            wallet::bind_wallet_in_memory("Quenvale", "w2");
        });
        res.set_content("[]", "application/json");
    });
    std::vector<ordinals::OvWendrelOrdRow> rows;
    EXPECT_EQ(list(rows), ordinals::ERR_WALLET_CHANGED);
    EXPECT_FALSE(core::file_exists(tp.path("ord_snap/w1.json")));
    EXPECT_FALSE(core::file_exists(tp.path("ord_snap/w2.json")));
}

TEST_F(Listing, TheListCacheServesASixtySecondWindow) {
    index(core::Json::array({artwork('a')}));
    std::vector<ordinals::OvWendrelOrdRow> rows;
    const std::size_t per_build = watched().size();

    ASSERT_EQ(ordinals::wallet_ordinals(rows), "");  // nothing cached yet: builds
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(index_queries(), per_build);

    clock.advance(60000);  // exactly 60 seconds old: still fresh
    rows.clear();
    ASSERT_EQ(ordinals::wallet_ordinals(rows), "");
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(index_queries(), per_build);

    // A place-list always asks the index, and its build restarts the window.
    ASSERT_EQ(list(rows), "");
    EXPECT_EQ(index_queries(), 2 * per_build);
    clock.advance(59000);
    ASSERT_EQ(ordinals::wallet_ordinals(rows), "");
    EXPECT_EQ(index_queries(), 2 * per_build);

    clock.advance(1001);  // now older than 60 seconds
    ASSERT_EQ(ordinals::wallet_ordinals(rows), "");
    EXPECT_EQ(index_queries(), 3 * per_build);

    // The cache belongs to its wallet: another key word builds anew.
    tp.write("wallets/w2/wallet.json", tp.read("wallets/w1/wallet.json"));
    wallet::clear_wallet_state();
    wallet::bind_wallet_in_memory("Quenvale", "w2");
    ASSERT_EQ(ordinals::wallet_ordinals(rows), "");
    EXPECT_EQ(index_queries(), 4 * per_build);
}

TEST_F(Listing, CallersOnAStaleCacheShareOneBuild) {
    struct Case {
        const char* name;
        bool first_is_place_list;  // a place-list build always runs; a cached read may wait for it
        int status;                // of the held index reply for ABANDON_ORDINALS0
        core::Json txos;
        std::string result;
        std::size_t rows;
    };
    const std::vector<Case> cases = {
        {"rows found", false, 200, core::Json::array({artwork('a')}), "", 1},
        {"nothing held", false, 200, core::Json::array(), "", 0},
        {"index down", false, 503, core::Json::array(), ordinals::ERR_INDEX_DOWN, 0},
        {"behind a place-list", true, 200, core::Json::array({artwork('a')}), "", 1},
    };
    auto waiting = [] {
        auto& c = ordinals::list_cache();
        std::lock_guard<std::mutex> lock(c.mutex);
        return c.waiting;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A cache that was fresh once and is stale now.
        services.clear();
        index(core::Json::array({artwork('b')}));
        std::vector<ordinals::OvWendrelOrdRow> first, second;
        ASSERT_EQ(ordinals::wallet_ordinals(first), "");
        clock.advance(ordinals::LIST_CACHE_MS + 1);
        if (c.status != 200)
            for (const auto& a : watched()) services.reply(unspent(a), c.status, "down");

        // The index holds its reply for ABANDON_ORDINALS0 until the second caller waits.
        std::mutex m;
        std::condition_variable cv;
        bool reached = false, released = false;
        services.on(unspent(ABANDON_ORDINALS0), [&](const httplib::Request&, httplib::Response& res) {
            std::unique_lock<std::mutex> lock(m);
            reached = true;
            cv.notify_all();
            cv.wait_for(lock, std::chrono::seconds(20), [&] { return released; });
            res.status = c.status;
            res.set_content(core::dump_compact(c.txos), "application/json");
        });
        const std::size_t before = services.count(unspent(ABANDON_ORDINALS0));
        std::string first_result, second_result;
        std::thread one([&] { first_result = c.first_is_place_list ? list(first) : ordinals::wallet_ordinals(first); });
        {
            std::unique_lock<std::mutex> lock(m);
            cv.wait_for(lock, std::chrono::seconds(20), [&] { return reached; });
        }
        std::thread two([&] { second_result = ordinals::wallet_ordinals(second); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (waiting() < 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        EXPECT_EQ(waiting(), 1);
        {
            std::lock_guard<std::mutex> lock(m);
            released = true;
        }
        cv.notify_all();
        one.join();
        two.join();
        EXPECT_EQ(first_result, c.result);
        EXPECT_EQ(second_result, c.result);
        EXPECT_EQ(first.size(), c.rows);
        EXPECT_EQ(second.size(), c.rows);
        // One build for both (a failing call is asked again twice within it).
        EXPECT_EQ(services.count(unspent(ABANDON_ORDINALS0)) - before, c.status == 200 ? 1u : 3u);
        EXPECT_EQ(waiting(), 0);
    }
}

TEST_F(Listing, SnapshotAndOwnedOutputsTheIndexDidNotShow) {
    // Lots of the last build: one still ours, one spent, one moved to a stranger, one
    // the index does not know but WhatsOnChain shows unspent, one nobody can answer
    // for, and one whose transaction no service knows (its spent lookup is a 404 too).
    ordinals::Snapshot s;
    auto lot = [](char c, const std::string& name) {
        return ordinals::SnapshotLot{txid(c) + "_0", txid(c), 0, "image/png", name, "", ABANDON_ORDINALS0};
    };
    s.lots = {lot('1', "Ours"), lot('2', "Spent"), lot('3', "Moved"), lot('4', "Unindexed"), lot('5', "Unknown"),
              lot('7', "Nowhere")};
    s.gone = {txid('6') + "_0"};
    ASSERT_TRUE(ordinals::write_snapshot("w1", s));
    testing_support::write_hd_wallet(
        tp, {.extra = {{"ord_owned", {{{"origin", txid('6') + "_0"}, {"txid", txid('6')}, {"vout", 0}, {"name", "Long gone"}}}}}});
    wallet::clear_wallet_state();
    ASSERT_TRUE(wallet::load_wallet());

    index(core::Json::array());
    services.json("/ord/api/txos/" + txid('1') + "_0", artwork('1', ""));
    core::Json sp = artwork('2');
    sp["spend"] = txid('9');
    services.json("/ord/api/txos/" + txid('2') + "_0", sp);
    core::Json moved = artwork('3');
    moved["owner"] = STRANGER;
    services.json("/ord/api/txos/" + txid('3') + "_0", moved);
    services.reply("/woc/tx/" + txid('4') + "/0/spent", 404, "Not Found");
    services.json("/woc/tx/" + txid('4'), one_output_tx(txid('4')));
    services.reply("/woc/tx/" + txid('5') + "/0/spent", 503, "busy");

    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(list(rows), "");
    ASSERT_EQ(rows.size(), 2u);
    const auto* ours = find(rows, txid('1') + "_0");
    const auto* unindexed = find(rows, txid('4') + "_0");
    ASSERT_TRUE(ours && unindexed);
    EXPECT_EQ(ours->name, "Ours");  // the index gave none; the snapshot's stays
    EXPECT_EQ(ours->kind, "Artwork");
    EXPECT_EQ(unindexed->name, "Unindexed");
    // The outpoint already known to be gone was not asked about again.
    EXPECT_EQ(services.count("/ord/api/txos/" + txid('6') + "_0"), 0u);

    ordinals::Snapshot after;
    ASSERT_TRUE(ordinals::read_snapshot("w1", after));
    std::set<std::string> lots, gone(after.gone.begin(), after.gone.end());
    for (const auto& l : after.lots) lots.insert(l.origin);
    EXPECT_EQ(lots, (std::set<std::string>{txid('1') + "_0", txid('4') + "_0", txid('5') + "_0", txid('7') + "_0"}));
    EXPECT_EQ(gone, (std::set<std::string>{txid('2') + "_0", txid('3') + "_0", txid('6') + "_0"}));
}

TEST_F(Listing, OutputsInTheSpentJournalAreDropped) {
    index(core::Json::array({artwork('a'), artwork('b')}));
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        chain::mark_spent(txid('b'), 0);
    }
    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(list(rows), "");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].origin, txid('a') + "_0");
}

TEST_F(Listing, CredentialsIssuedThroughThePlatform) {
    core::Json cred = {{"protocol", "OV-Identity"}, {"type", "id_bank"}, {"kind", "id_bank"}, {"subject", "02" + std::string(64, '1')},
                       {"subject_handle", "carol@orvane.test"}};
    cred["type"] = "id_issue";
    std::string content = core::dump_compact(cred);
    core::Bytes to_me = inscription_script(ABANDON_ORDINALS0, "application/json", content);
    core::Bytes to_stranger = inscription_script(STRANGER, "application/json", content);
    const std::string t = known_tx(services, {p2pkh(services.profile().credential_issuer_address), to_stranger, to_me});
    services.json("/woc/address/" + services.profile().credential_issuer_address + "/unconfirmed/history",
                  {{"result", {{{"tx_hash", t}}}}});
    services.json("/svc/oi/oracle/ident/txids", {{"txids", {t, "not-a-txid"}}});
    index(core::Json::array());
    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(list(rows), "");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].origin, t + "_2");
    EXPECT_TRUE(rows[0].credential);
    EXPECT_EQ(rows[0].kind, "");
    EXPECT_EQ(rows[0].content_type, "application/json");
    EXPECT_EQ(rows[0].name, "ID-bank (carol)");
    EXPECT_EQ(services.raw_asked(t), 1u);  // one fetch for both sources
    ordinals::Content c;
    ASSERT_TRUE(ordinals::content_cache_read(t + "_2", c));
    EXPECT_EQ(c.bytes, content);
}

TEST_F(Listing, NamesFromOtherWalletsAndTheInbox) {
    // A second registry wallet and a parked one know names; the inbox delivers an origin.
    tp.write("wallets.json", R"({"wallets":[{"id":"w1"},{"id":"w2"}]})");
    tp.write("wallets/w2/wallet.json",
             core::dump_pretty({{"mnemonic", ABANDON}, {"ord_owned", {{{"origin", txid('a') + "_0"}, {"name", "Named by w2"}}}}}));
    tp.write("parked/old.json", core::dump_pretty({{"ord_owned", {{{"origin", txid('b') + "_0"}, {"name", "Parked name"}},
                                                                   {{"origin", "../../x"}, {"name", "hostile"}}}}}));
    tp.write("orvane_wendrel.detached.1", core::dump_pretty({{"ord_owned", {{{"origin", txid('c') + "_0"}, {"name", "Detached"}}}}}));
    core::Bytes h;
    wallet::hash160_from_address(ABANDON_ORDINALS0, h);
    tp.write("ord_inbox/" + core::to_hex(h) + ".json",
             core::dump_compact(core::Json::array({{{"origin", txid('d') + "_0"}, {"type", "image/png"}, {"name", "Sent to me"}}})));
    services.json("/woc/tx/" + txid('d'), one_output_tx(txid('d')));
    core::Json nameless_b =
        txo(txid('b'), 0, ABANDON_ORDINALS0, {{"insc", {{"file", {{"type", "image/png"}}}}}, {"map", {{"app", "ZuvAdudurero"}}}});
    index(core::Json::array({artwork('a', ""), nameless_b}));
    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(list(rows), "");
    EXPECT_EQ(ordinals::name_cache_read(txid('a') + "_0"), "Named by w2");
    EXPECT_EQ(ordinals::name_cache_read(txid('c') + "_0"), "Detached");
    const auto* b = find(rows, txid('b') + "_0");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->name, "Parked name");
    // The inbox origin is owned now and listed before any index shows it, once
    // WhatsOnChain shows its output and finds no spend of it.
    core::Json doc = wallet_doc();
    bool owned_d = false;
    for (const auto& e : doc["ord_owned"]) owned_d = owned_d || e["origin"] == txid('d') + "_0";
    EXPECT_TRUE(owned_d);
    const auto* d = find(rows, txid('d') + "_0");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->name, "Sent to me");
    EXPECT_EQ(d->address, ABANDON_ORDINALS0);
    EXPECT_EQ(d->content_type, "image/png");
}

TEST_F(Listing, AnOutpointNoServiceKnowsIsNotListed) {
    // The inbox and the owned list name outputs the index does not show. WhatsOnChain
    // answers 404 to the spent lookup of each: for one because it is unspent, for the
    // others because there is no such transaction.
    core::Bytes h;
    wallet::hash160_from_address(ABANDON_ORDINALS0, h);
    tp.write("ord_inbox/" + core::to_hex(h) + ".json",
             core::dump_compact(core::Json::array({{{"origin", txid('a') + "_0"}, {"type", "image/png"}, {"name", "Real"}},
                                                   {{"origin", txid('b') + "_0"}, {"type", "image/png"}, {"name", "Made up"}}})));
    testing_support::write_hd_wallet(tp, {.extra = {{"ord_owned", {{{"origin", txid('c') + "_0"},
                                                                    {"txid", txid('c')},
                                                                    {"vout", 0},
                                                                    {"address", ABANDON_ORDINALS0},
                                                                    {"name", "Stale"}}}}}});
    wallet::clear_wallet_state();
    ASSERT_TRUE(wallet::load_wallet());
    index(core::Json::array());
    services.json("/woc/tx/" + txid('a'), one_output_tx(txid('a')));
    for (char c : {'a', 'b', 'c'}) services.reply("/woc/tx/" + txid(c) + "/0/spent", 404, "Not Found");

    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(list(rows), "");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].origin, txid('a') + "_0");
    EXPECT_EQ(rows[0].name, "Real");
    // The others were asked about, are not held, and wait in the snapshot for a later build.
    EXPECT_EQ(services.count("/woc/tx/" + txid('b')), 1u);
    EXPECT_EQ(services.count("/woc/tx/" + txid('c')), 1u);
    ordinals::Snapshot after;
    ASSERT_TRUE(ordinals::read_snapshot("w1", after));
    std::set<std::string> lots;
    for (const auto& l : after.lots) lots.insert(l.origin);
    EXPECT_EQ(lots, (std::set<std::string>{txid('a') + "_0", txid('b') + "_0", txid('c') + "_0"}));
    EXPECT_TRUE(after.gone.empty());
}

TEST_F(Listing, OutsideListsAreBounded) {
    // The index lists more outputs than one build takes; the snapshot file (written by
    // another program) remembers far more gone outpoints than are kept.
    core::Json many = core::Json::array();
    for (std::size_t i = 0; i < ordinals::MAX_LIST_ROWS + 25; ++i) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016zx", i);
        std::string t = std::string(48, 'a') + hex;
        many.push_back(txo(t, 0, ABANDON_ORDINALS0, gallery_data("image/png", "Many")));
    }
    index(many);
    core::Json snap = {{"lots", core::Json::array()}, {"gone", core::Json::array()}};
    for (int i = 0; i < 100000; ++i) snap["gone"].push_back(std::string(60, 'c') + std::to_string(1000 + i % 9000) + "_" + std::to_string(i));
    tp.write("ord_snap/w1.json", core::dump_compact(snap));

    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(list(rows), "");
    EXPECT_EQ(rows.size(), ordinals::MAX_LIST_ROWS);
    ordinals::Snapshot after;
    ASSERT_TRUE(ordinals::read_snapshot("w1", after));
    ASSERT_FALSE(after.gone.empty());
    EXPECT_LE(after.gone.size(), 500u);
    EXPECT_EQ(after.gone.back(), snap["gone"].back());  // the newest are the ones kept
}

TEST_F(Listing, EveryRowOfAnIndexPagedAtAHundredIsListed) {
    // The index answers 100 rows unless asked otherwise: 150 artworks take two pages.
    core::Json all = core::Json::array();
    for (int i = 0; i < 150; ++i) {
        char id[65];
        std::snprintf(id, sizeof id, "%064x", i + 1);
        all.push_back(txo(id, 0, ABANDON_ORDINALS0, gallery_data("image/png", "Art " + std::to_string(i))));
    }
    index(all);
    std::vector<ordinals::OvWendrelOrdRow> rows;
    ASSERT_EQ(list(rows), "");
    EXPECT_EQ(rows.size(), 150u);
    EXPECT_EQ(services.count(unspent(ABANDON_ORDINALS0)), 2u);
}
