#include "chain/http.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/profile.h"
#include "tests/support/temp_platform.h"

namespace {

const std::string RATE_LIMIT =
    "HTTP 429 \xE2\x80\x93 WhatsOnChain is rate-limiting. Wait a few seconds and try again.";
const std::string DASH = "\xE2\x80\x93";

// What the server saw of one request.
struct Seen {
    std::string method;
    std::string path;
    bool has_agent = false;
    std::string agent;
    std::string content_type;
    std::string body;
    int remote_port = -1;
    bool has_woc_key = false;
    std::string woc_key;
};

using Script = std::function<void(const httplib::Request&, httplib::Response&)>;

// An in-process server on 127.0.0.1 with a port chosen by the OS. Each test scripts
// the replies; every request is recorded.
class LocalServer {
public:
    explicit LocalServer(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
        : server_(std::move(server)) {
        auto route = [this](const httplib::Request& req, httplib::Response& res) { dispatch(req, res); };
        server_->Get(".*", route);
        server_->Post(".*", route);
        // Idle kept-alive connections hold a worker; keep the wait short for teardown.
        server_->set_keep_alive_timeout(1);
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        // stop() is only heard once the accept loop runs.
        while (port_ > 0 && !server_->is_running()) std::this_thread::yield();
    }

    ~LocalServer() {
        release();
        server_->stop();
        thread_.join();
    }

    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path, const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
    }

    void script(Script s) {
        std::lock_guard<std::mutex> lock(mutex_);
        script_ = std::move(s);
    }

    std::vector<Seen> seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

    // Parks the calling handler until the test ends (bounded, so a broken test
    // cannot hang the suite).
    void hold() {
        std::unique_lock<std::mutex> lock(mutex_);
        released_cv_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
    }

    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        released_cv_.notify_all();
    }

private:
    void dispatch(const httplib::Request& req, httplib::Response& res) {
        Script s;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Seen r;
            r.method = req.method;
            r.path = req.path;
            r.has_agent = req.has_header("User-Agent");
            r.agent = req.get_header_value("User-Agent");
            r.content_type = req.get_header_value("Content-Type");
            r.has_woc_key = req.has_header("woc-api-key");
            r.woc_key = req.get_header_value("woc-api-key");
            r.body = req.body;
            r.remote_port = req.remote_port;
            seen_.push_back(r);
            s = script_;
        }
        if (s)
            s(req, res);
        else
            res.set_content("ok", "text/plain");
    }

    std::unique_ptr<httplib::Server> server_;
    int port_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable released_cv_;
    bool released_ = false;
    Script script_;
    std::vector<Seen> seen_;
};

// A loopback port with nobody listening: connections to it are refused.
int refused_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

Script reply(int status, std::string body, std::string type = "text/plain") {
    return [=](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, type.c_str());
    };
}

// Replies with statuses[i] to the i-th request (the last one repeats).
Script statuses(std::vector<int> list, std::string final_body = "done") {
    auto count = std::make_shared<std::size_t>(0);
    auto m = std::make_shared<std::mutex>();
    return [=](const httplib::Request&, httplib::Response& res) {
        std::size_t i;
        {
            std::lock_guard<std::mutex> lock(*m);
            i = (*count)++;
        }
        res.status = list[std::min(i, list.size() - 1)];
        res.set_content(res.status == 429 ? "slow down" : final_body, "text/plain");
    };
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        core::set_profile(core::Profile{});  // no pinning, whatever the environment says
        chain::reset_http_state();
    }
    void TearDown() override {
        // Close the kept-alive connection first so the server can stop at once.
        chain::reset_http_state();
        core::reset_profile();
    }
    LocalServer server;
};

// --- wording -----------------------------------------------------------------------

TEST(HttpFailureText, WordsRefusedStatuses) {
    const std::string long_body(300, 'x');
    struct Case {
        long status;
        std::string body;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {429, "", RATE_LIMIT},
        {429, "<html>busy</html>", RATE_LIMIT},
        {502, "bad gateway\n", "HTTP 502 " + DASH + " bad gateway"},
        {502, "upstream down \r\n \n", "HTTP 502 " + DASH + " upstream down"},
        {500, "  leading kept", "HTTP 500 " + DASH + "   leading kept"},
        {502, "", "HTTP 502"},
        {502, "\r\n", "HTTP 502"},
        {502, "<html><body>Bad Gateway</body></html>", "HTTP 502"},
        {503, "x <HTML> y", "HTTP 503"},
        {503, "<!DOCTYPE html><p>down</p>", "HTTP 503"},
        {400, long_body, "HTTP 400 " + DASH + " " + std::string(120, 'x')},
        {400, std::string(120, 'y') + "\n", "HTTP 400 " + DASH + " " + std::string(120, 'y')},
        {404, "Not Found", "HTTP 404 " + DASH + " Not Found"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chain::http_failure_text(c.status, c.body), c.expected) << c.status << " " << c.body;
}

TEST(HttpFailureText, CutNeverSplitsACharacter) {
    // 119 ASCII bytes then a two-byte character: byte 120 would cut it in half.
    const std::string body = std::string(119, 'a') + "\xC3\xA9" + "tail";
    EXPECT_EQ(chain::http_failure_text(500, body), "HTTP 500 " + DASH + " " + std::string(119, 'a'));
}

// --- rate limiting -------------------------------------------------------------------

TEST_F(HttpTest, RateLimitRetrySchedules) {
    struct Case {
        const char* name;
        bool post;
        int attempts;
        std::vector<int> replies;
        std::size_t requests;
        std::vector<std::int64_t> sleeps;
        bool ok;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"get, 429 on every attempt", false, 0, {429}, 4, {400, 800, 1600}, false, RATE_LIMIT},
        {"get, 429 then 200", false, 0, {429, 200}, 2, {400}, true, ""},
        {"get, 429 twice then 200", false, 0, {429, 429, 200}, 3, {400, 800}, true, ""},
        {"get, a passing 5xx is asked twice more", false, 0, {503}, 3, {400, 800}, false, "HTTP 503 " + DASH + " done"},
        {"get, 502 then 200", false, 0, {502, 200}, 2, {400}, true, ""},
        {"get, 501 is an answer", false, 0, {501}, 1, {}, false, "HTTP 501 " + DASH + " done"},
        {"get, 404 is an answer", false, 0, {404}, 1, {}, false, "HTTP 404 " + DASH + " done"},
        {"post, 2 attempts, two 429s", true, 2, {429}, 2, {400}, false, RATE_LIMIT},
        {"post, 4 attempts, 429 throughout", true, 4, {429}, 4, {400, 800, 1600}, false, RATE_LIMIT},
        {"post, 4 attempts, 429 then 200", true, 4, {429, 200}, 2, {400}, true, ""},
        {"post, 1 attempt", true, 1, {429}, 1, {}, false, RATE_LIMIT},
        {"post, 0 attempts still sends once", true, 0, {429}, 1, {}, false, RATE_LIMIT},
        {"post, 4 attempts, 500 throughout: two retries", true, 4, {500}, 3, {400, 800}, false, "HTTP 500 " + DASH + " done"},
        {"post, 2 attempts, 504 then 200", true, 2, {504, 200}, 2, {400}, true, ""},
        {"post, 400 is an answer", true, 4, {400}, 1, {}, false, "HTTP 400 " + DASH + " done"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer local;
        local.script(statuses(c.replies));
        testing_support::FakeClock clock;
        clock.install();
        chain::HttpResult r = c.post ? chain::wallet_post_json(local.url("/p"), "{}", 2, c.attempts)
                                     : chain::wallet_get(local.url("/g"), 2);
        EXPECT_EQ(local.seen().size(), c.requests);
        EXPECT_EQ(clock.sleeps, c.sleeps);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.error, c.error);
        if (c.ok) {
            EXPECT_EQ(r.body, "done");
        }
    }
}

TEST_F(HttpTest, AWhatsOnChainKeyGoesOnlyToWhatsOnChainAndNeverAcrossARedirect) {
    core::Profile p;
    p.woc_api = server.url("/woc");
    core::set_profile(p);
    chain::reset_http_state();
    server.script([](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/woc/moved") {
            res.status = 302;
            res.set_header("Location", "/elsewhere");
            return;
        }
        res.set_content("done", "text/plain");
    });
    testing_support::set_env("QUENVALE_WOC_KEY", "w-key-1");
    EXPECT_TRUE(chain::wallet_get(server.url("/woc/tx/1"), 2).ok);
    EXPECT_TRUE(chain::wallet_post_json(server.url("/woc/txs/hex"), "{}", 2, 1).ok);
    core::Json j;
    EXPECT_FALSE(chain::gallery_get_json(server.url("/woc/moved"), 2, j));  // not followed
    EXPECT_TRUE(chain::wallet_get(server.url("/wocx/tx/1"), 2).ok);  // another root that starts alike
    EXPECT_TRUE(chain::arc_get(server.url("/arc/1"), 2).ok);
    testing_support::set_env("QUENVALE_WOC_KEY", "w-key-1\r\nX-Other: 1");
    EXPECT_TRUE(chain::wallet_get(server.url("/woc/tx/2"), 2).ok);
    testing_support::unset_env("QUENVALE_WOC_KEY");
    EXPECT_TRUE(chain::wallet_get(server.url("/woc/tx/3"), 2).ok);

    const std::vector<Seen> seen = server.seen();
    ASSERT_EQ(seen.size(), 7u);
    const std::vector<std::string> keys = {"w-key-1", "w-key-1", "w-key-1", "", "", "", ""};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].woc_key, keys[i]) << seen[i].path;
        EXPECT_EQ(seen[i].has_woc_key, !keys[i].empty()) << seen[i].path;
        EXPECT_NE(seen[i].path, "/elsewhere");
    }
}

TEST_F(HttpTest, WhatsOnChainKeepsToItsRateAndARetryAfterHoldsTheHost) {
    core::Profile p;
    p.woc_api = server.url("/woc");
    p.woc_rps = 3;
    core::set_profile(p);
    chain::reset_http_state();
    testing_support::FakeClock clock;
    clock.install();
    server.script(statuses({200}));
    // The fake clock moves only while a request waits, so a call's end time is its start.
    std::vector<std::int64_t> starts;
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(chain::wallet_get(server.url("/woc/tx/" + std::to_string(i)), 2).ok);
        starts.push_back(core::monotonic_ms());
    }
    for (std::size_t i = 3; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 3], 1000) << "four starts within a second, the fourth at " << i;
    // Another service has no rate, on the same host too: nothing waits.
    const std::size_t waits = clock.sleeps.size();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(chain::wallet_get(server.url("/arc/" + std::to_string(i)), 2).ok);
    EXPECT_EQ(clock.sleeps.size(), waits);

    // A 429 asking for two seconds: the retry, and any other caller of that service, waits them.
    auto asked = std::make_shared<int>(0);
    server.script([asked](const httplib::Request&, httplib::Response& res) {
        if ((*asked)++ == 0) {
            res.status = 429;
            res.set_header("Retry-After", "2");
            res.set_content("slow down", "text/plain");
            return;
        }
        res.set_content("done", "text/plain");
    });
    clock.advance(5000);
    const std::int64_t before = core::monotonic_ms();
    const chain::HttpResult r = chain::wallet_get(server.url("/arc/x"), 2);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(*asked, 2);
    EXPECT_GE(core::monotonic_ms() - before, 2000);
    EXPECT_LT(core::monotonic_ms() - before, 2400);  // the hold alone, no back-off on top
}

// --- judging replies ---------------------------------------------------------------

TEST_F(HttpTest, WalletGetWordsRefusals) {
    struct Case {
        int status;
        std::string body;
        std::string type;
        std::string error;
    };
    const std::vector<Case> cases = {
        {502, "bad gateway\n", "text/plain", "HTTP 502 " + DASH + " bad gateway"},
        {502, "<!DOCTYPE html><html><body>502</body></html>", "text/html", "HTTP 502"},
        {400, std::string(300, 'z'), "text/plain", "HTTP 400 " + DASH + " " + std::string(120, 'z')},
    };
    for (const auto& c : cases) {
        server.script(reply(c.status, c.body, c.type));
        chain::HttpResult r = chain::wallet_get(server.url("/x"), 2);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.body, c.body);  // the whole body, whatever the status
    }
}

TEST_F(HttpTest, WalletGetAccepts404OnlyWhenAsked) {
    server.script(reply(404, "{\"error\":\"unknown\"}", "application/json"));
    chain::HttpResult refused = chain::wallet_get(server.url("/tx/x/1/spent"), 2, false);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.status, 404);
    EXPECT_EQ(refused.error.rfind("HTTP 404", 0), 0u) << refused.error;

    chain::HttpResult accepted = chain::wallet_get(server.url("/tx/x/1/spent"), 2, true);
    EXPECT_TRUE(accepted.ok);
    EXPECT_EQ(accepted.status, 404);
    EXPECT_EQ(accepted.body, "{\"error\":\"unknown\"}");
    EXPECT_EQ(accepted.error, "");

    // The flag does not make other refusals acceptable.
    server.script(reply(410, "gone"));
    EXPECT_FALSE(chain::wallet_get(server.url("/y"), 2, true).ok);
}

TEST_F(HttpTest, UserAgentsAndPostBodies) {
    server.script(reply(200, "{\"a\":1}", "application/json"));
    const std::string body = "{\"txhex\":\"00ff\"}";
    core::Json j;
    struct Case {
        const char* name;
        std::function<bool()> call;
        const char* method;
        const char* agent;  // nullptr: no User-Agent header at all
    };
    const std::vector<Case> cases = {
        {"wallet_get", [&] { return chain::wallet_get(server.url("/wg"), 2).ok; }, "GET", "Orvane-Wendrel/0.1"},
        {"wallet_post_json", [&] { return chain::wallet_post_json(server.url("/wp"), body, 2, 1).ok; }, "POST",
         "Orvane-Wendrel/0.1"},
        {"submit_post_json", [&] { return chain::submit_post_json(server.url("/sp"), body).ok; }, "POST",
         "Orvane-Wendrel/0.1"},
        {"gallery_get_json", [&] { return chain::gallery_get_json(server.url("/gj"), 2, j); }, "GET",
         "Orvane-Gallery/1"},
        {"art_get_json", [&] { return chain::art_get_json(server.url("/aj"), 2, j); }, "GET", "Orvane-Art/1"},
        {"identity_get_json", [&] { return chain::identity_get_json(server.url("/ij"), j); }, "GET", nullptr},
        {"service_get_text", [&] { return chain::service_get_text(server.url("/st")).ok; }, "GET", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = server.seen().size();
        EXPECT_TRUE(c.call());
        const auto seen = server.seen();
        ASSERT_EQ(seen.size(), before + 1);
        const Seen& s = seen.back();
        EXPECT_EQ(s.method, c.method);
        EXPECT_EQ(s.has_agent, c.agent != nullptr) << s.agent;
        if (c.agent) {
            EXPECT_EQ(s.agent, c.agent);
        }
        if (s.method == "POST") {
            EXPECT_EQ(s.content_type, "application/json");
            EXPECT_EQ(s.body, body);
        }
    }
}

TEST_F(HttpTest, JsonClientsNeedSuccessAndJson) {
    struct Case {
        int status;
        std::string body;
        bool gallery;   // gallery_get_json and art_get_json
        bool identity;  // identity_get_json: exactly 200 and a non-empty body
    };
    const std::vector<Case> cases = {
        {200, "{\"role\":\"dev\"}", true, true},
        {200, "[1,2]", true, true},
        {201, "{\"a\":1}", true, false},
        {204, "", false, false},
        {200, "", false, false},
        {200, "not json", false, false},
        {200, "{\"a\":1} trailing", false, false},
        {404, "{\"error\":\"none\"}", false, false},
        {500, "{}", false, false},
    };
    testing_support::FakeClock clock;  // a 500 is asked again after a back-off
    clock.install();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        server.script(reply(c.status, c.body, "application/json"));
        core::Json g = "stale", a = "stale", i = "stale";
        EXPECT_EQ(chain::gallery_get_json(server.url("/g"), 2, g), c.gallery);
        EXPECT_EQ(chain::art_get_json(server.url("/a"), 2, a), c.gallery);
        EXPECT_EQ(chain::identity_get_json(server.url("/i"), i), c.identity);
        core::Json expected;
        ASSERT_TRUE(core::parse_json(c.gallery ? c.body : "null", expected));
        EXPECT_EQ(g, expected);
        EXPECT_EQ(a, expected);
        EXPECT_EQ(i, c.identity ? expected : core::Json());
    }
}

TEST_F(HttpTest, ServiceGetTextNeverWordsTheBody) {
    struct Case {
        int status;
        std::string body;
        bool ok;
        std::string error;
    };
    const std::vector<Case> cases = {
        {200, "architect", true, ""},
        {500, "internal detail", false, "HTTP 500"},
        {404, "<html>nope</html>", false, "HTTP 404"},
        {429, "slow", false, "HTTP 429"},
    };
    testing_support::FakeClock clock;
    clock.install();
    for (const auto& c : cases) {
        server.script(reply(c.status, c.body));
        chain::HttpResult r = chain::service_get_text(server.url("/api/paymail/quota/k"));
        EXPECT_EQ(r.ok, c.ok) << c.status;
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.error, c.error);
    }
    // 429 and 500 are each asked three times, after 400 and 800 ms.
    EXPECT_EQ(server.seen().size(), cases.size() + 4);
    EXPECT_EQ(clock.sleeps, (std::vector<std::int64_t>{400, 800, 400, 800}));
}

TEST_F(HttpTest, TransportFailureGivesLibcurlText) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(refused_port()) + "/x";
    core::Json j = "stale";
    chain::HttpResult g = chain::wallet_get(dead, 2);
    chain::HttpResult p = chain::wallet_post_json(dead, "{}", 2, 4);
    chain::HttpResult t = chain::service_get_text(dead);
    for (const auto* r : {&g, &p, &t}) {
        EXPECT_FALSE(r->ok);
        EXPECT_EQ(r->status, 0);
        EXPECT_FALSE(r->error.empty());
        EXPECT_NE(r->error.rfind("HTTP", 0), 0u) << r->error;
    }
    EXPECT_FALSE(chain::gallery_get_json(dead, 2, j));
    EXPECT_TRUE(j.is_null());
}

TEST_F(HttpTest, OnlyWebSchemesAreFetched) {
    chain::HttpResult r = chain::wallet_get("file:///etc/hostname", 2);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(r.body.empty());
}

// --- redirects -----------------------------------------------------------------------

// /hop/N redirects to /hop/N-1; /hop/0 answers "final".
Script hops() {
    return [](const httplib::Request& req, httplib::Response& res) {
        const int n = std::stoi(req.path.substr(req.path.rfind('/') + 1));
        if (n == 0)
            res.set_content("final", "text/plain");
        else
            res.set_redirect("/hop/" + std::to_string(n - 1));
    };
}

TEST_F(HttpTest, RedirectPolicies) {
    server.script(hops());
    core::Json j;
    struct Case {
        const char* name;
        std::function<chain::HttpResult()> call;
        std::size_t requests;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"wallet_get follows one", [&] { return chain::wallet_get(server.url("/hop/1"), 2); }, 2, true},
        {"wallet_get follows five", [&] { return chain::wallet_get(server.url("/hop/5"), 2); }, 6, true},
        {"wallet_get stops after five", [&] { return chain::wallet_get(server.url("/hop/6"), 2); }, 6, false},
        {"wallet_post_json does not follow",
         [&] { return chain::wallet_post_json(server.url("/hop/1"), "{}", 2, 1); }, 1, false},
        {"service_get_text follows", [&] { return chain::service_get_text(server.url("/hop/2")); }, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = server.seen().size();
        chain::HttpResult r = c.call();
        EXPECT_EQ(server.seen().size() - before, c.requests);
        EXPECT_EQ(r.ok, c.ok) << r.error;
        if (c.ok) {
            EXPECT_EQ(r.body, "final");
        }
    }

    chain::HttpResult post = chain::wallet_post_json(server.url("/hop/1"), "{}", 2, 1);
    EXPECT_EQ(post.status, 302);
    EXPECT_EQ(post.error, "HTTP 302");

    const std::size_t before = server.seen().size();
    EXPECT_FALSE(chain::gallery_get_json(server.url("/hop/1"), 2, j));  // "final" is not JSON
    EXPECT_EQ(server.seen().size() - before, 2u);                     // but it was followed
}

// --- the reply caps ---------------------------------------------------------------

// A JSON document of exactly n bytes (n >= 2): one string.
std::string json_of_size(std::size_t n) { return "\"" + std::string(n - 2, 'j') + "\""; }

TEST_F(HttpTest, EveryRequestKindHoldsJsonRepliesToTheJsonCap) {
    using Call = std::function<bool(const std::string& url, std::string& error)>;
    auto text_call = [](std::function<chain::HttpResult(const std::string&)> f) -> Call {
        return [f](const std::string& url, std::string& error) {
            chain::HttpResult r = f(url);
            error = r.error;
            if (!r.ok) {
                EXPECT_TRUE(r.body.empty());  // a partial body is no reply
            }
            return r.ok;
        };
    };
    auto json_call = [](std::function<bool(const std::string&, core::Json&)> f) -> Call {
        return [f](const std::string& url, std::string& error) {
            core::Json j;
            error.clear();
            const bool ok = f(url, j);
            EXPECT_EQ(ok, j.is_string());
            return ok;
        };
    };
    const std::vector<std::pair<const char*, Call>> kinds = {
        {"wallet_get", text_call([](const std::string& u) { return chain::wallet_get(u, 5); })},
        {"wallet_post_json", text_call([](const std::string& u) { return chain::wallet_post_json(u, "{}", 5, 1); })},
        {"submit_post_json", text_call([](const std::string& u) { return chain::submit_post_json(u, "{}"); })},
        {"service_get_text", text_call([](const std::string& u) { return chain::service_get_text(u); })},
        {"gallery_get_json", json_call([](const std::string& u, core::Json& j) { return chain::gallery_get_json(u, 5, j); })},
        {"art_get_json", json_call([](const std::string& u, core::Json& j) { return chain::art_get_json(u, 5, j); })},
        {"identity_get_json", json_call([](const std::string& u, core::Json& j) { return chain::identity_get_json(u, j); })},
    };
    const std::string at_cap = json_of_size(chain::JSON_REPLY_CAP);
    const std::string past_cap = json_of_size(chain::JSON_REPLY_CAP + 1);
    server.script([&](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.path == "/at" ? at_cap : past_cap, "application/json");
    });
    for (const auto& [name, call] : kinds) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_TRUE(call(server.url("/at"), error)) << error;
        EXPECT_FALSE(call(server.url("/past"), error));
        // The JSON clients report no text; the others say why.
        if (std::string(name).find("_get_json") == std::string::npos) {
            EXPECT_EQ(error, chain::REPLY_TOO_LARGE);
        }
    }
}

TEST_F(HttpTest, WalletGetHoldsTheBodyToTheCallersCap) {
    constexpr std::size_t CAP = 1000;
    struct Case {
        bool chunked;  // no Content-Length: only the running count can catch it
        std::size_t size;
        bool ok;
    };
    const std::vector<Case> cases = {
        {false, CAP, true}, {false, CAP + 1, false}, {true, CAP, true}, {true, CAP + 1, false}, {true, 20 * CAP, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chunked ? "chunked " : "sized ") + std::to_string(c.size));
        const std::string payload(c.size, 'q');
        // Copies: the server may still be writing after the client gave up.
        server.script([payload, chunked = c.chunked](const httplib::Request&, httplib::Response& res) {
            if (!chunked) {
                res.set_content(payload, "text/plain");
                return;
            }
            res.set_chunked_content_provider("text/plain", [payload](std::size_t, httplib::DataSink& sink) {
                for (std::size_t off = 0; off < payload.size(); off += 100)
                    if (!sink.write(payload.data() + off, std::min<std::size_t>(100, payload.size() - off)))
                        return false;
                sink.done();
                return true;
            });
        });
        chain::HttpResult r = chain::wallet_get(server.url("/big"), 2, false, CAP);
        EXPECT_EQ(r.ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(r.body, payload);
        } else {
            EXPECT_EQ(r.error, chain::REPLY_TOO_LARGE);
            EXPECT_TRUE(r.body.empty());
        }
    }
    // The cap belongs to the call: the next one without a cap of its own takes the JSON cap.
    server.script(reply(200, std::string(2 * CAP, 'r')));
    EXPECT_TRUE(chain::wallet_get(server.url("/big"), 2).ok);
}

TEST_F(HttpTest, ReadingStopsAtTheCap) {
    // An endless reply: the client must hang up at the cap rather than read it all.
    constexpr std::size_t CAP = 1024 * 1024;
    constexpr std::size_t ENDLESS = std::size_t{1} << 30;
    struct Progress {
        std::mutex m;
        std::condition_variable cv;
        std::size_t written = 0;
        bool finished = false;
    };
    auto progress = std::make_shared<Progress>();
    server.script([progress](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [progress](std::size_t, httplib::DataSink& sink) {
            const std::string chunk(64 * 1024, 'e');
            std::size_t sent = 0;
            bool whole = true;
            while (sent < ENDLESS) {
                if (!sink.write(chunk.data(), chunk.size())) {
                    whole = false;
                    break;
                }
                sent += chunk.size();
            }
            if (whole) sink.done();
            {
                std::lock_guard<std::mutex> lock(progress->m);
                progress->written = sent;
                progress->finished = true;
            }
            progress->cv.notify_all();
            return whole;
        });
    });
    chain::HttpResult r = chain::wallet_get(server.url("/endless"), 30, false, CAP);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, chain::REPLY_TOO_LARGE);
    std::unique_lock<std::mutex> lock(progress->m);
    ASSERT_TRUE(progress->cv.wait_for(lock, std::chrono::seconds(20), [&] { return progress->finished; }));
    // What the server got out is the cap plus what the socket buffers held.
    EXPECT_LT(progress->written, 64 * CAP);
}

// --- the kept-alive submit client ------------------------------------------------------

TEST_F(HttpTest, SubmitReusesOneConnection) {
    server.script(reply(200, "{\"ok\":true}", "application/json"));
    EXPECT_EQ(chain::submit_handle_serial(), 0u);
    ASSERT_TRUE(chain::submit_post_json(server.url("/oi/submit"), "{}").ok);
    const std::uint64_t first = chain::submit_handle_serial();
    EXPECT_NE(first, 0u);
    ASSERT_TRUE(chain::submit_post_json(server.url("/oi/submit"), "{}").ok);
    ASSERT_TRUE(chain::submit_post_json(server.url("/oi/submit"), "{}").ok);
    EXPECT_EQ(chain::submit_handle_serial(), first);
    auto seen = server.seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].remote_port, seen[0].remote_port);
    EXPECT_EQ(seen[2].remote_port, seen[0].remote_port);

    // The per-call clients open a connection each time.
    ASSERT_TRUE(chain::wallet_post_json(server.url("/tx/raw"), "{}", 2, 1).ok);
    ASSERT_TRUE(chain::wallet_post_json(server.url("/tx/raw"), "{}", 2, 1).ok);
    seen = server.seen();
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_NE(seen[3].remote_port, seen[4].remote_port);
}

TEST_F(HttpTest, SubmitRefusalsAreWordedButKeepTheHandle) {
    server.script(reply(400, "258: txn-mempool-conflict\n"));
    chain::HttpResult r = chain::submit_post_json(server.url("/oi/submit"), "{}");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(r.error, "HTTP 400 " + DASH + " 258: txn-mempool-conflict");
    const std::uint64_t serial = chain::submit_handle_serial();
    EXPECT_NE(serial, 0u);
    server.script(reply(429, "busy"));
    r = chain::submit_post_json(server.url("/oi/submit"), "{}");
    EXPECT_EQ(r.error, RATE_LIMIT);
    EXPECT_EQ(server.seen().size(), 2u);  // no retry
    EXPECT_EQ(chain::submit_handle_serial(), serial);
}

TEST_F(HttpTest, SubmitDiscardsTheHandleAfterARefusedConnection) {
    ASSERT_TRUE(chain::submit_post_json(server.url("/oi/submit"), "{}").ok);
    const std::uint64_t first = chain::submit_handle_serial();
    ASSERT_NE(first, 0u);

    const std::string dead = "http://127.0.0.1:" + std::to_string(refused_port()) + "/oi/submit";
    chain::HttpResult r = chain::submit_post_json(dead, "{}");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(chain::submit_handle_serial(), 0u);

    ASSERT_TRUE(chain::submit_post_json(server.url("/oi/submit"), "{}").ok);
    const std::uint64_t second = chain::submit_handle_serial();
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].remote_port, seen[1].remote_port);
}

TEST_F(HttpTest, SubmitKeepsTheHandleAfterATimeOut) {
    server.script([&](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/slow") server.hold();
        res.set_content("{\"ok\":true}", "application/json");
    });
    ASSERT_TRUE(chain::submit_post_json(server.url("/oi/submit"), "{}").ok);
    const std::uint64_t first = chain::submit_handle_serial();

    chain::HttpResult r = chain::submit_post_json(server.url("/slow"), "{}");  // 2 s limit
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.error.find("imed out"), std::string::npos) << r.error;
    EXPECT_EQ(chain::submit_handle_serial(), first);

    EXPECT_TRUE(chain::submit_post_json(server.url("/oi/submit"), "{}").ok);
    EXPECT_EQ(chain::submit_handle_serial(), first);
}

TEST_F(HttpTest, OversizedSubmitReplyFailsCleanly) {
    server.script(reply(200, std::string(chain::JSON_REPLY_CAP + 1, 'b')));
    chain::HttpResult r = chain::submit_post_json(server.url("/oi/submit"), "{}");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, chain::REPLY_TOO_LARGE);
    EXPECT_TRUE(r.body.empty());
    server.script(reply(200, "small"));
    r = chain::submit_post_json(server.url("/oi/submit"), "{}");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.body, "small");
}

// --- TLS ---------------------------------------------------------------------------

// A throw-away self-signed certificate for a loopback HTTPS server.
struct SelfSigned {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    SelfSigned() {
        key = EVP_EC_gen("P-256");
        cert = X509_new();
        if (!key || !cert) return;
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), 0);
        X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                                   -1, 0);
        X509_set_issuer_name(cert, name);
        X509_sign(cert, key, EVP_sha256());
    }
    ~SelfSigned() {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

TEST(HttpTls, VerificationIsOffOnlyForLoopbackServiceText) {
    core::set_profile(core::Profile{});
    SelfSigned id;
    ASSERT_NE(id.key, nullptr);
    ASSERT_NE(id.cert, nullptr);
    auto tls = std::make_unique<httplib::SSLServer>(id.cert, id.key);
    ASSERT_TRUE(tls->is_valid());
    {
        LocalServer server(std::move(tls));
        server.script(reply(200, "secure"));
        const std::string port = std::to_string(server.port());

        chain::HttpResult local = chain::service_get_text("https://127.0.0.1:" + port + "/t");
        EXPECT_TRUE(local.ok) << local.error;
        EXPECT_EQ(local.body, "secure");
        chain::HttpResult named = chain::service_get_text("https://localhost:" + port + "/t");
        EXPECT_TRUE(named.ok) << named.error;

        // Same server, but the name merely starts like loopback: verification stays on.
        chain::HttpResult lookalike = chain::service_get_text("https://localhost.localhost:" + port + "/t");
        EXPECT_FALSE(lookalike.ok);
        EXPECT_NE(lookalike.error.find("certificate"), std::string::npos) << lookalike.error;
        // Every other client verifies, loopback or not.
        chain::HttpResult wallet = chain::wallet_get("https://127.0.0.1:" + port + "/t", 2);
        EXPECT_FALSE(wallet.ok);
        EXPECT_EQ(wallet.status, 0);
        core::Json j;
        EXPECT_FALSE(chain::identity_get_json("https://127.0.0.1:" + port + "/t", j));
    }
    core::reset_profile();
}

// --- pinning -------------------------------------------------------------------------

core::Profile pin_profile(const std::string& host, const std::string& ip) {
    core::Profile p;
    p.service_host = host;
    p.service_root = "https://" + host;
    p.service_pin_ip = ip;
    return p;
}

TEST(PinEntries, PinsTheServiceHostAndItsWwwName) {
    const std::string ip = "203.0.113.9";
    const std::vector<std::string> both = {"oi.example.test:443:" + ip, "www.oi.example.test:443:" + ip};
    const std::vector<std::string> bare = {"oi.example.test:443:" + ip};
    const std::vector<std::string> none;
    struct Case {
        std::string service_host;
        std::string pin_ip;
        std::string url;
        chain::PinScope scope;
        std::vector<std::string> expected;
    };
    using chain::PinScope;
    const std::vector<Case> cases = {
        {"oi.example.test", ip, "https://oi.example.test/oi/submit", PinScope::host_and_www, both},
        {"oi.example.test", ip, "https://www.oi.example.test/oi/tx/ab", PinScope::host_and_www, both},
        {"oi.example.test", ip, "https://OI.Example.TEST:443/x", PinScope::host_and_www, both},
        {"oi.example.test", ip, "https://user@oi.example.test?x=1", PinScope::host_and_www, both},
        {"oi.example.test:8443", ip, "https://oi.example.test:8443/x", PinScope::host_and_www, both},
        {"oi.example.test", ip, "https://oi.example.test/api/bsvalias/id/a@example.test", PinScope::bare_host, bare},
        {"oi.example.test", ip, "https://api.whatsonchain.test/v1/bsv/main/tx/ab", PinScope::host_and_www, none},
        {"oi.example.test", ip, "https://evil.test/?next=oi.example.test", PinScope::host_and_www, none},
        {"oi.example.test", ip, "https://oi.example.test.evil.test/", PinScope::host_and_www, none},
        {"oi.example.test", ip, "https://xoi.example.test/", PinScope::host_and_www, none},
        {"oi.example.test", ip, "oi.example.test/no-scheme", PinScope::host_and_www, none},
        {"oi.example.test", "", "https://oi.example.test/oi/submit", PinScope::host_and_www, none},
        {"", ip, "https://oi.example.test/oi/submit", PinScope::host_and_www, none},
    };
    for (const auto& c : cases) {
        core::set_profile(pin_profile(c.service_host, c.pin_ip));
        EXPECT_EQ(chain::pin_entries(c.url, c.scope), c.expected) << c.service_host << " " << c.url;
    }
    core::reset_profile();
}

TEST(PinEntries, PinServiceHostFillsTheResolveList) {
    core::set_profile(pin_profile("oi.example.test", "203.0.113.9"));
    CURL* h = curl_easy_init();
    ASSERT_NE(h, nullptr);
    curl_slist* list = nullptr;
    EXPECT_FALSE(chain::pin_service_host(h, "https://other.test/x", list));
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(chain::pin_service_host(h, "https://oi.example.test/x", list));
    std::vector<std::string> got;
    for (curl_slist* n = list; n; n = n->next) got.emplace_back(n->data);
    EXPECT_EQ(got, chain::pin_entries("https://oi.example.test/x"));
    curl_easy_cleanup(h);
    curl_slist_free_all(list);
    core::reset_profile();
}

// --- waiting -------------------------------------------------------------------------

TEST(WaitMs, SleepsInStepsUntilTheDeadline) {
    constexpr std::int64_t DAY = 86400000;
    struct Case {
        std::int64_t n;
        std::int64_t max_advance;  // how far one sleep moves the clock at most
        std::vector<std::int64_t> steps;
    };
    const std::vector<Case> cases = {
        {400, DAY * 10, {400}},
        {0, DAY, {}},
        {-5, DAY, {}},
        {1000, 300, {1000, 700, 400, 100}},  // early wake-ups sleep the rest
        {2 * DAY + 5, DAY * 10, {DAY, DAY, 5}},
    };
    for (const auto& c : cases) {
        std::int64_t mono = 5000;
        std::vector<std::int64_t> steps;
        core::ClockHooks hooks;
        hooks.wall_ms = [] { return std::int64_t{0}; };
        hooks.monotonic_ms = [&] { return mono; };
        hooks.sleep_ms = [&](std::int64_t ms) {
            steps.push_back(ms);
            mono += std::min(ms, c.max_advance);
        };
        core::set_clock(hooks);
        chain::wait_ms(c.n);
        core::reset_clock();
        EXPECT_EQ(steps, c.steps) << c.n;
        if (c.n > 0) {
            EXPECT_GE(mono, 5000 + c.n);
        }
    }
}

}  // namespace

// --- pages read in part (the update check) --------------------------------------------

TEST_F(HttpTest, PageGetKeepsTheHeadOfALongPageAndSendsItsAgent) {
    constexpr std::size_t KEEP = 200000;
    std::string page = "<p>Version 0.001</p>" + std::string(300000, 'x') + "<p>Version 0.009</p>";
    server.script(reply(200, page, "text/html"));
    chain::HttpResult r = chain::page_get(server.url("/quenvale/"), "Quenvale/0.001", KEEP);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 200);
    // Past the cap by at most one piece, never the whole page, and from its start.
    EXPECT_GT(r.body.size(), KEEP);
    EXPECT_LT(r.body.size(), page.size());
    EXPECT_EQ(r.body.substr(0, 20), page.substr(0, 20));
    ASSERT_EQ(server.seen().size(), 1u);
    EXPECT_EQ(server.seen()[0].agent, "Quenvale/0.001");

    // A short page is read whole; a refused status keeps its number.
    server.script(reply(200, "Current build: 1.2", "text/html"));
    r = chain::page_get(server.url("/quenvale/"), "Quenvale/0.001", KEEP);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.body, "Current build: 1.2");
    server.script(reply(503, "busy"));
    r = chain::page_get(server.url("/quenvale/"), "Quenvale/0.001", KEEP);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 503);
}

TEST_F(HttpTest, PageGetFailsWithoutAServer) {
    const chain::HttpResult r =
        chain::page_get("http://127.0.0.1:" + std::to_string(refused_port()) + "/quenvale/", "Quenvale/0.001", 100);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.error.empty());
}
