// quenvale-cli end to end: the real program in a temporary platform folder, with every
// chain service on a loopback port nobody listens on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/files.h"
#include "core/json.h"
#include "core/text.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/tools/offline_profile.h"

using testing_support::ABANDON;
using testing_support::run_program;
using testing_support::TempPlatform;

namespace {

std::string last_line(const std::string& s) {
    std::string t = core::trim_right(s, "\n");
    return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
}

// One wallet in the registry: the gallery binds to it by itself.
std::string one_wallet() {
    auto r = run_program("wendrel", {"restore", "--mnemonic", ABANDON});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return core::trim(r.out);
}

}  // namespace

TEST(QuenvaleCli, UnknownRepeatedOrStrayWordsAreRefusedWithOnePrefix) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    const std::string inst = tp.root() + "/inst";
    const struct {
        std::vector<std::string> args;
        std::string line;
    } rows[] = {
        {{"status", "extra"}, "quenvale-cli: error: unexpected word \"extra\"; see quenvale-cli status --help"},
        {{"status", "--bogus"}, "quenvale-cli: error: unknown option --bogus for status; see quenvale-cli status --help"},
        {{"--instance", inst, "--instance", inst, "status"}, "quenvale-cli: error: option --instance is given twice"},
        {{"status", "--json", "--json"}, "quenvale-cli: error: option --json is given twice"},
        {{"disconnect", "--instance"}, "quenvale-cli: error: option --instance needs a value"},
        {{"fly"}, "quenvale-cli: error: unknown command \"fly\"; see quenvale-cli --help"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        auto run = run_program("quenvale-cli", r.args);
        EXPECT_NE(run.exit_code, 0);
        EXPECT_EQ(run.err, r.line + "\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(core::file_exists(tp.path("binds")));
}

TEST(QuenvaleCli, EachCommandHasItsOwnHelp) {
    TempPlatform tp;
    for (const char* command : {"connect", "disconnect", "status", "arts"}) {
        SCOPED_TRACE(command);
        auto r = run_program("quenvale-cli", {"--instance", tp.root(), command, "--help"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(core::starts_with(r.out, std::string("usage: quenvale-cli ") + command + " ")) << r.out;
        EXPECT_EQ(r.out.find("usage:", 1), std::string::npos) << r.out;
    }
    auto all = run_program("quenvale-cli", {"--help"});
    EXPECT_EQ(all.exit_code, 0);
    EXPECT_TRUE(core::starts_with(all.out, "usage: quenvale-cli [--instance DIR] COMMAND")) << all.out;
}

TEST(QuenvaleCli, ANetworkProfileThatDoesNotLoadStopsIt) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    one_wallet();
    core::write_file(tp.root() + "/empty.json", "");
    core::write_file(tp.root() + "/list.json", "[1, 2]");
    const struct {
        std::string path;
        std::string line;
    } rows[] = {
        {tp.root() + "/absent.json", "the network profile " + tp.root() + "/absent.json could not be read"},
        {tp.root() + "/empty.json", "the network profile " + tp.root() + "/empty.json is not valid: profile is not a JSON object"},
        {tp.root() + "/list.json", "the network profile " + tp.root() + "/list.json is not valid: profile is not a JSON object"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        ::setenv("QUENVALE_PROFILE", r.path.c_str(), 1);
        for (const char* command : {"status", "arts", "disconnect"}) {
            auto run = run_program("quenvale-cli", {"--instance", tp.root() + "/inst", command});
            EXPECT_NE(run.exit_code, 0);
            EXPECT_EQ(run.err, "quenvale-cli: error: " + r.line + "\n");
            EXPECT_EQ(run.out, "");
        }
    }
}

TEST(QuenvaleCli, ADeniedConnectIsOneErrorLine) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    run_program("wendrel", {"create"});
    run_program("wendrel", {"create"});  // two wallets: the gallery has to ask
    // Plays the wallet application: denies the first request it sees.
    std::atomic<bool> stop{false};
    std::thread app([&] {
        for (int i = 0; i < 400 && !stop; ++i) {
            for (const auto& name : core::list_files(tp.path("connect"))) {
                if (!core::ends_with(name, ".req.json")) continue;
                std::string rep = tp.path("connect/" + name.substr(0, name.size() - 9) + ".rep.json");
                if (!core::file_exists(rep)) core::write_file_atomic(rep, R"({"ok":false})");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    });
    auto r = run_program("quenvale-cli", {"--instance", tp.root() + "/inst", "connect"});
    stop = true;
    app.join();
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(last_line(r.err), "quenvale-cli: error: connect denied in Wendrel.");
    EXPECT_EQ(r.err.find("error: error"), std::string::npos) << r.err;
}

TEST(QuenvaleCli, StatusWithTheChainServiceDownSaysSoAndOutsideTextIsClean) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    std::string id = one_wallet();
    tp.write("wallets.json",
             core::dump_pretty({{"wallets", {{{"id", id}, {"name", "\x1b]2;x\x07Gal\xc2\x9b" "1;1Hlery\x1b[5m"}}}}, {"active", id}}));
    auto r = run_program("quenvale-cli", {"--instance", tp.root() + "/inst", "status"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(core::starts_with(r.out, "connected to Gallery (" + id + ")\n")) << r.out;
    EXPECT_NE(r.out.find("balance: unknown (could not reach the chain service"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("balance: 0"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find("\xc2\x9b"), std::string::npos);
}
