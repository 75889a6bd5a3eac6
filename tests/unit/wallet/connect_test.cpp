// The connect handshake in-process, with the clock seam standing in for the waits:
// the wallet application's answer is written from inside the poll loop's sleep.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/clock.h"
#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/text.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/connect.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::TempPlatform;

namespace {

class Connect : public ::testing::Test {
protected:
    TempPlatform tp;
    std::int64_t wall = 1733650000000, mono = 0;
    int sleeps = 0;
    std::function<void()> on_sleep;  // plays the wallet application
    void SetUp() override {
        core::set_profile(core::Profile{});
        core::ClockHooks h;
        h.wall_ms = [this] { return wall; };
        h.monotonic_ms = [this] { return mono; };
        h.sleep_ms = [this](std::int64_t ms) {
            ++sleeps;
            mono += ms;
            wall += ms;
            if (on_sleep) on_sleep();
        };
        core::set_clock(h);
        testing_support::write_hd_wallet(tp, {.registry = R"({"wallets":[{"id":"w1"},{"id":"w2"}]})"});
        wallet::init_app_binding("Quenvale", "connect-test");
    }
    void TearDown() override {
        core::reset_clock();
        core::reset_profile();
    }
    // Answers every pending request with reply (as text).
    void reply_with(const std::string& reply) {
        on_sleep = [this, reply] {
            for (const auto& name : core::list_files(tp.path("connect"))) {
                if (name.size() < 9 || name.substr(name.size() - 9) != ".req.json") continue;
                std::string id = name.substr(0, name.size() - 9);
                if (!core::file_exists(tp.path("connect/" + id + ".rep.json"))) tp.write("connect/" + id + ".rep.json", reply);
            }
        };
    }
};

}  // namespace

TEST_F(Connect, ApprovedReplyBindsAndLoads) {
    reply_with(R"({"ok":true,"wallet_id":"w1"})");
    EXPECT_EQ(wallet::connect_wallet(), "success");
    EXPECT_EQ(sleeps, 1);  // the first poll comes 500 ms after the request
    EXPECT_EQ(wallet::app_binding().wallet_id, "w1");
    core::Json bind;
    ASSERT_TRUE(core::parse_json(tp.read("binds/connect_test.json"), bind));
    EXPECT_EQ(bind["wallet_id"], "w1");
    // Already bound and loadable: no new request.
    int before = sleeps;
    EXPECT_EQ(wallet::connect_wallet(), "success");
    EXPECT_EQ(sleeps, before);
    auto reqs = core::list_files(tp.path("connect"));
    EXPECT_EQ(std::count_if(reqs.begin(), reqs.end(), [](const std::string& n) { return n.find(".req.") != std::string::npos; }), 1);
}

TEST_F(Connect, RequestFileCarriesTheAppAndInstance) {
    std::string id = wallet::write_connect_request();
    ASSERT_FALSE(id.empty());
    core::Json req;
    ASSERT_TRUE(core::parse_json(tp.read("connect/" + id + ".req.json"), req));
    EXPECT_EQ(req["id"], id);
    EXPECT_EQ(req["app"], "Quenvale");
    EXPECT_EQ(req["instance"], "connect-test");
    EXPECT_EQ(req["ts"], wall / 1000);
    EXPECT_FALSE(req["exe"].get<std::string>().empty());
}

TEST_F(Connect, RepliesThatAreNotAPlainYesAreDenials) {
    for (const char* reply : {R"({"ok":"true","wallet_id":"w1"})", R"({"ok":false})", R"({})", "[1]",
                              R"({"ok":true,"wallet_id":7})"}) {
        SCOPED_TRACE(reply);
        reply_with(reply);
        EXPECT_EQ(wallet::connect_wallet(), "error: connect denied in Wendrel.");
        EXPECT_EQ(wallet::app_binding().wallet_id, "");
    }
}

TEST_F(Connect, AReplyStillBeingWrittenIsWaitedFor) {
    // The wallet application creates the reply file, and fills it 300 ms later.
    for (const char* partial : {"", "{\"ok\":tr"}) {
        SCOPED_TRACE(partial);
        std::int64_t created_at = -1;
        sleeps = 0;
        on_sleep = [&, partial] {
            for (const auto& name : core::list_files(tp.path("connect"))) {
                if (!core::ends_with(name, ".req.json")) continue;
                std::string rep = "connect/" + name.substr(0, name.size() - 9) + ".rep.json";
                if (created_at < 0) {
                    tp.write(rep, partial);
                    created_at = mono;
                } else if (mono - created_at >= 300) {
                    tp.write(rep, R"({"ok":true,"wallet_id":"w1"})");
                }
            }
        };
        EXPECT_EQ(wallet::connect_wallet(), "success");
        EXPECT_EQ(sleeps, 2);  // the first poll saw the unfinished file and waited
        EXPECT_EQ(wallet::app_binding().wallet_id, "w1");
        wallet::disconnect_wallet();
        on_sleep = nullptr;
        for (const auto& name : core::list_files(tp.path("connect"))) core::remove_file(tp.path("connect/" + name));
    }
    // One that never becomes whole is no answer: the connect waits out its minute.
    reply_with("{half");
    sleeps = 0;
    EXPECT_TRUE(core::starts_with(wallet::connect_wallet(), "error: Wendrel did not approve in time."));
    EXPECT_EQ(sleeps, 120);
    EXPECT_EQ(wallet::app_binding().wallet_id, "");
}

TEST_F(Connect, ApprovalWithoutWalletOrOfASealedWallet) {
    reply_with(R"({"ok":true})");
    EXPECT_EQ(wallet::connect_wallet(), "error: approved, but the wallet would not load.");
    tp.write("wallets/w2/wallet.json", R"({"lock":"OV-LOCK1","ct":"00"})");
    reply_with(R"({"ok":true,"wallet_id":"w2"})");
    EXPECT_EQ(wallet::connect_wallet(), "error: This wallet is locked. Open it in Wendrel.");
    EXPECT_EQ(wallet::app_binding().wallet_id, "w2");  // the bind written by the reply stays
}

TEST_F(Connect, NoAnswerEndsAfterAMinuteOfPolls) {
    on_sleep = nullptr;
    std::int64_t start = mono;
#ifdef _WIN32
    const char* const expected = "error: Wendrel did not approve in time. Open Wendrel.exe and try Connect again.";
#else
    const char* const expected = "error: Wendrel did not approve in time. Open wendrel and try Connect again.";
#endif
    EXPECT_EQ(wallet::connect_wallet(), expected);
    EXPECT_EQ(sleeps, 120);
    EXPECT_EQ(mono - start, 60000);
}

TEST_F(Connect, DisconnectRemovesTheBindAndForgets) {
    reply_with(R"({"ok":true,"wallet_id":"w1"})");
    ASSERT_EQ(wallet::connect_wallet(), "success");
    EXPECT_EQ(wallet::disconnect_wallet(), "success");
    EXPECT_FALSE(core::file_exists(tp.path("binds/connect_test.json")));
    EXPECT_FALSE(wallet::wallet_in_memory());
    EXPECT_EQ(wallet::disconnect_wallet(), "success");  // twice is fine
}

TEST_F(Connect, ObserverSeesTheFixedFormats) {
    std::vector<std::string> events, texts;
    wallet::set_wallet_observer({[&](const std::string& e) { events.push_back(e); },
                                 [&](const std::string& t) { texts.push_back(t); }});
    reply_with(R"({"ok":false})");
    wallet::connect_wallet();
    wallet::set_wallet_observer({});
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], std::string("[OV-WENDREL]\x1f") + "connect-pending\x1f" + "Approve the connect in Wendrel.");
    EXPECT_EQ(events[1], std::string("[OV-WENDREL]\x1f") + "connect-denied\x1f" + "denied");
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "Waiting for Wendrel to approve this app...\n");
}
