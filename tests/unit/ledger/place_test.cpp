// Place and remove against an in-process chain service with the "abandon" wallet
// bound: the refusals that come before any payment, the frames a just-posted record
// takes, and the Gallery reserve file.
#include "ledger/place.h"

#include <gtest/gtest.h>

#include "chain/reservations.h"
#include "chain/tx.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/files.h"
#include "ledger/identity_checks.h"
#include "ledger/walls.h"
#include "ordinals/listing.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/ledger/fake_chain.h"
#include "tests/unit/ledger/fake_registry.h"
#include "wallet/document.h"

namespace {

using ledger_test::FakeChain;
using ledger_test::TestKey;

const std::string PIC = std::string(64, 'a');
const std::string PIC_ORIGIN = PIC + "_0";
const std::string OTHER = std::string(64, 'b');
const std::string CERT = std::string(64, 'c');
const std::string SHA = std::string(64, '5');
constexpr std::int64_t T0 = 1733650000;

class Place : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    FakeChain chain;
    testing_support::FakeClock clock;
    TestKey bob = ledger_test::test_key(2, "bob");
    TestKey me;

    void SetUp() override {
        clock.install();
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
        ordinals::reset_list_cache();
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ledger-test", {.paymail = "alice"}));
        me.pub = wallet::wallet_identity_key();
        ASSERT_EQ(me.pub.size(), 66u);
        me.handle = "alice";
        chain.register_key(me);
        chain.register_key(bob);
        chain.set_auto_titles(true);
    }
    void TearDown() override {
        ledger::reset_identity_caches();
        ledger::reset_wall_caches();
        ordinals::reset_list_cache();
        wallet::forget_wallet();
    }

    static core::Json show(int frame, const std::string& pic, std::int64_t ts) {
        return {{"type", "art_show"}, {"spot", "as" + std::to_string(frame)}, {"pic", pic}, {"cert", CERT},
                {"sha256", SHA}, {"price", "-"}, {"pic_utxo", pic.substr(0, 64) + "_1"},
                {"cert_utxo", CERT + "_2"}, {"pay_addr", "1Pay"}, {"ts", ts}, {"exp", ts + 604800}};
    }
    std::vector<chain::ReserveEntry> reserve() {
        std::vector<chain::ReserveEntry> out;
        std::string error;
        EXPECT_TRUE(chain::read_reserve_entries(out, error)) << error;
        return out;
    }
    void put_reserve(const std::vector<chain::ReserveEntry>& entries) {
        std::string error;
        ASSERT_TRUE(chain::update_reserve_entries(
            [&](std::vector<chain::ReserveEntry>& held) {
                held = entries;
                return true;
            },
            error))
            << error;
    }
};

}  // namespace

TEST_F(Place, RefusalsBeforeAnyPayment) {
    chain.post("as5", show(5, OTHER, T0 - 100), bob);
    chain.post("as2", show(2, PIC, T0 - 100), bob);
    chain.fail_tx(chain.post("as7", show(7, OTHER + "_5", T0 - 100), bob), true);
    struct Case {
        int frame;
        std::string pic;
        std::int64_t price;
        int weeks;
        std::string expect;
    };
    const Case cases[] = {
        {0, PIC_ORIGIN, -1, 1, "error: that frame is not in the room."},
        {11, PIC_ORIGIN, -1, 1, "error: that frame is not in the room."},
        {1, PIC_ORIGIN, -1, 0, "error: choose one week or two weeks."},
        {1, PIC_ORIGIN, -1, 3, "error: choose one week or two weeks."},
        {1, PIC_ORIGIN, 0, 1, "error: leave the price empty for view only, or set a price in sats."},
        {1, PIC_ORIGIN, -2, 1, "error: that price is out of range."},
        {1, PIC_ORIGIN, ledger::MAX_RECORD_SATS + 1, 1, "error: that price is out of range."},
        // Taken beats "on another wall" whatever the frame order.
        {5, PIC_ORIGIN, -1, 1, "error: that frame is already taken."},
        {6, PIC_ORIGIN, 1500, 2, "error: that artwork is already on a wall."},
        {6, "  " + std::string(64, 'A') + "_0 ", -1, 1, "error: that artwork is already on a wall."},
        {6, PIC, -1, 1, "error: that artwork is already on a wall."},
        // A frame whose history was read only in part might show anything.
        {7, PIC_ORIGIN, -1, 1, "error: could not read AP7; try again"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ledger::ov_gallery_place(c.frame, c.pic, c.price, c.weeks), c.expect)
            << "frame " << c.frame << " pic " << c.pic << " price " << c.price << " weeks " << c.weeks;
    }
    EXPECT_TRUE(reserve().empty());
}

TEST_F(Place, IdentityPrecheckComesFirst) {
    ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "ledger-test"));
    EXPECT_EQ(ledger::ov_gallery_place(0, PIC_ORIGIN, 0, 9),
              std::string("error: Connect Wendrel and publish a @") + ledger_test::DOMAIN + " paymail first.");
    EXPECT_EQ(ledger::gallery_remove(1),
              std::string("error: Connect Wendrel and publish a @") + ledger_test::DOMAIN + " paymail first.");
}

TEST_F(Place, AFrameThisProgramJustTookIsTakenBeforeAnyIndexerListsIt) {
    core::Json placed = show(9, PIC, T0 - 5);
    placed["protocol"] = "OV-Art";
    placed["location"] = "art";
    placed["handle"] = placed["actor"] = "bob";
    FakeChain::sign(placed, bob);
    chain.give_title(PIC, bob, T0 - 6);
    ledger::remember_own_record("as9", std::string(64, '9'), placed, core::profile().placement_fee_address, 10000);
    EXPECT_EQ(ledger::frame_free_check(9, OTHER, T0), "error: that frame is already taken.");
    EXPECT_EQ(ledger::frame_free_check(10, PIC_ORIGIN, T0), "error: that artwork is already on a wall.");
    EXPECT_EQ(ledger::frame_free_check(10, OTHER, T0), "");
}

TEST_F(Place, AFreeFrameNeedsTheWalletsArtworksToBeListed) {
    // The fake has no ordinals index: the listing's error is the answer, and nothing is
    // posted or reserved.
    const std::string result = ledger::ov_gallery_place(1, PIC_ORIGIN, -1, 1);
    EXPECT_EQ(result.rfind("error: ", 0), 0u) << result;
    EXPECT_NE(result.find("1Sat"), std::string::npos) << result;
    EXPECT_TRUE(reserve().empty());
}

TEST_F(Place, RemoveRefusals) {
    chain.post("as5", show(5, OTHER, T0 - 100), bob);
    EXPECT_EQ(ledger::gallery_remove(5), "error: only the owner can remove this frame.");
    EXPECT_EQ(ledger::gallery_remove(1), "error: that frame is empty.");
    EXPECT_EQ(ledger::gallery_remove(0), "error: that frame is empty.");
    EXPECT_EQ(ledger::gallery_remove(11), "error: that frame is empty.");
}

TEST_F(Place, TheOwnerCannotRemoveWhileABuyerHasPaid) {
    // The title, the display and an accepted ask, signed by this wallet's identity key.
    auto signed_by_me = [](core::Json r) {
        r["protocol"] = "OV-Art";
        r["location"] = "art";
        std::string error;
        EXPECT_TRUE(ledger::sign_record(r, error)) << error;
        return r;
    };
    const std::string cert_id = FakeChain::cert_of(PIC);
    chain.put_content(cert_id + "_0", core::dump_compact(core::Json{
                                          {"pic", PIC}, {"sha256", SHA}, {"owner_paymail", "alice@devnet.quenvale.test"}}));
    chain.post("ocp",
               signed_by_me({{"type", "art_pair"}, {"pic", PIC}, {"cert", cert_id}, {"sha256", SHA}, {"owner", me.pub},
                             {"ts", T0 - 101}}),
               me, {core::profile().ocp_address, core::profile().oao_address});
    core::Json mine = show(6, PIC, T0 - 100);
    mine["price"] = "1500";
    chain.post("as6", signed_by_me(mine), me);
    const std::string title = R"({"type":"art_owner"})";
    chain.post("as6", signed_by_me({{"type", "art_gaccept"}, {"spot", "as6"}, {"pic", PIC}, {"cert", CERT},
                                    {"buyer", bob.pub}, {"prev", ""}, {"price_sats", 1500},
                                    {"title_sha", core::to_hex(core::sha256(title))}, {"title_json", title},
                                    {"ts", T0 - 60}}),
               me);
    // The accepted buyer's funded offer on the display's coins, all of them unspent.
    std::vector<chain::TxInput> ins(3);
    ins[0].txid = PIC;
    ins[0].vout = 1;
    ins[1].txid = CERT;
    ins[1].vout = 2;
    ins[2].txid = std::string(64, 'e');
    ins[2].vout = 2;
    ins[2].unlocking_script = {0x01, 0x51};
    const std::string offer =
        core::to_hex(chain::serialize_tx(ins, {{1500, core::from_hex("76a914" + std::string(40, '1') + "88ac")}}, false));
    chain.post("as6",
               {{"type", "art_gfunded"}, {"spot", "as6"}, {"pic", PIC}, {"offer", offer},
                {"offer_sha", core::to_hex(core::sha256(offer))}, {"ts", T0 - 50}},
               bob);
    EXPECT_EQ(ledger::gallery_remove(6),
              "error: the buyer has paid. Complete the sale. Remove waits until that is done.");
}

TEST_F(Place, RemoveOfAnUnreadableFrameGoesByTheReserveAndKeepsItWhenThePostingFails) {
    chain.fail_tx(chain.post("as7", show(7, PIC, T0 - 100), bob), true);
    put_reserve({{PIC + "_1", CERT + "_2", PIC_ORIGIN, CERT, -1, T0 + 604800, 7}});
    const std::string result = ledger::gallery_remove(7);
    EXPECT_EQ(result.rfind("error: ", 0), 0u) << result;
    EXPECT_NE(result, "error: that frame is empty.");
    EXPECT_EQ(reserve().size(), 1u) << "a removal that was not paid leaves the reserve as it was";
}

TEST_F(Place, ReserveEntriesAreReplacedMatchedAndFound) {
    EXPECT_EQ(ledger::reserve_add("short_1", CERT + "_2", PIC, CERT, -1, T0 + 10, 1), "error: bad artwork coins.");
    EXPECT_EQ(ledger::reserve_add(PIC + "_1", CERT + "_2", PIC_ORIGIN, CERT, -1, T0 + 604800, 1), "");
    // The same coin written with a colon in upper case is the same coin: replaced, not added.
    EXPECT_EQ(ledger::reserve_add(std::string(64, 'A') + ":1", std::string(64, 'D') + ":3", OTHER, CERT, 1500,
                                  T0 + 604800, 2),
              "");
    auto held = reserve();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].pic_utxo, PIC + "_1");
    EXPECT_EQ(held[0].spot, 2);
    EXPECT_EQ(ledger::reserve_status(OTHER), "For sale");
    EXPECT_EQ(ledger::reserve_status(PIC), "");
    EXPECT_TRUE(chain::is_reserved_coin(PIC, 1));

    // Placing the same artwork again replaces its entry.
    EXPECT_EQ(ledger::reserve_add(std::string(64, 'e') + "_0", std::string(64, 'f') + "_0", OTHER + "_0", CERT, -1,
                                  T0 + 604800, 3),
              "");
    held = reserve();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].spot, 3);
    EXPECT_EQ(ledger::reserve_status(OTHER), "On display");

    std::string pic, cert;
    EXPECT_TRUE(ledger::reserve_find(3, pic, cert));
    EXPECT_EQ(pic, OTHER + "_0");
    EXPECT_EQ(cert, CERT);
    EXPECT_FALSE(ledger::reserve_find(2, pic, cert));
    clock.advance(604801 * 1000LL);
    EXPECT_FALSE(ledger::reserve_find(3, pic, cert)) << "an ended display is not found";
    EXPECT_EQ(ledger::reserve_status(OTHER), "");

    EXPECT_EQ(ledger::reserve_clear(std::string(64, 'B') + "_0"), "");
    EXPECT_TRUE(reserve().empty());
    EXPECT_EQ(ledger::reserve_clear(OTHER), "") << "nothing left to clear is no error";
}

TEST_F(Place, AnUnreadableReserveIsNeverWrittenOver) {
    const std::string path = chain::reserve_file_path();
    core::make_dirs(core::parent_path(path));
    const std::string torn = R"({"reserves":[{"pic":")";
    ASSERT_TRUE(core::write_file(path, torn));
    EXPECT_EQ(ledger::reserve_add(PIC + "_1", CERT + "_2", PIC, CERT, -1, T0, 1),
              "error: could not write the Gallery reserve.");
    EXPECT_EQ(ledger::reserve_clear(PIC), "error: could not clear the Gallery reserve.");
    std::string pic, cert;
    EXPECT_FALSE(ledger::reserve_find(1, pic, cert));
    std::string after;
    ASSERT_TRUE(core::read_file(path, after));
    EXPECT_EQ(after, torn);
}
