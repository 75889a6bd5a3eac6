// The update check: reading a version off the page, and the check over a stand-in GET.
#include "shell/update.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(Update, PageVersion) {
    struct Case {
        std::string text;
        int want;
    };
    const Case cases[] = {
        {"<p>Version 0.002</p>", 2},
        {"<p>Version 0.001</p>", 1},
        {"<p>Version 0.0009</p>", 0},  // a fourth fraction digit is not read
        {"Current build: 1.2", 1200},
        {"Version 2", 2000},
        {"Version 1.", 1000},
        {"Version 0.12 beta", 120},
        {"Version" + std::string(25, 'x') + "5", -1},  // the digit is 32 past the word
        {"Version" + std::string(17, 'x') + "3", 3000},  // 24 past the word: still its number
        {"Version" + std::string(18, 'x') + "3", -1},    // 25 past
        {"Version 0.001 and later Current build 0.003", 3},  // the last one wins
        {"Version 0.005, Version 0.002", 2},
        {"version 0.5 / VERSION 0.5 / current build 0.5", -1},  // case matters
        {"no words here 9.999", -1},
        {"", -1},
        {"Version 99999999999.5", -1},  // no int holds it: not a version
        {"Version 99999999999.5 Version 0.004", 4},
        {"VersionVersion 0.002", 2},
        {"Current build Version 3.1", 3100},
    };
    for (const Case& c : cases) EXPECT_EQ(shell::page_version(c.text), c.want) << c.text;
}

TEST(Update, PageAddressOnlyForAHostName) {
    struct Case {
        const char* site;
        const char* want;
    };
    const Case cases[] = {
        {"www.orvane.app", "https://www.orvane.app/quenvale/"},
        {"127.0.0.1:48213", "http://127.0.0.1:48213/quenvale/"},  // the devnet
        {"localhost:8080", "http://localhost:8080/quenvale/"},
        {"", ""},
        {"evil.example/x?y", ""},
        {"user@host", ""},
        {"host:0", ""},
        {"host:65536", ""},
        {"host:", ""},
        {"-host", ""},
        {"host:80:80", ""},
        {"ho st", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(shell::update_page_url(c.site), c.want) << c.site;
}

struct FakeGet {
    shell::HttpReply reply;
    int calls = 0;
    std::string url, agent;
    std::size_t limit = 0;
    shell::HttpGet fn() {
        return [this](const std::string& u, const std::string& a, std::size_t max) {
            ++calls;
            url = u;
            agent = a;
            limit = max;
            return reply;
        };
    }
};

TEST(Update, ANewerVersionAsksOnce) {
    FakeGet get;
    get.reply = {200, "<h1>Quenvale</h1><p>Version 0.002</p>"};
    const auto check = shell::check_for_update("www.orvane.app", get.fn());
    EXPECT_TRUE(check.newer);
    EXPECT_EQ(check.version, 2);
    EXPECT_EQ(check.question, "A newer Quenvale is on www.orvane.app.\n\nOpen the page?");
    EXPECT_EQ(check.page_url, "https://www.orvane.app/quenvale/");
    EXPECT_EQ(get.url, "https://www.orvane.app/quenvale/");
    EXPECT_EQ(get.agent, "Quenvale/0.001");
    EXPECT_EQ(get.limit, 200000u);

    // The question names the host, not the port.
    const auto local = shell::check_for_update("127.0.0.1:48213", get.fn());
    EXPECT_EQ(local.question, "A newer Quenvale is on 127.0.0.1.\n\nOpen the page?");
}

TEST(Update, NothingIsAnnouncedWithoutANewerVersionOnAGoodReply) {
    struct Case {
        const char* name;
        shell::HttpReply reply;
    };
    const Case cases[] = {
        {"same version", {200, "Version 0.001"}},
        {"older", {200, "Version 0.0009"}},
        {"no version", {200, "<html>welcome</html>"}},
        {"not found", {404, "Version 9.0"}},
        {"server error", {500, "Version 9.0"}},
        {"no answer", {0, ""}},
    };
    for (const Case& c : cases) {
        FakeGet get;
        get.reply = c.reply;
        const auto check = shell::check_for_update("www.orvane.app", get.fn());
        EXPECT_FALSE(check.newer) << c.name;
        EXPECT_TRUE(check.question.empty()) << c.name;
    }
}

TEST(Update, OnlyTheFirst200000BytesAreRead) {
    FakeGet get;
    std::string page(300000, ' ');
    page.replace(250000, 13, "Version 0.009");
    get.reply = {200, page};  // a GET that ignores the limit
    EXPECT_FALSE(shell::check_for_update("www.orvane.app", get.fn()).newer);

    page.replace(199987, 13, "Version 0.009");  // ends exactly at the limit
    get.reply = {200, page};
    const auto check = shell::check_for_update("www.orvane.app", get.fn());
    EXPECT_TRUE(check.newer);
    EXPECT_EQ(check.version, 9);  // the later one is past the limit
}

TEST(Update, ABadSiteOrAFailingGetIsNoUpdate) {
    FakeGet get;
    get.reply = {200, "Version 0.002"};
    const auto bad = shell::check_for_update("www.orvane.app/other", get.fn());
    EXPECT_FALSE(bad.newer);
    EXPECT_EQ(get.calls, 0);

    shell::HttpGet throwing = [](const std::string&, const std::string&, std::size_t) -> shell::HttpReply {
        throw std::runtime_error("resolver failed");
    };
    EXPECT_FALSE(shell::check_for_update("www.orvane.app", throwing).newer);
    EXPECT_FALSE(shell::check_for_update("www.orvane.app", shell::HttpGet{}).newer);
}

}  // namespace
