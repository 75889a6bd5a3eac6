// wendrel end to end: the real program in a temporary platform folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/files.h"
#include "core/json.h"
#include "core/text.h"
#include "tests/support/temp_platform.h"
#include "wallet/derive.h"
#include "wallet/keys.h"

using testing_support::run_program;
using testing_support::TempPlatform;

namespace {

const char* const ABANDON =
    "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";

core::Json json_of(const std::string& text) {
    core::Json j;
    core::parse_json(text, j);
    return j;
}

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
    EXPECT_EQ(doc["address"], "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf");
    EXPECT_EQ(doc["identity"], "1Hg7Jm7G3DUetk4vxbAdjSf49qq3zbp8g6");
    EXPECT_EQ(doc["mnemonic"], ABANDON);

    // Capitals keep the mnemonic valid but give another seed: stored exactly as given.
    std::string caps = std::string(ABANDON).replace(0, 7, "Abandon");
    auto r2 = run_program("wendrel", {"restore", "--mnemonic", caps, "--name", "Caps"});
    ASSERT_EQ(r2.exit_code, 0) << r2.err;
    core::Json doc2 = json_of(tp.read("wallets/" + first_line(r2.out) + "/wallet.json"));
    EXPECT_EQ(doc2["mnemonic"], caps);
    EXPECT_NE(doc2["address"], doc["address"]);

    auto shown = json_of(run_program("wendrel", {"show", id, "--json"}).out);
    EXPECT_EQ(shown["address"], "18pBoqRpHUYf9udsab5G9LT3vQUPxEyMFf");
    EXPECT_EQ(shown["ordinals_address"], "1Hyoxs2Lp5dKW95bFyKh2JCtwsuS8PqML8");
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
