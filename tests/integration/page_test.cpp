// The page bridge between real processes: two people, each with a platform folder, a
// wendrel wallet and a `quenvale-cli page` host of their own, play a whole sale by page
// messages alone, as the room page would send them.
#include <gtest/gtest.h>

#include <chrono>

#include "core/files.h"
#include "core/json.h"
#include "tests/support/devnet.h"
#include "tests/support/page_process.h"
#include "tests/support/party.h"
#include "tests/support/temp_platform.h"

using testing_support::Devnet;
using testing_support::json_of;
using testing_support::PageProcess;
using testing_support::Party;

namespace {

constexpr int FRAME = 3;
constexpr std::int64_t PRICE = 5000;

class PageBridge : public testing_support::TwoParties {
protected:
    std::string web(const Party& p) { return p.folder + "/web"; }

    std::unique_ptr<PageProcess> page(const Party& p, const std::string& answer = "no") {
        core::make_dirs(web(p));
        return std::make_unique<PageProcess>(p.folder, p.instance,
                                             std::vector<std::string>{"--web", web(p), "--answer", answer});
    }

    // Hello, then the walls the host sends for it.
    core::Json hello(PageProcess& pp) {
        pp.send({{"op", "hello"}});
        EXPECT_EQ(pp.wait_for_op("look")["op"], "look");
        EXPECT_EQ(pp.wait_for_op("connected"), (core::Json{{"op", "connected"}, {"status", "Connected."}}));
        return pp.wait_for_op("walls");
    }

    // The reply to a frame request: the first place-list, place-error or need-connect.
    core::Json answer_to(PageProcess& pp, const core::Json& request) {
        pp.send(request);
        return pp.wait_for([](const core::Json& j) {
            const std::string op = j.value("op", "");
            return op == "place-list" || op == "place-error" || op == "need-connect" || op == "placed" ||
                   op == "removed";
        });
    }

    // A sale step by page message in a fresh host; the place-list or removed it gives.
    core::Json step(const Party& p, const std::string& op, const std::string& buyer_key = "") {
        auto pp = page(p);
        const core::Json reply = answer_to(*pp, {{"op", op}, {"spot", FRAME}, {"buyer", buyer_key}});
        EXPECT_EQ(pp->finish(), 0) << pp->error_output();
        dn.mine();
        return reply;
    }

    core::Json select(const Party& p) {
        auto pp = page(p);
        const core::Json reply = answer_to(*pp, {{"op", "select"}, {"spot", FRAME}});
        EXPECT_EQ(pp->finish(), 0) << pp->error_output();
        return reply;
    }
};

TEST_F(PageBridge, AWholeSaleByPageMessagesBetweenTwoHosts) {
    ASSERT_TRUE(testing_support::open_wallet(tp, dn, seller, "Seller", "seller", 1, 300000));
    // Two coins: the offer and the record that carries it may not share one.
    ASSERT_TRUE(testing_support::open_wallet(tp, dn, buyer, "Buyer", "buyer", 2, 150000));
    const std::string picture = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, 'q');
    core::write_file(seller.folder + "/piece.png", picture);
    const auto minted = testing_support::run_as(
        tp, seller, "wendrel",
        {"mint", "--image", seller.folder + "/piece.png", "--title", "Harbour", "--artist", "Ines", "--json"});
    ASSERT_EQ(minted.exit_code, 0) << minted.err;
    const std::string pic = json_of(minted.out).value("pic", std::string());
    ASSERT_FALSE(pic.empty()) << minted.out;
    dn.mine();

    // The seller's room: empty walls, hostile lines ignored, the free frame offers the piece.
    {
        auto pp = page(seller);
        const core::Json walls = hello(*pp);
        EXPECT_EQ(walls["shows"], core::Json::array()) << walls.dump();
        pp->send_text("not json");
        pp->send_text("[1,2]");
        pp->send_text(R"({"op":"select","spot":"3"})");
        pp->send_text(R"({"op":"place","spot":3,"weeks":1.5,"price":"1.5","unit":"sats","origin":[1]})");
        const core::Json refused = pp->wait_for_op("place-error");
        EXPECT_EQ(refused["text"], "Sats are a whole number. Switch the unit to BSV for a decimal.");
        const core::Json list = answer_to(*pp, {{"op", "select"}, {"spot", FRAME}});
        ASSERT_EQ(list["op"], "place-list") << list.dump();
        EXPECT_EQ(list["taken"], false);
        EXPECT_EQ(list["status"], "Select an artwork, then 1 week or 2 weeks.");
        bool offered = false;
        for (const auto& a : list["arts"]) offered = offered || a.value("origin", "") == pic;
        EXPECT_TRUE(offered) << list.dump();

        const core::Json placed = answer_to(*pp, {{"op", "place"}, {"spot", FRAME}, {"origin", pic},
                                                  {"price", std::to_string(PRICE)}, {"unit", "sats"}, {"weeks", 1}});
        ASSERT_EQ(placed["op"], "placed") << placed.dump() << pp->error_output();
        EXPECT_EQ(placed["status"], "Placed on AP3.");
        std::string url = placed.value("url", "");
        if (url.empty()) url = pp->wait_for_op("spot-pic").value("url", "");
        EXPECT_EQ(url, "spots/ap3.png");
        std::string stored;
        EXPECT_TRUE(core::read_file(web(seller) + "/" + url, stored));
        EXPECT_EQ(stored, picture);
        EXPECT_EQ(pp->finish(), 0) << pp->error_output();
    }
    dn.mine();

    // The buyer sees the piece on the wall with its picture, and asks.
    {
        auto pp = page(buyer);
        const core::Json walls = hello(*pp);
        ASSERT_EQ(walls["shows"].size(), 1u) << walls.dump();
        EXPECT_EQ(walls["shows"][0], (core::Json{{"spot", FRAME}, {"url", "spots/ap3.png"}, {"title", "Harbour"}}));
        std::string stored;
        EXPECT_TRUE(core::read_file(web(buyer) + "/spots/ap3.png", stored));
        EXPECT_EQ(stored, picture);
        EXPECT_EQ(pp->finish(), 0);
    }
    core::Json list = select(buyer);
    ASSERT_EQ(list["op"], "place-list") << list.dump();
    EXPECT_EQ(list["taken"], true);
    EXPECT_EQ(list["status"], "AP3 is taken.");
    EXPECT_EQ(list["price"], PRICE);
    EXPECT_EQ(list["weeks"], 1);
    EXPECT_EQ(list["mine"], false);
    EXPECT_EQ(list["action"], "ask");

    list = step(buyer, "ask");
    EXPECT_EQ(list["status"], "Asked. The owner accepts next.") << list.dump();
    EXPECT_EQ(list["action"], "asked");

    list = select(seller);
    EXPECT_EQ(list["mine"], true) << list.dump();
    EXPECT_EQ(list["action"], "accept");
    EXPECT_EQ(list["buyer"], buyer.shown["identity_key"]);
    list = step(seller, "accept", list.value("buyer", ""));
    EXPECT_EQ(list["status"], "Accepted. The buyer pays next.") << list.dump();
    EXPECT_EQ(list["action"], "accepted");

    list = step(buyer, "pay");
    EXPECT_EQ(list["status"], "Paid. The owner completes the sale.") << list.dump();
    EXPECT_EQ(list["action"], "paid");

    EXPECT_EQ(select(seller)["action"], "complete");
    const core::Json removed = step(seller, "complete");
    EXPECT_EQ(removed, (core::Json{{"op", "removed"}, {"spot", FRAME}, {"status", "Completed. The frame is empty."}}));

    // The frame is empty for both; the buyer now holds the piece and may hang it.
    list = select(buyer);
    EXPECT_EQ(list["taken"], false) << list.dump();
    bool holds = false;
    for (const auto& a : list["arts"]) holds = holds || a.value("origin", "") == pic;
    EXPECT_TRUE(holds) << list.dump();
    EXPECT_EQ(select(seller)["taken"], false);
}

TEST_F(PageBridge, AdmissionIsPaidOnYesAndADeclineEndsTheHostFiveSecondsLater) {
    ASSERT_TRUE(testing_support::open_wallet(tp, dn, buyer, "Buyer", "buyer", 1, 50000));
    {
        auto pp = page(buyer, "yes");
        pp->send({{"op", "enter"}});
        EXPECT_EQ(pp->wait_for_op("entered"), (core::Json{{"op", "entered"}})) << pp->error_output();
        pp->send({{"op", "enter"}});  // paid once per run
        EXPECT_EQ(pp->finish(), 0);
        int entered = 0;
        for (const auto& m : pp->seen()) entered += m.value("op", "") == "entered";
        EXPECT_EQ(entered, 1);
        EXPECT_NE(pp->error_output().find("Pay 200 sats to enter the gallery? yes"), std::string::npos);
    }
    {
        auto pp = page(buyer, "no");
        pp->send({{"op", "enter"}});
        EXPECT_EQ(pp->wait_for_op("unpaid"), (core::Json{{"op", "unpaid"}}));
        const auto start = std::chrono::steady_clock::now();
        // The input stays open: the quit timer alone ends the host.
        EXPECT_EQ(pp->finish(15000, false), 0);
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_GT(waited.count(), 4000);
    }
    // Without a wallet: unpaid, no question.
    Party stranger = testing_support::make_party(tp, "stranger");
    auto pp = page(stranger, "yes");
    pp->send({{"op", "hello"}});
    pp->send({{"op", "enter"}});
    EXPECT_EQ(pp->wait_for_op("unpaid"), (core::Json{{"op", "unpaid"}}));
    EXPECT_EQ(pp->error_output().find("Pay 200"), std::string::npos);
}

}  // namespace
