// The wall reader against an in-process chain service: replay rules, hostile records,
// partial histories, the shared 45-second cache and reserve sync.
#include "ledger/walls.h"

#include <gtest/gtest.h>

#include <thread>

#include "chain/reservations.h"
#include "chain/tx.h"
#include "core/crypto.h"
#include "core/files.h"
#include "core/hex.h"
#include "ledger/identity_checks.h"
#include "ledger/request_gate.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ledger/fake_chain.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/registry.h"
#include "wallet/state.h"

namespace {

using ledger_test::FakeChain;
using ledger_test::TestKey;

const std::string PIC = std::string(64, 'a');
const std::string CERT = std::string(64, 'c');
const std::string SHA = std::string(64, '5');
constexpr std::int64_t T0 = 1733650000;  // the fake clock's wall time, in seconds

class Walls : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    FakeChain chain;
    testing_support::FakeClock clock;
    TestKey alice = ledger_test::test_key(1, "alice");
    TestKey bob = ledger_test::test_key(2, "bob");
    TestKey mallory = ledger_test::test_key(3, "mallory");

    void SetUp() override {
        clock.install();
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
        chain.register_key(alice);
        chain.register_key(bob);
        chain.register_key(mallory);
        chain.set_auto_titles(true);
    }
    void TearDown() override {
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
    }

    static core::Json show(int frame, const std::string& pic, std::int64_t ts, const std::string& price = "1500") {
        return {{"type", "art_show"}, {"spot", "as" + std::to_string(frame)}, {"pic", pic}, {"cert", CERT},
                {"sha256", SHA}, {"price", price}, {"pic_utxo", pic.substr(0, 64) + "_1"},
                {"cert_utxo", CERT + "_2"}, {"pay_addr", "1Pay"}, {"ts", ts}, {"exp", ts + 604800}};
    }
    std::string post(int frame, const core::Json& r, const TestKey& k) {
        return chain.post("as" + std::to_string(frame), r, k);
    }
    ledger::SpotLoad load(int frame) { return ledger::load_spot(frame - 1, T0); }
};

}  // namespace

TEST_F(Walls, ATakenFrameStaysWithItsDisplayUntilItEnds) {
    post(1, show(1, PIC, T0 - 100), alice);
    const std::string second = std::string(63, 'b') + "1";
    post(1, show(1, second, T0 - 50), bob);  // the frame is taken: no effect
    auto s = load(1);
    ASSERT_TRUE(s.shown) << s.error;
    EXPECT_EQ(s.pic, PIC);
    EXPECT_EQ(s.owner, alice.pub);
    ledger::reset_wall_caches();
    post(1, {{"type", "art_hide"}, {"spot", "as1"}, {"pic", PIC}, {"cert", CERT}, {"ts", T0 - 40}}, alice);
    post(1, show(1, second, T0 - 30), bob);
    s = load(1);
    ASSERT_TRUE(s.shown) << s.error;
    EXPECT_EQ(s.pic, second);
    EXPECT_EQ(s.owner, bob.pub);

    // Two shows of one second: the first in txid order takes the frame.
    const std::string p3 = std::string(63, 'd') + "3", p4 = std::string(63, 'd') + "4";
    const std::string t3 = post(2, show(2, p3, T0 - 10), alice);
    const std::string t4 = post(2, show(2, p4, T0 - 10), alice);
    ledger::reset_wall_caches();  // the title trail read above predates these two pieces
    s = load(2);
    ASSERT_TRUE(s.shown);
    EXPECT_EQ(s.show_txid, std::min(t3, t4));
}

TEST_F(Walls, HidesCountOnlyFromTheOwnerAndExpiryEmptiesTheFrame) {
    post(1, show(1, PIC, T0 - 100), alice);
    post(1, {{"type", "art_hide"}, {"spot", "as1"}, {"pic", PIC}, {"cert", CERT}, {"ts", T0 - 90}}, mallory);
    EXPECT_TRUE(load(1).shown);
    ledger::reset_wall_caches();
    post(1, {{"type", "art_hide"}, {"spot", "as1"}, {"pic", PIC}, {"cert", CERT}, {"ts", T0 - 80}}, alice);
    EXPECT_FALSE(load(1).shown);

    core::Json old = show(2, PIC, T0 - 700000);  // one week and a bit ago
    post(2, old, alice);
    auto s = load(2);
    EXPECT_FALSE(s.shown);
    EXPECT_TRUE(s.pic.empty());
    EXPECT_TRUE(s.error.empty());
}

TEST_F(Walls, InscriptionIdsKeepTheirOriginsAndBadHashesAreNotShown) {
    core::Json r = show(1, PIC, T0 - 100);
    r["cert"] = CERT + "_7";
    r["pic"] = PIC + "_3";
    r.erase("pic_utxo");
    post(1, r, alice);
    auto s = load(1);
    ASSERT_TRUE(s.shown);
    EXPECT_EQ(s.cert, CERT);
    EXPECT_EQ(s.cert_origin, CERT + "_7");
    EXPECT_EQ(s.pic_origin, PIC + "_3");
    EXPECT_EQ(s.pic_utxo, PIC + "_3");  // the coin field was empty: the origin names the coin

    core::Json bad = show(2, PIC, T0 - 100);
    bad["sha256"] = std::string(63, '5');
    post(2, bad, alice);
    EXPECT_FALSE(load(2).shown);
}

TEST_F(Walls, HostileNumbersAndTextsMakeTheRecordInvalid) {
    struct Case {
        const char* name;
        std::function<void(core::Json&)> spoil;
    };
    const std::vector<Case> cases = {
        {"price above 21 million BSV", [](core::Json& r) { r["price"] = "2100000000000001"; }},
        {"price not digits", [](core::Json& r) { r["price"] = "1e3"; }},
        {"price zero", [](core::Json& r) { r["price"] = "0"; }},
        {"price with trailing text", [](core::Json& r) { r["price"] = "1500sats"; }},
        {"negative exp", [](core::Json& r) { r["exp"] = -5; }},
        {"exp beyond the year 9999", [](core::Json& r) { r["exp"] = std::int64_t{1} << 40; }},
        {"fractional ts", [](core::Json& r) { r["ts"] = static_cast<double>(T0 - 100) + 0.5; }},
        {"huge handle", [](core::Json& r) { r["handle"] = std::string(5000, 'h'); }},
        {"pic of the wrong type", [](core::Json& r) { r["pic"] = 12345; }},
    };
    int frame = 0;
    for (const auto& c : cases) {
        frame = frame % 10 + 1;
        ledger::reset_wall_caches();
        core::Json r = show(frame, std::string(60, 'e') + std::to_string(1000 + frame), T0 - 100);
        c.spoil(r);
        if (r.contains("handle")) r["actor"] = "alice";
        post(frame, r, alice);
        auto s = load(frame);
        EXPECT_FALSE(s.shown) << c.name;
        EXPECT_TRUE(s.error.empty()) << c.name;
    }
    // A text "exp" is signed as 0: a display without an end is no display.
    ledger::reset_wall_caches();
    core::Json r = show(5, PIC, T0 - 100);
    r["exp"] = std::to_string(T0 - 50);
    post(5, r, alice);
    auto s = load(5);
    EXPECT_FALSE(s.shown);
    EXPECT_TRUE(s.error.empty());
}

TEST_F(Walls, AsksAndAcceptsFollowTheirRules) {
    post(1, show(1, PIC, T0 - 100), alice);
    auto ask = [&](std::int64_t price, const std::string& buyer, std::int64_t ts) {
        return core::Json{{"type", "art_gask"}, {"spot", "as1"}, {"pic", PIC}, {"cert", CERT}, {"price_sats", price},
                          {"buyer_ord", "1Ord"}, {"buyer", buyer}, {"ts", ts}};
    };
    post(1, ask(1500, bob.pub, T0 - 90), bob);                    // counts
    post(1, ask(1400, bob.pub, T0 - 89), bob);                    // wrong price
    post(1, ask(1500, bob.pub, T0 - 88), mallory);                // signed by another key
    core::Json as_text = ask(1500, bob.pub, T0 - 87);
    as_text["price_sats"] = "1500";                               // signed as 0
    post(1, as_text, bob);
    const std::string title = R"({"type":"art_owner"})";
    const std::string good_sha = core::to_hex(core::sha256(title));
    auto accept = [&](const std::string& sha, std::int64_t ts) {
        return core::Json{{"type", "art_gaccept"}, {"spot", "as1"}, {"pic", PIC}, {"cert", CERT}, {"buyer", bob.pub},
                          {"prev", ""}, {"price_sats", 1500}, {"title_sha", sha}, {"title_json", title}, {"ts", ts}};
    };
    post(1, accept(good_sha, T0 - 80), alice);
    post(1, accept(std::string(64, '0'), T0 - 79), alice);  // hash does not match
    post(1, accept(good_sha, T0 - 78), bob);                // not the owner
    auto s = load(1);
    ASSERT_EQ(s.asks.size(), 1u);
    EXPECT_EQ(s.asks[0].buyer, bob.pub);
    EXPECT_EQ(s.asks[0].price, 1500);
    ASSERT_EQ(s.accepts.size(), 1u);
    EXPECT_EQ(s.accepts[0].ts, T0 - 80);
}

TEST_F(Walls, OneArtworkOnOneWallTheFirstDisplayStays) {
    post(7, show(7, PIC, T0 - 100), alice);
    post(3, show(3, PIC, T0 - 90), alice);  // a later showing cannot push the first aside
    std::string error;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    ledger::load_walls(error, walls);
    EXPECT_EQ(error, "");
    EXPECT_FALSE(walls[2].shown);
    EXPECT_TRUE(walls[2].pic.empty());
    EXPECT_TRUE(walls[6].shown);
    EXPECT_EQ(walls[6].pic, PIC);

    // Once the first display's coins have moved (sold, its closing notice not read yet),
    // the piece's new display stands.
    core::Json moved = show(3, PIC, T0 - 80);
    moved["pic_utxo"] = PIC + "_9";
    ledger::reset_wall_caches();
    post(3, {{"type", "art_hide"}, {"spot", "as3"}, {"pic", PIC}, {"cert", CERT}, {"ts", T0 - 85}}, alice);
    post(3, moved, alice);
    chain.set_spent(PIC + "_1", std::string(64, '6'));
    ledger::load_walls(error, walls);
    EXPECT_FALSE(walls[6].shown);
    ASSERT_TRUE(walls[2].shown);
    EXPECT_EQ(walls[2].pic_utxo, PIC + "_9");
}

TEST_F(Walls, SourcesMissingGiveAnEmptyFrameOrTheErrorText) {
    chain.set_sources_down(true, false);
    auto s = load(4);
    EXPECT_TRUE(s.error.empty());
    EXPECT_FALSE(s.shown);
    chain.set_sources_down(true, true);
    ledger::reset_wall_caches();
    EXPECT_EQ(load(4).error, "OI as4 missed and WhatsOnChain missed");
}

TEST_F(Walls, APartlyReadHistoryIsAnErrorAndIsNotKept) {
    post(1, show(1, PIC, T0 - 100), alice);
    const std::string hide = post(1, {{"type", "art_hide"}, {"spot", "as1"}, {"pic", PIC}, {"cert", CERT},
                                      {"ts", T0 - 90}}, alice);
    chain.fail_tx(hide, true);
    auto s = load(1);
    EXPECT_EQ(s.error, "could not read AP1; try again");
    EXPECT_FALSE(s.shown);  // not the display of a history missing its hide
    chain.fail_tx(hide, false);
    s = load(1);  // no clock advance: the failure was not cached
    EXPECT_EQ(s.error, "");
    EXPECT_FALSE(s.shown);

    // The registry not answering is the same kind of failure; an unregistered key is not.
    ledger::reset_wall_caches();
    ledger::reset_identity_caches();
    chain.set_registry_down(true);
    EXPECT_EQ(load(1).error, "could not read AP1; try again");
    chain.set_registry_down(false);
    TestKey stranger = ledger_test::test_key(9, "stranger");
    post(2, show(2, PIC, T0 - 100), stranger);
    s = load(2);
    EXPECT_EQ(s.error, "");
    EXPECT_FALSE(s.shown);
}

TEST_F(Walls, HistoriesAreSharedAndKeptFortyFiveSeconds) {
    for (int i = 0; i < 12; ++i) post(1, show(1, std::string(60, 'f') + std::to_string(1000 + i), T0 - 100 + i), alice);
    std::vector<std::thread> readers;
    std::vector<ledger::SpotLoad> seen(4);
    for (int t = 0; t < 4; ++t) readers.emplace_back([&, t] { seen[static_cast<std::size_t>(t)] = load(1); });
    for (auto& r : readers) r.join();
    for (const auto& s : seen) EXPECT_TRUE(s.shown);
    // One read of each history: the frame's, and the title trail's two (OAO, OCP) for
    // the display's title; twelve transactions on the frame, twelve pairs.
    EXPECT_EQ(chain.hits("oracle"), 3);
    EXPECT_EQ(chain.hits("svc_tx"), 24);
    EXPECT_EQ(chain.hits("alias"), 1);  // one lookup for the one actor
    clock.advance(ledger::HISTORY_FRESH_MS - 1);
    load(1);
    EXPECT_EQ(chain.hits("oracle"), 3);
    clock.advance(1);
    load(1);
    EXPECT_EQ(chain.hits("oracle"), 6);
}

TEST_F(Walls, ReserveSyncClearsOnlyOldEntriesOfFramesThatWereRead) {
    wallet::init_app_binding("Quenvale", "walls-test");
    const std::string other = std::string(64, '9');
    std::vector<chain::ReserveEntry> entries = {
        {"", "", other, CERT, -1, T0 - 3600 + 604800, 1},         // placed an hour ago, frame 1 empty: cleared
        {"", "", PIC, CERT, -1, T0 - 60 + 604800, 2},             // placed a minute ago: kept
        {"", "", std::string(64, '8'), CERT, -1, T0 + 604800, 3}, // frame 3 unreadable: kept
    };
    std::string file_error;
    ASSERT_TRUE(chain::update_reserve_entries(
        [&](std::vector<chain::ReserveEntry>& held) {
            held = entries;
            return true;
        },
        file_error))
        << file_error;
    chain.fail_tx(post(3, show(3, PIC, T0 - 100), alice), true);
    std::string error;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    ledger::load_walls(error, walls);
    EXPECT_EQ(error, "could not read AP3; try again");
    std::vector<chain::ReserveEntry> left;
    ASSERT_TRUE(chain::read_reserve_entries(left, file_error)) << file_error;
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].spot, 2);
    EXPECT_EQ(left[1].spot, 3);
}

TEST_F(Walls, AnUnreadableReserveIsLeftAsItIs) {
    wallet::init_app_binding("Quenvale", "walls-test");
    const std::string path = chain::reserve_file_path();
    core::make_dirs(core::parent_path(path));
    const std::string torn = R"({"entries":[{"spot":1,"pic":")";
    ASSERT_TRUE(core::write_file(path, torn));
    std::string error;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    ledger::load_walls(error, walls);
    EXPECT_EQ(error, "");
    std::string after;
    ASSERT_TRUE(core::read_file(path, after));
    EXPECT_EQ(after, torn);
}

TEST_F(Walls, NoMoreThanThirtyTwoRequestsAreOpenAtOnce) {
    for (int f = 1; f <= 10; ++f)
        for (int i = 0; i < 10; ++i) post(f, show(f, std::string(60, 'f') + std::to_string(1000 + i), T0 - 100 + i), alice);
    ledger::reset_request_counts();
    std::string error;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    ledger::load_walls(error, walls);
    EXPECT_EQ(error, "");
    EXPECT_LE(ledger::requests_peak(), ledger::MAX_REQUESTS_IN_FLIGHT);
    EXPECT_GE(ledger::requests_made(), 100);
}

// --- this program's own postings ------------------------------------------------------

namespace {

core::Json signed_record(core::Json r, const TestKey& k) {
    r["protocol"] = "OV-Art";
    r["location"] = "art";
    r["handle"] = k.handle;
    r["actor"] = k.handle;
    FakeChain::sign(r, k);
    return r;
}

std::size_t count_txid(const ledger::History& h, const std::string& txid) {
    return static_cast<std::size_t>(
        std::count_if(h->begin(), h->end(), [&](const ledger::HistoryEntry& e) { return e.txid == txid; }));
}

}  // namespace

TEST_F(Walls, OwnPostingsShowBeforeTheIndexerListsThemAndOnlyOnceAfter) {
    post(3, show(3, PIC, T0 - 100), alice);
    ASSERT_TRUE(load(3).shown);  // the history is now cached

    const core::Json hide = signed_record(
        {{"type", "art_hide"}, {"spot", "as3"}, {"pic", PIC}, {"cert", CERT}, {"ts", T0 - 10}}, alice);
    const std::string txid = chain.post_unlisted("as3", hide, alice);
    ledger::remember_own_record("as3", txid, hide);
    std::string error;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    ledger::load_walls(error, walls);
    EXPECT_EQ(error, "");
    EXPECT_FALSE(walls[2].shown) << "the own art_hide is not yet listed but counts";

    // Listed: it comes from the indexer once, not a second time from this program.
    chain.list("as3", txid);
    clock.advance(ledger::HISTORY_FRESH_MS);
    const auto row = ledger::frame_row(3);
    ledger::History h;
    ASSERT_TRUE(ledger::spot_history(row.spot, row.watch_address, h, error)) << error;
    EXPECT_EQ(count_txid(h, txid), 1u);
    EXPECT_FALSE(load(3).shown);
}

TEST_F(Walls, AnOwnPostingThatIsNeverListedIsDroppedAfterTheWindow) {
    const core::Json placed = signed_record(show(4, PIC, T0 - 5), alice);
    const std::string txid = chain.post_unlisted("as4", placed, alice);
    ASSERT_FALSE(load(4).shown);  // cached without it
    ledger::remember_own_record("AS4", txid, placed, core::profile().placement_fee_address, 10000);
    auto s = load(4);
    ASSERT_TRUE(s.shown) << s.error;
    EXPECT_EQ(s.show_txid, txid);
    EXPECT_EQ(ledger::shown_pic(3, T0), PIC);

    // Records of another frame, a bad txid or an unsigned record are not kept.
    ledger::remember_own_record("as5", txid, placed);
    ledger::remember_own_record("as6", "not-a-txid", signed_record(show(6, PIC, T0 - 5), alice));
    ledger::remember_own_record("as7", std::string(64, '7'), show(7, PIC, T0 - 5));
    EXPECT_FALSE(load(5).shown) << "an art_show of frame 4 says nothing about frame 5";
    EXPECT_FALSE(load(6).shown);
    EXPECT_FALSE(load(7).shown);

    clock.advance(ledger::OWN_RECORD_WINDOW_S * 1000 - 1);
    EXPECT_TRUE(ledger::load_spot(3, T0).shown);
    clock.advance(1);
    EXPECT_FALSE(ledger::load_spot(3, T0).shown);
}

TEST(PostedTxid, TakesTheTxidOfASuccessOnly) {
    const std::string id(64, 'a');
    EXPECT_EQ(ledger::posted_txid("success: " + id), id);
    EXPECT_EQ(ledger::posted_txid("success: " + std::string(64, 'A') + " (paid 10000 sats)"), id);
    EXPECT_EQ(ledger::posted_txid("success: " + id + "b"), "");
    EXPECT_EQ(ledger::posted_txid("error: " + id), "");
    EXPECT_EQ(ledger::posted_txid("success: " + std::string(63, 'a')), "");
}

TEST_F(Walls, AFramePostedToIsReadAfreshEvenWhenItsRecordCannotBeKept) {
    ASSERT_FALSE(load(8).shown);  // cached empty
    post(8, show(8, PIC, T0 - 5), alice);
    EXPECT_FALSE(load(8).shown) << "still the cached history";
    ledger::remember_own_record("as8", "", core::Json::object());
    EXPECT_TRUE(load(8).shown);
}

namespace {

// The wall reader with this process bound to a wallet ("carol") that funds offers.
class OwnOffers : public Walls {
protected:
    TestKey carol;

    void SetUp() override {
        Walls::SetUp();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "walls-test"));
        carol.handle = "carol";
        carol.pub = core::lower_ascii(wallet::wallet_identity_key());
        ASSERT_FALSE(carol.pub.empty());
        chain.register_key(carol);
    }

    // An offer as build_offer lays it out: the display's two artwork coins unsigned,
    // the buyer's coin signed.
    static std::string offer_hex(const std::string& pic, const std::string& buyer_coin_tx) {
        auto in = [](const std::string& txid, std::uint32_t vout, bool is_signed) {
            chain::TxInput i;
            i.txid = txid;
            i.vout = vout;
            if (is_signed) i.unlocking_script = {0x01, 0x51};
            return i;
        };
        const std::vector<chain::TxInput> inputs = {in(pic.substr(0, 64), 1, false), in(CERT, 2, false),
                                                    in(buyer_coin_tx, 0, true)};
        const std::vector<chain::TxOutput> outputs = {{1, core::Bytes{0x51}}, {1500, core::Bytes{0x51}}};
        return core::to_hex(chain::serialize_tx(inputs, outputs, false));
    }
    static core::Json funded(int frame, const std::string& hex, std::int64_t ts) {
        return {{"type", "art_gfunded"}, {"spot", "as" + std::to_string(frame)}, {"offer", hex},
                {"offer_sha", core::to_hex(core::sha256(hex))}, {"ts", ts}};
    }
    // Signed with the bound wallet's identity key, as this program posts it.
    std::string post_own(int frame, core::Json r) {
        r["protocol"] = "OV-Art";
        r["location"] = "art";
        r["handle"] = carol.handle;
        r["actor"] = carol.handle;
        std::string pub, sig, error;
        {
            wallet::WalletLock lock(wallet::wallet_mutex());
            EXPECT_TRUE(wallet::identity_sign(ledger::record_message(r), pub, sig, error)) << error;
        }
        r["pubkey"] = pub;
        r["sig"] = sig;
        return post(frame, r, carol);
    }
    static std::vector<std::string> locks() {
        std::vector<std::string> ids;
        std::string error;
        EXPECT_TRUE(chain::read_offer_locks(ids, error)) << error;
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    static void read_walls() {
        std::string error;
        std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
        ledger::load_walls(error, walls);
        EXPECT_EQ(error, "");
    }
};

std::string coin_tx(int n) {
    char tail[9];
    std::snprintf(tail, sizeof tail, "%08x", n);
    return std::string(56, 'e') + tail;
}

}  // namespace

TEST_F(OwnOffers, LocksLeaveWhenTheDisplayEndedWithoutTheSaleAndStayOtherwise) {
    struct Case {
        const char* name;
        bool released;
        std::function<void(int frame, const std::string& pic, const std::string& offer)> history;
    };
    const Case cases[] = {
        {"expired", true,
         [&](int f, const std::string& pic, const std::string& offer) {
             // Ended a little after a week; mined when they were made.
             chain.confirm(post(f, show(f, pic, T0 - 700000), alice), 100, T0 - 700000);
             chain.confirm(post_own(f, funded(f, offer, T0 - 699000)), 101, T0 - 699000);
         }},
        {"hidden by the owner", true,
         [&](int f, const std::string& pic, const std::string& offer) {
             post(f, show(f, pic, T0 - 100), alice);
             post_own(f, funded(f, offer, T0 - 90));
             post(f, {{"type", "art_hide"}, {"spot", "as" + std::to_string(f)}, {"pic", pic}, {"ts", T0 - 80}}, alice);
         }},
        {"hidden, then the frame shows another piece", true,
         [&](int f, const std::string& pic, const std::string& offer) {
             post(f, show(f, pic, T0 - 100), alice);
             post_own(f, funded(f, offer, T0 - 90));
             post(f, {{"type", "art_hide"}, {"spot", "as" + std::to_string(f)}, {"pic", pic}, {"ts", T0 - 85}}, alice);
             post(f, show(f, std::string(63, '7') + std::to_string(f), T0 - 80), bob);
         }},
        {"still on display", false,
         [&](int f, const std::string& pic, const std::string& offer) {
             post(f, show(f, pic, T0 - 100), alice);
             post_own(f, funded(f, offer, T0 - 90));
         }},
        {"another identity's offer", false,
         [&](int f, const std::string& pic, const std::string& offer) {
             post(f, show(f, pic, T0 - 100), alice);
             post(f, funded(f, offer, T0 - 90), mallory);
             post(f, show(f, std::string(63, '7') + std::to_string(f), T0 - 80), bob);
         }},
        {"sold through the offer, then replaced", false,
         [&](int f, const std::string& pic, const std::string& offer) {
             post(f, show(f, pic, T0 - 100), alice);
             post_own(f, funded(f, offer, T0 - 90));
             post(f, show(f, std::string(63, '7') + std::to_string(f), T0 - 80), bob);
             const std::string sale = std::string(63, '6') + std::to_string(f);
             chain.set_spent(pic.substr(0, 64) + "_1", sale);
             chain.set_spent(coin_tx(f) + "_0", sale);
         }},
    };
    std::vector<std::string> all, expected;
    int frame = 0;
    for (const auto& c : cases) {
        ++frame;
        const std::string pic = std::string(63, 'a') + std::to_string(frame);
        c.history(frame, pic, offer_hex(pic, coin_tx(frame)));
        all.push_back(coin_tx(frame) + "_0");
        if (!c.released) expected.push_back(coin_tx(frame) + "_0");
    }
    const std::string unrelated = coin_tx(99) + "_3";  // a coin of no offer in any history
    all.push_back(unrelated);
    expected.push_back(unrelated);
    std::string error;
    ASSERT_TRUE(chain::add_offer_locks(all, error)) << error;
    std::sort(expected.begin(), expected.end());

    read_walls();
    const std::vector<std::string> left = locks();
    frame = 0;
    for (const auto& c : cases) {
        const std::string id = coin_tx(++frame) + "_0";
        EXPECT_EQ(std::binary_search(left.begin(), left.end(), id), !c.released) << c.name;
    }
    EXPECT_EQ(left, expected);
}

TEST_F(OwnOffers, AFrameWithoutLockedOwnOffersAsksNothingMoreAndAnUnreadableLocksFileStaysAsItIs) {
    const std::string pic = std::string(63, 'a') + "1";
    post(1, show(1, pic, T0 - 100), alice);
    post_own(1, funded(1, offer_hex(pic, coin_tx(1)), T0 - 90));
    post(1, {{"type", "art_hide"}, {"spot", "as1"}, {"pic", pic}, {"ts", T0 - 85}}, alice);

    // Nothing of the offer is locked: the ended offer costs no spender look-up.
    read_walls();
    EXPECT_EQ(chain.hits("spent " + coin_tx(1) + "_0"), 0);

    const std::string path = chain::offer_locks_path();
    core::make_dirs(core::parent_path(path));
    const std::string torn = R"({"utxos":[")" + coin_tx(1) + "_0";
    ASSERT_TRUE(core::write_file(path, torn));
    ledger::reset_wall_caches();
    read_walls();
    std::string after;
    ASSERT_TRUE(core::read_file(path, after));
    EXPECT_EQ(after, torn);
}
