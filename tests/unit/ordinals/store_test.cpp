// The owned-list merge, the token rule and the inscription snapshot file.
#include "ordinals/owned.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "ordinals/snapshot.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

using namespace ord_test;

namespace {

ordinals::OvWendrelOrdRow row(const std::string& origin, const std::string& name = "", const std::string& type = "image/png") {
    ordinals::OvWendrelOrdRow r;
    r.origin = origin;
    r.txid = origin.substr(0, 64);
    r.vout = 0;
    r.content_type = type;
    r.name = name;
    r.address = ABANDON_ORDINALS0;
    return r;
}

ordinals::OvWendrelOrdRow token(const std::string& origin, const std::string& amt) {
    ordinals::OvWendrelOrdRow r = row(origin, "TOK", "application/bsv-20");
    r.token_id = "TOK";
    r.amt = amt;
    return r;
}

}  // namespace

TEST(OrdinalsOwned, TokenRule) {
    struct Case {
        ordinals::OvWendrelOrdRow r;
        bool kept;
    };
    std::vector<Case> cases = {
        {row(txid('1') + "_0"), true},
        {token(txid('1') + "_0", "10"), true},
        {token(txid('1') + "_0", "0.5"), true},
        {token(txid('1') + "_0", "0"), false},
        {token(txid('1') + "_0", "0.000"), false},
        {token(txid('1') + "_0", ""), false},
        {token(txid('1') + "_0", "-3"), false},
        {token(txid('1') + "_0", "1e5"), false},
        {token(txid('1') + "_0", "."), false},
    };
    for (const auto& c : cases) EXPECT_EQ(ordinals::token_row_kept(c.r), c.kept) << c.r.amt;
}

TEST(OrdinalsOwned, MergeIntoTheOwnedList) {
    std::vector<wallet::OwnedEntry> owned(3);
    owned[0].origin = txid('1') + "_0";
    owned[0].name = "Mine";
    owned[0].txid = txid('1');
    owned[1].origin = txid('2') + "_0";
    owned[1].hidden = true;
    owned[2].origin = txid('3') + "_0";
    owned[2].token_id = "TOK";
    owned[2].amt = "4";
    std::vector<ordinals::OvWendrelOrdRow> rows = {
        row(txid('1') + "_0", "From index"),
        row(txid('2') + "_0", "Hidden one"),
        token(txid('3') + "_0", "0"),
        row(txid('4') + "_0", "New"),
    };
    rows[0].txid = txid('9');  // moved within the wallet
    rows[0].vout = 1;
    rows[0].icon = "ic";
    EXPECT_TRUE(ordinals::merge_owned(owned, rows));
    ASSERT_EQ(rows.size(), 3u);  // the empty token row is gone
    EXPECT_EQ(rows[2].origin, txid('4') + "_0");
    EXPECT_EQ(owned[0].name, "Mine");
    EXPECT_EQ(owned[0].type, "image/png");
    EXPECT_EQ(owned[0].icon, "ic");
    EXPECT_EQ(owned[0].txid, txid('9'));
    EXPECT_EQ(owned[0].vout, 1);
    EXPECT_EQ(owned[1].name, "");  // hidden: left alone
    EXPECT_TRUE(owned[2].hidden);
    ASSERT_EQ(owned.size(), 4u);
    EXPECT_EQ(owned[3].origin, txid('4') + "_0");
    EXPECT_EQ(owned[3].name, "New");
    EXPECT_EQ(owned[3].address, ABANDON_ORDINALS0);
    // A second merge of the same rows changes nothing.
    EXPECT_FALSE(ordinals::merge_owned(owned, rows));
}

TEST(OrdinalsSnapshot, FileRoundTripAndSharing) {
    testing_support::TempPlatform tp;
    ordinals::Snapshot s;
    s.lots.push_back({txid('a') + "_0", txid('b'), 2, "image/png", "Pic", "", ABANDON_ORDINALS0});
    s.txids = {txid('b')};
    s.gone = {txid('c') + "_0"};
    ASSERT_TRUE(ordinals::write_snapshot("w1", s));
    core::Json j;
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1.json"), j));
    EXPECT_EQ(j["lots"][0], core::Json({{"origin", txid('a') + "_0"}, {"txid", txid('b')}, {"vout", 2},
                                        {"type", "image/png"}, {"name", "Pic"}, {"address", ABANDON_ORDINALS0}}));
    EXPECT_EQ(j["token_ids"], core::Json::array());
    ordinals::Snapshot back;
    ASSERT_TRUE(ordinals::read_snapshot("w1", back));
    ASSERT_EQ(back.lots.size(), 1u);
    EXPECT_EQ(back.lots[0].vout, 2);
    EXPECT_EQ(back.gone, s.gone);

    // Lots that do not check are dropped on reading; members of others are kept on writing.
    j["lots"].push_back({{"origin", "../../x"}, {"txid", txid('d')}, {"vout", 0}});
    j["lots"].push_back({{"origin", txid('e')}, {"txid", "zz"}, {"vout", 0}});
    j["by_wendrel"] = 7;
    tp.write("ord_snap/w1.json", core::dump_compact(j));
    ASSERT_TRUE(ordinals::read_snapshot("w1", back));
    EXPECT_EQ(back.lots.size(), 1u);
    ASSERT_TRUE(ordinals::write_snapshot("w1", back));
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1.json"), j));
    EXPECT_EQ(j["by_wendrel"], 7);

    // Unreadable files stay; the placeholder word never gets a file.
    tp.write("ord_snap/w1.json", "{broken");
    EXPECT_FALSE(ordinals::write_snapshot("w1", s));
    EXPECT_EQ(tp.read("ord_snap/w1.json"), "{broken");
    EXPECT_FALSE(ordinals::read_snapshot("w1", back));
    EXPECT_FALSE(ordinals::write_snapshot("wallet", s));
    EXPECT_FALSE(core::file_exists(tp.path("ord_snap/wallet.json")));
}

TEST(OrdinalsSnapshot, WriteWaitsForTheStoreLock) {
    testing_support::TempPlatform tp;
    ordinals::Snapshot s;
    s.lots.push_back({txid('a') + "_0", txid('a'), 0, "image/png", "Pic", "", ABANDON_ORDINALS0});
    race_with_wallet_app(
        tp.path("ord_snap/w1.json"), [&] { EXPECT_TRUE(ordinals::write_snapshot("w1", s)); },
        [](core::Json& j) { j["by_wendrel"] = core::Json::array({"kept"}); });
    core::Json j;
    ASSERT_TRUE(core::parse_json(tp.read("ord_snap/w1.json"), j));
    EXPECT_EQ(j["by_wendrel"], core::Json::array({"kept"}));
    ASSERT_TRUE(j["lots"].is_array());
    ASSERT_EQ(j["lots"].size(), 1u);
    EXPECT_EQ(j["lots"][0]["name"], "Pic");
}
