// wendrel end to end: the real program in a temporary platform folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/files.h"
#include "core/json.h"
#include "core/text.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "tests/unit/tools/offline_profile.h"
#include "wallet/derive.h"
#include "wallet/keys.h"

using testing_support::ABANDON;
using testing_support::ABANDON_IDENTITY;
using testing_support::ABANDON_ORDINALS0;
using testing_support::ABANDON_RECEIVE0;
using testing_support::json_of;
using testing_support::run_program;
using testing_support::TempPlatform;

namespace {

std::string first_line(const std::string& s) { return core::trim(s.substr(0, s.find('\n'))); }

}  // namespace

TEST(Wendrel, CreateMakesAnHdDocumentAndARegistryRow) {
    TempPlatform tp;
    auto r = run_program("wendrel", {"create", "--name", "Gallery"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string id = first_line(r.out);
    ASSERT_TRUE(core::starts_with(id, "w")) << id;
    core::Json doc = json_of(tp.read("wallets/" + id + "/wallet.json"));
    EXPECT_EQ(doc["version"], 2);
    EXPECT_EQ(doc["recv"], (core::Json{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(doc["show"], 0);
    std::string words = doc["mnemonic"];
    EXPECT_TRUE(wallet::validate_mnemonic(words));
    std::string priv, pub, addr;
    ASSERT_TRUE(wallet::derive_from_mnemonic(words, wallet::receive_path(0), priv, pub, addr));
    EXPECT_EQ(doc["address"], addr);
    core::Json reg = json_of(tp.read("wallets.json"));
    EXPECT_EQ(reg["wallets"][0]["id"], id);
    EXPECT_EQ(reg["wallets"][0]["name"], "Gallery");
    EXPECT_EQ(reg["active"], id);
    // The mnemonic is never printed unless asked for.
    auto shown = run_program("wendrel", {"show", "--json"});
    ASSERT_EQ(shown.exit_code, 0);
    EXPECT_EQ(shown.out.find(words), std::string::npos);
    EXPECT_NE(run_program("wendrel", {"show", "--reveal"}).out.find(words), std::string::npos);
}

TEST(Wendrel, RestoreWritesTheAddressesOfThatExactText) {
    TempPlatform tp;
    auto r = run_program("wendrel", {"restore", "--mnemonic", ABANDON});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string id = first_line(r.out);
    core::Json doc = json_of(tp.read("wallets/" + id + "/wallet.json"));
    EXPECT_EQ(doc["address"], ABANDON_RECEIVE0);
    EXPECT_EQ(doc["identity"], ABANDON_IDENTITY);
    EXPECT_EQ(doc["mnemonic"], ABANDON);

    // Capitals keep the mnemonic valid but give another seed: stored exactly as given.
    std::string caps = std::string(ABANDON).replace(0, 7, "Abandon");
    auto r2 = run_program("wendrel", {"restore", "--mnemonic", caps, "--name", "Caps"});
    ASSERT_EQ(r2.exit_code, 0) << r2.err;
    core::Json doc2 = json_of(tp.read("wallets/" + first_line(r2.out) + "/wallet.json"));
    EXPECT_EQ(doc2["mnemonic"], caps);
    EXPECT_NE(doc2["address"], doc["address"]);

    auto shown = json_of(run_program("wendrel", {"show", id, "--json"}).out);
    EXPECT_EQ(shown["address"], ABANDON_RECEIVE0);
    EXPECT_EQ(shown["ordinals_address"], ABANDON_ORDINALS0);
    EXPECT_EQ(wallet::address_from_pub(shown["identity_key"].get<std::string>()), shown["identity"]);
    auto listed = json_of(run_program("wendrel", {"list", "--json"}).out);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1]["name"], "Caps");
    EXPECT_EQ(listed[1]["active"], true);
}

TEST(Wendrel, InvalidMnemonicWritesNothing) {
    TempPlatform tp;
    for (std::string bad : {std::string("abandon abandon"), std::string(ABANDON).replace(85, 5, "zoo"),
                            std::string(ABANDON) + " abandon"}) {
        auto r = run_program("wendrel", {"restore", "--mnemonic", bad});
        EXPECT_NE(r.exit_code, 0) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_FALSE(core::file_exists(tp.path("wallets.json")));
    EXPECT_FALSE(core::file_exists(tp.path("wallets")));
}

TEST(Wendrel, SealWithWrongAndRightPassword) {
    TempPlatform tp;
    std::string id = first_line(run_program("wendrel", {"restore", "--mnemonic", ABANDON}).out);
    std::string plain = tp.read("wallets/" + id + "/wallet.json");
    ASSERT_EQ(run_program("wendrel", {"seal", id, "--password", "correct horse"}).exit_code, 0);
    std::string sealed = tp.read("wallets/" + id + "/wallet.json");
    core::Json s = json_of(sealed);
    EXPECT_EQ(s["lock"], "OV-LOCK1");
    EXPECT_EQ(s["kdf"], "pbkdf2-sha256");
    EXPECT_EQ(s["iter"], 210000);
    EXPECT_EQ(s["salt"].get<std::string>().size(), 32u);
    EXPECT_EQ(s["iv"].get<std::string>().size(), 24u);
    EXPECT_EQ(s["tag"].get<std::string>().size(), 32u);
    EXPECT_EQ(sealed.find("abandon"), std::string::npos);
    EXPECT_EQ(json_of(run_program("wendrel", {"show", id, "--json"}).out)["sealed"], true);

    auto wrong = run_program("wendrel", {"unseal", id, "--password", "wrong"});
    EXPECT_NE(wrong.exit_code, 0);
    EXPECT_NE(wrong.err.find("wrong password"), std::string::npos) << wrong.err;
    EXPECT_EQ(tp.read("wallets/" + id + "/wallet.json"), sealed);

    ASSERT_EQ(run_program("wendrel", {"unseal", id, "--password", "correct horse"}).exit_code, 0);
    EXPECT_EQ(tp.read("wallets/" + id + "/wallet.json"), plain);
}

TEST(Wendrel, ApprovesAndDeniesConnectRequestsOldestFirst) {
    TempPlatform tp;
    std::string id = first_line(run_program("wendrel", {"create"}).out);
    tp.write("connect/w200.req.json", R"({"id":"w200","app":"Quenvale","instance":"/b","ts":200})");
    tp.write("connect/w100.req.json", R"({"id":"w100","app":"Quenvale","instance":"/a","ts":100})");
    tp.write("connect/w050.req.json", R"({"id":"w050","app":"Quenvale","ts":50})");
    tp.write("connect/w050.rep.json", R"({"ok":false})");  // already answered
    auto pending = json_of(run_program("wendrel", {"requests", "--json"}).out);
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0]["id"], "w100");

    ASSERT_EQ(run_program("wendrel", {"approve"}).exit_code, 0);
    core::Json rep = json_of(tp.read("connect/w100.rep.json"));
    EXPECT_EQ(rep["ok"], true);
    EXPECT_EQ(rep["wallet_id"], id);

    ASSERT_EQ(run_program("wendrel", {"deny", "--request", "w200"}).exit_code, 0);
    EXPECT_EQ(json_of(tp.read("connect/w200.rep.json"))["ok"], false);
    EXPECT_NE(run_program("wendrel", {"approve"}).exit_code, 0);  // nothing left
    EXPECT_NE(run_program("wendrel", {"approve", "--request", "../../x"}).exit_code, 0);
    tp.write("connect/w300.req.json", R"({"id":"w300","ts":300})");
    EXPECT_NE(run_program("wendrel", {"approve", "--wallet", "w999"}).exit_code, 0);
    EXPECT_FALSE(core::file_exists(tp.path("connect/w300.rep.json")));
}

TEST(Wendrel, AutoAndLimitSettingsKeepOtherMembers) {
    TempPlatform tp;
    tp.write("nbutton_auto.json", R"({"on":false,"since":12})");
    ASSERT_EQ(run_program("wendrel", {"auto", "on"}).exit_code, 0);
    core::Json a = json_of(tp.read("nbutton_auto.json"));
    EXPECT_EQ(a["on"], true);
    EXPECT_EQ(a["since"], 12);
    ASSERT_EQ(run_program("wendrel", {"limit", "5000"}).exit_code, 0);
    EXPECT_EQ(json_of(tp.read("security_limit.json"))["sats"], 5000);
    EXPECT_NE(run_program("wendrel", {"limit", "-5"}).exit_code, 0);
    EXPECT_NE(run_program("wendrel", {"limit", "2100000000000001"}).exit_code, 0);
    EXPECT_NE(run_program("wendrel", {"auto", "maybe"}).exit_code, 0);
    tp.write("security_limit.json", "{oops");
    EXPECT_NE(run_program("wendrel", {"limit", "10"}).exit_code, 0);
    EXPECT_EQ(tp.read("security_limit.json"), "{oops");  // never overwritten with defaults
}

TEST(Wendrel, HelpAndUnknownCommands) {
    TempPlatform tp;
    auto help = run_program("wendrel", {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("approve"), std::string::npos);
    auto bad = run_program("wendrel", {"fly"});
    EXPECT_NE(bad.exit_code, 0);
    EXPECT_NE(bad.err.find("unknown command"), std::string::npos);
    EXPECT_NE(run_program("wendrel", {"show", "w404"}).exit_code, 0);
}

namespace {

// A failed run says so in one line with one prefix, and prints nothing else.
void expect_one_error_line(const testing_support::RunResult& r, const std::string& fragment) {
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(core::starts_with(r.err, "wendrel: error: ")) << r.err;
    EXPECT_EQ(r.err.find("error: error"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
}

bool has_terminal_controls(const std::string& s) {
    return s.find('\x1b') != std::string::npos || s.find('\x07') != std::string::npos ||
           s.find("\xc2\x9b") != std::string::npos || s.find("\xc2\x9d") != std::string::npos;
}

}  // namespace

TEST(Wendrel, UnknownRepeatedOrStrayWordsAreRefusedBeforeAnythingIsDone) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    const struct {
        std::vector<std::string> args;
        std::string fragment;
    } rows[] = {
        {{"create", "extra"}, "unexpected word \"extra\""},
        {{"restore", "--mnemonic", ABANDON, "--name", "A", "--name", "B"}, "option --name is given twice"},
        {{"restore", "--mnemonic", ABANDON, "--label", "A"}, "unknown option --label for restore"},
        {{"send", "--to", ABANDON_IDENTITY, "--to", ABANDON_RECEIVE0, "--sats", "1"},
         "option --to is given twice"},
        {{"list", "--bogus"}, "unknown option --bogus for list"},
        {{"balance", "--json", "--json"}, "option --json is given twice"},
        {{"limit", "5000", "6000"}, "unexpected word \"6000\""},
        {{"create", "-n", "x"}, "unknown option -n"},
        {{"mint", "--image", "x.png", "--title", ""}, "option --title needs a value"},
        {{"send", "--sats", "1"}, "send needs --to"},
        {{"fly"}, "unknown command \"fly\""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.fragment);
        expect_one_error_line(run_program("wendrel", r.args), r.fragment);
    }
    EXPECT_FALSE(core::file_exists(tp.path("wallets.json")));
    EXPECT_FALSE(core::file_exists(tp.path("wallets")));
}

TEST(Wendrel, EachCommandHasItsOwnHelp) {
    TempPlatform tp;
    for (const char* command : {"create", "restore", "list", "show", "seal", "unseal", "requests", "approve", "deny",
                                "auto", "limit", "balance", "send", "paymail", "mint"}) {
        SCOPED_TRACE(command);
        for (const auto& args : {std::vector<std::string>{command, "--help"}, std::vector<std::string>{"help", command}}) {
            auto r = run_program("wendrel", args);
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_TRUE(core::starts_with(r.out, std::string("usage: wendrel ") + command + " ")) << r.out;
            EXPECT_EQ(r.out.find("usage:", 1), std::string::npos) << r.out;  // that command's only
        }
    }
    // Asking for help does nothing else, even with the command's other words.
    auto r = run_program("wendrel", {"create", "--name", "X", "--help"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_FALSE(core::file_exists(tp.path("wallets.json")));
}

TEST(Wendrel, PaymailAliasOutsideTheAlphabetIsRefusedNotRewritten) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    std::string id = first_line(run_program("wendrel", {"restore", "--mnemonic", ABANDON}).out);
    const std::string doc = tp.read("wallets/" + id + "/wallet.json");
    const std::string reg = tp.read("wallets.json");
    for (const char* alias : {"al ice", "bob@example.com", "\xc3\xa9mile", "a/b", "ann!", "x\x1b[31m"}) {
        SCOPED_TRACE(alias);
        expect_one_error_line(run_program("wendrel", {"paymail", alias}), "is not a paymail alias");
        EXPECT_FALSE(core::file_exists(tp.path("orvane_paymail.json")));
        EXPECT_EQ(tp.read("wallets/" + id + "/wallet.json"), doc);
        EXPECT_EQ(tp.read("wallets.json"), reg);
    }
}

TEST(Wendrel, MintRefusesABlankTitle) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    ASSERT_EQ(run_program("wendrel", {"restore", "--mnemonic", ABANDON}).exit_code, 0);
    core::write_file(tp.root() + "/pic.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, 'p'));
    for (const char* title : {"", "   ", "\t"}) {
        SCOPED_TRACE(std::string("[") + title + "]");
        auto r = run_program("wendrel", {"mint", "--image", tp.root() + "/pic.png", "--title", title});
        EXPECT_NE(r.exit_code, 0);
        EXPECT_TRUE(core::starts_with(r.err, "wendrel: error: ")) << r.err;
        EXPECT_NE(r.err.find("title"), std::string::npos) << r.err;
    }
}

TEST(Wendrel, RestoringAMnemonicThatIsAlreadyAWalletWritesNothing) {
    TempPlatform tp;
    std::string id = first_line(run_program("wendrel", {"restore", "--mnemonic", ABANDON, "--name", "First"}).out);
    ASSERT_FALSE(id.empty());
    const std::string reg = tp.read("wallets.json");
    const auto folders = core::list_files(tp.path("wallets"));
    for (const auto& args : {std::vector<std::string>{"restore", "--mnemonic", ABANDON},
                             std::vector<std::string>{"restore", "--mnemonic", ABANDON, "--name", "Again"}}) {
        auto r = run_program("wendrel", args);
        expect_one_error_line(r, "already the wallet " + id);
        EXPECT_NE(r.err.find("First"), std::string::npos) << r.err;
        EXPECT_EQ(tp.read("wallets.json"), reg);
        EXPECT_EQ(core::list_files(tp.path("wallets")), folders);
    }
}

TEST(Wendrel, ANetworkProfileThatDoesNotLoadStopsEveryCommand) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    tp.write("half.json", "{\"network\": \"dev");
    const struct {
        std::string path;
        std::string line;
    } rows[] = {
        {tp.root() + "/absent.json", "wendrel: error: the network profile " + tp.root() + "/absent.json could not be read\n"},
        {tp.path("half.json"),
         "wendrel: error: the network profile " + tp.path("half.json") + " is not valid: profile is not a JSON object\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        ::setenv("QUENVALE_PROFILE", r.path.c_str(), 1);
        for (const auto& args : {std::vector<std::string>{"create"}, std::vector<std::string>{"list"},
                                 std::vector<std::string>{"balance"}}) {
            auto run = run_program("wendrel", args);
            EXPECT_NE(run.exit_code, 0);
            EXPECT_EQ(run.err, r.line);
            EXPECT_EQ(run.out, "");
        }
        EXPECT_FALSE(core::file_exists(tp.path("wallets.json")));
    }
}

TEST(Wendrel, AChainServiceThatCannotBeReachedIsNeverABalanceOfZero) {
    TempPlatform tp;
    testing_support::OfflineProfile offline(tp);
    ASSERT_EQ(run_program("wendrel", {"restore", "--mnemonic", ABANDON}).exit_code, 0);
    for (const auto& args : {std::vector<std::string>{"balance"}, std::vector<std::string>{"balance", "--json"},
                             std::vector<std::string>{"send", "--to", ABANDON_IDENTITY, "--sats", "1000"}}) {
        SCOPED_TRACE(args.size());
        auto r = run_program("wendrel", args);
        expect_one_error_line(r, "wendrel: error: could not reach the chain service");
        EXPECT_EQ(r.err.find("you have 0"), std::string::npos) << r.err;
    }
    // No balance file claims what was never seen.
    for (const auto& name : core::list_files(tp.path("tx_hist"))) EXPECT_FALSE(core::ends_with(name, "_face.json")) << name;
}

TEST(Wendrel, OutsideTextReachesTheTerminalWithoutControlCharacters) {
    TempPlatform tp;
    std::string id = first_line(run_program("wendrel", {"restore", "--mnemonic", ABANDON}).out);
    // Another program wrote the registry name and the request.
    const std::string evil = "\x1b]0;owned\x07" "Al\xc2\x9b" "2Jice\x1b[31m\r\n";
    tp.write("wallets.json", core::dump_pretty({{"wallets", {{{"id", id}, {"name", evil}}}}, {"active", id}}));
    tp.write("connect/w100.req.json", core::dump_pretty({{"id", "w100"}, {"app", "\x1b[2JQuen\xc2\x85vale"}, {"ts", 1}}));
    auto list = run_program("wendrel", {"list"});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    EXPECT_NE(list.out.find("Alice"), std::string::npos) << list.out;
    auto show = run_program("wendrel", {"show"});
    ASSERT_EQ(show.exit_code, 0) << show.err;
    EXPECT_NE(show.out.find("name:             Alice"), std::string::npos) << show.out;
    auto requests = run_program("wendrel", {"requests"});
    ASSERT_EQ(requests.exit_code, 0) << requests.err;
    EXPECT_NE(requests.out.find("w100  Quenvale"), std::string::npos) << requests.out;
    auto json = run_program("wendrel", {"list", "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    EXPECT_EQ(json_of(json.out)[0]["name"], evil);  // JSON keeps the text, escaped
    for (const auto* r : {&list, &show, &requests, &json}) {
        EXPECT_FALSE(has_terminal_controls(r->out)) << r->out;
        EXPECT_EQ(std::count(r->out.begin(), r->out.end(), '\r'), 0);
    }
}
