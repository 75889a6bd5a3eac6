// The WhatsOnChain client against a local stand-in: spent questions asked at once go in
// few bulk calls with every answer in its place, and a bulk read of histories stands in
// for each address's first page once.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "chain/http.h"
#include "chain/woc.h"
#include "core/json.h"
#include "core/profile.h"

namespace {

std::string txid_of(int n) {
    char id[65];
    std::snprintf(id, sizeof id, "%064x", n);
    return id;
}

class Woc : public ::testing::Test {
protected:
    httplib::Server server;
    std::thread thread;
    int port = -1;
    std::mutex mutex;
    std::vector<std::size_t> bulk_sizes;  // outputs in each POST /utxos/spent
    std::map<std::string, int> gets;      // GET path -> count

    void SetUp() override {
        server.Post("/woc/utxos/spent", [this](const httplib::Request& req, httplib::Response& res) {
            core::Json body, reply = core::Json::array();
            ASSERT_TRUE(core::parse_json(req.body, body));
            {
                std::lock_guard<std::mutex> lock(mutex);
                bulk_sizes.push_back(body["utxos"].size());
            }
            // A call takes a while, as over the network: questions pile up meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            for (const auto& u : body["utxos"]) {
                core::Json item = {{"utxo", u}, {"error", ""}};
                if (u["vout"].get<int>() % 2 == 0) item["spentIn"] = {{"txid", txid_of(999)}, {"vin", 0}};
                reply.push_back(item);
            }
            res.set_content(core::dump_compact(reply), "application/json");
        });
        server.Post(R"(/woc/addresses/(confirmed|unconfirmed)/history)", [](const httplib::Request& req, httplib::Response& res) {
            core::Json body, reply = core::Json::array();
            ASSERT_TRUE(core::parse_json(req.body, body));
            for (const auto& a : body["addresses"])
                reply.push_back({{"address", a}, {"result", {{{"tx_hash", txid_of(req.matches[1] == "confirmed" ? 1 : 2)}}}},
                                 {"error", ""}});
            res.set_content(core::dump_compact(reply), "application/json");
        });
        server.Get(R"(/woc/address/([^/]+)/(un)?confirmed/history)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex);
            ++gets[req.path];
            res.set_content(core::dump_compact({{"result", {{{"tx_hash", txid_of(3)}}}}, {"error", ""}}), "application/json");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::yield();
        core::Profile p;
        p.woc_api = "http://127.0.0.1:" + std::to_string(port) + "/woc";
        core::set_profile(p);
        chain::reset_http_state();
        chain::woc_forget_prefetched();
    }
    void TearDown() override {
        server.stop();
        thread.join();
        chain::woc_forget_prefetched();
        core::reset_profile();
    }
};

}  // namespace

TEST_F(Woc, SpentQuestionsAskedAtOnceShareBulkCallsAndKeepTheirAnswers) {
    constexpr int ASKERS = 45;
    std::vector<chain::SpentAnswer> answers(ASKERS, chain::SpentAnswer::failed);
    std::vector<std::thread> askers;
    for (int i = 0; i < ASKERS; ++i)
        askers.emplace_back([&, i] { answers[i] = chain::woc_spent_gathered(txid_of(100 + i), static_cast<std::uint32_t>(i), 5); });
    for (auto& t : askers) t.join();
    for (int i = 0; i < ASKERS; ++i)
        EXPECT_EQ(answers[i], i % 2 == 0 ? chain::SpentAnswer::spent : chain::SpentAnswer::not_found) << i;
    std::size_t asked = 0;
    for (std::size_t n : bulk_sizes) {
        EXPECT_LE(n, chain::WOC_BULK_CAP);
        asked += n;
    }
    EXPECT_EQ(asked, static_cast<std::size_t>(ASKERS));
    // One call first, the rest gathered while it was out: far fewer calls than questions.
    EXPECT_LE(bulk_sizes.size(), 6u);
    EXPECT_FALSE(chain::woc_spent_gathered("not a txid", 0, 5) == chain::SpentAnswer::spent);
}

TEST_F(Woc, ABulkHistoryReadStandsInForEachAddressesFirstPageOnce) {
    const std::vector<std::string> addresses = {"1BoatSLRHtKNngkdXEeobR76b53LETtpyT", "1JSkLWc33A51qqCKXDBBobvjAQvgFSDdBY"};
    chain::woc_prefetch_histories(addresses, 5);
    const chain::JsonGetter get = [](const std::string& url, core::Json& out) {
        const chain::HttpResult r = chain::wallet_get(url, 5);
        return r.ok && core::parse_json(r.body, out);
    };
    for (const std::string& a : addresses) {
        std::vector<std::string> confirmed, unconfirmed;
        ASSERT_TRUE(chain::woc_address_history(true, a, 6, 100, get, confirmed));
        ASSERT_TRUE(chain::woc_address_history(false, a, 6, 100, get, unconfirmed));
        EXPECT_EQ(confirmed, std::vector<std::string>{txid_of(1)});
        EXPECT_EQ(unconfirmed, std::vector<std::string>{txid_of(2)});
    }
    EXPECT_TRUE(gets.empty());
    // Taken once: the next read asks the address itself.
    std::vector<std::string> again;
    ASSERT_TRUE(chain::woc_address_history(true, addresses[0], 6, 100, get, again));
    EXPECT_EQ(again, std::vector<std::string>{txid_of(3)});
    EXPECT_EQ(gets.size(), 1u);
}
