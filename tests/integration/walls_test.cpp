// The wall reader end to end: records signed by a wallet's registered identity key are
// posted to two frames of the devnet and read back by load_walls.
#include <gtest/gtest.h>

#include <string>

#include "core/clock.h"
#include "core/json.h"
#include "core/profile.h"
#include "ledger/identity_checks.h"
#include "ledger/records.h"
#include "ledger/walls.h"
#include "tests/support/devnet.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/document.h"
#include "wallet/registry.h"

using testing_support::Devnet;

namespace {

using testing_support::ABANDON_RECEIVE0;

core::Json show_record(int frame, char pic, std::int64_t ts, const std::string& price) {
    return {{"protocol", "OV-Art"}, {"type", "art_show"}, {"location", "art"}, {"handle", "alice"},
            {"spot", ledger::frame_row(frame).spot}, {"pic", std::string(64, pic)}, {"cert", std::string(64, 'c') + "_1"},
            {"sha256", std::string(64, '5')}, {"price", price}, {"pic_utxo", std::string(64, pic) + "_0"},
            {"cert_utxo", std::string(64, 'c') + "_1"}, {"pay_addr", ABANDON_RECEIVE0}, {"ts", ts},
            {"exp", ts + 604800}};
}

// The piece's certificate inscribed on the devnet, naming alice as its maker, and
// alice's pair binding it on the OCP address: the title a display needs.
void give_title(Devnet& dn, char pic) {
    const std::string sha(64, '5');
    const std::string origin = dn.inscribe(
        ABANDON_RECEIVE0, "application/json",
        core::dump_compact(core::Json{{"pic", std::string(64, pic)}, {"sha256", sha},
                                      {"owner_paymail", "alice@" + core::profile().paymail_domain}}));
    ASSERT_EQ(origin.size(), 66u);
    core::Json pair = {{"protocol", "OV-Art"}, {"type", "art_pair"}, {"location", "art"}, {"handle", "alice"},
                       {"pic", std::string(64, pic)}, {"cert", origin.substr(0, 64)}, {"sha256", sha},
                       {"owner", wallet::wallet_identity_key()}};
    const auto& p = core::profile();
    const std::string posted = ledger::post_record(pair, p.ocp_address, p.oao_address, 1);
    ASSERT_EQ(posted.rfind("success: ", 0), 0u) << posted;
}

}  // namespace

TEST(WallsOnDevnet, RecordsPostedToTwoFramesAreReadBack) {
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    ASSERT_TRUE(dn.running());
    dn.reset();
    ledger::reset_identity_caches();
    ledger::reset_wall_caches();
    ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "walls-test", {.paymail = "alice"}));
    const std::string key = wallet::wallet_identity_key();
    ASSERT_FALSE(dn.post("/devnet/identity", {{"pubkey", key}, {"alias", "alice"}}).is_null());
    ASSERT_FALSE(dn.fund(ABANDON_RECEIVE0, 80000, true).empty());
    give_title(dn, 'a');
    give_title(dn, 'b');
    dn.mine();

    const auto& p = core::profile();
    const std::int64_t now = core::now_seconds();
    core::Json a = show_record(2, 'a', now - 30, "1500");
    const std::string r1 = ledger::post_record(a, ledger::frame_row(2).watch_address, p.placement_fee_address, 10000);
    ASSERT_EQ(r1.rfind("success: ", 0), 0u) << r1;
    core::Json b = show_record(9, 'b', now - 20, "-");
    const std::string r2 = ledger::post_record(b, ledger::frame_row(9).watch_address, p.placement_fee_address, 10000);
    ASSERT_EQ(r2.rfind("success: ", 0), 0u) << r2;
    core::Json hide = {{"protocol", "OV-Art"}, {"type", "art_hide"}, {"location", "art"}, {"handle", "alice"},
                       {"spot", "as9"}, {"pic", std::string(64, 'b')}, {"cert", std::string(64, 'c')},
                       {"ts", now - 10}};
    const std::string r3 = ledger::post_record(hide, ledger::frame_row(9).watch_address, "", 0);
    ASSERT_EQ(r3.rfind("success: ", 0), 0u) << r3;

    std::string error;
    std::array<ledger::SpotLoad, ledger::FRAME_COUNT> walls;
    ledger::load_walls(error, walls);
    EXPECT_EQ(error, "");
    ASSERT_TRUE(walls[1].shown);
    EXPECT_EQ(walls[1].show_txid, r1.substr(9));
    EXPECT_EQ(walls[1].pic, std::string(64, 'a'));
    EXPECT_EQ(walls[1].cert, std::string(64, 'c'));
    EXPECT_EQ(walls[1].cert_origin, std::string(64, 'c') + "_1");
    EXPECT_EQ(walls[1].owner, key);
    EXPECT_EQ(walls[1].price, 1500);
    EXPECT_EQ(walls[1].shown_at, now - 30);
    EXPECT_FALSE(walls[1].sold);
    EXPECT_FALSE(walls[8].shown);  // shown, then hidden by its owner
    for (int i : {0, 2, 3, 4, 5, 6, 7, 9}) EXPECT_FALSE(walls[static_cast<std::size_t>(i)].shown) << i;
    EXPECT_EQ(ledger::shown_pic(1, now), std::string(64, 'a'));
    EXPECT_EQ(ledger::shown_pic(8, now), "");
    ledger::reset_wall_caches();
    wallet::forget_wallet();
}
