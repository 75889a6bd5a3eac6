// The WhatsOnChain client against a local stand-in: spent questions asked at once go in
// few bulk calls with every answer in its place, a bulk read of histories stands in
// for each address's first page once, and raw transactions are read in bulk, checked
// against their txids and kept on disk once confirmed.
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
#include "chain/transactions.h"
#include "chain/tx.h"
#include "chain/tx_cache.h"
#include "chain/woc.h"
#include "core/files.h"
#include "core/hex.h"
#include "tests/support/temp_platform.h"
#include "core/json.h"
#include "core/profile.h"

namespace {

std::string txid_of(int n) {
    char id[65];
    std::snprintf(id, sizeof id, "%064x", n);
    return id;
}

// A small transaction paying value to a made-up script: bytes with a txid of their own.
core::Bytes raw_tx(int value) {
    chain::TxInput in;
    in.txid = txid_of(7);
    in.unlocking_script = {0x51};
    chain::TxOutput out;
    out.value = value;
    out.script = {0x76, 0xa9, 0x14, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 0x88, 0xac};
    return chain::serialize_tx({in}, {out}, false);
}

// Every question went out once, in calls within the service's cap, and in few calls.
void expect_gathered(const std::vector<std::size_t>& call_sizes, int questions, std::size_t most_calls) {
    std::size_t asked = 0;
    for (std::size_t n : call_sizes) {
        EXPECT_LE(n, chain::WOC_BULK_CAP);
        asked += n;
    }
    EXPECT_EQ(asked, static_cast<std::size_t>(questions));
    EXPECT_LE(call_sizes.size(), most_calls);
}

class Woc : public ::testing::Test {
protected:
    testing_support::TempPlatform platform;
    httplib::Server server;
    std::map<std::string, core::Json> raw_items;  // txid -> POST /txs/hex item
    std::vector<std::size_t> raw_calls;           // txids in each POST /txs/hex
    bool raw_down = false;                        // POST /txs/hex answers 503
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
        server.Post("/woc/txs/hex", [this](const httplib::Request& req, httplib::Response& res) {
            core::Json body, reply = core::Json::array();
            ASSERT_TRUE(core::parse_json(req.body, body));
            std::lock_guard<std::mutex> lock(mutex);
            raw_calls.push_back(body["txids"].size());
            if (raw_down) {
                res.status = 503;
                return;
            }
            for (const auto& t : body["txids"]) {
                const auto it = raw_items.find(t.get<std::string>());
                reply.push_back(it != raw_items.end() ? it->second : core::Json{{"txid", t}, {"error", "unknown"}});
            }
            res.set_content(core::dump_compact(reply), "application/json");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::yield();
        core::Profile p;
        p.woc_api = "http://127.0.0.1:" + std::to_string(port) + "/woc";
        core::set_profile(p);
        chain::reset_http_state();
        chain::reset_tx_cache();
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
    // One call first, the rest gathered while it was out: far fewer calls than questions.
    expect_gathered(bulk_sizes, ASKERS, 6);
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

TEST_F(Woc, ConfirmedTransactionsAreKeptOnDiskCheckedByTheirTxidAndADamagedEntryIsReadAgain) {
    const core::Bytes mined = raw_tx(1000), pending = raw_tx(2000), other = raw_tx(3000);
    const std::string mined_id = chain::tx_id(mined), pending_id = chain::tx_id(pending);
    const std::string lying_id = txid_of(55);
    raw_items[mined_id] = {{"txid", mined_id}, {"hex", core::to_hex(mined)}, {"blockhash", txid_of(9)},
                           {"blockheight", 812345}, {"blocktime", 1733600000}, {"confirmations", 3}};
    raw_items[pending_id] = {{"txid", pending_id}, {"hex", core::to_hex(pending)}, {"blockhash", ""},
                             {"blockheight", 0}, {"blocktime", 0}, {"confirmations", 0}};
    // A reply whose bytes belong to another transaction is no answer for this one.
    raw_items[lying_id] = {{"txid", lying_id}, {"hex", core::to_hex(other)}, {"blockheight", 5}, {"blocktime", 5}};

    const auto read = [](const std::string& txid, chain::ChainTx& tx) {
        return chain::read_transaction(txid, 5, 1 << 20, tx);
    };
    chain::ChainTx tx;
    ASSERT_EQ(read(mined_id, tx), chain::TxRead::found);
    EXPECT_EQ(tx.raw, mined);
    EXPECT_EQ(tx.height, 812345);
    const core::Json j = chain::tx_json(tx);
    EXPECT_EQ(j["vout"][0]["valueSat"], 1000);
    EXPECT_EQ(j["blocktime"], 1733600000);
    ASSERT_EQ(read(pending_id, tx), chain::TxRead::found);
    EXPECT_FALSE(tx.confirmed());
    EXPECT_EQ(read(lying_id, tx), chain::TxRead::missed);
    EXPECT_EQ(read(txid_of(56), tx), chain::TxRead::missed);
    EXPECT_EQ(chain::read_transaction(mined_id, 5, 4, tx), chain::TxRead::too_large) << "the size bound holds for kept entries";
    const std::size_t calls = raw_calls.size();

    // A restart: the confirmed one comes from disk, the pending one from the service again.
    chain::reset_tx_cache();
    ASSERT_EQ(read(mined_id, tx), chain::TxRead::found);
    EXPECT_EQ(tx.raw, mined);
    EXPECT_EQ(raw_calls.size(), calls);
    ASSERT_EQ(read(pending_id, tx), chain::TxRead::found);
    EXPECT_EQ(raw_calls.size(), calls + 1);
    EXPECT_FALSE(core::file_exists(chain::tx_cache_path(pending_id)));
    EXPECT_FALSE(core::file_exists(chain::tx_cache_path(lying_id)));

    // One byte changed on disk: the entry no longer hashes to its name, so it is dropped
    // and the transaction read from the service again.
    const std::string path = chain::tx_cache_path(mined_id);
    std::string body;
    ASSERT_TRUE(core::read_file(path, body));
    body.back() = static_cast<char>(body.back() ^ 0x01);
    ASSERT_TRUE(core::write_file(path, body));
    chain::reset_tx_cache();
    ASSERT_EQ(read(mined_id, tx), chain::TxRead::found);
    EXPECT_EQ(tx.raw, mined);
    EXPECT_EQ(raw_calls.size(), calls + 2);
    ASSERT_TRUE(core::read_file(path, body));
    EXPECT_EQ(body.substr(body.size() - mined.size()), std::string(mined.begin(), mined.end()));
    // Stray or cut files in the folder are misses, never transactions.
    ASSERT_TRUE(core::write_file(path, "QVTX0001"));
    chain::reset_tx_cache();
    ASSERT_EQ(read(mined_id, tx), chain::TxRead::found);
    EXPECT_EQ(raw_calls.size(), calls + 3);

    // The service down: one call (asked again twice) finds it so, and the questions after
    // it fail at once instead of each waiting out a call of its own; kept transactions
    // are still read.
    raw_down = true;
    EXPECT_EQ(read(pending_id, tx), chain::TxRead::missed);
    EXPECT_EQ(read(pending_id, tx), chain::TxRead::missed);
    EXPECT_EQ(raw_calls.size(), calls + 6);
    EXPECT_EQ(read(mined_id, tx), chain::TxRead::found);
    raw_down = false;
    chain::reset_http_state();
    EXPECT_EQ(read(pending_id, tx), chain::TxRead::found);
}

TEST_F(Woc, RawTransactionsAskedAtOnceGoTwentyACall) {
    constexpr int ASKERS = 45;
    std::vector<std::string> ids;
    for (int i = 0; i < ASKERS; ++i) {
        const core::Bytes raw = raw_tx(100 + i);
        ids.push_back(chain::tx_id(raw));
        raw_items[ids.back()] = {{"txid", ids.back()}, {"hex", core::to_hex(raw)}, {"blockheight", 0}, {"blocktime", 0}};
    }
    std::vector<chain::RawAnswer> answers(ASKERS);
    std::vector<std::thread> askers;
    for (int i = 0; i < ASKERS; ++i)
        askers.emplace_back([&, i] { answers[i] = chain::woc_raw_transaction_gathered(ids[i], 5); });
    for (auto& t : askers) t.join();
    for (int i = 0; i < ASKERS; ++i) {
        ASSERT_EQ(answers[i].state, chain::RawState::found) << i;
        EXPECT_EQ(answers[i].tx.txid, ids[i]);
    }
    expect_gathered(raw_calls, ASKERS, 9);
}
