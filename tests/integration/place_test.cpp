// Place, walls, remove and enter through quenvale-cli against the devnet, with an
// artwork minted by wendrel: every transaction goes through the devnet's validator.
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/json.h"
#include "core/text.h"
#include "tests/support/devnet.h"
#include "tests/support/temp_platform.h"

using testing_support::Devnet;
using testing_support::json_of;
using testing_support::run_program;

namespace {

std::string txid_of(const core::Json& result) {
    const std::string text = core::json_string(result, "result");
    return text.rfind("success: ", 0) == 0 ? text.substr(9, 64) : "";
}

// Sats the transaction pays to the address, and in how many outputs.
std::int64_t paid_to(const core::Json& tx, const std::string& address, int& outputs) {
    std::int64_t sats = 0;
    outputs = 0;
    for (const auto& out : tx["vout"]) {
        const auto& spk = out["scriptPubKey"];
        if (!spk.contains("addresses")) continue;
        for (const auto& a : spk["addresses"]) {
            if (a != address) continue;
            ++outputs;
            sats += static_cast<std::int64_t>(out["value"].get<double>() * 1e8 + 0.5);
        }
    }
    return sats;
}

class PlaceOnDevnet : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    std::string instance;
    void SetUp() override {
        ASSERT_TRUE(dn.running());
        dn.reset();
        instance = tp.root() + "/gallery";
    }
    testing_support::RunResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--instance", instance});
        return run_program("quenvale-cli", args);
    }
    core::Json cli_json(std::vector<std::string> args, int expect_exit) {
        args.push_back("--json");
        auto r = cli(args);
        EXPECT_EQ(r.exit_code, expect_exit) << r.out << r.err;
        return json_of(r.out);
    }
    core::Json tx(const std::string& txid) { return dn.get("/woc/v1/bsv/main/tx/" + txid); }
};

}  // namespace

TEST_F(PlaceOnDevnet, PlaceViewOnlyShowsOnTheWallsAndRemoveTakesItDown) {
    auto restored = run_program("wendrel", {"restore", "--mnemonic",
                                            "abandon abandon abandon abandon abandon abandon abandon abandon "
                                            "abandon abandon abandon about"});
    ASSERT_EQ(restored.exit_code, 0) << restored.err;
    core::Json shown = json_of(run_program("wendrel", {"show", "--json"}).out);
    ASSERT_FALSE(dn.fund(shown["address"], 200000).empty());
    auto claimed = run_program("wendrel", {"paymail", "alice"});
    ASSERT_EQ(claimed.exit_code, 0) << claimed.err;
    core::write_file(tp.root() + "/pic.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'p'));
    auto minted = run_program("wendrel", {"mint", "--image", tp.root() + "/pic.png", "--title", "Dawn", "--artist",
                                          "Ada", "--json"});
    ASSERT_EQ(minted.exit_code, 0) << minted.err;
    const core::Json m = json_of(minted.out);
    const std::string pic = m["pic"], cert = m["cert"];

    // A price the box refuses never reaches the chain.
    core::Json refused = cli_json({"place", "--frame", "3", "--origin", pic, "--weeks", "1", "--price", "1e300"}, 1);
    EXPECT_EQ(refused["result"], "error: Enter a whole number of sats. Leave it empty for view only.");

    core::Json placed = cli_json({"place", "--frame", "3", "--origin", pic, "--weeks", "1"}, 0);
    ASSERT_EQ(placed["ok"], true) << placed.dump();
    const std::string place_txid = txid_of(placed);
    ASSERT_EQ(place_txid.size(), 64u);
    int fee_outputs = 0;
    EXPECT_EQ(paid_to(tx(place_txid), dn.profile()["placement_fee_address"], fee_outputs), 10000);
    EXPECT_EQ(fee_outputs, 1);

    core::Json walls = cli_json({"walls"}, 0);
    ASSERT_EQ(walls["frames"].size(), 10u) << walls.dump();
    const core::Json& f3 = walls["frames"][2];
    EXPECT_EQ(f3["spot"], 3);
    EXPECT_EQ(f3["shown"], true) << f3.dump();
    EXPECT_EQ(f3["pic"], pic.substr(0, 64));
    EXPECT_EQ(f3["cert"], cert.substr(0, 64));
    EXPECT_EQ(f3["owner"], shown["identity_key"]);
    EXPECT_EQ(f3["price"], -1);
    EXPECT_EQ(f3["title"], "Dawn");
    EXPECT_EQ(f3["error"], "");
    auto plain = cli({"walls"});
    EXPECT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_NE(plain.out.find("AP3  " + pic.substr(0, 64)), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("view only"), std::string::npos) << plain.out;

    // The frame is taken, and the artwork cannot go on a second wall.
    EXPECT_EQ(cli_json({"place", "--frame", "3", "--origin", pic, "--weeks", "2"}, 1)["result"],
              "error: that frame is already taken.");
    EXPECT_EQ(cli_json({"place", "--frame", "4", "--origin", pic, "--weeks", "2", "--price", "0.001", "--unit",
                        "bsv"},
                       1)["result"],
              "error: that artwork is already on a wall.");

    core::Json removed = cli_json({"remove", "--frame", "3"}, 0);
    ASSERT_EQ(removed["ok"], true) << removed.dump();
    walls = cli_json({"walls"}, 0);
    EXPECT_EQ(walls["frames"][2]["shown"], false) << walls["frames"][2].dump();
    EXPECT_EQ(cli_json({"remove", "--frame", "3"}, 1)["result"], "error: that frame is empty.");

    // Back on the wall for two weeks with a price: 20000 sats of fee.
    placed = cli_json({"place", "--frame", "5", "--origin", pic, "--weeks", "2", "--price", "1500"}, 0);
    ASSERT_EQ(placed["ok"], true) << placed.dump();
    EXPECT_EQ(paid_to(tx(txid_of(placed)), dn.profile()["placement_fee_address"], fee_outputs), 20000);
    walls = cli_json({"walls"}, 0);
    EXPECT_EQ(walls["frames"][4]["price"], 1500);
    EXPECT_EQ(walls["frames"][4]["exp"].get<std::int64_t>() - walls["frames"][4]["shown_at"].get<std::int64_t>(),
              2 * 604800);
}

TEST_F(PlaceOnDevnet, AdmissionPaysTwoHundredSatsInOneOutput) {
    auto restored = run_program("wendrel", {"restore", "--mnemonic",
                                            "abandon abandon abandon abandon abandon abandon abandon abandon "
                                            "abandon abandon abandon about"});
    ASSERT_EQ(restored.exit_code, 0) << restored.err;
    core::Json shown = json_of(run_program("wendrel", {"show", "--json"}).out);

    // Without a paymail the identity precheck refuses before anything is paid.
    auto early = cli({"enter"});
    EXPECT_EQ(early.exit_code, 1);
    EXPECT_NE(early.err.find("paymail first"), std::string::npos) << early.err;

    ASSERT_FALSE(dn.fund(shown["address"], 50000).empty());
    ASSERT_EQ(run_program("wendrel", {"paymail", "alice"}).exit_code, 0);
    core::Json entered = cli_json({"enter"}, 0);
    ASSERT_EQ(entered["ok"], true) << entered.dump();
    const core::Json t = tx(txid_of(entered));
    int outputs = 0;
    EXPECT_EQ(paid_to(t, dn.profile()["admission_address"], outputs), 200);
    EXPECT_EQ(outputs, 1);
    // The fee output comes first, then the record; change (if any) last.
    ASSERT_GE(t["vout"].size(), 2u);
    EXPECT_EQ(t["vout"][0]["scriptPubKey"]["addresses"][0], dn.profile()["admission_address"]);
    EXPECT_EQ(t["vout"][1]["value"].get<double>(), 0.0);
}
