// What the command-line programs print of names that come from the chain: anyone can
// inscribe a MAP name full of terminal escape sequences.
#include <gtest/gtest.h>

#include "core/base64.h"
#include "core/json.h"
#include "core/text.h"
#include "tests/support/devnet.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"

using testing_support::Devnet;
using testing_support::json_of;
using testing_support::run_program;

namespace {

bool has_terminal_controls(const std::string& s) {
    return s.find('\x1b') != std::string::npos || s.find('\x07') != std::string::npos ||
           s.find("\xc2\x9b") != std::string::npos || s.find("\xc2\x9d") != std::string::npos;
}

}  // namespace

TEST(CliOutput, InscriptionNamesReachTheTerminalWithoutControlCharacters) {
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    ASSERT_TRUE(dn.running());
    dn.reset();
    auto restored = run_program("wendrel", {"restore", "--mnemonic",
                                            testing_support::ABANDON});
    ASSERT_EQ(restored.exit_code, 0) << restored.err;
    std::string ord = json_of(run_program("wendrel", {"show", "--json"}).out)["ordinals_address"];
    const std::string evil = "\x1b]0;owned\x07Night\xc2\x9b" "2J Sky\x1b[5m\xc2\x85";
    core::Json r = dn.post("/devnet/inscribe",
                           {{"address", ord},
                            {"contentType", "image/png"},
                            {"contentBase64", core::base64_encode(std::string("\x89PNG\r\n\x1a\n", 8) + "night")},
                            {"map", {{"app", "ZuvAdudurero"}, {"type", "ord"}, {"name", evil}}},
                            {"confirmed", true}});
    std::string origin = core::json_string(r, "origin");
    ASSERT_FALSE(origin.empty()) << r.dump();

    // The only wallet binds by itself.
    const std::string instance = tp.root() + "/gallery";
    auto arts = run_program("quenvale-cli", {"--instance", instance, "arts"});
    ASSERT_EQ(arts.exit_code, 0) << arts.err;
    EXPECT_NE(arts.out.find(origin), std::string::npos) << arts.out;
    EXPECT_NE(arts.out.find("Night Sky"), std::string::npos) << arts.out;
    EXPECT_FALSE(has_terminal_controls(arts.out)) << arts.out;
    EXPECT_FALSE(has_terminal_controls(arts.err)) << arts.err;

    // JSON carries the name as it is on chain, every control escaped.
    auto json = run_program("quenvale-cli", {"--instance", instance, "arts", "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    EXPECT_FALSE(has_terminal_controls(json.out)) << json.out;
    bool found = false;
    for (const auto& row : json_of(json.out))
        if (row["origin"] == origin) found = row["name"] == evil;
    EXPECT_TRUE(found) << json.out;
}

TEST(CliOutput, PlaceAndRemoveCheckTheirArgumentsBeforeAnyWalletWork) {
    testing_support::TempPlatform tp;
    Devnet& dn = Devnet::shared();
    ASSERT_TRUE(dn.running());
    dn.reset();
    const std::string instance = tp.root() + "/gallery";
    const std::string origin = std::string(64, 'a') + "_0";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"place", "--frame", "x", "--origin", origin, "--weeks", "1"}, "--frame takes a frame number from 1 to 10"},
        {{"place", "--frame", "-1", "--origin", origin, "--weeks", "1"}, "--frame takes a frame number from 1 to 10"},
        {{"place", "--frame", "3", "--origin", origin, "--weeks", "1", "--unit", "eur"}, "--unit is sats or bsv"},
        {{"place", "--frame", "3", "--origin", origin, "--weeks", "1", "--price", "1.5"},
         "Sats are a whole number. Switch the unit to BSV for a decimal."},
        {{"place", "--frame", "3", "--origin", origin}, "weeks"},
        {{"remove", "--frame", "3x"}, "--frame takes a frame number from 1 to 10"},
        // No wallet: the identity precheck answers, nothing is paid.
        {{"remove", "--frame", "3"}, "paymail first"},
        {{"enter"}, "paymail first"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--instance", instance};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto r = run_program("quenvale-cli", args);
        EXPECT_EQ(r.exit_code, 1) << c.args[0] << " " << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    auto json = run_program("quenvale-cli", {"--instance", instance, "enter", "--json"});
    EXPECT_EQ(json.exit_code, 1);
    const core::Json j = json_of(json.out);
    EXPECT_EQ(j["ok"], false);
    EXPECT_EQ(core::json_string(j, "result").rfind("error: ", 0), 0u) << json.out;
}
