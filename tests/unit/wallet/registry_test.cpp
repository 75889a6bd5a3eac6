// The platform folder, wallet registry, migration, binds and the store lock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "core/clock.h"
#include "core/files.h"
#include "core/json.h"
#include "platform/folders.h"
#include "tests/support/temp_platform.h"
#include "wallet/registry.h"

using testing_support::TempPlatform;

namespace {
core::Json read_json(const TempPlatform& tp, const std::string& rel) {
    core::Json j;
    core::parse_json(tp.read(rel), j);
    return j;
}

struct EnvGuard {
    std::string name;
    std::string saved;
    bool had;
    explicit EnvGuard(const char* n) : name(n) {
        const char* v = std::getenv(n);
        had = v != nullptr;
        if (v) saved = v;
    }
    ~EnvGuard() {
        if (had)
            ::setenv(name.c_str(), saved.c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};
}  // namespace

TEST(PlatformFolder, FollowsLocalAppDataThenXdgThenHome) {
    TempPlatform tp;
    EnvGuard xdg("XDG_DATA_HOME"), home("HOME");
    EXPECT_EQ(platform::platform_dir(), tp.root() + "/Orvane");
    EXPECT_TRUE(core::is_directory(tp.root() + "/Orvane"));
    EXPECT_EQ(platform::data_dir(), tp.root() + "/Orvane/quenvale");

    ::setenv("LOCALAPPDATA", "", 1);  // set but empty counts as unset
    ::setenv("XDG_DATA_HOME", (tp.root() + "/xdg").c_str(), 1);
    EXPECT_EQ(platform::platform_dir(), tp.root() + "/xdg/Orvane");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", (tp.root() + "/home").c_str(), 1);
    EXPECT_EQ(platform::platform_dir(), tp.root() + "/home/.local/share/Orvane");
    EXPECT_TRUE(core::is_directory(tp.root() + "/home/.local/share/Orvane"));
}

TEST(PlatformFolder, ExecutableFolderHasNoTrailingSeparator) {
    std::string dir = platform::executable_dir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '/');
    EXPECT_EQ(platform::executable_path().substr(0, dir.size() + 1), dir + "/");
}

TEST(Registry, FileWordMapsInstanceStrings) {
    std::string long_instance(120, 'A');
    for (int i = 0; i < 120; i += 7) long_instance[static_cast<std::size_t>(i)] = '/';
    std::string word = wallet::file_word(long_instance);
    ASSERT_EQ(word.size(), 96u);
    std::string expected;
    for (char c : long_instance.substr(24)) expected.push_back(c == '/' ? '_' : 'a');
    EXPECT_EQ(word, expected);
    EXPECT_EQ(wallet::file_word("/.:\\ "), "_____");
    EXPECT_EQ(wallet::file_word("."), "_");
    EXPECT_EQ(wallet::file_word(""), "default");
    EXPECT_EQ(wallet::file_word("/opt/Quenvale 2"), "_opt_quenvale_2");
}

TEST(Registry, MissingRegistryLoadsEmptyAndAWronglyTypedListIsReplaced) {
    TempPlatform tp;
    wallet::StoreLockGuard g;
    core::Json reg;
    std::string error;
    ASSERT_TRUE(wallet::load_registry(reg, error));
    EXPECT_EQ(reg, (core::Json{{"wallets", core::Json::array()}}));
    tp.write("wallets.json", R"({"wallets":"oops","theme":"dark"})");
    ASSERT_TRUE(wallet::load_registry(reg, error));
    EXPECT_TRUE(reg["wallets"].is_array());
    ASSERT_TRUE(wallet::save_registry(reg));
    core::Json saved = read_json(tp, "wallets.json");
    EXPECT_EQ(saved["wallets"], core::Json::array());
    EXPECT_EQ(saved["theme"], "dark");  // the wallet application's own keys survive
    EXPECT_FALSE(core::file_exists(tp.path("wallets.json.tmp")));
}

TEST(Registry, ARegistryThatCannotBeReadIsAnErrorNotAnEmptyList) {
    TempPlatform tp;
    wallet::StoreLockGuard g;
    for (const char* text : {"{not json", "", "[1,2]", "\"wallets\""}) {
        tp.write("wallets.json", text);
        core::Json reg = {{"stale", true}};
        std::string error;
        EXPECT_FALSE(wallet::load_registry(reg, error)) << text;
        EXPECT_EQ(error, wallet::REGISTRY_UNREADABLE);
        EXPECT_TRUE(wallet::list_wallets().empty());
    }
}

TEST(Registry, ListingSkipsRowsWithoutIdAndNamesRowsWithoutName) {
    TempPlatform tp;
    tp.write("wallets.json", R"({"wallets":[{"name":"ghost"},{"id":"w1"},{"id":"w2","name":"Main"},"junk",{"id":5}]})");
    auto rows = wallet::list_wallets();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, "w1");
    EXPECT_EQ(rows[0].name, "w1");
    EXPECT_EQ(rows[1].name, "Main");
    EXPECT_EQ(wallet::wallet_display_name("w2"), "Main");
    EXPECT_EQ(wallet::wallet_display_name("w9"), "w9");
}

TEST(Registry, RenameWritesOnlyWhenARowMatchedAndItsNameChanged) {
    TempPlatform tp;
    std::string compact = R"({"wallets":[{"id":"w1","name":"a","extra":1},{"id":"w2","name":"b"}],"active":"w2"})";
    tp.write("wallets.json", compact);
    // Nothing to change: the file is left exactly as the wallet application wrote it.
    EXPECT_EQ(wallet::rename_wallet("w9", "zed"), "error: no wallet with that id in the wallet list.");
    EXPECT_EQ(wallet::rename_wallet("w2", "b"), "success");
    EXPECT_EQ(wallet::rename_wallet("", "x"), "error: a wallet id and a name are needed.");
    EXPECT_EQ(wallet::rename_wallet("w2", ""), "error: a wallet id and a name are needed.");
    EXPECT_EQ(tp.read("wallets.json"), compact);

    EXPECT_EQ(wallet::rename_wallet("w1", "alice"), "success");
    core::Json reg = read_json(tp, "wallets.json");
    EXPECT_EQ(reg["wallets"][0]["name"], "alice");
    EXPECT_EQ(reg["wallets"][0]["extra"], 1);
    EXPECT_EQ(reg["wallets"][1]["name"], "b");
    EXPECT_EQ(reg["active"], "w2");
}

TEST(Registry, WalletIdsAreFreshAndPathsRefuseUnsafeIds) {
    TempPlatform tp;
    testing_support::FakeClock clock;
    clock.install();
    std::string a = wallet::new_wallet_id(), b = wallet::new_wallet_id();
    EXPECT_EQ(a, "w" + std::to_string(clock.wall));
    EXPECT_NE(a, b);  // same millisecond, still two ids
    EXPECT_EQ(wallet::wallet_json_path("w1"), tp.dir() + "/wallets/w1/wallet.json");
    for (const char* bad : {"", "../w1", "w1/..", "a b", "w\n1"}) EXPECT_EQ(wallet::wallet_json_path(bad), "") << bad;
    EXPECT_EQ(wallet::wallet_json_path(std::string(65, 'w')), "");
}

TEST(Migration, LegacyWalletMovesIntoAnEmptyRegistryAndBinds) {
    TempPlatform tp;
    tp.write("orvane_wendrel.json", R"({"priv":"01"})");
    wallet::init_app_binding("Quenvale", "/opt/quenvale");
    EXPECT_FALSE(core::file_exists(tp.path("orvane_wendrel.json")));
    core::Json reg = read_json(tp, "wallets.json");
    ASSERT_EQ(reg["wallets"].size(), 1u);
    std::string id = reg["wallets"][0]["id"];
    EXPECT_EQ(reg["wallets"][0]["name"], "Wallet 1");
    EXPECT_EQ(reg["active"], id);
    EXPECT_EQ(tp.read("wallets/" + id + "/wallet.json"), R"({"priv":"01"})");
    EXPECT_EQ(wallet::app_binding().wallet_id, id);
    core::Json bind = read_json(tp, "binds/_opt_quenvale.json");
    EXPECT_EQ(bind["wallet_id"], id);
    EXPECT_EQ(bind["app"], "Quenvale");
    EXPECT_EQ(bind["instance"], "/opt/quenvale");
}

TEST(Migration, LegacyWalletStaysWhenTheRegistryHasAWallet) {
    TempPlatform tp;
    tp.write("orvane_wendrel.json", R"({"priv":"01"})");
    tp.write("wallets.json", R"({"wallets":[{"id":"w7","name":"Seven"}]})");
    wallet::init_app_binding("Quenvale", "/opt/q");
    EXPECT_TRUE(core::file_exists(tp.path("orvane_wendrel.json")));
    EXPECT_EQ(read_json(tp, "wallets.json")["wallets"].size(), 1u);
    EXPECT_EQ(wallet::app_binding().wallet_id, "w7");  // the only wallet binds without a handshake
}

TEST(Binding, TwoWalletsAndNoBindFileStartsNotConnected) {
    TempPlatform tp;
    tp.write("wallets.json", R"({"wallets":[{"id":"w1"},{"id":"w2"}]})");
    wallet::init_app_binding("", "");
    auto b = wallet::app_binding();
    EXPECT_TRUE(b.initialised);
    EXPECT_EQ(b.app, "App");
    EXPECT_EQ(b.instance, ".");
    EXPECT_EQ(b.wallet_id, "");
    EXPECT_FALSE(core::file_exists(tp.path("binds/_.json")));
}

TEST(Binding, BindFileIsReadAfreshAndMalformedMeansNotConnected) {
    TempPlatform tp;
    tp.write("wallets.json", R"({"wallets":[{"id":"w1"},{"id":"w2"}]})");
    tp.write("binds/inst.json", R"({"app":"Quenvale","instance":"inst","wallet_id":"w2"})");
    wallet::init_app_binding("Quenvale", "inst");
    EXPECT_EQ(wallet::app_binding().wallet_id, "w2");
    EXPECT_EQ(wallet::bound_wallet_file(), tp.dir() + "/wallets/w2/wallet.json");

    tp.write("binds/inst.json", R"({"wallet_id":"w1"})");  // the wallet application rebinds
    EXPECT_EQ(wallet::read_bound_wallet_id(), "w1");
    EXPECT_EQ(wallet::app_binding().wallet_id, "w2");  // memory is not changed by reading
    tp.write("binds/inst.json", "[1,2");
    EXPECT_EQ(wallet::read_bound_wallet_id(), "");
    tp.write("binds/inst.json", R"({"wallet_id":"../../etc"})");
    EXPECT_EQ(wallet::read_bound_wallet_id(), "");

    wallet::write_bound_wallet_id("w1");
    EXPECT_EQ(read_json(tp, "binds/inst.json")["wallet_id"], "w1");
    wallet::remove_binding();
    EXPECT_FALSE(core::file_exists(tp.path("binds/inst.json")));
    EXPECT_EQ(wallet::app_binding().wallet_id, "");
    EXPECT_EQ(wallet::bound_wallet_file(), tp.dir() + "/orvane_wendrel.json");
}

TEST(StoreLock, IsReentrantWithinTheProcess) {
    TempPlatform tp;
    ASSERT_TRUE(wallet::lock_store());
    ASSERT_TRUE(wallet::lock_store());
    core::Json reg;
    std::string error;
    ASSERT_TRUE(wallet::load_registry(reg, error));
    reg["wallets"].push_back({{"id", "w1"}});
    EXPECT_TRUE(wallet::save_registry(reg));
    wallet::unlock_store();
    wallet::unlock_store();
    EXPECT_TRUE(core::file_exists(tp.path("wallets.lock")));
}

// A second process holding the store lock makes this one wait until it lets go.
TEST(StoreLock, WaitsForAnotherProcessHoldingTheByteLock) {
    TempPlatform tp;
    std::string held = tp.root() + "/held", released = tp.root() + "/released";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        wallet::lock_store();
        core::write_file(held, "1");
        (void)!::write(ready[1], "x", 1);
        ::usleep(400 * 1000);
        core::write_file(released, "1");
        wallet::unlock_store();
        ::_exit(0);
    }
    ::close(ready[1]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ASSERT_TRUE(core::file_exists(held));
    wallet::lock_store();
    bool released_first = core::file_exists(released);
    wallet::unlock_store();
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(released_first) << "the lock was taken while the other process held it";
}
