// The trust rules as tables: the time window, the chain's order with replays folded,
// the root rule of a title and the display rule, each over hand-made records so every
// edge is named.
#include "ledger/trust.h"

#include <gtest/gtest.h>

#include "core/profile.h"
#include "ledger/place.h"
#include "tests/unit/ledger/fake_chain.h"

namespace {

constexpr std::int64_t T = 1733650000;
const std::string PIC = std::string(64, 'a');
const std::string CERT = std::string(64, 'c');
const std::string SHA = std::string(64, '5');
const std::string ALICE = "02" + std::string(64, '1');
const std::string MALLORY = "03" + std::string(64, '3');

class Trust : public ::testing::Test {
protected:
    void SetUp() override {
        core::Profile p;
        p.network = "test";
        p.paymail_domain = "devnet.quenvale.test";
        for (int i = 0; i < 10; ++i) p.frames[static_cast<std::size_t>(i)] = ledger_test::test_address(i + 1);
        p.ocp_address = ledger_test::test_address(20);
        p.oao_address = ledger_test::test_address(21);
        p.placement_fee_address = ledger_test::test_address(22);
        core::set_profile(p);
    }
    void TearDown() override { core::reset_profile(); }

    static core::Json paying(std::int64_t sats, const std::string& to, std::int64_t height = 0) {
        core::Json tx = {{"vout", {{{"value", static_cast<double>(sats) / 1e8},
                                    {"scriptPubKey", {{"addresses", {to}}}}}}}};
        if (height > 0) {
            tx["blockheight"] = height;
            tx["blocktime"] = T;
        }
        return tx;
    }
    static ledger::HistoryEntry entry(const std::string& txid, core::Json record, std::int64_t ts,
                                      std::int64_t height = 0, core::Json tx = core::Json::object()) {
        record["ts"] = ts;
        if (!record.contains("sig")) record["sig"] = "sig-" + txid;
        return ledger::HistoryEntry{txid, record, tx, core::json_string(record, "pubkey"), ts, height, T, {}};
    }
    static core::Json show(const std::string& signer, std::int64_t ts, std::int64_t weeks = 1) {
        return {{"type", "art_show"}, {"spot", "as1"},  {"pic", PIC},      {"cert", CERT},
                {"sha256", SHA},      {"price", "900"}, {"actor", "alice"}, {"pubkey", signer},
                {"exp", ts + weeks * ledger::WEEK_S}};
    }
};

}  // namespace

TEST_F(Trust, TheTimeWindowHoldsTsToTheChainsTime) {
    EXPECT_TRUE(ledger::time_fits(T, T));
    EXPECT_TRUE(ledger::time_fits(T + ledger::TS_AHEAD_S, T));
    EXPECT_FALSE(ledger::time_fits(T + ledger::TS_AHEAD_S + 1, T));
    EXPECT_TRUE(ledger::time_fits(T - ledger::TS_BEHIND_S, T));
    EXPECT_FALSE(ledger::time_fits(T - ledger::TS_BEHIND_S - 1, T));
    EXPECT_FALSE(ledger::time_fits(1000, T));                       // a forged early root
    EXPECT_FALSE(ledger::time_fits(ledger::MAX_RECORD_TIME + 1, ledger::MAX_RECORD_TIME + 1));  // past 9999

    // The chain's time is the block's, else the reading time.
    const core::Json mined = {{"blockheight", 812}, {"blocktime", T - 7200}};
    EXPECT_EQ(ledger::tx_height(mined), 812);
    EXPECT_EQ(ledger::tx_chain_time(mined, T), T - 7200);
    EXPECT_EQ(ledger::tx_chain_time(core::Json{{"blocktime", T - 7200}}, T), T);  // no block: now
    EXPECT_EQ(ledger::tx_height(core::Json{{"blockheight", "812"}}), 0);
    EXPECT_TRUE(ledger::tx_too_large(core::Json{{"size", ledger::MAX_GALLERY_TX_BYTES + 1}}));
    EXPECT_FALSE(ledger::tx_too_large(core::Json{{"size", 400}}));
}

TEST_F(Trust, TheChainsOrderComesBeforeAWritersClockAndReplaysAreOneRecord) {
    const core::Json rec = {{"type", "art_gask"}};
    std::vector<ledger::HistoryEntry> h = {
        entry("d1", rec, T - 10),              // in no block: after every block
        entry("b1", rec, T + 900, 9),          // late clock, earlier block
        entry("a1", rec, T - 3000, 10),
        entry("c1", rec, T - 3000, 10),        // same block and second: by txid
    };
    ledger::order_history(h);
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0].txid, "b1");
    EXPECT_EQ(h[1].txid, "a1");
    EXPECT_EQ(h[2].txid, "c1");
    EXPECT_EQ(h[3].txid, "d1");

    // A byte-identical copy is the same record: kept once, at its first copy...
    core::Json signed_ask = rec;
    signed_ask["sig"] = "same";
    h = {entry("f2", signed_ask, T, 12), entry("e2", signed_ask, T, 11)};
    ledger::order_history(h);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h[0].txid, "e2");
    EXPECT_EQ(h[0].replays, std::vector<std::string>{"f2"});

    // ...unless that copy does not pay what its type must and a later one does.
    core::Json placed = show(ALICE, T);
    placed["sig"] = "shown";
    const std::string fee_address = core::profile().placement_fee_address;
    h = {entry("00", placed, T, 0, paying(1, ledger_test::test_address(1))),
         entry("ff", placed, T, 0, paying(ledger::PLACE_FEE_PER_WEEK_SATS, fee_address))};
    ledger::order_history(h);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h[0].txid, "ff");
    EXPECT_EQ(h[0].replays, std::vector<std::string>{"00"});
}

TEST_F(Trust, ATitleStartsOnlyWithAPairItsCertificatesMakerSigned) {
    const core::Json cert = {{"pic", PIC}, {"sha256", SHA}, {"owner_paymail", "Alice@DEVNET.quenvale.test"}};
    auto pair = [](const std::string& actor) {
        return ledger::HistoryEntry{"p", {{"type", "art_pair"}, {"pic", PIC}, {"cert", CERT}, {"sha256", SHA},
                                          {"actor", actor}}, {}, ALICE, T, 0, T, {}};
    };
    const std::string domain = "devnet.quenvale.test";
    EXPECT_TRUE(ledger::pair_is_root(pair("alice"), cert, domain));
    EXPECT_TRUE(ledger::pair_is_root(pair(" @Alice"), cert, domain));
    EXPECT_FALSE(ledger::pair_is_root(pair("mallory"), cert, domain));  // someone else's pieces
    EXPECT_FALSE(ledger::pair_is_root(pair("alice"), cert, "other.example"));
    core::Json other = cert;
    other["pic"] = std::string(64, 'b');
    EXPECT_FALSE(ledger::pair_is_root(pair("alice"), other, domain));
    other = cert;
    other["sha256"] = std::string(64, '6');
    EXPECT_FALSE(ledger::pair_is_root(pair("alice"), other, domain));
    other = cert;
    other.erase("owner_paymail");
    EXPECT_FALSE(ledger::pair_is_root(pair("alice"), other, domain));
}

TEST_F(Trust, ADisplayCountsWhenPaidPossibleAndByTheTitlesHolder) {
    const std::string fee = core::profile().placement_fee_address;
    const std::int64_t week_fee = ledger::PLACE_FEE_PER_WEEK_SATS;
    // Alice holds the title; the look-up fails for the pic "unknown".
    const ledger::TitleAt title_at = [](const std::string& pic, const ledger::HistoryEntry&, std::string& owner) {
        owner = ALICE;
        return pic == PIC;
    };
    struct Case {
        const char* name;
        std::vector<ledger::HistoryEntry> history;
        std::string shown_txid;  // "" = the frame is empty
        bool unread = false;
    };
    core::Json by_mallory = show(MALLORY, T - 50);
    core::Json unknown = show(ALICE, T - 100);
    unknown["pic"] = std::string(64, 'e');
    const std::vector<Case> cases = {
        {"paid for its week", {entry("s1", show(ALICE, T - 100), T - 100, 0, paying(week_fee, fee))}, "s1"},
        {"no fee", {entry("s1", show(ALICE, T - 100), T - 100, 0, paying(1, ledger_test::test_address(1)))}, ""},
        {"one week paid, two shown",
         {entry("s1", show(ALICE, T - 100, 2), T - 100, 0, paying(week_fee, fee))}, ""},
        {"no end", {entry("s1", [&] { auto r = show(ALICE, T - 100); r["exp"] = 0; return r; }(), T - 100, 0,
                          paying(week_fee, fee))},
         ""},
        {"three weeks", {entry("s1", show(ALICE, T - 100, 3), T - 100, 0, paying(3 * week_fee, fee))}, ""},
        {"not the title's holder", {entry("m1", by_mallory, T - 50, 0, paying(week_fee, fee))}, ""},
        {"a taken frame stays taken",
         {entry("s1", show(ALICE, T - 100), T - 100, 0, paying(week_fee, fee)),
          entry("s2", show(ALICE, T - 90), T - 90, 0, paying(week_fee, fee))},
         "s1"},
        {"free again after the first display's end",
         {entry("s1", show(ALICE, T - ledger::WEEK_S - 100), T - ledger::WEEK_S - 100, 5, paying(week_fee, fee, 5)),
          entry("s2", show(ALICE, T - 90), T - 90, 0, paying(week_fee, fee))},
         "s2"},
        {"title not known", {entry("u1", unknown, T - 100, 0, paying(week_fee, fee))}, "", true},
    };
    for (const auto& c : cases) {
        const ledger::DisplayPass p = ledger::replay_display(1, c.history, T, title_at);
        EXPECT_EQ(p.display.shown ? p.display.show_txid : "", c.shown_txid) << c.name;
        EXPECT_EQ(p.title_unread, c.unread) << c.name;
    }
}
