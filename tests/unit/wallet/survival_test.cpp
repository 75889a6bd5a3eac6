// Data survival: what the wallet application keeps in the platform folder outlives every
// failure on our side — a wallet list that cannot be read, a migration whose registry
// save fails, a save racing the wallet application and hostile counters. A writer killed
// in the middle of a write is killed_writer_test.cpp's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "core/clock.h"
#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "tests/support/hd_wallet.h"
#include "tests/support/temp_platform.h"
#include "wallet/connect.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/paymail.h"
#include "wallet/registry.h"
#include "wallet/state.h"

using testing_support::ABANDON;
using testing_support::hd_wallet_document;
using testing_support::TempPlatform;
namespace fs = std::filesystem;

namespace {

const char* const LEGAL =
    "legal winner thank year wave sausage worth useful legal winner thank yellow";
const std::string PRIV_ONE = std::string(63, '0') + "1";
const std::string PRIV_TWO = std::string(63, '0') + "2";
const char* const WALLET_CHANGED = "wallet changed.";

class Survival : public ::testing::Test {
protected:
    TempPlatform tp;
    void SetUp() override {
        core::Profile p;
        p.paymail_domain = "orvane.test";
        core::set_profile(p);
    }
    void TearDown() override {
        core::reset_clock();
        core::reset_profile();
    }
    void write_doc(const core::Json& doc) { tp.write("wallets/w1/wallet.json", core::dump_pretty(doc)); }
    std::string doc_text() { return tp.read("wallets/w1/wallet.json"); }
    core::Json read_json(const std::string& rel) {
        core::Json j;
        core::parse_json(tp.read(rel), j);
        return j;
    }
    // Binds w1 in memory and loads it.
    void load_w1(const core::Json& doc) {
        write_doc(doc);
        wallet::bind_wallet_in_memory("Quenvale", "w1");
        ASSERT_TRUE(wallet::load_wallet());
    }
    bool in_memory() {
        wallet::WalletLock lock(wallet::wallet_mutex());
        return wallet::wallet_in_memory();
    }
    // Exactly what is at a path: a file's bytes, "<dir>" or a link's target.
    std::string snapshot(const std::string& rel) {
        std::error_code ec;
        auto st = fs::symlink_status(tp.path(rel), ec);
        if (fs::is_symlink(st)) return "<link " + fs::read_symlink(tp.path(rel), ec).string() + ">";
        if (fs::is_directory(st)) return "<dir>";
        if (!fs::exists(st)) return "<none>";
        return tp.read(rel);
    }
    std::vector<std::string> wallet_folders() {
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(tp.path("wallets"), ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The shapes of a wallets.json that is there but cannot be read.
enum class Unreadable { Truncated, Empty, NotAnObject, Folder, DanglingLink };

void make_unreadable(const TempPlatform& tp, Unreadable kind) {
    std::error_code ec;
    fs::remove_all(tp.path("wallets.json"), ec);
    switch (kind) {
        case Unreadable::Truncated:
            tp.write("wallets.json", R"({"wallets":[{"id":"w1","name":"One"},{"id":"w2","na)");
            break;
        case Unreadable::Empty:
            tp.write("wallets.json", "");
            break;
        case Unreadable::NotAnObject:
            tp.write("wallets.json", R"([{"id":"w1"}])");
            break;
        case Unreadable::Folder:
            fs::create_directories(tp.path("wallets.json/inside"));
            break;
        case Unreadable::DanglingLink:
            fs::create_symlink(tp.path("nowhere.json"), tp.path("wallets.json"));
            break;
    }
}

}  // namespace

// --- the wallet list -------------------------------------------------------------------

// Every path that writes the wallet list leaves one it cannot read exactly as it is, and
// works again once the list reads.
TEST_F(Survival, AWalletListThatCannotBeReadIsNeverReplaced) {
    core::Json doc = hd_wallet_document();
    doc["paymail"] = "alice";
    tp.write("orvane_wendrel.json", R"({"priv":"01"})");
    for (Unreadable kind : {Unreadable::Truncated, Unreadable::Empty, Unreadable::NotAnObject, Unreadable::Folder,
                            Unreadable::DanglingLink}) {
        SCOPED_TRACE(static_cast<int>(kind));
        make_unreadable(tp, kind);
        std::string before = snapshot("wallets.json");

        EXPECT_EQ(wallet::rename_wallet("w1", "alice"), "error: the wallet list could not be read; try again.");
        EXPECT_EQ(snapshot("wallets.json"), before);

        // The status refresh's paymail step renames the bound wallet after its alias.
        load_w1(doc);
        wallet::paymail_sync(false);
        EXPECT_EQ(snapshot("wallets.json"), before);

        // Start-up: no migration and no bind while the list cannot be read.
        wallet::forget_wallet();
        wallet::reset_registry_state();
        wallet::init_app_binding("Quenvale", "inst");
        EXPECT_EQ(snapshot("wallets.json"), before);
        EXPECT_EQ(tp.read("orvane_wendrel.json"), R"({"priv":"01"})");
        EXPECT_EQ(wallet_folders(), std::vector<std::string>{"w1"});
        EXPECT_EQ(wallet::app_binding().wallet_id, "");
        EXPECT_FALSE(core::file_exists(tp.path("binds/inst.json")));
    }
    // Readable again: the next refresh does its work.
    std::error_code ec;
    fs::remove(tp.path("wallets.json"), ec);
    tp.write("wallets.json", R"({"wallets":[{"id":"w1","name":"One"}],"theme":"dark"})");
    load_w1(doc);
    wallet::paymail_sync(false);
    core::Json reg = read_json("wallets.json");
    EXPECT_EQ(reg["wallets"][0]["name"], "alice");
    EXPECT_EQ(reg["theme"], "dark");
}

// The connect handshake ends in the same sync as every status refresh.
TEST_F(Survival, AConnectLeavesAWalletListThatCannotBeReadAlone) {
    core::Json doc = hd_wallet_document();
    doc["paymail"] = "alice";
    write_doc(doc);
    make_unreadable(tp, Unreadable::Truncated);
    std::string before = snapshot("wallets.json");
    wallet::init_app_binding("Quenvale", "inst");
    std::int64_t wall = 1733650000000, mono = 0;
    core::ClockHooks h;
    h.wall_ms = [&] { return wall; };
    h.monotonic_ms = [&] { return mono; };
    h.sleep_ms = [&](std::int64_t ms) {  // the wallet application approves meanwhile
        wall += ms;
        mono += ms;
        for (const auto& name : core::list_files(tp.path("connect"))) {
            auto dot = name.find(".req.json");
            if (dot != std::string::npos) tp.write("connect/" + name.substr(0, dot) + ".rep.json", R"({"ok":true,"wallet_id":"w1"})");
        }
    };
    core::set_clock(h);
    EXPECT_EQ(wallet::connect_wallet(), "success");
    EXPECT_EQ(snapshot("wallets.json"), before);
    EXPECT_EQ(read_json("orvane_paymail.json")["self"], "alice");  // the rest of the sync ran
}

TEST_F(Survival, MigrationWithAFailingRegistrySaveKeepsTheLegacyFileAndRetries) {
    const std::string legacy = R"({"priv":")" + PRIV_ONE + R"(","contacts":[{"dest":"bob"}]})";
    tp.write("orvane_wendrel.json", legacy);

    // The registry cannot be written (a folder sits at its temporary's name).
    fs::create_directories(tp.path("wallets.json.tmp"));
    wallet::init_app_binding("Quenvale", "inst");
    EXPECT_EQ(tp.read("orvane_wendrel.json"), legacy);
    EXPECT_EQ(wallet_folders(), std::vector<std::string>{});
    EXPECT_EQ(snapshot("wallets.json"), "<none>");
    EXPECT_EQ(wallet::app_binding().wallet_id, "");

    // The registry cannot be read.
    fs::remove(tp.path("wallets.json.tmp"));
    tp.write("wallets.json", "{torn");
    wallet::reset_registry_state();
    wallet::init_app_binding("Quenvale", "inst");
    EXPECT_EQ(tp.read("orvane_wendrel.json"), legacy);
    EXPECT_EQ(wallet_folders(), std::vector<std::string>{});
    EXPECT_EQ(tp.read("wallets.json"), "{torn");

    // With the fault gone the next start migrates, and only once.
    fs::remove(tp.path("wallets.json"));
    for (int start = 0; start < 3; ++start) {
        wallet::reset_registry_state();
        wallet::init_app_binding("Quenvale", "inst");
    }
    core::Json reg = read_json("wallets.json");
    ASSERT_EQ(reg["wallets"].size(), 1u);
    std::string id = reg["wallets"][0]["id"];
    EXPECT_EQ(reg["active"], id);
    EXPECT_EQ(wallet_folders(), std::vector<std::string>{id});
    EXPECT_EQ(tp.read("wallets/" + id + "/wallet.json"), legacy);
    EXPECT_FALSE(core::entry_exists(tp.path("orvane_wendrel.json")));
    EXPECT_EQ(wallet::app_binding().wallet_id, id);
}

// --- saving the wallet document ----------------------------------------------------------

TEST_F(Survival, ASaveKeepsTheWalletApplicationsContactsAndRaisedCounters) {
    core::Json doc = hd_wallet_document();
    doc["recv"] = {0, 2, 0, 0, 0, 1};
    doc["contacts"] = {{{"dest", "bob"}}, {{"dest", "carol"}, {"note", "rent"}}};
    load_w1(doc);
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        auto& s = wallet::wallet_state();
        s.recv[1] = 5;  // discovery found funds further on
        s.avatar = "av_0";
    }
    // Meanwhile the wallet application dropped a contact, added one, handed out
    // addresses and noted the backup.
    doc["contacts"] = {{{"dest", "carol"}, {"note", "rent"}}, {{"dest", "dave@elsewhere.org"}}};
    doc["recv"] = {3, 4, 0, 0, 0, 9, 11};
    doc["backup"] = true;
    doc["theme"] = "night";
    write_doc(doc);

    std::string error;
    ASSERT_TRUE(wallet::save_wallet(error)) << error;
    core::Json saved = core::Json::parse(doc_text());
    EXPECT_EQ(saved["contacts"], doc["contacts"]);
    EXPECT_EQ(saved["recv"], (core::Json{3, 5, 0, 0, 0, 9, 11}));
    EXPECT_EQ(saved["backup"], true);
    EXPECT_EQ(saved["theme"], "night");
    EXPECT_EQ(saved["ord_avatar"], "av_0");
    EXPECT_EQ(saved["mnemonic"], ABANDON);
}

TEST_F(Survival, ASaveOverASealedWalletIsRefusedAndTheWalletForgotten) {
    const std::string sealed = R"({"lock":"OV-LOCK1","kdf":"pbkdf2-sha256","ct":"00"})";
    load_w1(hd_wallet_document());
    tp.write("wallets/w1/wallet.json", sealed);
    std::string error;
    EXPECT_FALSE(wallet::save_wallet(error));
    EXPECT_EQ(error, WALLET_CHANGED);
    EXPECT_EQ(doc_text(), sealed);
    EXPECT_FALSE(in_memory());

    // Sealed by the sibling mark, the plain document still there.
    load_w1(hd_wallet_document());
    std::string plain = doc_text();
    tp.write("wallets/w1/wallet.json.seal", "");
    EXPECT_FALSE(wallet::save_wallet(error));
    EXPECT_EQ(error, WALLET_CHANGED);
    EXPECT_EQ(doc_text(), plain);
    EXPECT_FALSE(in_memory());
}

// Another wallet now lives under the id: nothing of ours is written into it.
TEST_F(Survival, ASaveIntoAnotherWalletsDocumentIsRefused) {
    struct Case {
        const char* name;
        core::Json ours, theirs;
    };
    core::Json hd_other = hd_wallet_document({.extra = {{"mnemonic", LEGAL}}});  // the same document, other words
    const std::vector<Case> cases = {
        {"legacy replaced by HD", {{"priv", PRIV_ONE}}, hd_wallet_document()},
        {"legacy key replaced", {{"priv", PRIV_ONE}}, {{"priv", PRIV_TWO}}},
        {"legacy gained a mnemonic", {{"priv", PRIV_ONE}}, {{"priv", PRIV_ONE}, {"mnemonic", ABANDON}}},
        {"HD replaced by legacy", hd_wallet_document(), {{"priv", PRIV_ONE}}},
        {"HD mnemonic replaced", hd_wallet_document(), hd_other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        load_w1(c.ours);
        write_doc(c.theirs);
        std::string before = doc_text();
        std::string error;
        EXPECT_FALSE(wallet::save_wallet(error));
        EXPECT_EQ(error, WALLET_CHANGED);
        EXPECT_EQ(doc_text(), before);
        EXPECT_FALSE(in_memory());
    }
}

// --- hostile counters ---------------------------------------------------------------------

TEST_F(Survival, DocumentsWithHostileCountersDoNotLoad) {
    wallet::bind_wallet_in_memory("Quenvale", "w1");
    const std::vector<core::Json> bad = {2147483647, -1, 1.5, 100001, "3", nullptr, std::int64_t{4294967296}};
    for (const auto& value : bad) {
        for (const char* where : {"recv", "show"}) {
            SCOPED_TRACE(std::string(where) + " = " + core::dump_compact(value));
            core::Json doc = hd_wallet_document();
            if (std::string(where) == "recv")
                doc["recv"][1] = value;
            else
                doc["show"] = value;
            write_doc(doc);
            auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(wallet::load_wallet());
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
            EXPECT_FALSE(in_memory());
        }
    }
    core::Json doc = hd_wallet_document();
    doc["recv"] = "0,1";
    write_doc(doc);
    EXPECT_FALSE(wallet::load_wallet());
    // The edge itself is a counter.
    doc = hd_wallet_document();
    doc["recv"][0] = wallet::MAX_COUNTER;
    write_doc(doc);
    EXPECT_TRUE(wallet::load_wallet());
}

TEST_F(Survival, HostileCountersOnDiskAreNeitherMergedNorWrittenOver) {
    core::Json doc = hd_wallet_document();
    doc["recv"] = {0, 2, 0, 0, 0, 0};
    load_w1(doc);
    std::string address;
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        address = wallet::wallet_state().address;
    }
    doc["recv"] = {0, 2147483647, 0, 0, 0, -1};
    doc["ord_avatar"] = "from_the_hostile_document";
    write_doc(doc);
    std::string before = doc_text();
    wallet::merge_wallet_changes();
    {
        wallet::WalletLock lock(wallet::wallet_mutex());
        auto& s = wallet::wallet_state();
        EXPECT_EQ(s.recv, (std::array<std::uint32_t, 6>{0, 2, 0, 0, 0, 0}));
        EXPECT_EQ(s.address, address);
        EXPECT_EQ(s.avatar, "");
    }
    std::string error;
    EXPECT_FALSE(wallet::save_wallet(error));
    EXPECT_EQ(doc_text(), before);
}
