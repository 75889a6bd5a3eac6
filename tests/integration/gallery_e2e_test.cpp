// A whole sale through the real programs only: two people, each with their own platform
// folder (LOCALAPPDATA), their own wendrel wallet and their own quenvale-cli gallery. The
// seller mints and places the piece for sale with `place`; the buyer asks, the seller
// accepts, the buyer pays, the seller completes, and the buyer hangs it again. Every
// transaction a step reports must be one the devnet's validator took in.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/files.h"
#include "core/json.h"
#include "core/text.h"
#include "tests/support/devnet.h"
#include "tests/support/party.h"
#include "tests/support/temp_platform.h"

using testing_support::Devnet;
using testing_support::json_of;
using testing_support::Party;
using testing_support::RunResult;
using testing_support::txid_in;

namespace {

// Sats and output count the transaction pays to the address.
std::int64_t paid_to(const core::Json& tx, const std::string& address, int& outputs) {
    std::int64_t sats = 0;
    outputs = 0;
    if (!tx.contains("vout") || !tx["vout"].is_array()) return 0;
    for (const auto& out : tx["vout"]) {
        const core::Json spk = out.value("scriptPubKey", core::Json::object());
        if (!spk.contains("addresses") || !spk["addresses"].is_array()) continue;
        for (const auto& a : spk["addresses"]) {
            if (a != address) continue;
            ++outputs;
            sats += static_cast<std::int64_t>(out["value"].get<double>() * 1e8 + 0.5);
        }
    }
    return sats;
}

class GalleryEndToEnd : public testing_support::TwoParties {
protected:
    RunResult run_as(const Party& p, const std::string& program, const std::vector<std::string>& args) {
        return testing_support::run_as(tp, p, program, args);
    }

    core::Json cli(const Party& p, std::vector<std::string> args, int expect_exit = 0) {
        return testing_support::cli_as(tp, p, std::move(args), expect_exit);
    }

    // A sale or place step that must succeed; the txid it reports, known to the devnet.
    std::string step(const Party& p, std::vector<std::string> args) {
        const std::string command = args.front();
        const core::Json reply = cli(p, args);
        const std::string result = reply.value("result", std::string());
        const std::string txid = txid_in(result);
        EXPECT_EQ(txid.size(), 64u) << command << ": " << reply.dump();
        if (txid.empty()) return "";
        EXPECT_TRUE(dn.get("/woc/v1/bsv/main/tx/" + txid).is_object()) << command << " " << txid;
        dn.mine();
        return txid;
    }

    void open_wallet(Party& p, const std::string& name, const std::string& alias, int coins, std::int64_t sats) {
        ASSERT_TRUE(testing_support::open_wallet(tp, dn, p, name, alias, coins, sats));
    }

    const core::Json& frame(const core::Json& walls, int number) { return walls["frames"][number - 1]; }
};

}  // namespace

TEST_F(GalleryEndToEnd, PlacedForSaleAskedAcceptedPaidCompletedAndHungAgainByTheBuyer) {
    constexpr std::int64_t PRICE = 5000;
    constexpr int FRAME = 2;
    const std::string frame_text = std::to_string(FRAME);

    open_wallet(seller, "Seller", "seller", 1, 300000);
    if (HasFatalFailure()) return;
    // Two coins: the offer and the record that carries it may not share one.
    open_wallet(buyer, "Buyer", "buyer", 2, 150000);
    if (HasFatalFailure()) return;

    core::write_file(seller.folder + "/piece.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(256, 'z'));
    RunResult minted = run_as(seller, "wendrel", {"mint", "--image", seller.folder + "/piece.png", "--title",
                                                  "Harbour", "--artist", "Ines", "--json"});
    ASSERT_EQ(minted.exit_code, 0) << minted.err;
    const core::Json m = json_of(minted.out);
    const std::string pic = m.value("pic", std::string()), cert = m.value("cert", std::string());
    ASSERT_FALSE(pic.empty()) << minted.out;
    EXPECT_TRUE(dn.get("/woc/v1/bsv/main/tx/" + pic.substr(0, 64)).is_object()) << pic;
    EXPECT_TRUE(dn.get("/woc/v1/bsv/main/tx/" + cert.substr(0, 64)).is_object()) << cert;
    dn.mine();

    // The seller holds the piece before the sale; the buyer holds nothing.
    const core::Json seller_arts = cli(seller, {"arts"});
    ASSERT_TRUE(seller_arts.is_array()) << seller_arts.dump();
    EXPECT_TRUE(std::any_of(seller_arts.begin(), seller_arts.end(),
                            [&](const core::Json& a) { return a.value("origin", "") == pic; }))
        << seller_arts.dump();

    const std::string placed = step(seller, {"place", "--frame", frame_text, "--origin", pic, "--weeks", "1",
                                             "--price", std::to_string(PRICE)});
    ASSERT_FALSE(placed.empty());
    core::Json walls = cli(buyer, {"walls"});
    ASSERT_EQ(walls["frames"].size(), 10u) << walls.dump();
    EXPECT_EQ(frame(walls, FRAME)["shown"], true) << frame(walls, FRAME).dump();
    EXPECT_EQ(frame(walls, FRAME)["price"], PRICE);
    EXPECT_EQ(frame(walls, FRAME)["owner"], seller.shown["identity_key"]);

    const std::string asked = step(buyer, {"ask", "--frame", frame_text});
    ASSERT_FALSE(asked.empty());
    const std::string accepted = step(seller, {"accept", "--frame", frame_text});
    ASSERT_FALSE(accepted.empty());
    walls = cli(buyer, {"walls"});
    ASSERT_EQ(frame(walls, FRAME)["accepts"].size(), 1u) << frame(walls, FRAME).dump();
    EXPECT_EQ(frame(walls, FRAME)["accepts"][0]["buyer"], buyer.shown["identity_key"]);
    const std::string paid = step(buyer, {"pay", "--frame", frame_text});
    ASSERT_FALSE(paid.empty());
    const std::string sale_txid = step(seller, {"complete", "--frame", frame_text});
    ASSERT_FALSE(sale_txid.empty());

    // The sale moves the artwork and certificate to the buyer's ordinals address, one sat
    // each, and pays the seller, the sale fee and OAO.
    const core::Json sale = dn.get("/woc/v1/bsv/main/tx/" + sale_txid);
    ASSERT_TRUE(sale.is_object());
    const std::string buyer_ord = buyer.shown["ordinals_address"];
    int outputs = 0;
    EXPECT_EQ(paid_to(sale, buyer_ord, outputs), 2);
    EXPECT_EQ(outputs, 2);
    EXPECT_EQ(paid_to(sale, seller.shown["address"], outputs), PRICE - PRICE / 50);
    EXPECT_EQ(paid_to(sale, dn.profile()["sale_fee_address"], outputs), PRICE / 50);
    EXPECT_EQ(paid_to(sale, dn.profile()["oao_address"], outputs), 1);
    EXPECT_EQ(outputs, 1);
    const core::Json art = dn.get("/ord/api/txos/" + sale_txid + "_0");
    EXPECT_EQ(art.value("owner", std::string()), buyer_ord) << art.dump();
    const core::Json certificate = dn.get("/ord/api/txos/" + sale_txid + "_1");
    EXPECT_EQ(certificate.value("owner", std::string()), buyer_ord) << certificate.dump();

    // The buyer's wallet lists the piece, the seller's no longer does, and the frame is free.
    const core::Json buyer_arts = cli(buyer, {"arts"});
    EXPECT_TRUE(std::any_of(buyer_arts.begin(), buyer_arts.end(),
                            [&](const core::Json& a) { return a.value("origin", "") == pic; }))
        << buyer_arts.dump();
    const core::Json after = cli(seller, {"arts"});
    EXPECT_TRUE(std::none_of(after.begin(), after.end(),
                             [&](const core::Json& a) { return a.value("origin", "") == pic; }))
        << after.dump();
    walls = cli(seller, {"walls"});
    EXPECT_EQ(frame(walls, FRAME)["shown"], false) << frame(walls, FRAME).dump();

    // The new owner hangs it again: the title chain must name the buyer for place to pass.
    const std::string rehung =
        step(buyer, {"place", "--frame", "7", "--origin", pic, "--weeks", "1", "--price", "9000"});
    ASSERT_FALSE(rehung.empty());
    walls = cli(seller, {"walls"});
    const core::Json& f7 = frame(walls, 7);
    EXPECT_EQ(f7["shown"], true) << f7.dump();
    EXPECT_EQ(f7["pic"], pic.substr(0, 64));
    EXPECT_EQ(f7["owner"], buyer.shown["identity_key"]);
    EXPECT_EQ(f7["title"], "Harbour");
    EXPECT_EQ(f7["price"], 9000);
    // The seller can no longer place what it sold.
    const core::Json refused =
        cli(seller, {"place", "--frame", "8", "--origin", pic, "--weeks", "1"}, 1);
    EXPECT_EQ(refused.value("ok", true), false) << refused.dump();
}
