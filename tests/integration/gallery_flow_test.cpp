// A person's first steps, with the real programs against the devnet: create a wallet,
// fund it, claim a paymail, mint an artwork, connect the gallery through the wallet
// application, and see the artwork listed; the pair record reads back and verifies.
#include <gtest/gtest.h>

#include <map>
#include <sys/wait.h>
#include <unistd.h>

#include "core/files.h"
#include "core/json.h"
#include "core/text.h"
#include "ledger/identity_checks.h"
#include "ledger/records.h"
#include "tests/support/devnet.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/connect.h"
#include "wallet/paymail.h"
#include "wallet/registry.h"

using testing_support::Devnet;
using testing_support::json_of;
using testing_support::run_program;

namespace {

std::string wallet_word(const std::string& instance) { return wallet::file_word(instance); }

std::string line(const std::string& s) { return core::trim(s.substr(0, s.find('\n'))); }

// quenvale-cli connect in a child process while the test answers as the wallet app.
struct BackgroundConnect {
    pid_t pid = -1;
    std::string out_path;
    explicit BackgroundConnect(const std::string& instance, const std::string& dir) {
        out_path = dir + "/connect.out";
        std::string cli = testing_support::bin_path("quenvale-cli");
        pid = ::fork();
        if (pid == 0) {
            std::freopen(out_path.c_str(), "w", stdout);
            std::freopen((out_path + ".err").c_str(), "w", stderr);
            ::execl(cli.c_str(), cli.c_str(), "--instance", instance.c_str(), "connect", "--json",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    core::Json result() {
        std::string text;
        core::read_file(out_path, text);
        return json_of(text);
    }
};

// wendrel approve/deny until a request exists (the connect writes it within a moment).
int answer(const std::vector<std::string>& args) {
    for (int i = 0; i < 100; ++i) {
        if (run_program("wendrel", args).exit_code == 0) return 0;
        ::usleep(100 * 1000);
    }
    return 1;
}

class GalleryFlow : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        ledger::reset_identity_caches();
    }
};

}  // namespace

TEST_F(GalleryFlow, CreateFundPaymailMintConnectAndList) {
    std::string alice = line(run_program("wendrel", {"create", "--name", "Alice"}).out);
    core::Json shown = json_of(run_program("wendrel", {"show", "--json"}).out);
    ASSERT_FALSE(dn.fund(shown["address"], 100000).empty());
    auto claimed = run_program("wendrel", {"paymail", "alice"});
    ASSERT_EQ(claimed.exit_code, 0) << claimed.err;

    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'p');
    core::write_file(tp.root() + "/pic.png", png);
    auto minted = run_program("wendrel", {"mint", "--image", tp.root() + "/pic.png", "--title", "Dawn", "--artist",
                                          "Ada", "--json"});
    ASSERT_EQ(minted.exit_code, 0) << minted.err;
    core::Json m = json_of(minted.out);

    // A second wallet means the gallery has to ask which one.
    run_program("wendrel", {"create", "--name", "Spare"});
    std::string instance = tp.root() + "/gallery";
    BackgroundConnect connect(instance, tp.root());
    ASSERT_EQ(answer({"approve", "--wallet", alice}), 0);
    ASSERT_EQ(connect.wait(), 0);
    EXPECT_EQ(connect.result()["wallet_id"], alice);

    auto arts = run_program("quenvale-cli", {"--instance", instance, "arts", "--json"});
    ASSERT_EQ(arts.exit_code, 0) << arts.err;
    core::Json rows = json_of(arts.out);
    std::map<std::string, std::string> kinds;
    for (const auto& r : rows) kinds[r["origin"]] = r["kind"];
    EXPECT_EQ(kinds[m["pic"]], "Artwork");
    EXPECT_EQ(kinds[m["cert"]], "Certificate");

    // The pair record, read back from the chain, passes the reader's check.
    core::Json tx = dn.get("/woc/v1/bsv/main/tx/" + m["pair_txid"].get<std::string>());
    core::Json record;
    ASSERT_TRUE(ledger::extract_record(tx, record));
    EXPECT_EQ(record["type"], "art_pair");
    EXPECT_EQ(record["pic"], m["pic"].get<std::string>().substr(0, 64));
    EXPECT_EQ(record["owner"], shown["identity_key"]);
    EXPECT_TRUE(ledger::verify_record(record));
    record["sha256"] = std::string(64, '0');
    EXPECT_FALSE(ledger::verify_record(record));

    auto status = json_of(run_program("quenvale-cli", {"--instance", instance, "status", "--json"}).out);
    EXPECT_EQ(status["connected"], true);
    EXPECT_EQ(status["paymail"], "alice@" + dn.profile()["paymail_domain"].get<std::string>());
    EXPECT_GT(status["balance"].get<std::int64_t>(), 90000);
}

TEST_F(GalleryFlow, DeniedOrSealedConnections) {
    std::string first = line(run_program("wendrel", {"create"}).out);
    run_program("wendrel", {"create"});
    std::string instance = tp.root() + "/gallery";
    {
        BackgroundConnect connect(instance, tp.root());
        ASSERT_EQ(answer({"deny"}), 0);
        EXPECT_NE(connect.wait(), 0);
        EXPECT_EQ(connect.result()["result"], "error: connect denied in Wendrel.");
    }
    ASSERT_EQ(run_program("wendrel", {"seal", first, "--password", "pw"}).exit_code, 0);
    {
        BackgroundConnect connect(instance, tp.root());
        ASSERT_EQ(answer({"approve", "--wallet", first}), 0);
        EXPECT_NE(connect.wait(), 0);
        EXPECT_EQ(connect.result()["result"], "error: This wallet is locked. Open it in Wendrel.");
    }
    auto status = json_of(run_program("quenvale-cli", {"--instance", instance, "status", "--json"}).out);
    EXPECT_EQ(status["connected"], false);
    EXPECT_EQ(status["locked"], true);
    // The locked wallet's bind was written by the approval; disconnect removes it.
    std::string bind = tp.path("binds/" + wallet_word(instance) + ".json");
    EXPECT_TRUE(core::file_exists(bind));
    EXPECT_EQ(run_program("quenvale-cli", {"--instance", instance, "disconnect"}).exit_code, 0);
    EXPECT_FALSE(core::file_exists(bind));
}

TEST_F(GalleryFlow, UnchangedPaymailIsClaimedOnce) {
    std::string id = line(run_program("wendrel", {"restore", "--mnemonic",
                                                  testing_support::ABANDON}).out);
    ASSERT_EQ(run_program("wendrel", {"paymail", "Carol"}).exit_code, 0);
    wallet::init_app_binding("Quenvale", tp.root() + "/inst");
    ASSERT_EQ(wallet::app_binding().wallet_id, id);
    wallet::reset_paymail_state();
    // Let claims through, counting them.
    dn.fault({{"method", "POST"}, {"pathRegex", "^/svc/api/paymail/claim"}, {"delayMs", 1}, {"count", 100}});
    EXPECT_TRUE(wallet::refresh_wallet_status());
    EXPECT_TRUE(wallet::refresh_wallet_status());
    core::Json faults = dn.get("/devnet/faults");
    dn.clear_faults();
    ASSERT_TRUE(faults.is_array() || faults.is_object());
    const core::Json& list = faults.is_array() ? faults : faults["faults"];
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["fired"], 1);
    // The alias came back in lower case and named the wallet.
    EXPECT_EQ(wallet::wallet_display_name(id), "carol");
}
