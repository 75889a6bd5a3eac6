// The update check's WinHTTP GET against a real HTTP server in this process: status,
// user agent, the body limit, failures, and the whole check through it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>

#include "shell/update.h"
#include "shell/win32/winhttp_get.h"

namespace {

class PageServer {
public:
    PageServer() {
        server_.Get("/page", [this](const httplib::Request& req, httplib::Response& res) {
            remember(req);
            res.set_content("<p>Version 0.002</p>", "text/html");
        });
        server_.Get("/quenvale/", [this](const httplib::Request& req, httplib::Response& res) {
            remember(req);
            res.set_content(page_, "text/html");
        });
        server_.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("Version 9.000 is not here", "text/plain");
        });
        // 600 kB in 16 kB pieces, so the client sees many reads.
        server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= BIG) {
                    sink.done();
                    return true;
                }
                const std::string piece(std::min<std::size_t>(16 * 1024, BIG - offset), 'x');
                return sink.write(piece.data(), piece.size());
            });
        });
        // A client that stops reading early leaves its connection; stop() waits this long.
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (port_ > 0 && !server_.is_running()) std::this_thread::yield();
    }
    ~PageServer() {
        server_.stop();
        thread_.join();
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    static constexpr std::size_t BIG = 600 * 1024;
    std::string site() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string url(const std::string& path) const { return "http://" + site() + path; }
    std::string user_agent() {
        std::lock_guard<std::mutex> lock(mutex_);
        return user_agent_;
    }
    void set_page(std::string page) { page_ = std::move(page); }

private:
    void remember(const httplib::Request& req) {
        std::lock_guard<std::mutex> lock(mutex_);
        user_agent_ = req.get_header_value("User-Agent");
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    std::mutex mutex_;
    std::string user_agent_;
    std::string page_;
};

}  // namespace

TEST(Win32UpdateGet, ReadsAPageWithTheUserAgentAndOnlyA200Body) {
    PageServer server;
    ASSERT_GT(server.site().size(), 10u);
    const shell::HttpReply page = win32_shell::winhttp_get(server.url("/page"), shell::USER_AGENT, 1000);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<p>Version 0.002</p>");
    EXPECT_EQ(server.user_agent(), shell::USER_AGENT);

    const shell::HttpReply missing = win32_shell::winhttp_get(server.url("/missing"), shell::USER_AGENT, 1000);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "");
}

TEST(Win32UpdateGet, StopsReadingOnceTheBodyPassedTheLimit) {
    PageServer server;
    const shell::HttpReply big =
        win32_shell::winhttp_get(server.url("/big"), shell::USER_AGENT, shell::UPDATE_BODY_LIMIT);
    EXPECT_EQ(big.status, 200);
    EXPECT_GT(big.body.size(), shell::UPDATE_BODY_LIMIT);
    EXPECT_LT(big.body.size(), PageServer::BIG);

    const shell::HttpReply whole = win32_shell::winhttp_get(server.url("/big"), shell::USER_AGENT, PageServer::BIG * 2);
    EXPECT_EQ(whole.body.size(), PageServer::BIG);
}

TEST(Win32UpdateGet, AFailedExchangeIsStatusZero) {
    std::string closed;
    {
        PageServer gone;
        closed = gone.url("/page");
    }
    EXPECT_EQ(win32_shell::winhttp_get(closed, shell::USER_AGENT, 1000).status, 0);
    EXPECT_EQ(win32_shell::winhttp_get("not a url", shell::USER_AGENT, 1000).status, 0);
    EXPECT_EQ(win32_shell::winhttp_get("", shell::USER_AGENT, 1000).status, 0);
}

TEST(Win32UpdateGet, TheCheckAnnouncesOnlyANewerVersion) {
    PageServer server;
    server.set_page("<h1>Quenvale</h1><p>Version 0.001</p><p>Current build: 0.003</p>");
    const shell::UpdateCheck newer = shell::check_for_update(server.site(), win32_shell::winhttp_get);
    EXPECT_TRUE(newer.newer);
    EXPECT_EQ(newer.version, 3);
    EXPECT_EQ(newer.page_url, server.url("/quenvale/"));

    server.set_page("<p>Version 0.001</p>");
    const shell::UpdateCheck same = shell::check_for_update(server.site(), win32_shell::winhttp_get);
    EXPECT_FALSE(same.newer);
    EXPECT_EQ(same.version, 1);
}
