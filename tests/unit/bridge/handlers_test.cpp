// The operation handlers between a recording shell port and operations that the tests
// script: which replies the page gets, in which order, what the busy flag lets through,
// and how the admission question is decided.
#include "bridge/handlers.h"
#include "bridge/approval.h"

#include <gtest/gtest.h>

#include <atomic>

#include "bridge/operations.h"
#include "bridge/protocol.h"
#include "bridge/state.h"
#include "bridge/workers.h"
#include "core/files.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/bridge/recording_port.h"

using bridge_test::Gate;
using bridge_test::RecordingPort;

namespace {

const std::string ME = "02" + std::string(64, 'a');
const std::string OTHER = "03" + std::string(64, 'b');
const std::string BUYER_ONE = "02" + std::string(64, 'c');
const std::string BUYER_TWO = "02" + std::string(64, 'd');
const std::string PIC = std::string(64, 'e');
constexpr std::int64_t NOW = 1'800'000'000;

class Handlers : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    RecordingPort port;
    bridge::Walls walls;
    std::string walls_status;
    std::string result = "success: " + std::string(64, '1');
    std::vector<ordinals::OvWendrelOrdRow> arts;
    std::map<std::string, int> offer_states;
    std::atomic<bool> ready{true};
    std::atomic<bool> bound{false};       // bound while the snapshot says not loaded yet
    std::atomic<bool> loads_late{false};  // and the worker's load then succeeds
    Gate gate;          // held by operations that should wait
    std::atomic<bool> hold{false};  // whether the scripted chain operations wait at the gate
    Gate picture_gate;
    std::atomic<bool> hold_picture{false};
    std::atomic<bool> picture_ok{true};
    std::atomic<int> places{0}, selects{0}, loads{0};
    std::vector<std::string> calls;  // "place 3 <origin> 1500 1", "accept 4 <buyer>", …
    std::mutex calls_mutex;

    void SetUp() override {
        bridge::reset_bridge_state();
        bridge::reset_workers();
        for (int i = 0; i < ledger::FRAME_COUNT; ++i) walls[i].spot = i + 1;
        bridge::Operations o;
        o.ready = [this] { return ready.load(); };
        o.bound = [this] { return bound.load(); };
        o.load_ready = [this] { return ready.load() || loads_late.load(); };
        o.my_key = [] { return ME; };
        o.connect = [this] { return scripted("connect"); };
        o.load_walls = [this](std::string& status, bridge::Walls& w) {
            ++loads;
            status = walls_status;
            w = walls;
        };
        o.place = [this](int frame, const std::string& origin, std::int64_t sats, int weeks) {
            ++places;
            return scripted("place " + std::to_string(frame) + " " + origin + " " + std::to_string(sats) + " " +
                            std::to_string(weeks));
        };
        o.remove = [this](int frame) { return scripted("remove " + std::to_string(frame)); };
        o.sale_step = [this](const std::string& op, int frame, const std::string& buyer) {
            return scripted(op + " " + std::to_string(frame) + (buyer.empty() ? "" : " " + buyer));
        };
        o.enter = [this] { return scripted("enter"); };
        o.list_arts = [this](std::vector<ordinals::OvWendrelOrdRow>& rows) {
            ++selects;
            rows = arts;
            return std::string();
        };
        o.kind_of = [](const std::string& origin) { return origin.find("cert") == 0 ? "Certificate" : "Artwork"; };
        o.reserve_status = [](const std::string& origin) {
            return origin.rfind("reserved", 0) == 0 ? std::string("On display") : std::string();
        };
        o.offer_status = [this](const std::string& offer) {
            auto it = offer_states.find(offer);
            return it == offer_states.end() ? 1 : it->second;
        };
        o.fetch_picture = [this](int, const std::string&) {
            if (hold_picture) picture_gate.wait();
            bridge::SpotPic p;
            p.extension = "png";
            p.bytes = core::to_bytes("png-bytes");
            p.ok = picture_ok.load();
            return p;
        };
        o.store_picture = [](int frame, const std::string&, const bridge::SpotPic& pic) {
            return pic.ok ? "spots/ap" + std::to_string(frame) + "." + pic.extension : std::string();
        };
        bridge::set_operations(o);
        bridge::set_shell_port(&port);
    }

    void TearDown() override {
        gate.release();
        picture_gate.release();
        EXPECT_TRUE(bridge::wait_for_workers(10000));
        bridge::set_operations(bridge::default_operations());
        bridge::reset_bridge_state();
        bridge::reset_workers();
    }

    std::string scripted(const std::string& call) {
        {
            std::lock_guard<std::mutex> lock(calls_mutex);
            calls.push_back(call);
        }
        if (hold) gate.wait();
        return result;
    }

    void send(const core::Json& message) { bridge::dispatch_page_message(message.dump()); }
    // Sends and waits until the work it started has ended.
    void run(const core::Json& message) {
        send(message);
        settled();
    }

    static ordinals::OvWendrelOrdRow row(const std::string& origin, const std::string& kind, const std::string& name) {
        ordinals::OvWendrelOrdRow r;
        r.origin = origin;
        r.txid = origin.substr(0, origin.find('_'));
        r.kind = kind;
        r.name = name;
        return r;
    }

    // The replies once every worker has ended.
    std::vector<core::Json> settled() {
        gate.release();
        picture_gate.release();
        EXPECT_TRUE(bridge::wait_for_workers(10000));
        return port.replies();
    }

    ledger::SpotLoad& shown(int frame, const std::string& owner, std::int64_t price) {
        ledger::SpotLoad& s = walls[frame - 1];
        s.shown = true;
        s.pic = PIC;
        s.owner = owner;
        s.title = "Harbour";
        s.price = price;
        s.shown_at = NOW - 1000;
        s.exp = NOW + 600000;
        return s;
    }
};

std::vector<core::Json> unpaid_only() { return {core::Json{{"op", "unpaid"}}}; }

core::Json busy_reply() { return {{"op", "place-error"}, {"text", bridge::BUSY_TEXT}}; }

TEST_F(Handlers, HelloSendsLookThenConnectedThenWallsWithPicturesOfShownFrames) {
    port.look = {false, 90};
    shown(3, OTHER, 5000);
    walls[6].shown = true;  // shown without a pic: no picture to ask for
    walls_status = "could not read AP9; try again";
    send({{"op", "hello"}});
    const auto r = settled();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(port.raw()[0], R"({"fps":90,"op":"look","scale":1.0})");
    EXPECT_EQ(r[1], (core::Json{{"op", "connected"}, {"status", "Connected."}}));
    EXPECT_EQ(r[2]["op"], "walls");
    EXPECT_EQ(r[2]["shows"], core::Json::parse(R"([{"spot":3,"url":"spots/ap3.png","title":"Harbour"}])"));
    EXPECT_EQ(r[2]["status"], walls_status);
}

TEST_F(Handlers, HelloWithoutWalletIsLookOnlyAndWallsLeaveAnEmptyStatusOut) {
    ready = false;
    port.look = {true, 45};  // not a rate the room runs at: 60
    send({{"op", "hello"}});
    auto r = settled();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(port.raw()[0], R"({"fps":60,"op":"look","scale":1.7})");

    ready = true;
    send({{"op", "connect"}});
    r = settled();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1]["op"], "connected");
    EXPECT_EQ(r[2], (core::Json{{"op", "walls"}, {"shows", core::Json::array()}}));
}

TEST_F(Handlers, ConnectFailureIsACleanedNeedConnect) {
    result = "error:   the wallet application said no";
    send({{"op", "connect"}});
    auto r = settled();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (core::Json{{"op", "need-connect"}, {"status", "the wallet application said no"}}));
    result = "error: ";
    send({{"op", "connect"}});
    r = settled();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1]["status"], "Connect did not finish.");
}

TEST_F(Handlers, FrameRequestsOutsideTheRoomOrOfAnotherTypeGetNoReply) {
    for (const char* text : {R"({"op":"select"})", R"({"op":"select","spot":0})", R"({"op":"select","spot":11})",
                             R"({"op":"select","spot":"3"})", R"({"op":"select","spot":3.5})",
                             R"({"op":"remove","spot":-1})", R"({"op":"ask","spot":99999999999999})",
                             R"({"op":"complete","spot":null})", R"([{"op":"select","spot":3}])", R"("select")",
                             R"({"op":"Select","spot":3})", R"({"op":["select"],"spot":3})", "not json",
                             R"({"op":"select","spot":3)", ""})
        bridge::dispatch_page_message(text);
    // A page message as long as a picture is not one.
    bridge::dispatch_page_message(R"({"op":"select","spot":3,"pad":")" + std::string(10 * 1024 * 1024, 'x') + "\"}");
    EXPECT_TRUE(settled().empty());
    EXPECT_EQ(loads.load(), 0);
}

TEST_F(Handlers, NotConnectedFrameRequestsAskForWendrel) {
    ready = false;
    send({{"op", "select"}, {"spot", 4}});
    send({{"op", "remove"}, {"spot", 5}});
    send({{"op", "pay"}, {"spot", 6}});
    const auto r = settled();
    ASSERT_EQ(r.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(r[i], (core::Json{{"op", "need-connect"}, {"spot", 4 + i}, {"status", "Connect Wendrel first."}}));
}

TEST_F(Handlers, ABoundWalletThatIsStillLoadingIsCheckedByTheWorker) {
    ready = false;
    bound = true;
    loads_late = true;
    run({{"op", "select"}, {"spot", 2}});
    loads_late = false;  // sealed meanwhile: the worker says so
    run({{"op", "ask"}, {"spot", 2}});
    const auto r = port.replies();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0]["op"], "place-list");
    EXPECT_EQ(r[1], (core::Json{{"op", "need-connect"}, {"spot", 2}, {"status", "Connect Wendrel first."}}));
    EXPECT_EQ(calls.size(), 0u);
    // Busy was given back: the next request runs.
    loads_late = true;
    run({{"op", "remove"}, {"spot", 2}});
    EXPECT_EQ(calls, std::vector<std::string>{"remove 2"});
}

TEST_F(Handlers, OneOperationAtATimeAndThePriceIsCheckedEvenWhileBusy) {
    picture_ok = false;  // no spot-pic to count
    hold = true;
    send({{"op", "place"}, {"spot", 2}, {"origin", PIC + "_0"}, {"price", "1500"}, {"unit", "sats"}, {"weeks", 1}});
    ASSERT_TRUE(gate.wait_for_holder());
    send({{"op", "select"}, {"spot", 3}});   // dropped without a word
    send({{"op", "connect"}});               // likewise
    send({{"op", "place"}, {"spot", 4}, {"origin", PIC + "_0"}, {"price", ""}, {"weeks", 1}});  // likewise
    send({{"op", "remove"}, {"spot", 3}});   // the busy reply, without "status"
    send({{"op", "ask"}, {"spot", 3}});
    send({{"op", "place"}, {"spot", 4}, {"origin", PIC + "_0"}, {"price", "1.5 bsv"}, {"unit", "sats"}});
    auto r = port.wait_replies(3);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], busy_reply());
    EXPECT_EQ(r[1], busy_reply());
    EXPECT_EQ(r[2]["op"], "place-error");
    EXPECT_EQ(r[2]["text"], "Sats are a whole number. Switch the unit to BSV for a decimal.");
    EXPECT_EQ(r[2]["status"], r[2]["text"]);
    r = settled();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[3]["op"], "placed");
    EXPECT_EQ(places.load(), 1);
    EXPECT_EQ(selects.load(), 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "place 2 " + PIC + "_0 1500 1");

    // Busy is clear again once the reply went out.
    hold = false;
    send({{"op", "select"}, {"spot", 3}});
    EXPECT_EQ(settled().size(), 5u);
}

TEST_F(Handlers, PlaceMembersOfAnotherTypeCountAsAbsent) {
    run({{"op", "place"}, {"spot", "2"}, {"origin", 7}, {"price", 1500}, {"unit", "bsv"}, {"weeks", 1.5}});
    run({{"op", "place"}, {"spot", 2}, {"origin", PIC + "_0"}, {"price", "0.001"}, {"unit", "bsv"}, {"weeks", 2}});
    settled();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "place 0  -1 0");  // the place operation refuses frame 0 in its own words
    EXPECT_EQ(calls[1], "place 2 " + PIC + "_0 100000 2");
}

TEST_F(Handlers, PlacedCarriesTheReadyPictureOrASpotPicFollows) {
    send({{"op", "place"}, {"spot", 5}, {"origin", PIC + "_0"}, {"price", ""}, {"weeks", 1}});
    auto r = settled();
    // Which finishes first, the fetch or the chain work, is up to the threads here: the
    // url comes with "placed" or right after it, never twice and never lost.
    const core::Json placed = {{"op", "placed"}, {"spot", 5}, {"status", "Placed on AP5."}};
    if (r.size() == 1) {
        core::Json with_url = placed;
        with_url["url"] = "spots/ap5.png";
        EXPECT_EQ(r[0], with_url);
    } else {
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(r[0], placed);
        EXPECT_EQ(r[1], (core::Json{{"op", "spot-pic"}, {"spot", 5}, {"url", "spots/ap5.png"}}));
    }
    const std::size_t before = r.size();

    hold_picture = true;
    picture_gate.close();
    send({{"op", "place"}, {"spot", 6}, {"origin", PIC + "_0"}, {"price", ""}, {"weeks", 1}});
    r = port.wait_replies(before + 1);
    ASSERT_EQ(r.size(), before + 1);
    EXPECT_EQ(r[before], (core::Json{{"op", "placed"}, {"spot", 6}, {"status", "Placed on AP6."}}));
    picture_gate.release();
    r = settled();
    ASSERT_EQ(r.size(), before + 2);
    EXPECT_EQ(r[before + 1], (core::Json{{"op", "spot-pic"}, {"spot", 6}, {"url", "spots/ap6.png"}}));
}

TEST_F(Handlers, FailedPlaceIsACleanedErrorAndItsPictureIsDropped) {
    result = "error:  AP2 is taken.";
    run({{"op", "place"}, {"spot", 2}, {"origin", PIC + "_0"}, {"price", ""}, {"weeks", 1}});
    result = "";
    send({{"op", "place"}, {"spot", 2}, {"origin", PIC + "_0"}, {"price", ""}, {"weeks", 1}});
    const auto r = settled();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], (core::Json{{"op", "place-error"}, {"text", "AP2 is taken."}, {"status", "AP2 is taken."}}));
    EXPECT_EQ(r[1]["text"], "Place did not finish.");
    for (const auto& m : r) EXPECT_NE(m["op"], "spot-pic");
}

TEST_F(Handlers, RemoveSendsWallsBeforeRemoved) {
    send({{"op", "remove"}, {"spot", 7}});
    auto r = settled();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0]["op"], "walls");
    EXPECT_EQ(r[1], (core::Json{{"op", "removed"}, {"spot", 7}, {"status", "Removed from AP7."}}));
    result = "error: ";
    send({{"op", "remove"}, {"spot", 7}});
    r = settled();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2], (core::Json{{"op", "place-error"}, {"text", "Remove did not finish."}, {"status", "Remove did not finish."}}));
}

TEST_F(Handlers, SelectOnAFreeFrameOffersFreeArtworksOnly) {
    shown(9, OTHER, -1).pic = std::string(64, 'f');
    arts = {row("reserved_1", "Artwork", "Kept"), row(PIC + "_0", "", "Blank kind, an artwork"),
            row("cert_0", "", "A certificate"), row(std::string(64, 'f') + "_0", "Artwork", "Shown on AP9 from elsewhere"),
            row("free_2", "Artwork", "Free")};
    send({{"op", "select"}, {"spot", 1}});
    auto r = settled();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], core::Json::parse(R"({"op":"place-list","spot":1,"taken":false,"arts":[
        {"origin":")" + PIC + R"(_0","name":"Blank kind, an artwork"},{"origin":"free_2","name":"Free"}],
        "status":"Select an artwork, then 1 week or 2 weeks."})"));

    arts.clear();
    send({{"op", "select"}, {"spot", 1}});
    r = settled();
    EXPECT_EQ(r[1]["status"], "No artwork is free to place.");
}

TEST_F(Handlers, SelectOnAFrameThatCouldNotBeReadDoesNotCallItFree) {
    walls[3].error = "could not read AP4; try again";
    send({{"op", "select"}, {"spot", 4}});
    const auto r = settled();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["op"], "place-error");
    EXPECT_EQ(r[0]["text"], "AP4 could not be read from the chain. Try again in a moment.");
    EXPECT_EQ(selects.load(), 0);
}

TEST_F(Handlers, TakenFrameDescription) {
    struct Case {
        std::string name;
        std::function<void(ledger::SpotLoad&)> setup;
        std::string action, buyer;
        int weeks;
        bool mine, ended;
    };
    auto ask = [](const std::string& buyer) { return ledger::AskEntry{"", buyer, "", "", 5000, NOW - 10}; };
    auto accept = [](const std::string& buyer) { return ledger::AcceptEntry{"", buyer, "", 5000, NOW - 5}; };
    auto funded = [](const std::string& offer) { return ledger::FundedEntry{"", offer, "", NOW - 1, BUYER_ONE}; };
    const std::vector<Case> cases = {
        {"one week and an hour is one week", [](auto& s) { s.owner = ME; s.exp = s.shown_at + 608400; }, "", "", 1, true, false},
        {"a second more is two weeks", [](auto& s) { s.owner = ME; s.exp = s.shown_at + 608401; }, "", "", 2, true, false},
        {"no start gives no length", [](auto& s) { s.shown_at = 0; }, "ask", "", 0, false, false},
        {"the owner accepts the later of two asks",
         [&](auto& s) { s.owner = ME; s.asks = {ask(BUYER_ONE), ask(BUYER_TWO)}; }, "accept", BUYER_TWO, 2, true, false},
        {"the owner's key compares in any case",
         [&](auto& s) { s.owner = "02" + std::string(64, 'A'); s.asks = {ask(BUYER_ONE)}; }, "accept", BUYER_ONE, 2, true, false},
        {"no accept on a view-only piece", [&](auto& s) { s.owner = ME; s.price = -1; s.asks = {ask(BUYER_ONE)}; }, "", "", 2, true, false},
        {"accepted waits for the buyer", [&](auto& s) { s.owner = ME; s.accepts = {accept(BUYER_ONE)}; }, "accepted", "", 2, true, false},
        {"a live offer is completed", [&](auto& s) { s.owner = ME; s.accepts = {accept(BUYER_ONE)}; s.funded = {funded("live")}; }, "complete", "", 2, true, false},
        {"an offer whose payment moved is not live",
         [&](auto& s) { s.owner = ME; s.accepts = {accept(BUYER_ONE)}; s.funded = {funded("spent-pay")}; }, "accepted", "", 2, true, false},
        {"sold shows no button", [&](auto& s) { s.owner = ME; s.sold = true; s.funded = {funded("live")}; }, "", "", 2, true, false},
        {"a visitor asks", [](auto&) {}, "ask", "", 2, false, false},
        {"a visitor who asked", [&](auto& s) { s.asks = {ask(ME)}; }, "asked", "", 2, false, false},
        {"a visitor accepted pays", [&](auto& s) { s.asks = {ask(ME)}; s.accepts = {accept(ME)}; }, "pay", "", 2, false, false},
        {"someone else's accept", [&](auto& s) { s.accepts = {accept(BUYER_ONE)}; }, "ask", "", 2, false, false},
        {"a live offer shows paid", [&](auto& s) { s.accepts = {accept(ME)}; s.funded = {funded("live")}; }, "paid", "", 2, false, false},
        {"an offer whose artwork moved is not live",
         [&](auto& s) { s.accepts = {accept(ME)}; s.funded = {funded("spent-art")}; }, "pay", "", 2, false, false},
        {"ended without an accept", [](auto& s) { s.exp = NOW; }, "", "", 1, false, true},
        {"ended with an accept still pays", [&](auto& s) { s.exp = NOW - 1; s.accepts = {accept(ME)}; }, "pay", "", 1, false, true},
        {"view only for a visitor", [](auto& s) { s.price = -1; }, "", "", 2, false, false},
    };
    offer_states = {{"live", 1}, {"spent-pay", 2}, {"spent-art", 3}};
    for (const Case& c : cases) {
        walls = {};
        ledger::SpotLoad& s = shown(2, OTHER, 5000);
        s.exp = s.shown_at + 1209600;
        c.setup(s);
        core::Json m = core::Json::object();
        bridge::describe_frame(m, s, ME, NOW);
        EXPECT_EQ(m["action"], c.action) << c.name;
        EXPECT_EQ(m["buyer"], c.buyer) << c.name;
        EXPECT_EQ(m["weeks"], c.weeks) << c.name;
        EXPECT_EQ(m["mine"], c.mine) << c.name;
        EXPECT_EQ(m["ended"], c.ended) << c.name;
        EXPECT_EQ(m["title"], "Harbour") << c.name;
        EXPECT_EQ(m["price"], s.price) << c.name;
        EXPECT_EQ(m["exp"], s.exp) << c.name;
    }
}

TEST_F(Handlers, SelectOnATakenFrameDescribesIt) {
    shown(8, ME, 5000).asks = {{"", BUYER_ONE, "", "", 5000, NOW}};
    send({{"op", "select"}, {"spot", 8}});
    const auto r = settled();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["op"], "place-list");
    EXPECT_EQ(r[0]["taken"], true);
    EXPECT_EQ(r[0]["arts"], core::Json::array());
    EXPECT_EQ(r[0]["status"], "AP8 is taken.");
    EXPECT_EQ(r[0]["action"], "accept");
    EXPECT_EQ(r[0]["buyer"], BUYER_ONE);
    EXPECT_FALSE(r[0].contains("clear"));
}

TEST_F(Handlers, SaleStepsReplyAndStartTheNotes) {
    shown(4, OTHER, 5000);
    run({{"op", "ask"}, {"spot", 4}, {"buyer", "ignored"}});
    auto r = port.replies();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["op"], "place-list");
    EXPECT_EQ(r[0]["status"], "Asked. The owner accepts next.");
    EXPECT_EQ(r[0]["taken"], true);
    EXPECT_EQ(port.notes_refreshes(), 1);

    run({{"op", "accept"}, {"spot", 4}, {"buyer", BUYER_TWO}});
    run({{"op", "pay"}, {"spot", 4}, {"buyer", "x"}});
    walls[3] = {};
    walls[3].spot = 4;
    run({{"op", "pay"}, {"spot", 4}});
    run({{"op", "complete"}, {"spot", 4}});
    r = settled();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[1]["status"], "Accepted. The buyer pays next.");
    EXPECT_EQ(r[2]["status"], "Paid. The owner completes the sale.");
    // A frame that emptied meanwhile is cleared on the page.
    EXPECT_EQ(r[3], core::Json::parse(R"({"op":"place-list","spot":4,"taken":false,"arts":[],"clear":true,
                                          "status":"Paid. The owner completes the sale."})"));
    EXPECT_EQ(r[4], (core::Json{{"op", "removed"}, {"spot", 4}, {"status", "Completed. The frame is empty."}}));
    EXPECT_EQ(calls, (std::vector<std::string>{"ask 4", "accept 4 " + BUYER_TWO, "pay 4", "pay 4", "complete 4"}));
    EXPECT_EQ(port.notes_refreshes(), 5);

    result = "error: need a bit more BSV";
    run({{"op", "pay"}, {"spot", 4}});
    result = "nothing";
    run({{"op", "ask"}, {"spot", 4}});
    r = settled();
    EXPECT_EQ(r[5], (core::Json{{"op", "place-error"}, {"text", "need a bit more BSV"}, {"status", "need a bit more BSV"}}));
    EXPECT_EQ(r[6]["text"], "nothing");  // not an "error:" text, yet not a success either
    EXPECT_EQ(port.notes_refreshes(), 5);
}

TEST_F(Handlers, AStepThatWentThroughOnAFrameThatCannotBeReadAgainIsNotShownAsCleared) {
    walls[4].error = "could not read AP5; try again";
    send({{"op", "ask"}, {"spot", 5}});
    const auto r = settled();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["op"], "place-error");
    EXPECT_EQ(r[0]["text"], "Asked. The owner accepts next. AP5 could not be read from the chain. Try again in a moment.");
}

TEST_F(Handlers, FacingChangesOnlyWhenWordOrDegreesChange) {
    send({{"op", "face"}, {"word", "North"}, {"deg", 0}});  // the first always counts
    send({{"op", "face"}, {"word", "North"}, {"deg", 0}});
    send({{"op", "face"}, {"word", "North-west"}, {"deg", 315}});
    send({{"op", "face"}, {"word", "East"}, {"deg", 90}});
    send({{"op", "face"}, {"word", "West"}, {"deg", 270}});
    send({{"op", "face"}});                                          // North, 0
    send({{"op", "face"}, {"word", "Up"}, {"deg", 45}});             // not a facing
    send({{"op", "face"}, {"word", "East"}, {"deg", 1e308}});        // not an integer: 0
    send({{"op", "face"}, {"word", "East"}, {"deg", 720}});          // not a heading
    send({{"op", "face"}, {"word", std::string(100000, 'N')}, {"deg", 0}});
    using F = std::tuple<std::string, int, int>;
    EXPECT_EQ(port.facings(), (std::vector<F>{F{"North", 0, 0}, F{"North-west", 315, -45}, F{"East", 90, 135},
                                              F{"West", 270, 180}, F{"North", 0, 90}, F{"East", 0, 0}}));
}

class Admission : public Handlers {
protected:
    // Sends "enter" and, as the shell would on its own thread, hands the payment's
    // result to entry_result.
    void enter_and_settle() {
        send({{"op", "enter"}});
        EXPECT_TRUE(bridge::wait_for_workers(10000));
        const auto results = port.wait_entry_results(0, 0);
        for (; seen < results.size(); ++seen) bridge::entry_result(results[seen]);
    }
    std::size_t seen = 0;
};

TEST_F(Admission, AutoApprovalWithoutALimitFilePaysWithoutAQuestion) {
    tp.write("nbutton_auto.json", R"({"on": true})");
    enter_and_settle();
    EXPECT_TRUE(port.questions().empty());
    EXPECT_EQ(calls, std::vector<std::string>{"enter"});
    const auto r = port.replies();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (core::Json{{"op", "entered"}}));
    // Paid once per run: a second "enter" does nothing.
    enter_and_settle();
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(port.replies().size(), 1u);
}

TEST_F(Admission, TheQuestionIsAskedUnlessAutoApprovalIsPlainlyOn) {
    const std::vector<std::pair<std::string, std::string>> asking = {
        {"", ""},
        {R"({"on": "true"})", ""},
        {R"({"on": 1})", ""},
        {R"({"on": false})", R"({"sats": 5000000})"},
        {"{\"on\": tru", ""},
        {"[true]", ""},
    };
    for (const auto& [auto_file, limit_file] : asking) {
        core::remove_file(tp.path("nbutton_auto.json"));
        core::remove_file(tp.path("security_limit.json"));
        if (!auto_file.empty()) tp.write("nbutton_auto.json", auto_file);
        if (!limit_file.empty()) tp.write("security_limit.json", limit_file);
        EXPECT_TRUE(bridge::payment_needs_question(tp.dir(), 200)) << auto_file;
    }
    // The limit: an integer from 1 000 000 to 2 000 000 000, else 100 000 000.
    const std::vector<std::pair<std::string, std::int64_t>> limits = {
        {R"({"sats": 1000000})", 1000000},     {R"({"sats": 2000000000})", 2000000000},
        {R"({"sats": 999999})", 100000000},    {R"({"sats": 2000000001})", 100000000},
        {R"({"sats": 1500000.5})", 100000000}, {R"({"sats": "1500000"})", 100000000},
        {R"({"sats": -5})", 100000000},        {"not json", 100000000},
    };
    for (const auto& [text, sats] : limits) {
        tp.write("security_limit.json", text);
        EXPECT_EQ(bridge::security_limit_sats(tp.dir()), sats) << text;
    }
    tp.write("nbutton_auto.json", R"({"on": true})");
    tp.write("security_limit.json", R"({"sats": 1000000})");
    EXPECT_FALSE(bridge::payment_needs_question(tp.dir(), 200));
    EXPECT_TRUE(bridge::payment_needs_question(tp.dir(), 1000000));
}

TEST_F(Admission, DecliningEndsInUnpaidAndTheQuitTimer) {
    port.answer = false;
    enter_and_settle();
    EXPECT_EQ(port.questions(), std::vector<std::string>{"Quenvale: Pay 200 sats to enter the gallery?"});
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(port.replies(), unpaid_only());
    EXPECT_EQ(port.quit_timers(), std::vector<int>{5000});
    // While the program closes, no second admission is handled.
    port.answer = true;
    enter_and_settle();
    EXPECT_EQ(port.questions().size(), 1u);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Admission, YesPaysAndAFailedPaymentIsUnpaid) {
    port.answer = true;
    result = "error: you have 0 in your Wendrel wallet.";
    enter_and_settle();
    EXPECT_EQ(calls, std::vector<std::string>{"enter"});
    EXPECT_EQ(port.replies(), unpaid_only());
    EXPECT_EQ(port.quit_timers(), std::vector<int>{5000});
}

TEST_F(Admission, NoWalletIsUnpaidAtOnce) {
    ready = false;
    enter_and_settle();
    EXPECT_TRUE(port.questions().empty());
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(port.replies(), unpaid_only());
}

TEST_F(Handlers, AfterTheStopOperationsGetTheBusyReplyAndRunningOnesAreWaitedFor) {
    hold = true;
    send({{"op", "remove"}, {"spot", 1}});
    ASSERT_TRUE(gate.wait_for_holder());
    bridge::stop_taking_operations();
    EXPECT_FALSE(bridge::wait_for_workers(50));  // the remove still runs
    EXPECT_EQ(bridge::running_workers(), 1);
    hold = false;
    send({{"op", "select"}, {"spot", 2}});
    send({{"op", "connect"}});
    send({{"op", "place"}, {"spot", 3}, {"origin", PIC + "_0"}, {"price", ""}, {"weeks", 1}});
    send({{"op", "ask"}, {"spot", 3}});
    auto r = port.wait_replies(4);
    ASSERT_EQ(r.size(), 4u);
    for (const auto& m : r) EXPECT_EQ(m, busy_reply());
    gate.release();
    EXPECT_TRUE(bridge::wait_for_workers(10000));
    r = port.replies();
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[5]["op"], "removed");
    EXPECT_EQ(calls, std::vector<std::string>{"remove 1"});
}

}  // namespace
