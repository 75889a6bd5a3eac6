// The ordinals inbox between local wallets, its merge into the owned list, and the
// txids this computer already knows.
#include "ordinals/inbox.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/hex.h"
#include "ordinals/caches.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

using namespace ord_test;

namespace {

class Inbox : public WalletFixture {
protected:
    core::Bytes hash_of(const std::string& address) {
        core::Bytes h;
        wallet::hash160_from_address(address, h);
        return h;
    }
    std::string inbox_rel(const std::string& address) { return "ord_inbox/" + core::to_hex(hash_of(address)) + ".json"; }
    core::Json inbox(const std::string& address) {
        core::Json j;
        core::parse_json(tp.read(inbox_rel(address)), j);
        return j;
    }
};

}  // namespace

TEST_F(Inbox, DeliverAppendsThenUpdatesNonEmptyFields) {
    const std::string o = txid('a') + "_0";
    ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), o, "image/png", "Blue", "", "", ABANDON_ORDINALS0, "\x89PNG\r\n\x1a\nX");
    core::Json j = inbox(ABANDON_ORDINALS0);
    ASSERT_TRUE(j.is_array());
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0], core::Json({{"origin", o}, {"type", "image/png"}, {"name", "Blue"}, {"icon", ""}, {"amt", ""},
                                {"address", ABANDON_ORDINALS0}}));
    ordinals::Content c;
    ASSERT_TRUE(ordinals::content_cache_read(o, c));
    EXPECT_EQ(c.type, "image/png");
    EXPECT_EQ(c.name, "Blue");

    // The same origin again: empty values leave the fields, others replace them.
    ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), o, "", "Bluer", "icon1", "", "", "");
    j = inbox(ABANDON_ORDINALS0);
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["type"], "image/png");
    EXPECT_EQ(j[0]["name"], "Bluer");
    EXPECT_EQ(j[0]["icon"], "icon1");
    EXPECT_EQ(j[0]["address"], ABANDON_ORDINALS0);
    EXPECT_EQ(ordinals::name_cache_read(o), "Bluer");

    ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), txid('b') + "_1", "text/plain", "", "", "", ABANDON_ORDINALS0, "t");
    EXPECT_EQ(inbox(ABANDON_ORDINALS0).size(), 2u);
    // Another recipient has a file of its own.
    ordinals::inbox_deliver(hash_of(STRANGER), txid('c'), "text/plain", "", "", "", STRANGER, "t");
    EXPECT_EQ(inbox(STRANGER).size(), 1u);
    EXPECT_EQ(inbox(ABANDON_ORDINALS0).size(), 2u);
}

TEST_F(Inbox, TokensWithoutContentGetATransferDocument) {
    const std::string o = txid('d') + "_0";
    ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), o, "application/bsv-20", "ORDI", "", "25", ABANDON_ORDINALS0, "");
    ordinals::Content c;
    ASSERT_TRUE(ordinals::content_cache_read(o, c));
    core::Json doc;
    ASSERT_TRUE(core::parse_json(c.bytes, doc));
    EXPECT_EQ(doc, core::Json({{"p", "bsv-20"}, {"op", "transfer"}, {"amt", "25"}}));
    // Content with a token id: the id goes to the entry; an empty type is the token type.
    const std::string o2 = txid('e') + "_0";
    ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), o2, "", "", "", "7", ABANDON_ORDINALS0,
                            R"({"p":"bsv-20","op":"transfer","id":"GEMS","amt":"7"})");
    EXPECT_EQ(inbox(ABANDON_ORDINALS0)[1]["id"], "GEMS");
    ASSERT_TRUE(ordinals::content_cache_read(o2, c));
    EXPECT_EQ(c.type, "application/bsv-20");
}

TEST_F(Inbox, AnInboxThatDoesNotParseIsLeftAlone) {
    tp.write(inbox_rel(ABANDON_ORDINALS0), "[{\"origin\": broken");
    ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), txid('a'), "text/plain", "n", "", "", ABANDON_ORDINALS0, "bytes");
    EXPECT_EQ(tp.read(inbox_rel(ABANDON_ORDINALS0)), "[{\"origin\": broken");
    ordinals::Content c;
    EXPECT_TRUE(ordinals::content_cache_read(txid('a'), c));  // the cache still learns it
    tp.write(inbox_rel(ABANDON_ORDINALS0), R"({"not":"an array"})");
    ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), txid('a'), "text/plain", "n", "", "", ABANDON_ORDINALS0, "bytes");
    EXPECT_EQ(tp.read(inbox_rel(ABANDON_ORDINALS0)), R"({"not":"an array"})");
    ordinals::inbox_deliver(core::Bytes(19, 1), txid('a'), "text/plain", "n", "", "", ABANDON_ORDINALS0, "bytes");
    EXPECT_TRUE(core::list_files(tp.path("ord_inbox")).size() == 1u);
}

TEST_F(Inbox, DeliverWaitsForTheStoreLock) {
    // The recipient's wallet application adds an entry while we deliver another.
    race_with_wallet_app(
        tp.path(inbox_rel(ABANDON_ORDINALS0)),
        [&] { ordinals::inbox_deliver(hash_of(ABANDON_ORDINALS0), txid('a') + "_0", "image/png", "Ours", "", "", ABANDON_ORDINALS0, ""); },
        [&](core::Json& j) {
            if (!j.is_array()) j = core::Json::array();
            j.push_back({{"origin", txid('b') + "_0"}, {"name", "Theirs"}, {"by", "wendrel"}});
        });
    core::Json j = inbox(ABANDON_ORDINALS0);
    ASSERT_TRUE(j.is_array());
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["name"], "Theirs");
    EXPECT_EQ(j[0]["by"], "wendrel");
    EXPECT_EQ(j[1]["origin"], txid('a') + "_0");
    EXPECT_EQ(j[1]["name"], "Ours");
}

TEST_F(Inbox, MergeAddsNewOriginsAndFillsKnownOnes) {
    testing_support::write_hd_wallet(
        tp, {.extra = {{"ord_owned", {{{"origin", txid('1') + "_0"}, {"txid", txid('1')}, {"vout", 0}, {"name", "Kept"}, {"amt", "1"}}}}}});
    wallet::clear_wallet_state();
    ASSERT_TRUE(wallet::load_wallet());
    tp.write(inbox_rel(ABANDON_ORDINALS0), core::dump_compact(core::Json::array({
                                  {{"origin", txid('1') + "_0"}, {"type", "image/png"}, {"name", "Ignored"}, {"icon", "i"}, {"amt", "2"}},
                                  {{"origin", txid('2') + "_3"}, {"type", "application/json"}, {"name", "New one"}},
                                  {{"origin", "../../x"}, {"name", "hostile"}},
                                  "not an object",
                              })));
    tp.write(inbox_rel(STRANGER), core::dump_compact(core::Json::array({{{"origin", txid('3')}}})));
    EXPECT_TRUE(ordinals::inbox_merge({ABANDON_ORDINALS0}));
    core::Json doc = wallet_doc();
    ASSERT_EQ(doc["ord_owned"].size(), 2u);
    const auto& kept = doc["ord_owned"][0];
    EXPECT_EQ(kept["name"], "Kept");  // filled only when empty
    EXPECT_EQ(kept["type"], "image/png");
    EXPECT_EQ(kept["icon"], "i");
    EXPECT_EQ(kept["amt"], "2");  // refreshed
    EXPECT_EQ(kept["address"], ABANDON_ORDINALS0);
    const auto& added = doc["ord_owned"][1];
    EXPECT_EQ(added["origin"], txid('2') + "_3");
    EXPECT_EQ(added["txid"], txid('2'));
    EXPECT_EQ(added["vout"], 3);
    EXPECT_EQ(added["name"], "New one");
    EXPECT_EQ(ordinals::name_cache_read(txid('2') + "_3"), "New one");
    // Nothing new the second time: the document is not written again.
    tp.write("wallets/w1/wallet.json", core::dump_pretty(doc) + "\n");
    EXPECT_FALSE(ordinals::inbox_merge({ABANDON_ORDINALS0}));
    EXPECT_EQ(tp.read("wallets/w1/wallet.json"), core::dump_pretty(doc) + "\n");
}

TEST_F(Inbox, KnownLocalTxids) {
    tp.write(inbox_rel(ABANDON_ORDINALS0), core::dump_compact(core::Json::array({{{"origin", txid('A') + "_0"}}, {{"origin", "junk"}}})));
    tp.write("ord_inbox/" + std::string(40, 'e') + ".json", core::dump_compact(core::Json::array({{{"origin", txid('b')}}})));
    tp.write("ord_inbox/notes.txt", "[]");
    tp.write("ord_cache/" + txid('c') + "_2.bin", "x");
    tp.write("ord_cache/" + txid('d') + ".nam", "x");
    tp.write("ord_cache/stray.bin", "x");
    tp.write("tx_hist/w1.json", core::dump_compact({{"rows", {{{"txid", txid('e')}}, {{"txid", "short"}}, {{"txid", std::string(64, 'z')}}}}}));
    tp.write("tx_hist/w1_face.json", R"({"sats":5,"address":"x"})");
    tp.write("tx_hist/broken.json", "{");
    std::set<std::string> want = {txid('a'), txid('b'), txid('c'), txid('d'), txid('e')};
    EXPECT_EQ(ordinals::known_local_txids({ABANDON_ORDINALS0}), want);
}
