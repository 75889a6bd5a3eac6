// The coin refresh against a real local indexer: how many requests it keeps in flight
// for a wallet with many receive addresses, that it never waits on the network while
// holding the wallet-state lock, that it gives up when another wallet was loaded
// meanwhile, and that a refused fetch thread is an error text.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/spendable.h"
#include "core/json.h"
#include "core/profile.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::ABANDON_RECEIVE0;
using testing_support::TempPlatform;

namespace {

const char* const OTHER = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";

std::string txid(char c) { return std::string(64, c); }

using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

// An indexer on 127.0.0.1 that knows no coins. It counts the requests in flight (each
// answer is held back a little so that overlapping requests do overlap) and the
// addresses asked about; a test may take over paths matching a pattern.
class Indexer {
public:
    Indexer() {
        // More server threads than any sane client would use, so the client's own
        // limit is what the count shows.
        server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
        auto route = [this](const httplib::Request& req, httplib::Response& res) { serve(req, res); };
        server_.Get(".*", route);
        server_.Post(".*", route);
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (port_ > 0 && !server_.is_running()) std::this_thread::yield();
    }
    ~Indexer() {
        server_.stop();
        thread_.join();
    }

    std::string root() const { return "http://127.0.0.1:" + std::to_string(port_); }

    void on(const std::string& pattern, Handler h) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_.emplace_back(std::regex(pattern), std::move(h));
    }
    int max_in_flight() {
        std::lock_guard<std::mutex> lock(mutex_);
        return max_in_flight_;
    }
    std::set<std::string> asked(const std::string& kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        return kind == "woc" ? woc_addresses_ : ord_addresses_;
    }
    void reset_counts() {
        std::lock_guard<std::mutex> lock(mutex_);
        max_in_flight_ = 0;
        woc_addresses_.clear();
        ord_addresses_.clear();
    }

private:
    void serve(const httplib::Request& req, httplib::Response& res) {
        static const std::regex woc_list("^/woc/address/([1-9A-Za-z]+)/unspent/all$");
        static const std::regex ord_list("^/ord/api/txos/address/([1-9A-Za-z]+)/unspent$");
        Handler custom;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            max_in_flight_ = std::max(max_in_flight_, ++in_flight_);
            std::smatch m;
            if (std::regex_match(req.path, m, woc_list)) woc_addresses_.insert(m[1]);
            if (std::regex_match(req.path, m, ord_list)) ord_addresses_.insert(m[1]);
            for (const auto& [pattern, h] : routes_)
                if (std::regex_search(req.path, pattern)) custom = h;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (custom) {
            custom(req, res);
        } else if (req.path.find("/unspent/all") != std::string::npos) {
            res.set_content(R"({"result":[],"error":""})", "application/json");
        } else if (req.path.find("/unconfirmed/history") != std::string::npos) {
            res.set_content(R"({"result":[]})", "application/json");
        } else if (req.path.find("/balance") != std::string::npos) {
            res.set_content(R"({"confirmed":0,"unconfirmed":0})", "application/json");
        } else if (req.path.find("/unspent") != std::string::npos) {
            res.set_content("[]", "application/json");
        } else {
            res.status = 404;
            res.set_content("Not Found", "text/plain");
        }
        std::lock_guard<std::mutex> lock(mutex_);
        --in_flight_;
    }

    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    int in_flight_ = 0;
    int max_in_flight_ = 0;
    std::set<std::string> woc_addresses_, ord_addresses_;
    std::vector<std::pair<std::regex, Handler>> routes_;
};

// Run by the indexer while a request waits: is the wallet-state lock free? When told
// to, it also swaps the wallet in memory for a freshly loaded one.
struct LockProbe {
    std::mutex m;
    int asked = 0;
    int free = 0;
    bool forget = false;
    void operator()() {
        bool got = wallet::wallet_mutex().try_lock();
        if (got) {
            if (forget) {  // the lock is free, so this cannot block
                wallet::forget_wallet();
                wallet::load_wallet();
            }
            wallet::wallet_mutex().unlock();
        }
        std::lock_guard<std::mutex> lock(m);
        ++asked;
        free += got ? 1 : 0;
    }
};

class CoinRefresh : public ::testing::Test {
protected:
    TempPlatform tp;
    Indexer indexer;
    void SetUp() override {
        core::Profile p;
        p.woc_api = indexer.root() + "/woc";
        p.ord_api = indexer.root() + "/ord/api";
        core::set_profile(p);
        load({0, 0, 0, 0, 0, 0});
    }
    void TearDown() override { core::reset_profile(); }
    void load(const std::array<std::int64_t, 6>& recv) {
        ASSERT_TRUE(testing_support::bind_hd_wallet(tp, "refresh-test", {.recv = recv}));
    }
    // A payment from the first receive address whose change (9777 sats back to it) no
    // indexer lists yet.
    void paid_with_change(const std::string& sent) {
        wallet::WalletLock lock(wallet::wallet_mutex());
        core::Bytes main, other;
        ASSERT_TRUE(wallet::hash160_from_address(ABANDON_RECEIVE0, main));
        ASSERT_TRUE(wallet::hash160_from_address(OTHER, other));
        chain::TxInput in;
        in.txid = txid('f');
        in.value = 10000;
        in.key_hash = main;
        chain::register_broadcast({in}, {{200, wallet::p2pkh_script(other)}, {9777, wallet::p2pkh_script(main)}}, sent);
        ASSERT_EQ(coins_of_change(), 1u);
    }
    std::size_t coins_of_change() {
        wallet::WalletLock lock(wallet::wallet_mutex());
        chain::sync_coin_state();
        return chain::coin_state().change.size();
    }
};

}  // namespace

TEST_F(CoinRefresh, ManyReceiveAddressesNeverMeanMoreThanEightRequestsInFlight) {
    load({0, 300, 0, 0, 0, 0});
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string error;
    ASSERT_TRUE(chain::prepare_payment_coins(error)) << error;
    EXPECT_EQ(indexer.asked("woc").size(), 302u);  // 301 receive addresses and the identity
    EXPECT_LE(indexer.max_in_flight(), 8);
    EXPECT_GE(indexer.max_in_flight(), 2);  // and still side by side
    chain::CoinListing* last = chain::find_listing(wallet::receive_addresses().back());
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->loaded);

    // The ordinals index, the second coin source, keeps to the same limit.
    indexer.reset_counts();
    ASSERT_TRUE(chain::refresh_from_ordinals_index(error)) << error;
    EXPECT_EQ(indexer.asked("ord").size(), 302u);
    EXPECT_LE(indexer.max_in_flight(), 8);
    EXPECT_GE(indexer.max_in_flight(), 2);
}

TEST_F(CoinRefresh, AChangeCoinNotListedYetIsKeptAndNoServiceFreesItsInputs) {
    // A broadcaster took the payment and WhatsOnChain does not show it yet: its change is
    // kept, its input stays spent, and no service is asked whether it landed.
    LockProbe probe;
    indexer.on("^/woc/tx/" + txid('9'), [&](const httplib::Request&, httplib::Response& res) {
        probe();
        res.status = 404;
    });
    paid_with_change(txid('9'));
    std::vector<chain::FetchTask> tasks(1);
    tasks[0].address = ABANDON_RECEIVE0;  // a fresh listing that replaces the cache
    std::string error;
    ASSERT_TRUE(chain::refresh_coins(tasks, false, error)) << error;
    EXPECT_EQ(probe.asked, 0);
    EXPECT_EQ(coins_of_change(), 1u);
    wallet::WalletLock lock(wallet::wallet_mutex());
    EXPECT_TRUE(chain::is_spent(txid('f'), 0));
}

TEST_F(CoinRefresh, OutputsReadFromTheChainWithoutTheWalletLock) {
    LockProbe probe;
    indexer.on("^/woc/tx/" + txid('7') + "$", [&](const httplib::Request&, httplib::Response& res) {
        probe();
        core::Json tx = {{"txid", txid('7')},
                         {"vout", {{{"n", 1}, {"value", 0.00004321}, {"scriptPubKey", {{"addresses", {ABANDON_RECEIVE0}}}}}}}};
        res.set_content(core::dump_compact(tx), "application/json");
    });
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string error;
    EXPECT_TRUE(chain::register_outputs_from_chain(txid('7'), error)) << error;
    EXPECT_EQ(probe.free, 1) << "the transaction was read under the wallet-state lock";
    const auto& change = chain::coin_state().change;
    ASSERT_EQ(change.size(), 1u);
    EXPECT_EQ(change[0].coin.vout, 1u);
    EXPECT_EQ(change[0].coin.value, 4321);

    LockProbe swap;
    swap.forget = true;
    indexer.on("^/woc/tx/" + txid('6') + "$", [&](const httplib::Request&, httplib::Response& res) {
        swap();
        res.set_content(core::dump_compact({{"txid", txid('6')}, {"vout", core::Json::array()}}), "application/json");
    });
    EXPECT_FALSE(chain::register_outputs_from_chain(txid('6'), error));
    EXPECT_EQ(error, "wallet changed.");
}

TEST_F(CoinRefresh, OrdinalsIndexSourceNoticesAnotherWallet) {
    LockProbe swap;
    swap.forget = true;
    indexer.on("^/ord/api/txos/address/", [&](const httplib::Request&, httplib::Response& res) {
        swap();
        res.set_content(R"([{"txid":")" + txid('5') + R"(","vout":0,"satoshis":5000,"origin":null,"data":{}}])",
                        "application/json");
    });
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::string error;
    EXPECT_FALSE(chain::refresh_from_ordinals_index(error));
    EXPECT_EQ(error, "wallet changed.");
    EXPECT_GE(swap.free, 1);
    // The answers belonged to the wallet as it was: none was stored for the one loaded now.
    EXPECT_EQ(chain::find_listing(ABANDON_RECEIVE0), nullptr);
}

// Address-space limits and the sanitizers' shadow memory do not mix.
#if defined(__SANITIZE_ADDRESS__)
#define QUENVALE_NO_RLIMIT_AS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUENVALE_NO_RLIMIT_AS 1
#endif
#endif

TEST(CoinFetch, NoThreadForTheFetchIsAnErrorTextNotACrash) {
#ifdef QUENVALE_NO_RLIMIT_AS
    GTEST_SKIP() << "address-space limits are not usable under the address sanitizer";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::vector<chain::FetchTask> tasks(3);
            for (auto& t : tasks) t.address = ABANDON_RECEIVE0;
            // Leave no room for a thread's stack: the system refuses every new thread.
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max =
                static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (1u << 20);
            if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
            std::string error;
            bool ran = chain::fetch_tasks(tasks, false, error);
            bool reported = !error.empty();
            for (const auto& t : tasks) reported = reported && !t.result.ok && t.result.error == error;
            std::_Exit(!ran && reported ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}
